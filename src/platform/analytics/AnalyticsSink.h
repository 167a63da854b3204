#pragma once

#include <QMap>
#include <QString>

// Where the reporter's calls end up. Called on the GUI thread; must not block.
class AnalyticsSink {
public:
    using Parameters = QMap<QString, QString>;
    virtual ~AnalyticsSink() = default;
    virtual void configure(const QString& trackerId) = 0;
    virtual void session(bool start, const Parameters& parameters) = 0;
    virtual void event(const QString& category, const QString& action, const QString& label,
                       const Parameters& parameters) = 0;
    virtual void screenView(const QString& name, const Parameters& parameters) = 0;
};
