#include "FileCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
