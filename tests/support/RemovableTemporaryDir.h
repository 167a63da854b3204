#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary folder that goes away even when a test made folders in it read-only (0500, say)
// and stopped before undoing it: the owner gets write access back on every folder below it
// before removal. Without that, an ordinary user's run leaves folders in /tmp that plain
// `rm -rf` cannot remove.
class RemovableTemporaryDir {
public:
    RemovableTemporaryDir() = default;
    explicit RemovableTemporaryDir(const QString& templatePath);
    ~RemovableTemporaryDir();
    RemovableTemporaryDir(const RemovableTemporaryDir&) = delete;
    RemovableTemporaryDir& operator=(const RemovableTemporaryDir&) = delete;

    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& fileName) const { return dir_.filePath(fileName); }

private:
    QTemporaryDir dir_;
};
