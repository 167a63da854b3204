#include "CloudDownloadOutcome.h"
#include "CloudFileDownload.h"
#include "CountingNetworkAccessManager.h"
#include "DropboxWorker.h"
#include "DrainEvents.h"
#include "FakeBrowser.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeDropboxRoutes.h"
#include "LogCapture.h"
#include "PkceCodes.h"
#include "SignInProgress.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Everything the service and the client hold secret must stay out of the diagnostics.
class DropboxWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen());
        routes.pageSize = 2;
        routes.install(server, tree);
        DropboxEndpoints e{server.baseUrl(), server.baseUrl(), server.baseUrl(), 0};
        delays.transferTimeoutMs = 5000;
        delays.secondMs = 20;
        delays.rateLimit.secondMs = 5;
        delays.rateLimit.backoffMs = 5;
        delays.rateLimit.tries = 3;
        delays.maxListingPages = 6;
        worker = std::make_unique<DropboxWorker>(routes.appKey, e, delays, &manager);
        browser.follow = false; // the tests visit the authorize page themselves
        worker->setBrowserOpener(browser.opener());
    }

    void TearDown() override
    {
        for (const FakeCloudServer::Request& r : server.requestsTo("/oauth2/token"))
            secrets << r.form().queryItemValue("code_verifier") << r.form().queryItemValue("code")
                    << r.form().queryItemValue("refresh_token", QUrl::FullyDecoded);
        for (const QByteArray& token : routes.accessTokens())
            secrets << QString::fromLatin1(token);
        const QString log = logged.text();
        for (const QString& secret : std::as_const(secrets))
            EXPECT_FALSE(!secret.isEmpty() && log.contains(secret)) << "secret in the log: " << secret.toStdString();
    }

    DropboxOAuthResult signIn()
    {
        std::optional<DropboxOAuthResult> result;
        worker->authorize([&](const DropboxOAuthResult& r) { result = r; });
        if (!browser.opened.isEmpty())
            browser.visit(browser.opened.last());
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result.value_or(DropboxOAuthResult::error("no answer"));
    }

    std::pair<QList<DropboxMetadata>, bool> list(const QString& path)
    {
        int calls = 0;
        std::pair<QList<DropboxMetadata>, bool> out;
        worker->listFolder(path, [&](const QList<DropboxMetadata>& entries, bool ok) {
            ++calls;
            out = {entries, ok};
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
        EXPECT_TRUE(server.settle({ &manager })); // a second completion would come now
        EXPECT_EQ(calls, 1);
        return out;
    }

    bool call(void (DropboxWorker::*op)(DropboxWorker::Done))
    {
        std::optional<bool> ok;
        (worker.get()->*op)([&](bool v) { ok = v; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return ok.has_value(); }, 5000));
        return ok.value_or(false);
    }

    LogCapture logged;
    CountingNetworkAccessManager manager;
    FakeCloudServer server;
    FakeCloudTree tree;
    FakeDropboxRoutes routes;
    DropboxDelays delays;
    std::unique_ptr<DropboxWorker> worker;
    FakeBrowser browser;
    QStringList secrets;
};

} // namespace

