#include "Controls.h"
#include "MessageWindowPresenter.h"
#include "UtilityFunctions.h"
#include "WindowFactory.h"
#include "customizeButton.h"
#include "messageView.h"
#include "messageViewDelegate.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace {
const QString kOtbKey = QStringLiteral("OtbAlertShowedtest2");

// Records the answers, and what the window and the settings looked like at each one.
class RecordingDelegate : public messageViewDelegate {
public:
    QStringList calls;
    messageView* window = nullptr;
    void btnClicked(int index) override
    {
        calls << QStringLiteral("btnClicked %1 visible=%2 flag=%3")
                     .arg(index)
                     .arg(window && window->isVisible())
                     .arg(QSettings().value(kOtbKey, false).toBool());
    }
    void deleteSourceFiles() override
    {
        calls << QStringLiteral("deleteSourceFiles visible=%1").arg(window && window->isVisible());
    }
    void messageDismissed() override
    {
        calls << QStringLiteral("dismissed visible=%1").arg(window && window->isVisible());
    }
};

class QuitRecordingView : public messageView {
public:
    int quits = 0;

protected:
    void quitProgram() override { ++quits; }
};

class MessageViewTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings().remove(kOtbKey); }
    void TearDown() override { QSettings().remove(kOtbKey); }

    static void fill(messageView& v, const QString& key, bool tick)
    {
        v.titleString = QStringLiteral("Information");
        v.statusString = QStringLiteral("Done.");
        v.imagePath = QStringLiteral("ic_log_success");
        v.showSuppressionCheckBox = true;
        v.suppressionLabelText = QStringLiteral("Do not show this message again");
        v.suppressionKey = key;
        v.show();
        if (tick)
            QTest::mouseClick(control<QCheckBox>(v, "suppressionCheckbox"), Qt::LeftButton);
        ASSERT_EQ(control<QCheckBox>(v, "suppressionCheckbox")->isChecked(), tick);
    }
};
} // namespace

TEST_F(MessageViewTest, FieldsAreShownWhenTheWindowAppears)
{
    messageView v;
    v.titleString = QStringLiteral("Error");
    v.statusString = QStringLiteral("The destination is full.");
    v.imagePath = QStringLiteral("ic_log_fail");
    v.suppressionLabelText = QStringLiteral("label");
    v.show();
    EXPECT_EQ(control<QLabel>(v, "titleLabel")->text(), QStringLiteral("Error"));
    EXPECT_EQ(control<QLabel>(v, "messageLabel")->text(), QStringLiteral("The destination is full."));
    EXPECT_EQ(control<QLabel>(v, "statusImg")->property("imageName").toString(), QStringLiteral("ic_log_fail"));
    EXPECT_FALSE(control<QLabel>(v, "statusImg")->pixmap().isNull());
    EXPECT_EQ(control<QLabel>(v, "suppressionLabel")->text(), QStringLiteral("label"));
    EXPECT_FALSE(control<customizeButton>(v, "secondBtn")->isVisible());
    EXPECT_FALSE(control<QCheckBox>(v, "suppressionCheckbox")->isVisible());
    EXPECT_FALSE(control<QLabel>(v, "suppressionLabel")->isVisible());
    EXPECT_TRUE(control<customizeButton>(v, "closeBtn")->isVisible());

    // Later changes are not shown.
    v.titleString = QStringLiteral("Changed");
    v.hide();
    v.show();
    EXPECT_EQ(control<QLabel>(v, "titleLabel")->text(), QStringLiteral("Error"));
}

TEST_F(MessageViewTest, MissingTextsAndImageGiveEmptyWindow)
{
    messageView v;
    v.showSecondBtn = true;
    v.showSuppressionCheckBox = true;
    v.show();
    EXPECT_TRUE(control<QLabel>(v, "titleLabel")->text().isEmpty());
    EXPECT_TRUE(control<QLabel>(v, "messageLabel")->text().isEmpty());
    EXPECT_TRUE(control<QLabel>(v, "statusImg")->pixmap().isNull());
    EXPECT_TRUE(control<customizeButton>(v, "secondBtn")->isVisible());
    EXPECT_TRUE(control<QCheckBox>(v, "suppressionCheckbox")->isVisible());
    EXPECT_TRUE(control<QLabel>(v, "suppressionLabel")->isVisible());
}

TEST_F(MessageViewTest, NoDelegateBothButtonsOnlyCloseButTheFlagIsStillWritten)
{
    messageView second;
    fill(second, kOtbKey, true);
    QTest::mouseClick(control<customizeButton>(second, "secondBtn"), Qt::LeftButton);
    EXPECT_FALSE(second.isVisible());
    EXPECT_FALSE(QSettings().contains(kOtbKey));

    messageView main;
    fill(main, kOtbKey, true);
    QTest::mouseClick(control<customizeButton>(main, "closeBtn"), Qt::LeftButton);
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(QSettings().value(kOtbKey).toBool());
}

