#pragma once

#include <QList>
#include <QString>

// The advanced-settings dialog's answer to the task editor.
class AdvInfoDelegate {
public:
    virtual ~AdvInfoDelegate() = default;
    virtual void sendAdvInfo(qint64 function, const QString& password, const QString& scheduleMode, qint64 hour,
                             qint64 minute, const QList<qint64>& date, const QList<qint64>& weekday) = 0;
};
