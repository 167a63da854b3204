#include "AppcastFile.h"
#include "OrdinaryUser.h"
#include "FakeHttpServer.h"
#include "Updater.h"
#include "VersionCheck.h"
#include "VersionRequest.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
const QByteArray kFeed = "<rss version=\"2.0\"><channel></channel></rss>";

QByteArray answerWith(const QByteArray& appcast)
{
    QJsonObject result { { "appcast", QString::fromUtf8(appcast) } };
    return QJsonDocument(QJsonObject { { "result", result }, { "status", 0 } }).toJson();
}

class VersionRequestTest : public ::testing::Test {
protected:
    VersionRequestTest()
    {
        manager.setProxy(QNetworkProxy::NoProxy);
        request.setBaseUrl(server.baseUrl());
    }

    // Sends and waits for the one outcome; returns true when an appcast came back.
    bool sendAndWait(QString* text)
    {
        QSignalSpy ok(&request, &VersionRequest::appcastReceived);
        QSignalSpy bad(&request, &VersionRequest::failed);
        request.send();
        EXPECT_TRUE(QTest::qWaitFor([&] { return ok.count() + bad.count() > 0; }, 10000));
        EXPECT_EQ(ok.count() + bad.count(), 1);
        if (!ok.isEmpty()) {
            *text = ok.first().first().toString();
            return true;
        }
        *text = bad.isEmpty() ? QString() : bad.first().first().toString();
        return false;
    }

    FakeHttpServer server;
    QNetworkAccessManager manager;
    VersionRequest request { &manager };
};
} // namespace

TEST_F(VersionRequestTest, PostsTheFixedRequestAndHandsBackTheAppcast)
{
    server.respond(200, answerWith(kFeed));
    QString text;
    ASSERT_TRUE(sendAndWait(&text)) << text.toStdString();
    EXPECT_EQ(text.toUtf8(), kFeed);

    const auto& r = server.lastRequest();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/v1/api/get/version");
    EXPECT_EQ(r.headers.value("authorization"), "x-zq7Lm2Rt9Wk4Vb8N");
    EXPECT_EQ(VersionRequest::authorization().size(), 18);
    EXPECT_FALSE(r.body.contains(' ')) << "the body is compact JSON";
    const QJsonObject body = QJsonDocument::fromJson(r.body).object();
    EXPECT_EQ(body.keys(), (QStringList { "category", "lang", "tag" }));
    EXPECT_EQ(body.value("category").toString(), "Zorvi");
    EXPECT_TRUE(body.value("tag").toString() == "macos" || body.value("tag").toString() == "macos_m1");
    EXPECT_FALSE(body.value("lang").toString().isEmpty());
    EXPECT_EQ(request.timeout(), 60000);
    EXPECT_FALSE(request.isRunning());
}

TEST_F(VersionRequestTest, BodyMembersFollowArchitectureAndLocale)
{
    EXPECT_EQ(VersionRequest::tagForArchitecture("arm64"), "macos_m1");
    EXPECT_EQ(VersionRequest::tagForArchitecture("x86_64"), "macos");
    EXPECT_EQ(VersionRequest::tagForArchitecture(""), "macos");
    EXPECT_EQ(VersionRequest::languageCode(QLocale::c()), "en");
    EXPECT_EQ(VersionRequest::languageCode(QLocale("de_DE")), "de");
    EXPECT_EQ(VersionRequest::languageCode(QLocale("zh_TW")), "zh");
    EXPECT_EQ(VersionRequest::body("arm64", QLocale::c()),
              QByteArray(R"({"category":"Zorvi","lang":"en","tag":"macos_m1"})"));
}

