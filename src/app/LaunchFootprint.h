#pragma once

#include <QStringList>

// What a launch is about to create in the user's own folders, noted before it does, so that a
// launch whose licence is declined can take back exactly that: the files and folders that did
// not exist when noted. Nothing that existed before is touched, and a folder is removed only
// when it is empty (whatever else was put there meanwhile stays).
class LaunchFootprint {
public:
    // Notes the files that may be written (with their missing parent folders) and the folders
    // that may be created (with theirs).
    void noteFiles(const QStringList& files);
    void noteFolders(const QStringList& folders);

    // Removes what was noted as absent: the files first, then the folders deepest first.
    void takeBack() const;

private:
    void noteMissingFolders(QString folder);

    QStringList files_;
    QStringList folders_;
};
