// Cards of one camera share their name, carry an identity file or not, and are swapped,
// cloned and renamed between backups and restores; a restore writes only the card its backup
// came from. Through the window: the editor, the Backup and Restore pages, simulated drives.
#include "EarlierBuildList.h"
#include "EndToEndSupport.h"

using namespace endtoend;

namespace {

// How a restore names a folder on a drive that a clone's identity makes it unable to tell.
const QString kTwins = "was not restored: more than one attached drive carries the identity of the drive it was backed "
                       "up from. Leave only that drive attached, then restore again.";

// Cards mounted below media/, a backups folder, and "Photos" backed up from the editor, as a
// 7z archive when the parameter is set.
class EndToEndCards : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(root + "/backups"));
    }
    void TearDown() override { ExternalVolumes::setOverride(std::nullopt, std::nullopt); }

    // A card with its identity file and one photo.
    static void makeCard(const QString& path, const QByteArray& identity, const QByteArray& photo)
    {
        ASSERT_TRUE(QDir().mkpath(path + "/DCIM"));
        writeAll(path + "/Zorvi.txt", identity);
        writeAll(path + "/DCIM/IMG_0001.JPG", photo);
    }
    // Card A in at `card`, another card of its name (card C) away, and a folder of the computer.
    void cardsAndFolder(const QString& card, const QString& folder)
    {
        ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "card A"));
        ASSERT_NO_FATAL_FAILURE(makeCard(root + "/away/C", "UUID-C", "card C"));
        ASSERT_TRUE(QDir().mkpath(folder));
        writeAll(folder + "/note.txt", "original");
        mount({ card });
    }
    void mount(const QStringList& cards) { ExternalVolumes::setOverride(QStringList { root + "/media" }, cards); }
    // "Photos" backed up from the editor, saved as a build from before drive identities were
    // recorded saved it: without "fixedSourceIdentities".
    void backUpPhotosInAnEarlierBuild(const QStringList& sources)
    {
        AppWindow window;
        ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, sources));
        ASSERT_TRUE(saveAsEarlierBuild(window.vc.controller));
    }
    // Card A in at `card`, backed up by "Photos" in an earlier build.
    void cardABackedUpInAnEarlierBuild(const QString& card)
    {
        ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "card A"));
        mount({ card });
        ASSERT_NO_FATAL_FAILURE(backUpPhotosInAnEarlierBuild({ card + "/DCIM" }));
    }
    // Card A in at `card` with an identity file that is empty, and card C away.
    void cardWithoutIdentityAndCardC(const QString& card)
    {
        ASSERT_NO_FATAL_FAILURE(makeCard(card, "", "card A"));
        ASSERT_NO_FATAL_FAILURE(makeCard(root + "/away/C", "UUID-C", "card C"));
        mount({ card });
    }
    // Card C in card A's place: the restore writes nothing and names the card folder with
    // `refusal`. Card A back: it gets its photo back.
    void restoreWithCardCThenCardA(AppWindow& window, const QString& card, const QString& refusal)
    {
        ASSERT_TRUE(QDir().rename(card, root + "/away/A") && QDir().rename(root + "/away/C", card));
        const QString said = restoreFirstTask(window.vc, window.restorePage);
        EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.\n\"" + card + "/DCIM\" " + refusal))
            << said.toStdString();
        EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");

        ASSERT_TRUE(QDir().rename(card, root + "/away/C") && QDir().rename(root + "/away/A", card));
        writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
        EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Photos\" restoration complete");
        EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    }
    // Card A at `first` and card C, of the same name, at `second`.
    void twoCards(const QString& first, const QString& second)
    {
        ASSERT_NO_FATAL_FAILURE(makeCard(first, "UUID-A", "card A"));
        ASSERT_NO_FATAL_FAILURE(makeCard(second, "UUID-C", "card C"));
        mount({ first, second });
    }
    // The other way round: card C at `first`, card A at `second`; both photos changed since.
    void theOtherWayRound(const QString& first, const QString& second)
    {
        ASSERT_TRUE(QDir().rename(first, root + "/media/out") && QDir().rename(second, first)
                    && QDir().rename(root + "/media/out", second));
        writeAll(second + "/DCIM/IMG_0001.JPG", "card A, later");
        writeAll(first + "/DCIM/IMG_0001.JPG", "card C, later");
    }
    // Restore, with the cards the other way round: each gets its own photos back.
    void restoreGivesEachItsOwn(AppWindow& window, const QString& first, const QString& second)
    {
        EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Photos\" restoration complete");
        EXPECT_EQ(readAll(second + "/DCIM/IMG_0001.JPG"), "card A");
        EXPECT_EQ(readAll(first + "/DCIM/IMG_0001.JPG"), "card C");
    }
    // A task list of the last build that holds one task, as that build saved it.
    void saveLastBuildsTask(const QString& name, const QStringList& sources, const QString& destination)
    {
        AppWindow window;
        TaskController& c = window.vc.controller;
        c.TaskArray = { TaskInfo::initWithValues(name, "", sources, destination, { "0" }, GetParam() ? 2 : 1, "", "None", 0, 0,
                                                 {}, {}, 0, 0, 0, 0, 0, 0, {}, false) };
        ASSERT_TRUE(c.saveTaskList());
    }
    TaskInfoPtr photos(AppWindow& window) { return window.vc.controller.findTask("Photos"); }
    void backUpPhotos(AppWindow& window, const QStringList& sources)
    {
        ASSERT_NO_FATAL_FAILURE(addTaskInTheEditor(window.backupPage, sources, root + "/backups", "Photos", GetParam()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) && photos(window)->backupStatus == 1; }, 60000));
        ASSERT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());
    }

    QTemporaryDir dir;
    const QString root = dir.path();
};

} // namespace

