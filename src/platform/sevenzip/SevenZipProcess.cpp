#include "SevenZipProcess.h"

#include "SevenZipLog.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {
// Short enough that a cancel from another thread stops 7zz well within 100 ms.
constexpr int kPollMs = 20;
}

QString SevenZipProcess::findProgram()
{
    for (const char* name : {"7zz", "7z"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QString SevenZipProcess::missingProgramMessage()
{
    return QStringLiteral("The 7-Zip program (7zz) was not found. Please install the package \"7zip\".");
}

QString SevenZipProcess::describeFailure(const Result& result)
{
    if (!result.started)
        return QStringLiteral("The 7-Zip program could not be started.");
    if (result.cancelled)
        return QStringLiteral("Cancelled.");
    if (result.crashed)
        return QStringLiteral("The 7-Zip program stopped unexpectedly.");
    QStringList lines;
    const QString err = QString::fromUtf8(result.standardError);
    for (QString line : err.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line == QLatin1String("Break signaled") || line.startsWith(QLatin1String("Scan WARNINGS"))
            || line.count(QLatin1Char('-')) == line.size())
            continue;
        for (const char* prefix : {"System ERROR:", "ERROR:", "WARNING:"}) {
            if (line.startsWith(QLatin1String(prefix)))
                line = line.mid(qstrlen(prefix)).trimmed();
        }
        // "errno=28 : No space left on device": the words are for people, the number is not.
        if (line.startsWith(QLatin1String("errno=")) && line.contains(QLatin1String(" : ")))
            line = line.section(QLatin1String(" : "), 1).trimmed();
        if (!line.isEmpty() && !lines.contains(line))
            lines << line;
    }
    QString text = lines.join(QLatin1Char(' '));
    if (text.size() > 600)
        text = text.left(600) + QStringLiteral("...");
    if (text.isEmpty())
        text = QStringLiteral("7-Zip failed with exit code %1.").arg(result.exitCode);
    return text;
}

SevenZipProcess::SevenZipProcess(const std::atomic<bool>* cancel)
    : m_cancel(cancel)
{
}

void SevenZipProcess::setWorkingDirectory(const QString& dir) { m_workingDirectory = dir; }
void SevenZipProcess::setStandardInput(const QByteArray& data) { m_input = data; }
void SevenZipProcess::setCollectOutput(bool collect) { m_collect = collect; }
void SevenZipProcess::setProgressHandler(std::function<void(float)> handler) { m_progress = std::move(handler); }
void SevenZipProcess::setOutputHandler(std::function<bool(const char*, qsizetype)> handler) { m_output = std::move(handler); }

void SevenZipProcess::parseProgress(const QByteArray& chunk)
{
    if (!m_progress)
        return;
    m_pending += chunk;
    // -bsp1 redraws its line with backspaces or carriage returns.
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        const char c = m_pending.at(i);
        if (c != '\b' && c != '\r' && c != '\n')
            continue;
        const QByteArray segment = m_pending.mid(start, i - start).trimmed();
        start = i + 1;
        const qsizetype pct = segment.indexOf('%');
        if (pct <= 0 || pct > 3)
            continue;
        bool ok = false;
        const int value = segment.left(pct).toInt(&ok);
        if (ok && value >= 0 && value <= 100 && value > m_lastPercent) {
            m_lastPercent = value;
            m_progress(float(value) / 100.0f);
        }
    }
    m_pending.remove(0, start);
    if (m_pending.size() > 4096)
        m_pending.clear();
}

SevenZipProcess::Result SevenZipProcess::run(const QString& program, const QStringList& arguments)
{
    Result result;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // File names and passwords are exchanged as UTF-8 whatever the user's locale.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // Listed times come out in UTC, whatever the user's time zone.
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(env);
    if (!m_workingDirectory.isEmpty())
        process.setWorkingDirectory(m_workingDirectory);
    process.setProgram(program);
    process.setArguments(arguments);
    if (m_output) {
        // A deep pipe lets 7zz run ahead while the output is written to disk.
        process.setChildProcessModifier([] { ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20); });
    }
    qCDebug(lcSevenZip) << "run" << program << arguments;

    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(-1)) {
        qCWarning(lcSevenZip) << "cannot start" << program << process.errorString();
        m_input.fill('\0');
        return result;
    }
    result.started = true;
    if (!m_input.isEmpty())
        process.write(m_input);
    m_input.fill('\0');
    m_input.clear();
    // A closed input makes 7zz fail instead of waiting for a password nobody types.
    process.closeWriteChannel();

    std::unique_ptr<char[]> piece;
    constexpr qint64 kPiece = 1 << 20;
    if (m_output)
        piece = std::make_unique<char[]>(kPiece);
    auto drain = [&] {
        if (m_output) {
            qint64 n;
            while (!result.refused && (n = process.read(piece.get(), kPiece)) > 0) {
                if (!m_output(piece.get(), n))
                    result.refused = true;
            }
            result.standardError += process.readAllStandardError();
            return;
        }
        const QByteArray out = process.readAllStandardOutput();
        if (!out.isEmpty()) {
            parseProgress(out);
            if (m_collect)
                result.standardOutput += out;
        }
        result.standardError += process.readAllStandardError();
    };

    while (process.state() != QProcess::NotRunning) {
        if (result.refused) {
            process.kill();
            process.waitForFinished(-1);
            return result;
        }
        if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
            process.kill();
            process.waitForFinished(-1);
            result.cancelled = true;
            qCInfo(lcSevenZip) << "cancelled" << program;
            return result;
        }
        process.waitForReadyRead(kPollMs);
        drain();
    }
    drain();
    if (result.refused)
        return result;
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    if (m_cancel && m_cancel->load(std::memory_order_relaxed))
        result.cancelled = true;
    if (result.exitCode != 0 || result.crashed)
        qCWarning(lcSevenZip) << "7-Zip exit code" << result.exitCode << describeFailure(result);
    return result;
}