TEST_F(MessageViewTest, SecondButtonIgnoresTheTickedCheckbox)
{
    for (const QString& key : { kOtbKey, QStringLiteral("SecuriryDeleteSource") }) {
        RecordingDelegate d;
        messageView v;
        d.window = &v;
        v.btnClickedDelegate = &d;
        v.showSecondBtn = true;
        fill(v, key, true);
        QTest::mouseClick(control<customizeButton>(v, "secondBtn"), Qt::LeftButton);
        EXPECT_EQ(d.calls, QStringList { "btnClicked 1 visible=1 flag=0" }) << key.toStdString();
        EXPECT_FALSE(v.isVisible());
        EXPECT_FALSE(QSettings().contains(kOtbKey));
    }
}

TEST_F(MessageViewTest, DeleteSourceKeyAsksAfterTheButtonAndBeforeClosing)
{
    RecordingDelegate d;
    messageView v;
    d.window = &v;
    v.btnClickedDelegate = &d;
    fill(v, QStringLiteral("SecuriryDeleteSource"), true);
    QTest::mouseClick(control<customizeButton>(v, "closeBtn"), Qt::LeftButton);
    EXPECT_EQ(d.calls, (QStringList { "btnClicked 0 visible=1 flag=0", "deleteSourceFiles visible=1" }));
    EXPECT_FALSE(v.isVisible());
    EXPECT_FALSE(QSettings().contains(kOtbKey));
}

TEST_F(MessageViewTest, DeleteSourceKeyUntickedOrOtherKeyDoesNothing)
{
    for (const auto& [key, tick] : { std::pair { QStringLiteral("SecuriryDeleteSource"), false },
                                     std::pair { QStringLiteral("SomethingElse"), true } }) {
        RecordingDelegate d;
        messageView v;
        v.btnClickedDelegate = &d;
        fill(v, key, tick);
        QTest::mouseClick(control<customizeButton>(v, "closeBtn"), Qt::LeftButton);
        EXPECT_EQ(d.calls.size(), 1);
        EXPECT_FALSE(QSettings().contains(kOtbKey));
    }
}

TEST_F(MessageViewTest, OtbFlagIsWrittenAfterTheDelegateHeardTheButton)
{
    RecordingDelegate d;
    messageView v;
    d.window = &v;
    v.btnClickedDelegate = &d;
    fill(v, kOtbKey, true);
    QTest::mouseClick(control<customizeButton>(v, "closeBtn"), Qt::LeftButton);
    EXPECT_EQ(d.calls, QStringList { "btnClicked 0 visible=1 flag=0" });
    EXPECT_TRUE(QSettings().value(kOtbKey).toBool());
}

TEST_F(MessageViewTest, EscAndCloseRequestsAreIgnored)
{
    RecordingDelegate d;
    messageView v;
    v.btnClickedDelegate = &d;
    v.show();
    EXPECT_FALSE(v.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(v.close());
    QTest::keyClick(&v, Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(d.calls.isEmpty());
}

TEST_F(MessageViewTest, ClosingCancelsDismissesWithoutAnswerAndButtonsKeepTheirTitles)
{
    // Esc and the window manager's close each dismiss, telling only messageDismissed.
    for (const bool viaEsc : { true, false }) {
        RecordingDelegate d;
        messageView v;
        d.window = &v;
        v.btnClickedDelegate = &d;
        v.showSecondBtn = true;
        v.closingCancels = true;
        v.mainBtnTitle = QStringLiteral("Replace");
        v.secondBtnTitle = QStringLiteral("Keep Both");
        v.show();
        EXPECT_EQ(control<customizeButton>(v, "closeBtn")->text(), QStringLiteral("Replace"));
        EXPECT_EQ(control<customizeButton>(v, "secondBtn")->text(), QStringLiteral("Keep Both"));
        EXPECT_GE(control<customizeButton>(v, "secondBtn")->width(), control<customizeButton>(v, "secondBtn")->fontMetrics().horizontalAdvance(control<customizeButton>(v, "secondBtn")->text()));
        if (viaEsc)
            QTest::keyClick(&v, Qt::Key_Escape);
        else
            EXPECT_TRUE(v.close());
        EXPECT_FALSE(v.isVisible());
        EXPECT_EQ(d.calls, QStringList { "dismissed visible=1" });
    }

    // The buttons still answer as usual, and untitled windows keep the default titles.
    RecordingDelegate d;
    messageView v;
    v.btnClickedDelegate = &d;
    v.showSecondBtn = true;
    v.closingCancels = true;
    v.show();
    EXPECT_EQ(control<customizeButton>(v, "closeBtn")->text(), QStringLiteral("OK"));
    EXPECT_EQ(control<customizeButton>(v, "secondBtn")->text(), QStringLiteral("Cancel"));
    QTest::mouseClick(control<customizeButton>(v, "secondBtn"), Qt::LeftButton);
    EXPECT_EQ(d.calls, QStringList { "btnClicked 1 visible=0 flag=0" });
}

TEST_F(MessageViewTest, CloseProgramEndsAfterDelegateAndCheckboxOnMainButtonOnly)
{
    RecordingDelegate d;
    QuitRecordingView v;
    v.isCloseProgram = true;
    v.showSecondBtn = true;
    v.btnClickedDelegate = &d;
    fill(v, kOtbKey, true);
    QTest::mouseClick(control<customizeButton>(v, "secondBtn"), Qt::LeftButton);
    EXPECT_EQ(v.quits, 0);

    QuitRecordingView main;
    main.isCloseProgram = true;
    main.btnClickedDelegate = &d;
    fill(main, kOtbKey, true);
    QTest::mouseClick(control<customizeButton>(main, "closeBtn"), Qt::LeftButton);
    EXPECT_EQ(main.quits, 1);
    EXPECT_TRUE(QSettings().value(kOtbKey).toBool());
    EXPECT_EQ(d.calls.size(), 2);
}

namespace {
class DelegateWidget : public QWidget, public messageViewDelegate {
public:
    QList<int> answers;
    void btnClicked(int index) override { answers << index; }
};

messageView* openMessage(QWidget* under = nullptr)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (auto* v = qobject_cast<messageView*>(w); v && v->isVisible())
            return v;
    }
    return under ? under->findChild<messageView*>() : nullptr;
}
} // namespace

