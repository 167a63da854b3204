#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "SevenZipTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

using namespace sevenzip_test;

namespace {

void applyDesignSettings(LzmaSDKObjCWriter& writer)
{
    writer.setMethod(0);
    writer.setSolid(true);
    writer.setCompressionLevel(9);
    writer.setEncodeContent(true);
    writer.setEncodeHeader(true);
    writer.setCompressHeader(true);
    writer.setCompressHeaderFull(true);
    writer.setWriteModificationTime(false);
    writer.setWriteCreationTime(false);
    writer.setWriteAccessTime(false);
}

class SevenZipWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        src = tmp.filePath(QStringLiteral("src"));
        writeFile(src + QStringLiteral("/a.txt"), "alpha");
        writeFile(src + QStringLiteral("/sub/b.txt"), QByteArray(100000, 'b'));
        QDir().mkpath(src + QStringLiteral("/empty"));
        QFile::link(QStringLiteral("a.txt"), src + QStringLiteral("/link"));
        QFile::link(QStringLiteral("/nonexistent/target"), src + QStringLiteral("/dangling"));
        archive = tmp.filePath(QStringLiteral("task/backup.7z"));
        QDir().mkpath(tmp.filePath(QStringLiteral("task")));
    }

    bool writeArchive(const QString& password = {}, LzmaSDKObjCWriterDelegate* delegate = nullptr)
    {
        LzmaSDKObjCWriter writer(archive);
        writer.addPath(src, src);
        writer.setDelegate(delegate);
        if (!password.isNull())
            writer.setPasswordGetter([password] { return password; });
        applyDesignSettings(writer);
        QString error;
        EXPECT_TRUE(writer.open(&error)) << error.toStdString();
        const bool ok = writer.write();
        EXPECT_TRUE(ok) << writer.lastError().toStdString();
        return ok;
    }

    QStringList taskFolderEntries() const
    {
        return QDir(tmp.filePath(QStringLiteral("task")))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir tmp;
    QString src;
    QString archive;
};

} // namespace

TEST_F(SevenZipWriterTest, PlainArchiveRoundTripKeepsAbsolutePathsLinksAndReportsProgress)
{
    // Neither a link loop nor a FIFO may hang the archiver.
    QFile::link(QStringLiteral("loop"), src + QStringLiteral("/loop"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(src + QStringLiteral("/fifo")).constData(), 0600), 0);
    RecordingWriterDelegate progress;
    ASSERT_TRUE(writeArchive(QString(), &progress));
    EXPECT_EQ(taskFolderEntries(), QStringList{QStringLiteral("backup.7z")});

    const ToolRun test = run7zz({QStringLiteral("t"), archive});
    EXPECT_EQ(test.exitCode, 0) << test.output.toStdString();
    const ToolRun list = run7zz({QStringLiteral("l"), QStringLiteral("-slt"), archive});
    EXPECT_TRUE(list.output.contains(QStringLiteral("Path = ") + src.mid(1) + QStringLiteral("/sub/b.txt"))
                || list.output.contains(QStringLiteral("Path = ") + src + QStringLiteral("/sub/b.txt")))
        << list.output.toStdString();
    EXPECT_TRUE(list.output.contains(QStringLiteral("Solid = +")));
    EXPECT_FALSE(list.output.contains(QStringLiteral("Modified = 2")));

    const std::vector<float> values = progress.snapshot();
    ASSERT_FALSE(values.empty());
    for (float v : values) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
    EXPECT_EQ(values.back(), 1.0f);

    LzmaSDKObjCReader reader(archive, 1);
    RecordingReaderDelegate readProgress;
    reader.setDelegate(&readProgress);
    QString error;
    ASSERT_TRUE(reader.open(&error)) << error.toStdString();
    QList<LzmaSDKObjCItem> items;
    ASSERT_TRUE(reader.iterateWithHandler([&](const LzmaSDKObjCItem& item, const QString&) {
        items << item;
        return true;
    }));
    auto find = [&](const QString& suffix) {
        for (const auto& item : items)
            if (item.path.endsWith(suffix))
                return item;
        return LzmaSDKObjCItem();
    };
    EXPECT_TRUE(find(QStringLiteral("src/sub")).isDirectory);
    EXPECT_TRUE(find(QStringLiteral("src/empty")).isDirectory);
    EXPECT_TRUE(find(QStringLiteral("src/link")).isSymlink);
    EXPECT_EQ(find(QStringLiteral("src/sub/b.txt")).size, 100000);
    EXPECT_FALSE(find(QStringLiteral("src/a.txt")).isDirectory);

    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(reader.extract(items, out, true)) << reader.lastError().toStdString();
    const QString restored = out + src;
    EXPECT_EQ(readFile(restored + QStringLiteral("/a.txt")), "alpha");
    EXPECT_EQ(readFile(restored + QStringLiteral("/sub/b.txt")), QByteArray(100000, 'b'));
    EXPECT_TRUE(QFileInfo(restored + QStringLiteral("/empty")).isDir());
    EXPECT_EQ(QFileInfo(restored + QStringLiteral("/link")).symLinkTarget(), restored + QStringLiteral("/a.txt"));
    EXPECT_TRUE(QFileInfo(restored + QStringLiteral("/link")).isSymLink());
    EXPECT_TRUE(QFileInfo(restored + QStringLiteral("/loop")).isSymLink());
    std::lock_guard lock(readProgress.mutex);
    ASSERT_FALSE(readProgress.values.empty());
    EXPECT_EQ(readProgress.values.back(), 1.0f);
}

