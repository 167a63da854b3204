#include "SecurityRuns.h"

#include "ArchivePassword.h"
#include "DiskSync.h"
#include "DispatchQueue.h"
#include "EngineLog.h"
#include "FileCopier.h"
#include "WorkFolder.h"
#include "LzmaSDKObjCReader.h"
#include "LzmaSDKObjCWriter.h"
#include "ProgressReceiver.h"
#include "RenameFlags.h"
#include "SecurityRunHost.h"
#include "SevenZipListing.h"
#include "SevenZipProcess.h"
#include "TaskInfo.h"
#include "TaskPaths.h"
#include "UtilityFunctions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPlaceholder = QStringLiteral("MXTemp.tmp");

// Paths that hold names read from an archive, which need not be UTF-8.
QByteArray encoded(const QString& path) { return SevenZipListing::encodeName(path); }

bool itemExists(const QString& path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0;
}

bool isDirectory(const QString& path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Entries of a folder that count as content (".DS_Store" does not); -1 when it cannot be listed.
qsizetype contentCount(const QString& folder, QStringList* names = nullptr)
{
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return -1;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList kept;
    for (const QString& name : entries) {
        if (name.toLower() != QLatin1String(".ds_store"))
            kept << name;
    }
    if (names)
        *names = kept;
    return kept.size();
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A private folder beside `path`, on its volume so results move into place by rename; where
// that folder cannot be written, `reason` says so.
QString makeWorkFolder(const QString& path, QString* reason)
{
    QString error;
    int err = 0;
    const std::optional<WorkFolder> folder = WorkFolder::create(path, &error, &err);
    if (!folder) {
        std::printf("FAIL:%s\n", qPrintable(error));
        *reason = TaskPaths::writeProblem(QFileInfo(path).absolutePath(), err);
        return QString();
    }
    return folder->path();
}

QString withReason(const QString& message, const QString& reason)
{
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

void removeQuietly(const QString& path)
{
    if (path.isEmpty())
        return;
    QString error;
    if (!FileCopier::removeAll(path, &error))
        std::printf("%s\n", qPrintable(error));
}

// Moves without ever replacing what sits at `to`.
bool moveNoReplace(const QString& from, const QString& to, int* err)
{
    if (::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_NOREPLACE) == 0)
        return true;
    *err = errno;
    // FUSE and some network file systems know no flags: look, then rename.
    if (!RenameFlags::unsupported(*err))
        return false;
    if (itemExists(to)) {
        *err = EEXIST;
        return false;
    }
    if (::rename(encoded(from).constData(), encoded(to).constData()) == 0)
        return true;
    *err = errno;
    return false;
}

} // namespace

struct SecurityRuns::Job {
    bool encrypt = true;
    QString source;         // the chosen item, or the archive
    QString password;       // wiped when the background part is done
    QString workFolder;     // private folder beside the source; everything the run makes lives in it
    QString reason;         // why it failed, where more can be said than "Encrypt Fail"
    QString placeholder;    // MXTemp.tmp this run wrote into an empty folder
    QString destination;    // decryption: the archive's folder
    QStringList outputNames; // decryption: top-level names extracted into outputFolder()
    QString outputFolder() const { return workFolder + QStringLiteral("/out"); }
    std::shared_ptr<ProgressReceiver> progress;

    std::atomic<bool> cancelled{false};
    mutable std::mutex mutex;
    QString partial;
    LzmaSDKObjCWriter* writer = nullptr;
    LzmaSDKObjCReader* reader = nullptr;

    void setPartial(const QString& path)
    {
        std::lock_guard lock(mutex);
        partial = path;
    }
    QString partialPath() const
    {
        std::lock_guard lock(mutex);
        return partial;
    }
    void attach(LzmaSDKObjCWriter* w, LzmaSDKObjCReader* r)
    {
        std::lock_guard lock(mutex);
        writer = w;
        reader = r;
        if (cancelled.load()) {
            if (w)
                w->cancel();
            if (r)
                r->cancel();
        }
    }
    void cancel()
    {
        std::lock_guard lock(mutex);
        cancelled.store(true);
        partial.clear();
        if (writer)
            writer->cancel();
        if (reader)
            reader->cancel();
    }
};

SecurityRuns::SecurityRuns(SecurityRunHost* host, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_tester(&SecurityRuns::testArchive)
{
}

SecurityRuns::~SecurityRuns()
{
    if (!m_job)
        return;
    // A run still in the background cleans up after itself; one waiting for an answer does it here.
    m_job->cancel();
    if (m_replacePending)
        removeQuietly(m_job->workFolder);
}

QString SecurityRuns::selectArchivePassword(bool useSuffix, const QString& password)
{
    return useSuffix ? ArchivePassword::suffixForm(password) : ArchivePassword::archivePassword(password);
}

bool SecurityRuns::isProtectedPath(const QString& path)
{
    if (path.trimmed().isEmpty())
        return true;
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (clean == QLatin1String("/"))
        return true;
    return TaskPaths::isInsideOrEqual(QDir::homePath(), clean);
}

bool SecurityRuns::testArchive(const QString& archivePath, const QString& password, const std::atomic<bool>* cancel)
{
    const QString program = SevenZipProcess::findProgram();
    if (program.isEmpty())
        return false;
    SevenZipProcess process(cancel);
    QByteArray input = password.toUtf8() + '\n';
    process.setStandardInput(input);
    input.fill('\0');
    const SevenZipProcess::Result result = process.run(
        program, {QStringLiteral("t"), QStringLiteral("-t7z"), QStringLiteral("-bso0"), QStringLiteral("-bsp0"),
                  QStringLiteral("-bse2"), QStringLiteral("--"), archivePath});
    if (result.cancelled)
        return false;
    if (!result.started || result.crashed || result.exitCode != 0) {
        std::printf("FAIL:%s\n", qPrintable(SevenZipProcess::describeFailure(result)));
        return false;
    }
    return true;
}

QString SecurityRuns::archivePathForStopTask() const
{
    return m_job ? m_job->partialPath() : QString();
}

void SecurityRuns::showFailure(const QString& message)
{
    UtilityFunctions::showMessageView(this, tr("Information"), QStringLiteral("ic_log_fail"), message, false);
}

// ---------------------------------------------------------------- encryption

void SecurityRuns::encryptFiles(const QString& path, const QString& password)
{
    if (m_host)
        m_host->analyticsEvent(QStringLiteral("Common Action"), QStringLiteral("Do Encrypt"));
    if (m_job) {
        std::printf("task is executing\n");
        return;
    }
    if (path.isEmpty())
        return;
    const QString source = QDir::cleanPath(QDir(path).absolutePath());
    if (isProtectedPath(source)) {
        // Encrypting these would offer to delete the system or the user's home.
        showFailure(tr("\"%1\" cannot be encrypted. Choose a file or a folder inside it.").arg(source));
        return;
    }

    const TaskInfoPtr probe = TaskInfo::initWithValues(
        QString(), QString(), {}, source, {QString()}, -1, QString(), QString(), -1, -1, {}, {}, -1, -1, 0, 0, 0, 0, {},
        false);
    if (m_host && !m_host->checkFilesInUse(probe)) {
        std::printf("task is executing\n");
        return;
    }

    auto job = std::make_shared<Job>();
    job->encrypt = true;
    job->source = source;
    job->password = password;
    // An empty folder would leave the archive without the folder itself.
    if (isDirectory(source) && contentCount(source) == 0) {
        const QString placeholder = source + QLatin1Char('/') + kPlaceholder;
        QFile file(placeholder);
        if (!itemExists(placeholder) && file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.write("temp");
            file.close();
            job->placeholder = placeholder;
        }
    }
    m_job = job;
    if (m_host)
        job->progress = m_host->presentProgressSheet(tr("Encrypt"), QStringLiteral("ic_log_encrypt"),
                                                     tr("Encrypt Processing..."));

    QPointer<SecurityRuns> self(this);
    const ArchiveTester tester = m_tester;
    DispatchQueue::background().async([self, job, tester] {
        const Outcome outcome = writeArchive(*job, tester);
        job->password.fill(QChar(0));
        job->password.clear();
        DispatchQueue::main().async([self, job, outcome] {
            if (self)
                self->finishEncrypt(job, outcome);
            else
                removeQuietly(job->workFolder);
        });
    });
}

SecurityRuns::Outcome SecurityRuns::writeArchive(Job& job, const ArchiveTester& tester)
{
    const QString source = job.source;
    if (!itemExists(source))
        return Outcome::Failed;
    job.workFolder = makeWorkFolder(source + QStringLiteral(".enc"), &job.reason);
    if (job.workFolder.isEmpty())
        return Outcome::Failed;
    const QString name = QFileInfo(source).fileName();
    // A short name of ours: the item's own may already use all 255 bytes.
    const QString temporary = job.workFolder + QStringLiteral("/item.7z");
    job.setPartial(temporary);
    if (job.cancelled.load())
        return Outcome::Cancelled;

    const QString password = ArchivePassword::archivePassword(job.password);
    LzmaSDKObjCWriter writer(temporary);
    writer.setDelegate(job.progress.get());
    writer.setPasswordGetter([password] { return password; });
    writer.applyArchiveSettings(true);
    writer.addPath(source, name);
    job.attach(&writer, nullptr);
    QString error;
    if (!writer.open(&error))
        std::printf("%s\n", qPrintable(error));
    const bool written = writer.write();
    job.attach(nullptr, nullptr);
    if (job.cancelled.load())
        return Outcome::Cancelled;
    if (!written) {
        // Said with the name the archive would have had: the work folder is gone by then.
        job.reason = writer.lastError().replace(temporary, source + QStringLiteral(".enc"));
        return Outcome::Failed;
    }

    // Nothing is offered for deletion unless the archive opens and tests with the password.
    const bool tested = tester && tester(temporary, password, &job.cancelled);
    if (job.cancelled.load())
        return Outcome::Cancelled;
    if (!tested)
        return Outcome::Failed;

    const QString final = source + QStringLiteral(".enc");
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(final).constData()) != 0) {
        std::printf("%s\n", qPrintable(systemError(errno)));
        return Outcome::Failed;
    }
    syncFolder(QFileInfo(final).absolutePath());
    return Outcome::Ok;
}

