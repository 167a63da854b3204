#include "ArchiveStreamWriter.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr qsizetype kBufferSize = 1 << 20;
// Runs of zeros this long, at this alignment in the file, are left as holes.
constexpr qsizetype kHoleGrain = 64 << 10;

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool allZero(const char* data, qsizetype size)
{
    return size > 0 && data[0] == 0 && std::memcmp(data, data + 1, size_t(size - 1)) == 0;
}

bool isFolderAt(int dir, const QByteArray& relative)
{
    struct stat st;
    return ::fstatat(dir, relative.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

struct timespec storedTime(qint64 seconds, int nanoseconds)
{
    struct timespec t {};
    t.tv_sec = time_t(seconds);
    t.tv_nsec = nanoseconds;
    return t;
}

} // namespace

ArchiveStreamWriter::ArchiveStreamWriter(const QStringList& bases, const QList<LzmaSDKObjCItem>& items,
                                         QList<Target> targets)
    : m_bases(bases)
    , m_items(items)
    , m_targets(std::move(targets))
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (!m_items.at(i).isDirectory)
            m_total += m_items.at(i).size;
    }
}

ArchiveStreamWriter::~ArchiveStreamWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
    for (const int fd : m_baseFds) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool ArchiveStreamWriter::fail(const QString& message)
{
    if (m_error.isEmpty())
        m_error = message;
    return false;
}

QString ArchiveStreamWriter::shown(const Target& target) const
{
    return m_bases.value(target.base) + QLatin1Char('/') + QFile::decodeName(target.relative);
}

bool ArchiveStreamWriter::open(QString* error)
{
    if (m_targets.size() != m_items.size()) {
        *error = QStringLiteral("Every archive item needs a place.");
        return false;
    }
    for (const QString& base : std::as_const(m_bases)) {
        const int fd = ::open(QFile::encodeName(base).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            *error = QStringLiteral("Cannot open the folder \"%1\": %2").arg(base, systemError(errno));
            return false;
        }
        m_baseFds.push_back(fd);
    }
    // Two items at one place would overwrite each other unseen: 7zz lists a line break in a
    // name as "_", so "a<line break>b" and "a_b" come out alike. Refused before anything is
    // written, as a restore that silently kept one of two files would lose the other.
    QHash<QByteArray, bool> placed;   // where an item goes, and whether it is a folder
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        const Target& target = m_targets.at(i);
        if (target.base >= qsizetype(m_baseFds.size()) || (target.base >= 0 && target.relative.isEmpty())) {
            *error = QStringLiteral("An archive item has no valid place.");
            return false;
        }
        if (target.base < 0)
            continue;
        const bool folder = m_items.at(i).isDirectory && !m_items.at(i).isSymlink;
        const QByteArray key = QByteArray::number(target.base) + '/' + target.relative;
        const auto found = placed.constFind(key);
        if (found != placed.cend() && !(folder && found.value())) {
            *error = QStringLiteral("The archive holds two items that would both be written as \"%1\" (a line break "
                                    "in a name is listed as \"_\"); nothing was extracted.")
                         .arg(shown(target));
            return false;
        }
        placed.insert(key, folder);
    }
    m_buffer = std::make_unique<char[]>(kBufferSize);
    return true;
}

bool ArchiveStreamWriter::write(const char* data, qsizetype size)
{
    if (!m_error.isEmpty())
        return false;
    while (size > 0) {
        if (m_current < 0) {
            if (!startNextItems())
                return false;
            if (m_current < 0)
                return fail(QStringLiteral("The archive gives more data than it lists."));
        }
        const qsizetype n = qsizetype(std::min<qint64>(size, m_remaining));
        m_crc = quint32(::crc32(m_crc, reinterpret_cast<const Bytef*>(data), uInt(n)));
        const Target& target = m_targets.at(m_current);
        if (target.base >= 0) {
            if (m_items.at(m_current).isSymlink)
                m_linkText.append(data, n);
            else if (!writeFileData(data, n))
                return false;
        }
        data += n;
        size -= n;
        m_remaining -= n;
        m_done += n;
        if (m_remaining == 0) {
            if (!endItem())
                return false;
            m_current = -1;
        }
    }
    return true;
}

bool ArchiveStreamWriter::finish()
{
    if (!m_error.isEmpty())
        return false;
    if (m_current < 0 && !startNextItems())
        return false;
    if (m_current >= 0)
        return fail(QStringLiteral("The archive's data ended before \"%1\" was complete.").arg(m_items.at(m_current).path));
    return true;
}

