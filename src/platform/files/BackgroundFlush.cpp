#include "BackgroundFlush.h"

#include <QFile>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

BackgroundFlush::BackgroundFlush(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // the commit's own flush still comes
    m_thread = std::jthread([fd](std::stop_token token) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait_for(lock, token, std::chrono::milliseconds(100), [] { return false; });
            if (token.stop_requested())
                break;
            ::syncfs(fd);
        }
        ::close(fd);
    });
}

BackgroundFlush::~BackgroundFlush() = default; // the jthread asks to stop and joins
