#include "Appcast.h"
#include "UpdatePrompt.h"
#include "Updater.h"
#include "UpdaterEvent.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QByteArray kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:zorvi="https://morvantek.com/xml/zorvi-update">
  <channel>
    <title>Zorvi</title>
    <item>
      <title>Zorvi 1.1</title>
      <link>https://example.com/zorvi/1.1/</link>
      <enclosure url="https://example.com/zorvi-1.1.tar.gz" zorvi:version="1.1.0"/>
    </item>
    <item>
      <title>Zorvi 1.3</title>
      <description><![CDATA[<b>Faster</b> backups]]></description>
      <enclosure url="https://example.com/zorvi-1.3.tar.gz" zorvi:version="1.3.0" zorvi:shortVersionString="1.3"/>
    </item>
    <item>
      <title>Zorvi 1.2</title>
      <version>1.2.0</version>
      <link>https://example.com/zorvi/1.2/</link>
    </item>
  </channel>
</rss>)";

struct FakePrompt : UpdatePrompt {
    void showUpdateFound(const AppcastItem& item, const QString& current, std::function<void(Choice)> r) override
    {
        offered.append(item);
        reply = std::move(r);
    }
    void showUpToDate(const QString&) override { ++upToDate; }
    void showCheckFailed(const QString& reason) override { failures.append(reason); }

    QList<AppcastItem> offered;
    std::function<void(Choice)> reply;
    int upToDate = 0;
    QStringList failures;
};

class UpdaterTest : public ::testing::Test {
protected:
    UpdaterTest()
    {
        QSettings().remove(Updater::SkippedVersionKey);
        updater.setPrompt(&prompt);
        updater.setCurrentVersion("1.0.0");
        updater.setUrlOpener([this](const QUrl& url) {
            opened.append(url);
            return openerWorks;
        });
        writeFeed(kFeed);
        updater.setFeedUrl(QUrl::fromLocalFile(dir.filePath("appcast.xml")));
    }

    void writeFeed(const QByteArray& xml)
    {
        QFile f(dir.filePath("appcast.xml"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(xml);
    }

    QList<UpdaterEvent> events() const
    {
        QList<UpdaterEvent> list;
        for (const auto& args : spy)
            list.append(args.first().value<UpdaterEvent>());
        return list;
    }

    QTemporaryDir dir;
    FakePrompt prompt;
    Updater updater;
    QSignalSpy spy { &updater, &Updater::updaterEvent };
    QList<QUrl> opened;
    bool openerWorks = true;
};
} // namespace

TEST(Appcast, ReadsItemsByLocalNameAndFallsBackToTheEnclosure)
{
    const auto feed = Appcast::parse(kFeed);
    ASSERT_TRUE(feed);
    ASSERT_EQ(feed->items().size(), 3);
    const AppcastItem& second = feed->items()[1];
    EXPECT_EQ(second.title, "Zorvi 1.3");
    EXPECT_EQ(second.version, "1.3.0");
    EXPECT_EQ(second.displayVersion(), "1.3");
    EXPECT_EQ(second.downloadPage, QUrl("https://example.com/zorvi-1.3.tar.gz"));
    EXPECT_EQ(second.releaseNotes, "<b>Faster</b> backups");
    EXPECT_EQ(feed->items()[2].version, "1.2.0");
    EXPECT_EQ(feed->items()[2].downloadPage, QUrl("https://example.com/zorvi/1.2/"));

    EXPECT_EQ(feed->newestNewerThan(QVersionNumber(1, 0, 0))->version, "1.3.0");
    EXPECT_EQ(feed->newestNewerThan(QVersionNumber(1, 2, 5))->version, "1.3.0");
    EXPECT_FALSE(feed->newestNewerThan(QVersionNumber(1, 3, 0)));
    EXPECT_FALSE(feed->newestNewerThan(QVersionNumber(2)));
}

TEST(Appcast, RefusesUnsafeOrBrokenFeeds)
{
    QString error;
    EXPECT_FALSE(Appcast::parse(R"(<?xml version="1.0"?>
<!DOCTYPE rss [<!ENTITY x SYSTEM "file:///etc/passwd">]>
<rss><channel><item><title>&x;</title></item></channel></rss>)", &error));
    EXPECT_TRUE(error.contains("document type")) << error.toStdString();
    EXPECT_FALSE(Appcast::parse("<rss><channel><item>", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(Appcast::parse("<html/>", &error));
    EXPECT_FALSE(Appcast::parse("", &error));

    // Items whose download page is not a web page, or whose version is unreadable, are never offered.
    const auto feed = Appcast::parse(R"(<rss><channel>
<item><title>a</title><link>file:///usr/bin/evil</link><version>9.0</version></item>
<item><title>b</title><link>javascript:alert(1)</link><version>9.1</version></item>
<item><title>c</title><link>https://example.com/</link><version>soon</version></item>
</channel></rss>)");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->items().size(), 3);
    EXPECT_FALSE(feed->newestNewerThan(QVersionNumber(1)));
}

TEST_F(UpdaterTest, OffersTheNewestReleaseAndOpensItsPage)
{
    updater.checkForUpdatesInBackground();
    ASSERT_EQ(prompt.offered.size(), 1);
    EXPECT_EQ(prompt.offered[0].version, "1.3.0");
    EXPECT_TRUE(updater.isAwaitingAnswer());

    updater.checkForUpdates(); // ignored while the user has not answered
    EXPECT_EQ(prompt.offered.size(), 1);

    prompt.reply(UpdatePrompt::Choice::Download);
    prompt.reply(UpdatePrompt::Choice::Later); // a second answer is ignored
    EXPECT_EQ(opened, QList<QUrl> { QUrl("https://example.com/zorvi-1.3.tar.gz") });
    EXPECT_TRUE(spy.isEmpty());
    EXPECT_FALSE(updater.isAwaitingAnswer());
}

TEST_F(UpdaterTest, EveryAnswerReportsItsEvent)
{
    openerWorks = false;
    updater.checkForUpdates();
    prompt.reply(UpdatePrompt::Choice::Download);
    updater.checkForUpdates();
    prompt.reply(UpdatePrompt::Choice::Later);
    updater.checkForUpdates();
    prompt.reply(UpdatePrompt::Choice::SkipThisVersion);

    const auto list = events();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].kind, UpdaterEvent::Kind::FailedToDownloadUpdate);
    EXPECT_TRUE(list[0].printedText.startsWith(QStringLiteral("下載更新檔案失敗\n")));
    EXPECT_EQ(list[0].printedText, QStringLiteral("下載更新檔案失敗\n") + list[0].label);
    EXPECT_EQ(list[0].action, "Download Fail");
    EXPECT_TRUE(list[0].label.contains("https://example.com/zorvi-1.3.tar.gz"));

    EXPECT_EQ(list[1].printedText, QStringLiteral("使用者取消更新"));
    EXPECT_EQ(list[1].category, "Software update");
    EXPECT_EQ(list[1].action, "User cancel");
    EXPECT_EQ(list[1].label, "");

    EXPECT_EQ(list[2].printedText, QStringLiteral("使用者跳過此更新版本:Zorvi 1.3(1.3.0)"));
    EXPECT_EQ(list[2].action, "Skip Version");
    EXPECT_EQ(list[2].label, "Zorvi 1.3(1.3.0)");
}

TEST_F(UpdaterTest, ASkippedVersionIsOfferedOnlyWhenTheUserAsks)
{
    updater.checkForUpdates();
    prompt.reply(UpdatePrompt::Choice::SkipThisVersion);
    spy.clear();

    updater.checkForUpdatesInBackground();
    EXPECT_EQ(prompt.offered.size(), 1);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(events()[0].kind, UpdaterEvent::Kind::DidNotFindUpdate);
    EXPECT_EQ(prompt.upToDate, 0) << "a background check stays quiet";

    updater.checkForUpdates();
    EXPECT_EQ(prompt.offered.size(), 2);
}

TEST_F(UpdaterTest, UpToDateIsPrintedAndShownOnlyToAUserCheck)
{
    updater.setCurrentVersion("1.3.0");
    updater.checkForUpdatesInBackground();
    updater.checkForUpdates();
    EXPECT_TRUE(prompt.offered.isEmpty());
    EXPECT_EQ(prompt.upToDate, 1);
    const auto list = events();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].printedText, QStringLiteral("已更新到最新版本"));
    EXPECT_FALSE(list[0].reportsAnalytics());
}

