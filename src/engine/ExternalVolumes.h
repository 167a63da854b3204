#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Where removable volumes are mounted, and which ones are mounted now.
//
// A volume root is a folder directly inside one of the mount bases (/media/$USER,
// /run/media/$USER, /media). The structural answers (isExternalPath, volumeRoot) hold
// whether or not the volume is attached now; mountedRoots lists the roots that are mount
// points at this moment, from /proc/self/mountinfo. Tests replace both lists with
// setOverride. All paths are compared by whole components, so /media/ann/Backup never
// matches /media/ann/Backup1.
class ExternalVolumes {
public:
    // The folders inside which removable volumes are mounted, most specific first.
    static QStringList mountBases();
    // Roots of the external volumes mounted now, in mount order, without duplicates.
    static QStringList mountedRoots();

    // Replaces both lists for the whole process; nullopt restores the system's.
    static void setOverride(std::optional<QStringList> bases, std::optional<QStringList> roots);

    // The volume root that holds `path` (the root itself included), or nullopt when the path
    // lies below no mount base.
    static std::optional<QString> volumeRoot(const QString& path);
    static bool isExternalPath(const QString& path) { return volumeRoot(path).has_value(); }
    // The mounted root holding `path`, or nullopt when no mounted external volume holds it.
    static std::optional<QString> mountRoot(const QString& path);

    // True when `path` is `ancestor` or lies below it, by whole components.
    static bool isInsideOrEqual(const QString& path, const QString& ancestor);

    // Mount points directly inside one of `bases`, read from mountinfo text.
    static QStringList parseMountInfo(const QByteArray& mountInfo, const QStringList& bases);
    // The system's bases for the given user name.
    static QStringList defaultBases(const QString& userName);
};
