#include "LzmaSDKObjCReader.h"

#include "LzmaSDKObjCReaderDelegate.h"
#include "SevenZipLog.h"
#include "SevenZipProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <algorithm>
#include <map>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

QStringList storedComponents(const QString& name)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return name.split(separators, Qt::SkipEmptyParts);
}

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The "drwxr-xr-x" form 7zz prints after the attribute letters; 0 for anything else.
quint32 parseModeText(const QString& text)
{
    if (text.size() != 10)
        return 0;
    quint32 mode = 0;
    switch (text.at(0).unicode()) {
    case '-': mode = S_IFREG; break;
    case 'd': mode = S_IFDIR; break;
    case 'l': mode = S_IFLNK; break;
    case 'c': mode = S_IFCHR; break;
    case 'b': mode = S_IFBLK; break;
    case 'p': mode = S_IFIFO; break;
    case 's': mode = S_IFSOCK; break;
    default: return 0;
    }
    static const quint32 special[3] = {S_ISUID, S_ISGID, S_ISVTX};
    for (int who = 0; who < 3; ++who) {
        const int shift = 6 - 3 * who;
        const QChar r = text.at(1 + 3 * who);
        const QChar w = text.at(2 + 3 * who);
        const QChar x = text.at(3 + 3 * who);
        const char setChar = who == 2 ? 't' : 's';
        if (r == QLatin1Char('r'))
            mode |= 4u << shift;
        else if (r != QLatin1Char('-'))
            return 0;
        if (w == QLatin1Char('w'))
            mode |= 2u << shift;
        else if (w != QLatin1Char('-'))
            return 0;
        if (x == QLatin1Char('x')) {
            mode |= 1u << shift;
        } else if (x == QLatin1Char(setChar)) {
            mode |= (1u << shift) | special[who];
        } else if (x == QLatin1Char(char(setChar - 'a' + 'A'))) {
            mode |= special[who];
        } else if (x != QLatin1Char('-')) {
            return 0;
        }
    }
    return mode;
}

// To make sure each link's text was cut from 7zz's output at the right place.
quint32 crc32Of(const QByteArray& data)
{
    return quint32(::crc32(0L, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size())));
}

struct Listing {
    QList<LzmaSDKObjCItem> items;
    QList<std::optional<quint32>> crcs;
};

Listing parseListing(const QByteArray& output)
{
    Listing listing;
    const QString text = QString::fromUtf8(output);
    const qsizetype marker = text.indexOf(QLatin1String("\n----------\n"));
    if (marker < 0)
        return listing;
    LzmaSDKObjCItem item;
    std::optional<quint32> crc;
    bool hasPath = false;
    auto flush = [&] {
        if (hasPath) {
            listing.items.append(item);
            listing.crcs.append(crc);
        }
        item = LzmaSDKObjCItem();
        crc.reset();
        hasPath = false;
    };
    const QStringList lines = text.mid(marker + 12).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.isEmpty()) {
            flush();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1String(" ="));
        if (eq < 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq, 3) == QLatin1String(" = ") ? line.mid(eq + 3) : QString();
        if (key == QLatin1String("Path")) {
            item.path = value;
            hasPath = true;
        } else if (key == QLatin1String("Folder")) {
            item.isDirectory = item.isDirectory || value == QLatin1String("+");
        } else if (key == QLatin1String("Size")) {
            item.size = value.toLongLong();
        } else if (key == QLatin1String("CRC")) {
            bool ok = false;
            const quint32 value32 = value.toUInt(&ok, 16);
            if (ok)
                crc = value32;
        } else if (key == QLatin1String("Attributes")) {
            const QStringList parts = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (!parts.isEmpty() && parts.first().contains(QLatin1Char('D')))
                item.isDirectory = true;
            for (const QString& part : parts) {
                if (const quint32 mode = parseModeText(part)) {
                    item.unixMode = mode;
                    if (S_ISLNK(mode))
                        item.isSymlink = true;
                    if (S_ISDIR(mode))
                        item.isDirectory = true;
                }
            }
        }
    }
    flush();
    return listing;
}

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

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset();
        m_fd = std::exchange(other.m_fd, -1);
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Opens a folder below `dir` without following a link, creating it when missing.
Fd openChildFolder(int dir, const QString& name, bool create, QString* error, const QString& shownPath)
{
    const QByteArray encoded = QFile::encodeName(name);
    const int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dir, encoded.constData(), flags);
    if (fd < 0 && errno == ENOENT && create) {
        if (::mkdirat(dir, encoded.constData(), 0777) != 0 && errno != EEXIST) {
            *error = QStringLiteral("Cannot create the folder \"%1\": %2").arg(shownPath, systemError(errno));
            return Fd();
        }
        fd = ::openat(dir, encoded.constData(), flags);
    }
    if (fd < 0) {
        const int err = errno;
        *error = err == ELOOP || err == ENOTDIR
            ? QStringLiteral("\"%1\" is not a folder; nothing is extracted through it.").arg(shownPath)
            : QStringLiteral("Cannot open the folder \"%1\": %2").arg(shownPath, systemError(err));
    }
    return Fd(fd);
}

