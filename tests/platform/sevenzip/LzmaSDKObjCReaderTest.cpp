#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "RawNames.h"
#include "SevenZipTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

using namespace sevenzip_test;

namespace {

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

TEST(SevenZipReaderTest, RefusesArchivesWithParentFolderNamesAndExtractsNothing)
{
    QTemporaryDir tmp;
    writeFile(tmp.filePath(QStringLiteral("w/s.txt")), "secret");
    writeFile(tmp.filePath(QStringLiteral("w/in/ok.txt")), "ok");
    const QString archive = tmp.filePath(QStringLiteral("evil.7z"));
    // 7zz itself stores "../s.txt" when given relative names with -spf.
    const ToolRun made = run7zz({QStringLiteral("a"), QStringLiteral("-spf"), archive, QStringLiteral("ok.txt"),
                             QStringLiteral("../s.txt")},
                            {}, tmp.filePath(QStringLiteral("w/in")));
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();

    LzmaSDKObjCReader reader(archive, 1);
    QString error;
    ASSERT_TRUE(reader.open(&error)) << error.toStdString();
    bool sawParent = false;
    for (const auto& item : reader.items())
        sawParent = sawParent || item.path == QStringLiteral("../s.txt");
    EXPECT_TRUE(sawParent);
    const QString out = tmp.filePath(QStringLiteral("out/deeper"));
    EXPECT_FALSE(reader.extract(reader.items(), out, true));
    EXPECT_TRUE(reader.lastError().contains(QStringLiteral("../s.txt"))) << reader.lastError().toStdString();
    EXPECT_TRUE(entries(tmp.filePath(QStringLiteral("out"))).isEmpty());

    EXPECT_TRUE(LzmaSDKObjCReader::isSafeStoredName(QStringLiteral("/home/ann/Docs/a.txt")));
    EXPECT_TRUE(LzmaSDKObjCReader::isSafeStoredName(QStringLiteral("Docs/..a")));
    EXPECT_FALSE(LzmaSDKObjCReader::isSafeStoredName(QStringLiteral("/home/../etc/passwd")));
    EXPECT_TRUE(LzmaSDKObjCReader::isSafeStoredName(QStringLiteral("a\\..\\b"))) << "one name here, not a way up";
    EXPECT_FALSE(LzmaSDKObjCReader::isSafeStoredName(QStringLiteral("/")));
    EXPECT_FALSE(LzmaSDKObjCReader::isSafeStoredName(QString()));
}

TEST(SevenZipReaderTest, NeverExtractsThroughALinkAlreadyInTheDestination)
{
    QTemporaryDir tmp;
    const QString docs = tmp.filePath(QStringLiteral("data/docs"));
    writeFile(docs + QStringLiteral("/a.txt"), "a");
    const QString archive = tmp.filePath(QStringLiteral("bare.7z"));
    {
        // Items stored by their file name (the way single items are encrypted).
        LzmaSDKObjCWriter writer(archive);
        writer.addPath(docs, QStringLiteral("docs"));
        ASSERT_TRUE(writer.write()) << writer.lastError().toStdString();
    }
    const QString victim = tmp.filePath(QStringLiteral("victim"));
    QDir().mkpath(victim);
    const QString out = tmp.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    ASSERT_TRUE(QFile::link(victim, out + QStringLiteral("/docs")));

    LzmaSDKObjCReader reader(archive, 1);
    ASSERT_TRUE(reader.open(nullptr)) << reader.lastError().toStdString();
    ASSERT_EQ(reader.items().size(), 2);
    EXPECT_FALSE(reader.extract(reader.items(), out, true));
    EXPECT_TRUE(reader.lastError().contains(QStringLiteral("symbolic link")));
    EXPECT_TRUE(entries(victim).isEmpty());

    // A fresh folder gets the stored names below it.
    const QString fresh = tmp.filePath(QStringLiteral("fresh"));
    ASSERT_TRUE(reader.extract(reader.items(), fresh, true)) << reader.lastError().toStdString();
    EXPECT_EQ(readFile(fresh + QStringLiteral("/docs/a.txt")), "a");
}

TEST(SevenZipReaderTest, NamesComeBackByteForByteOrNothingIsWritten)
{
    QTemporaryDir tmp;
    // QTemporaryDir cannot remove names that are not UTF-8.
    const auto removeAll = qScopeGuard([&tmp] {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(tmp.path()).toStdString(), ignored);
    });
    const QByteArray in = QFile::encodeName(tmp.filePath(QStringLiteral("in")));
    QDir().mkpath(tmp.filePath(QStringLiteral("in/top")));
    // Two Latin-1 names that a lossy reading would make one, and a backslash that is no separator.
    const QList<QByteArray> names{"caf\xe8", "caf\xe9", "back\\slash", "tab\there", "\xff\xfe"};
    for (const QByteArray& name : names)
        ASSERT_TRUE(writeRawFile(in + "/top/" + name, "data of " + name));
    const QString archive = tmp.filePath(QStringLiteral("names.7z"));
    ASSERT_EQ(run7zz({QStringLiteral("a"), archive, QStringLiteral("top")}, {}, QFile::decodeName(in)).exitCode, 0);

