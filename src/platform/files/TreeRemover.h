#pragma once

#include <QString>

#include <string>

// Removes files, symbolic links (never their targets) and folder trees without following any
// link inside them. A folder tree is first emptied by a few threads, a folder each; a serial
// pass then removes what is left and names what it could not.
class TreeRemover {
public:
    TreeRemover() = delete;

    // Nothing at `path` counts as success.
    static bool removeAll(const QString& path, QString* error);
    // `name` in the open folder `dir`, known to the caller as `path`, on this thread alone; on
    // failure, what could not be removed and why.
    static bool removeAt(int dir, const char* name, const std::string& path, std::string* failedPath, int* failedErr);
};
