#include "AddTaskBoxViewController.h"
#include "AddTaskBoxButton.h"
#include "AddTaskSmallBoxButton.h"
#include "Controls.h"
#include "PasswordRules.h"
#include "ExternalVolumes.h"
#include "ElidedLabel.h"
#include "SourcePickerDialog.h"
#include "TaskPagesTestSupport.h"
#include "TestFiles.h"
#include "UtilityFunctions.h"
#include "VolumeIdentity.h"
#include "customizeButton.h"

#include <QCheckBox>
#include <QScopeGuard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QListWidget>
#include <QToolButton>
#include <QUrl>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QTreeView>
#include <sys/mount.h>
#include <unistd.h>

using namespace taskpages;

namespace {
void writeFile(const QString& path, int bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
}
} // namespace

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path();
        QDir(root).mkpath("src/folder/inner");
        QDir(root).mkpath("dest");
        QDir(root).mkpath("other");
        writeFile(root + "/src/one.txt", 10);
        writeFile(root + "/src/two.txt", 20);
        writeFile(root + "/src/folder/a.bin", 100);
        writeFile(root + "/src/folder/inner/b.bin", 200);
        sink = std::make_shared<RecordingSink>();
        GoogleReporter::shared().setSink(sink);
    }
    void TearDown() override { GoogleReporter::shared().setSink(nullptr); }

    // An editor with its delegate, shown as the pages show it.
    AddTaskBoxViewController* open(const TaskInfoPtr& task = nullptr)
    {
        auto* editor = new AddTaskBoxViewController(nullptr, task);
        editor->boxDelegate = &box;
        if (!editor->present())
            return nullptr;
        guard = editor;
        return editor;
    }
    // Presses Done and waits for the sources to be summed.
    void done(AddTaskBoxViewController* editor)
    {
        QTest::mouseClick(control<customizeButton>(editor, "doneButton"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull() || !editor->isMeasuring(); }, 10000));
        drainMainQueue();
    }

    QTemporaryDir dir;
    QString root;
    RecordingPresenter presenter;
    RecordingBoxDelegate box;
    std::shared_ptr<RecordingSink> sink;
    QPointer<AddTaskBoxViewController> guard;
};

TEST_F(EditorTest, NewTaskCarriesCountsSizesIdsAndTheSettings)
{
    auto* editor = open();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(editor->isModifyMode);
    EXPECT_TRUE(control<QCheckBox>(editor, "backupImmediatelyCheck")->isChecked());
    EXPECT_EQ(editor->password, PasswordRules::noPasswordMarker());

    editor->addSourcePaths({ root + "/src/one.txt", root + "/src/folder", root + "/src/two.txt" }, true);
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden());
    EXPECT_EQ(control<QListWidget>(editor, "leftBoxTableView")->count(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<AddTaskSmallBoxButton>(editor, "AddFileBtn")->text().startsWith("Add Files("); }, 5000));
    editor->chooseDestination(root + "/dest", true);
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "destinationBoxBtn")->isHidden());
    EXPECT_TRUE(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->text().startsWith("Change Destination ("));
    EXPECT_TRUE(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->text().contains("available"));
    editor->sendAdvInfo(3, "Abcd1234", "Daily", 7, 30, {}, {});
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Docs");
    done(editor);

    ASSERT_EQ(box.tasks.size(), 1u);
    EXPECT_EQ(box.actions[0], "AddDo");
    const TaskInfoPtr t = box.tasks[0];
    EXPECT_EQ(t->taskName, "Docs");
    EXPECT_EQ(t->backupSrc, QStringList({ root + "/src/one.txt", root + "/src/folder", root + "/src/two.txt" }));
    EXPECT_EQ(t->backupDest, root + "/dest");
    EXPECT_EQ(t->backupId, QStringList({ "0", "1", "2" }));
    EXPECT_EQ(t->fileCount, 2);
    EXPECT_EQ(t->directoryCount, 1);
    EXPECT_EQ(t->totalSize, 330);
    EXPECT_EQ(t->function, 3);
    EXPECT_EQ(t->password, "Abcd1234");
    EXPECT_EQ(t->scheduleMode, "Daily");
    EXPECT_EQ(t->hour, 7);
    EXPECT_EQ(t->minute, 30);
    EXPECT_EQ(t->backupStatus, 0);
    EXPECT_EQ(t->lastBackupDate, "");
    EXPECT_TRUE(guard.isNull() || !guard->isVisible());

    ASSERT_EQ(sink->events.size(), 2u);
    EXPECT_EQ(sink->events[0].category, "Task Schedule");
    EXPECT_EQ(sink->events[0].action, "Daily");
    EXPECT_EQ(sink->events[1].category, "Task Security");
    EXPECT_EQ(sink->events[1].action, "Compress And Encrypt");
    t->stopScheduleTimer();
}