// Two cards of one camera share their name: the second one mounts as CARD1. One task backs up
// both; next time they go in the other way round. Restore gives each card its own photos.
TEST_P(EndToEndCards, TwoCardsOfOneNameInsertedTheOtherWayRoundGetTheirOwnPhotosBack)
{
    const QString first = root + "/media/CARD";
    const QString second = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(twoCards(first, second));

    AppWindow window;
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { first + "/DCIM", second + "/DCIM" }));
    EXPECT_EQ(photos(window)->function, GetParam() ? 2 : 1);

    ASSERT_NO_FATAL_FAILURE(theOtherWayRound(first, second));
    restoreGivesEachItsOwn(window, first, second);
}

// A card's photos and a folder of the computer, backed up by "Photos". The card goes out, and
// another card that the camera names alike comes in. The user makes "Photos" anew over the same
// folders and answers Replace to the question about its name; later the first card comes back
// and the same again; later still the other card is in, and "Photos" is deleted and added again.
// Only the first card ever gets its photos back; the folder of the computer always does.
TEST_P(EndToEndCards, AReplacedOrRemadeTaskWritesNoCardButTheOneItsBackupCameFrom)
{
    const QString card = root + "/media/CARD";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    const auto swapCards = [&](const QString& out, const QString& in) {
        return QDir().rename(card, root + "/away/" + out) && QDir().rename(root + "/away/" + in, card);
    };

    AppWindow window;
    ViewController& vc = window.vc;
    auto listed = [&]() { return photos(window); };
    const auto makePhotosAnew = [&] {
        vc.onBackupTabClicked();
        addTaskInTheEditor(window.backupPage, { card + "/DCIM", docs }, root + "/backups", "Photos", GetParam(), false);
    };
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM", docs }));

    // Card C in, "Photos" made anew and Replace.
    ASSERT_TRUE(swapCards("A", "C"));
    writeAll(docs + "/note.txt", "changed");
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.first().endsWith(";UUID-C"); }, 10000));
    QString said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed")) << said.toStdString();
    EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" is not in the last backup.")) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");

    // Card A back, and the same: its own photos come back.
    ASSERT_TRUE(swapCards("C", "A"));
    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    writeAll(docs + "/note.txt", "changed");
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.first().endsWith(";UUID-A"); }, 10000));
    said = restoreFirstTask(vc, window.restorePage);
    EXPECT_EQ(said, "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");

    // Card C in; "Photos" deleted and added again: it knows nothing of the backup in its folder.
    ASSERT_TRUE(swapCards("A", "C"));
    writeAll(docs + "/note.txt", "changed");
    vc.onBackupTabClicked();
    QTest::mouseClick(window.backupPage->cellAt(0)->deleteBtn, Qt::LeftButton);
    ASSERT_FALSE(closeMessage("Are you sure you want to delete?").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !listed(); }, 10000));
    ASSERT_NO_FATAL_FAILURE(makePhotosAnew());
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed() != nullptr; }, 10000));
    said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored")) << said.toStdString();
    const QString where = GetParam() ? "Its backup is in the 7z archive \"" + root + "/backups/Photos/backup.7z\""
                                     : "Its backup is the plain folder \"" + root + "/backups/Photos" + card + "/DCIM\"";
    EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" was not restored: it cannot be told that the drive in its place is the one "
                              "it was backed up from. " + where)) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");
}

