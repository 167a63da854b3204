#include "FileCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <initializer_list>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray path8(const QString& p) { return QFile::encodeName(p); }

void writeFile(const QString& path, const QByteArray& data, mode_t mode = 0644)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    ASSERT_EQ(::chmod(path8(path).constData(), mode), 0);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct stat lstatOf(const QString& path)
{
    struct stat st{};
    ::lstat(path8(path).constData(), &st);
    return st;
}

void setTimes(const QString& path, time_t mtime)
{
    const struct timespec times[2] = {{mtime - 100, 0}, {mtime, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path8(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

QByteArray linkText(const QString& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(path8(path).constData(), buf, sizeof(buf));
    return n < 0 ? QByteArray() : QByteArray(buf, int(n));
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(path8(path).constData(), &st) == 0;
}

// The value of an extended attribute, or "<none>" when there is none.
QByteArray xattr(const QString& path, const char* name)
{
    char buf[4096];
    const ssize_t n = ::lgetxattr(path8(path).constData(), name, buf, sizeof(buf));
    return n < 0 ? QByteArray("<none>") : QByteArray(buf, int(n));
}

int setXattr(const QString& path, const char* name, const QByteArray& value)
{
    return ::lsetxattr(path8(path).constData(), name, value.constData(), size_t(value.size()), 0) == 0 ? 0 : errno;
}

struct AclEntry { uint16_t tag, perm; uint32_t id; };

// The kernel's form of a POSIX ACL (little-endian): version 2, then (tag, perm, id) entries.
QByteArray acl(std::initializer_list<AclEntry> entries)
{
    const uint32_t version = 2;
    return QByteArray(reinterpret_cast<const char*>(&version), 4)
        + QByteArray(reinterpret_cast<const char*>(entries.begin()), int(entries.size() * sizeof(AclEntry)));
}

constexpr uint32_t kNoId = 0xffffffffu;
enum : uint16_t { UserObj = 0x01, User = 0x02, GroupObj = 0x04, Group = 0x08, Mask = 0x10, Other = 0x20 };

} // namespace

TEST(FileCopierTest, CopiesATreeWithModesTimesAndLinksAndSkipsSpecialFiles)
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    ASSERT_TRUE(QDir().mkpath(src + QStringLiteral("/a/b/c")));
    writeFile(src + QStringLiteral("/top.txt"), "top", 0640);
    writeFile(src + QStringLiteral("/a/run.sh"), "#!/bin/sh\n", 0755);
    writeFile(src + QStringLiteral("/a/b/c/big.bin"), QByteArray(3 << 20, 'x'));
    writeFile(src + QStringLiteral("/a/b/empty"), QByteArray());
    ASSERT_EQ(::symlink("../top.txt", path8(src + QStringLiteral("/a/rel")).constData()), 0);
    ASSERT_EQ(::symlink("/nonexistent/target", path8(src + QStringLiteral("/dangling")).constData()), 0);
    ASSERT_EQ(::symlink("loop", path8(src + QStringLiteral("/loop")).constData()), 0);
    ASSERT_EQ(::symlink("pong", path8(src + QStringLiteral("/ping")).constData()), 0);
    ASSERT_EQ(::symlink("ping", path8(src + QStringLiteral("/pong")).constData()), 0);
    ASSERT_EQ(::symlink("..", path8(src + QStringLiteral("/a/b/up")).constData()), 0);
    ASSERT_EQ(::mkfifo(path8(src + QStringLiteral("/a/fifo")).constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = path8(src + QStringLiteral("/sock"));
    if (size_t(sockPath.size()) < sizeof(addr.sun_path)) {
        std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    }
    ::close(sock);
    ASSERT_EQ(::chmod(path8(src + QStringLiteral("/a/b")).constData(), 0750), 0);
    setTimes(src + QStringLiteral("/top.txt"), 1000000000);
    setTimes(src + QStringLiteral("/a/rel"), 1100000000);
    setTimes(src + QStringLiteral("/a/b/c"), 1200000000);
    setTimes(src + QStringLiteral("/a"), 1300000000);

    std::atomic<qint64> bytes{0};
    FileCopier copier;
    copier.setByteCounter(&bytes);
    const QString dst = tmp.filePath(QStringLiteral("dst"));
    ASSERT_EQ(copier.copy(src, dst), FileCopier::Result::Ok) << copier.errorString().toStdString();

    EXPECT_EQ(bytes.load(), 3 + 10 + (3 << 20));
    EXPECT_EQ(readFile(dst + QStringLiteral("/a/b/c/big.bin")), QByteArray(3 << 20, 'x'));
    EXPECT_TRUE(QFileInfo(dst + QStringLiteral("/a/b/empty")).isFile());
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/top.txt")).st_mode & 07777, 0640u);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/a/run.sh")).st_mode & 07777, 0755u);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/a/b")).st_mode & 07777, 0750u);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/top.txt")).st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/top.txt")).st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/a/rel")).st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/a/b/c")).st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/a")).st_mtim.tv_sec, 1300000000);

    for (const char* link : {"/a/rel", "/dangling", "/loop", "/ping", "/pong", "/a/b/up"}) {
        const QString copied = dst + QLatin1String(link);
        EXPECT_TRUE(S_ISLNK(lstatOf(copied).st_mode)) << link;
        EXPECT_EQ(linkText(copied), linkText(src + QLatin1String(link))) << link;
    }
    EXPECT_FALSE(exists(dst + QStringLiteral("/a/fifo")));
    EXPECT_FALSE(exists(dst + QStringLiteral("/sock")));
    EXPECT_TRUE(copier.skippedSpecialFiles().contains(src + QStringLiteral("/a/fifo")));
    EXPECT_EQ(copier.skippedSpecialFiles().size(), exists(src + QStringLiteral("/sock")) ? 2 : 1);

    // Single files and single links copy the same way.
    ASSERT_EQ(copier.copy(src + QStringLiteral("/ping"), tmp.filePath(QStringLiteral("ping"))), FileCopier::Result::Ok);
    EXPECT_EQ(linkText(tmp.filePath(QStringLiteral("ping"))), "pong");
    ASSERT_EQ(copier.copy(src + QStringLiteral("/top.txt"), tmp.filePath(QStringLiteral("top"))), FileCopier::Result::Ok);
    EXPECT_EQ(readFile(tmp.filePath(QStringLiteral("top"))), "top");
}

