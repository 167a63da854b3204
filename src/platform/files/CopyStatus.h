#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <string>

enum class CopyResult { Ok, Cancelled, Failed };

// What the threads of one copy share about its course: the caller's cancel flag, the bytes
// written so far, the first failure (which stops every thread), notes and skipped files.
class CopyStatus {
public:
    void setCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }
    void setByteCounter(std::atomic<qint64>* counter) { m_counter = counter; }

    // A new copy begins: no failure, note or skipped file yet.
    void reset();
    // Stopped by the caller, or by a failure on any thread.
    bool cancelled() const
    {
        return cancelledByCaller() || m_stop.load(std::memory_order_relaxed);
    }
    bool cancelledByCaller() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }
    void advance(qint64 bytes)
    {
        if (m_counter)
            m_counter->fetch_add(bytes, std::memory_order_relaxed);
    }

    // Records "<what> "<path>": <reason>" unless a failure came first, and stops every thread.
    CopyResult fail(const char* what, const std::string& path, int err);
    CopyResult failWith(const QString& message, int err = 0);
    // Something the copy could not keep although it goes on; each text once.
    void note(const QString& text);
    void skip(const std::string& path);

    QString errorString() const;
    // The errno of the first failure, 0 where it had none.
    int errorNumber() const;
    QStringList notes() const;
    QStringList skipped() const;

    static QString errnoText(int err);
    static QString decoded(const std::string& path);

private:
    const std::atomic<bool>* m_cancel = nullptr;
    std::atomic<qint64>* m_counter = nullptr;
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;   // guards what follows
    QString m_error;
    int m_errorNumber = 0;
    QStringList m_notes;
    QStringList m_skipped;
};