// A card and its clone (copied block by block, so they carry one identity). The task backed up
// the card; the clone went in alone, at CARD1, and the task followed it there; then the card
// came back beside it and the user added the card's folder in the editor. While both are in,
// Restore cannot tell which is the card: it writes neither and names both.
TEST_P(EndToEndCards, ACloneIsNeverWrittenWithTheOriginalsBackup)
{
    const QString card = root + "/media/CARD";
    const QString clone = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "original"));
    mount({ card });

    AppWindow window;
    ViewController& vc = window.vc;
    auto listed = [&]() { return photos(window); };
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM" }));

    // The clone alone: opening the task's editor makes it follow the card's identity there.
    ASSERT_TRUE(QDir().mkpath(root + "/away") && QDir().rename(card, root + "/away/CARD"));
    ASSERT_NO_FATAL_FAILURE(makeCard(clone, "UUID-A", "clone"));
    mount({ clone });
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->taskCancelClicked();
    ASSERT_EQ(listed()->backupSrc, QStringList { clone + "/DCIM;UUID-A" });

    // The card back beside its clone, and its folder added.
    ASSERT_TRUE(QDir().rename(root + "/away/CARD", card));
    mount({ card, clone });
    writeAll(card + "/DCIM/IMG_0001.JPG", "original, later");
    ASSERT_NE(editor = editFirstTask(window.backupPage), nullptr);
    editor->addSourcePaths({ card + "/DCIM" }, false);
    doneWithoutBackingUp(editor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed()->backupSrc.size() == 2; }, 10000));

    const QString said = restoreFirstTask(vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.")) << said.toStdString();
    for (const QString& folder : { clone, card })
        EXPECT_TRUE(said.contains("\"" + folder + "/DCIM\" " + kTwins)) << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "original, later");
    EXPECT_EQ(readAll(clone + "/DCIM/IMG_0001.JPG"), "clone");
}

