#include "VolumeIdentity.h"

#include "CopyStatus.h"
#include "ExternalVolumes.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("VolumeIdentity", text);
}

} // namespace

std::optional<VolumeIdentity> VolumeIdentity::read(const QString& path)
{
    const std::optional<QString> root = ExternalVolumes::volumeRoot(path);
    if (!root)
        return std::nullopt;
    VolumeIdentity found;
    found.file = *root + "/Zorvi.txt";
    const auto unusable = [&found](const QString& reason) {
        found.state = State::Unusable;
        found.reason = reason;
        return found;
    };
    const QByteArray name = QFile::encodeName(found.file);
    struct stat own {};
    if (::lstat(name.constData(), &own) != 0) {
        // A root that is no folder holds no file either; making one there fails and says so.
        if (errno == ENOENT || errno == ENOTDIR)
            return found;
        return unusable(CopyStatus::errnoText(errno));
    }
    const bool link = S_ISLNK(own.st_mode);
    // Not blocking: a FIFO of that name would hold the open until someone writes to it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (link && (errno == ENOENT || errno == ENOTDIR || errno == ELOOP))
            return unusable(tr("it is a link that leads nowhere"));
        return unusable(CopyStatus::errnoText(errno));
    }
    struct stat target {};
    QByteArray text;
    int readError = 0;
    if (::fstat(fd, &target) != 0) {
        readError = errno;
    } else if (S_ISREG(target.st_mode)) {
        char buffer[kMaxBytes + 1];
        while (text.size() <= kMaxBytes) {
            const ssize_t got = ::read(fd, buffer, size_t(kMaxBytes + 1 - text.size()));
            if (got > 0) {
                text.append(buffer, got);
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                readError = errno;
                break;
            }
        }
    }
    ::close(fd);
    if (readError != 0)
        return unusable(CopyStatus::errnoText(readError));
    if (S_ISDIR(target.st_mode))
        return unusable(tr("it is a folder"));
    if (!S_ISREG(target.st_mode))
        return unusable(tr("it is not a plain file"));
    if (text.size() > kMaxBytes)
        return unusable(tr("it holds more than %1 bytes, more than an identity has").arg(kMaxBytes));
    if (text.isEmpty()) {
        // A new identity is never written through a link.
        if (link)
            return unusable(tr("it is a link to an empty file"));
        found.state = State::Empty;
        return found;
    }
    found.state = State::Carried;
    found.identity = QString::fromUtf8(text);
    return found;
}
