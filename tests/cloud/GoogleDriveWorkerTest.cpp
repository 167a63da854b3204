#include "CountingNetworkAccessManager.h"
#include "FakeBrowser.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeGoogleRoutes.h"
#include "GoogleDrivePopoutWebViewController.h"
#include "GoogleDriveWorker.h"
#include "JwtPayload.h"
#include "LogCapture.h"
#include "PkceCodes.h"
#include "ReservedLoopbackPorts.h"

#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

class GoogleDriveWorkerTest : public ::testing::Test {
protected:
    GoogleDriveWorkerTest()
    {
        server.listen();
        routes.install(server, tree);
        manager.setProxy(QNetworkProxy::NoProxy);
        redirectPort = ReservedLoopbackPorts::take();
        const QString base = server.baseUrl().toString();
        constant = GoogleDriveConstant::atHosts(base, base, base, QStringLiteral("http://127.0.0.1:%1/").arg(redirectPort));
        constant.clientID = routes.clientId;
        constant.clientSecret = routes.clientSecret;
        delays.secondMs = 20;
        delays.rateLimit.backoffMs = 5;
        delays.rateLimit.secondMs = 5;
        delays.rateLimit.tries = 3;
        delays.maxListingPages = 6;
        worker = std::make_unique<GoogleDriveWorker>(constant, delays, &manager);
        worker->setBrowserOpener(browser.opener());
    }

    bool signIn()
    {
        QSignalSpy result(worker.get(), &GoogleDriveWorker::GoogleDrive_login);
        worker->login();
        EXPECT_TRUE(result.wait(5000));
        return !result.isEmpty() && result.first().first().toBool();
    }

    struct Listing {
        QStringList names;
        QList<CloudItemPtr> items;
        bool complete = false;
        int calls = 0;
    };
    Listing list(const QString& folderId, const QString& route)
    {
        Listing out;
        worker->listFolder(folderId, route, [&out](const QList<CloudItemPtr>& items, bool complete) {
            out.items = items;
            for (const auto& item : items)
                out.names.append(item->name);
            out.complete = complete;
            ++out.calls;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return out.calls > 0; }, 5000));
        EXPECT_TRUE(server.settle({ &manager })); // a second completion would come now
        return out;
    }

    LogCapture logged { QStringLiteral("zorvi.cloud.*.debug=true") };
    FakeCloudServer server;
    FakeCloudTree tree;
    FakeGoogleRoutes routes;
    CountingNetworkAccessManager manager;
    FakeBrowser browser;
    quint16 redirectPort = 0;
    GoogleDriveConstant constant;
    GoogleDriveDelays delays;
    std::unique_ptr<GoogleDriveWorker> worker;
};

} // namespace

TEST_F(GoogleDriveWorkerTest, SignsInThroughTheBrowserWithPkceAndReadsTheIdentityToken)
{
    ASSERT_TRUE(signIn());

    ASSERT_EQ(browser.opened.size(), 1);
    const QString state = QUrlQuery(browser.opened.first()).queryItemValue("state");
    const QString challenge = QUrlQuery(browser.opened.first()).queryItemValue("code_challenge");
    EXPECT_GE(state.size(), 32);
    EXPECT_EQ(challenge.size(), 43);
    EXPECT_EQ(browser.opened.first().toString(QUrl::FullyEncoded),
              server.baseUrl().toString() + "/o/oauth2/v2/auth?scope=https://www.googleapis.com/auth/drive.readonly"
                  "+https://www.googleapis.com/auth/drive.metadata.readonly+https://www.googleapis.com/auth/userinfo.email"
                  "+https://www.googleapis.com/auth/userinfo.profile&response_type=code&redirect_uri=http://127.0.0.1:"
                  + QString::number(redirectPort) + "/&client_id=" + routes.clientId + "&state=" + state
                  + "&code_challenge=" + challenge + "&code_challenge_method=S256");

    const auto exchanges = server.requestsTo("/token");
    ASSERT_EQ(exchanges.size(), 1);
    EXPECT_EQ(exchanges.first().header("content-type"), "application/x-www-form-urlencoded");
    const QList<QPair<QString, QString>> expected {
        { "client_id", routes.clientId },
        { "redirect_uri", constant.redirectUri },
        { "client_secret", routes.clientSecret },
        { "code", "4/0standin-google-code" },
        { "grant_type", "authorization_code" },
    };
    QList<QPair<QString, QString>> sent = exchanges.first().form().queryItems(QUrl::FullyDecoded);
    ASSERT_EQ(sent.size(), expected.size() + 1);
    const QPair<QString, QString> verifier = sent.takeLast();
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(verifier.first, "code_verifier");
    EXPECT_EQ(PkceCodes::challengeFor(verifier.second.toLatin1()), challenge.toLatin1());
    EXPECT_EQ(worker->token().toLatin1(), routes.accessTokens().last());
    EXPECT_EQ(worker->email(), routes.email);
    EXPECT_EQ(worker->photoUrl(), routes.picture);
    EXPECT_TRUE(worker->isRefreshScheduled());

    // Forged state: refused in the browser, nothing else happens; no sign-in pending: the
    // listener is gone.
    browser.follow = false;
    worker->login();
    const QString back = constant.redirectUri + "?code=4%2F0standin-google-code&state=";
    EXPECT_EQ(browser.visit(QUrl(back + "forged")), 400);
    EXPECT_TRUE(browser.lastBody.contains("not accepted"));
    EXPECT_EQ(server.requestsTo("/token").size(), 1);
    EXPECT_TRUE(worker->signInSheet()->isOpen());
    worker->signInSheet()->close();
    browser.visit(QUrl(back + QUrlQuery(browser.opened.last()).queryItemValue("state")));
    EXPECT_TRUE(server.settle({ &manager }));
    EXPECT_EQ(server.requestsTo("/token").size(), 1);
}