void SecurityRuns::finishEncrypt(const std::shared_ptr<Job>& job, Outcome outcome)
{
    if (m_host)
        m_host->dismissProgress();
    job->progress.reset();
    if (!job->placeholder.isEmpty())
        QFile::remove(job->placeholder);
    removeQuietly(job->workFolder);
    m_job.reset();

    if (outcome == Outcome::Cancelled || job->cancelled.load()) {
        Q_EMIT runEnded();
        return;
    }
    if (outcome == Outcome::Failed) {
        showFailure(withReason(tr("Encrypt Fail"), job->reason));
        Q_EMIT runEnded();
        return;
    }
    m_securitySourcePath = job->source;
    askDeleteSource(true);
    Q_EMIT runEnded();
}

// ---------------------------------------------------------------- decryption

void SecurityRuns::decryptFile(const QString& path, const QString& password)
{
    if (m_host)
        m_host->analyticsEvent(QStringLiteral("Common Action"), QStringLiteral("Do Decrypt"));
    if (path.isEmpty())
        return;
    if (m_job) {
        std::printf("task is executing\n");
        return;
    }
    auto job = std::make_shared<Job>();
    job->encrypt = false;
    job->source = QDir::cleanPath(QDir(path).absolutePath());
    job->destination = QFileInfo(job->source).absolutePath();
    job->password = password;
    m_job = job;
    // The password test runs 7zz as well, so it runs behind the progress window, off the GUI thread.
    if (m_host)
        job->progress = m_host->presentProgressSheet(tr("Decrypt"), QStringLiteral("ic_log_dencrypt"),
                                                     tr("Decrypt Processing..."));

    QPointer<SecurityRuns> self(this);
    DispatchQueue::background().async([self, job] {
        const Outcome outcome = extractArchive(*job);
        job->password.fill(QChar(0));
        job->password.clear();
        DispatchQueue::main().async([self, job, outcome] {
            if (self)
                self->finishDecrypt(job, outcome);
            else
                removeQuietly(job->workFolder);
        });
    });
}

