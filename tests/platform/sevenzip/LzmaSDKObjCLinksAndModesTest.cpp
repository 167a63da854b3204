#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "RemovableTemporaryDir.h"
#include "SevenZipTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sevenzip_test;

namespace {

QByteArray linkText(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

bool makeLink(const QByteArray& target, const QString& at)
{
    QDir().mkpath(QFileInfo(at).path());
    return ::symlink(target.constData(), QFile::encodeName(at).constData()) == 0;
}

quint32 modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

bool writeArchive(const QString& archive, const QStringList& sources, const QString& password = {})
{
    LzmaSDKObjCWriter writer(archive);
    for (const QString& source : sources)
        writer.addPath(source, source);
    writer.applyArchiveSettings(!password.isEmpty());
    if (!password.isEmpty())
        writer.setPasswordGetter([password] { return password; });
    const bool ok = writer.write();
    EXPECT_TRUE(ok) << writer.lastError().toStdString();
    return ok;
}

LzmaSDKObjCItem findItem(const QList<LzmaSDKObjCItem>& items, const QString& path)
{
    for (const LzmaSDKObjCItem& item : items) {
        if (QDir::cleanPath(QStringLiteral("/") + item.path) == path)
            return item;
    }
    return {};
}

} // namespace

TEST(SevenZipLinksTest, LinksComeBackReadingExactlyAsStoredAndNothingIsWrittenThroughOne)
{
    QTemporaryDir tmp;
    const QString top = tmp.filePath(QStringLiteral("top"));
    writeFile(top + QStringLiteral("/file"), "content");
    const QList<std::pair<QString, QByteArray>> links{
        {QStringLiteral("/abs"), QFile::encodeName(top + QStringLiteral("/file"))},
        {QStringLiteral("/sub/up"), "../../top"},
        {QStringLiteral("/dangling"), "/nonexistent/x"},
        {QStringLiteral("/folder"), "sub"},
        {QStringLiteral("/odd"), "//a/./b/../c/"},   // 7zz itself would rewrite this one
        {QStringLiteral("/bytes"), "caf\xe9"},
    };
    for (const auto& [name, target] : links)
        ASSERT_TRUE(makeLink(target, top + name));
    const QString archive = tmp.filePath(QStringLiteral("links.7z"));
    const QString password = QStringLiteral("pw");
    ASSERT_TRUE(writeArchive(archive, {top}, password));

    LzmaSDKObjCReader reader(archive, 1);
    reader.setPasswordGetter([password] { return password; });
    ASSERT_TRUE(reader.open(nullptr)) << reader.lastError().toStdString();
    EXPECT_TRUE(findItem(reader.items(), top + QStringLiteral("/folder")).isSymlink);
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(reader.extract(reader.items(), out, true)) << reader.lastError().toStdString();
    for (const auto& [name, target] : links)
        EXPECT_EQ(linkText(out + top + name), target) << name.toStdString();
    EXPECT_EQ(readFile(out + top + QStringLiteral("/file")), "content");
    EXPECT_EQ(readFile(top + QStringLiteral("/file")), "content");

    // A stored item below a stored link would be written through it: refused whole.
    const QString victim = tmp.filePath(QStringLiteral("victim"));
    QDir().mkpath(victim);
    const QString evil = tmp.filePath(QStringLiteral("evil"));
    writeFile(evil + QStringLiteral("/real/f"), "f");
    ASSERT_TRUE(makeLink(QFile::encodeName(victim), evil + QStringLiteral("/l")));
    const QString evilArchive = tmp.filePath(QStringLiteral("evil.7z"));
    ASSERT_TRUE(writeArchive(evilArchive, {evil}));
    ASSERT_EQ(run7zz({QStringLiteral("rn"), QStringLiteral("-spd"), evilArchive, evil + QStringLiteral("/real"),
                      evil + QStringLiteral("/l")}).exitCode, 0);
    LzmaSDKObjCReader evilReader(evilArchive, 1);
    ASSERT_TRUE(evilReader.open(nullptr));
    EXPECT_FALSE(evilReader.extract(evilReader.items(), tmp.filePath(QStringLiteral("evilOut")), true));
    EXPECT_TRUE(evilReader.lastError().contains(QStringLiteral("below the symbolic link"))) << evilReader.lastError().toStdString();
    EXPECT_TRUE(QDir(victim).isEmpty());
}

TEST(SevenZipLinksTest, StoredModesAreListedAndRestrictiveFoldersExtractForAnOrdinaryUser)
{
    RemovableTemporaryDir tmp; // "locked" is 0500
    const QString top = tmp.filePath(QStringLiteral("m"));
    writeFile(top + QStringLiteral("/locked/inside.txt"), "inside");
    writeFile(top + QStringLiteral("/tool"), "#!/bin/sh\n");
    ASSERT_TRUE(makeLink("tool", top + QStringLiteral("/link")));
    ::chmod(QFile::encodeName(top + QStringLiteral("/tool")).constData(), 04755);
    ::chmod(QFile::encodeName(top + QStringLiteral("/locked")).constData(), 0500);
    const QString archive = tmp.filePath(QStringLiteral("modes.7z"));
    ASSERT_TRUE(writeArchive(archive, {top}));

    LzmaSDKObjCReader reader(archive, 1);
    ASSERT_TRUE(reader.open(nullptr)) << reader.lastError().toStdString();
    const QList<LzmaSDKObjCItem> items = reader.items();
    EXPECT_EQ(findItem(items, top + QStringLiteral("/tool")).unixMode, quint32(S_IFREG | 04755));
    EXPECT_EQ(findItem(items, top + QStringLiteral("/locked")).unixMode, quint32(S_IFDIR | 0500));
    EXPECT_EQ(findItem(items, top + QStringLiteral("/link")).unixMode, quint32(S_IFLNK | 0777));
    EXPECT_TRUE(findItem(items, top + QStringLiteral("/locked")).isDirectory);

    const QString out = tmp.filePath(QStringLiteral("out"));
    auto extract = [&]() -> int { return reader.extract(items, out, true) ? 0 : 1; };
    int outcome;
    if (::geteuid() == 0) {
        // Root may write into any folder: extract as an unprivileged user in a child.
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0777);
        ::chmod(QFile::encodeName(archive).constData(), 0644);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            ::_exit(extract());
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    } else {
        outcome = extract();
    }
    ASSERT_EQ(outcome, 0);
    EXPECT_EQ(readFile(out + top + QStringLiteral("/locked/inside.txt")), "inside");
    for (const QString& folder : {out + top, out + top + QStringLiteral("/locked"), out + tmp.path()})
        EXPECT_EQ(modeOf(folder) & S_IRWXU, quint32(S_IRWXU)) << folder.toStdString();
}

