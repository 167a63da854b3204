// One rule decides every write of a restore onto a drive, walked over what can be attached
// where, under which mount name, for every kind of record, in each mode:
// - a tree recorded with an identity goes only onto the one attached drive that shows it, at
//   its stored path or at the same path below that drive's root;
// - a tree recorded with no identity goes only onto a drive that shows none, at its stored path;
// - an earlier build's record, which recorded no identities, stands for its trees with the
//   identities of its sources' own entries.
#include "EngineTestSupport.h"
#include "TaskRunFakes.h"
#include "TestFiles.h"

#include "ExternalVolumes.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

enum class Recorded { Identity, None };
enum class Record { ThisBuild, EarlierLoaded, EarlierEdited, EarlierEditedElsewhere, EarlierReplaced };
// What is put in: the backed-up card, another card, a clone of the backed-up card (its identity
// file copied too), and cards whose identity file is empty, cannot be read, or is not there.
enum class Card { Backed, Other, Clone, Empty, Unreadable, Missing };

const QByteArray kBacked = "the backup";

struct Attached {
    const char* name;
    QList<std::pair<QString, Card>> drives;   // mount name, card
};

const QList<Attached> kAttached {
    { "the card", { { "CARD", Card::Backed } } },
    { "the card under another name", { { "CARD1", Card::Backed } } },
    { "another card", { { "CARD", Card::Other } } },
    { "another card under another name", { { "CARD1", Card::Other } } },
    { "the card, then its clone", { { "CARD", Card::Backed }, { "CARD1", Card::Clone } } },
    { "the clone, then the card", { { "CARD", Card::Clone }, { "CARD1", Card::Backed } } },
    { "an empty identity file", { { "CARD", Card::Empty } } },
    { "an empty identity file under another name", { { "CARD1", Card::Empty } } },
    { "an unreadable identity file", { { "CARD", Card::Unreadable } } },
    { "an unreadable identity file under another name", { { "CARD1", Card::Unreadable } } },
    { "no identity file", { { "CARD", Card::Missing } } },
    { "no identity file under another name", { { "CARD1", Card::Missing } } },
    { "no drive", {} },
};

const char* recordName(Record record)
{
    switch (record) {
    case Record::ThisBuild: return "this build's record";
    case Record::EarlierLoaded: return "an earlier build's record";
    case Record::EarlierEdited: return "an earlier build's record, edited";
    case Record::EarlierEditedElsewhere: return "an earlier build's record, edited while its card is elsewhere";
    case Record::EarlierReplaced: return "an earlier build's record, replaced";
    }
    return "";
}

// The identity a card shows once the restore's look at the drives has given one to a drive
// without an identity file.
QString shownBy(Card card, Recorded recorded)
{
    switch (card) {
    case Card::Backed:
    case Card::Clone: return recorded == Recorded::Identity ? "UUID-A" : "";
    case Card::Other: return "UUID-C";
    case Card::Empty:
    case Card::Unreadable: return "";
    case Card::Missing: return "a new one";
    }
    return "";
}

