#include "ArchivePassword.h"
#include "Controls.h"
#include "DecryptDelegate.h"
#include "EncryptDelegate.h"
#include "ProgressReceiver.h"
#include "SecurityRunHost.h"
#include "SecurityRuns.h"
#include "SecurityViewController.h"
#include "customizeButton.h"
#include "decPasswordView.h"
#include "encPasswordView.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class QuietProgress : public ProgressReceiver {
public:
    void copyProgress(float) override {}
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float) override {}
    void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float) override {}
};

// The main window's part, reduced to forwarding into the runs.
class MiniMainWindow : public QObject, public EncryptDelegate, public DecryptDelegate, public SecurityRunHost {
public:
    MiniMainWindow() : runs(this) {}
    void encryptFiles(const QString& path, const QString& password) override { runs.encryptFiles(path, password); }
    void decryptFile(const QString& path, const QString& password) override { runs.decryptFile(path, password); }
    void restoreWithPassword(const QString&) override { restored = true; }
    bool checkFilesInUse(const TaskInfoPtr&) override { return true; }
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const QString&, const QString&, const QString&) override
    {
        return std::make_shared<QuietProgress>();
    }
    void dismissProgress() override {}
    void askDeleteSource(const QString& status, messageViewDelegate*) override { done << status; }
    void analyticsEvent(const QString&, const QString&) override {}

    SecurityRuns runs;
    QStringList done;
    bool restored = false;
};

TEST(SecurityPageRunTest, EncryptAndDecryptAFolderThroughThePage)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/Photos";
    ASSERT_TRUE(QDir().mkpath(folder + "/2024"));
    QFile f(folder + "/2024/a.jpg");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("jpeg bytes");
    f.close();

    MiniMainWindow window;
    SecurityViewController page;
    page.embed(&window);

    encPasswordView* enc = page.encryptChosen(folder);
    QTest::keyClicks(control<QLineEdit>(enc, "encPasswordField"), "Secret42");
    QTest::keyClicks(control<QLineEdit>(enc, "encPasswordConfirmField"), "Secret42");
    QTest::mouseClick(control<customizeButton>(enc, "doneButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.runs.isRunning(); }, 60000));
    ASSERT_EQ(window.done, QStringList{"Encrypt Done"});
    ASSERT_TRUE(QFile::exists(folder + ".enc"));

    window.runs.deleteSourceFiles();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(folder); }, 10000));

    decPasswordView* dec = page.decryptChosen(folder + ".enc");
    QTest::keyClicks(control<QLineEdit>(dec, "decPasswordField"), "Secret42");
    QTest::mouseClick(control<customizeButton>(dec, "startButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.runs.isRunning(); }, 60000));
    EXPECT_EQ(window.done.last(), "Decrypt Done");
    EXPECT_FALSE(window.restored);
    QFile back(folder + "/2024/a.jpg");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), "jpeg bytes");
}

} // namespace
