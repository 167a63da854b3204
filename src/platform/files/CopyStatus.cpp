#include "CopyStatus.h"

#include <QFile>

#include <cstring>

void CopyStatus::reset()
{
    std::lock_guard lock(m_mutex);
    m_error.clear();
    m_errorNumber = 0;
    m_skipped.clear();
    m_notes.clear();
    m_stop = false;
}

CopyResult CopyStatus::fail(const char* what, const std::string& path, int err)
{
    return failWith(QStringLiteral("%1 \"%2\": %3").arg(QString::fromUtf8(what), decoded(path), errnoText(err)), err);
}

CopyResult CopyStatus::failWith(const QString& message, int err)
{
    std::lock_guard lock(m_mutex);
    if (m_error.isEmpty()) {
        m_error = message;
        m_errorNumber = err;
    }
    m_stop = true;
    return CopyResult::Failed;
}

int CopyStatus::errorNumber() const
{
    std::lock_guard lock(m_mutex);
    return m_errorNumber;
}

void CopyStatus::note(const QString& text)
{
    std::lock_guard lock(m_mutex);
    if (!m_notes.contains(text))
        m_notes << text;
}

void CopyStatus::skip(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_skipped << decoded(path);
}

QString CopyStatus::errorString() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

QStringList CopyStatus::notes() const
{
    std::lock_guard lock(m_mutex);
    return m_notes;
}

QStringList CopyStatus::skipped() const
{
    std::lock_guard lock(m_mutex);
    return m_skipped;
}

QString CopyStatus::errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

QString CopyStatus::decoded(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
