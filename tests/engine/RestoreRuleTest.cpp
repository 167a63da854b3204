// One rule decides every write of a restore onto a drive, walked over what can be attached
// where, under which mount name, for every kind of record and what the user does next, in
// each mode:
// - a tree recorded with an identity goes only onto the one attached drive that shows it, at
//   its stored path or at the same path below that drive's root;
// - a tree recorded with no identity goes only onto a drive that shows none, at its stored path;
// - an earlier build's record, which recorded no identities, learns them as its list is read:
//   the tree at an entry's place takes that entry's identity; a tree whose entry has followed
//   its drive elsewhere since is of no known drive, and goes nowhere;
// - a drive the editor gives an identity gives it to every entry and tree that recorded it
//   there with none.
#include "EarlierBuildList.h"
#include "EngineTestSupport.h"
#include "TaskRunFakes.h"
#include "TestFiles.h"

#include "ExternalVolumes.h"
#include "UtilityFunctions.h"
#include "VolumeIdentity.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace {

// The backed-up tasks: "Photos" of card A, which has an identity; "Unnamed" of card A while its
// identity file was empty; "Pair" of card A and card C, two cards of one name (C at CARD1); "Old",
// a folder of the computer backed up onto a drive whose identity file is empty.
enum class Subject { Photos, Unnamed, Pair, Old };
enum class Record { ThisBuild, EarlierLoaded, EarlierMovedSince, EarlierEdited, EarlierEditedElsewhere, EarlierReplaced };
// What the user does next: nothing; an edit that adds a folder of the same card, of another card
// or of the computer; a new task with its destination on the subject's drive.
enum class Then { Nothing, AddsSameCard, AddsOtherCard, AddsComputer, OtherTaskOnIt };
// Card A and card C, a clone of card A (its identity file copied too), and cards whose identity
// file is empty, cannot be read, or is not there.
enum class Card { A, C, Clone, Empty, Unreadable, Missing };

struct Attached {
    const char* name;
    QList<std::pair<QString, Card>> drives;   // mount name, card
};

const QList<Attached> kOneCard {
    { "the card", { { "CARD", Card::A } } },
    { "the card under another name", { { "CARD1", Card::A } } },
    { "another card", { { "CARD", Card::C } } },
    { "another card under another name", { { "CARD1", Card::C } } },
    { "the card, then its clone", { { "CARD", Card::A }, { "CARD1", Card::Clone } } },
    { "the clone, then the card", { { "CARD", Card::Clone }, { "CARD1", Card::A } } },
    { "an empty identity file", { { "CARD", Card::Empty } } },
    { "an empty identity file under another name", { { "CARD1", Card::Empty } } },
    { "an unreadable identity file", { { "CARD", Card::Unreadable } } },
    { "an unreadable identity file under another name", { { "CARD1", Card::Unreadable } } },
    { "no identity file", { { "CARD", Card::Missing } } },
    { "no identity file under another name", { { "CARD1", Card::Missing } } },
    { "no drive", {} },
};
// After an edit, the places that tell its outcomes apart.
const QList<Attached> kAfterAnEdit { kOneCard[0], kOneCard[1], kOneCard[2], kOneCard[6] };
const QList<Attached> kTwoCards {
    { "both cards, as backed up", { { "CARD", Card::A }, { "CARD1", Card::C } } },
    { "both cards, the other way round", { { "CARD", Card::C }, { "CARD1", Card::A } } },
};
// "Old"'s drive stays as it is: its backup is on it.
const QList<Attached> kItsDrive { { "its drive", {} } };

const char* recordName(Record record)
{
    switch (record) {
    case Record::ThisBuild: return "ThisBuild";
    case Record::EarlierLoaded: return "EarlierLoaded";
    case Record::EarlierMovedSince: return "EarlierMovedSince";
    case Record::EarlierEdited: return "EarlierEdited";
    case Record::EarlierEditedElsewhere: return "EarlierEditedElsewhere";
    case Record::EarlierReplaced: return "EarlierReplaced";
    }
    return "";
}

const char* thenName(Then then)
{
    switch (then) {
    case Then::Nothing: return "nothing more";
    case Then::AddsSameCard: return "a folder of the same card added";
    case Then::AddsOtherCard: return "a folder of another card added";
    case Then::AddsComputer: return "a folder of the computer added";
    case Then::OtherTaskOnIt: return "another task's destination chosen on its drive";
    }
    return "";
}

QString taskName(Subject subject)
{
    switch (subject) {
    case Subject::Photos: return "Photos";
    case Subject::Unnamed: return "Unnamed";
    case Subject::Pair: return "Pair";
    case Subject::Old: return "Old";
    }
    return {};
}