TEST_F(EditorTest, ActionWordFollowsModeAndCheckbox)
{
    auto* editor = open();
    // The large boxes show only while their side is empty, whichever button chose.
    EXPECT_FALSE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden());
    editor->addSourcePaths({ root + "/src/one.txt" }, false);
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden());
    EXPECT_FALSE(control<QListWidget>(editor, "leftBoxTableView")->isHidden());
    editor->chooseDestination(root + "/dest", false);
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "destinationBoxBtn")->isHidden());
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Plain");
    control<QCheckBox>(editor, "backupImmediatelyCheck")->setChecked(false);
    done(editor);
    ASSERT_EQ(box.actions.size(), 1u);
    EXPECT_EQ(box.actions[0], "Add");
    EXPECT_EQ(box.tasks[0]->function, 1);
    EXPECT_EQ(box.tasks[0]->password, PasswordRules::noPasswordMarker());
}

TEST_F(EditorTest, ModifyKeepsTheNameAndTheHistoryWhenNothingEssentialChanged)
{
    auto old = TaskInfo::initWithValues("Kept", "2026-01-02, 3:04 PM", { root + "/src/one.txt" }, root + "/dest", { "0" }, 2,
                                        PasswordRules::noPasswordMarker(), "None", -1, -1, {}, {}, 1, 1, 10, 1, 0, 1,
                                        { "fixed" }, false);
    auto* editor = open(old);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isModifyMode);
    EXPECT_FALSE(control<QLineEdit>(editor, "taskName_field")->isEnabled());
    EXPECT_EQ(control<QLineEdit>(editor, "taskName_field")->text(), "Kept");
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden());
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "destinationBoxBtn")->isHidden());
    EXPECT_EQ(control<QListWidget>(editor, "leftBoxTableView")->count(), 1);
    done(editor);
    ASSERT_EQ(box.tasks.size(), 1u);
    EXPECT_EQ(box.actions[0], "ModifyDo");
    EXPECT_NE(box.tasks[0], old);
    EXPECT_EQ(box.tasks[0]->backupStatus, 1);
    EXPECT_EQ(box.tasks[0]->restoreStatus, 1);
    EXPECT_EQ(box.tasks[0]->lastBackupDate, "2026-01-02, 3:04 PM");
    EXPECT_EQ(box.tasks[0]->isOtbChecked, 1);
    EXPECT_EQ(box.tasks[0]->fixedSourcePaths, QStringList({ "fixed" }));

    // A new source starts a new history.
    auto* again = open(old);
    again->addSourcePaths({ root + "/src/two.txt" }, false);
    control<QCheckBox>(again, "backupImmediatelyCheck")->setChecked(false);
    done(again);
    ASSERT_EQ(box.tasks.size(), 2u);
    EXPECT_EQ(box.actions[1], "Modify");
    EXPECT_EQ(box.tasks[1]->backupStatus, 0);
    EXPECT_EQ(box.tasks[1]->lastBackupDate, "");
    EXPECT_EQ(box.tasks[1]->isOtbChecked, 0);
    EXPECT_EQ(box.tasks[1]->fixedSourcePaths, QStringList({ "fixed" })) << "the backup on the drive is still there";

    // Another destination is another backup folder: nothing of the old one is the task's.
    auto* moved = open(old);
    moved->chooseDestination(root + "/other", false);
    done(moved);
    ASSERT_EQ(box.tasks.size(), 3u);
    EXPECT_TRUE(box.tasks[2]->fixedSourcePaths.isEmpty());
}

