#include "CountingNetworkAccessManager.h"
#include "FakeBrowser.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeOneDriveRoutes.h"
#include "LogCapture.h"
#include "PkceCodes.h"
#include "ReservedLoopbackPorts.h"
#include "SignInProgress.h"
#include "OneDrivePopoutWebViewController.h"
#include "OneDriveWorker.h"

#include <QImage>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

class OneDriveWorkerTest : public ::testing::Test {
protected:
    OneDriveWorkerTest()
    {
        server.listen();
        routes.install(server, tree);
        manager.setProxy(QNetworkProxy::NoProxy);
        redirectPort = ReservedLoopbackPorts::take();
        constant = OneDriveConstant::atHosts(server.baseUrl().toString(), server.baseUrl().toString(),
                                             server.baseUrl().toString(),
                                             QStringLiteral("http://127.0.0.1:%1/getAToken").arg(redirectPort));
        constant.clientID = routes.clientId;
        constant.clientSecret = QStringLiteral("standin-onedrive-secret-0123456789abc");
        delays.secondMs = 20;
        delays.itemRetryMs = 10;
        delays.itemRetries = 2;
        delays.rateLimit.secondMs = 5;
        delays.rateLimit.backoffMs = 5;
        delays.rateLimit.tries = 3;
        delays.maxListingPages = 6;
        worker = std::make_unique<OneDriveWorker>(constant, delays, &manager);
        worker->setBrowserOpener(browser.opener());
    }

    bool signIn()
    {
        QSignalSpy result(worker.get(), &OneDriveWorker::OneDrive_login);
        worker->login();
        EXPECT_TRUE(result.wait(5000));
        return !result.isEmpty() && result.first().first().toBool();
    }

    struct Listing {
        QList<CloudItemPtr> folders, files;
        bool complete = false;
        int calls = 0;
    };
    Listing list(const QString& folderId)
    {
        Listing out;
        worker->listFolder(folderId, [&out](const QList<CloudItemPtr>& folders, const QList<CloudItemPtr>& files, bool complete) {
            out.folders = folders;
            out.files = files;
            out.complete = complete;
            ++out.calls;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return out.calls > 0; }, 5000));
        EXPECT_TRUE(server.settle({ &manager })); // a second completion would come now
        return out;
    }

    static QStringList names(const QList<CloudItemPtr>& items)
    {
        QStringList out;
        for (const auto& item : items)
            out.append(item->name);
        return out;
    }

    LogCapture logged { QStringLiteral("zorvi.cloud.*.debug=true") };
    FakeCloudServer server;
    FakeCloudTree tree;
    FakeOneDriveRoutes routes;
    CountingNetworkAccessManager manager;
    FakeBrowser browser;
    quint16 redirectPort = 0;
    OneDriveConstant constant;
    OneDriveDelays delays;
    std::unique_ptr<OneDriveWorker> worker;
};

} // namespace