TEST(SevenZipLinksTest, LinkSourcesAreStoredAsTheirContentUnderTheLinkPathAndRepeatsAreDropped)
{
    QTemporaryDir tmp;
    const QString real = tmp.filePath(QStringLiteral("real"));
    writeFile(real + QStringLiteral("/a.txt"), "alpha");
    ASSERT_TRUE(makeLink("x", real + QStringLiteral("/in/lnk")));
    const QString home = tmp.filePath(QStringLiteral("home"));
    const QString docs = home + QStringLiteral("/Docs");      // a link to a folder
    const QString note = home + QStringLiteral("/note");      // a link to a file
    const QString alias = tmp.filePath(QStringLiteral("alias"));  // a link to a folder holding Docs
    ASSERT_TRUE(makeLink(QFile::encodeName(real), docs));
    ASSERT_TRUE(makeLink("../real/a.txt", note));
    ASSERT_TRUE(makeLink("home", alias));
    writeFile(tmp.filePath(QStringLiteral("other/deep/b.txt")), "beta");
    ASSERT_TRUE(makeLink("other", tmp.filePath(QStringLiteral("via"))));
    const QString below = tmp.filePath(QStringLiteral("via/deep"));  // reached through a link
    const QString plain = tmp.filePath(QStringLiteral("plain"));
    writeFile(plain + QStringLiteral("/sub/c.txt"), "gamma");

    const QString archive = tmp.filePath(QStringLiteral("sources.7z"));
    const QString password = QStringLiteral("pw");
    ASSERT_TRUE(writeArchive(archive, {docs, note, alias, below, docs, docs + QStringLiteral("/a.txt"), plain, plain,
                                       plain + QStringLiteral("/sub")}, password));
    // Renamed names are still hidden behind the password.
    EXPECT_NE(run7zz({QStringLiteral("l"), QStringLiteral("-slt"), archive}).exitCode, 0);
    const QString listing = run7zz({QStringLiteral("l"), QStringLiteral("-slt"), archive}, "pw\n").output;
    QStringList paths;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Path = ")) && line != QStringLiteral("Path = ") + archive)
            paths << line.mid(7);
    }
    paths.sort();
    QStringList expected{docs, docs + QStringLiteral("/a.txt"), docs + QStringLiteral("/in"), docs + QStringLiteral("/in/lnk"),
                         note, alias, alias + QStringLiteral("/Docs"), alias + QStringLiteral("/note"),
                         below, below + QStringLiteral("/b.txt"),
                         plain, plain + QStringLiteral("/sub"), plain + QStringLiteral("/sub/c.txt")};
    expected.sort();
    EXPECT_EQ(paths, expected) << listing.toStdString();

    LzmaSDKObjCReader reader(archive, 1);
    reader.setPasswordGetter([password] { return password; });
    ASSERT_TRUE(reader.open(nullptr));
    EXPECT_FALSE(findItem(reader.items(), note).isSymlink);
    EXPECT_TRUE(findItem(reader.items(), alias + QStringLiteral("/Docs")).isSymlink);
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(reader.extract(reader.items(), out, true)) << reader.lastError().toStdString();
    EXPECT_EQ(readFile(out + docs + QStringLiteral("/a.txt")), "alpha");
    EXPECT_EQ(readFile(out + note), "alpha");
    EXPECT_EQ(readFile(out + below + QStringLiteral("/b.txt")), "beta");
    EXPECT_EQ(linkText(out + docs + QStringLiteral("/in/lnk")), "x");
    EXPECT_EQ(linkText(out + alias + QStringLiteral("/Docs")), QFile::encodeName(real));
}