TEST_F(EditorTest, ATaskWithoutDestinationClosesTheEditorAtOnce)
{
    auto bad = makeTask("NoDest", 1, 0, 0, QString());
    EXPECT_EQ(open(bad), nullptr);
}

TEST_F(EditorTest, UnsafeNamesAreRefused)
{
    auto* editor = open();
    editor->addSourcePaths({ root + "/src/one.txt" }, false);
    editor->chooseDestination(root + "/dest", false);
    for (const QString& name : { QString(), QString("."), QString(".."), QString("a/b"), QString("a\tb"), QString("x\ny") }) {
        control<QLineEdit>(editor, "taskName_field")->setText(name);
        presenter.requests.clear();
        done(editor);
        ASSERT_EQ(presenter.requests.size(), 1u) << name.toStdString();
        EXPECT_EQ(presenter.requests[0].title, "Error");
        EXPECT_TRUE(presenter.requests[0].message.contains("task name")) << presenter.lastMessage().toStdString();
    }
    EXPECT_TRUE(box.tasks.empty());
    EXPECT_TRUE(editor->isVisible());
}

TEST_F(EditorTest, MissingSourcesOrDestinationAreNamedBeforeAnySpaceCheck)
{
    auto* editor = open();
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "T");
    done(editor);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_FALSE(presenter.lastMessage().contains("Not enough space"));
    EXPECT_TRUE(presenter.lastMessage().contains("file or folder"));
    editor->addSourcePaths({ root + "/src/one.txt" }, false);
    done(editor);
    ASSERT_EQ(presenter.requests.size(), 2u);
    EXPECT_TRUE(presenter.lastMessage().contains("destination"));
    EXPECT_FALSE(presenter.lastMessage().contains("Not enough space"));
    EXPECT_TRUE(box.tasks.empty());
}

TEST_F(EditorTest, RootIsRefusedAsSourceAndDestination)
{
    auto* editor = open();
    editor->addSourcePaths({ root + "/src/one.txt", "/", root + "/src/two.txt" }, true);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_lable");
    EXPECT_EQ(presenter.requests[0].message, "You can't use the system root directory as source");
    EXPECT_EQ(editor->sourcePathArray.size(), 2);
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden());

    editor->chooseDestination("/", false);
    EXPECT_EQ(presenter.lastMessage(), "You can't use system root as destination");
    editor->chooseDestination("/", true);
    EXPECT_EQ(presenter.lastMessage(), "You can't use the system root directory as destination");
    EXPECT_TRUE(editor->destinationPath.isEmpty());
    EXPECT_FALSE(control<AddTaskBoxButton>(editor, "destinationBoxBtn")->isHidden());
}

TEST_F(EditorTest, SourcesOverlappingTheTaskFolderAreRefused)
{
    QDir(root).mkpath("dest/Job/old");
    auto* editor = open();
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Job");
    editor->addSourcePaths({ root + "/dest/Job/old" }, false);
    editor->chooseDestination(root + "/dest", false);
    done(editor);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_TRUE(box.tasks.empty());

    // A destination inside a source.
    auto* other = open();
    QTest::keyClicks(control<QLineEdit>(other, "taskName_field"), "Other");
    other->addSourcePaths({ root + "/src" }, false);
    other->chooseDestination(root + "/src/folder", false);
    done(other);
    ASSERT_EQ(presenter.requests.size(), 2u);
    EXPECT_TRUE(box.tasks.empty());
}

TEST_F(EditorTest, AdvancedSettingsReopenOnTheLastAnswer)
{
    auto old = makeTask("Old", 2);
    old->scheduleMode = "Weekly";
    old->hour = 9;
    old->minute = 5;
    old->weekday = { 2, 4 };
    auto* editor = open(old);
    QTest::mouseClick(control<QPushButton>(editor, "AdvanceBtn"), Qt::LeftButton);
    AdvanceViewController* first = editor->advancedDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(control<QComboBox>(first, "scheduleModeCombo")->currentIndex(), 2);
    first->close();

    editor->sendAdvInfo(1, PasswordRules::noPasswordMarker(), "Monthly", 1, 2, { 3 }, {});
    QTest::mouseClick(control<QPushButton>(editor, "AdvanceBtn"), Qt::LeftButton);
    AdvanceViewController* second = editor->advancedDialog();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(control<QComboBox>(second, "scheduleModeCombo")->currentIndex(), 3);
    EXPECT_FALSE(control<QCheckBox>(second, "compressCheckbox")->isChecked());
    second->close();
}

