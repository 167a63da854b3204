#include "DropboxWorker.h"
#include "SignInProgress.h"
#include "SignInWaitDialog.h"
#include "SignInWaitPresenter.h"

#include <QPointer>
#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

// The wait of a sign-in opens a window over the page's window, offers the address when the
// browser did not open, and closes when the sign-in ends; Cancel in it cancels the sign-in.
TEST(SignInWaitPresenter, ShowsTheWaitUntilTheSignInEndsAndCancelsIt)
{
    QWidget page;
    SignInWaitPresenter presenter(&page);
    SignInProgress progress(QStringLiteral("Google Drive"));
    presenter.watch(&progress);
    QSignalSpy cancelled(&progress, &SignInProgress::cancelled);

    progress.wait(QStringLiteral("Waiting for the sign-out."));
    QPointer<SignInWaitDialog> window = presenter.waitingWindow(&progress);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->parentWidget(), page.window());
    EXPECT_EQ(window->windowTitle(), "Sign in to Google Drive");
    EXPECT_EQ(window->message(), "Waiting for the sign-out.");
    EXPECT_TRUE(window->isVisible());
    progress.offerAddress(QUrl(QStringLiteral("https://accounts.example/auth?x=1")));
    EXPECT_TRUE(window->message().startsWith("Zorvi could not open your web browser."));
    progress.end();
    EXPECT_TRUE(window.isNull() || !window->isVisible());
    EXPECT_EQ(presenter.waitingWindow(&progress), nullptr);
    EXPECT_TRUE(cancelled.isEmpty()) << "a sign-in that ended was not cancelled";

    progress.wait();
    window = presenter.waitingWindow(&progress);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->message().contains("Sign in to Google Drive in the browser window"));
    window->reject();
    EXPECT_EQ(cancelled.size(), 1);
    EXPECT_FALSE(progress.isWaiting());
    EXPECT_EQ(presenter.waitingWindow(&progress), nullptr);
}

// A sign-in that cannot start or go on says why in a window that stays until the user closes
// it, also when the sign-in ends after that.
TEST(SignInWaitPresenter, AProblemStaysUntilClosed)
{
    QWidget page;
    SignInWaitPresenter presenter(&page);
    SignInProgress progress(QStringLiteral("OneDrive"));
    presenter.watch(&progress);

    progress.fail(QStringLiteral("Port 5000 on this computer is in use by another program."));
    auto* problem = page.findChild<SignInWaitDialog*>();
    ASSERT_NE(problem, nullptr);
    EXPECT_EQ(problem->message(), "Port 5000 on this computer is in use by another program.");
    EXPECT_TRUE(problem->isVisible());

    progress.wait();
    QPointer<SignInWaitDialog> waiting = presenter.waitingWindow(&progress);
    ASSERT_TRUE(waiting);
    progress.fail(QStringLiteral("The OneDrive sign-in address of this build is not valid."));
    progress.end();
    ASSERT_FALSE(waiting.isNull());
    EXPECT_TRUE(waiting->isVisible());
    EXPECT_EQ(waiting->message(), "The OneDrive sign-in address of this build is not valid.");
    waiting->close();
    problem->close();
}

// Cancel in the window of a Dropbox sign-in ends it as cancelled, once.
TEST(SignInWaitPresenter, CancelInTheWindowEndsADropboxSignIn)
{
    QWidget page;
    SignInWaitPresenter presenter(&page);
    const QUrl nowhere(QStringLiteral("http://127.0.0.1:9"));
    DropboxWorker dropbox(QStringLiteral("standin-key"), DropboxEndpoints { nowhere, nowhere, nowhere, 0 });
    dropbox.setBrowserOpener([](const QUrl&) { return true; });
    presenter.watch(dropbox.signInProgress());

    int calls = 0;
    std::optional<DropboxOAuthResult> result;
    dropbox.authorize([&](const DropboxOAuthResult& r) {
        ++calls;
        result = r;
    });
    SignInWaitDialog* window = presenter.waitingWindow(dropbox.signInProgress());
    ASSERT_NE(window, nullptr);
    window->reject();
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->kind, DropboxOAuthResult::Kind::cancel);
    EXPECT_FALSE(dropbox.isAuthorizing());
}
