#include "ArchivePassword.h"
#include "LzmaSDKObjCWriter.h"
#include "MessagePresenter.h"
#include "ProgressReceiver.h"
#include "SecurityRunHost.h"
#include "SecurityRuns.h"
#include "TempHome.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace {

class NullProgress : public ProgressReceiver {
public:
    void copyProgress(float) override {}
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float) override {}
    void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float) override {}
};

class FakeHost : public SecurityRunHost {
public:
    bool checkFilesInUse(const TaskInfoPtr& task) override
    {
        checkedDest = task->backupDest;
        return allowRun;
    }
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const QString& title, const QString& image,
                                                           const QString&) override
    {
        progressTitles << title + QLatin1Char('/') + image;
        ++open;
        return std::make_shared<NullProgress>();
    }
    void dismissProgress() override { --open; }
    void askDeleteSource(const QString& status, messageViewDelegate* answer) override
    {
        deleteQuestions << status;
        answerTo = answer;
    }
    void analyticsEvent(const QString& category, const QString& action) override { events << category + "/" + action; }

    bool allowRun = true;
    QString checkedDest;
    QStringList progressTitles;
    int open = 0;
    QStringList deleteQuestions;
    messageViewDelegate* answerTo = nullptr;
    QStringList events;
};

class RecordingPresenter : public MessagePresenter {
public:
    void present(QObject*, const MessageRequest& request, messageViewDelegate* delegate) override
    {
        requests.push_back(request);
        lastDelegate = delegate;
    }
    std::vector<MessageRequest> requests;
    messageViewDelegate* lastDelegate = nullptr;
};

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// "7zz t" with the password on standard input.
bool sevenZipTests(const QString& archive, const QString& password)
{
    QProcess p;
    p.start(QStringLiteral("7zz"), {QStringLiteral("t"), QStringLiteral("-bso0"), QStringLiteral("-bse0"),
                                    QStringLiteral("--"), archive});
    p.write(password.toUtf8() + '\n');
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QStringList hiddenLeftovers(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(QRegularExpression("^\\."));
}

class SecurityRunsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        UtilityFunctions::setMessagePresenter(&presenter);
        runs = std::make_unique<SecurityRuns>(&host);
    }
    void TearDown() override { UtilityFunctions::setMessagePresenter(nullptr); }

    void waitIdle() { ASSERT_TRUE(QTest::qWaitFor([this] { return !runs->isRunning(); }, 60000)); }
    void encrypt(const QString& path, const QString& password)
    {
        runs->encryptFiles(path, password);
        waitIdle();
    }
    void decrypt(const QString& path, const QString& password)
    {
        presenter.lastDelegate = nullptr;
        runs->decryptFile(path, password);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !runs->isRunning() || presenter.lastDelegate == runs.get(); }, 60000));
    }
    QStringList messages() const
    {
        QStringList out;
        for (const auto& r : presenter.requests)
            out << r.message;
        return out;
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    FakeHost host;
    RecordingPresenter presenter;
    std::unique_ptr<SecurityRuns> runs;
};

TEST_F(SecurityRunsTest, FileRoundTripUsesOnlyTheDigestPassword)
{
    const QString file = path("b.txt");
    ASSERT_TRUE(writeFile(file, "hello"));
    ASSERT_TRUE(writeFile(file + ".enc", "old archive"));
    ASSERT_TRUE(writeFile(file + ".7z", "a user file"));

    encrypt(file, "abcd1234");
    EXPECT_EQ(host.checkedDest, file);
    EXPECT_EQ(host.progressTitles, QStringList{"Encrypt/ic_log_encrypt"});
    EXPECT_EQ(host.open, 0);
    EXPECT_EQ(host.deleteQuestions, QStringList{"Encrypt Done"});
    EXPECT_EQ(host.answerTo, runs.get());
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(readFile(file), "hello");
    EXPECT_EQ(readFile(file + ".7z"), "a user file");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
    EXPECT_TRUE(sevenZipTests(file + ".enc", ArchivePassword::archivePassword("abcd1234")));
    EXPECT_FALSE(sevenZipTests(file + ".enc", "abcd1234"));
    EXPECT_FALSE(sevenZipTests(file + ".enc", ArchivePassword::suffixForm("abcd1234")));
    EXPECT_EQ(host.events, QStringList{"Common Action/Do Encrypt"});

    ASSERT_TRUE(QFile::remove(file));
    decrypt(file + ".enc", "abcd1234");
    waitIdle();
    EXPECT_EQ(readFile(file), "hello");
    EXPECT_EQ(host.deleteQuestions.last(), "Decrypt Done");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
    EXPECT_TRUE(QFile::exists(file + ".enc"));

    // The archive goes only when the checkbox answer arrives.
    runs->deleteSourceFiles();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(file + ".enc"); }, 10000));
    EXPECT_TRUE(runs->securitySourcePath().isEmpty());
}