// A card backed up with a folder of the computer; then a card that carries its identity (a
// clone, or a card onto which all of it was copied) is in beside it, in either mount order.
// While both are in, neither is written and the restore says what to do; the folder comes
// back. With the clone out, the card gets its photos back, also under another mount name.
TEST_P(EndToEndCards, TwoAttachedCardsOfOneIdentityAreNeitherWrittenUntilOneIsOut)
{
    const QString card = root + "/media/CARD";
    const QString second = root + "/media/CARD1";
    const QString away = root + "/away";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    ASSERT_NO_FATAL_FAILURE(makeCard(away + "/clone", "UUID-A", "clone"));

    AppWindow window;
    ViewController& vc = window.vc;
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM", docs }));
    const auto restoreWithBothIn = [&](const QString& cardAt, const QString& cloneAt) {
        mount({ card, second });
        writeAll(cardAt + "/DCIM/IMG_0001.JPG", "card A, later");
        writeAll(docs + "/note.txt", "changed");
        const QString said = restoreFirstTask(vc, window.restorePage);
        EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored; everything else is back in "
                                    "place.\n\"" + card + "/DCIM\" " + kTwins + " Its backup is ")) << said.toStdString();
        EXPECT_EQ(readAll(cardAt + "/DCIM/IMG_0001.JPG"), "card A, later");
        EXPECT_EQ(readAll(cloneAt + "/DCIM/IMG_0001.JPG"), "clone");
        EXPECT_EQ(readAll(docs + "/note.txt"), "original");
    };

    // The clone put in beside the card: it mounts as CARD1.
    ASSERT_TRUE(QDir().rename(away + "/clone", second));
    restoreWithBothIn(card, second);
    ASSERT_TRUE(QDir().rename(second, away + "/clone"));
    mount({ card });
    EXPECT_EQ(restoreFirstTask(vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");

    // The clone in while the card was out, so it mounts as CARD; the card back as CARD1.
    ASSERT_TRUE(QDir().rename(card, second) && QDir().rename(away + "/clone", card));
    restoreWithBothIn(second, card);
    ASSERT_TRUE(QDir().rename(card, away + "/clone"));
    mount({ second });
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->taskCancelClicked();
    ASSERT_EQ(photos(window)->backupSrc.first(), second + "/DCIM;UUID-A");
    EXPECT_EQ(restoreFirstTask(vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(second + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(away + "/clone/DCIM/IMG_0001.JPG"), "clone");
}

// "Photos" of a card and a folder of the computer, in a task list of an earlier build, which
// recorded no drives. With another card of the camera's name in, the user makes "Photos" anew
// over the same folders and answers Replace: that card is never written, the folder comes
// back. Made anew the same way over the card itself, the card gets its photos back.
TEST_P(EndToEndCards, AnEarlierBuildsTaskReplacedOverAnotherCardNeverWritesIt)
{
    const QString card = root + "/media/CARD";
    const QString docs = root + "/docs";
    ASSERT_NO_FATAL_FAILURE(cardsAndFolder(card, docs));
    ASSERT_NO_FATAL_FAILURE(backUpPhotosInAnEarlierBuild({ card + "/DCIM", docs }));
    const QByteArray earlierList = readAll(TaskController::taskListPath());
    const auto replacePhotos = [&](AppWindow& window) {
        const TaskInfoPtr loaded = photos(window);
        ASSERT_EQ(loaded->fixedSourceIdentities, (QStringList { "UUID-A", "" })) << "learned as the list was read";
        addTaskInTheEditor(window.backupPage, { card + "/DCIM", docs }, root + "/backups", "Photos", GetParam(), false);
        ASSERT_FALSE(closeMessage("Task name already exists").isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) != loaded; }, 10000));
    };

    ASSERT_TRUE(QDir().rename(card, root + "/away/A") && QDir().rename(root + "/away/C", card));
    writeAll(docs + "/note.txt", "changed");
    {
        AppWindow window(AppWindow::SavedList);
        ASSERT_NO_FATAL_FAILURE(replacePhotos(window));
        ASSERT_TRUE(photos(window)->backupSrc.first().endsWith(";UUID-C"));
        const QString said = restoreFirstTask(window.vc, window.restorePage);
        EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNot everything was restored")) << said.toStdString();
        EXPECT_TRUE(said.contains("\"" + card + "/DCIM\" is not in the last backup.")) << said.toStdString();
        EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card C");
        EXPECT_EQ(readAll(docs + "/note.txt"), "original");
    }

    // Card A in, and the earlier build's list as it was.
    ASSERT_TRUE(QDir().rename(card, root + "/away/C") && QDir().rename(root + "/away/A", card));
    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    writeAll(docs + "/note.txt", "changed");
    writeAll(TaskController::taskListPath(), earlierList);
    AppWindow window(AppWindow::SavedList);
    ASSERT_NO_FATAL_FAILURE(replacePhotos(window));
    EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");
}