TEST_F(DropboxWorkerTest, SignsInWithPkceAndOnlyTheBrowserItSent)
{
    std::optional<DropboxOAuthResult> result;
    worker->authorize([&](const DropboxOAuthResult& r) { result = r; });
    ASSERT_EQ(browser.opened.size(), 1);
    const QUrlQuery query(browser.opened[0]);
    const QString state = query.queryItemValue("state");
    const QString challenge = query.queryItemValue("code_challenge");
    const QUrl redirect(query.queryItemValue("redirect_uri", QUrl::FullyDecoded));
    EXPECT_EQ(redirect.host(), "127.0.0.1");
    EXPECT_EQ(redirect.path(), "/dropbox");
    EXPECT_EQ(browser.opened[0].toString(QUrl::FullyEncoded),
              server.baseUrl().toString() + "/oauth2/authorize?client_id=standin-dropbox-key&response_type=code"
                  "&redirect_uri=http%3A%2F%2F127.0.0.1%3A" + QString::number(redirect.port()) + "%2Fdropbox&state="
                  + state + "&code_challenge=" + challenge + "&code_challenge_method=S256&token_access_type=offline");
    EXPECT_GE(state.size(), 20);
    EXPECT_EQ(challenge.size(), 43);

    // A page that does not know our state cannot finish the sign-in, and its browser hears so.
    QUrl forged = redirect;
    forged.setQuery("code=" + QString::fromLatin1(routes.authorizationCode) + "&state=guess");
    EXPECT_EQ(browser.visit(forged), 400);
    EXPECT_TRUE(browser.lastBody.contains("not accepted"));
    EXPECT_TRUE(server.settle({ &manager }));
    EXPECT_FALSE(result.has_value());
    EXPECT_TRUE(worker->isAuthorizing());

    browser.visit(browser.opened[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_EQ(result->kind, DropboxOAuthResult::Kind::success);
    EXPECT_EQ(result->accountId, routes.accountId);
    EXPECT_TRUE(worker->isSignedIn());
    EXPECT_FALSE(worker->isAuthorizing());

    const FakeCloudServer::Request& exchange = server.requests().last();
    ASSERT_EQ(exchange.path(), "/oauth2/token");
    EXPECT_EQ(exchange.header("content-type"), "application/x-www-form-urlencoded");
    const QUrlQuery form = exchange.form();
    EXPECT_EQ(form.queryItemValue("grant_type"), "authorization_code");
    EXPECT_EQ(form.queryItemValue("client_id"), routes.appKey);
    EXPECT_EQ(form.queryItemValue("redirect_uri", QUrl::FullyDecoded), redirect.toString());
    EXPECT_EQ(PkceCodes::challengeFor(form.queryItemValue("code_verifier").toLatin1()), challenge.toLatin1());
}

TEST_F(DropboxWorkerTest, SignInThatCannotFinishSaysSoOnce)
{
    // A code the service does not know.
    std::optional<DropboxOAuthResult> result;
    worker->authorize([&](const DropboxOAuthResult& r) { result = r; });
    QUrl redirect(QUrlQuery(browser.opened.last()).queryItemValue("redirect_uri", QUrl::FullyDecoded));
    redirect.setQuery("code=stale&state=" + QUrlQuery(browser.opened.last()).queryItemValue("state"));
    browser.visit(redirect);
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_EQ(result->kind, DropboxOAuthResult::Kind::error);
    EXPECT_FALSE(worker->isSignedIn());

    // The user gives up waiting.
    int calls = 0;
    QSignalSpy waits(worker->signInProgress(), &SignInProgress::waiting);
    worker->authorize([&](const DropboxOAuthResult& r) { ++calls; result = r; });
    ASSERT_EQ(waits.size(), 1);
    worker->signInProgress()->cancel();
    drainEvents();
    EXPECT_EQ(calls, 1) << "the wait window's Cancel ends the sign-in by itself";
    EXPECT_EQ(result->kind, DropboxOAuthResult::Kind::cancel);
    EXPECT_FALSE(worker->isAuthorizing());
    worker->cancelAuthorization();
    EXPECT_EQ(calls, 1) << "and once";

    // The listening port is taken.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost));
    DropboxEndpoints e{server.baseUrl(), server.baseUrl(), server.baseUrl(), squatter.serverPort()};
    DropboxWorker busy(routes.appKey, e);
    busy.setBrowserOpener(browser.opener());
    result.reset();
    busy.authorize([&](const DropboxOAuthResult& r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_EQ(result->kind, DropboxOAuthResult::Kind::error);
    EXPECT_TRUE(result->description.contains(QString::number(squatter.serverPort()))) << result->description.toStdString();

    // A build without an app key.
    DropboxWorker unregistered(QString(), e);
    EXPECT_FALSE(unregistered.isAvailable());
    result.reset();
    unregistered.authorize([&](const DropboxOAuthResult& r) { result = r; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_EQ(result->description, DropboxWorker::unavailableMessage());
}

TEST_F(DropboxWorkerTest, ListsEveryPageInOrderAndFlagsAFailedPage)
{
    const QString docs = tree.addFolder({}, "Docs");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        tree.addFile(docs, name, name, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC));
    tree.addFolder(docs, "e");
    tree.addFolder({}, "Empty");

    // Nobody signed in: an answer all the same, and no request.
    const auto [none, noneOk] = list("/Docs");
    EXPECT_TRUE(none.isEmpty());
    EXPECT_FALSE(noneOk);
    EXPECT_TRUE(server.requests().isEmpty());

    ASSERT_EQ(signIn().kind, DropboxOAuthResult::Kind::success);
    server.clearRequests();
    const auto [entries, ok] = list("/Docs");
    EXPECT_TRUE(ok);
    EXPECT_EQ(server.requests().size(), 3);
    ASSERT_EQ(entries.size(), 5);
    QStringList names;
    for (const DropboxMetadata& m : entries)
        names << m.name;
    EXPECT_EQ(names, QStringList({"a.txt", "b.txt", "c.txt", "d.txt", "e"}));
    EXPECT_TRUE(entries[0].isFile());
    EXPECT_EQ(entries[0].pathDisplay, "/Docs/a.txt");
    EXPECT_EQ(entries[0].size, 5u);
    EXPECT_EQ(entries[0].clientModified, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC));
    EXPECT_EQ(entries[4].kind, DropboxMetadata::Kind::folder);

    server.clearRequests();
    const auto [empty, emptyOk] = list("/Empty");
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(emptyOk);
    EXPECT_EQ(server.requests().size(), 1);

    routes.failPage = 2;
    logged.clear();
    const auto [partial, partialOk] = list("/Docs");
    EXPECT_FALSE(partialOk);
    EXPECT_EQ(partial.size(), 2);
    EXPECT_TRUE(logged.lines().contains("dropbox error:"));
    routes.failPage = 0;

    // "Too many requests" is waited out a bounded number of times.
    routes.throttle = 2;
    server.clearRequests();
    EXPECT_TRUE(list("/Docs").second);
    EXPECT_EQ(server.requests().size(), 2 + 3);
    routes.throttle = -1;
    server.clearRequests();
    EXPECT_FALSE(list("/Docs").second);
    EXPECT_EQ(server.requests().size(), delays.rateLimit.tries);
    routes.throttle = 0;

    // A cursor that comes again, or never runs out, ends the listing as incomplete.
    routes.paging = FakeCloudRoutes::Paging::repeating;
    server.clearRequests();
    EXPECT_FALSE(list("/Docs").second);
    EXPECT_EQ(server.requests().size(), 2);
    routes.paging = FakeCloudRoutes::Paging::endless;
    server.clearRequests();
    EXPECT_FALSE(list("/Docs").second);
    EXPECT_EQ(server.requests().size(), delays.maxListingPages);
}

// The sign-in asks for a token that can be renewed; it is renewed with the refresh token before
// it expires, and a renewal the service refuses ends the sign-in.
TEST_F(DropboxWorkerTest, RenewsTheTokenBeforeItExpiresUntilTheServiceRefuses)
{
    routes.expiresIn = 3;
    ASSERT_EQ(signIn().kind, DropboxOAuthResult::Kind::success);
    EXPECT_TRUE(worker->isRefreshScheduled());
    const QString first = worker->token();
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker->token() != first; }, 5000));
    const QUrlQuery refresh = server.requestsTo("/oauth2/token").at(1).form();
    EXPECT_EQ(refresh.queryItemValue("grant_type"), "refresh_token");
    EXPECT_EQ(refresh.queryItemValue("client_id"), routes.appKey);
    EXPECT_TRUE(refresh.queryItemValue("refresh_token").startsWith("standin-dropbox-refresh-"));
    EXPECT_TRUE(call(&DropboxWorker::getUserInfo));
    EXPECT_FALSE(worker->signInExpired());

    routes.revokeAllTokens();
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker->signInExpired(); }, 5000));
    EXPECT_FALSE(worker->isRefreshScheduled());
    worker->unlinkClients();
    EXPECT_FALSE(worker->signInExpired());
}

