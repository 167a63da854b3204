#include "RemovableTemporaryDir.h"

#include <QFile>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Write access first, so a folder without it can be listed and emptied; links are not followed.
void unlock(const fs::path& folder)
{
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::error_code kind;
        if (entry.is_directory(kind) && !entry.is_symlink(kind))
            unlock(entry.path());
    }
}

} // namespace

RemovableTemporaryDir::RemovableTemporaryDir(const QString& templatePath)
    : dir_(templatePath)
{
}

RemovableTemporaryDir::~RemovableTemporaryDir()
{
    if (dir_.isValid())
        unlock(fs::path(QFile::encodeName(dir_.path()).toStdString()));
}