TEST_F(SecurityRunsTest, FolderAndUnicodeNameRoundTrip)
{
    const QString folder = path("Ördner ünï 文件");
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    ASSERT_TRUE(writeFile(folder + "/sub/x.bin", QByteArray(70000, 'x')));
    ASSERT_TRUE(writeFile(folder + "/é.txt", "accent"));

    encrypt(folder, "Pass1234");
    ASSERT_EQ(host.deleteQuestions, QStringList{"Encrypt Done"});
    EXPECT_TRUE(sevenZipTests(folder + ".enc", ArchivePassword::archivePassword("Pass1234")));

    runs->deleteSourceFiles();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(folder); }, 10000));
    decrypt(folder + ".enc", "Pass1234");
    waitIdle();
    EXPECT_EQ(readFile(folder + "/sub/x.bin"), QByteArray(70000, 'x'));
    EXPECT_EQ(readFile(folder + "/é.txt"), "accent");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
}

TEST_F(SecurityRunsTest, EmptyFolderCarriesAPlaceholderOnlyWhileArchived)
{
    const QString folder = path("empty");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(folder + "/.DS_Store", "x"));
    encrypt(folder, "abcd");
    EXPECT_FALSE(QFile::exists(folder + "/MXTemp.tmp"));
    ASSERT_EQ(host.deleteQuestions, QStringList{"Encrypt Done"});

    ASSERT_TRUE(QDir(folder).removeRecursively());
    decrypt(folder + ".enc", "abcd");
    waitIdle();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(QFile::exists(folder + "/MXTemp.tmp"));

    // A user's own MXTemp.tmp beside other files is content, not a placeholder.
    const QString full = path("full");
    ASSERT_TRUE(QDir().mkpath(full));
    ASSERT_TRUE(writeFile(full + "/MXTemp.tmp", "mine"));
    ASSERT_TRUE(writeFile(full + "/a", "a"));
    encrypt(full, "abcd");
    EXPECT_EQ(readFile(full + "/MXTemp.tmp"), "mine");
    ASSERT_TRUE(QDir(full).removeRecursively());
    decrypt(full + ".enc", "abcd");
    waitIdle();
    EXPECT_EQ(readFile(full + "/MXTemp.tmp"), "mine");
}

TEST_F(SecurityRunsTest, FailedArchiveTestOffersNothingAndKeepsTheOldArchive)
{
    const QString file = path("doc.txt");
    ASSERT_TRUE(writeFile(file, "doc"));
    ASSERT_TRUE(writeFile(file + ".enc", "old archive"));
    runs->setArchiveTester([](const QString&, const QString&, const std::atomic<bool>*) { return false; });
    encrypt(file, "abcd");
    EXPECT_EQ(messages(), QStringList{"Encrypt Fail"});
    EXPECT_EQ(presenter.requests.front().imageName, "ic_log_fail");
    EXPECT_TRUE(host.deleteQuestions.isEmpty());
    EXPECT_EQ(readFile(file + ".enc"), "old archive");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
    runs->deleteSourceFiles();
    QTest::qWait(50);
    EXPECT_TRUE(QFile::exists(file));
}

