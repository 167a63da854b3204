#pragma once

#include <QString>

// Flushes that make a rename or a finished copy survive a power cut or an unplugged drive.
namespace DiskSync {
// fsync of a folder, so the names in it are on disk. Volumes that cannot sync a folder pass.
bool syncDirectory(const QString& folder);
// syncfs of the file system holding `path`: one call for everything a run wrote there.
bool syncFileSystem(const QString& path, QString* error);
}