// The refresh comes before the token expires, keeps the refresh token it holds and stays on
// one timer; sign-out revokes the token and stops it. No token, code or secret reaches the log.
TEST_F(GoogleDriveWorkerTest, RefreshesUntilSignOutRevokesWithoutLoggingSecrets)
{
    routes.expiresIn = 3;
    ASSERT_TRUE(signIn());
    EXPECT_LT(worker->refreshIntervalMs(), routes.expiresIn * delays.secondMs);
    EXPECT_GT(worker->refreshIntervalMs(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestsTo("/token").size() >= 3; }, 5000));
    const QUrlQuery refresh = server.requestsTo("/token").at(1).form();
    const QList<QPair<QString, QString>> expected {
        { "client_id", routes.clientId },
        { "client_secret", routes.clientSecret },
        { "refresh_token", "1//standin-google-refresh-1" },
        { "grant_type", "refresh_token" },
    };
    EXPECT_EQ(refresh.queryItems(QUrl::FullyDecoded), expected);

    tree.addFile("", "a.txt", "abc");
    EXPECT_EQ(list("", "").names, QStringList { "a.txt" });

    const QByteArray current = worker->token().toLatin1();
    bool revoked = false;
    int calls = 0;
    worker->logout([&](bool ok) { revoked = ok; ++calls; });
    EXPECT_FALSE(worker->isRefreshScheduled());
    EXPECT_TRUE(worker->email().isEmpty() && worker->token().isEmpty() && worker->reToken().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 5000));
    EXPECT_TRUE(revoked);
    EXPECT_EQ(server.requestsTo("/revoke").first().form().queryItemValue("token", QUrl::FullyDecoded).toLatin1(), current);
    const auto sent = server.requestsTo("/token").size();
    EXPECT_TRUE(server.settle({ &manager }));
    EXPECT_LE(server.requestsTo("/token").size(), sent + 1); // at most one already on the wire
    EXPECT_TRUE(worker->token().isEmpty());

    const QString log = logged.text();
    EXPECT_TRUE(log.contains("refresh googledrive token: "));
    EXPECT_TRUE(log.contains("logout success"));
    EXPECT_FALSE(log.contains("standin-google-access"));
    EXPECT_FALSE(log.contains("standin-google-refresh"));
    EXPECT_FALSE(log.contains("standin-google-code"));
    EXPECT_FALSE(log.contains(routes.clientSecret));
    EXPECT_FALSE(log.contains(QString::fromLatin1(routes.idToken().split('.').at(1))));
}