TEST(FileCopierTest, UnreadableSourceFailsWithPathAndReasonAndLeavesNothing)
{
    QTemporaryDir tmp;
    FileCopier copier;
    // Readable to stat, but every read fails, even for root.
    const QString dst = tmp.filePath(QStringLiteral("mem"));
    EXPECT_EQ(copier.copy(QStringLiteral("/proc/self/mem"), dst), FileCopier::Result::Failed);
    EXPECT_TRUE(copier.errorString().contains(QStringLiteral("/proc/self/mem"))) << copier.errorString().toStdString();
    EXPECT_FALSE(exists(dst));

    const QString src = tmp.filePath(QStringLiteral("src"));
    ASSERT_TRUE(QDir().mkpath(src));
    writeFile(src + QStringLiteral("/a.txt"), "a");
    writeFile(src + QStringLiteral("/locked.txt"), "locked", 0000);
    if (::geteuid() != 0) {
        EXPECT_EQ(copier.copy(src, tmp.filePath(QStringLiteral("dst"))), FileCopier::Result::Failed);
        EXPECT_TRUE(copier.errorString().contains(QStringLiteral("locked.txt")));
        EXPECT_TRUE(copier.errorString().contains(QString::fromLocal8Bit(std::strerror(EACCES))));
        EXPECT_FALSE(exists(tmp.filePath(QStringLiteral("dst"))));
    }

    EXPECT_EQ(copier.copy(tmp.filePath(QStringLiteral("missing")), tmp.filePath(QStringLiteral("x"))),
              FileCopier::Result::Failed);
    EXPECT_TRUE(copier.errorString().contains(QStringLiteral("missing")));

    // A copy into its own source would never end.
    EXPECT_EQ(copier.copy(src, src + QStringLiteral("/inside")), FileCopier::Result::Failed);
    EXPECT_TRUE(copier.errorString().contains(QStringLiteral("itself"))) << copier.errorString().toStdString();
    EXPECT_FALSE(exists(src + QStringLiteral("/inside")));

    // An existing destination is never overwritten.
    writeFile(tmp.filePath(QStringLiteral("taken")), "keep");
    EXPECT_EQ(copier.copy(src + QStringLiteral("/a.txt"), tmp.filePath(QStringLiteral("taken"))),
              FileCopier::Result::Failed);
    EXPECT_EQ(readFile(tmp.filePath(QStringLiteral("taken"))), "keep");
}

