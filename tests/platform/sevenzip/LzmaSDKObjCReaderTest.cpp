#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "RawNames.h"
#include "SevenZipHeader.h"
#include "SevenZipTestSupport.h"

#include <QDir>
#include <QtEndian>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <future>
#include <thread>

using namespace sevenzip_test;

namespace {

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

quint32 crcOf(const QByteArray& data)
{
    return quint32(::crc32(0L, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

// A 7z file that holds only a header, stored as it stands, after `packed`.
QByteArray archiveWithHeader(const QByteArray& header, const QByteArray& packed = {})
{
    QByteArray next(20, '\0'); // the header's offset, size and CRC
    qToLittleEndian<quint64>(quint64(packed.size()), next.data());
    qToLittleEndian<quint64>(quint64(header.size()), next.data() + 8);
    qToLittleEndian<quint32>(crcOf(header), next.data() + 16);
    QByteArray start("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    start.resize(12);
    qToLittleEndian<quint32>(crcOf(next), start.data() + 8);
    return start + next + packed + header;
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
    // The same from archives written as the backups are, over a folder that holds a program:
    // 7-Zip stores it through a coder of several streams.
    const QByteArray in2 = QFile::encodeName(tmp.filePath(QStringLiteral("in2")));
    QDir().mkpath(QFile::decodeName(in2 + "/top/dir\nx"));
    QDir().mkpath(QFile::decodeName(in2 + "/top/dir_x"));
    const QList<QByteArray> odd{"a\nb", "a_b", "two\nlines_\xff", "dir\nx/inner_y", "dir_x/inner_y", "tab\there"};
    for (const QByteArray& name : odd)
        ASSERT_TRUE(writeRawFile(in2 + "/top/" + name, "data of " + name));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/ls"), QFile::decodeName(in2 + "/top/program")));
    const QSet<QByteArray> tops{"a\nb", "a_b", "two\nlines_\xff", "dir\nx", "dir_x", "tab\there", "program"};
    const QString password = QStringLiteral("p\u00e4\U0001F600x");
    for (const bool encrypted : {false, true}) {
        for (const bool asBackups : {false, true}) {
            SCOPED_TRACE(encrypted);
            SCOPED_TRACE(asBackups);
            const QString name = QStringLiteral("breaks-%1-%2").arg(int(encrypted)).arg(int(asBackups));
            const QString archive2 = tmp.filePath(name + QStringLiteral(".7z"));
            if (asBackups) {
                LzmaSDKObjCWriter writer(archive2);
                writer.addPath(QFile::decodeName(in2 + "/top"), QFile::decodeName(in2 + "/top"));
                writer.applyArchiveSettings(encrypted);
                if (encrypted)
                    writer.setPasswordGetter([&password] { return password; });
                ASSERT_TRUE(writer.write()) << writer.lastError().toStdString();
                EXPECT_TRUE(run7zz({QStringLiteral("l"), QStringLiteral("-slt"), archive2}, (password + "\n").toUtf8())
                                .output.contains("BCJ2"));
            } else {
                QStringList args{QStringLiteral("a"), QStringLiteral("-t7z"), archive2, QStringLiteral("top")};
                if (encrypted)
                    args << QStringLiteral("-p") << QStringLiteral("-mhe=on");
                ASSERT_EQ(run7zz(args, encrypted ? (password + "\n" + password + "\n").toUtf8() : QByteArray(), QFile::decodeName(in2)).exitCode, 0);
            }
            LzmaSDKObjCReader reader2(archive2, 1);
            if (encrypted)
                reader2.setPasswordGetter([&password] { return password; });
            ASSERT_TRUE(reader2.open(nullptr)) << reader2.lastError().toStdString();
            const QString out2 = tmp.filePath(QStringLiteral("out-") + name);
            ASSERT_TRUE(reader2.extract(reader2.items(), out2, true)) << reader2.lastError().toStdString();
            const QByteArray top2 = QFile::encodeName(out2) + (asBackups ? in2 : QByteArray()) + "/top";
            EXPECT_EQ(rawEntries(top2), tops);
            for (const QByteArray& name : odd)
                EXPECT_EQ(readRawFile(top2 + '/' + name), "data of " + name) << name.toHex().constData();
            EXPECT_EQ(readRawFile(top2 + "/program"), readRawFile("/bin/ls"));
        }
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

TEST(SevenZipReaderTest, AHeaderWithMoreNamesThanItemsIsRefusedAtTheFirstOneTooMany)
{
    QTemporaryDir tmp;
    // One item; a names property of `count` names, the empty ones two zero bytes each.
    const auto withNames = [&tmp](const QByteArray& first, quint32 count) {
        QByteArray names = first + QByteArray(2 * qsizetype(count - 1), '\0');
        const quint32 size = quint32(names.size() + 1);
        EXPECT_LT(size, 1u << 21);
        const char sizeBytes[3] = {char(0xC0 | (size >> 16)), char(size & 0xFF), char((size >> 8) & 0xFF)};
        const QByteArray header = QByteArray("\x01\x05\x01\x11", 4) + QByteArray(sizeBytes, 3) + '\0' + names
            + QByteArray(2, '\0');
        const QString path = tmp.filePath(QStringLiteral("names-%1.7z").arg(count));
        writeFile(path, archiveWithHeader(header));
        return path;
    };
    const QByteArray a("a\0\0\0", 4);
    QString error;
    const std::optional<QList<QString>> one = SevenZipHeader::readNames(withNames(a, 1), {}, &error);
    ASSERT_TRUE(one.has_value()) << error.toStdString();
    EXPECT_EQ(*one, QList<QString>{QStringLiteral("a")});
    EXPECT_FALSE(SevenZipHeader::readNames(withNames(a, 100000), {}, &error).has_value());
    EXPECT_TRUE(error.contains(QStringLiteral("more names than items"))) << error.toStdString();
}

TEST(SevenZipReaderTest, AHeaderEncryptedWithMoreKeysThan7ZipWritesIsRefusedBeforeDerivingThem)
{
    QTemporaryDir tmp;
    // An encoded header behind a chain of `coders` AES coders, each with a salt of its own.
    const auto chained = [&tmp](int coders) {
        QByteArray header("\x17\x06\x00\x01\x09\x10\x00\x07\x0B\x01\x00", 11);
        header += char(coders);
        for (int i = 0; i < coders; ++i)
            header += QByteArray("\x24\x06\xF1\x07\x01\x04\xC1\x00", 8) + char(i + 1) + '\0';
        for (int i = 0; i + 1 < coders; ++i)
            header += QByteArray() + char(i) + char(i + 1);
        header += '\x0C' + QByteArray(coders, '\x10') + QByteArray(2, '\0');
        const QString path = tmp.filePath(QStringLiteral("chain-%1.7z").arg(coders));
        writeFile(path, archiveWithHeader(header, QByteArray(16, 'x')));
        return path;
    };
    QString error;
    EXPECT_FALSE(SevenZipHeader::readNames(chained(2), QStringLiteral("secret"), &error).has_value());
    EXPECT_FALSE(error.contains(QStringLiteral("keys"))) << error.toStdString();
    EXPECT_FALSE(SevenZipHeader::readNames(chained(3), QStringLiteral("secret"), &error).has_value());
    EXPECT_TRUE(error.contains(QStringLiteral("more keys than 7-Zip writes"))) << error.toStdString();
}