TEST_F(OneDriveWorkerTest, SignsInThroughTheBrowserWithPkceAndReadsTheAccount)
{
    ASSERT_TRUE(signIn());

    ASSERT_EQ(browser.opened.size(), 1);
    const QString state = QUrlQuery(browser.opened.first()).queryItemValue("state");
    const QString challenge = QUrlQuery(browser.opened.first()).queryItemValue("code_challenge");
    EXPECT_GE(state.size(), 32);
    EXPECT_EQ(challenge.size(), 43);
    EXPECT_EQ(browser.opened.first().toString(QUrl::FullyEncoded),
              server.baseUrl().toString() + "/oauth20_authorize.srf?client_id=standin-onedrive-client"
                  "&scope=offline_access+User.Read+Files.ReadWrite.All&response_type=code"
                  "&redirect_uri=http://127.0.0.1:" + QString::number(redirectPort) + "/getAToken&state=" + state
                  + "&code_challenge=" + challenge + "&code_challenge_method=S256");

    const auto exchanges = server.requestsTo("/oauth20_token.srf");
    ASSERT_EQ(exchanges.size(), 1);
    EXPECT_EQ(exchanges.first().header("content-type"), "application/x-www-form-urlencoded");
    const QList<QPair<QString, QString>> expected {
        { "client_id", "standin-onedrive-client" },
        { "redirect_uri", constant.redirectUri },
        { "client_secret", constant.clientSecret },
        { "code", "M.standin-onedrive-code" },
        { "grant_type", "authorization_code" },
    };
    QList<QPair<QString, QString>> sent = exchanges.first().form().queryItems(QUrl::FullyDecoded);
    ASSERT_EQ(sent.size(), expected.size() + 1);
    const QPair<QString, QString> verifier = sent.takeLast();
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(verifier.first, "code_verifier");
    EXPECT_EQ(PkceCodes::challengeFor(verifier.second.toLatin1()), challenge.toLatin1());
    EXPECT_EQ(worker->token().toLatin1(), routes.accessTokens().last());
    EXPECT_TRUE(worker->isRefreshScheduled());
    EXPECT_FALSE(worker->signInSheet() && worker->signInSheet()->isOpen());

    bool info = false, photo = false;
    int calls = 0;
    routes.mail.clear(); // "mail": null falls through to the principal name
    worker->getUserInfo([&](bool ok) { info = ok; ++calls; });
    worker->getUserPhoto([&](bool ok) { photo = ok; ++calls; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 5000));
    EXPECT_TRUE(info && photo);
    EXPECT_EQ(worker->email(), routes.userPrincipalName);
    EXPECT_FALSE(QImage::fromData(worker->image()).isNull());
    EXPECT_EQ(server.requestsTo("/v1.0/me").first().bearer(), routes.accessTokens().last());

    // The sign-out pages: the first redirects back with "lc=", which opens the second; the
    // browser is told it is signed out, not that a sign-in answer came.
    browser.follow = false;
    worker->logout();
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.visit(browser.opened.at(1)), 200);
    EXPECT_TRUE(browser.lastBody.contains("You are signed out."));
    EXPECT_FALSE(browser.lastBody.contains("sign-in"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.opened.size() == 3; }, 5000));
    EXPECT_EQ(browser.opened.at(1).toString(), server.baseUrl().toString() + "/oauth20_logout.srf?client_id="
                                                   "standin-onedrive-client&redirect_uri=" + constant.redirectUri);
    EXPECT_EQ(browser.opened.at(2).toString(), server.baseUrl().toString() + "/common/oauth2/v2.0/logout");
    EXPECT_TRUE(worker->email().isEmpty());
    EXPECT_TRUE(worker->token().isEmpty());

    // A sign-out the service answers with an error still ends the wait.
    worker->logout();
    ASSERT_TRUE(worker->signInProgress()->isWaiting());
    EXPECT_EQ(browser.visit(QUrl(constant.redirectUri + "?error=access_denied")), 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !worker->signInProgress()->isWaiting(); }, 5000));
}

// A code must come from the sign-in we started: another state, or a request while no sign-in
// is pending, leads nowhere.
TEST_F(OneDriveWorkerTest, TakesOnlyTheAnswerItAskedFor)
{
    browser.follow = false;
    QSignalSpy result(worker.get(), &OneDriveWorker::OneDrive_login);
    worker->login();
    ASSERT_EQ(browser.opened.size(), 1);
    const QString state = QUrlQuery(browser.opened.first()).queryItemValue("state");
    const QString back = constant.redirectUri + "?code=M.standin-onedrive-code&state=";

    EXPECT_EQ(browser.visit(QUrl(back + "forged")), 400);
    EXPECT_TRUE(browser.lastBody.contains("not accepted"));
    EXPECT_TRUE(server.requestsTo("/oauth20_token.srf").isEmpty());
    EXPECT_TRUE(worker->signInSheet()->isOpen());

    EXPECT_EQ(browser.visit(browser.opened.first()), 200); // the service sends the browser back
    EXPECT_TRUE(browser.lastBody.contains("return to Zorvi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !result.isEmpty(); }, 5000));
    EXPECT_TRUE(result.first().first().toBool());

    browser.visit(QUrl(back + state));
    EXPECT_TRUE(server.settle({ &manager }));
    EXPECT_EQ(server.requestsTo("/oauth20_token.srf").size(), 1);
    EXPECT_EQ(result.size(), 1);
}

TEST_F(OneDriveWorkerTest, ReportsWhySignInCannotStart)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, redirectPort));
    QSignalSpy failed(worker->signInProgress(), &SignInProgress::failed);
    QSignalSpy result(worker.get(), &OneDriveWorker::OneDrive_login);
    worker->login();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed.first().first().toString().contains(QString::number(redirectPort)));
    EXPECT_TRUE(browser.opened.isEmpty());
    squatter.close();

    // The same on ::1, where "localhost" leads many browsers first; whoever shows the wait
    // hears why.
    QTcpServer squatter6;
    if (squatter6.listen(QHostAddress::LocalHostIPv6, redirectPort)) {
        worker->login();
        ASSERT_EQ(failed.size(), 2);
        EXPECT_TRUE(failed.last().first().toString().contains("in use"));
        EXPECT_FALSE(worker->signInProgress()->isWaiting());
        EXPECT_TRUE(browser.opened.isEmpty());
        EXPECT_EQ(browser.visit(QUrl(constant.redirectUri + "?code=M.standin-onedrive-code")), 0);
    }

    OneDriveConstant unregistered = constant;
    unregistered.clientID.clear();
    OneDriveWorker bare(unregistered, delays, &manager);
    bare.setBrowserOpener(browser.opener());
    QSignalSpy bareFailed(bare.signInProgress(), &SignInProgress::failed);
    EXPECT_FALSE(bare.isAvailable());
    bare.login();
    ASSERT_EQ(bareFailed.size(), 1);
    EXPECT_EQ(bareFailed.first().first().toString(), bare.unavailableReason());
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_TRUE(result.isEmpty());
}