TEST_F(EditorTest, EnterInTheNameFieldPressesNoButton)
{
    auto* editor = open();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
    control<QLineEdit>(editor, "taskName_field")->setFocus();
    QTest::keyClick(control<QLineEdit>(editor, "taskName_field"), Qt::Key_Return);
    EXPECT_EQ(editor->advancedDialog(), nullptr) << "the link opened the advanced settings";
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(box.tasks.empty());
    editor->taskCancelClicked();
}

TEST_F(EditorTest, SourcePickerHandsOverFilesAndFoldersTogether)
{
    SourcePickerDialog picker(nullptr, root + "/src");
    QStringList chosen;
    QObject::connect(&picker, &SourcePickerDialog::pathsChosen, [&](const QStringList& p) { chosen = p; });
    picker.open();
    EXPECT_EQ(picker.windowTitle(), "Choose a source file/folder");
    // Nothing chosen: Open keeps the picker up.
    control<QTreeView>(picker, "view")->selectionModel()->clearSelection();
    picker.accept();
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_TRUE(picker.isVisible());

    ASSERT_TRUE(QTest::qWaitFor([&] { return picker.model->index(root + "/src/folder").isValid(); }, 5000));
    picker.selectPaths({ root + "/src/one.txt", root + "/src/folder" });
    QTest::mouseClick(control<QPushButton>(picker, "openButton"), Qt::LeftButton);
    EXPECT_EQ(chosen, QStringList({ root + "/src/folder", root + "/src/one.txt" }));
    EXPECT_FALSE(picker.isVisible());
}

TEST_F(EditorTest, PickersStartAtHomeWithNothingChosenAndListTheVolumes)
{
    QDir(root).mkpath("media/Drive");
    ExternalVolumes::setOverride(QStringList { root + "/media" }, QStringList { root + "/media/Drive" });
    auto restore = qScopeGuard([] { ExternalVolumes::setOverride(std::nullopt, std::nullopt); });

    SourcePickerDialog picker;
    picker.open();
    EXPECT_EQ(picker.currentFolder(), QDir::homePath());
    EXPECT_EQ(picker.model->filePath(control<QTreeView>(picker, "view")->rootIndex()), QDir::homePath());
    EXPECT_TRUE(picker.selectedPaths().isEmpty());
    EXPECT_FALSE(control<QPushButton>(picker, "openButton")->isEnabled());
    QStringList placeFolders;
    for (int i = 0; i < control<QListWidget>(picker, "places")->count(); ++i)
        placeFolders << control<QListWidget>(picker, "places")->item(i)->data(Qt::UserRole).toString();
    EXPECT_EQ(placeFolders, (QStringList { QDir::homePath(), "/", root + "/media/Drive" }));

    // Choosing enables Open; going elsewhere drops the choice again.
    picker.setCurrentFolder(root + "/src");
    ASSERT_TRUE(QTest::qWaitFor([&] { return picker.model->index(root + "/src/one.txt").isValid(); }, 5000));
    picker.selectPaths({ root + "/src/one.txt" });
    EXPECT_TRUE(control<QPushButton>(picker, "openButton")->isEnabled());
    QTest::mouseClick(control<QToolButton>(picker, "upButton"), Qt::LeftButton);
    EXPECT_EQ(picker.currentFolder(), root);
    EXPECT_FALSE(control<QPushButton>(picker, "openButton")->isEnabled());

    // The destination chooser offers the same places.
    auto* editor = open();
    QTest::mouseClick(control<AddTaskSmallBoxButton>(editor, "changeDestBtn"), Qt::LeftButton);
    auto* chooser = editor->findChild<QFileDialog*>();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->directory().absolutePath(), QDir::homePath());
    EXPECT_TRUE(chooser->sidebarUrls().contains(QUrl::fromLocalFile(root + "/media/Drive")));
    chooser->reject();
}

