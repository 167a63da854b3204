#pragma once

#include "TaskInfo.h"

#include <QString>
#include <QStringList>
#include <optional>

class MessagePresenter;
struct MessageRequest;
class messageViewDelegate;
class QObject;

// Stateless helpers shared by every page: the message window, task copies, sizes, free
// space, size text, and the volume identity of device-tagged paths ("path;uuid").
// Sizes are 64-bit byte counts.
class UtilityFunctions {
public:
    UtilityFunctions() = delete;

    // --- message window ---
    // Shows the message window through the installed presenter without blocking; the answer
    // goes to `presenter` when it is a messageViewDelegate. Nothing is shown while no
    // presenter is installed. GUI thread only.
    static void showMessageView(QObject* presenter, const QString& title, const QString& imageName,
                                const QString& message, bool showSecondBtn);
    // The same with every field of the request, answered to `delegate` (may be null).
    static void showMessageView(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate);
    static void setMessagePresenter(MessagePresenter* presenter); // not owned; null removes it
    static MessagePresenter* messagePresenter();

    // --- tasks ---
    // A fresh task with the stored values; its schedule (if any) skips the current minute.
    static TaskInfoPtr copyTaskInfo(const TaskInfoPtr& task);

    // --- sizes ---
    // What a copy of the item writes: a folder, the allocated size of everything below it;
    // a file, its length, or its allocated size when it has holes (0 and an "Error: " line
    // when it cannot be read). A link given here is measured by what it points to; links
    // below the top are never followed, and a file with several names counts once.
    static qint64 getItemSize(const QString& path);
    // Sum of getItemSize over the path parts of the entries, each file counted once. With
    // `unreadable`, a line "<path>: <reason>" for each folder (or source) that could not be
    // read, so the sum lacks what it holds. Our work folders count nothing; `workFolders`
    // gets their paths.
    static qint64 getTotalSize(const QStringList& entries, QStringList* unreadable = nullptr,
                               QStringList* workFolders = nullptr);
    // Bytes available to the user on the volume holding the entry's path; 0 when unknown.
    static qint64 getFreeSpace(const QString& entry);
    // Tests: answer getFreeSpace with this many bytes instead of asking the volume (-1: ask).
    static void setFreeSpaceForTests(qint64 bytes);
    // "%.1f" and " byte", " KB", " MB", " GB", " TB" in steps of 1024; "Large" beyond.
    static QString formatSize(qint64 bytes);

    // --- volume identity and device-tagged paths ---
    // Identity text of the external volume holding `path`: the content of "Zorvi.txt" at the
    // volume root, created with a new upper-case UUID when missing. Empty when the file is
    // empty or cannot be read (a file that is there is never rewritten here), "#" when it
    // cannot be created; nullopt when the path is on no external volume.
    static std::optional<QString> getVolumeUUID(const QString& path);
    // Writes a new upper-case UUID as the identity file `file`, through a temporary file and a
    // rename (so never through a link), and hides it: the identity, or nullopt (with a printed
    // line) when it cannot be written.
    static std::optional<QString> writeNewIdentity(const QString& file);
    // The identity the volume holding `path` carries now, without giving it one: nullopt when
    // it has no file (or the path is on no external volume), empty when the file is empty or
    // cannot be read.
    static std::optional<QString> readVolumeUUID(const QString& path);
    static bool isExternalVolumePath(const QString& path);
    // "path;uuid" for a path on an external volume, else the path unchanged.
    static QString tagPathWithDevice(const QString& path);
    // Root of the external volume holding the entry's path part, or nullopt.
    static std::optional<QString> getVolumeRoot(const QString& entry);
    // The path moved from its volume root to `newRoot`, without empty components or a
    // trailing "/" (/media/ann/Old//a/b/ onto /media/ann/New gives /media/ann/New/a/b).
    static QString replaceVolumePrefix(const QString& path, const QString& newRoot);

    // Identities that cannot tell one volume from another.
    static bool isAmbiguousIdentity(const QString& identity) { return identity.isEmpty() || identity == "#"; }
    // The identity part of a tagged entry (second ";"-component), empty when untagged.
    static QString identityPart(const QString& entry);
};