TEST_F(SevenZipWriterTest, PasswordEncryptsContentAndNamesAndOnlyThatPasswordOpens)
{
    const QString password = QStringLiteral("Pa ss wörd 42");
    ASSERT_TRUE(writeArchive(password));

    EXPECT_EQ(run7zz({QStringLiteral("t"), archive}, password.toUtf8() + '\n').exitCode, 0);
    EXPECT_NE(run7zz({QStringLiteral("t"), archive}, QByteArray("wrong\n")).exitCode, 0);
    const ToolRun list = run7zz({QStringLiteral("l"), QStringLiteral("-slt"), archive});
    EXPECT_NE(list.exitCode, 0);
    EXPECT_FALSE(list.output.contains(QStringLiteral("a.txt"))) << list.output.toStdString();

    LzmaSDKObjCReader reader(archive, 1);
    QString error;
    EXPECT_FALSE(reader.open(&error));
    EXPECT_FALSE(error.isEmpty());
    reader.setPasswordGetter([] { return QStringLiteral("wrong"); });
    EXPECT_FALSE(reader.open(&error));
    EXPECT_FALSE(error.contains(QStringLiteral("wrong"))) << "the tried password must not be echoed";
    reader.setPasswordGetter([password] { return password; });
    ASSERT_TRUE(reader.open(&error)) << error.toStdString();
    EXPECT_FALSE(reader.items().isEmpty());

    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(reader.extract(reader.items(), out, true)) << reader.lastError().toStdString();
    EXPECT_EQ(readFile(out + src + QStringLiteral("/sub/b.txt")), QByteArray(100000, 'b'));
}

TEST_F(SevenZipWriterTest, PasswordReachesSevenZipOnlyOnStandardInput)
{
    // A stand-in 7zz records what it was given.
    const QString bin = tmp.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    const QString record = tmp.filePath(QStringLiteral("record"));
    writeFile(bin + QStringLiteral("/7zz"),
              QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.args'\n/usr/bin/env > '%1.env'\n/bin/cat > '%1.stdin'\nexit 2\n")
                  .arg(record)
                  .toUtf8());
    QFile::setPermissions(bin + QStringLiteral("/7zz"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8());

    const QString password = QStringLiteral("SECRET-4711");
    LzmaSDKObjCWriter writer(archive);
    writer.addPath(src, src);
    writer.setPasswordGetter([password] { return password; });
    applyDesignSettings(writer);
    EXPECT_FALSE(writer.write());
    LzmaSDKObjCReader reader(archive + QStringLiteral(".old"), 1);
    writeFile(archive + QStringLiteral(".old"), "x");
    reader.setPasswordGetter([password] { return password; });
    const QByteArray writerArgs = readFile(record + QStringLiteral(".args"));
    const QByteArray writerInput = readFile(record + QStringLiteral(".stdin"));
    const QByteArray writerEnv = readFile(record + QStringLiteral(".env"));
    EXPECT_FALSE(reader.open(nullptr));
    qputenv("PATH", oldPath);

    const QByteArray args = readFile(record + QStringLiteral(".args"));
    EXPECT_TRUE(writerArgs.contains("-mhe=on")) << writerArgs.toStdString();
    EXPECT_TRUE(writerArgs.contains("-spf"));
    EXPECT_TRUE(writerArgs.contains("-snl"));
    EXPECT_TRUE(writerArgs.contains("-mx=9"));
    EXPECT_TRUE(writerArgs.contains("-ms=on"));
    EXPECT_TRUE(writerArgs.contains("-mtm=off"));
    EXPECT_FALSE(writerArgs.contains("SECRET"));
    EXPECT_FALSE(writerEnv.contains("SECRET"));
    EXPECT_TRUE(writerInput.startsWith("SECRET-4711\n"));
    EXPECT_TRUE(args.contains("-slt"));
    EXPECT_FALSE(args.contains("SECRET"));
    EXPECT_FALSE(readFile(record + QStringLiteral(".env")).contains("SECRET"));
    EXPECT_TRUE(readFile(record + QStringLiteral(".stdin")).startsWith("SECRET-4711\n"));
    EXPECT_FALSE(writer.lastError().contains(QStringLiteral("SECRET")));
}

TEST_F(SevenZipWriterTest, FailedWriteKeepsPreviousArchiveAndLeavesNoTemporary)
{
    ASSERT_TRUE(writeArchive());
    const QByteArray before = readFile(archive);

    // 7zz starts, then fails reading an input it cannot read (a write-only kernel file, even for root).
    const QString unreadable = QStringLiteral("/sys/bus/platform/uevent");
    if (!QFileInfo::exists(unreadable))
        GTEST_SKIP() << "no write-only sysfs file here";
    LzmaSDKObjCWriter writer(archive);
    writer.addPath(src, src);
    writer.addPath(unreadable, unreadable);
    applyDesignSettings(writer);
    QString error;
    ASSERT_TRUE(writer.open(&error)) << error.toStdString();
    EXPECT_FALSE(writer.write());
    EXPECT_FALSE(writer.lastError().isEmpty());
    EXPECT_FALSE(writer.wasCancelled());
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(taskFolderEntries(), QStringList{QStringLiteral("backup.7z")});

    LzmaSDKObjCWriter unwritable(tmp.filePath(QStringLiteral("no/such/folder/backup.7z")));
    unwritable.addPath(src, src);
    EXPECT_FALSE(unwritable.open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("no/such/folder"))) << error.toStdString();
    EXPECT_FALSE(unwritable.write());
}