bool ArchiveStreamWriter::startNextItems()
{
    while (m_next < m_items.size()) {
        const qsizetype index = m_next++;
        const LzmaSDKObjCItem& item = m_items.at(index);
        const Target& target = m_targets.at(index);
        if (item.isDirectory) {
            if (target.base < 0)
                continue;
            if (!makeFolder(target.base, target.relative))
                return false;
            m_folders.push_back(Folder{target.base, target.relative, item.unixMode, item.modifiedSeconds,
                                       item.modifiedNanoseconds});
            continue;
        }
        m_current = index;
        if (!beginItem())
            return false;
        if (item.size > 0)
            return true;
        if (!endItem())
            return false;
        m_current = -1;
    }
    return true;
}

bool ArchiveStreamWriter::beginItem()
{
    const LzmaSDKObjCItem& item = m_items.at(m_current);
    const Target& target = m_targets.at(m_current);
    m_remaining = item.size;
    m_crc = quint32(::crc32(0L, nullptr, 0));
    if (item.size < 0)
        return fail(QStringLiteral("The archive lists \"%1\" with a negative size.").arg(item.path));
    if (target.base < 0)
        return true;
    if (item.isSymlink) {
        if (item.size == 0 || item.size >= PATH_MAX)
            return fail(QStringLiteral("The archive holds the symbolic link \"%1\" without a valid target.").arg(item.path));
        m_linkText.clear();
        return true;
    }
    const int dir = m_baseFds[size_t(target.base)];
    const char* name = target.relative.constData();
    const mode_t createMode = item.unixMode ? 0600 : 0666;
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_fd = ::openat(dir, name, flags, createMode);
        if (m_fd >= 0)
            break;
        if (errno == ENOENT && attempt == 0) {
            if (!makeParents(target.base, target.relative))
                return false;
        } else if (errno == EEXIST && !isFolderAt(dir, target.relative)) {
            // The same name stored twice: the later one wins, as 7zz would have it.
            ::unlinkat(dir, name, 0);
        } else {
            const int err = errno == EEXIST ? EISDIR : errno;
            return fail(QStringLiteral("Cannot create \"%1\": %2").arg(shown(target), systemError(err)));
        }
    }
    if (m_fd < 0)
        return fail(QStringLiteral("Cannot create \"%1\": %2").arg(shown(target), systemError(errno)));
    m_buffered = 0;
    m_fileOffset = 0;
    m_endsInHole = false;
    return true;
}

bool ArchiveStreamWriter::writeFileData(const char* data, qsizetype size)
{
    while (size > 0) {
        const qsizetype n = std::min(size, kBufferSize - m_buffered);
        std::memcpy(m_buffer.get() + m_buffered, data, size_t(n));
        m_buffered += n;
        data += n;
        size -= n;
        if (m_buffered == kBufferSize && !flushBuffer())
            return false;
    }
    return true;
}

bool ArchiveStreamWriter::flushBuffer()
{
    const char* data = m_buffer.get();
    qsizetype runStart = -1;
    auto writeRun = [&](qsizetype from, qsizetype to) {
        while (from < to) {
            const ssize_t n = ::pwrite(m_fd, data + from, size_t(to - from), off_t(m_fileOffset + from));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail(QStringLiteral("Cannot write \"%1\": %2").arg(shown(m_targets.at(m_current)),
                                                                          systemError(n < 0 ? errno : ENOSPC)));
            from += n;
        }
        return true;
    };
    for (qsizetype at = 0; at < m_buffered; at += kHoleGrain) {
        const qsizetype length = std::min(kHoleGrain, m_buffered - at);
        // A short tail is written: it is the file's end, and a hole there saves nothing.
        const bool hole = length == kHoleGrain && allZero(data + at, length);
        m_endsInHole = hole;
        if (hole) {
            if (runStart >= 0 && !writeRun(runStart, at))
                return false;
            runStart = -1;
        } else if (runStart < 0) {
            runStart = at;
        }
    }
    if (runStart >= 0 && !writeRun(runStart, m_buffered))
        return false;
    m_fileOffset += m_buffered;
    m_buffered = 0;
    return true;
}