SecurityRuns::Outcome SecurityRuns::extractArchive(Job& job)
{
    const QString archive = job.source;
    LzmaSDKObjCReader reader(archive, 1);
    reader.setDelegate(job.progress.get());
    job.attach(nullptr, &reader);
    auto detach = qScopeGuard([&job] { job.attach(nullptr, nullptr); });

    // Our archives open with the digest form; older task archives with the suffix form.
    bool useSuffix = false;
    QString password = selectArchivePassword(useSuffix, job.password);
    reader.setPasswordGetter([&password] { return password; });
    QString error;
    if (!reader.open(&error)) {
        std::printf("Can't open archive: %s \n", qPrintable(error));
        if (job.cancelled.load())
            return Outcome::Cancelled;
        useSuffix = true;
        password = selectArchivePassword(useSuffix, job.password);
        if (!reader.open(&error)) {
            std::printf("Can't open archive: %s \n", qPrintable(error));
            if (job.cancelled.load())
                return Outcome::Cancelled;
            job.reason = reader.archiveRefused() ? tr("The password is wrong, or the archive is damaged.") : error;
            return Outcome::Failed;
        }
    }

    QList<LzmaSDKObjCItem> items;
    reader.iterateWithHandler([&items](const LzmaSDKObjCItem& item, const QString&) {
        items.append(item);
        return true;
    });
    QStringList names;
    for (const LzmaSDKObjCItem& item : std::as_const(items)) {
        const QStringList parts = item.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!parts.isEmpty() && !names.contains(parts.first()))
            names << parts.first();
    }
    if (names.isEmpty()) {
        job.reason = tr("The archive holds nothing to decrypt.");
        return Outcome::Failed;
    }

    std::printf("%s\n", qPrintable(archive));
    job.workFolder = makeWorkFolder(archive, &job.reason);
    if (job.workFolder.isEmpty())
        return Outcome::Failed;
    job.setPartial(job.workFolder);
    if (job.cancelled.load())
        return Outcome::Cancelled;
    std::printf("%s\n", qPrintable(job.destination + QLatin1Char('/') + names.join(QStringLiteral(", "))));

    if (!reader.extract(items, job.outputFolder(), true)) {
        if (job.cancelled.load())
            return Outcome::Cancelled;
        // Said with the places the items were meant for: the work folder is gone by then.
        job.reason = reader.lastError().replace(job.outputFolder(), job.destination);
        std::printf("Extract failed\n");
        return Outcome::Failed;
    }
    if (job.cancelled.load())
        return Outcome::Cancelled;

    // The placeholder of an encrypted empty folder goes; a folder with more in it is the user's.
    for (const QString& name : std::as_const(names)) {
        const QString folder = job.outputFolder() + QLatin1Char('/') + name;
        QStringList content;
        if (isDirectory(folder) && contentCount(folder, &content) == 1 && content.first() == kPlaceholder) {
            if (!QFile::remove(folder + QLatin1Char('/') + kPlaceholder))
                std::printf("FAIL:%s\n", "cannot remove the placeholder");
        }
    }
    // What was extracted must be on disk before the item it replaces, or the archive, goes.
    QString flushError;
    if (!DiskSync::syncFileSystem(job.workFolder, &flushError)) {
        job.reason = flushError;
        return Outcome::Failed;
    }
    job.outputNames = names;
    return Outcome::Ok;
}