// The mount name of the drive the rule lets the restore write, or nothing.
QString allowedMount(const Attached& attached, Recorded recorded, Record record, qint64 mode)
{
    if (recorded == Recorded::None) {
        // The editor gave the card an identity: the new record knows no tree of it.
        if (record == Record::EarlierReplaced)
            return {};
        for (const auto& [mount, card] : attached.drives) {
            if (mount == "CARD" && shownBy(card, recorded).isEmpty())
                return mount;
        }
        return {};
    }
    QStringList carriers;
    for (const auto& [mount, card] : attached.drives) {
        if (shownBy(card, recorded) == "UUID-A")
            carriers << mount;
    }
    if (carriers.size() != 1)
        return {};
    // An earlier build's archive holds its trees under paths it never recorded: until its next
    // backup it finds them by the paths its sources have.
    if (mode != 1 && record != Record::ThisBuild && carriers.first() != "CARD")
        return {};
    return carriers.first();
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

class RestoreRule : public ::testing::TestWithParam<qint64> {
protected:
    void SetUp() override
    {
        QDir(TaskController::taskListFolder()).removeRecursively();
        QDir().mkpath(dest());
        for (Recorded recorded : { Recorded::Identity, Recorded::None })
            ASSERT_NO_FATAL_FAILURE(backUp(recorded));
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    QString media() const { return tmp.path() + "/media"; }
    QString dest() const { return tmp.path() + "/backups"; }
    static QString taskName(Recorded recorded) { return recorded == Recorded::Identity ? "Photos" : "Unnamed"; }
    void mount(const QStringList& names)
    {
        QStringList roots;
        for (const QString& name : names)
            roots << media() + "/" + name;
        ExternalVolumes::setOverride(QStringList { media() }, roots);
    }
    // A card at media/<mount> whose photo says which card it is.
    void putIn(const QString& mount, Card card, Recorded recorded)
    {
        const QString root = media() + "/" + mount;
        const QByteArray identity = shownBy(card, recorded).toUtf8();
        switch (card) {
        case Card::Unreadable: QDir().mkpath(root + "/Zorvi.txt"); break;
        case Card::Missing: break;
        default: writeFile(root + "/Zorvi.txt", identity); break;
        }
        writeFile(root + "/DCIM/IMG_0001.JPG", "the card's own, " + QByteArray::number(int(card)));
    }
    // The backed-up card alone at CARD, as its backup found it, and nothing else.
    void onlyTheCard(const QString& mount, Recorded recorded)
    {
        QDir(media()).removeRecursively();
        putIn(mount, Card::Backed, recorded);
        this->mount({ mount });
    }

    // The card's photo backed up by a task of this build; its record is kept as saved.
    void backUp(Recorded recorded)
    {
        onlyTheCard("CARD", recorded);
        writeFile(media() + "/CARD/DCIM/IMG_0001.JPG", kBacked);
        const QString identity = recorded == Recorded::Identity ? "UUID-A" : "";
        TaskInfoPtr task = plainTask(taskName(recorded), { media() + "/CARD/DCIM;" + identity }, dest(), "None", GetParam());
        task->taskInfoDelegate = &c;
        c.TaskArray = { task };
        c.runTask(task, "Backup", true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return c.executingTasks.isEmpty() && !w.presenter.shown.empty(); }, 60000));
        ASSERT_EQ(w.presenter.shown.back().message, "\"" + taskName(recorded) + "\" backup complete");
        ASSERT_EQ(c.findTask(taskName(recorded))->fixedSourceIdentities, QStringList { identity });
        saved[recorded] = c.findTask(taskName(recorded))->toDictionary();
    }

    // Makes the record of the given kind the task list's, with the backed-up card in at CARD.
    void makeRecord(Recorded recorded, Record record)
    {
        onlyTheCard("CARD", recorded);
        QVariantMap dictionary = saved.at(recorded);
        if (record != Record::ThisBuild)
            dictionary.remove("fixedSourceIdentities");
        c.TaskArray = { TaskInfo::initFromDictionary(dictionary, false) };
        ASSERT_TRUE(c.saveTaskList());
        c.TaskArray = c.loadTaskList();
        ASSERT_EQ(c.TaskArray.size(), 1);
        const TaskInfoPtr loaded = c.TaskArray.first();
        const auto editOf = [](const TaskInfoPtr& before) {
            TaskInfoPtr edited = plainTask(before->taskName, before->backupSrc, before->backupDest, "None", before->function);
            edited->keepFixedSourcesOf(*before, true);
            return edited;
        };
        switch (record) {
        case Record::ThisBuild:
        case Record::EarlierLoaded:
            break;
        case Record::EarlierEdited:
            c.runTask(editOf(loaded), "Modify", true);
            break;
        case Record::EarlierEditedElsewhere:
            QDir().rename(media() + "/CARD", media() + "/CARD1");
            mount({ "CARD1" });
            c.updateTaskVolumePaths(false);
            c.runTask(editOf(c.findTask(loaded->taskName)), "Modify", true);
            QDir().rename(media() + "/CARD1", media() + "/CARD");
            mount({ "CARD" });
            c.updateTaskVolumePaths(false);
            break;
        case Record::EarlierReplaced: {
            // Made anew in the editor over the same folder, and Replace.
            const QString source = UtilityFunctions::tagPathWithDevice(media() + "/CARD/DCIM", UtilityFunctions::EmptyIdentity::Renew);
            TaskInfoPtr anew = plainTask(loaded->taskName, { source }, loaded->backupDest, "None", loaded->function);
            c.runTask(anew, "Add", true);
            ASSERT_TRUE(w.presenter.shown.back().message.startsWith("Task name already exists"));
            c.btnClicked(0);
            ASSERT_NE(c.findTask(loaded->taskName), loaded);
            break;
        }
        }
    }

    // Restores as the Restore page asks for it; the message.
    QString restore(const QString& name)
    {
        const std::size_t before = w.presenter.shown.size();
        c.restoreTask(c.findTask(name), "Restore");
        if (c.findTask(name)->function == 3) {
            c.restoreWithPassword("");
            c.restorePasswordPromptClosed();
        }
        const bool done = QTest::qWaitFor([&] { return c.executingTasks.isEmpty() && w.presenter.shown.size() > before; }, 60000);
        return done ? w.presenter.shown.back().message : QString();
    }

    QTemporaryDir tmp;
    WiredController w;
    TaskController& c = w.controller;
    std::map<Recorded, QVariantMap> saved;
};

