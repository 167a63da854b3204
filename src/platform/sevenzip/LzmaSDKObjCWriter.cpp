#include "LzmaSDKObjCWriter.h"

#include "LzmaSDKObjCWriterDelegate.h"
#include "SevenZipLog.h"
#include "SevenZipProcess.h"
#include "WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Whole components: "/a/bc" is not inside "/a/b".
bool isInsideOrEqual(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

// Data and the rename must reach the disk before the old archive disappears.
bool syncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

QStringList LzmaSDKObjCWriter::memorySwitches(qint64 physicalMemory, int cores)
{
    constexpr qint64 kMiB = 1 << 20;
    // 7zz's own buffers and the header come on top of the coders.
    const qint64 budget = std::max(std::min(physicalMemory / 4, 2048 * kMiB) - 64 * kMiB, 32 * kMiB);
    cores = std::max(cores, 1);
    auto switches = [cores](int coders, qint64 dictionary) {
        return QStringList{QStringLiteral("-mmt=%1").arg(std::min(cores, 2 * coders)),
                           QStringLiteral("-m0=LZMA2:d=%1m:c=%1m").arg(dictionary)};
    };
    for (int coders = std::max(cores / 2, 1); coders >= 1; --coders) {
        for (const qint64 dictionary : {64, 48, 32, 24, 16, 12, 8, 6, 4, 3, 2, 1}) {
            if (coders * (dictionary * kMiB * 25 / 2 + 8 * kMiB) <= budget)
                return switches(coders, dictionary);
        }
    }
    return switches(1, 1);
}

LzmaSDKObjCWriter::LzmaSDKObjCWriter(const QString& archivePath)
    : m_archivePath(archivePath)
{
}

void LzmaSDKObjCWriter::addPath(const QString& path, const QString& forPath) { m_entries.append({path, forPath}); }
void LzmaSDKObjCWriter::excludePath(const QString& path) { m_excluded << QDir::cleanPath(path); }
void LzmaSDKObjCWriter::setDelegate(LzmaSDKObjCWriterDelegate* delegate) { m_delegate = delegate; }
void LzmaSDKObjCWriter::setPasswordGetter(std::function<QString()> getter) { m_passwordGetter = std::move(getter); }
void LzmaSDKObjCWriter::setMethod(int method) { m_method = method; }
void LzmaSDKObjCWriter::setSolid(bool solid) { m_solid = solid; }
void LzmaSDKObjCWriter::setCompressionLevel(int level) { m_level = qBound(0, level, 9); }
void LzmaSDKObjCWriter::setEncodeContent(bool encode) { m_encodeContent = encode; }
void LzmaSDKObjCWriter::setEncodeHeader(bool encode) { m_encodeHeader = encode; }
void LzmaSDKObjCWriter::setCompressHeader(bool compress) { m_compressHeader = compress; }
void LzmaSDKObjCWriter::setCompressHeaderFull(bool compress) { m_compressHeaderFull = compress; }
void LzmaSDKObjCWriter::setWriteModificationTime(bool write) { m_writeMTime = write; }
void LzmaSDKObjCWriter::setWriteCreationTime(bool write) { m_writeCTime = write; }
void LzmaSDKObjCWriter::setWriteAccessTime(bool write) { m_writeATime = write; }

void LzmaSDKObjCWriter::cancel() { m_cancel.store(true); }
bool LzmaSDKObjCWriter::wasCancelled() const { return m_cancel.load(); }

QString LzmaSDKObjCWriter::lastError() const
{
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

void LzmaSDKObjCWriter::fail(const QString& message)
{
    qCWarning(lcSevenZip).noquote() << "archive" << m_archivePath << "not written:" << message;
    std::lock_guard lock(m_errorMutex);
    m_lastError = message;
}

bool LzmaSDKObjCWriter::check(QString* error) const
{
    auto failWith = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (SevenZipProcess::findProgram().isEmpty())
        return failWith(SevenZipProcess::missingProgramMessage());
    const QFileInfo archive(m_archivePath);
    if (m_archivePath.isEmpty() || archive.fileName().isEmpty())
        return failWith(QStringLiteral("No archive file name was given."));
    const QString folder = archive.absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return failWith(QStringLiteral("Cannot write to the folder \"%1\": %2").arg(folder, systemError(errno)));
    if (m_entries.isEmpty())
        return failWith(QStringLiteral("Nothing to archive."));

    bool full = false;
    bool bare = false;
    QString bareParent;
    for (const Entry& entry : m_entries) {
        struct stat st;
        if (::lstat(QFile::encodeName(entry.path).constData(), &st) != 0)
            return failWith(QStringLiteral("Cannot read \"%1\": %2").arg(entry.path, systemError(errno)));
        const QFileInfo info(entry.path);
        if (entry.forPath == entry.path && entry.path.startsWith(QLatin1Char('/'))) {
            full = true;
        } else if (!entry.forPath.isEmpty() && entry.forPath == info.fileName()) {
            if (bare && bareParent != info.absolutePath())
                return failWith(QStringLiteral("Items stored by their file names must share one folder."));
            bare = true;
            bareParent = info.absolutePath();
        } else {
            return failWith(QStringLiteral("\"%1\" can be stored only under its absolute path or its file name.")
                                .arg(entry.path));
        }
    }
    if (full && bare)
        return failWith(QStringLiteral("Items stored under absolute paths and by file names cannot be mixed."));
    return true;
}

bool LzmaSDKObjCWriter::open(QString* error)
{
    QString message;
    if (check(&message))
        return true;
    fail(message);
    if (error)
        *error = message;
    return false;
}

QStringList LzmaSDKObjCWriter::arguments(const Step& step, bool withPassword, const QString& target) const
{
    auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    QStringList args{step.rename ? QStringLiteral("rn") : QStringLiteral("a"), QStringLiteral("-t7z"),
                     QStringLiteral("-mx=%1").arg(m_level),
                     QStringLiteral("-ms=%1").arg(onOff(m_solid)),
                     QStringLiteral("-mhc=%1").arg(onOff(m_compressHeader)),
                     QStringLiteral("-mtm=%1").arg(onOff(m_writeMTime)),
                     QStringLiteral("-mtc=%1").arg(onOff(m_writeCTime)),
                     QStringLiteral("-mta=%1").arg(onOff(m_writeATime))};
    if (m_compressHeader)
        args << QStringLiteral("-mhcf=%1").arg(onOff(m_compressHeaderFull));
    if (withPassword) {
        // Bare -p: 7zz reads the password from its standard input.
        args << QStringLiteral("-p");
        if (m_encodeHeader)
            args << QStringLiteral("-mhe=on");
    }
    // Links stay links, names are literal, an unreadable input fails the run, and the
    // coders fit the machine's memory.
    if (!step.rename) {
        args << QStringLiteral("-snl") << QStringLiteral("-sse");
        static const QStringList bound = memorySwitches(qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE),
                                                        int(::sysconf(_SC_NPROCESSORS_ONLN)));
        args << bound;
    }
    args << QStringLiteral("-spd") << QStringLiteral("-bso0") << QStringLiteral("-bsp1") << QStringLiteral("-bse2")
         << QStringLiteral("-y");
    if (!step.rename && fullPaths()) {
        args << QStringLiteral("-spf");
        // Named as 7zz reads them: below the real place of a source reached through a link.
        for (qsizetype i = 0; i < step.names.size() && i < step.stored.size(); ++i) {
            for (const QString& excluded : m_excluded) {
                if (excluded != step.stored.at(i) && isInsideOrEqual(excluded, step.stored.at(i)))
                    args << QStringLiteral("-x!") + step.names.at(i) + excluded.mid(step.stored.at(i).size());
            }
        }
    }
    args << QStringLiteral("--") << target << step.names;
    return args;
}

bool LzmaSDKObjCWriter::fullPaths() const
{
    return !m_entries.isEmpty() && m_entries.first().forPath == m_entries.first().path;
}

std::optional<QList<LzmaSDKObjCWriter::Step>> LzmaSDKObjCWriter::plan(QString* error) const
{
    // 7zz fails on a name given twice; what lies inside another entry is in it already.
    QList<Entry> entries;
    for (const Entry& entry : m_entries) {
        const Entry cleaned{QDir::cleanPath(entry.path), fullPaths() ? QDir::cleanPath(entry.path) : entry.forPath};
        const bool covered = std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& other) {
            const QString otherPath = QDir::cleanPath(other.path);
            return otherPath != cleaned.path && isInsideOrEqual(cleaned.path, otherPath);
        });
        const bool repeated = std::any_of(entries.begin(), entries.end(), [&](const Entry& kept) { return kept.path == cleaned.path; });
        if (!covered && !repeated)
            entries << cleaned;
    }
    if (!fullPaths()) {
        Step step;
        for (const Entry& entry : std::as_const(entries))
            step.names << entry.forPath;
        return QList<Step>{step};
    }

    // 7zz stores links as links all along a name it is given, so a source that is a link,
    // or lies below one, is read from its real place, then renamed to the name it was given.
    struct Source {
        QString stored;
        QString real;
    };
    QStringList direct;
    QList<Source> pending;
    for (const Entry& entry : std::as_const(entries)) {
        const QString real = realPlace(entry.path, error);
        if (real.isEmpty())
            return std::nullopt;
        if (real == entry.path)
            direct << entry.path;
        else
            pending.append({entry.path, real});
    }
    // A rename would also catch names already stored below the old name, so each round
    // reads only real places that no stored name and no other source of the round touches.
    auto overlap = [](const QString& a, const QString& b) { return isInsideOrEqual(a, b) || isInsideOrEqual(b, a); };
    QList<Step> steps;
    while (!pending.isEmpty()) {
        QList<qsizetype> round;
        for (qsizetype i = 0; i < pending.size(); ++i) {
            const Source& source = pending.at(i);
            bool fits = true;
            for (qsizetype k = 0; k < pending.size() && fits; ++k) {
                const Source& other = pending.at(k);
                if (round.contains(k))
                    fits = !overlap(source.real, other.real) && !overlap(source.real, other.stored)
                        && !overlap(source.stored, other.real);
                else if (k != i)
                    fits = !overlap(other.real, source.stored);   // that one is read first
            }
            if (fits)
                round << i;
        }
        if (round.isEmpty()) {
            *error = QStringLiteral("\"%1\" and \"%2\" each lead through a link into the other; they cannot be archived together.")
                         .arg(pending.first().stored, pending.last().stored);
            return std::nullopt;
        }
        Step add;
        Step rename;
        rename.rename = true;
        QList<Source> later;
        for (qsizetype i = 0; i < pending.size(); ++i) {
            if (!round.contains(i)) {
                later << pending.at(i);
                continue;
            }
            add.names << pending.at(i).real;
            add.stored << pending.at(i).stored;
            rename.names << pending.at(i).real << pending.at(i).stored;
        }
        steps << add << rename;
        pending = later;
    }
    if (!direct.isEmpty())
        steps << Step{false, direct, direct};
    return steps;
}