// One refresh timer per client, renewed by each refresh and stopped by sign-out; no token,
// code or secret reaches the log on the way.
TEST_F(OneDriveWorkerTest, RefreshesOnOneTimerUntilSignOutWithoutLoggingSecrets)
{
    routes.expiresIn = 3;
    ASSERT_TRUE(signIn());
    ASSERT_TRUE(signIn()); // a second sign-in replaces the timer
    EXPECT_LT(worker->refreshIntervalMs(), routes.expiresIn * delays.secondMs);
    const auto refreshes = [&] {
        QList<QUrlQuery> out;
        for (const FakeCloudServer::Request& r : server.requestsTo("/oauth20_token.srf"))
            if (r.form().queryItemValue("grant_type") == "refresh_token")
                out.append(r.form());
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshes().size() >= 2; }, 5000));

    const QUrlQuery refresh = refreshes().first();
    EXPECT_EQ(refresh.queryItemValue("grant_type"), "refresh_token");
    EXPECT_TRUE(refresh.queryItemValue("refresh_token").startsWith("M.R3-standin-onedrive-refresh-"));
    EXPECT_EQ(refresh.queryItemValue("redirect_uri", QUrl::FullyDecoded), constant.redirectUri);
    EXPECT_EQ(refresh.queryItemValue("client_secret"), constant.clientSecret);
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker->token().toLatin1() == routes.accessTokens().last(); }, 5000));

    worker->forgetSession();
    EXPECT_FALSE(worker->isRefreshScheduled());
    EXPECT_TRUE(worker->token().isEmpty() && worker->reToken().isEmpty());
    const auto sent = server.requests().size();
    EXPECT_TRUE(server.settle({ &manager }));
    // At most a refresh already on the wire when the session ended.
    EXPECT_LE(server.requests().size(), sent + 1);
    EXPECT_TRUE(worker->token().isEmpty());

    tree.addFile("", "a.txt", "abc");
    routes.issueRefreshToken = false;
    ASSERT_TRUE(signIn());
    EXPECT_FALSE(worker->isRefreshScheduled()) << "no refresh token, no timer";
    EXPECT_EQ(list("").files.size(), 1);

    const QString log = logged.text();
    EXPECT_TRUE(log.contains("refresh onedrive token: "));
    EXPECT_FALSE(log.contains("standin-onedrive-access"));
    EXPECT_FALSE(log.contains("standin-onedrive-refresh"));
    EXPECT_FALSE(log.contains("standin-onedrive-code"));
    EXPECT_FALSE(log.contains(constant.clientSecret));
    EXPECT_FALSE(log.contains("tempauth=standin"));
}

