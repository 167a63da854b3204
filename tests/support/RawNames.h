#pragma once

#include <QByteArray>
#include <QSet>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// Files by the bytes of their names: not every name is UTF-8, and QFile would turn the rest
// into U+FFFD's.
inline bool writeRawFile(const QByteArray& path, const QByteArray& data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool ok = fd >= 0 && ::write(fd, data.constData(), size_t(data.size())) == data.size();
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// The first 4 KiB of the file, or "<missing>".
inline QByteArray readRawFile(const QByteArray& path)
{
    QByteArray data(4096, Qt::Uninitialized);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd >= 0 ? ::read(fd, data.data(), size_t(data.size())) : -1;
    if (fd >= 0)
        ::close(fd);
    return got >= 0 ? data.left(got) : QByteArray("<missing>");
}

inline QSet<QByteArray> rawEntries(const QByteArray& folder)
{
    QSet<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.insert(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}
