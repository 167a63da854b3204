#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// Runs the 7-Zip program to completion on the calling thread (no event loop
// needed), feeding secrets on its standard input and polling a cancel flag.
class SevenZipProcess {
public:
    struct Result {
        bool started = false;
        bool cancelled = false;
        bool crashed = false;
        bool refused = false;        // the output handler stopped the run
        int exitCode = -1;
        QByteArray standardOutput;   // only when collected
        QByteArray standardError;
    };

    // "7zz", else "7z", from PATH; empty when neither is installed.
    static QString findProgram();
    static QString missingProgramMessage();
    // The meaningful lines of 7zz's error output as one sentence.
    static QString describeFailure(const Result& result);

    explicit SevenZipProcess(const std::atomic<bool>* cancel);

    void setWorkingDirectory(const QString& dir);
    // Written to 7zz's standard input, then the channel is closed. Wiped after the run.
    void setStandardInput(const QByteArray& data);
    void setCollectOutput(bool collect);
    // Called with the "NN%" figures of -bsp1 output, as 0..1, only when they grow.
    void setProgressHandler(std::function<void(float)> handler);
    // Hands 7zz's standard output over piece by piece as it comes (instead of collecting or
    // reading progress from it); answering false stops 7zz.
    void setOutputHandler(std::function<bool(const char* data, qsizetype size)> handler);

    Result run(const QString& program, const QStringList& arguments);

private:
    void parseProgress(const QByteArray& chunk);

    const std::atomic<bool>* m_cancel;
    QString m_workingDirectory;
    QByteArray m_input;
    bool m_collect = false;
    std::function<void(float)> m_progress;
    std::function<bool(const char*, qsizetype)> m_output;
    QByteArray m_pending;
    int m_lastPercent = -1;
};
