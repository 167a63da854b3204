#include "LoopbackSignIn.h"
#include "ReservedLoopbackPorts.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

struct Answer {
    QNetworkReply::NetworkError error;
    int status;
    QByteArray body;
};

Answer get(const QUrl& url)
{
    QNetworkAccessManager nam;
    nam.setProxy(QNetworkProxy::NoProxy);
    std::unique_ptr<QNetworkReply> reply(nam.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    EXPECT_TRUE(finished.wait(5000));
    return { reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll() };
}

} // namespace

// Only the redirect path of a pending sign-in reaches the sign-in; nothing is heard before
// begin() or after cancel().
TEST(LoopbackSignIn, HandsOnOnlyItsOwnRedirectWhilePending)
{
    const quint16 port = ReservedLoopbackPorts::take();
    LoopbackSignIn listener(port);
    QSignalSpy redirected(&listener, &LoopbackSignIn::redirected);
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);

    EXPECT_EQ(get(QUrl(base + "/getAToken?code=early")).error, QNetworkReply::ConnectionRefusedError);

    ASSERT_TRUE(listener.begin("/getAToken"));
    EXPECT_TRUE(listener.isPending());
    EXPECT_EQ(listener.redirectUri(), QUrl(base + "/getAToken"));

    const Answer other = get(QUrl(base + "/oauth?response_type=code&code=X"));
    EXPECT_EQ(other.status, 404);
    EXPECT_TRUE(redirected.isEmpty());

    const Answer page = get(QUrl(base + "/getAToken?code=4%2F0Ab&state=s1"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("return to Zorvi"));
    ASSERT_EQ(redirected.size(), 1);
    const QUrl url = redirected.first().first().toUrl();
    EXPECT_EQ(url.path(), "/getAToken");
    EXPECT_EQ(QUrlQuery(url).queryItemValue("code", QUrl::FullyDecoded), "4/0Ab");
    EXPECT_EQ(QUrlQuery(url).queryItemValue("state"), "s1");

    listener.cancel();
    EXPECT_FALSE(listener.isPending());
    EXPECT_EQ(get(QUrl(base + "/getAToken?code=late")).error, QNetworkReply::ConnectionRefusedError);
    EXPECT_EQ(redirected.size(), 1);

    EXPECT_NE(LoopbackSignIn::newState(), LoopbackSignIn::newState());
    EXPECT_GE(LoopbackSignIn::newState().size(), 32);

    // A sign-in that ends, and takes its listener with it, as soon as it has the code still
    // lets the browser read its page.
    auto* shortLived = new LoopbackSignIn(port);
    ASSERT_TRUE(shortLived->begin("/"));
    QObject::connect(shortLived, &LoopbackSignIn::redirected, shortLived, &QObject::deleteLater);
    const Answer last = get(QUrl(base + "/?code=c"));
    EXPECT_EQ(last.status, 200);
    EXPECT_TRUE(last.body.contains("return to Zorvi"));
}

// What the judge refuses gets a 400 page and goes no further; a sign-out gets a page that says
// so. "localhost" reaches the listener on either loopback address.
TEST(LoopbackSignIn, AnswersEachRedirectAsJudgedOnBothLoopbackAddresses)
{
    const quint16 port = ReservedLoopbackPorts::take();
    LoopbackSignIn listener(port);
    listener.setJudge([](const QUrl& url) {
        const QUrlQuery q(url);
        if (q.hasQueryItem("lc"))
            return LoopbackSignIn::Verdict::signedOut;
        return q.queryItemValue("state") == "ours" ? LoopbackSignIn::Verdict::accepted : LoopbackSignIn::Verdict::refused;
    });
    QSignalSpy redirected(&listener, &LoopbackSignIn::redirected);
    ASSERT_TRUE(listener.begin("/getAToken"));
    const QString base = QStringLiteral("http://127.0.0.1:%1/getAToken").arg(port);

    const Answer forged = get(QUrl(base + "?code=c&state=theirs"));
    EXPECT_EQ(forged.status, 400);
    EXPECT_TRUE(forged.body.contains("not accepted"));
    EXPECT_FALSE(forged.body.contains("return to Zorvi"));
    EXPECT_TRUE(redirected.isEmpty());

    const Answer signedOut = get(QUrl(base + "?lc=1033"));
    EXPECT_EQ(signedOut.status, 200);
    EXPECT_TRUE(signedOut.body.contains("You are signed out."));
    EXPECT_FALSE(signedOut.body.contains("answer of the sign-in"));
    EXPECT_EQ(redirected.size(), 1);

    if (!listener.hasIpv6())
        GTEST_SKIP() << "this system has no IPv6 loopback";
    const Answer v6 = get(QUrl(QStringLiteral("http://[::1]:%1/getAToken?code=c&state=ours").arg(port)));
    EXPECT_EQ(v6.status, 200);
    EXPECT_TRUE(v6.body.contains("return to Zorvi"));
    ASSERT_EQ(redirected.size(), 2);
    EXPECT_EQ(QUrlQuery(redirected.last().first().toUrl()).queryItemValue("code"), "c");
}

// Another program on either loopback address of the port could take the code: the sign-in
// does not start, says why, and leaves nothing listening.
TEST(LoopbackSignIn, RefusesToStartWhenEitherAddressIsTaken)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    LoopbackSignIn listener(squatter.serverPort());
    EXPECT_FALSE(listener.begin("/"));
    EXPECT_FALSE(listener.isPending());
    EXPECT_TRUE(listener.errorString().contains(QString::number(squatter.serverPort())));
    EXPECT_TRUE(listener.errorString().contains("in use"));

    QTcpServer squatter6;
    if (!squatter6.listen(QHostAddress::LocalHostIPv6, 0))
        GTEST_SKIP() << "this system has no IPv6 loopback";
    const quint16 port = squatter6.serverPort();
    LoopbackSignIn beside(port);
    EXPECT_FALSE(beside.begin("/getAToken"));
    EXPECT_FALSE(beside.isPending());
    EXPECT_TRUE(beside.errorString().contains("in use"));
    EXPECT_TRUE(beside.errorString().contains(QString::number(port)));
    EXPECT_EQ(get(QUrl(QStringLiteral("http://127.0.0.1:%1/getAToken?code=c").arg(port))).error,
              QNetworkReply::ConnectionRefusedError);
}