QString LzmaSDKObjCWriter::realPlace(const QString& path, QString* error)
{
    auto resolved = [](const QString& p) {
        char* real = ::realpath(QFile::encodeName(p).constData(), nullptr);
        const QString result = real ? QFile::decodeName(real) : QString();
        std::free(real);
        return result;
    };
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Followed like "cp -H"; a link that leads nowhere is kept as the link it is.
        const QString target = resolved(path);
        if (!target.isEmpty())
            return target;
    }
    if (path == QLatin1String("/"))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString parent = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    const QString realParent = resolved(parent);
    if (realParent.isEmpty()) {
        *error = QStringLiteral("Cannot read \"%1\": %2").arg(parent, systemError(errno));
        return {};
    }
    return (realParent == QLatin1String("/") ? QString() : realParent) + path.mid(slash);
}

bool LzmaSDKObjCWriter::write()
{
    if (m_cancel.load()) {
        fail(QStringLiteral("Cancelled."));
        return false;
    }
    QString message;
    if (!check(&message)) {
        fail(message);
        return false;
    }
    const std::optional<QList<Step>> steps = plan(&message);
    if (!steps) {
        fail(message);
        return false;
    }

    QString password;
    if (m_passwordGetter && m_encodeContent)
        password = m_passwordGetter();
    if (password.contains(QLatin1Char('\n')) || password.contains(QLatin1Char('\r')) || password.contains(QChar(0))) {
        password.fill(QChar(0));
        fail(QStringLiteral("The password cannot contain line breaks."));
        return false;
    }
    const bool withPassword = !password.isEmpty();
    // 7zz may ask again to verify; a surplus line is never read.
    QByteArray line = password.toUtf8() + '\n';
    password.fill(QChar(0));
    auto wipe = qScopeGuard([&line] { line.fill('\0'); });

    const QString folder = QFileInfo(m_archivePath).absolutePath();
    int err = 0;
    std::optional<WorkFolder> work = WorkFolder::create(m_archivePath, &message, &err);
    if (!work) {
        fail(err == EACCES || err == EPERM
                 ? QStringLiteral("You may not write in the folder \"%1\".").arg(folder)
                 : QStringLiteral("Cannot create a temporary folder: %1").arg(message));
        return false;
    }
    // A .7z name, so 7zz adds no extension of its own.
    const QString target = work->entry(QStringLiteral("archive.7z"));
    auto discard = [&] { work->remove(); };

    for (qsizetype n = 0; n < steps->size(); ++n) {
        SevenZipProcess process(&m_cancel);
        if (!fullPaths())
            process.setWorkingDirectory(QFileInfo(m_entries.first().path).absolutePath());
        if (withPassword)
            process.setStandardInput(line + line);
        const float first = float(n) / float(steps->size());
        const float share = 1.0f / float(steps->size());
        process.setProgressHandler([this, first, share](float value) {
            if (m_delegate)
                m_delegate->onLzmaSDKObjCWriter(this, first + value * share);
        });
        const SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), arguments(steps->at(n), withPassword, target));
        if (result.cancelled || m_cancel.load()) {
            discard();
            fail(QStringLiteral("Cancelled."));
            return false;
        }
        if (!result.started || result.crashed || result.exitCode != 0 || !QFileInfo::exists(target)) {
            discard();
            fail(QStringLiteral("Cannot write the archive \"%1\": %2").arg(m_archivePath, SevenZipProcess::describeFailure(result)));
            return false;
        }
    }
    if (!syncPath(target, O_RDONLY)) {
        const int err = errno;
        discard();
        fail(QStringLiteral("Cannot flush \"%1\" to disk: %2").arg(target, systemError(err)));
        return false;
    }
    if (::rename(QFile::encodeName(target).constData(), QFile::encodeName(m_archivePath).constData()) != 0) {
        const int err = errno;
        discard();
        fail(QStringLiteral("Cannot move the archive to \"%1\": %2").arg(m_archivePath, systemError(err)));
        return false;
    }
    discard();
    syncPath(folder, O_RDONLY | O_DIRECTORY);
    if (m_delegate)
        m_delegate->onLzmaSDKObjCWriter(this, 1.0f);
    qCInfo(lcSevenZip) << "archive written" << m_archivePath;
    return true;
}

void LzmaSDKObjCWriter::applyArchiveSettings(bool encrypt)
{
    setMethod(0);
    setSolid(true);
    setCompressionLevel(9);
    setEncodeContent(encrypt);
    setEncodeHeader(encrypt);
    setCompressHeader(true);
    setCompressHeaderFull(true);
    // Modification times go in: a restore that dated every file to its own day would lose
    // what people sort their photos and papers by.
    setWriteModificationTime(true);
    setWriteCreationTime(false);
    setWriteAccessTime(false);
}
