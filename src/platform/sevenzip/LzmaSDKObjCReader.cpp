#include "LzmaSDKObjCReader.h"

#include "LzmaSDKObjCReaderDelegate.h"
#include "SevenZipLog.h"
#include "SevenZipProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

QStringList storedComponents(const QString& name)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return name.split(separators, Qt::SkipEmptyParts);
}

QList<LzmaSDKObjCItem> parseListing(const QByteArray& output)
{
    QList<LzmaSDKObjCItem> items;
    const QString text = QString::fromUtf8(output);
    const qsizetype marker = text.indexOf(QLatin1String("\n----------\n"));
    if (marker < 0)
        return items;
    LzmaSDKObjCItem item;
    bool hasPath = false;
    auto flush = [&] {
        if (hasPath)
            items.append(item);
        item = LzmaSDKObjCItem();
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
        } else if (key == QLatin1String("Attributes")) {
            const QStringList parts = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (!parts.isEmpty() && parts.first().contains(QLatin1Char('D')))
                item.isDirectory = true;
            for (const QString& part : parts) {
                if (part.size() == 10 && part.at(0) == QLatin1Char('l'))
                    item.isSymlink = true;
                if (part.size() == 10 && part.at(0) == QLatin1Char('d'))
                    item.isDirectory = true;
            }
        }
    }
    flush();
    return items;
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
    m_items = parseListing(result.standardOutput);
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
    const QString base = toPath.endsWith(QLatin1Char('/')) ? toPath.chopped(1) : toPath;
    for (const LzmaSDKObjCItem& item : m_items) {
        const QStringList parts = storedComponents(item.path);
        QString current = base;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            current += QLatin1Char('/') + parts.at(i);
            const bool leaf = i == parts.size() - 1;
            if (!leaf && checked.contains(current))
                continue;
            struct stat st;
            if (::lstat(QFile::encodeName(current).constData(), &st) != 0)
                break;
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
    QString message;
    if (withFullPaths && !checkDestination(toPath, &message)) {
        fail(message);
        return false;
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
    process.setProgressHandler([this](float value) {
        if (m_delegate)
            m_delegate->onLzmaSDKObjCReader(this, value);
    });
    QStringList args{withFullPaths ? QStringLiteral("x") : QStringLiteral("e"),
                     QStringLiteral("-aoa"), QStringLiteral("-y"), QStringLiteral("-spd"),
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
    if (m_delegate)
        m_delegate->onLzmaSDKObjCReader(this, 1.0f);
    qCInfo(lcSevenZip) << "extracted" << m_archivePath << "to" << toPath;
    return true;
}