TEST_F(VersionRequestTest, ASilentServiceTimesOut)
{
    server.stayQuiet();
    request.setTimeout(300);
    QString text;
    EXPECT_FALSE(sendAndWait(&text));
    EXPECT_TRUE(text.contains("did not answer in time")) << text.toStdString();
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(VersionRequestTest, UnusableAnswersFail)
{
    struct Case {
        int status;
        QByteArray body;
        QString expectedInError;
    };
    const Case cases[] = {
        { 200, R"({"result":{"version":"1.2"}})", R"({"result":{"version":"1.2"}})" }, // the whole value is printed
        { 200, R"({"status":1})", R"({"status":1})" },
        { 200, R"({"result":{"appcast":42}})", "appcast" },
        { 200, R"({"result":"nope"})", "result" },
        { 200, "<html>Bad gateway</html>", "not JSON" },
        { 200, "", "not JSON" },
        { 500, R"({"error":"internal"})", "error" },
    };
    for (const Case& c : cases) {
        server.respond(c.status, c.body);
        QString text;
        EXPECT_FALSE(sendAndWait(&text)) << c.body.constData();
        EXPECT_TRUE(text.contains(c.expectedInError)) << text.toStdString();
    }
}

TEST_F(VersionRequestTest, HttpErrorWithAValidBodyStillCounts)
{
    // The status is not examined: only the body decides.
    server.respond(503, answerWith(kFeed));
    QString text;
    EXPECT_TRUE(sendAndWait(&text)) << text.toStdString();
    EXPECT_EQ(text.toUtf8(), kFeed);
}

TEST_F(VersionRequestTest, UnreachableServiceFails)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    request.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
    QString text;
    EXPECT_FALSE(sendAndWait(&text));
    EXPECT_FALSE(text.isEmpty());
}

TEST_F(VersionRequestTest, CheckStoresTheFeedAndPointsTheUpdaterAtIt)
{
    QTemporaryDir dir;
    const QString appData = dir.filePath("app data");
    Updater updater;
    VersionCheck check(&request, &updater, AppcastFile(appData));
    QSignalSpy done(&check, &VersionCheck::finished);

    server.respond(200, answerWith(kFeed));
    check.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !done.isEmpty(); }, 10000));
    EXPECT_TRUE(done.first().first().toBool());
    const QString path = appData + "/appcast.xml";
    EXPECT_EQ(updater.feedUrl(), QUrl::fromLocalFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kFeed);
}

TEST_F(VersionRequestTest, FailedRequestOrFailedWriteLeavesTheUpdaterWithoutAFeed)
{
    QTemporaryDir dir;
    Updater updater;

    // A bad answer: nothing written, nothing handed over.
    {
        VersionCheck check(&request, &updater, AppcastFile(dir.path()));
        QSignalSpy done(&check, &VersionCheck::finished);
        server.respond(200, R"({"result":{}})");
        check.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !done.isEmpty(); }, 10000));
        EXPECT_FALSE(done.first().first().toBool());
        EXPECT_FALSE(QFile::exists(dir.filePath("appcast.xml")));
    }
    // The feed cannot be stored (its name is taken by a folder): the updater is not pointed
    // at a missing file.
    {
        QDir(dir.path()).mkpath("blocked/appcast.xml");
        VersionCheck check(&request, &updater, AppcastFile(dir.filePath("blocked")));
        QSignalSpy done(&check, &VersionCheck::finished);
        server.respond(200, answerWith(kFeed));
        check.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !done.isEmpty(); }, 10000));
        EXPECT_FALSE(done.first().first().toBool());
        EXPECT_FALSE(done.first().at(1).toString().isEmpty());
    }
    EXPECT_TRUE(updater.feedUrl().isEmpty());
}

TEST(AppcastFile, AFailedWriteKeepsTheOldFeedAndSaysSo)
{
    QTemporaryDir dir;
    OrdinaryUser::own(dir.path());
    // Root writes into read-only folders: the write is tried as an ordinary user.
    const int outcome = OrdinaryUser::runInChild([&dir] {
        AppcastFile file(dir.path());
        if (!file.write("old"))
            return 1;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        const bool written = file.write("new", &error);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (written || error.isEmpty())
            return 2;
        QFile f(file.path());
        return f.open(QIODevice::ReadOnly) && f.readAll() == "old" ? 0 : 3;
    });
    EXPECT_EQ(outcome, 0) << "1: no first write, 2: the failed write went unsaid, 3: the old feed is gone";
}

TEST(AppcastFile, WritesUtf8IntoTheApplicationDataFolder)
{
    AppcastFile file;
    EXPECT_TRUE(file.path().endsWith("/appcast.xml"));
    EXPECT_TRUE(file.path().startsWith(QDir::homePath())) << "tests run in a private HOME";
    ASSERT_TRUE(file.write(QStringLiteral("<rss>已更新</rss>")));
    QFile f(file.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), QStringLiteral("<rss>已更新</rss>"));

    QString error;
    EXPECT_FALSE(AppcastFile(QString()).write("x", &error));
    EXPECT_FALSE(error.isEmpty());
}
