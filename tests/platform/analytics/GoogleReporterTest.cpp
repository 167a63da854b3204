#include "GoogleReporter.h"
#include "HttpAnalyticsSink.h"
#include "NullAnalyticsSink.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {
class RecordingSink : public AnalyticsSink {
public:
    QStringList calls;
    void configure(const QString& trackerId) override { calls << "configure " + trackerId; }
    void session(bool start, const Parameters& p) override
    {
        calls << QStringLiteral("session %1 %2").arg(start ? "start" : "end").arg(p.size());
    }
    void event(const QString& c, const QString& a, const QString& l, const Parameters& p) override
    {
        calls << QStringLiteral("event %1|%2|%3|%4").arg(c, a, l).arg(p.size());
    }
    void screenView(const QString& name, const Parameters& p) override
    {
        calls << QStringLiteral("screen %1 %2").arg(name).arg(p.size());
    }
};

// Collects the bodies of the HTTP requests it is sent and answers 200.
class LoopbackCollector : public QTcpServer {
public:
    QStringList bodies;
    LoopbackCollector()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    buffer_ += s->readAll();
                    const int headerEnd = buffer_.indexOf("\r\n\r\n");
                    if (headerEnd < 0)
                        return;
                    const QByteArray headers = buffer_.left(headerEnd).toLower();
                    const int at = headers.indexOf("content-length:");
                    const int length = at < 0 ? 0 : headers.mid(at + 15, headers.indexOf("\r\n", at) - at - 15).trimmed().toInt();
                    if (buffer_.size() < headerEnd + 4 + length)
                        return;
                    bodies << QString::fromUtf8(buffer_.mid(headerEnd + 4, length));
                    buffer_.clear();
                    s->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    s->disconnectFromHost();
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/collect").arg(serverPort())); }

private:
    QByteArray buffer_;
};
} // namespace

TEST(GoogleReporter, ForwardsEveryCallToTheSink)
{
    auto sink = std::make_shared<RecordingSink>();
    GoogleReporter& reporter = GoogleReporter::shared();
    reporter.setSink(sink);
    reporter.configure(QStringLiteral("UA-12345678-9"));
    reporter.session(true);
    reporter.event(QStringLiteral("Common Action"), QStringLiteral("Do Backup"));
    reporter.event(QStringLiteral("Software update"), QStringLiteral("Skip Version"), QStringLiteral("Zorvi (1.2)"));
    reporter.screenView(QStringLiteral("Backup View"));
    reporter.session(false);
    EXPECT_EQ(sink->calls, (QStringList {
        "configure UA-12345678-9", "session start 0", "event Common Action|Do Backup||0",
        "event Software update|Skip Version|Zorvi (1.2)|0", "screen Backup View 0", "session end 0" }));
    EXPECT_EQ(reporter.trackerId(), QStringLiteral("UA-12345678-9"));

    // A sink installed later learns the tracker id already configured.
    auto second = std::make_shared<RecordingSink>();
    reporter.setSink(second);
    EXPECT_EQ(second->calls, QStringList { "configure UA-12345678-9" });
    reporter.setSink(nullptr);
    EXPECT_NE(reporter.sink(), nullptr);
}

TEST(GoogleReporter, DefaultSinkSendsNothingWithoutBuildTrackingId)
{
    if (!GoogleReporter::buildTrackingId().isEmpty())
        GTEST_SKIP() << "built with a tracking id";
    EXPECT_NE(dynamic_cast<NullAnalyticsSink*>(GoogleReporter::makeDefaultSink().get()), nullptr);
}

TEST(HttpAnalyticsSink, PostsHitsOnlyOnceConfigured)
{
    LoopbackCollector collector;
    ASSERT_TRUE(collector.isListening());
    HttpAnalyticsSink sink(collector.url());

    sink.event(QStringLiteral("Common Action"), QStringLiteral("Do Restore"), QString(), {});
    sink.configure(QStringLiteral("UA-1-1"));
    sink.event(QStringLiteral("File Security"), QStringLiteral("Encrypt"), QStringLiteral("a&b"), {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return collector.bodies.size() >= 1; }, 10000));
    sink.screenView(QStringLiteral("Restore View"), {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return collector.bodies.size() >= 2; }, 10000));
    // The hit before configure was dropped: only the two later ones arrived.
    ASSERT_EQ(collector.bodies.size(), 2);

    const QUrlQuery event(collector.bodies.at(0));
    EXPECT_EQ(event.queryItemValue("tid"), QStringLiteral("UA-1-1"));
    EXPECT_EQ(event.queryItemValue("t"), QStringLiteral("event"));
    EXPECT_EQ(event.queryItemValue("ec", QUrl::FullyDecoded), QStringLiteral("File Security"));
    EXPECT_EQ(event.queryItemValue("ea"), QStringLiteral("Encrypt"));
    EXPECT_EQ(event.queryItemValue("el", QUrl::FullyDecoded), QStringLiteral("a&b"));
    EXPECT_EQ(event.queryItemValue("cid"), sink.clientId());

    const QUrlQuery screen(collector.bodies.at(1));
    EXPECT_EQ(screen.queryItemValue("t"), QStringLiteral("screenview"));
    EXPECT_EQ(screen.queryItemValue("cd", QUrl::FullyDecoded), QStringLiteral("Restore View"));
}
