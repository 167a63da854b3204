#pragma once

#include <QString>
#include <QStringList>

// Path rules a run checks before it touches anything, and the looks at single paths it takes.
class TaskPaths {
public:
    // Something is at `path`, a dangling link included.
    static bool exists(const QString& path);
    // `path` itself is a symbolic link / a real folder (not a link to one).
    static bool isLink(const QString& path);
    static bool isRealDirectory(const QString& path);
    // A place on an external volume that is not mounted now: restoring there would create the
    // mount point's folder on the system disk instead.
    static bool onMissingVolume(const QString& path);
    // Where a restore writes a source back. A source that is a link to a folder was backed up
    // as what it points to (unless the backup holds the link itself), so that is where it goes.
    static QString restorePlace(const QString& place, bool backupIsLink);
    // "<path>: <the system's description of error>"
    static QString systemError(const QString& path, int error);

    // A task name becomes a folder inside the destination: it must be one plain path component.
    static bool isValidTaskName(const QString& name);

    // True when `path` is `ancestor` or lies below it (whole components; both made absolute and clean).
    static bool isInsideOrEqual(const QString& path, const QString& ancestor);

    // Refusal text when the sources and the task folder overlap, else empty: a source inside
    // or equal to the task folder, or a source that contains the destination.
    static QString overlapProblem(const QStringList& sourcePaths, const QString& destination, const QString& taskFolder);

    // The sources worth copying, in their order: a path listed again, or lying inside another
    // listed path, adds nothing (and makes an archive fail on the duplicate name).
    static QStringList withoutNested(const QStringList& sourcePaths);

    // A sentence for a folder the run could not write in, never a bare "Permission denied".
    static QString writeProblem(const QString& folder, int error);
    // A restore that filled the disk of the place it was restoring to.
    static QString noRoomToRestore(const QString& place);
};
