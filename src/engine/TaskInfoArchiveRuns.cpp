// The 7z archive runs of a task: backups written whole to a temporary name, restores
// extracted into work folders beside the places they go to.
#include "TaskInfo.h"

#include "ArchivePassword.h"
#include "CancelWatch.h"
#include "DiskSync.h"
#include "EngineLog.h"
#include "FailPoint.h"
#include "LzmaSDKObjCItem.h"
#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "ProgressReceiver.h"
#include "RestorePlacement.h"
#include "SevenZipListing.h"
#include "SourcePairing.h"
#include "TaskPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("TaskInfo", text);
}

} // namespace

bool TaskInfo::archiveBackup(bool encrypt, ProgressReceiver* progressWindow)
{
    const QString stamp = backupStamp();
    const QString folder = taskFolder();
    // Written under a temporary name and renamed over the final one by the writer only on success,
    // so a failed or cancelled run keeps the previous archive.
    const QString archivePath = folder + (encrypt ? "/backup.enc" : "/backup.7z");
    const bool existed = TaskPaths::exists(folder);
    if (!QDir().mkpath(folder)) {
        runError_ = TaskPaths::writeProblem(QFileInfo(folder).path(), errno ? errno : EACCES);
        return false;
    }
    if (!existed)
        DiskSync::syncDirectory(QFileInfo(folder).path());
    removeWhenCancelList << archivePath;

    LzmaSDKObjCWriter writer(archivePath);
    for (const QString& path : TaskPaths::withoutNested(sourcePaths())) {
        if (!TaskPaths::exists(path)) {
            runError_ = tr("Source") + tr("Path Not Found!");
            return false;
        }
        writer.addPath(path, path);
    }
    // Another run's work folders below the sources are not the user's (the copy skips them too).
    for (const QString& work : std::as_const(workFoldersInSources_))
        writer.excludePath(work);
    if (progressWindow)
        writer.setDelegate(progressWindow);
    if (encrypt) {
        const QString archiveKey = ArchivePassword::archivePassword(password);
        writer.setPasswordGetter([archiveKey] { return archiveKey; });
    }
    writer.applyArchiveSettings(encrypt);

    QString error;
    if (!writer.open(&error)) {
        qCWarning(lcRuns).noquote() << error;
        runError_ = error;
        return false;
    }
    bool written;
    {
        CancelWatch watch(BackupRestoreCancel, [&writer] { writer.cancel(); });
        written = writer.write();
    }
    if (!written) {
        runError_ = writer.wasCancelled() ? QString() : writer.lastError();
        return false;
    }
    FailPoint::hit("archive-committed");
    recordFixedSources();
    lastBackupDate = stamp;
    return true;
}