TEST_F(SecurityRunsTest, MissingSourceFails)
{
    encrypt(path("gone"), "abcd");
    EXPECT_EQ(messages(), QStringList{"Encrypt Fail"});
    EXPECT_FALSE(QFile::exists(path("gone.enc")));
}

TEST_F(SecurityRunsTest, CancelDuringEncryptLeavesNoTemporaryAndTheOldArchive)
{
    const QString file = path("c.txt");
    ASSERT_TRUE(writeFile(file, "c"));
    ASSERT_TRUE(writeFile(file + ".enc", "old archive"));
    std::atomic<bool> reached{false};
    runs->setArchiveTester([&reached](const QString&, const QString&, const std::atomic<bool>* cancel) {
        reached = true;
        while (!cancel->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return false;
    });
    runs->encryptFiles(file, "abcd");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reached.load(); }, 60000));
    EXPECT_FALSE(runs->archivePathForStopTask().isEmpty());
    runs->removePartialArchive();
    EXPECT_TRUE(runs->archivePathForStopTask().isEmpty());
    waitIdle();
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(host.deleteQuestions.isEmpty());
    EXPECT_EQ(host.open, 0);
    EXPECT_EQ(readFile(file + ".enc"), "old archive");
    EXPECT_EQ(readFile(file), "c");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
}

TEST_F(SecurityRunsTest, CancelledRunsRemoveOnlyWhatTheyMade)
{
    const QString file = path("k.txt");
    ASSERT_TRUE(writeFile(file, QByteArray(200000, 'k')));
    encrypt(file, "abcd");
    ASSERT_TRUE(writeFile(file, "kept"));
    const QByteArray archive = readFile(file + ".enc");

    runs->decryptFile(file + ".enc", "abcd");
    runs->removePartialArchive();
    waitIdle();
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(host.open, 0);
    EXPECT_EQ(readFile(file), "kept");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());

    // A real 7zz run stopped at once.
    runs->encryptFiles(file, "efgh");
    runs->removePartialArchive();
    waitIdle();
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(readFile(file + ".enc"), archive);
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
}

TEST_F(SecurityRunsTest, RootHomeAndItemsInUseAreRefused)
{
    for (const QString& p : {QStringLiteral("/"), QDir::homePath(), QFileInfo(QDir::homePath()).absolutePath()}) {
        encrypt(p, "abcd");
    }
    EXPECT_EQ(presenter.requests.size(), 3u);
    EXPECT_TRUE(host.progressTitles.isEmpty());
    EXPECT_TRUE(host.checkedDest.isEmpty());

    const QString file = path("busy");
    ASSERT_TRUE(writeFile(file, "b"));
    host.allowRun = false;
    encrypt(file, "abcd");
    EXPECT_TRUE(host.progressTitles.isEmpty());
    EXPECT_FALSE(QFile::exists(file + ".enc"));
}

TEST_F(SecurityRunsTest, DecryptOpensSuffixFormArchives)
{
    const QString file = path("old.txt");
    ASSERT_TRUE(writeFile(file, "legacy"));
    LzmaSDKObjCWriter writer(file + ".enc");
    writer.addPath(file, "old.txt");
    writer.setPasswordGetter([] { return ArchivePassword::suffixForm("abcd"); });
    ASSERT_TRUE(writer.open(nullptr));
    ASSERT_TRUE(writer.write());
    ASSERT_TRUE(QFile::remove(file));

    decrypt(file + ".enc", "abcd");
    waitIdle();
    EXPECT_EQ(readFile(file), "legacy");
    EXPECT_EQ(host.deleteQuestions, QStringList{"Decrypt Done"});
}