// Card A's identity file is there but empty (a write cut short when the card was pulled). The
// user adds its folder in the editor: the card gets an identity there, and its backup goes to
// it alone. Card C, of the same name, in its place is never written; card A back gets its photos.
TEST_P(EndToEndCards, ACardWithAnEmptyIdentityFileGetsOneInTheEditorAndAloneGetsItsBackup)
{
    const QString card = root + "/media/CARD";
    ASSERT_NO_FATAL_FAILURE(cardWithoutIdentityAndCardC(card));

    AppWindow window;
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM" }));
    const QByteArray identity = readAll(card + "/Zorvi.txt");
    EXPECT_EQ(identity.size(), 36);
    EXPECT_EQ(photos(window)->backupSrc, QStringList { card + "/DCIM;" + identity });

    restoreWithCardCThenCardA(window, card, "is on another drive than the one it was backed up from: it was not restored.");
}

// The task list of the last build holds "Photos" of card A's folder with an empty identity: its
// editor took card A's empty identity file for one. The task still backs card A up, and nothing
// rewrites the file; card C of the same name in its place is never written, and card A back in
// its place gets its photos.
TEST_P(EndToEndCards, ATaskOfACardWithoutAnIdentityNeverWritesACardThatShowsOne)
{
    const QString card = root + "/media/CARD";
    ASSERT_NO_FATAL_FAILURE(cardWithoutIdentityAndCardC(card));
    ASSERT_NO_FATAL_FAILURE(saveLastBuildsTask("Photos", { card + "/DCIM;" }, root + "/backups"));

    AppWindow window(AppWindow::SavedList);
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    ASSERT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());
    EXPECT_EQ(readAll(card + "/Zorvi.txt"), "");

    restoreWithCardCThenCardA(window, card, "was not restored: it cannot be told that the drive in its place is the one it "
                                            "was backed up from. Its backup is ");
}

// "Photos" of card A in a task list of an earlier build, which recorded no drives. Card A is in
// as CARD1: the user opens the task with the pencil (it follows the card there), turns "Back up
// immediately" off and clicks Done. Back in as CARD, the card gets its photos back.
TEST_P(EndToEndCards, AnEarlierBuildsTaskEditedWhileItsCardIsElsewhereRestoresItsCard)
{
    const QString card = root + "/media/CARD";
    const QString elsewhere = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(cardABackedUpInAnEarlierBuild(card));

    ASSERT_TRUE(QDir().rename(card, elsewhere));
    mount({ elsewhere });
    AppWindow window(AppWindow::SavedList);
    const TaskInfoPtr loaded = photos(window);
    ASSERT_EQ(loaded->fixedSourceIdentities, QStringList { "UUID-A" }) << "learned as the list was read";
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(photos(window)->backupSrc, QStringList { elsewhere + "/DCIM;UUID-A" });
    doneWithoutBackingUp(editor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) != loaded && !window.backupPage->editor(); }, 10000));

    ASSERT_TRUE(QDir().rename(elsewhere, card));
    mount({ card });
    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Photos\" restoration complete");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
}