TEST(FileCopierTest, CancelFlagStopsTheCopyAndRemovesItsOutput)
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    ASSERT_TRUE(QDir().mkpath(src + QStringLiteral("/sub")));
    writeFile(src + QStringLiteral("/sub/f.txt"), "f");
    std::atomic<bool> cancel{true};
    FileCopier copier;
    copier.setCancelFlag(&cancel);
    const QString dst = tmp.filePath(QStringLiteral("dst"));
    EXPECT_EQ(copier.copy(src, dst), FileCopier::Result::Cancelled);
    EXPECT_FALSE(exists(dst));
    cancel = false;
    EXPECT_EQ(copier.copy(src, dst), FileCopier::Result::Ok);
    EXPECT_EQ(readFile(dst + QStringLiteral("/sub/f.txt")), "f");
}

TEST(FileCopierTest, RemoveAllNeverFollowsLinks)
{
    QTemporaryDir tmp;
    const QString outside = tmp.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    writeFile(outside + QStringLiteral("/precious.txt"), "precious");
    const QString tree = tmp.filePath(QStringLiteral("tree"));
    ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/ro/inner")));
    writeFile(tree + QStringLiteral("/ro/inner/f"), "f");
    ASSERT_EQ(::symlink(path8(outside).constData(), path8(tree + QStringLiteral("/link")).constData()), 0);
    ASSERT_EQ(::symlink(path8(outside).constData(), path8(tree + QStringLiteral("/ro/inner/link")).constData()), 0);
    ASSERT_EQ(::chmod(path8(tree + QStringLiteral("/ro")).constData(), 0555), 0);

    QString error;
    EXPECT_TRUE(FileCopier::removeAll(tree, &error)) << error.toStdString();
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(readFile(outside + QStringLiteral("/precious.txt")), "precious");

    const QString link = tmp.filePath(QStringLiteral("link"));
    ASSERT_EQ(::symlink(path8(outside).constData(), path8(link).constData()), 0);
    EXPECT_TRUE(FileCopier::removeAll(link + QStringLiteral("/"), &error)) << error.toStdString();
    EXPECT_FALSE(exists(link));
    EXPECT_EQ(readFile(outside + QStringLiteral("/precious.txt")), "precious");

    EXPECT_TRUE(FileCopier::removeAll(tmp.filePath(QStringLiteral("never-there")), &error));
    EXPECT_FALSE(FileCopier::removeAll(QStringLiteral("/"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(FileCopierTest, KeepsExtendedAttributesAndAcls)
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("src"));
    ASSERT_TRUE(QDir().mkpath(src + QStringLiteral("/sub")));
    writeFile(src + QStringLiteral("/plain.txt"), "plain");
    writeFile(src + QStringLiteral("/f.txt"), "f", 0640);
    if (const int err = setXattr(src + QStringLiteral("/f.txt"), "user.tag", "value"))
        GTEST_SKIP() << "no user extended attributes here: " << std::strerror(err);
    const QByteArray fileAcl = acl({{UserObj, 6, kNoId}, {User, 4, 4242}, {GroupObj, 4, kNoId}, {Mask, 4, kNoId},
                                    {Other, 0, kNoId}});
    const QByteArray folderAcl = acl({{UserObj, 7, kNoId}, {GroupObj, 5, kNoId}, {Group, 5, 4343}, {Mask, 5, kNoId},
                                      {Other, 0, kNoId}});
    if (const int err = setXattr(src + QStringLiteral("/f.txt"), "system.posix_acl_access", fileAcl))
        GTEST_SKIP() << "no POSIX ACLs here: " << std::strerror(err);
    // Set on the folder after its children exist, so they inherit nothing.
    ASSERT_EQ(setXattr(src, "user.note", "folder"), 0);
    ASSERT_EQ(setXattr(src, "system.posix_acl_access", folderAcl), 0);
    ASSERT_EQ(setXattr(src, "system.posix_acl_default", folderAcl), 0);

    const QString dst = tmp.filePath(QStringLiteral("dst"));
    FileCopier copier;
    ASSERT_EQ(copier.copy(src, dst), FileCopier::Result::Ok) << copier.errorString().toStdString();
    EXPECT_TRUE(copier.notes().isEmpty()) << copier.notes().join('\n').toStdString();
    for (const char* name : {"user.note", "system.posix_acl_access", "system.posix_acl_default"})
        EXPECT_EQ(xattr(dst, name), xattr(src, name)) << name;
    for (const char* name : {"user.tag", "system.posix_acl_access"})
        EXPECT_EQ(xattr(dst + QStringLiteral("/f.txt"), name), xattr(src + QStringLiteral("/f.txt"), name)) << name;
    EXPECT_EQ(lstatOf(dst).st_mode, lstatOf(src).st_mode);
    EXPECT_EQ(lstatOf(dst + QStringLiteral("/f.txt")).st_mode, lstatOf(src + QStringLiteral("/f.txt")).st_mode);

    // Neither the copied folder's default ACL nor that of the folder receiving the copy
    // reaches children whose sources have none.
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    ASSERT_EQ(setXattr(out, "system.posix_acl_default", fileAcl), 0);
    ASSERT_EQ(copier.copy(src + QStringLiteral("/plain.txt"), out + QStringLiteral("/plain.txt")), FileCopier::Result::Ok);
    ASSERT_EQ(copier.copy(src + QStringLiteral("/sub"), out + QStringLiteral("/sub")), FileCopier::Result::Ok);
    for (const QString& copy : {dst + QStringLiteral("/plain.txt"), dst + QStringLiteral("/sub"),
                                out + QStringLiteral("/plain.txt"), out + QStringLiteral("/sub")}) {
        EXPECT_EQ(xattr(copy, "system.posix_acl_access"), "<none>") << copy.toStdString();
        EXPECT_EQ(lstatOf(copy).st_mode, lstatOf(src + QLatin1Char('/') + QFileInfo(copy).fileName()).st_mode);
    }
    EXPECT_EQ(xattr(dst + QStringLiteral("/sub"), "system.posix_acl_default"), "<none>");
    EXPECT_EQ(xattr(out + QStringLiteral("/sub"), "system.posix_acl_default"), "<none>");
}

TEST(FileCopierTest, KeepsHolesOfSparseFiles)
{
    QTemporaryDir tmp;
    const QString src = tmp.filePath(QStringLiteral("sparse"));
    {
        const int fd = ::open(path8(src).constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray a(4096, 'a'), b(8192, 'b');
        ASSERT_EQ(::pwrite(fd, a.constData(), size_t(a.size()), 0), a.size());
        ASSERT_EQ(::pwrite(fd, b.constData(), size_t(b.size()), 20 << 20), b.size());
        ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);   // a hole at the end too
        ::close(fd);
    }
    const struct stat before = lstatOf(src);
    if (before.st_blocks * 512 >= before.st_size)
        GTEST_SKIP() << "this file system keeps no holes";

    std::atomic<qint64> bytes{0};
    FileCopier copier;
    copier.setByteCounter(&bytes);
    const QString dst = tmp.filePath(QStringLiteral("copy"));
    ASSERT_EQ(copier.copy(src, dst), FileCopier::Result::Ok) << copier.errorString().toStdString();
    const struct stat after = lstatOf(dst);
    EXPECT_EQ(after.st_size, 64 << 20);
    EXPECT_LE(after.st_blocks, before.st_blocks + 64);
    EXPECT_EQ(readFile(dst), readFile(src));
    EXPECT_GE(bytes.load(), 12288);
    EXPECT_LE(bytes.load(), before.st_blocks * 512);
}

TEST(FileCopierTest, NamesOfOneFileStayOneFileAcrossCopies)
{
    QTemporaryDir tmp;
    auto at = [&tmp](const char* name) { return tmp.filePath(QLatin1String(name)); };
    ASSERT_TRUE(QDir().mkpath(at("src/sub")));
    ASSERT_TRUE(QDir().mkpath(at("other")));
    const QByteArray data(100000, 'h');
    writeFile(at("src/a"), data);
    for (const char* name : {"src/sub/b", "src/sub/c", "other/d"})
        ASSERT_EQ(::link(path8(at("src/a")).constData(), path8(at(name)).constData()), 0);

    std::atomic<qint64> bytes{0};
    FileCopier copier;
    copier.setByteCounter(&bytes);
    ASSERT_EQ(copier.copy(at("src"), at("dst")), FileCopier::Result::Ok) << copier.errorString().toStdString();
    const struct stat a = lstatOf(at("dst/a"));
    EXPECT_EQ(a.st_nlink, 3u);
    EXPECT_EQ(lstatOf(at("dst/sub/b")).st_ino, a.st_ino);
    EXPECT_EQ(lstatOf(at("dst/sub/c")).st_ino, a.st_ino);
    EXPECT_EQ(readFile(at("dst/sub/c")), data);
    EXPECT_EQ(bytes.load(), data.size());
    // A later copy() of the same copier joins the same file.
    ASSERT_EQ(copier.copy(at("other/d"), at("d")), FileCopier::Result::Ok);
    EXPECT_EQ(lstatOf(at("d")).st_ino, a.st_ino);
    EXPECT_TRUE(copier.notes().isEmpty());

    // Where the first copy has gone, even with another file in its place (and maybe its
    // inode number), the name is copied afresh and later names join that copy.
    FileCopier second;
    ASSERT_EQ(second.copy(at("src/a"), at("first")), FileCopier::Result::Ok);
    ASSERT_TRUE(QFile::remove(at("first")));
    writeFile(at("first"), "impostor");
    ASSERT_EQ(second.copy(at("src/sub/b"), at("b")), FileCopier::Result::Ok) << second.errorString().toStdString();
    EXPECT_EQ(readFile(at("b")), data);
    EXPECT_EQ(readFile(at("first")), "impostor");
    ASSERT_EQ(second.notes().size(), 1);
    EXPECT_TRUE(second.notes().first().contains(QStringLiteral("Hard links"))) << second.notes().first().toStdString();
    ASSERT_EQ(second.copy(at("src/sub/c"), at("c")), FileCopier::Result::Ok);
    EXPECT_EQ(lstatOf(at("c")).st_ino, lstatOf(at("b")).st_ino);
    EXPECT_TRUE(second.notes().isEmpty());
}

TEST(FileCopierTest, FollowsATopLinkWhenAsked)
{
    QTemporaryDir tmp;
    auto at = [&tmp](const char* name) { return tmp.filePath(QLatin1String(name)); };
    ASSERT_TRUE(QDir().mkpath(at("folder")));
    writeFile(at("folder/f"), "content");
    ASSERT_EQ(::symlink("f", path8(at("folder/in")).constData()), 0);
    ASSERT_EQ(::symlink("folder", path8(at("top")).constData()), 0);
    ASSERT_EQ(::symlink("folder/f", path8(at("file-link")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", path8(at("gone")).constData()), 0);

    FileCopier copier;
    copier.setFollowTopLink(true);
    ASSERT_EQ(copier.copy(at("top"), at("dst")), FileCopier::Result::Ok) << copier.errorString().toStdString();
    EXPECT_EQ(readFile(at("dst/f")), "content");
    EXPECT_EQ(linkText(at("dst/in")), "f");
    ASSERT_EQ(copier.copy(at("file-link"), at("f")), FileCopier::Result::Ok);
    EXPECT_TRUE(S_ISREG(lstatOf(at("f")).st_mode));

    EXPECT_EQ(copier.copy(at("gone"), at("g")), FileCopier::Result::Failed);
    EXPECT_TRUE(copier.errorString().contains(at("gone"))) << copier.errorString().toStdString();
    EXPECT_FALSE(exists(at("g")));
}

TEST(FileCopierTest, LinksWhatAnEarlierCopyHoldsUnchangedAndCopiesTheRest)
{
    QTemporaryDir tmp;
    auto at = [&tmp](const char* name) { return tmp.filePath(QLatin1String(name)); };
    ASSERT_TRUE(QDir().mkpath(at("src/sub")));
    for (const char* name : {"src/same", "src/grown", "src/mode", "src/time", "src/attr", "src/sub/same"})
        writeFile(at(name), QByteArray("data of ") + name);
    // A source changed in the clock tick the earlier copy began in counts as changed.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    FileCopier first;
    ASSERT_EQ(first.copy(at("src"), at("prev")), FileCopier::Result::Ok) << first.errorString().toStdString();
    const struct stat prevGrown = lstatOf(at("prev/grown"));

    writeFile(at("src/grown"), "data of src/grown, and more");
    ASSERT_EQ(::chmod(path8(at("src/mode")).constData(), 0600), 0);
    setTimes(at("src/time"), 1700000000);
    // An attribute changes no time but the source's ctime: the earlier copy lacks it.
    ASSERT_EQ(setXattr(at("src/attr"), "user.zorvi.note", "added"), 0);

    std::atomic<qint64> bytes{0};
    FileCopier copier;
    copier.setByteCounter(&bytes);
    copier.setPreviousCopy(at("prev"));
    ASSERT_EQ(copier.copy(at("src"), at("next")), FileCopier::Result::Ok) << copier.errorString().toStdString();
    EXPECT_EQ(copier.linkedFiles(), 2);
    for (const char* name : {"same", "sub/same"}) {
        EXPECT_EQ(lstatOf(at("next/") + name).st_ino, lstatOf(at("prev/") + name).st_ino) << name;
        EXPECT_EQ(lstatOf(at("next/") + name).st_nlink, 2u) << name;
    }
    for (const char* name : {"grown", "mode", "time", "attr"}) {
        const struct stat copied = lstatOf(at("next/") + name);
        const struct stat source = lstatOf(at("src/") + name);
        EXPECT_NE(copied.st_ino, lstatOf(at("prev/") + name).st_ino) << name;
        EXPECT_EQ(readFile(at("next/") + name), readFile(at("src/") + name)) << name;
        EXPECT_EQ(copied.st_mode, source.st_mode) << name;
        EXPECT_EQ(copied.st_mtim.tv_nsec, source.st_mtim.tv_nsec) << name;
    }
    EXPECT_EQ(xattr(at("next/attr"), "user.zorvi.note"), "added");
    qint64 total = 0;
    for (const char* name : {"same", "grown", "mode", "time", "attr", "sub/same"})
        total += lstatOf(at("src/") + name).st_size;
    EXPECT_EQ(bytes.load(), total) << "linked files count towards the progress too";
    // The earlier copy is as it was.
    EXPECT_EQ(readFile(at("prev/grown")), "data of src/grown");
    EXPECT_EQ(lstatOf(at("prev/grown")).st_ino, prevGrown.st_ino);
    EXPECT_EQ(lstatOf(at("prev/mode")).st_mode & 07777, 0644u);

    // A file system without hard links: everything is copied, and a note says so once.
    FileCopier::setHardLinksRefused(EPERM);
    FileCopier refused;
    refused.setPreviousCopy(at("prev"));
    const FileCopier::Result result = refused.copy(at("src"), at("plain"));
    const QStringList notes = refused.notes();
    refused.setPreviousCopy(at("prev/sub"));
    const FileCopier::Result again = refused.copy(at("src/sub"), at("plain-sub"));
    FileCopier::setHardLinksRefused(0);
    ASSERT_EQ(result, FileCopier::Result::Ok) << refused.errorString().toStdString();
    ASSERT_EQ(again, FileCopier::Result::Ok);
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes.first().contains(QStringLiteral("Hard links cannot be made"))) << notes.first().toStdString();
    EXPECT_EQ(refused.linkedFiles(), 0);
    EXPECT_EQ(readFile(at("plain/sub/same")), "data of src/sub/same");
    EXPECT_EQ(lstatOf(at("plain/same")).st_nlink, 1u);
    EXPECT_EQ(lstatOf(at("prev/same")).st_nlink, 2u);
    EXPECT_TRUE(refused.notes().isEmpty()) << "said once for the copier's life";
}

TEST(FileCopierTest, ATreeCopiedAcrossFileSystemsKeepsEachFilesOwnBytes)
{
    // Between file systems the kernel cannot copy, so every thread reads and writes through a
    // buffer of its own: one shared by two threads mixes the contents of files.
    QTemporaryDir shm(QStringLiteral("/dev/shm/zorvi-test-XXXXXX"));
    QTemporaryDir tmp;
    if (!shm.isValid() || lstatOf(shm.path()).st_dev == lstatOf(tmp.path()).st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    const QString src = shm.filePath(QStringLiteral("tree"));
    for (int folder = 0; folder < 40; ++folder) {
        ASSERT_TRUE(QDir().mkpath(src + QStringLiteral("/d%1").arg(folder)));
        for (int file = 0; file < 20; ++file) {
            const QString name = QStringLiteral("/d%1/f%2.bin").arg(folder).arg(file);
            writeFile(src + name, name.toUtf8().repeated(2000 + 97 * file));
        }
    }
    for (int round = 0; round < 3; ++round) {
        const QString dst = tmp.filePath(QStringLiteral("copy%1").arg(round));
        FileCopier copier;
        ASSERT_EQ(copier.copy(src, dst), FileCopier::Result::Ok) << copier.errorString().toStdString();
        for (int folder = 0; folder < 40; ++folder) {
            for (int file = 0; file < 20; ++file) {
                const QString name = QStringLiteral("/d%1/f%2.bin").arg(folder).arg(file);
                ASSERT_EQ(readFile(dst + name), name.toUtf8().repeated(2000 + 97 * file)) << name.toStdString();
            }
        }
    }
}

TEST(FileCopierTest, HeldBackFolderAttributesAreNamedBelowTheTopEvenThroughALink)
{
    // A destination reached through a link (a home folder that links elsewhere, say).
    QTemporaryDir tmp;
    auto at = [&tmp](const char* name) { return tmp.filePath(QLatin1String(name)); };
    ASSERT_TRUE(QDir().mkpath(at("src/sub")));
    ASSERT_TRUE(QDir().mkpath(at("real")));
    ASSERT_EQ(::symlink("real", path8(at("linked")).constData()), 0);
    ASSERT_EQ(::chmod(path8(at("src/sub")).constData(), 0500), 0);

    FileCopier copier;
    copier.setDeferFolderAttributes(true);
    ASSERT_EQ(copier.copy(at("src"), at("linked/copy")), FileCopier::Result::Ok) << copier.errorString().toStdString();
    std::vector<std::string> names;
    for (const FileCopier::FolderAttributes& folder : copier.takeDeferredFolders()) {
        names.push_back(folder.relative);
        if (folder.relative == "sub") {
            EXPECT_EQ(folder.mode, mode_t(0500));
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "sub"}));
    ::chmod(path8(at("src/sub")).constData(), 0755);
    ::chmod(path8(at("real/copy/sub")).constData(), 0755);
}