TEST_F(SecurityRunsTest, WrongPasswordLeavesTheExistingItemAlone)
{
    const QString file = path("w.txt");
    ASSERT_TRUE(writeFile(file, "original"));
    encrypt(file, "right1");
    ASSERT_TRUE(writeFile(file, "edited since"));

    decrypt(file + ".enc", "wrong1");
    waitIdle();
    EXPECT_EQ(messages(), QStringList{"Decrypt Fail\nThe password is wrong, or the archive is damaged."});
    EXPECT_EQ(readFile(file), "edited since");
    EXPECT_EQ(host.open, 0);
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());

    // A damaged archive fails the same way.
    ASSERT_TRUE(writeFile(path("bad.enc"), "not an archive"));
    decrypt(path("bad.enc"), "right1");
    waitIdle();
    EXPECT_EQ(messages().last(), "Decrypt Fail\nThe password is wrong, or the archive is damaged.");

    runs->decryptFile(QString(), "x");
    EXPECT_FALSE(runs->isRunning());
    EXPECT_EQ(host.events.last(), "Common Action/Do Decrypt");
}

TEST_F(SecurityRunsTest, DamagedDataFailsAndKeepsTheExistingItem)
{
    const QString file = path("d.bin");
    QByteArray data(300000, Qt::Uninitialized);
    QRandomGenerator random(42);
    for (char& c : data)
        c = char(random.bounded(256));
    ASSERT_TRUE(writeFile(file, data));
    encrypt(file, "abcd");
    QFile archive(file + ".enc");
    ASSERT_TRUE(archive.open(QIODevice::ReadWrite));
    ASSERT_GT(archive.size(), 5000);
    archive.seek(archive.size() / 3);
    archive.write(QByteArray(64, '\x5a'));
    archive.close();
    ASSERT_TRUE(writeFile(file, "kept"));

    decrypt(file + ".enc", "abcd");
    waitIdle();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().startsWith("Decrypt Fail\n\"d.bin\" does not read back")) << messages().first().toStdString();
    EXPECT_EQ(readFile(file), "kept");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
}

TEST_F(SecurityRunsTest, ExistingItemIsReplacedOnlyWhenTheUserSaysSo)
{
    const QString file = path("keep.txt");
    ASSERT_TRUE(writeFile(file, "v1"));
    encrypt(file, "abcd");
    ASSERT_TRUE(writeFile(file, "v2"));
    host.deleteQuestions.clear();

    decrypt(file + ".enc", "abcd");
    ASSERT_EQ(presenter.requests.size(), 1u);
    EXPECT_TRUE(presenter.requests.back().showSecondBtn);
    EXPECT_EQ(presenter.lastDelegate, runs.get());
    EXPECT_TRUE(runs->isRunning());
    runs->btnClicked(1);
    EXPECT_FALSE(runs->isRunning());
    EXPECT_EQ(readFile(file), "v2");
    EXPECT_TRUE(host.deleteQuestions.isEmpty());
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());

    decrypt(file + ".enc", "abcd");
    ASSERT_EQ(presenter.requests.size(), 2u);
    runs->btnClicked(0);
    EXPECT_FALSE(runs->isRunning());
    EXPECT_EQ(readFile(file), "v1");
    EXPECT_EQ(host.deleteQuestions, QStringList{"Decrypt Done"});
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());

    // An answer to an unrelated message does nothing.
    runs->btnClicked(0);
    EXPECT_EQ(readFile(file), "v1");
}

TEST_F(SecurityRunsTest, AnArchiveReplacedByWhatItHeldIsNotDeletedAfterwards)
{
    // An archive renamed to the name of the item it holds: replacing "that item" replaces the
    // archive, and the delete-source answer must not then take the decrypted copy too.
    const QString notes = path("notes.enc");
    ASSERT_TRUE(writeFile(notes, "only copy"));
    encrypt(notes, "abcd");
    ASSERT_TRUE(QFile::remove(notes));
    ASSERT_TRUE(QFile::rename(notes + ".enc", notes));

    decrypt(notes, "abcd");
    ASSERT_EQ(presenter.requests.size(), 1u);
    runs->btnClicked(0);
    EXPECT_EQ(host.deleteQuestions.last(), "Decrypt Done");
    EXPECT_EQ(readFile(notes), "only copy");
    runs->deleteSourceFiles();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(readFile(notes), "only copy");
    EXPECT_TRUE(hiddenLeftovers(dir.path()).isEmpty());
}