TEST_P(RestoreRule, ADriveIsWrittenExactlyWhenItShowsTheIdentityItsTreeWasRecordedWith)
{
    const qint64 mode = GetParam();
    for (Recorded recorded : { Recorded::Identity, Recorded::None }) {
        const QString name = taskName(recorded);
        for (Record record : { Record::ThisBuild, Record::EarlierLoaded, Record::EarlierEdited,
                               Record::EarlierEditedElsewhere, Record::EarlierReplaced }) {
            for (const Attached& attached : kAttached) {
                SCOPED_TRACE(std::string(recorded == Recorded::Identity ? "an identity" : "no identity") + ", "
                             + recordName(record) + ", " + attached.name);
                ASSERT_NO_FATAL_FAILURE(makeRecord(recorded, record));
                QDir(media()).removeRecursively();
                QStringList mounts;
                for (const auto& [mount, card] : attached.drives) {
                    putIn(mount, card, recorded);
                    mounts << mount;
                }
                mount(mounts);

                const QString said = restore(name);
                const QString allowed = allowedMount(attached, recorded, record, mode);
                for (const auto& [mount, card] : attached.drives) {
                    EXPECT_EQ(readFile(media() + "/" + mount + "/DCIM/IMG_0001.JPG") == kBacked, mount == allowed)
                        << mount.toStdString() << " | " << said.toStdString();
                    if (card == Card::Empty) {
                        EXPECT_EQ(readFile(media() + "/" + mount + "/Zorvi.txt"), "") << "rewritten";
                    }
                }
                if (allowed.isEmpty())
                    EXPECT_TRUE(said.startsWith("\"" + name + "\" restoration failed")) << said.toStdString();
                else
                    EXPECT_EQ(said, "\"" + name + "\" restoration complete");
                const QSet<QString> foreign = namedAs(said, "is in the backup but not one of this task's sources");
                EXPECT_FALSE(foreign.intersects(namedAs(said, "is not in the last backup."))) << said.toStdString();
                // Only the replaced record of a card without an identity knows no tree of its source.
                const bool knowsTree = !(recorded == Recorded::None && record == Record::EarlierReplaced);
                EXPECT_EQ(c.findTask(name)->hasCompleteBackup(), knowsTree) << said.toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RestoreRule, ::testing::Values(qint64(1), qint64(2), qint64(3)), [](const auto& info) {
    return info.param == 1 ? "PlainCopy" : info.param == 2 ? "Archive" : "EncryptedArchive";
});

} // namespace
