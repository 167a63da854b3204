#pragma once

#include <QString>
#include <QStringList>

// Path rules a run checks before it touches anything.
class TaskPaths {
public:
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
};