TEST_F(MessageViewTest, PresenterShowsModalWindowOverTheWidgetAndAnswersIt)
{
    MessageWindowPresenter::install();
    DelegateWidget page;
    page.show();
    UtilityFunctions::showMessageView(&page, QStringLiteral("Information"), QStringLiteral("ic_log_info"),
                                      QStringLiteral("Backup completed."), true);
    QPointer<messageView> v = page.findChild<messageView*>();
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(v->parentWidget(), &page);
    EXPECT_EQ(control<QLabel>(v, "titleLabel")->text(), QStringLiteral("Information"));
    EXPECT_EQ(control<QLabel>(v, "messageLabel")->text(), QStringLiteral("Backup completed."));
    EXPECT_TRUE(control<customizeButton>(v, "secondBtn")->isVisible());
    QTest::mouseClick(control<customizeButton>(v, "secondBtn"), Qt::LeftButton);
    EXPECT_EQ(page.answers, QList<int> { 1 });
    ASSERT_TRUE(QTest::qWaitFor([&] { return v.isNull(); })); // deleted on close
    UtilityFunctions::setMessagePresenter(nullptr);
}

TEST_F(MessageViewTest, PresenterWithPlainObjectAndFromAnotherThread)
{
    MessageWindowPresenter presenter;
    QObject plain;
    std::thread worker([&] {
        MessageRequest request;
        request.title = QStringLiteral("Error");
        request.imageName = QStringLiteral("ic_log_fail");
        request.message = QStringLiteral("Failed.");
        request.mainButtonTitle = QStringLiteral("Understood");
        request.closingCancels = true;
        presenter.present(&plain, request, nullptr);
    });
    worker.join();
    messageView* v = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (v = openMessage()) != nullptr; }));
    EXPECT_EQ(v->parentWidget(), nullptr);
    EXPECT_EQ(v->btnClickedDelegate, nullptr);
    EXPECT_EQ(control<customizeButton>(v, "closeBtn")->text(), QStringLiteral("Understood"));
    EXPECT_TRUE(v->closingCancels);
    QPointer<messageView> guard(v);
    QTest::mouseClick(control<customizeButton>(v, "closeBtn"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }));
}

TEST(WindowFactory, MakesTheRegisteredWindows)
{
    std::unique_ptr<messageView> message(WindowFactory::createAs<messageView>(QStringLiteral("MessageView")));
    EXPECT_NE(message, nullptr);
    std::unique_ptr<QWidget> progress(WindowFactory::create(QStringLiteral("BackupProgressView")));
    EXPECT_STREQ(progress->metaObject()->className(), "ProgressView");
    EXPECT_EQ(WindowFactory::create(QStringLiteral("NoSuchView")), nullptr);
    // The wrong class gives null, not a stray window.
    EXPECT_EQ(WindowFactory::createAs<messageView>(QStringLiteral("BackupProgressView")), nullptr);

    WindowFactory::registerWindow(QStringLiteral("TestView"), [](QWidget* parent) { return new QWidget(parent); });
    QWidget parent;
    QWidget* made = WindowFactory::create(QStringLiteral("TestView"), &parent);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->parentWidget(), &parent);
    EXPECT_TRUE(WindowFactory::contains(QStringLiteral("TestView")));
}
