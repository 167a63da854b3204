#include "LzmaSDKObjCReader.h"

#include "LzmaSDKObjCReaderDelegate.h"
#include "SevenZipLog.h"
#include "SevenZipHeader.h"
#include "SevenZipListing.h"
#include "SevenZipProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <algorithm>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList storedComponents(const QString& name) { return SevenZipListing::components(name); }

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Where an item lands below the destination folder, as path components.
QStringList placeOf(const LzmaSDKObjCItem& item, bool withFullPaths)
{
    const QStringList parts = storedComponents(item.path);
    return withFullPaths || parts.isEmpty() ? parts : QStringList{parts.last()};
}

bool startsWithComponents(const QStringList& parts, const QStringList& prefix)
{
    if (prefix.size() > parts.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (parts.at(i) != prefix.at(i))
            return false;
    }
    return true;
}

} // namespace

LzmaSDKObjCReader::LzmaSDKObjCReader(const QString& archivePath, int type)
    : m_archivePath(archivePath)
    , m_type(type)
{
}

void LzmaSDKObjCReader::setDelegate(LzmaSDKObjCReaderDelegate* delegate) { m_delegate = delegate; }
void LzmaSDKObjCReader::setPasswordGetter(std::function<QString()> getter) { m_passwordGetter = std::move(getter); }
void LzmaSDKObjCReader::cancel() { m_cancel.store(true); }
bool LzmaSDKObjCReader::wasCancelled() const { return m_cancel.load(); }

QString LzmaSDKObjCReader::lastError() const
{
    std::lock_guard lock(m_errorMutex);
    return m_lastError;
}

void LzmaSDKObjCReader::fail(const QString& message)
{
    qCWarning(lcSevenZip).noquote() << "archive" << m_archivePath << ":" << message;
    std::lock_guard lock(m_errorMutex);
    m_lastError = message;
}

bool LzmaSDKObjCReader::isSafeStoredName(const QString& name)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        return false;
    const QStringList parts = storedComponents(name);
    if (parts.isEmpty())
        return false;
    for (const QString& part : parts) {
        if (part == QLatin1String("..") || part == QLatin1String("."))
            return false;
    }
    return true;
}

QByteArray LzmaSDKObjCReader::passwordInput(bool* ok)
{
    *ok = true;
    if (!m_passwordGetter)
        return {};
    QString password = m_passwordGetter();
    if (password.contains(QLatin1Char('\n')) || password.contains(QLatin1Char('\r')) || password.contains(QChar(0))) {
        *ok = false;
        password.fill(QChar(0));
        return {};
    }
    QByteArray input = password.toUtf8() + '\n';
    password.fill(QChar(0));
    return input;
}

QList<LzmaSDKObjCItem> LzmaSDKObjCReader::list(const QStringList& filter, bool* ok, QString* error)
{
    *ok = false;
    bool passwordOk = false;
    QByteArray input = passwordInput(&passwordOk);
    if (!passwordOk) {
        *error = QStringLiteral("The password cannot contain line breaks.");
        return {};
    }
    SevenZipProcess process(&m_cancel);
    process.setCollectOutput(true);
    // Without a password the input stays closed, so an encrypted archive fails at once.
    process.setStandardInput(input);
    input.fill('\0');
    QStringList args{QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-bse2")};
    if (m_type == 1)
        args << QStringLiteral("-t7z");
    args << filter << QStringLiteral("--") << m_archivePath;
    const SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), args);
    if (result.cancelled) {
        *error = QStringLiteral("Cancelled.");
        return {};
    }
    // Reading the password from the closed input ends 7zz with "break" (255).
    if (result.started && !m_passwordGetter && result.exitCode == 255) {
        *error = QStringLiteral("Cannot open the archive \"%1\": it is encrypted and no password was given.").arg(m_archivePath);
        return {};
    }
    if (!result.started || result.crashed || result.exitCode != 0) {
        m_refused = result.started && !result.crashed;
        *error = QStringLiteral("Cannot open the archive \"%1\": %2")
                     .arg(m_archivePath, SevenZipProcess::describeFailure(result).remove(m_archivePath + QStringLiteral(" : ")));
        return {};
    }
    *ok = true;
    return SevenZipListing::parse(result.standardOutput);
}