// Card A is backed up; in its place now is a card whose identity file cannot be read (here, a
// folder of that name). Its next backup fails, and the task stays on the Restore page: its
// restore writes nothing onto that card and says where the backup is.
TEST_P(EndToEndCards, ABackupWithheldByTheCardInItsPlaceStaysOnTheRestorePage)
{
    const QString card = root + "/media/CARD";
    ASSERT_NO_FATAL_FAILURE(makeCard(card, "UUID-A", "card A"));
    mount({ card });
    AppWindow window;
    ASSERT_NO_FATAL_FAILURE(backUpPhotos(window, { card + "/DCIM" }));

    ASSERT_TRUE(QDir().mkpath(root + "/away") && QDir().rename(card, root + "/away/A"));
    ASSERT_TRUE(QDir().mkpath(card + "/Zorvi.txt") && QDir().mkpath(card + "/DCIM"));
    writeAll(card + "/DCIM/IMG_0001.JPG", "unreadable card");
    window.vc.onBackupTabClicked();
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    ASSERT_FALSE(closeMessage("\"Photos\" backup failed").isEmpty());
    ASSERT_EQ(photos(window)->backupStatus, -1);

    const QString said = restoreFirstTask(window.vc, window.restorePage);
    EXPECT_TRUE(said.startsWith("\"Photos\" restoration failed\nNothing was restored.\n\"" + card
                                + "/DCIM\" was not restored: it cannot be told that the drive in its place is the one it was "
                                  "backed up from. Its backup is "))
        << said.toStdString();
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "unreadable card");
}

// "Photos" of two cards of one camera, card A at CARD and card C at CARD1, in a task list of an
// earlier build, which recorded no drives. Next time card C goes in first: it is CARD, and card
// A is CARD1. Each card gets its own photos back, never the other's.
TEST_P(EndToEndCards, AnEarlierBuildsTaskOfTwoCardsGivesEachCardItsOwnPhotosWhateverTheirOrder)
{
    const QString first = root + "/media/CARD";
    const QString second = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(twoCards(first, second));
    ASSERT_NO_FATAL_FAILURE(backUpPhotosInAnEarlierBuild({ first + "/DCIM", second + "/DCIM" }));

    ASSERT_NO_FATAL_FAILURE(theOtherWayRound(first, second));
    AppWindow window(AppWindow::SavedList);
    ASSERT_EQ(photos(window)->backupSrc, (QStringList { second + "/DCIM;UUID-A", first + "/DCIM;UUID-C" }));
    restoreGivesEachItsOwn(window, first, second);
}

// "Photos" of card A, in a task list of an earlier build. The user opens it with the pencil, adds
// a folder of the same card and one of another card, turns "Back up immediately" off and clicks
// Done. The task stays on the Restore page; card A gets its photos back, and the added folders
// are named as not in the last backup.
TEST_P(EndToEndCards, AnEarlierBuildsTaskWithFoldersAddedStaysOnTheRestorePageAndRestoresItsCard)
{
    const QString card = root + "/media/CARD";
    const QString other = root + "/media/CARD1";
    ASSERT_NO_FATAL_FAILURE(cardABackedUpInAnEarlierBuild(card));

    ASSERT_NO_FATAL_FAILURE(makeCard(other, "UUID-C", "card C"));
    ASSERT_TRUE(QDir().mkpath(card + "/Videos") && QDir().mkpath(other + "/Clips"));
    mount({ card, other });
    AppWindow window(AppWindow::SavedList);
    const TaskInfoPtr loaded = photos(window);
    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->addSourcePaths({ card + "/Videos", other + "/Clips" }, false);
    doneWithoutBackingUp(editor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window) != loaded && photos(window)->backupSrc.size() == 3; }, 10000));

    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    const QString said = restoreFirstTask(window.vc, window.restorePage);
    EXPECT_EQ(said, "\"Photos\" restoration failed\nNot everything was restored; everything else is back in place.\n\"" + card
                        + "/Videos\" is not in the last backup.\n\"" + other + "/Clips\" is not in the last backup.");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    EXPECT_EQ(readAll(other + "/DCIM/IMG_0001.JPG"), "card C");
}

