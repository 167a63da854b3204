#pragma once

#include "CopyStatus.h"

#include <memory>
#include <string>
#include <sys/stat.h>

// Copies the bytes of one open file into another: by the kernel where it can (copy_file_range),
// through a buffer where it cannot, and with the holes of a sparse file left as holes.
// One per thread: it owns its buffer.
class FileDataCopier {
public:
    explicit FileDataCopier(CopyStatus& status) : m_status(status) {}

    // `st` describes `in`; `out` is new and empty. Checks the cancel flag between chunks.
    CopyResult copy(int in, int out, const struct stat& st, const std::string& srcPath);

private:
    // On to the end of the file, whatever its size said.
    CopyResult copyAll(int in, int out, const std::string& srcPath);
    // The data segments only; `unsupported` when the file system cannot say where they are.
    CopyResult copySparse(int in, int out, off_t size, const std::string& srcPath, bool* unsupported);
    CopyResult copySegment(int in, int out, off_t offset, off_t length, const std::string& srcPath);
    // The read/write path where the kernel cannot copy: [*inOff, end) by position when
    // offsets are given, else on to the end of the file.
    CopyResult bufferedCopy(int in, int out, off_t* inOff, off_t* outOff, off_t end, const std::string& srcPath);

    CopyStatus& m_status;
    std::unique_ptr<char[]> m_buffer;
};