bool ArchiveStreamWriter::endItem()
{
    const LzmaSDKObjCItem& item = m_items.at(m_current);
    const Target& target = m_targets.at(m_current);
    if (item.crc && *item.crc != m_crc)
        return fail(QStringLiteral("\"%1\" does not read back from the archive as listed; nothing more was extracted.")
                        .arg(item.path));
    if (target.base < 0)
        return true;
    const int dir = m_baseFds[size_t(target.base)];
    if (item.isSymlink) {
        if (m_linkText.contains('\0'))
            return fail(QStringLiteral("The archive holds the symbolic link \"%1\" without a valid target.").arg(item.path));
        if (!makeLink(target.base, target.relative, m_linkText))
            return false;
        if (item.hasModified()) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, storedTime(item.modifiedSeconds, item.modifiedNanoseconds)};
            ::utimensat(dir, target.relative.constData(), times, AT_SYMLINK_NOFOLLOW);
        }
        return true;
    }
    if (!flushBuffer())
        return false;
    const int fd = std::exchange(m_fd, -1);
    auto failWith = [&](const char* what) {
        const int err = errno;
        ::close(fd);
        return fail(QStringLiteral("Cannot %1 \"%2\": %3").arg(QLatin1String(what), shown(target), systemError(err)));
    };
    if (m_endsInHole && ::ftruncate(fd, off_t(item.size)) != 0)
        return failWith("write");
    if (item.unixMode && ::fchmod(fd, mode_t(item.unixMode & 07777)) != 0)
        return failWith("set the permissions of");
    if (item.hasModified()) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, storedTime(item.modifiedSeconds, item.modifiedNanoseconds)};
        if (::futimens(fd, times) != 0)
            return failWith("set the time of");
    }
    if (::close(fd) != 0)
        return fail(QStringLiteral("Cannot write \"%1\": %2").arg(shown(target), systemError(errno)));
    return true;
}

bool ArchiveStreamWriter::makeParents(int base, const QByteArray& relative)
{
    for (qsizetype slash = relative.indexOf('/'); slash > 0; slash = relative.indexOf('/', slash + 1)) {
        if (!makeFolder(base, relative.left(slash)))
            return false;
    }
    return true;
}

bool ArchiveStreamWriter::makeFolder(int base, const QByteArray& relative)
{
    const int dir = m_baseFds[size_t(base)];
    int result = ::mkdirat(dir, relative.constData(), 0777);
    if (result != 0 && errno == ENOENT) {
        if (!makeParents(base, relative))
            return false;
        result = ::mkdirat(dir, relative.constData(), 0777);
    }
    if (result == 0 || (errno == EEXIST && isFolderAt(dir, relative)))
        return true;
    const QString path = m_bases.at(base) + QLatin1Char('/') + QFile::decodeName(relative);
    if (errno == EEXIST)
        return fail(QStringLiteral("\"%1\" is not a folder; nothing is extracted through it.").arg(path));
    return fail(QStringLiteral("Cannot create the folder \"%1\": %2").arg(path, systemError(errno)));
}

bool ArchiveStreamWriter::makeLink(int base, const QByteArray& relative, const QByteArray& text)
{
    const int dir = m_baseFds[size_t(base)];
    const QString path = shown(m_targets.at(m_current));
    int result = ::symlinkat(text.constData(), dir, relative.constData());
    if (result != 0 && errno == ENOENT) {
        if (!makeParents(base, relative))
            return false;
        result = ::symlinkat(text.constData(), dir, relative.constData());
    }
    if (result == 0)
        return true;
    if (errno != EEXIST)
        return fail(QStringLiteral("Cannot create the symbolic link \"%1\": %2").arg(path, systemError(errno)));
    if (isFolderAt(dir, relative))
        return fail(QStringLiteral("The folder \"%1\" is in the way of a symbolic link of the same name.").arg(path));
    // The same name stored twice: the link replaces the earlier item in one step.
    const qsizetype slash = relative.lastIndexOf('/');
    const QByteArray folder = slash >= 0 ? relative.left(slash + 1) : QByteArray();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temporary = folder + ".zorvi-link-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        if (::symlinkat(text.constData(), dir, temporary.constData()) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        if (::renameat(dir, temporary.constData(), dir, relative.constData()) == 0)
            return true;
        const int err = errno;
        ::unlinkat(dir, temporary.constData(), 0);
        errno = err;
        break;
    }
    return fail(QStringLiteral("Cannot create the symbolic link \"%1\": %2").arg(path, systemError(errno)));
}