TEST_F(DropboxWorkerTest, ReadsTheAccountAndForgetsItOnSignOut)
{
    ASSERT_EQ(signIn().kind, DropboxOAuthResult::Kind::success);
    EXPECT_TRUE(call(&DropboxWorker::getUserInfo));
    EXPECT_EQ(worker->email(), routes.email);
    EXPECT_EQ(worker->photo(), "");
    EXPECT_TRUE(call(&DropboxWorker::getUserSpace));
    EXPECT_EQ(worker->spaceInfo(), "Used: 1.5 GB, Total: 2.0 GB");

    routes.allocationKind = "team";
    routes.allocated = 5LL * 1024 * 1024 * 1024 * 1024;
    EXPECT_TRUE(call(&DropboxWorker::getUserSpace));
    EXPECT_EQ(worker->spaceInfo(), "Used: 1.5 GB, Total: 5.0 TB");
    routes.allocationKind = "other";
    EXPECT_FALSE(call(&DropboxWorker::getUserSpace));
    EXPECT_EQ(worker->spaceInfo(), "Used: 1.5 GB, Total: 5.0 TB");

    // An answer that arrives after sign-out stores nothing.
    routes.delayMs = 100;
    routes.email = "bob@example.com";
    std::optional<bool> late;
    worker->getUserInfo([&](bool ok) { late = ok; });
    worker->logout();
    ASSERT_TRUE(QTest::qWaitFor([&] { return late.has_value(); }, 5000));
    EXPECT_FALSE(*late);
    EXPECT_EQ(worker->email(), "");
    EXPECT_EQ(worker->spaceInfo(), "Used: 1.5 GB, Total: 5.0 TB");
    EXPECT_FALSE(worker->isSignedIn());
    EXPECT_EQ(browser.opened.last(), QUrl(server.baseUrl().toString() + "/logout"));

    const qsizetype before = server.requests().size();
    EXPECT_FALSE(call(&DropboxWorker::getUserInfo));
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(DropboxWorkerTest, DownloadReplacesTheFileOnlyWhenWhole)
{
    const QByteArray content(300000, 'n');
    tree.addFile({}, "Résumé.txt", content);
    ASSERT_EQ(signIn().kind, DropboxOAuthResult::Kind::success);
    QTemporaryDir dir;
    const QString target = dir.filePath("Résumé.txt");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const auto fetch = [&](const QString& path) {
        std::optional<CloudFileDownload::Result> result;
        worker->download(path, target, content.size(), nullptr, [&](const CloudFileDownload::Result& r) { result = r; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        return result.value_or(CloudFileDownload::Result{});
    };
    const auto contentNow = [&] {
        QFile f(target);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    routes.dropAfter = 1000;
    EXPECT_FALSE(fetch("/Résumé.txt").saved);
    EXPECT_EQ(contentNow(), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    routes.dropAfter = -1;
    const CloudFileDownload::Result missing = fetch("/missing.txt");
    EXPECT_FALSE(missing.saved);
    EXPECT_EQ(CloudDownloadOutcome::of(CloudLoginService::dropbox, missing, 0, delays.rateLimit, 0).remark,
              "path/not_found/..");
    EXPECT_EQ(contentNow(), "old");

    EXPECT_TRUE(fetch("/Résumé.txt").saved);
    EXPECT_EQ(contentNow(), content);
    EXPECT_EQ(server.requests().last().header("dropbox-api-arg"), "{\"path\":\"/R\\u00e9sum\\u00e9.txt\"}");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}