bool LzmaSDKObjCReader::open(QString* error)
{
    m_opened = false;
    m_refused = false;
    m_items.clear();
    auto failWith = [&](const QString& message) {
        fail(message);
        if (error)
            *error = message;
        return false;
    };
    if (SevenZipProcess::findProgram().isEmpty())
        return failWith(SevenZipProcess::missingProgramMessage());
    if (!QFileInfo(m_archivePath).isFile())
        return failWith(QStringLiteral("The archive \"%1\" does not exist.").arg(m_archivePath));
    // Said as it is, not left to 7zz, whose refusal reads like a wrong password.
    if (QFile probe(m_archivePath); !probe.open(QIODevice::ReadOnly))
        return failWith(QStringLiteral("Cannot open the archive \"%1\": %2").arg(m_archivePath, probe.errorString()));
    if (m_cancel.load())
        return failWith(QStringLiteral("Cancelled."));

    bool ok = false;
    QString message;
    m_items = list({}, &ok, &message);
    if (!ok || !takeExactNames(&message)) {
        m_items.clear();
        return failWith(message);
    }
    m_opened = true;
    qCDebug(lcSevenZip) << "listed" << m_archivePath << m_items.size() << "items";
    return true;
}

namespace {

// `shown` as 7zz listed it, `stored` as the header holds it; nothing when they are not the
// same name but for line feeds shown as "_".
std::optional<QString> withLineFeeds(const QString& shown, const QString& stored)
{
    if (shown.size() != stored.size())
        return std::nullopt;
    QString exact = shown;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t listed = shown.at(i).unicode();
        const char16_t kept = stored.at(i).unicode();
        if (kept == u'\n' && listed == u'_')
            exact[i] = QLatin1Char('\n');
        // A byte that is not UTF-8: 7-Zip keeps it as U+EF00 plus the byte.
        else if (listed != kept && !(listed >= 0xDC80 && listed <= 0xDCFF && kept == 0xEF00 + (listed & 0xFF)))
            return std::nullopt;
    }
    return exact;
}

} // namespace

bool LzmaSDKObjCReader::takeExactNames(QString* error)
{
    const bool underscore = std::any_of(m_items.begin(), m_items.end(), [](const LzmaSDKObjCItem& item) {
        return item.path.contains(QLatin1Char('_'));
    });
    if (!underscore)
        return true;
    QString password = m_passwordGetter ? m_passwordGetter() : QString();
    QString headerError;
    const std::optional<QList<QString>> stored = SevenZipHeader::readNames(m_archivePath, password, &headerError);
    password.fill(QChar(0));
    if (stored && stored->size() == m_items.size()) {
        for (qsizetype i = 0; i < m_items.size(); ++i) {
            if (!stored->at(i).contains(QLatin1Char('\n')))
                continue;
            const std::optional<QString> exact = withLineFeeds(m_items.at(i).path, stored->at(i));
            if (!exact) {
                *error = QStringLiteral("The archive \"%1\" lists \"%2\" under another name than it holds.")
                             .arg(m_archivePath, m_items.at(i).path);
                return false;
            }
            m_items[i].path = *exact;
        }
        return true;
    }
    // Without the header (a coder it cannot read), 7zz's own filter says whether a name
    // holds a line feed at all.
    qCInfo(lcSevenZip).noquote() << (stored ? QStringLiteral("The header of \"%1\" does not list every item.").arg(m_archivePath)
                                            : headerError);
    bool ok = false;
    const QList<LzmaSDKObjCItem> withBreaks = list({QStringLiteral("-ir!*\n*")}, &ok, error);
    if (!ok)
        return false;
    if (!withBreaks.isEmpty()) {
        *error = QStringLiteral("The archive \"%1\" holds names with line breaks (such as \"%2\") that cannot be read exactly.")
                     .arg(m_archivePath, withBreaks.first().path);
        return false;
    }
    return true;
}