void SecurityRuns::finishDecrypt(const std::shared_ptr<Job>& job, Outcome outcome)
{
    if (m_host)
        m_host->dismissProgress();
    job->progress.reset();

    if (outcome == Outcome::Cancelled || job->cancelled.load()) {
        discardJob();
        Q_EMIT runEnded();
        return;
    }
    if (outcome == Outcome::Failed) {
        discardJob();
        showFailure(withReason(tr("Decrypt Fail"), job->reason));
        Q_EMIT runEnded();
        return;
    }
    QString error;
    if (placeDecrypted(false, &error))
        return;
    if (!error.isEmpty()) {
        discardJob();
        showFailure(withReason(tr("Decrypt Fail"), error));
        Q_EMIT runEnded();
    }
}

bool SecurityRuns::placeDecrypted(bool replace, QString* error)
{
    const std::shared_ptr<Job> job = m_job;
    QStringList taken;
    for (const QString& name : std::as_const(job->outputNames)) {
        const QString from = job->outputFolder() + QLatin1Char('/') + name;
        const QString to = job->destination + QLatin1Char('/') + name;
        if (!itemExists(from))
            continue; // already moved on an earlier pass
        int err = 0;
        if (moveNoReplace(from, to, &err))
            continue;
        if (err != EEXIST && err != ENOTEMPTY) {
            *error = TaskPaths::writeProblem(job->destination, err);
            std::printf("%s\n", qPrintable(*error));
            return false;
        }
        if (!replace) {
            taken << name;
            continue;
        }
        // One exchange: the user's item is never missing from its place, and the old one goes
        // with the work folder once the run is through.
        const QString aside = job->workFolder + QStringLiteral("/old-%1").arg(job->outputNames.indexOf(name));
        if (::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_EXCHANGE) == 0) {
            ::rename(encoded(from).constData(), encoded(aside).constData());
            continue;
        }
        if (!RenameFlags::unsupported(errno)) {
            *error = TaskPaths::writeProblem(job->destination, errno);
            std::printf("%s\n", qPrintable(*error));
            return false;
        }
        // Where the file system knows no exchange, the old item is set aside first and dropped
        // only once the new one is in place.
        if (::rename(encoded(to).constData(), encoded(aside).constData()) != 0) {
            *error = TaskPaths::writeProblem(job->destination, errno);
            std::printf("%s\n", qPrintable(*error));
            return false;
        }
        if (!moveNoReplace(from, to, &err)) {
            ::rename(encoded(aside).constData(), encoded(to).constData());
            *error = TaskPaths::writeProblem(job->destination, err);
            std::printf("%s\n", qPrintable(*error));
            return false;
        }
    }
    if (!taken.isEmpty()) {
        m_replacePending = true;
        UtilityFunctions::showMessageView(
            this, tr("Information"), QStringLiteral("ic_log_info"),
            tr("\"%1\" already exists in this folder. Replace it with the decrypted item?")
                .arg(taken.join(QStringLiteral("\", \""))),
            true);
        return false;
    }
    syncFolder(job->destination);
    discardJob();
    // An archive that held an item of its own name was replaced by it: deleting "the archive"
    // now would delete the only copy of what it held.
    const bool archiveReplaced = std::any_of(job->outputNames.begin(), job->outputNames.end(), [&](const QString& name) {
        return QDir::cleanPath(job->destination + QLatin1Char('/') + name) == job->source;
    });
    m_securitySourcePath = archiveReplaced ? QString() : job->source;
    askDeleteSource(false);
    Q_EMIT runEnded();
    return true;
}