    LzmaSDKObjCReader reader(archive, 1);
    ASSERT_TRUE(reader.open(nullptr)) << reader.lastError().toStdString();
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(reader.extract(reader.items(), out, true)) << reader.lastError().toStdString();
    const QByteArray top = QFile::encodeName(out) + "/top";
    EXPECT_EQ(rawEntries(top), QSet<QByteArray>(names.begin(), names.end()));
    for (const QByteArray& name : names)
        EXPECT_EQ(readRawFile(top + '/' + name), "data of " + name) << name.toHex().constData();

    // 7zz lists a line break in a name as "_". The names come back as stored, beside names
    // that hold a real "_", in a folder so named, and from an archive whose header is encrypted
    // under a password beyond the first plane.
    const QByteArray in2 = QFile::encodeName(tmp.filePath(QStringLiteral("in2")));
    QDir().mkpath(QFile::decodeName(in2 + "/top/dir\nx"));
    const QList<QByteArray> odd{"a\nb", "a_b", "two\nlines_\xff", "dir\nx/inner_y"};
    for (const QByteArray& name : odd)
        ASSERT_TRUE(writeRawFile(in2 + "/top/" + name, "data of " + name));
    const QString password = QStringLiteral("p\u00e4\U0001F600x");
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted);
        const QString archive2 = tmp.filePath(encrypted ? QStringLiteral("breaks.enc") : QStringLiteral("breaks.7z"));
        QStringList args{QStringLiteral("a"), QStringLiteral("-t7z"), archive2, QStringLiteral("top")};
        if (encrypted)
            args << QStringLiteral("-p") << QStringLiteral("-mhe=on");
        ASSERT_EQ(run7zz(args, encrypted ? (password + "\n" + password + "\n").toUtf8() : QByteArray(), QFile::decodeName(in2)).exitCode, 0);
        LzmaSDKObjCReader reader2(archive2, 1);
        if (encrypted)
            reader2.setPasswordGetter([&password] { return password; });
        ASSERT_TRUE(reader2.open(nullptr)) << reader2.lastError().toStdString();
        const QString out2 = tmp.filePath(encrypted ? QStringLiteral("out-enc") : QStringLiteral("out-7z"));
        ASSERT_TRUE(reader2.extract(reader2.items(), out2, true)) << reader2.lastError().toStdString();
        const QByteArray top2 = QFile::encodeName(out2) + "/top";
        EXPECT_EQ(rawEntries(top2), QSet<QByteArray>({"a\nb", "a_b", "two\nlines_\xff", "dir\nx"}));
        for (const QByteArray& name : odd)
            EXPECT_EQ(readRawFile(top2 + '/' + name), "data of " + name) << name.toHex().constData();
    }
}

TEST(SevenZipReaderTest, MissingOrDamagedArchivesFailToOpenWithAMessage)
{
    QTemporaryDir tmp;
    LzmaSDKObjCReader missing(tmp.filePath(QStringLiteral("none.7z")), 1);
    QString error;
    EXPECT_FALSE(missing.open(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("none.7z")));
    EXPECT_FALSE(missing.extract({}, tmp.filePath(QStringLiteral("out")), true));

    const QString junk = tmp.filePath(QStringLiteral("junk.7z"));
    writeFile(junk, QByteArray(4096, 'j'));
    LzmaSDKObjCReader damaged(junk, 1);
    EXPECT_FALSE(damaged.open(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(damaged.iterateWithHandler([](const LzmaSDKObjCItem&, const QString&) { return true; }));
}

TEST(SevenZipReaderTest, CancelFromAnotherThreadStopsTheExtraction)
{
    QTemporaryDir tmp;
    QByteArray noise(32 << 20, Qt::Uninitialized);
    QRandomGenerator gen(11);
    gen.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    writeFile(tmp.filePath(QStringLiteral("in/noise.bin")), noise);
    const QString archive = tmp.filePath(QStringLiteral("noise.7z"));
    ASSERT_EQ(run7zz({QStringLiteral("a"), QStringLiteral("-mx=1"), archive, QStringLiteral("in")}, {}, tmp.path()).exitCode, 0);

    LzmaSDKObjCReader reader(archive, 1);
    ASSERT_TRUE(reader.open(nullptr));
    std::promise<void> started;
    std::promise<void> cancelled;
    std::shared_future<void> cancelledFuture = cancelled.get_future().share();
    class BlockingDelegate : public LzmaSDKObjCReaderDelegate {
    public:
        std::function<void()> first;
        void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float) override
        {
            if (first) {
                auto f = std::move(first);
                first = nullptr;
                f();
            }
        }
    } delegate;
    delegate.first = [&] {
        started.set_value();
        cancelledFuture.wait();
    };
    reader.setDelegate(&delegate);

    bool result = true;
    std::thread worker([&] { result = reader.extract(reader.items(), tmp.filePath(QStringLiteral("out")), true); });
    started.get_future().wait();
    reader.cancel();
    cancelled.set_value();
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_TRUE(reader.wasCancelled());
}