// The folder an edit adds, by its name.
QString addedName(Then then)
{
    switch (then) {
    case Then::AddsSameCard: return "Videos";
    case Then::AddsOtherCard: return "Clips";
    case Then::AddsComputer: return "Music";
    default: return {};
    }
}

// The folders a message names as quoted in a sentence ending with `ending`.
QSet<QString> namedAs(const QString& message, const QString& ending)
{
    QSet<QString> found;
    const QRegularExpression line("^\"(.*)\" " + QRegularExpression::escape(ending), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(message); it.hasNext();)
        found.insert(it.next().captured(1));
    return found;
}

// A backed-up tree as the rule sees it.
struct Tree {
    QString mount;      // where it was stored
    QString identity;   // what its record says it was recorded with
    bool known = true;  // false: nothing tells which drive it came from
    Card card;
};

// The mode, the kind of record, and whether the walk is over the subjects recorded with an
// identity (Photos, Pair) or without (Unnamed, Old): split so each part stays short.
using Walk = std::tuple<qint64, Record, bool>;

class RestoreRule : public ::testing::TestWithParam<Walk> {
protected:
    qint64 mode() const { return std::get<0>(GetParam()); }
    Record record() const { return std::get<1>(GetParam()); }
    QList<Subject> subjects() const
    {
        return std::get<2>(GetParam()) ? QList<Subject> { Subject::Photos, Subject::Pair }
                                       : QList<Subject> { Subject::Unnamed, Subject::Old };
    }

    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        QDir().mkpath(dest());
        QDir().mkpath(home() + "/Music");
        writeFile(drive() + "/Zorvi.txt", "");
        QDir().mkpath(drive() + "/backups");
        for (Subject subject : subjects())
            ASSERT_NO_FATAL_FAILURE(backUp(subject));
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    QString media() const { return tmp.path() + "/media"; }
    QString dest() const { return tmp.path() + "/backups"; }
    QString home() const { return tmp.path() + "/home"; }
    QString drive() const { return media() + "/BACKUP"; }   // "Old"'s
    // Mounts every drive that is in media/ now.
    void mountPresent()
    {
        QStringList roots;
        for (const QString& name : QDir(media()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            roots << media() + "/" + name;
        ExternalVolumes::setOverride(QStringList { media() }, roots);
    }
    void clearCards()
    {
        for (const char* name : { "CARD", "CARD1", "CARD2" })
            QDir(media() + "/" + name).removeRecursively();
    }
    static QByteArray own(Card card) { return "card " + QByteArray::number(int(card)) + "'s own"; }
    static QByteArray backupOf(Card card) { return "the backup of card " + QByteArray::number(int(card)); }
    // The identity file a card carries now.
    QString shown(Card card) const
    {
        switch (card) {
        case Card::A:
        case Card::Clone: return identityOfA;
        case Card::C: return "UUID-C";
        default: return "";
        }
    }
    void putIn(const QString& mount, Card card, const QByteArray& photo)
    {
        const QString root = media() + "/" + mount;
        switch (card) {
        case Card::Unreadable: QDir().mkpath(root + "/Zorvi.txt"); break;
        case Card::Missing: break;
        default: writeFile(root + "/Zorvi.txt", shown(card).toUtf8()); break;
        }
        writeFile(root + "/DCIM/IMG_0001.JPG", photo);
    }
    QList<std::pair<QString, Card>> backedUpCards(Subject subject) const
    {
        switch (subject) {
        case Subject::Photos:
        case Subject::Unnamed: return { { "CARD", Card::A } };
        case Subject::Pair: return { { "CARD", Card::A }, { "CARD1", Card::C } };
        case Subject::Old: return {};
        }
        return {};
    }
    // The cards of the subject in, as they were backed up, with what card A carried then.
    void asBackedUp(Subject subject, bool withTheirBackups)
    {
        identityOfA = subject == Subject::Unnamed || subject == Subject::Old ? "" : "UUID-A";
        writeFile(drive() + "/Zorvi.txt", "");
        clearCards();
        for (const auto& [mount, card] : backedUpCards(subject))
            putIn(mount, card, withTheirBackups ? backupOf(card) : own(card));
        mountPresent();
    }
    // Its drives taken out and put in under other mount names (two cards: the other way round).
    void elsewhere(Subject subject)
    {
        if (subject == Subject::Old)
            QDir().rename(drive(), media() + "/BACKUP1");
        else if (subject == Subject::Pair)
            QDir().rename(media() + "/CARD", media() + "/out") && QDir().rename(media() + "/CARD1", media() + "/CARD")
                && QDir().rename(media() + "/out", media() + "/CARD1");
        else
            QDir().rename(media() + "/CARD", media() + "/CARD1");
        mountPresent();
    }
    void back(Subject subject)
    {
        if (subject == Subject::Old)
            QDir().rename(media() + "/BACKUP1", drive());
        else if (subject == Subject::Pair)
            elsewhere(subject);
        else
            QDir().rename(media() + "/CARD1", media() + "/CARD");
        mountPresent();
    }

    // The subject backed up by a task of this build; its record is kept as saved.
    void backUp(Subject subject)
    {
        asBackedUp(subject, true);
        QStringList sources;
        QString destination = dest();
        switch (subject) {
        case Subject::Photos: sources = { media() + "/CARD/DCIM;UUID-A" }; break;
        case Subject::Unnamed: sources = { media() + "/CARD/DCIM;" }; break;
        case Subject::Pair: sources = { media() + "/CARD/DCIM;UUID-A", media() + "/CARD1/DCIM;UUID-C" }; break;
        case Subject::Old:
            writeFile(home() + "/docs/note.txt", "the backup of docs");
            sources = { home() + "/docs" };
            destination = drive() + "/backups;";
            break;
        }
        TaskInfoPtr task = plainTask(taskName(subject), sources, destination, "None", mode());
        task->taskInfoDelegate = &c;
        c.TaskArray = { task };
        ASSERT_EQ(backUpSays(taskName(subject)), "\"" + taskName(subject) + "\" backup complete");
        saved[subject] = c.findTask(taskName(subject))->toDictionary();
    }

    // A folder chosen in the editor, as the editor tags it: a drive whose identity file is empty
    // or missing gets a new identity, and the task list hears of it.
    QString choose(const QString& path)
    {
        const std::optional<VolumeIdentity> file = VolumeIdentity::read(path);
        if (!file)
            return path;
        if (file->state == VolumeIdentity::State::Carried)
            return path + ";" + file->identity;
        const QString identity = UtilityFunctions::writeNewIdentity(file->file).value_or("#");
        EXPECT_EQ(identity.size(), 36) << "the rows' drives can all be given one";
        c.driveIdentityGiven(QFileInfo(file->file).path(), identity);
        return path + ";" + identity;
    }
    // Its pencil, `added` chosen, Done.
    void edit(const QString& name, const QStringList& added)
    {
        QStringList chosen;
        for (const QString& path : added)
            chosen << choose(path);
        const TaskInfoPtr before = c.findTask(name);
        TaskInfoPtr edited = plainTask(name, before->backupSrc + chosen, before->backupDest, "None", before->function);
        edited->keepFixedSourcesOf(*before, edited->readsSameBackupAs(*before));
        c.runTask(edited, "Modify", true);
    }

    // Makes the record of the given kind the task list's, with the subject's drives in as backed up.
    void makeRecord(Subject subject)
    {
        asBackedUp(subject, false);
        c.TaskArray = { TaskInfo::initFromDictionary(saved.at(subject), false) };
        if (record() == Record::ThisBuild) {
            ASSERT_TRUE(c.saveTaskList());
        } else if (record() == Record::EarlierMovedSince) {
            // That build saw its drives elsewhere after its last backup, and its entries followed.
            elsewhere(subject);
            c.updateTaskVolumePaths(false);
            ASSERT_TRUE(saveAsEarlierBuild(c));
            back(subject);
        } else {
            ASSERT_TRUE(saveAsEarlierBuild(c));
        }
        // As the window starts: the list is read, then its entries follow their drives.
        c.TaskArray = c.loadTaskList();
        ASSERT_EQ(c.TaskArray.size(), 1);
        c.updateTaskVolumePaths(false);
        const QString name = taskName(subject);
        switch (record()) {
        case Record::ThisBuild:
        case Record::EarlierLoaded:
        case Record::EarlierMovedSince:
            break;
        case Record::EarlierEdited:
            edit(name, {});
            break;
        case Record::EarlierEditedElsewhere:
            elsewhere(subject);
            c.updateTaskVolumePaths(false);
            edit(name, {});
            back(subject);
            c.updateTaskVolumePaths(false);
            break;
        case Record::EarlierReplaced: {
            // Made anew in the editor over the same folders, and Replace.
            const TaskInfoPtr loaded = c.findTask(name);
            QStringList sources;
            for (const QString& entry : saved.at(subject).value("backupSrc").toStringList())
                sources << choose(TaskInfo::pathPart(entry));
            const QString destination = choose(TaskInfo::pathPart(loaded->backupDest));
            c.runTask(plainTask(name, sources, destination, "None", mode()), "Add", true);
            ASSERT_TRUE(w.presenter.shown.back().message.startsWith("Task name already exists"));
            c.btnClicked(0);
            ASSERT_NE(c.findTask(name), loaded);
            break;
        }
        }
    }

    void then(Subject subject, Then then)
    {
        const QString name = taskName(subject);
        switch (then) {
        case Then::Nothing:
            break;
        case Then::AddsSameCard:
            QDir().mkpath(media() + "/CARD/Videos");
            edit(name, { media() + "/CARD/Videos" });
            break;
        case Then::AddsOtherCard:
            putIn("CARD2", Card::C, own(Card::C));
            QDir().mkpath(media() + "/CARD2/Clips");
            mountPresent();
            edit(name, { media() + "/CARD2/Clips" });
            break;
        case Then::AddsComputer:
            edit(name, { home() + "/Music" });
            break;
        case Then::OtherTaskOnIt: {
            const QString on = subject == Subject::Old ? drive() + "/other" : media() + "/CARD/backups";
            QDir().mkpath(on);
            c.runTask(plainTask("New", { home() + "/Music" }, choose(on), "None", mode()), "Add", true);
            break;
        }
        }
    }

    QString said(std::size_t before)
    {
        const bool done = QTest::qWaitFor([&] { return c.executingTasks.isEmpty() && w.presenter.shown.size() > before; }, 60000);
        return done ? w.presenter.shown.back().message : QString();
    }
    QString backUpSays(const QString& name)
    {
        const std::size_t before = w.presenter.shown.size();
        c.runTask(c.findTask(name), "Backup", true);
        return said(before);
    }
    // Restores as the Restore page asks for it; the message.
    QString restoreSays(const QString& name)
    {
        const std::size_t before = w.presenter.shown.size();
        c.restoreTask(c.findTask(name), "Restore");
        if (c.findTask(name)->function == 3) {
            c.restoreWithPassword("");
            c.restorePasswordPromptClosed();
        }
        return said(before);
    }

    // The trees the subject's backup holds, with what the record knows of their drives.
    QList<Tree> treesOf(Subject subject, bool renewed) const
    {
        // An entry that followed its drive before this build read the list no longer tells
        // which tree is its (a drive without an identity never follows).
        const bool moved = record() == Record::EarlierMovedSince && subject != Subject::Unnamed;
        switch (subject) {
        case Subject::Photos: return { { "CARD", "UUID-A", !moved, Card::A } };
        case Subject::Unnamed: return { { "CARD", renewed ? identityOfA : QString(), true, Card::A } };
        case Subject::Pair: return { { "CARD", "UUID-A", !moved, Card::A }, { "CARD1", "UUID-C", !moved, Card::C } };
        case Subject::Old: return {};
        }
        return {};
    }
    // The mount the rule lets the restore write a tree onto, or nothing.
    QString allowedMount(const Tree& tree, const Attached& attached) const
    {
        if (!tree.known)
            return {};
        if (UtilityFunctions::isAmbiguousIdentity(tree.identity)) {
            for (const auto& [mount, card] : attached.drives) {
                // A drive without an identity file has one once the restore has looked at the drives.
                if (mount == tree.mount && card != Card::Missing && shown(card).isEmpty())
                    return mount;
            }
            return {};
        }
        QStringList carriers;
        for (const auto& [mount, card] : attached.drives) {
            if (shown(card) == tree.identity)
                carriers << mount;
        }
        return carriers.size() == 1 ? carriers.first() : QString();
    }

    QTemporaryDir tmp;
    WiredController w;
    TaskController& c = w.controller;
    std::map<Subject, QVariantMap> saved;
    QString identityOfA;   // what card A's identity file holds now (or "Old"'s drive's)
};

TEST_P(RestoreRule, ADriveIsWrittenExactlyWhenItShowsTheIdentityItsTreeWasRecordedWith)
{
    for (Subject subject : subjects()) {
        const QString name = taskName(subject);
        const QList<Then> thens = subject == Subject::Pair  ? QList<Then> { Then::Nothing }
            : subject == Subject::Old                       ? QList<Then> { Then::Nothing, Then::OtherTaskOnIt }
                                                            : QList<Then> { Then::Nothing, Then::AddsSameCard, Then::AddsOtherCard,
                                                                            Then::AddsComputer, Then::OtherTaskOnIt };
        // The archive of an earlier build recorded nothing that tells two cards that build saw
        // swapped apart from two that were not: it has no row for them.
        if (subject == Subject::Pair && record() == Record::EarlierMovedSince && mode() != 1)
            continue;
        for (Then next : thens) {
            const QList<Attached>& places = subject == Subject::Pair ? kTwoCards
                : subject == Subject::Old                            ? kItsDrive
                : next == Then::Nothing                              ? kOneCard
                                                                     : kAfterAnEdit;
            for (const Attached& attached : places) {
                SCOPED_TRACE((name + ", " + thenName(next) + ", " + attached.name).toStdString());
                ASSERT_NO_FATAL_FAILURE(makeRecord(subject));
                ASSERT_NO_FATAL_FAILURE(then(subject, next));

                // The editor gives a drive whose identity file is empty an identity when one of its
                // folders is chosen; nothing else writes that file.
                const bool renewed = (subject == Subject::Unnamed || subject == Subject::Old)
                    && (record() == Record::EarlierReplaced || next == Then::AddsSameCard || next == Then::OtherTaskOnIt);
                const QString before = identityOfA;
                identityOfA = QString::fromUtf8(readFile((subject == Subject::Old ? drive() : media() + "/CARD") + "/Zorvi.txt"));
                if (renewed) {
                    EXPECT_EQ(identityOfA.size(), 36);
                } else {
                    EXPECT_EQ(identityOfA, before);
                }

                if (subject == Subject::Old) {
                    writeFile(home() + "/docs/note.txt", "changed");
                    EXPECT_EQ(restoreSays(name), "\"Old\" restoration complete");
                    EXPECT_EQ(readFile(home() + "/docs/note.txt"), "the backup of docs");
                    EXPECT_EQ(backUpSays(name), "\"Old\" backup complete");
                    continue;
                }

                clearCards();
                for (const auto& [mount, card] : attached.drives)
                    putIn(mount, card, own(card));
                mountPresent();
                const QString message = restoreSays(name);

                const QList<Tree> trees = treesOf(subject, renewed);
                std::map<QString, QByteArray> expected;
                bool everyTree = true;
                for (const Tree& tree : trees) {
                    const QString mount = allowedMount(tree, attached);
                    everyTree = everyTree && !mount.isEmpty();
                    if (!mount.isEmpty())
                        expected[mount] = backupOf(tree.card);
                }
                for (const auto& [mount, card] : attached.drives) {
                    const QByteArray want = expected.count(mount) ? expected.at(mount) : own(card);
                    EXPECT_EQ(readFile(media() + "/" + mount + "/DCIM/IMG_0001.JPG"), want)
                        << mount.toStdString() << " | " << message.toStdString();
                    if (card == Card::Empty) {
                        EXPECT_EQ(readFile(media() + "/" + mount + "/Zorvi.txt"), "") << "rewritten";
                    }
                }
                const QString added = addedName(next);
                if (everyTree && added.isEmpty()) {
                    EXPECT_EQ(message, "\"" + name + "\" restoration complete");
                } else {
                    EXPECT_TRUE(message.startsWith("\"" + name + "\" restoration failed")) << message.toStdString();
                }
                // The added folder is named: not in the last backup, or on another drive than its own.
                // (A restore that finds a source's drive gone says only that.)
                if (!added.isEmpty() && !message.endsWith("Device is not exist")) {
                    EXPECT_TRUE(message.contains("/" + added + "\" is ")) << message.toStdString();
                }
                const QSet<QString> notInBackup = namedAs(message, "is not in the last backup.");
                EXPECT_FALSE(namedAs(message, "is in the backup but not one of this task's sources").intersects(notInBackup))
                    << message.toStdString();
                // A record that knows its tree keeps the task listed while its folder holds it.
                if (std::all_of(trees.begin(), trees.end(), [](const Tree& tree) { return tree.known; })) {
                    EXPECT_TRUE(c.findTask(name)->hasCompleteBackup()) << message.toStdString();
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RestoreRule,
                         ::testing::Combine(::testing::Values(qint64(1), qint64(2), qint64(3)),
                                            ::testing::Values(Record::ThisBuild, Record::EarlierLoaded, Record::EarlierMovedSince,
                                                              Record::EarlierEdited, Record::EarlierEditedElsewhere,
                                                              Record::EarlierReplaced),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             const qint64 mode = std::get<0>(info.param);
                             return std::string(mode == 1 ? "PlainCopy" : mode == 2 ? "Archive" : "EncryptedArchive") + "_"
                                 + recordName(std::get<1>(info.param)) + "_"
                                 + (std::get<2>(info.param) ? "WithIdentities" : "WithoutIdentities");
                         });

} // namespace