void SecurityRuns::btnClicked(int index)
{
    if (!m_replacePending || !m_job)
        return;
    m_replacePending = false;
    if (index == 0) {
        QString error;
        if (placeDecrypted(true, &error))
            return;
        if (m_replacePending)
            return;
        discardJob();
        showFailure(withReason(tr("Decrypt Fail"), error));
        Q_EMIT runEnded();
        return;
    }
    // Kept: the existing item stays as it was and the decrypted copy goes.
    discardJob();
    Q_EMIT runEnded();
}

void SecurityRuns::discardJob()
{
    if (!m_job)
        return;
    removeQuietly(m_job->workFolder);
    m_job.reset();
    m_replacePending = false;
}

// ---------------------------------------------------------------- shared ends

void SecurityRuns::removePartialArchive()
{
    // The run removes its work folder once the archive program has stopped.
    if (m_job && !m_replacePending)
        m_job->cancel();
}

void SecurityRuns::askDeleteSource(bool isEncrypt)
{
    const QString status = isEncrypt ? tr("Encrypt Done") : tr("Decrypt Done");
    if (m_host)
        m_host->askDeleteSource(status, this);
}

void SecurityRuns::deleteSourceFiles()
{
    const QString path = m_securitySourcePath;
    m_securitySourcePath.clear();
    if (path.isEmpty())
        return;
    if (isProtectedPath(path)) {
        showFailure(tr("Cannot remove file") + QStringLiteral(" \"") + path + QStringLiteral("\" ")
                    + tr(". Please delete it manually."));
        return;
    }
    QPointer<SecurityRuns> self(this);
    DispatchQueue::background().async([self, path] {
        QString error;
        const bool removed = FileCopier::removeAll(path, &error);
        if (!removed)
            std::printf("%s\n", qPrintable(error));
        DispatchQueue::main().async([self, path, removed] {
            if (self && !removed)
                self->showFailure(tr("Cannot remove file") + QStringLiteral(" \"") + path + QStringLiteral("\" ")
                                  + tr(". Please delete it manually."));
        });
    });
}