TEST_F(OneDriveWorkerTest, ListsEveryPageWithOneCompletion)
{
    const QString work = tree.addFolder("", "My Files");
    for (int i = 0; i < 5; ++i)
        tree.addFolder(work, QStringLiteral("d%1").arg(i));
    for (int i = 0; i < 6; ++i)
        tree.addFile(work, QStringLiteral("f%1.txt").arg(i), "x", QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7, 123), Qt::UTC));
    routes.pageSize = 4;
    ASSERT_TRUE(signIn());
    server.clearRequests();

    const Listing whole = list(work);
    EXPECT_EQ(whole.calls, 1);
    EXPECT_TRUE(whole.complete);
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(names(whole.folders), (QStringList { "d0", "d1", "d2", "d3", "d4" }));
    EXPECT_EQ(names(whole.files), (QStringList { "f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt" }));
    EXPECT_EQ(whole.files.first()->path, "/My Files/f0.txt");
    EXPECT_EQ(whole.files.first()->date, "2021-03-04 05:06:07");
    EXPECT_EQ(whole.files.first()->size, 1u);

    routes.failPage = 2;
    const Listing broken = list(work);
    EXPECT_EQ(broken.calls, 1);
    EXPECT_FALSE(broken.complete);
    EXPECT_EQ(names(broken.folders), (QStringList { "d0", "d1", "d2", "d3" }));
    EXPECT_TRUE(broken.files.isEmpty());

    // "Too many requests" is waited out a bounded number of times.
    routes.failPage = 0;
    routes.throttle = 2;
    server.clearRequests();
    EXPECT_TRUE(list(work).complete);
    EXPECT_EQ(server.requests().size(), 3 + 2);
    routes.throttle = -1;
    server.clearRequests();
    EXPECT_FALSE(list(work).complete);
    EXPECT_EQ(server.requests().size(), delays.rateLimit.tries);
    routes.throttle = 0;

    // A next page that comes again, or never runs out, ends the listing as incomplete.
    routes.paging = FakeCloudRoutes::Paging::repeating;
    server.clearRequests();
    EXPECT_FALSE(list(work).complete);
    EXPECT_EQ(server.requests().size(), 2);
    routes.paging = FakeCloudRoutes::Paging::endless;
    server.clearRequests();
    EXPECT_FALSE(list(work).complete);
    EXPECT_EQ(server.requests().size(), delays.maxListingPages);
    routes.paging = FakeCloudRoutes::Paging::normal;

    // A next page named on another host does not get our token.
    routes.failPage = 0;
    routes.nextLinkBase = QUrl(QStringLiteral("http://localhost:%1").arg(server.baseUrl().port()));
    server.clearRequests();
    const Listing elsewhere = list(work);
    EXPECT_EQ(elsewhere.calls, 1);
    EXPECT_FALSE(elsewhere.complete);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(OneDriveWorkerTest, ItemRefreshesAreBounded)
{
    const QString file = tree.addFile("", "a.txt", "abc");
    ASSERT_TRUE(signIn());
    const auto item = std::make_shared<CloudItemClass>("a.txt", "/a.txt", "file", file, 3, "", "", "");
    QStringList answers;
    worker->getItemInfo(item, [&](const QString& address) { answers.append(address); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 5000));
    EXPECT_TRUE(answers.first().contains("/standin/onedrive/content/" + file));

    routes.refuseTokens = true;
    answers.clear();
    server.clearRequests();
    worker->getItemInfo(item, [&](const QString& address) { answers.append(address); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 5000));
    EXPECT_TRUE(server.settle({ &manager }));
    EXPECT_EQ(answers, QStringList { QString() });
    EXPECT_EQ(server.requestsTo("/v1.0/me/drive/items/" + file).size(), 1 + delays.itemRetries);
    EXPECT_GE(server.requestsTo("/oauth20_token.srf").size(), 1);

    answers.clear();
    worker->getItemInfo(nullptr, [&](const QString& address) { answers.append(address); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 5000));
}

TEST(OneDriveItemParser, ReadsPathsDatesAndKinds)
{
    const auto parse = [](const char* json) {
        return OneDriveWorker::parseItem(QJsonDocument::fromJson(json).object());
    };
    const CloudItemPtr file = parse(R"({"name":"a.txt","id":"X1","size":12,"@microsoft.graph.downloadUrl":"https://d/1",
        "parentReference":{"path":"/drive/root:/My%20Files"},"lastModifiedDateTime":"2021-03-04T05:06:07.123Z"})");
    EXPECT_EQ(file->path, "/My Files/a.txt");
    EXPECT_EQ(file->type, "file");
    EXPECT_EQ(file->size, 12u);
    EXPECT_EQ(file->date, "2021-03-04 05:06:07");
    EXPECT_EQ(file->downloadPath, "https://d/1");

    const CloudItemPtr top = parse(R"({"name":"b","folder":{},"parentReference":{"path":"/drive/root:"},
        "lastModifiedDateTime":"2021-03-04T05:06:07Z"})");
    EXPECT_EQ(top->path, "/b");
    EXPECT_EQ(top->type, "folder");
    EXPECT_TRUE(top->date.isEmpty());
    EXPECT_TRUE(parse(R"({"name":"c"})")->path.isEmpty());
}