TEST_F(SecurityRunsTest, PasswordForms)
{
    EXPECT_EQ(SecurityRuns::selectArchivePassword(false, "abcd"), ArchivePassword::archivePassword("abcd"));
    EXPECT_EQ(SecurityRuns::selectArchivePassword(true, "abcd"), ArchivePassword::suffixForm("abcd"));
    EXPECT_TRUE(SecurityRuns::isProtectedPath("/"));
    EXPECT_TRUE(SecurityRuns::isProtectedPath(QDir::homePath() + "/"));
    EXPECT_FALSE(SecurityRuns::isProtectedPath(QDir::homePath() + "/Documents"));
}

} // namespace

TEST_F(SecurityRunsTest, AFolderThatCannotBeWrittenInFailsAndSaysWhy)
{
    // Root writes anywhere but on a read-only file system; anyone else meets a read-only folder.
    const QString folder = path("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(folder + "/a.txt", "alpha"));
    const bool root = ::geteuid() == 0;
    if (root) {
        if (::mount(QFile::encodeName(folder).constData(), QFile::encodeName(folder).constData(), nullptr, MS_BIND,
                    nullptr) != 0)
            GTEST_SKIP() << "root, and no mounts allowed here: nothing this test can make unwritable";
        ASSERT_EQ(::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                          nullptr), 0);
    } else {
        ::chmod(QFile::encodeName(folder).constData(), 0555);
    }
    const auto undo = qScopeGuard([&] {
        if (root)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    });
    encrypt(folder + "/a.txt", "abcd");
    const QString why = root ? "The folder \"" + folder + "\" is on a disk that cannot be written."
                             : "You may not write in the folder \"" + folder + "\".";
    EXPECT_EQ(messages(), QStringList{"Encrypt Fail\n" + why});
}

TEST_F(SecurityRunsTest, AFullDiskIsNamedInTheFailureWithThePlacesTheUserKnows)
{
    // 4 MiB of noise that cannot be compressed, on a disk of 2 MiB.
    const QString disk = path("disk");
    ASSERT_TRUE(QDir().mkpath(disk));
    if (::geteuid() != 0 || ::mount("zorvi-test", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "needs a small disk of its own: root, where mounts are allowed";
    const auto undo = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
    QByteArray noise(4 << 20, Qt::Uninitialized);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    ASSERT_TRUE(writeFile(disk + "/noise.bin", noise.left(1500000)));
    encrypt(disk + "/noise.bin", "abcd");
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().startsWith("Encrypt Fail\n")) << messages().first().toStdString();
    EXPECT_TRUE(messages().first().endsWith(".enc\": No space left on device")) << messages().first().toStdString();
    EXPECT_FALSE(messages().first().contains(".zorvi-")) << "the work folder is gone by the time it is read";
    EXPECT_EQ(readFile(disk + "/noise.bin"), noise.left(1500000));
    EXPECT_TRUE(hiddenLeftovers(disk).isEmpty());

    // An archive made elsewhere whose content does not fit beside it.
    const QString made = path("noise.bin");
    ASSERT_TRUE(writeFile(made, noise.left(1200000)));
    presenter.requests.clear();
    encrypt(made, "abcd");
    ASSERT_TRUE(QFile::remove(disk + "/noise.bin"));
    ASSERT_TRUE(QFile::copy(made + ".enc", disk + "/noise.bin.enc"));
    presenter.requests.clear();
    decrypt(disk + "/noise.bin.enc", "abcd");
    waitIdle();
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().first().startsWith("Decrypt Fail\n")) << messages().first().toStdString();
    EXPECT_TRUE(messages().first().contains("No space left on device")) << messages().first().toStdString();
    EXPECT_FALSE(messages().first().contains(".zorvi-")) << messages().first().toStdString();
    EXPECT_TRUE(hiddenLeftovers(disk).isEmpty());
}