TEST_F(EditorTest, DestinationButtonTitleIsNeverCutAtItsStart)
{
    auto* editor = open();
    // Every line starts as it should and fits inside the button's padding (15 a side).
    const auto readable = [&](int width) {
        const QStringList lines = control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->text().split('\n');
        EXPECT_TRUE(lines[0].startsWith("Change"));
        for (const QString& line : lines)
            EXPECT_LE(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->fontMetrics().horizontalAdvance(line), width - 30) << line.toStdString();
        return lines.size();
    };
    editor->chooseDestination(root + "/dest", false);
    const QString whole = control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->toolTip();
    EXPECT_TRUE(whole.startsWith("Change Destination (")) << whole.toStdString();
    EXPECT_TRUE(whole.endsWith(" available)")) << whole.toStdString();
    if (readable(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->width()) == 1) {
        EXPECT_EQ(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->text(), whole);
    }

    // Too narrow for one line: two lines, and a button tall enough for them.
    control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->setFixedWidth(150);
    editor->chooseDestination(root + "/dest", false);
    EXPECT_EQ(readable(150), 2);
    EXPECT_TRUE(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->text().split('\n').at(1).startsWith("("));
    EXPECT_GE(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->height(), 2 * control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->fontMetrics().lineSpacing());
    EXPECT_EQ(control<AddTaskSmallBoxButton>(editor, "changeDestBtn")->toolTip(), whole);
}

TEST_F(EditorTest, VolumesWithoutAUsableIdentityAreRefusedAndTheRestOfTheChoiceDropped)
{
    QDir(root).mkpath("media/Good/Files");
    ExternalVolumes::setOverride(QStringList { root + "/media" }, QStringList { root + "/media/Good" });
    auto* editor = open();
    // "Gone" has no folder, so its identity file cannot be written.
    editor->addSourcePaths({ root + "/src/one.txt", root + "/media/Good/Files", root + "/media/Gone/Photos",
                             root + "/src/two.txt" },
                           true);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_lable");
    EXPECT_EQ(presenter.requests[0].message, " \"Gone/Photos/\" as the source path: Permission denied.");
    ASSERT_EQ(editor->sourcePathArray.size(), 2);
    EXPECT_EQ(editor->sourcePathArray[0], root + "/src/one.txt");
    EXPECT_TRUE(editor->sourcePathArray[1].startsWith(root + "/media/Good/Files;"));
    EXPECT_GT(editor->sourcePathArray[1].size(), (root + "/media/Good/Files;").size());
    EXPECT_TRUE(control<AddTaskBoxButton>(editor, "sourceBoxBtn")->isHidden()); // sources are listed: the box must not cover them

    editor->chooseDestination(root + "/media/Gone", true);
    EXPECT_EQ(presenter.lastMessage(), " \"Gone/\" as the destination path: Permission denied.");
    EXPECT_TRUE(editor->destinationPath.isEmpty());
    editor->chooseDestination(root + "/media/Good", true);
    EXPECT_TRUE(editor->destinationPath.startsWith(root + "/media/Good;"));

    // A path with ";" would be read back as another folder: it is refused, as a source and as
    // the destination, and what was chosen stays.
    QDir(root).mkpath("Music;Live");
    presenter.requests.clear();
    editor->addSourcePaths({ root + "/Music;Live" }, false);
    editor->chooseDestination(root + "/Music;Live", false);
    ASSERT_EQ(presenter.requests.size(), 2u);
    const QString shown = " \"" + QDir::cleanPath(root + "/Music;Live").mid(1) + "/\" ";
    EXPECT_EQ(presenter.requests[0].message, shown + "as the source path: a task cannot keep a path that holds \";\". Rename the "
                                                     "folder so that its path holds none, then choose it again.");
    EXPECT_EQ(presenter.requests[1].message, shown + "as the destination path: a task cannot keep a path that holds \";\". "
                                                     "Rename the folder so that its path holds none, then choose it again.");
    EXPECT_EQ(editor->sourcePathArray.size(), 2);
    EXPECT_TRUE(editor->destinationPath.startsWith(root + "/media/Good;"));
    EXPECT_EQ(control<ElidedLabel>(editor, "destPathTextLabel")->text(), root + "/media/Good");
    ExternalVolumes::setOverride(std::nullopt, std::nullopt);
}

