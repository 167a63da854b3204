#include "FileDataCopier.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Large enough for full speed, small enough that progress and cancel stay lively.
constexpr size_t kChunk = 8u << 20;
constexpr size_t kBufferSize = 1u << 20;

bool useReadWrite(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTSUP
        || err == EBADF || err == EPERM || err == ETXTBSY;
}

} // namespace

CopyResult FileDataCopier::copy(int in, int out, const struct stat& st, const std::string& srcPath)
{
    // Fewer blocks than bytes: there are holes worth keeping.
    if (qint64(st.st_blocks) * 512 < qint64(st.st_size)) {
        bool unsupported = false;
        const CopyResult result = copySparse(in, out, st.st_size, srcPath, &unsupported);
        if (!unsupported)
            return result;
    }
    return copyAll(in, out, srcPath);
}

CopyResult FileDataCopier::copyAll(int in, int out, const std::string& srcPath)
{
    bool kernelCopy = true;
    qint64 total = 0;
    while (kernelCopy) {
        if (total > 0 && m_status.cancelled())
            return CopyResult::Cancelled;
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n > 0) {
            total += n;
            m_status.advance(n);
            continue;
        }
        if (n == 0) {
            // Pseudo files may stop the kernel copy at once whatever their size: read to be sure.
            if (total == 0)
                kernelCopy = false;
            else
                return CopyResult::Ok;
        } else if (errno == EINTR) {
            continue;
        } else if (useReadWrite(errno)) {
            kernelCopy = false;
        } else {
            return m_status.fail("Cannot copy", srcPath, errno);
        }
    }

    return bufferedCopy(in, out, nullptr, nullptr, 0, srcPath);
}

CopyResult FileDataCopier::copySparse(int in, int out, off_t size, const std::string& srcPath, bool* unsupported)
{
    *unsupported = false;
    off_t pos = 0;
    while (pos < size) {
        const off_t data = ::lseek(in, pos, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)   // only a hole is left
                break;
            if (pos == 0 && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) {
                *unsupported = true;
                return CopyResult::Ok;
            }
            return m_status.fail("Cannot read", srcPath, errno);
        }
        if (data >= size)
            break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            return m_status.fail("Cannot read", srcPath, errno);
        hole = std::min(hole, size);
        const CopyResult result = copySegment(in, out, data, hole - data, srcPath);
        if (result != CopyResult::Ok)
            return result;
        pos = hole;
    }
    // Sets the length, so a trailing hole stays a hole.
    if (::ftruncate(out, size) != 0)
        return m_status.fail("Cannot write the copy of", srcPath, errno);
    return CopyResult::Ok;
}

CopyResult FileDataCopier::copySegment(int in, int out, off_t offset, off_t length, const std::string& srcPath)
{
    off_t inOff = offset;
    off_t outOff = offset;
    const off_t end = offset + length;
    while (inOff < end) {
        if (m_status.cancelled())
            return CopyResult::Cancelled;
        const size_t want = size_t(std::min<off_t>(end - inOff, off_t(kChunk)));
        const ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, want, 0);
        if (n > 0) {
            m_status.advance(n);
            continue;
        }
        if (n == 0)   // shrunk since
            return CopyResult::Ok;
        if (errno == EINTR)
            continue;
        if (!useReadWrite(errno))
            return m_status.fail("Cannot copy", srcPath, errno);
        break;
    }

    return bufferedCopy(in, out, &inOff, &outOff, end, srcPath);
}

CopyResult FileDataCopier::bufferedCopy(int in, int out, off_t* inOff, off_t* outOff, off_t end,
                                        const std::string& srcPath)
{
    if (!m_buffer)
        m_buffer.reset(new char[kBufferSize]);
    size_t sinceCheck = 0;
    for (;;) {
        size_t want = kBufferSize;
        if (inOff) {
            if (*inOff >= end)
                return CopyResult::Ok;
            want = size_t(std::min<off_t>(end - *inOff, off_t(kBufferSize)));
        }
        const ssize_t n = inOff ? ::pread(in, m_buffer.get(), want, *inOff) : ::read(in, m_buffer.get(), want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return m_status.fail("Cannot read", srcPath, errno);
        }
        if (n == 0)
            return CopyResult::Ok;
        ssize_t done = 0;
        while (done < n) {
            const char* from = m_buffer.get() + done;
            const ssize_t w = outOff ? ::pwrite(out, from, size_t(n - done), *outOff + done)
                                     : ::write(out, from, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return m_status.fail("Cannot write the copy of", srcPath, errno);
            }
            done += w;
        }
        if (inOff) {
            *inOff += n;
            *outOff += n;
        }
        m_status.advance(n);
        sinceCheck += size_t(n);
        if (sinceCheck >= kChunk) {
            sinceCheck = 0;
            if (m_status.cancelled())
                return CopyResult::Cancelled;
        }
    }
}
