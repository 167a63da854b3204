#include "CountingNetworkAccessManager.h"
#include "FakeCloudServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

QNetworkReply* waitFor(QNetworkReply* reply)
{
    QSignalSpy finished(reply, &QNetworkReply::finished);
    EXPECT_TRUE(finished.wait(5000));
    return reply;
}

} // namespace

// The failures the clients are tested against must really reach a client as failures.
TEST(FakeCloudServer, AnswersDelaysAndDropsAsAClientSeesThem)
{
    FakeCloudServer server;
    ASSERT_TRUE(server.listen());
    server.addHandler([](const FakeCloudServer::Request& r) -> std::optional<FakeCloudServer::Response> {
        if (r.path() != "/file")
            return std::nullopt;
        auto response = FakeCloudServer::Response::text(QByteArray(100000, 'x'));
        if (r.query().queryItemValue("drop") == "1")
            response.dropAfter = 5000;
        response.delayMs = r.query().queryItemValue("delay").toInt();
        return response;
    });
    QNetworkAccessManager nam;

    std::unique_ptr<QNetworkReply> whole(waitFor(nam.get(QNetworkRequest(server.baseUrl().resolved(QUrl("/file?delay=50"))))));
    EXPECT_EQ(whole->error(), QNetworkReply::NoError);
    EXPECT_EQ(whole->readAll().size(), 100000);

    std::unique_ptr<QNetworkReply> dropped(waitFor(nam.get(QNetworkRequest(server.baseUrl().resolved(QUrl("/file?drop=1"))))));
    EXPECT_NE(dropped->error(), QNetworkReply::NoError);

    QNetworkRequest post(server.baseUrl().resolved(QUrl("/missing")));
    post.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    post.setRawHeader("Authorization", "Bearer abc");
    std::unique_ptr<QNetworkReply> missing(waitFor(nam.post(post, QByteArray("a=b+c&d=%2F"))));
    EXPECT_EQ(missing->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);

    ASSERT_EQ(server.requests().size(), 3);
    const FakeCloudServer::Request& last = server.requests().last();
    EXPECT_EQ(last.method, "POST");
    EXPECT_EQ(last.bearer(), "abc");
    EXPECT_EQ(last.form().queryItemValue("a"), "b c");
    EXPECT_EQ(last.form().queryItemValue("d", QUrl::FullyDecoded), "/");
}

// Settling waits for a late answer and for the client to take it in, so a test that checks
// that nothing more happened does not check too early.
TEST(FakeCloudServer, SettlesOnlyOnceTheClientHasEveryAnswer)
{
    FakeCloudServer server;
    ASSERT_TRUE(server.listen());
    server.addHandler([](const FakeCloudServer::Request&) {
        auto late = FakeCloudServer::Response::text("late");
        late.delayMs = 200;
        return late;
    });
    CountingNetworkAccessManager client;
    EXPECT_TRUE(client.isIdle());
    bool finished = false;
    QNetworkReply* reply = client.get(QNetworkRequest(server.baseUrl().resolved(QUrl("/slow"))));
    QObject::connect(reply, &QNetworkReply::finished, [&] { finished = true; });
    EXPECT_FALSE(client.isIdle());

    ASSERT_TRUE(QSignalSpy(&server, &FakeCloudServer::requestReceived).wait(5000));
    EXPECT_EQ(server.receivedCount(), 1);
    EXPECT_EQ(server.answeredCount(), 0);
    ASSERT_TRUE(server.settle({ &client }));
    EXPECT_EQ(server.answeredCount(), 1);
    EXPECT_TRUE(client.isIdle());
    EXPECT_TRUE(finished);
    delete reply;
}