// What the editor makes of a drive's identity file when one of its folders is chosen: an empty
// file gets a new identity in its place (and the task list hears of it), a file it cannot use
// refuses the drive and says why; nothing is ever written through a link.
TEST_F(EditorTest, AChosenFolderOfADriveGetsAnIdentityOnlyWhereItsIdentityFileCanCarryOne)
{
    const QString media = root + "/media";
    ExternalVolumes::setOverride(QStringList { media }, QStringList {});
    const QString elsewhere = root + "/other/elsewhere.txt";
    // Root writes anywhere but on a read-only file system: the write-protected card is one.
    QStringList readOnlyMounts;
    const auto cleanup = qScopeGuard([&] {
        for (const QString& point : std::as_const(readOnlyMounts))
            ::umount2(QFile::encodeName(point).constData(), MNT_DETACH);
        ExternalVolumes::setOverride(std::nullopt, std::nullopt);
    });
    const auto writeProtect = [&](const QString& card) {
        const QByteArray point = QFile::encodeName(card);
        if (::geteuid() != 0 || ::mount(point.constData(), point.constData(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        readOnlyMounts << card;
        return ::mount(nullptr, point.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    };
    struct Case {
        const char* card;
        std::function<void(const QString& file)> make;
        const char* refusal;   // the reason given, or null when the folder is taken
    };
    const auto holding = [](const QByteArray& text) { return [text](const QString& f) { ::writeFile(f, text); }; };
    const QList<Case> cases {
        { "Empty", [](const QString& f) { QFile(f).open(QIODevice::WriteOnly); }, nullptr },
        { "Missing", [](const QString&) {}, nullptr },
        { "Folder", [](const QString& f) { QDir().mkpath(f); }, "it is a folder" },
        { "Dangling", [](const QString& f) { QFile::link("/nonexistent/zorvi", f); }, "it is a link that leads nowhere" },
        { "LinkToEmpty", [&](const QString& f) { QFile(elsewhere).open(QIODevice::WriteOnly); QFile::link(elsewhere, f); },
          "it is a link to an empty file" },
        { "Hash", holding("#"), "it holds \"#\", which marks a drive without an identity" },
        { "LeadingSemicolon", holding(";X"), "it holds \";\", which a task cannot keep in an identity" },
        { "TwoParts", holding("AB;CD"), "it holds \";\", which a task cannot keep in an identity" },
        { "TooLong", holding(QByteArray(VolumeIdentity::kMaxBytes + 1, 'A')),
          "it holds more than 1024 bytes, more than an identity has" },
        { "WriteProtected", [](const QString& f) { QFile(f).open(QIODevice::WriteOnly); }, "write-protected" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.card);
        const QString card = media + "/" + c.card;
        ASSERT_TRUE(QDir().mkpath(card + "/DCIM"));
        const QString file = card + "/Zorvi.txt";
        c.make(file);
        const bool locked = QLatin1String(c.card) == QLatin1String("WriteProtected");
        if (locked && !writeProtect(card)) {
            qInfo() << "not root, or no mounts allowed here: no write-protected card";
            continue;
        }
        for (const bool asSource : { true, false }) {
            auto* editor = open();
            ASSERT_NE(editor, nullptr);
            presenter.requests.clear();
            box.identitiesGiven.clear();
            if (asSource)
                editor->addSourcePaths({ card + "/DCIM" }, true);
            else
                editor->chooseDestination(card + "/DCIM", true);
            const QString entry = asSource ? editor->sourcePathArray.value(0) : editor->destinationPath;
            const QString as = asSource ? "source" : "destination";
            if (!c.refusal) {
                EXPECT_TRUE(presenter.requests.empty());
                EXPECT_EQ(entry, card + "/DCIM;" + readFile(file)) << "the identity now in the file";
                EXPECT_EQ(UtilityFunctions::identityPart(entry).size(), 36);
                EXPECT_FALSE(QFileInfo(file).isSymLink());
                // Given once, when the file was written; the task list hears of it.
                const std::vector<std::pair<QString, QString>> told { { card, UtilityFunctions::identityPart(entry) } };
                EXPECT_EQ(box.identitiesGiven, asSource ? told : decltype(told) {});
            } else {
                EXPECT_TRUE(entry.isEmpty());
                EXPECT_TRUE(box.identitiesGiven.empty());
                ASSERT_EQ(presenter.requests.size(), 1u);
                const QString said = locked
                    ? QString(" \"%1/DCIM/\" as the %2 path: its drive is write-protected and has no identity, so it cannot be "
                              "told apart from another drive. Turn its write protection off (on a memory card, the lock switch "
                              "on its side), then choose the folder again.")
                          .arg(c.card, as)
                    : QString(" \"%1/DCIM/\" as the %2 path: its drive cannot be told from another, because the drive's "
                              "identity file \"%3\" cannot be used (%4). Rename or remove that file, then choose the folder "
                              "again.")
                          .arg(c.card, as, file, c.refusal);
                EXPECT_EQ(presenter.requests[0].message, said);
            }
            editor->taskCancelClicked();
        }
    }
    EXPECT_EQ(readFile(elsewhere), QByteArray()) << "written through a link";
}

TEST_F(EditorTest, DoneRefusesWhenTheDestinationHasLessRoomThanTheSources)
{
    QFile big(root + "/src/huge.img");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(1 << 20, 'b'));
    big.close();
    UtilityFunctions::setFreeSpaceForTests(1000);
    auto restore = qScopeGuard([] { UtilityFunctions::setFreeSpaceForTests(-1); });
    auto* editor = open();
    editor->addSourcePaths({ root + "/src/huge.img" }, false);
    editor->chooseDestination(root + "/dest", false);
    QTest::keyClicks(control<QLineEdit>(editor, "taskName_field"), "Big");
    done(editor);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_lable");
    EXPECT_EQ(presenter.requests[0].message, "Not enough space at the selected destination. Please change a destination.");
    EXPECT_TRUE(box.tasks.empty());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(control<customizeButton>(editor, "doneButton")->isEnabled());
}

TEST_F(EditorTest, ASourceAlreadyListedIsRefusedByName)
{
    auto* editor = open();
    const QString one = root + "/src/one.txt";
    const QString two = root + "/src/two.txt";
    const QString folder = root + "/src/folder";
    editor->addSourcePaths({ one, folder }, true);
    EXPECT_TRUE(presenter.requests.empty());

    // A trailing slash names the same folder.
    editor->addSourcePaths({ folder + "/" }, false);
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_EQ(presenter.requests[0].title, "Error");
    EXPECT_EQ(presenter.requests[0].imageName, "ic_log_lable");
    EXPECT_EQ(presenter.requests[0].message, "\"" + folder + "\" is already in the list of sources.");
    EXPECT_EQ(editor->sourcePathArray, QStringList({ one, folder }));

    // Twice in one pick, and once more in another spelling: the new path still goes in once.
    editor->addSourcePaths({ two, two, root + "/src/./one.txt" }, false);
    ASSERT_EQ(presenter.requests.size(), 2u);
    EXPECT_EQ(presenter.lastMessage(), "\"" + two + "\" and \"" + one + "\" are already in the list of sources.");
    EXPECT_EQ(editor->sourcePathArray, QStringList({ one, folder, two }));
    EXPECT_EQ(control<QListWidget>(editor, "leftBoxTableView")->count(), 3);

    // A stored entry carries its volume's identity after ';'.
    auto old = makeTask("Tagged", 2, 0, 0, root + "/dest");
    old->backupSrc = { folder + ";6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F" };
    auto* modify = open(old);
    ASSERT_NE(modify, nullptr);
    modify->addSourcePaths({ folder }, false);
    ASSERT_EQ(presenter.requests.size(), 3u);
    EXPECT_EQ(presenter.lastMessage(), "\"" + folder + "\" is already in the list of sources.");
    EXPECT_EQ(modify->sourcePathArray, old->backupSrc);
}