bool LzmaSDKObjCReader::iterateWithHandler(
    const std::function<bool(const LzmaSDKObjCItem& item, const QString& error)>& handler)
{
    if (!m_opened) {
        fail(QStringLiteral("The archive is not open."));
        return false;
    }
    for (const LzmaSDKObjCItem& item : std::as_const(m_items)) {
        if (!handler(item, QString()))
            break;
    }
    return true;
}

bool LzmaSDKObjCReader::checkDestination(const QString& toPath, QString* error) const
{
    // 7zz replaces an existing link at an item's own place, but follows links on
    // the way to it; such a link could send the extraction anywhere.
    QSet<QString> checked;
    QSet<QString> missing;   // nothing below these exists, so no link either
    const QString base = toPath.endsWith(QLatin1Char('/')) ? toPath.chopped(1) : toPath;
    for (const LzmaSDKObjCItem& item : m_items) {
        const QStringList parts = storedComponents(item.path);
        QString current = base;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            current += QLatin1Char('/') + parts.at(i);
            const bool leaf = i == parts.size() - 1;
            if (missing.contains(current))
                break;
            if (!leaf && checked.contains(current))
                continue;
            struct stat st;
            if (::lstat(SevenZipListing::encodeName(current).constData(), &st) != 0) {
                if (errno == ENOENT)
                    missing.insert(current);
                break;
            }
            if (S_ISLNK(st.st_mode) && !(leaf && !item.isDirectory)) {
                *error = QStringLiteral("\"%1\" is a symbolic link; nothing is extracted through it.").arg(current);
                return false;
            }
            if (!leaf)
                checked.insert(current);
        }
    }
    return true;
}

bool LzmaSDKObjCReader::checkLinksInArchive(QString* error) const
{
    // Nothing may be stored below a link: it would have to be written through it.
    QSet<QString> links;
    for (const LzmaSDKObjCItem& item : m_items) {
        if (item.isSymlink)
            links.insert(storedComponents(item.path).join(QLatin1Char('/')));
    }
    if (links.isEmpty())
        return true;
    for (const LzmaSDKObjCItem& item : m_items) {
        const QStringList parts = storedComponents(item.path);
        QString prefix;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            prefix += (i ? QStringLiteral("/") : QString()) + parts.at(i);
            if (links.contains(prefix)) {
                *error = QStringLiteral("The archive holds \"%1\" below the symbolic link \"%2\"; nothing was extracted.")
                             .arg(item.path, prefix);
                return false;
            }
        }
    }
    return true;
}

QList<qsizetype> LzmaSDKObjCReader::selectedItems(const QList<LzmaSDKObjCItem>& items) const
{
    QList<qsizetype> selected;
    // The same rule as the names handed to 7zz: all, or each named item with what is below it.
    const bool all = items.size() == m_items.size();
    QList<QStringList> wanted;
    if (!all) {
        for (const LzmaSDKObjCItem& item : items)
            wanted << storedComponents(item.path);
    }
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const QStringList parts = storedComponents(m_items.at(i).path);
        if (all || std::any_of(wanted.begin(), wanted.end(), [&](const QStringList& w) { return startsWithComponents(parts, w); }))
            selected << i;
    }
    return selected;
}

bool LzmaSDKObjCReader::checkItems(QString* error) const
{
    for (const LzmaSDKObjCItem& item : m_items) {
        if (!isSafeStoredName(item.path)) {
            *error = QStringLiteral("The archive holds an unsafe item name \"%1\"; nothing was extracted.").arg(item.path);
            return false;
        }
    }
    return checkLinksInArchive(error);
}