// "Old" of the last build backs a folder of the computer up onto a drive whose identity file is
// empty ("BACKUP/backups;"). The user adds "New" with its destination on that drive: the editor
// gives the drive an identity, and "Old" follows it there, so it still restores and backs up.
TEST_P(EndToEndCards, ADriveGivenAnIdentityForAnotherTasksDestinationStillRestoresAndBacksUpItsTasks)
{
    const QString drive = root + "/media/BACKUP";
    const QString docs = root + "/docs";
    ASSERT_TRUE(QDir().mkpath(drive + "/backups") && QDir().mkpath(root + "/music"));
    writeAll(drive + "/Zorvi.txt", "");
    ASSERT_TRUE(QDir().mkpath(docs));
    writeAll(docs + "/note.txt", "original");
    mount({ drive });
    ASSERT_NO_FATAL_FAILURE(saveLastBuildsTask("Old", { docs }, drive + "/backups;"));
    AppWindow window(AppWindow::SavedList);
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    ASSERT_FALSE(closeMessage("\"Old\" backup complete").isEmpty());

    ASSERT_NO_FATAL_FAILURE(addTaskInTheEditor(window.backupPage, { root + "/music" }, drive + "/New", "New", GetParam(), false));
    TaskController& c = window.vc.controller;
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.findTask("New") != nullptr; }, 10000));
    const QString identity = QString::fromUtf8(readAll(drive + "/Zorvi.txt"));
    ASSERT_EQ(identity.size(), 36);
    EXPECT_EQ(c.findTask("Old")->backupDest, drive + "/backups;" + identity);
    EXPECT_EQ(c.findTask("New")->backupDest, drive + "/New;" + identity);

    writeAll(docs + "/note.txt", "changed");
    EXPECT_EQ(restoreFirstTask(window.vc, window.restorePage), "\"Old\" restoration complete");
    EXPECT_EQ(readAll(docs + "/note.txt"), "original");
    window.vc.onBackupTabClicked();
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    EXPECT_FALSE(closeMessage("\"Old\" backup complete").isEmpty());
}

// "Photos" of the last build holds card A's folder with an empty identity ("CARD/DCIM;"). The user
// adds another folder of the card with the pencil: the editor gives the card an identity, and
// both folders name it. The first folder restores, and the task backs up.
TEST_P(EndToEndCards, AFolderAddedToATaskOfACardWithoutAnIdentityGivesBothFoldersItsNewIdentity)
{
    const QString card = root + "/media/CARD";
    ASSERT_NO_FATAL_FAILURE(cardWithoutIdentityAndCardC(card));
    ASSERT_TRUE(QDir().mkpath(card + "/Videos"));
    ASSERT_NO_FATAL_FAILURE(saveLastBuildsTask("Photos", { card + "/DCIM;" }, root + "/backups"));
    AppWindow window(AppWindow::SavedList);
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    ASSERT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());

    AddTaskBoxViewController* editor = editFirstTask(window.backupPage);
    ASSERT_NE(editor, nullptr);
    editor->addSourcePaths({ card + "/Videos" }, false);
    doneWithoutBackingUp(editor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return photos(window)->backupSrc.size() == 2; }, 10000));
    const QString identity = QString::fromUtf8(readAll(card + "/Zorvi.txt"));
    ASSERT_EQ(identity.size(), 36);
    EXPECT_EQ(photos(window)->backupSrc, (QStringList { card + "/DCIM;" + identity, card + "/Videos;" + identity }));

    writeAll(card + "/DCIM/IMG_0001.JPG", "card A, later");
    const QString said = restoreFirstTask(window.vc, window.restorePage);
    EXPECT_EQ(said, "\"Photos\" restoration failed\nNot everything was restored; everything else is back in place.\n\"" + card
                        + "/Videos\" is not in the last backup.");
    EXPECT_EQ(readAll(card + "/DCIM/IMG_0001.JPG"), "card A");
    window.vc.onBackupTabClicked();
    ASSERT_TRUE(backUpFirstTask(window.backupPage));
    EXPECT_FALSE(closeMessage("\"Photos\" backup complete").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Modes, EndToEndCards, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Archive" : "PlainCopy"; });
