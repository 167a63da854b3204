#include "LzmaSDKObjCWriter.h"

#include "LzmaSDKObjCWriterDelegate.h"
#include "SevenZipLog.h"
#include "SevenZipProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

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

LzmaSDKObjCWriter::LzmaSDKObjCWriter(const QString& archivePath)
    : m_archivePath(archivePath)
{
}

void LzmaSDKObjCWriter::addPath(const QString& path, const QString& forPath) { m_entries.append({path, forPath}); }
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

QStringList LzmaSDKObjCWriter::arguments(bool withPassword, const QString& target) const
{
    auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    QStringList args{QStringLiteral("a"), QStringLiteral("-t7z"),
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
    // Links stay links, names are literal, an unreadable input fails the run.
    args << QStringLiteral("-snl") << QStringLiteral("-spd") << QStringLiteral("-sse")
         << QStringLiteral("-bso0") << QStringLiteral("-bsp1") << QStringLiteral("-bse2") << QStringLiteral("-y");
    const bool full = !m_entries.isEmpty() && m_entries.first().forPath == m_entries.first().path;
    if (full)
        args << QStringLiteral("-spf");
    args << QStringLiteral("--") << target;
    for (const Entry& entry : m_entries)
        args << (full ? entry.path : entry.forPath);
    return args;
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

    QString password;
    if (m_passwordGetter && m_encodeContent)
        password = m_passwordGetter();
    if (password.contains(QLatin1Char('\n')) || password.contains(QLatin1Char('\r')) || password.contains(QChar(0))) {
        fail(QStringLiteral("The password cannot contain line breaks."));
        return false;
    }

    const QFileInfo archive(m_archivePath);
    const QString folder = archive.absolutePath();
    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/.") + archive.fileName() + QStringLiteral(".XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        fail(QStringLiteral("Cannot create a temporary folder in \"%1\": %2").arg(folder, systemError(errno)));
        return false;
    }
    const QString tempDir = QFile::decodeName(pattern);
    const QString target = tempDir + QStringLiteral("/archive.7z");
    auto discard = [&] { QDir(tempDir).removeRecursively(); };

    SevenZipProcess process(&m_cancel);
    if (m_entries.first().forPath != m_entries.first().path)
        process.setWorkingDirectory(QFileInfo(m_entries.first().path).absolutePath());
    const bool withPassword = !password.isEmpty();
    if (withPassword) {
        // 7zz may ask again to verify; a surplus line is never read.
        QByteArray line = password.toUtf8() + '\n';
        process.setStandardInput(line + line);
        line.fill('\0');
    }
    password.fill(QChar(0));
    process.setProgressHandler([this](float value) {
        if (m_delegate)
            m_delegate->onLzmaSDKObjCWriter(this, value);
    });

    const SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), arguments(withPassword, target));
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
    setWriteModificationTime(false);
    setWriteCreationTime(false);
    setWriteAccessTime(false);
}