TEST_F(UpdaterTest, MissingOrBrokenFeedsFailQuietlyInTheBackground)
{
    for (const QUrl& feed : { QUrl(), QUrl::fromLocalFile(dir.filePath("missing.xml")), QUrl("https://example.com/a.xml") }) {
        updater.setFeedUrl(feed);
        const auto before = prompt.failures.size();
        updater.checkForUpdatesInBackground();
        EXPECT_EQ(prompt.failures.size(), before);
        updater.checkForUpdates();
    }
    EXPECT_EQ(prompt.failures.size(), 3);

    writeFeed("<rss><channel><item>");
    updater.setFeedUrl(QUrl::fromLocalFile(dir.filePath("appcast.xml")));
    updater.checkForUpdates();
    EXPECT_EQ(prompt.failures.size(), 4);
    EXPECT_TRUE(spy.isEmpty());
    EXPECT_TRUE(prompt.offered.isEmpty());
}

TEST_F(UpdaterTest, AnAnswerAfterTheUpdaterIsGoneIsIgnored)
{
    std::function<void(UpdatePrompt::Choice)> reply;
    {
        Updater local;
        local.setPrompt(&prompt);
        local.setCurrentVersion("1.0");
        local.setFeedUrl(updater.feedUrl());
        local.checkForUpdates();
        reply = prompt.reply;
    }
    ASSERT_TRUE(reply);
    reply(UpdatePrompt::Choice::SkipThisVersion);
    EXPECT_FALSE(QSettings().contains(Updater::SkippedVersionKey));
}

TEST(UpdaterEvent, RelaunchEventsKeepTheirTexts)
{
    EXPECT_EQ(UpdaterEvent::willRelaunchApplication().printedText, QStringLiteral("App即將重新啟動"));
    EXPECT_EQ(UpdaterEvent::willRelaunchApplication().action, "App Restart");
    EXPECT_EQ(UpdaterEvent::didRelaunchApplication().printedText, QStringLiteral("更新完成，App成功重新啟動"));
    EXPECT_EQ(UpdaterEvent::didRelaunchApplication().action, "Upgrade Success");
}
