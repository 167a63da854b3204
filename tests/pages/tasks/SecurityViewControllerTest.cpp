#include "AnalyticsSink.h"
#include "Controls.h"
#include "DecryptDelegate.h"
#include "EncryptDelegate.h"
#include "FileOrFolderDialog.h"
#include "GoogleReporter.h"
#include "SecurityBoxButton.h"
#include "SecurityViewController.h"
#include "decPasswordView.h"
#include "encPasswordView.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class FakeMainWindow : public QObject, public EncryptDelegate, public DecryptDelegate {
public:
    void encryptFiles(const QString& path, const QString& password) override { calls << "encrypt:" + path + ":" + password; }
    void decryptFile(const QString& path, const QString& password) override { calls << "decrypt:" + path + ":" + password; }
    void restoreWithPassword(const QString& password) override { calls << "restore:" + password; }
    QStringList calls;
};

class RecordingSink : public AnalyticsSink {
public:
    void configure(const QString&) override {}
    void session(bool, const Parameters&) override {}
    void event(const QString& category, const QString& action, const QString&, const Parameters&) override
    {
        events << category + "/" + action;
    }
    void screenView(const QString& name, const Parameters&) override { screens << name; }
    QStringList events;
    QStringList screens;
};

class SecurityPageTest : public ::testing::Test {
protected:
    void SetUp() override { GoogleReporter::shared().setSink(sink); }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(w))
                w->deleteLater();
        GoogleReporter::shared().setSink(nullptr);
    }
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
};

TEST_F(SecurityPageTest, ChosenItemsOpenTheirPasswordDialogsWithTheMainWindow)
{
    FakeMainWindow window;
    SecurityViewController page;
    page.embed(&window);
    page.show();
    EXPECT_EQ(sink->screens, QStringList{"Security View"});

    encPasswordView* enc = page.encryptChosen("/data/My Folder");
    EXPECT_EQ(enc->encryptPath, "/data/My Folder");
    EXPECT_EQ(enc->passEncInfoDelegate, &window);
    EXPECT_TRUE(enc->isVisible());
    EXPECT_TRUE(enc->isModal());
    decPasswordView* dec = page.decryptChosen("/data/x.enc");
    EXPECT_EQ(dec->decryptPath, "/data/x.enc");
    EXPECT_EQ(dec->purpose, decPasswordView::Purpose::Decrypt);
    EXPECT_EQ(dec->passDecInfoDelegate, &window);
    EXPECT_EQ(sink->events, (QStringList{"File Security/Encrypt", "File Security/Decrypt"}));

    control<QLineEdit>(dec, "decPasswordField")->setText("abcd");
    dec->startClick();
    EXPECT_EQ(window.calls, QStringList{"decrypt:/data/x.enc:abcd"});

    // Outside the main window the dialogs open with no receiver.
    SecurityViewController lone;
    lone.embed(new QObject(&lone));
    EXPECT_EQ(lone.encryptChosen("/a")->passEncInfoDelegate, nullptr);
    EXPECT_EQ(lone.decryptChosen("/a.enc")->passDecInfoDelegate, nullptr);
}

TEST_F(SecurityPageTest, EncryptPanelTakesAFolderOrAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    QFile file(dir.path() + "/note.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    FakeMainWindow window;
    SecurityViewController page;
    page.embed(&window);
    page.show();
    for (const QString& name : {QStringLiteral("folder"), QStringLiteral("note.txt")}) {
        QTest::mouseClick(control<SecurityBoxButton>(page, "encryptBtn"), Qt::LeftButton);
        auto* panel = page.findChild<FileOrFolderDialog*>("encryptPanel");
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->windowTitle(), "Choose a file or folder");
        panel->setDirectory(dir.path());
        panel->selectFile(dir.path() + "/" + name);
        auto* box = panel->findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        QPushButton* choose = box->button(QDialogButtonBox::Open);
        ASSERT_NE(choose, nullptr);
        EXPECT_TRUE(choose->isEnabled()) << name.toStdString();
        QTest::mouseClick(choose, Qt::LeftButton);
        QApplication::processEvents();
        encPasswordView* dialog = nullptr;
        for (auto* d : page.findChildren<encPasswordView*>())
            if (d->encryptPath == dir.path() + "/" + name)
                dialog = d;
        ASSERT_NE(dialog, nullptr) << name.toStdString();
        dialog->cancelClick();
        EXPECT_TRUE(QTest::qWaitFor([&] { return page.findChild<FileOrFolderDialog*>("encryptPanel") == nullptr; }, 2000));
    }

    // A cancelled panel opens nothing.
    const auto before = sink->events.size();
    QTest::mouseClick(control<SecurityBoxButton>(page, "decryptBtn"), Qt::LeftButton);
    auto* panel = page.findChild<QFileDialog*>("decryptPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), "Choose a file");
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(panel->nameFilters().join(" ").contains("*.enc"));
    panel->reject();
    QApplication::processEvents();
    EXPECT_EQ(page.findChild<decPasswordView*>(), nullptr);
    EXPECT_EQ(sink->events.size(), before);
}

TEST_F(SecurityPageTest, BoxesTurnBlueUnderThePointerAndBack)
{
    SecurityViewController page;
    SecurityBoxButton* box = control<SecurityBoxButton>(page, "encryptBtn");
    EXPECT_EQ(box->titleView()->text(), "Encrypt");
    EXPECT_EQ(control<SecurityBoxButton>(page, "decryptBtn")->titleView()->text(), "Decrypt");
    EXPECT_EQ(box->iconImage(), "ic_security_encrypt_grey");
    EXPECT_EQ(box->faceImage(), "img_security_normal");
    box->mouseEntered();
    EXPECT_EQ(box->iconImage(), "ic_security_encrypt_blue");
    EXPECT_EQ(box->faceImage(), "img_security_select");
    EXPECT_TRUE(box->titleView()->styleSheet().contains("#007aff"));
    box->mouseExited();
    EXPECT_EQ(box->iconImage(), "ic_security_encrypt_grey");
    EXPECT_EQ(box->faceImage(), "img_security_normal");
    EXPECT_TRUE(box->titleView()->styleSheet().contains("#8e8e93"));
    control<SecurityBoxButton>(page, "decryptBtn")->mouseEntered();
    EXPECT_EQ(control<SecurityBoxButton>(page, "decryptBtn")->iconImage(), "ic_security_dencrypt_blue");
}

} // namespace