bool TaskInfo::archiveRestore(bool encrypted, const QString& typedPassword, ProgressReceiver* progressWindow, QString& message)
{
    const QString archivePath = taskFolder() + (encrypted ? "/backup.enc" : "/backup.7z");

    LzmaSDKObjCReader reader(archivePath, 1);
    if (progressWindow)
        reader.setDelegate(progressWindow);
    if (encrypted) {
        const QString archiveKey = ArchivePassword::archivePassword(typedPassword);
        reader.setPasswordGetter([archiveKey] { return archiveKey; });
    }
    QString error;
    if (!reader.open(&error)) {
        if (encrypted) {
            const QString suffixed = ArchivePassword::suffixForm(typedPassword);
            reader.setPasswordGetter([suffixed] { return suffixed; });
        }
        if (!reader.open(&error)) {
            qCWarning(lcRuns).noquote() << "Can't open archive: " << error << " ";
            message = QStringLiteral("Can't open archive.");
            return false;
        }
    }

    QList<LzmaSDKObjCItem> items;
    reader.iterateWithHandler([&items](const LzmaSDKObjCItem& item, const QString&) {
        items << item;
        return true;
    });
    for (const LzmaSDKObjCItem& item : std::as_const(items)) {
        if (!LzmaSDKObjCReader::isSafeStoredName(item.path)) {
            message = tr("The backup holds the unsafe name \"%1\". Nothing was restored.").arg(item.path);
            return false;
        }
    }

    // Each stored tree goes back to the source of its drive, at that source's place now: its
    // names are moved from the mount the drive had to the one it has. The drive can be written
    // by anyone who holds it, and a source may have left the task since the backup: only what
    // lies in a tree paired with a source is written; the rest is named and left out. A source
    // whose place holds another card of the same name, or whose tree cannot be told to be its,
    // is named and not written either.
    QStringList names;
    names.reserve(items.size());
    for (const LzmaSDKObjCItem& item : std::as_const(items))
        names << QDir::cleanPath("/" + item.path);
    const SourcePairing paired = pairing();
    const auto holds = [&names](const QString& tree) {
        return std::any_of(names.begin(), names.end(), [&tree](const QString& name) { return TaskPaths::isInsideOrEqual(name, tree); });
    };
    QStringList named;
    const QStringList namedLines = namedSources(paired, holds, named);
    const QList<std::pair<QString, QString>>& pairs = paired.pairs();
    QStringList untoldTrees;
    for (const SourcePairing::Untold& untold : paired.untold())
        untoldTrees << untold.trees;
    // Per item, its place now; empty when it is not written.
    QStringList nameNow(items.size());
    QSet<QString> nameSet;
    QSet<QString> ownSet;   // in a tree of the task's sources, written or named with its source
    QSet<QString> foreignSet;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        // The most specific tree holding the item decides.
        const std::pair<QString, QString>* tree = nullptr;
        for (const auto& pair : pairs) {
            if (TaskPaths::isInsideOrEqual(name, pair.first) && (!tree || pair.first.size() > tree->first.size()))
                tree = &pair;
        }
        const bool untold = !tree && std::any_of(untoldTrees.begin(), untoldTrees.end(), [&name](const QString& stored) {
            return TaskPaths::isInsideOrEqual(name, stored);
        });
        if (!tree && !untold) {
            foreignSet.insert(name);
            continue;
        }
        ownSet.insert(name);
        if (untold || named.contains(tree->second))
            continue;   // named with its source
        nameNow[i] = tree->second + name.mid(tree->first.size());
        nameSet.insert(nameNow.at(i));
    }
    // The tops of the trees are the items whose parent folder is not itself an item.
    QStringList roots;
    for (const QString& name : std::as_const(nameSet)) {
        if (!nameSet.contains(QFileInfo(name).path()))
            roots << name;
    }
    roots.sort();
    // Folders of the backup that hold a stored tree are neither written nor named; what else
    // they hold is left out from just below them.
    QSet<QString> aboveSources;
    for (const QString& name : std::as_const(ownSet)) {
        if (ownSet.contains(QFileInfo(name).path()))
            continue;
        for (QString up = QFileInfo(name).path(); up.size() > 1 && !aboveSources.contains(up); up = QFileInfo(up).path())
            aboveSources.insert(up);
    }
    QStringList notHeld;
    for (const QString& source : sourcePaths()) {
        if (!named.contains(source)
            && std::none_of(roots.begin(), roots.end(), [&source](const QString& root) { return TaskPaths::isInsideOrEqual(source, root); }))
            notHeld << source;
    }
    QStringList leftOut;
    for (const QString& name : std::as_const(foreignSet)) {
        if (aboveSources.contains(name))
            continue;
        // What another drive left at the place of a source is that source's, named once: as not
        // in the last backup.
        if (std::any_of(notHeld.begin(), notHeld.end(), [&name](const QString& source) { return TaskPaths::isInsideOrEqual(name, source); }))
            continue;
        // Only the tops are named.
        const QString parent = QFileInfo(name).path();
        if (foreignSet.contains(parent) && !aboveSources.contains(parent))
            continue;
        leftOut << name;
    }
    leftOut.sort();
    for (QString& name : leftOut) {
        qCWarning(lcRuns).noquote() << "Not one of this task's sources, left out:" << name;
        name = tr("\"%1\" is in the backup but not one of this task's sources: it was not restored.").arg(name);
    }
    leftOut << namedLines;
    for (const QString& root : std::as_const(roots)) {
        if (TaskPaths::onMissingVolume(root)) {
            message = tr("Device is not exist");
            return false;
        }
    }

    // Which tree each item belongs to, and its path below that tree's top.
    QList<qsizetype> treeOf(items.size(), -1);
    QList<QStringList> below(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString& name = nameNow.at(i);
        if (name.isEmpty())
            continue;   // read past, never written
        for (qsizetype r = 0; r < roots.size(); ++r) {
            const QString& root = roots.at(r);
            if (name == root || (name.startsWith(root) && name.at(root.size()) == QLatin1Char('/'))) {
                treeOf[i] = r;
                below[i] = SevenZipListing::components(name.mid(root.size()));
                break;
            }
        }
    }
    QStringList places;
    QList<RestorePlacement::Tree> trees;
    for (qsizetype r = 0; r < roots.size(); ++r) {
        bool storedAsLink = false;
        bool isFolder = false;
        QList<std::pair<QStringList, bool>> tree;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (treeOf.at(i) != r)
                continue;
            const bool folder = items.at(i).isDirectory && !items.at(i).isSymlink;
            tree.append({below.at(i), folder});
            if (below.at(i).isEmpty()) {
                storedAsLink = items.at(i).isSymlink;
                isFolder = folder;
            }
        }
        places << TaskPaths::restorePlace(roots.at(r), storedAsLink);
        trees.append({places.last(), isFolder});
        // Refused before anything is written: a restore that would write through a symbolic
        // link or replace a folder by a file (or the reverse).
        const QString found = RestorePlacement::conflictWithItems(places.last(), tree);
        if (!found.isEmpty()) {
            message = inTheWay(found);
            return false;
        }
    }
    for (const QString& place : std::as_const(places))
        recoverAndClean(place);

    // Each tree is extracted into a work folder on its place's file system: nothing at the
    // places changes until the archive has been read whole, and a cancel only removes those.
    RestorePlacement placement(BackupRestoreCancel, taskFolder());
    placement.prepare(trees);
    FailPoint::hit("restore-work-folder-made");
    QStringList bases;
    QList<qsizetype> baseOfTree(roots.size(), -1);
    for (qsizetype r = 0; r < roots.size(); ++r) {
        if (placement.isPrepared(r)) {
            baseOfTree[r] = bases.size();
            bases << placement.workFolder(r);
        }
    }
    QList<ArchiveStreamWriter::Target> targets(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const qsizetype r = treeOf.at(i);
        if (r < 0 || baseOfTree.at(r) < 0)
            continue;
        QByteArray relative = "new";
        if (!below.at(i).isEmpty())
            relative += '/' + SevenZipListing::encodeName(below.at(i).join(QLatin1Char('/')));
        targets[i] = {int(baseOfTree.at(r)), relative};
    }
    std::vector<ArchiveStreamWriter::Folder> folders;
    bool extracted = bases.isEmpty();
    if (!extracted) {
        CancelWatch watch(BackupRestoreCancel, [&reader] { reader.cancel(); });
        extracted = reader.extractTo(bases, targets, &folders);
    }
    if (!extracted || BackupRestoreCancel) {
        if (!BackupRestoreCancel) {
            qCWarning(lcRuns) << "Extract failed";
            message = reader.lastError().isEmpty() ? QStringLiteral("Unknown reason") : reader.lastError();
            // Said with the places the user knows: the work folders are gone by then.
            for (qsizetype r = 0; r < roots.size(); ++r) {
                if (baseOfTree.at(r) >= 0)
                    message.replace(placement.staging(r), places.at(r));
            }
        }
        placement.removeWorkFolders();
        return false;
    }
    for (const ArchiveStreamWriter::Folder& folder : folders) {
        const qsizetype r = baseOfTree.indexOf(folder.base);
        const QByteArray relative = folder.relative.mid(4);   // below "new/"
        std::optional<struct timespec> modified;
        if (folder.modifiedNanoseconds >= 0)
            modified = timespec{time_t(folder.modifiedSeconds), folder.modifiedNanoseconds};
        placement.setFolderAttributes(r, relative, mode_t(folder.mode), modified);
    }

    // The placeholder that let an empty folder into an encrypted archive is not user data:
    // it is dropped before placing, so neither it nor a user's file of that name is touched.
    if (encrypted && roots.size() == 1 && placement.isPrepared(0)) {
        const QString folder = placement.staging(0);
        const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const QString placeholder = folder + "/" + kPlaceholderName;
        QFile file(placeholder);
        if (entries == QStringList { kPlaceholderName } && file.open(QIODevice::ReadOnly) && file.readAll() == "temp") {
            file.close();
            if (!QFile::remove(placeholder))
                qCWarning(lcRuns).noquote() << "FAIL:" << TaskPaths::systemError(placeholder, errno);
        }
    }

    FailPoint::hit("restore-staged");
    const bool placed = placement.place(&message);
    placement.removeWorkFolders();
    return placed && reportLeftOut(placement.preparedAny(), placement.notRestored() + leftOut, notHeld, message);
}
