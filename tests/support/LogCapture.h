#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

// Keeps every message logged while it lives, so a test can read what reached the log (and
// what must not). `rules`, when given, switches on the categories the test reads.
class LogCapture {
public:
    explicit LogCapture(const QString& rules = QString())
        : rules_(!rules.isEmpty())
    {
        kept().clear();
        previous_ = qInstallMessageHandler(keep);
        if (rules_)
            QLoggingCategory::setFilterRules(rules);
    }
    ~LogCapture()
    {
        if (rules_)
            QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const { return kept(); }
    QString text() const { return kept().join(QLatin1Char('\n')); }
    void clear() { kept().clear(); }

private:
    static QStringList& kept()
    {
        static QStringList messages;
        return messages;
    }
    static void keep(QtMsgType, const QMessageLogContext&, const QString& text) { kept().append(text); }

    bool rules_;
    QtMessageHandler previous_ = nullptr;
};
