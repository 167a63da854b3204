#include "ProcessCommandRunner.h"

#include "ChipLog.h"

#include <QProcess>

int ProcessCommandRunner::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        qCWarning(lcChiplib, "%s did not start: %s", qPrintable(program), qPrintable(process.errorString()));
        return -1;
    }
    // An authentication prompt may stay open for as long as the user takes.
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}