TEST_F(GoogleDriveWorkerTest, ListsEveryPageWithOneCompletionAndBacksOffWhenRateLimited)
{
    const QString work = tree.addFolder("", "Work");
    tree.addFile("", "top.txt", "t");
    const QString ab = tree.addFolder(work, "A/B");
    for (int i = 0; i < 5; ++i)
        tree.addFile(work, QStringLiteral("f%1.txt").arg(i), "xy");
    routes.pageSize = 2;
    ASSERT_TRUE(signIn());

    const Listing root = list("", "");
    EXPECT_EQ(root.names, (QStringList { "top.txt", "Work" }));
    EXPECT_EQ(root.items.last()->type, "folder");
    EXPECT_EQ(root.items.last()->path, "/Work");
    EXPECT_EQ(server.requestsTo("/drive/v3/files").last().query().queryItemValue("q", QUrl::FullyDecoded),
              "'root' in parents and trashed=false");

    server.clearRequests();
    const Listing folder = list(work, "/Work");
    EXPECT_EQ(folder.calls, 1);
    EXPECT_TRUE(folder.complete);
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(folder.names, (QStringList { "A/B", "f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt" }));
    EXPECT_EQ(folder.items.first()->googleRoute, "/Work/A:B");
    EXPECT_EQ(folder.items.first()->path, work + "/A/B");
    EXPECT_EQ(folder.items.first()->id, ab);
    EXPECT_EQ(folder.items.at(1)->size, 2u);
    const QUrlQuery first = server.requests().first().query();
    EXPECT_EQ(first.queryItemValue("q", QUrl::FullyDecoded), "'" + work + "' in parents and trashed=false");
    EXPECT_EQ(first.queryItemValue("pageSize"), "1000");
    EXPECT_EQ(server.requests().at(1).query().queryItemValue("pageToken"), "2");

    routes.failPage = 2;
    const Listing broken = list(work, "/Work");
    EXPECT_EQ(broken.calls, 1);
    EXPECT_FALSE(broken.complete);
    EXPECT_EQ(broken.names, (QStringList { "A/B", "f0.txt" }));
    routes.failPage = 0;

    routes.rateLimited = 2;
    server.clearRequests();
    const Listing patient = list(work, "/Work");
    EXPECT_TRUE(patient.complete);
    EXPECT_EQ(patient.names.size(), 6);
    EXPECT_EQ(server.requests().size(), 2 + 3);

    routes.rateLimited = 100;
    server.clearRequests();
    const Listing refused = list(work, "/Work");
    EXPECT_EQ(refused.calls, 1);
    EXPECT_FALSE(refused.complete);
    EXPECT_TRUE(refused.items.isEmpty());
    EXPECT_EQ(server.requests().size(), delays.rateLimit.tries);
    EXPECT_TRUE(logged.text().contains("retry: /Work"));

    // A later page is waited out as well.
    routes.rateLimited = 2;
    routes.rateLimitedPage = 2;
    const Listing second = list(work, "/Work");
    EXPECT_TRUE(second.complete);
    EXPECT_EQ(second.names.size(), 6);
    routes.rateLimitedPage = 0;

    // A page token that comes again, or never runs out, ends the listing as incomplete.
    routes.paging = FakeCloudRoutes::Paging::repeating;
    server.clearRequests();
    const Listing looping = list(work, "/Work");
    EXPECT_EQ(looping.calls, 1);
    EXPECT_FALSE(looping.complete);
    EXPECT_EQ(server.requests().size(), 2);
    routes.paging = FakeCloudRoutes::Paging::endless;
    server.clearRequests();
    const Listing endless = list(work, "/Work");
    EXPECT_EQ(endless.calls, 1);
    EXPECT_FALSE(endless.complete);
    EXPECT_EQ(server.requests().size(), delays.maxListingPages);
    routes.paging = FakeCloudRoutes::Paging::normal;

    routes.rateLimited = 0;
    std::unique_ptr<QNetworkReply> content(worker->downloadRequest(folder.items.at(1)->id));
    ASSERT_TRUE(content);
    QSignalSpy done(content.get(), &QNetworkReply::finished);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(content->readAll(), "xy");
}

TEST(GoogleDriveItemParser, SkipsFilesWithoutContent)
{
    const auto parse = [](const char* json, bool root = true) {
        return GoogleDriveWorker::parseItem(QJsonDocument::fromJson(json).object(), "", root);
    };
    EXPECT_FALSE(parse(R"({"name":"Doc","mimeType":"application/vnd.google-apps.document"})"));
    EXPECT_FALSE(parse(R"({"name":"Untitled","mimeType":"text/plain","size":"0"})"));
    EXPECT_TRUE(parse(R"({"name":"Untitled","mimeType":"text/plain","size":"12"})"));
    const CloudItemPtr bare = parse(R"({"name":"a/b","mimeType":"text/plain","parents":["P"]})");
    EXPECT_EQ(bare->size, 0u);
    EXPECT_TRUE(bare->date.isEmpty());
    EXPECT_EQ(bare->googleRoute, "/a:b");
    EXPECT_EQ(bare->path, "/a/b");
    EXPECT_EQ(parse(R"({"name":"x","modifiedTime":"2021-03-04T05:06:07.890Z","parents":["P"]})", false)->date,
              "2021-03-04 05:06:07");
}

TEST(JwtPayload, DecodesWithAndWithoutPadding)
{
    EXPECT_EQ(JwtPayload::paddedBase64("abcdefghij"), "abcdefghij==");
    EXPECT_EQ(JwtPayload::paddedBase64("ab-_"), "ab+/");
    // {"email":"a@b.c"} is 17 bytes: its base64 needs one "=".
    const QByteArray claims = QByteArray(R"({"email":"a@b.c"})").toBase64(QByteArray::Base64UrlEncoding);
    ASSERT_TRUE(claims.endsWith('='));
    for (const QByteArray& payload : { claims, QByteArray(claims).replace("=", "") }) {
        const auto decoded = JwtPayload::decode(QString::fromLatin1("h." + payload + ".s"));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->value("email").toString(), "a@b.c");
    }
    EXPECT_FALSE(JwtPayload::decode("no-dots"));
    EXPECT_FALSE(JwtPayload::decode("h.@@@.s"));
}