TEST_F(SevenZipWriterTest, CancelFromAnotherThreadStopsTheWriteAndKeepsTheOldArchive)
{
    ASSERT_TRUE(writeArchive());
    const QByteArray before = readFile(archive);

    QByteArray noise(48 << 20, Qt::Uninitialized);
    QRandomGenerator gen(7);
    gen.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    writeFile(src + QStringLiteral("/noise.bin"), noise);

    LzmaSDKObjCWriter writer(archive);
    writer.addPath(src, src);
    writer.setPasswordGetter([] { return QStringLiteral("pw"); });
    applyDesignSettings(writer);
    RecordingWriterDelegate progress;
    std::promise<void> started;
    std::promise<void> cancelled;
    std::shared_future<void> cancelledFuture = cancelled.get_future().share();
    bool first = true;
    progress.onProgress = [&](float) {
        if (!first)
            return;
        first = false;
        started.set_value();
        cancelledFuture.wait();   // hold 7zz's reader until the cancel is in
    };
    writer.setDelegate(&progress);

    bool result = true;
    std::thread worker([&] { result = writer.write(); });
    started.get_future().wait();
    writer.cancel();
    cancelled.set_value();
    worker.join();

    EXPECT_FALSE(result);
    EXPECT_TRUE(writer.wasCancelled());
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(taskFolderEntries(), QStringList{QStringLiteral("backup.7z")});
}

TEST_F(SevenZipWriterTest, MissingSevenZipProgramIsAClearError)
{
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", "");
    LzmaSDKObjCWriter writer(archive);
    writer.addPath(src, src);
    QString writerError;
    const bool opened = writer.open(&writerError);
    const bool written = writer.write();
    LzmaSDKObjCReader reader(archive, 1);
    QString readerError;
    const bool read = reader.open(&readerError);
    qputenv("PATH", oldPath);

    EXPECT_FALSE(opened);
    EXPECT_FALSE(written);
    EXPECT_FALSE(read);
    EXPECT_TRUE(writerError.contains(QStringLiteral("7zz"))) << writerError.toStdString();
    EXPECT_TRUE(writer.lastError().contains(QStringLiteral("7zip")));
    EXPECT_TRUE(readerError.contains(QStringLiteral("7zz")));
    EXPECT_FALSE(QFileInfo::exists(archive));
}

TEST(SevenZipWriterMemoryTest, SwitchesKeepSevenZipUnderAQuarterOfMemoryAndTwoGiB)
{
    constexpr qint64 kMiB = 1 << 20;
    const std::pair<qint64, int> machines[] = {
        { 8192 * kMiB, 8 }, { 24576 * kMiB, 8 }, { 65536 * kMiB, 32 }, { 4096 * kMiB, 4 }, { 1024 * kMiB, 2 }, { 65536 * kMiB, 1 }
    };
    for (const auto& [memory, cores] : machines) {
        SCOPED_TRACE(QString("%1 MiB, %2 cores").arg(memory / kMiB).arg(cores).toStdString());
        const QStringList switches = LzmaSDKObjCWriter::memorySwitches(memory, cores);
        ASSERT_EQ(switches.size(), 2);
        ASSERT_TRUE(switches.at(0).startsWith("-mmt=")) << switches.join(' ').toStdString();
        const int threads = switches.at(0).mid(5).toInt();
        const QRegularExpressionMatch m = QRegularExpression("^-m0=LZMA2:d=(\\d+)m:c=(\\d+)m$").match(switches.at(1));
        ASSERT_TRUE(m.hasMatch()) << switches.at(1).toStdString();
        // Level 9 takes one coder per two threads, each some 12.5 times its dictionary.
        const qint64 coders = std::max(threads / 2, 1);
        EXPECT_LE(coders * (m.captured(1).toLongLong() * kMiB * 25 / 2 + 8 * kMiB), std::min(memory / 4, 2048 * kMiB));
        EXPECT_LE(threads, cores);
        if (memory >= 8192 * kMiB) {
            EXPECT_EQ(threads, cores) << "every core stays busy";
        }
    }
}
