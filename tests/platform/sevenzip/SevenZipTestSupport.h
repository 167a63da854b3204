#pragma once

#include "LzmaSDKObjCReaderDelegate.h"
#include "LzmaSDKObjCWriterDelegate.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

namespace sevenzip_test {

struct ToolRun {
    int exitCode = -1;
    QString output;
};

// Runs the real 7zz; the password, when any, goes on standard input only.
inline ToolRun run7zz(const QStringList& args, const QByteArray& input = {}, const QString& cwd = {})
{
    QProcess p;
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("7zz"), args);
    p.waitForStarted(-1);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

inline void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class RecordingWriterDelegate : public LzmaSDKObjCWriterDelegate {
public:
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float value) override
    {
        {
            std::lock_guard lock(mutex);
            values.push_back(value);
        }
        if (onProgress)
            onProgress(value);
    }
    std::vector<float> snapshot()
    {
        std::lock_guard lock(mutex);
        return values;
    }
    std::function<void(float)> onProgress;
    std::mutex mutex;
    std::vector<float> values;
};

class RecordingReaderDelegate : public LzmaSDKObjCReaderDelegate {
public:
    void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float value) override
    {
        std::lock_guard lock(mutex);
        values.push_back(value);
    }
    std::mutex mutex;
    std::vector<float> values;
};

} // namespace sevenzip_test
