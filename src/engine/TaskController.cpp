#include "TaskController.h"

#include "EngineLog.h"
#include "ExternalVolumes.h"
#include "TaskListCipher.h"
#include "UtilityFunctions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Writes `data` to `path` so that a reader sees either the old file or the whole new one.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString& error)
{
    QByteArray tmp = QFile::encodeName(path + ".tmp-XXXXXX");
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC); // created with mode 0600
    if (fd < 0) {
        error = errnoText(errno);
        return false;
    }
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    if (!ok)
        error = errnoText(errno);
    if (::close(fd) != 0 && ok) {
        error = errnoText(errno);
        ok = false;
    }
    if (ok && ::rename(tmp.constData(), QFile::encodeName(path).constData()) != 0) {
        error = errnoText(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.constData());
        return false;
    }
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

TaskController::TaskController(TaskInfoDelegate* delegate, QObject* parent)
    : QObject(parent)
    , key(TaskListCipher::defaultKey())
    , iv(TaskListCipher::defaultIv())
    , taskInfoDelegate(delegate)
    , refreshTaskListsKeepSelection([this] { pushTaskLists(true); })
{
}

TaskController::~TaskController() = default;

QString TaskController::taskListFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return {};
    return documents + "/MorvantekZorvi";
}

QString TaskController::taskListPath()
{
    const QString folder = taskListFolder();
    return folder.isEmpty() ? QString() : folder + "/metadata.meta";
}

QString TaskController::listFolder() const
{
    return listFile_.isEmpty() ? taskListFolder() : QFileInfo(listFile_).absolutePath();
}

QString TaskController::listPath() const
{
    return listFile_.isEmpty() ? taskListPath() : listFile_;
}

void TaskController::setAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss-zzz");
    const QString aside = path + ".bad-" + stamp;
    if (QFile::rename(path, aside)) {
        qCWarning(lcEngine).noquote() << "The unreadable task list was kept as " + aside;
        fileSetAsideFailed_ = false;
        return;
    }
    // It stays where it is, and no save may replace it.
    qCWarning(lcEngine).noquote() << "Cannot set the unreadable task list aside; it will not be overwritten: " + path;
    fileSetAsideFailed_ = true;
}

QList<TaskInfoPtr> TaskController::loadTaskList()
{
    const QString folder = listFolder();
    if (folder.isEmpty()) {
        qCWarning(lcEngine) << "No Documents folder: starting with an empty task list";
        return {};
    }
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    const QString path = listPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return {};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcEngine).noquote() << "Error deserializing JSON: " + file.errorString();
        fileSetAsideFailed_ = true; // cannot read it, so do not replace it either
        return {};
    }
    const QByteArray cipher = file.readAll();
    file.close();

    QByteArray plain;
    QString error;
    if (!TaskListCipher::decrypt(cipher, key, iv, plain, error)) {
        qCWarning(lcEngine).noquote() << "Error deserializing JSON: " + error;
        setAside(path);
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(plain, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qCWarning(lcEngine).noquote() << "Error deserializing JSON: " + parseError.errorString();
        setAside(path);
        return {};
    }
    bool wellFormed = doc.isArray();
    const QJsonArray array = doc.array();
    for (const QJsonValue& v : array)
        wellFormed = wellFormed && v.isObject();
    if (!wellFormed) {
        // Not a list of tasks: nothing to load, but not ours to destroy either.
        setAside(path);
        return {};
    }

    QList<TaskInfoPtr> tasks;
    tasks.reserve(array.size());
    for (const QJsonValue& v : array) {
        TaskInfoPtr task = TaskInfo::initFromDictionary(v.toObject().toVariantMap(), false);
        task->taskInfoDelegate = taskInfoDelegate;
        tasks << task;
    }
    return tasks;
}

bool TaskController::saveTaskList()
{
    const QString path = listPath();
    if (path.isEmpty()) {
        qCWarning(lcEngine) << "No Documents folder: the task list was not saved";
        return false;
    }
    if (fileSetAsideFailed_ && QFileInfo::exists(path)) {
        qCWarning(lcEngine).noquote() << "The task list was not saved: the unreadable file " + path + " is kept";
        return false;
    }
    fileSetAsideFailed_ = false;

    QJsonArray array;
    for (const TaskInfoPtr& task : TaskArray)
        array.append(QJsonObject::fromVariantMap(task->toDictionary()));
    const QByteArray plain = QJsonDocument(array).toJson(QJsonDocument::Indented);

    QByteArray cipher;
    QString error;
    if (!TaskListCipher::encrypt(plain, key, iv, cipher, error)) {
        qCWarning(lcEngine).noquote() << "The task list was not saved: " + error;
        return false;
    }
    const QString folder = listFolder();
    if (!QDir().mkpath(folder)) {
        qCWarning(lcEngine).noquote() << "The task list was not saved: cannot create " + folder;
        return false;
    }
    if (!writeFileAtomically(path, cipher, error)) {
        qCWarning(lcEngine).noquote() << "The task list was not saved: " + path + ": " + error;
        return false;
    }
    return true;
}

void TaskController::updateTaskVolumePaths(bool refresh)
{
    const QStringList roots = ExternalVolumes::mountedRoots();

    // Identities first, so that one found on two volumes can be told apart from the rest.
    QStringList identities;
    for (const QString& root : roots) {
        qCDebug(lcEngine).noquote() << root;
        identities << UtilityFunctions::getVolumeUUID(root + "/").value_or(QString());
    }

    for (qsizetype v = 0; v < roots.size(); ++v) {
        const QString& volume = roots[v];
        const QString& identity = identities[v];
        if (UtilityFunctions::isAmbiguousIdentity(identity) || identities.count(identity) > 1) {
            qCWarning(lcEngine).noquote() << "Volume " + volume + " has no unique identity; no task is moved to it";
            continue;
        }

        QList<TaskInfoPtr> rebuilt;
        rebuilt.reserve(TaskArray.size());
        for (const TaskInfoPtr& task : TaskArray) {
            task->stopScheduleTimer();
            TaskInfoPtr copy = UtilityFunctions::copyTaskInfo(task);
            copy->taskInfoDelegate = taskInfoDelegate;
            copy->backupSrc.clear();

            const auto movedHere = [&](const QString& entry) {
                if (!entry.contains(';') || UtilityFunctions::identityPart(entry) != identity)
                    return false;
                const auto root = UtilityFunctions::getVolumeRoot(entry);
                return !(root && *root == volume);
            };
            const auto moved = [&](const QString& entry) {
                const QString e = UtilityFunctions::replaceVolumePrefix(TaskInfo::pathPart(entry), volume) + ";" + identity;
                qCDebug(lcEngine).noquote() << e;
                return e;
            };

            for (const QString& entry : task->backupSrc)
                copy->backupSrc << (movedHere(entry) ? moved(entry) : entry);
            if (movedHere(task->backupDest))
                copy->backupDest = moved(task->backupDest);
            rebuilt << copy;
        }
        TaskArray = rebuilt;
    }

    saveTaskList();

    if (refresh && refreshTaskListsKeepSelection)
        refreshTaskListsKeepSelection();
}

void TaskController::driveIdentityGiven(const QString& root, const QString& identity)
{
    bool changed = false;
    for (const TaskInfoPtr& task : std::as_const(TaskArray))
        changed = task->adoptDriveIdentity(root, identity) || changed;
    if (changed)
        saveTaskList();
}