struct FolderNode {
    std::map<QString, FolderNode> children;
};

// Gives every extracted folder u+rwx, parents first, so its contents can be moved out.
bool openUpFolders(int dir, const FolderNode& node, const QString& shownPath, QString* error)
{
    for (const auto& [name, child] : node.children) {
        const QString path = shownPath + QLatin1Char('/') + name;
        const QByteArray encoded = QFile::encodeName(name);
        struct stat st;
        if (::fstatat(dir, encoded.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if ((st.st_mode & S_IRWXU) != S_IRWXU
            && ::fchmodat(dir, encoded.constData(), (st.st_mode & 07777) | S_IRWXU, 0) != 0) {
            *error = QStringLiteral("Cannot change the permissions of \"%1\": %2").arg(path, systemError(errno));
            return false;
        }
        if (child.children.empty())
            continue;
        const Fd fd = openChildFolder(dir, name, false, error, path);
        if (!fd.valid() || !openUpFolders(fd.get(), child, path, error))
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

bool LzmaSDKObjCReader::open(QString* error)
{
    m_opened = false;
    m_items.clear();
    m_crcs.clear();
    auto failWith = [&](const QString& message) {
        fail(message);
        if (error)
            *error = message;
        return false;
    };
    const QString program = SevenZipProcess::findProgram();
    if (program.isEmpty())
        return failWith(SevenZipProcess::missingProgramMessage());
    if (!QFileInfo(m_archivePath).isFile())
        return failWith(QStringLiteral("The archive \"%1\" does not exist.").arg(m_archivePath));
    if (m_cancel.load())
        return failWith(QStringLiteral("Cancelled."));

    bool ok = false;
    QByteArray input = passwordInput(&ok);
    if (!ok)
        return failWith(QStringLiteral("The password cannot contain line breaks."));

    SevenZipProcess process(&m_cancel);
    process.setCollectOutput(true);
    // Without a password the input stays closed, so an encrypted archive fails at once.
    process.setStandardInput(input);
    input.fill('\0');
    QStringList args{QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-bse2")};
    if (m_type == 1)
        args << QStringLiteral("-t7z");
    args << QStringLiteral("--") << m_archivePath;
    const SevenZipProcess::Result result = process.run(program, args);
    if (result.cancelled)
        return failWith(QStringLiteral("Cancelled."));
    // Reading the password from the closed input ends 7zz with "break" (255).
    if (result.started && !m_passwordGetter && result.exitCode == 255)
        return failWith(QStringLiteral("Cannot open the archive \"%1\": it is encrypted and no password was given.")
                            .arg(m_archivePath));
    if (!result.started || result.crashed || result.exitCode != 0)
        return failWith(QStringLiteral("Cannot open the archive \"%1\": %2")
                            .arg(m_archivePath, SevenZipProcess::describeFailure(result).remove(m_archivePath + QStringLiteral(" : "))));
    Listing listing = parseListing(result.standardOutput);
    m_items = std::move(listing.items);
    m_crcs = std::move(listing.crcs);
    m_opened = true;
    qCDebug(lcSevenZip) << "listed" << m_archivePath << m_items.size() << "items";
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
            if (::lstat(QFile::encodeName(current).constData(), &st) != 0) {
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

bool LzmaSDKObjCReader::readLinkTargets(const QList<qsizetype>& links, QList<QByteArray>* targets, QString* error)
{
    // 7zz writes the stored text of each named item to its output, in archive order.
    // A link's stored text is its target, byte for byte; nothing else gives it unaltered.
    QStringList names;
    QSet<QStringList> nameParts;
    for (const qsizetype index : links) {
        if (!nameParts.contains(storedComponents(m_items.at(index).path))) {
            nameParts.insert(storedComponents(m_items.at(index).path));
            names << m_items.at(index).path;
        }
    }
    const qsizetype argLimit = qBound(qsizetype(16 * 1024), qsizetype(::sysconf(_SC_ARG_MAX) / 4), qsizetype(1024 * 1024));
    QHash<qsizetype, QByteArray> found;
    qsizetype next = 0;
    while (next < names.size()) {
        QStringList chunk;
        QSet<QStringList> chunkParts;
        qsizetype bytes = 0;
        while (next < names.size() && (chunk.isEmpty() || bytes + names.at(next).size() * 3 < argLimit)) {
            bytes += names.at(next).size() * 3 + 1;
            chunkParts.insert(storedComponents(names.at(next)));
            chunk << names.at(next++);
        }
        bool ok = false;
        QByteArray input = passwordInput(&ok);
        if (!ok) {
            *error = QStringLiteral("The password cannot contain line breaks.");
            return false;
        }
        SevenZipProcess process(&m_cancel);
        process.setCollectOutput(true);
        process.setStandardInput(input);
        input.fill('\0');
        QStringList args{QStringLiteral("x"), QStringLiteral("-so"), QStringLiteral("-spd"), QStringLiteral("-y"),
                         QStringLiteral("-bsp0"), QStringLiteral("-bse2")};
        if (m_type == 1)
            args << QStringLiteral("-t7z");
        args << QStringLiteral("--") << m_archivePath << chunk;
        SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), args);
        if (result.cancelled || m_cancel.load()) {
            *error = QStringLiteral("Cancelled.");
            return false;
        }
        if (!result.started || result.crashed || result.exitCode != 0) {
            *error = QStringLiteral("Cannot read the symbolic links of the archive \"%1\": %2")
                         .arg(m_archivePath, SevenZipProcess::describeFailure(result).remove(m_archivePath + QStringLiteral(" : ")));
            return false;
        }
        // Every file item under those names comes out, links or not; cut by the listed sizes.
        qsizetype offset = 0;
        for (qsizetype i = 0; i < m_items.size(); ++i) {
            const LzmaSDKObjCItem& item = m_items.at(i);
            if (item.isDirectory || !chunkParts.contains(storedComponents(item.path)))
                continue;
            if (item.size < 0 || offset + item.size > result.standardOutput.size()) {
                offset = -1;
                break;
            }
            const QByteArray piece = result.standardOutput.mid(offset, item.size);
            offset += item.size;
            if (m_crcs.at(i) && crc32Of(piece) != *m_crcs.at(i)) {
                offset = -1;
                break;
            }
            if (item.isSymlink)
                found.insert(i, piece);
        }
        if (offset != result.standardOutput.size()) {
            *error = QStringLiteral("The symbolic links of the archive \"%1\" do not read back as listed; nothing more was extracted.")
                         .arg(m_archivePath);
            return false;
        }
    }
    targets->clear();
    for (const qsizetype index : links) {
        const QByteArray target = found.value(index);
        if (target.isEmpty() || target.contains('\0')) {
            *error = QStringLiteral("The archive holds the symbolic link \"%1\" without a valid target.").arg(m_items.at(index).path);
            return false;
        }
        targets->append(target);
    }
    return true;
}

bool LzmaSDKObjCReader::restoreLinks(const QList<qsizetype>& links, const QList<QByteArray>& targets, const QString& toPath,
                                     bool withFullPaths, QString* error) const
{
    const Fd base(::open(QFile::encodeName(toPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid()) {
        *error = QStringLiteral("Cannot open the folder \"%1\": %2").arg(toPath, systemError(errno));
        return false;
    }
    for (qsizetype n = 0; n < links.size(); ++n) {
        const QStringList parts = placeOf(m_items.at(links.at(n)), withFullPaths);
        QString shown = toPath;
        Fd owned;
        int dir = base.get();
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            shown += QLatin1Char('/') + parts.at(i);
            owned = openChildFolder(dir, parts.at(i), true, error, shown);
            if (!owned.valid())
                return false;
            dir = owned.get();
        }
        shown += QLatin1Char('/') + parts.last();
        const QByteArray name = QFile::encodeName(parts.last());
        const QByteArray& target = targets.at(n);
        if (::symlinkat(target.constData(), dir, name.constData()) == 0)
            continue;
        if (errno != EEXIST) {
            *error = QStringLiteral("Cannot create the symbolic link \"%1\": %2").arg(shown, systemError(errno));
            return false;
        }
        // Something of the same name came first: the link replaces it in one step, as 7zz would.
        struct stat st;
        if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            *error = QStringLiteral("The folder \"%1\" is in the way of a symbolic link of the same name.").arg(shown);
            return false;
        }
        QByteArray temporary;
        for (int attempt = 0; attempt < 100 && temporary.isEmpty(); ++attempt) {
            const QByteArray candidate = ".zorvi-link-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            if (::symlinkat(target.constData(), dir, candidate.constData()) == 0)
                temporary = candidate;
            else if (errno != EEXIST)
                break;
        }
        if (temporary.isEmpty() || ::renameat(dir, temporary.constData(), dir, name.constData()) != 0) {
            const int err = errno;
            if (!temporary.isEmpty())
                ::unlinkat(dir, temporary.constData(), 0);
            *error = QStringLiteral("Cannot create the symbolic link \"%1\": %2").arg(shown, systemError(err));
            return false;
        }
    }
    return true;
}

bool LzmaSDKObjCReader::openUpExtractedFolders(const QList<qsizetype>& selected, const QString& toPath, bool withFullPaths,
                                               QString* error) const
{
    FolderNode root;
    for (const qsizetype index : selected) {
        const LzmaSDKObjCItem& item = m_items.at(index);
        const QStringList parts = placeOf(item, withFullPaths);
        const qsizetype folders = item.isDirectory && !item.isSymlink ? parts.size() : parts.size() - 1;
        FolderNode* node = &root;
        for (qsizetype i = 0; i < folders; ++i)
            node = &node->children[parts.at(i)];
    }
    const Fd base(::open(QFile::encodeName(toPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!base.valid()) {
        *error = QStringLiteral("Cannot open the folder \"%1\": %2").arg(toPath, systemError(errno));
        return false;
    }
    return openUpFolders(base.get(), root, toPath, error);
}

bool LzmaSDKObjCReader::extract(const QList<LzmaSDKObjCItem>& items, const QString& toPath, bool withFullPaths)
{
    if (!m_opened && !open(nullptr))
        return false;
    if (m_cancel.load()) {
        fail(QStringLiteral("Cancelled."));
        return false;
    }
    for (const LzmaSDKObjCItem& item : std::as_const(m_items)) {
        if (!isSafeStoredName(item.path)) {
            fail(QStringLiteral("The archive holds an unsafe item name \"%1\"; nothing was extracted.").arg(item.path));
            return false;
        }
    }
    QString message;
    if (!checkLinksInArchive(&message)) {
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
    const QList<qsizetype> selected = selectedItems(items);
    QList<qsizetype> links;
    for (const qsizetype index : selected) {
        if (m_items.at(index).isSymlink)
            links << index;
    }

    bool ok = false;
    QByteArray input = passwordInput(&ok);
    if (!ok) {
        fail(QStringLiteral("The password cannot contain line breaks."));
        return false;
    }
    SevenZipProcess process(&m_cancel);
    process.setStandardInput(input);
    input.fill('\0');
    // The links are read in a second pass; leave it a little of the bar.
    const float share = links.isEmpty() ? 1.0f : 0.9f;
    process.setProgressHandler([this, share](float value) {
        if (m_delegate)
            m_delegate->onLzmaSDKObjCReader(this, value * share);
    });
    // -snl-: 7zz creates no link at all, so nothing it writes can pass through one, and
    // none comes out altered (it rewrites absolute targets and skips some relative ones).
    QStringList args{withFullPaths ? QStringLiteral("x") : QStringLiteral("e"),
                     QStringLiteral("-aoa"), QStringLiteral("-y"), QStringLiteral("-spd"), QStringLiteral("-snl-"),
                     QStringLiteral("-bso0"), QStringLiteral("-bsp1"), QStringLiteral("-bse2"),
                     QStringLiteral("-o") + toPath};
    if (m_type == 1)
        args << QStringLiteral("-t7z");
    args << QStringLiteral("--") << m_archivePath;
    if (items.size() != m_items.size()) {
        for (const LzmaSDKObjCItem& item : items)
            args << item.path;
    }
    const SevenZipProcess::Result result = process.run(SevenZipProcess::findProgram(), args);
    if (result.cancelled || m_cancel.load()) {
        fail(QStringLiteral("Cancelled."));
        return false;
    }
    if (!result.started || result.crashed || result.exitCode != 0) {
        fail(QStringLiteral("Cannot extract the archive \"%1\": %2")
                 .arg(m_archivePath, SevenZipProcess::describeFailure(result).remove(m_archivePath + QStringLiteral(" : "))));
        return false;
    }
    if (!openUpExtractedFolders(selected, toPath, withFullPaths, &message)) {
        fail(message);
        return false;
    }
    if (!links.isEmpty()) {
        QList<QByteArray> targets;
        if (!readLinkTargets(links, &targets, &message) || !restoreLinks(links, targets, toPath, withFullPaths, &message)) {
            fail(m_cancel.load() ? QStringLiteral("Cancelled.") : message);
            return false;
        }
    }
    if (m_delegate)
        m_delegate->onLzmaSDKObjCReader(this, 1.0f);
    qCInfo(lcSevenZip) << "extracted" << m_archivePath << "to" << toPath;
    return true;
}