bool LzmaSDKObjCReader::extractTo(const QStringList& bases, const QList<ArchiveStreamWriter::Target>& targets,
                                  std::vector<ArchiveStreamWriter::Folder>* folders)
{
    if (!m_opened && !open(nullptr))
        return false;
    if (m_cancel.load()) {
        fail(QStringLiteral("Cancelled."));
        return false;
    }
    QString message;
    if (!checkItems(&message)) {
        fail(message);
        return false;
    }
    ArchiveStreamWriter writer(bases, m_items, targets);
    if (!writer.open(&message)) {
        fail(message);
        return false;
    }
    bool ok = false;
    QByteArray input = passwordInput(&ok);
    if (!ok) {
        fail(QStringLiteral("The password cannot contain line breaks."));
        return false;
    }
    // One pass over the archive's data: 7zz decompresses, this process writes. 7zz itself
    // would rewrite absolute link texts, skip some relative ones, and write through links.
    SevenZipProcess process(&m_cancel);
    process.setStandardInput(input);
    input.fill('\0');
    int lastPercent = -1;
    const qint64 total = std::max<qint64>(writer.totalBytes(), 1);
    process.setOutputHandler([&](const char* data, qsizetype size) {
        if (!writer.write(data, size))
            return false;
        const int percent = int(writer.bytesDone() * 100 / total);
        if (m_delegate && percent > lastPercent) {
            lastPercent = percent;
            m_delegate->onLzmaSDKObjCReader(this, float(percent) / 100.0f);
        }
        return true;
    });
    QStringList args{QStringLiteral("x"), QStringLiteral("-so"), QStringLiteral("-spd"), QStringLiteral("-y"),
                     QStringLiteral("-bsp0"), QStringLiteral("-bse2")};
    if (m_type == 1)
        args << QStringLiteral("-t7z");
    args << QStringLiteral("--") << m_archivePath;
    const SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), args);
    if (result.cancelled || m_cancel.load()) {
        fail(QStringLiteral("Cancelled."));
        return false;
    }
    if (result.refused || !writer.error().isEmpty()) {
        fail(writer.error());
        return false;
    }
    if (!result.started || result.crashed || result.exitCode != 0) {
        fail(QStringLiteral("Cannot extract the archive \"%1\": %2")
                 .arg(m_archivePath, SevenZipProcess::describeFailure(result).remove(m_archivePath + QStringLiteral(" : "))));
        return false;
    }
    if (!writer.finish()) {
        fail(writer.error());
        return false;
    }
    if (folders)
        *folders = writer.folders();
    if (m_delegate)
        m_delegate->onLzmaSDKObjCReader(this, 1.0f);
    qCInfo(lcSevenZip) << "extracted" << m_archivePath;
    return true;
}

bool LzmaSDKObjCReader::extract(const QList<LzmaSDKObjCItem>& items, const QString& toPath, bool withFullPaths)
{
    if (!m_opened && !open(nullptr))
        return false;
    QString message;
    if (!checkItems(&message)) {
        fail(message);
        return false;
    }
    if (items.isEmpty())
        return true;
    if (toPath.isEmpty()) {
        fail(QStringLiteral("No destination folder was given."));
        return false;
    }
    if (!QDir().mkpath(toPath)) {
        fail(QStringLiteral("Cannot create the folder \"%1\".").arg(toPath));
        return false;
    }
    if (withFullPaths && !checkDestination(toPath, &message)) {
        fail(message);
        return false;
    }
    QList<ArchiveStreamWriter::Target> targets(m_items.size());
    for (const qsizetype index : selectedItems(items))
        targets[index] = {0, SevenZipListing::encodeName(placeOf(m_items.at(index), withFullPaths).join(QLatin1Char('/')))};
    std::vector<ArchiveStreamWriter::Folder> folders;
    if (!extractTo({toPath}, targets, &folders))
        return false;
    // Deepest first, each folder once what it holds is written; it stays open to its owner
    // so what it holds can be moved out.
    std::stable_sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) {
        return a.relative.count('/') > b.relative.count('/');
    });
    const int base = ::open(QFile::encodeName(toPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (base < 0) {
        fail(QStringLiteral("Cannot open the folder \"%1\": %2").arg(toPath, systemError(errno)));
        return false;
    }
    for (const ArchiveStreamWriter::Folder& folder : folders) {
        if (folder.mode && ::fchmodat(base, folder.relative.constData(), (folder.mode & 07777) | S_IRWXU, 0) != 0)
            qCWarning(lcSevenZip).noquote() << "cannot set the permissions of" << folder.relative << systemError(errno);
        if (folder.modifiedNanoseconds >= 0) {
            struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(folder.modifiedSeconds), folder.modifiedNanoseconds}};
            ::utimensat(base, folder.relative.constData(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
    ::close(base);
    return true;
}
