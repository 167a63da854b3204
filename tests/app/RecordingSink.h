#pragma once

#include "AnalyticsSink.h"

#include <QStringList>

// Keeps what the window and the shell report, as "category|action|label" lines.
class RecordingSink : public AnalyticsSink {
public:
    QStringList events;
    QStringList sessions;
    void configure(const QString&) override {}
    void session(bool start, const Parameters&) override { sessions << (start ? "start" : "end"); }
    void event(const QString& category, const QString& action, const QString& label, const Parameters&) override
    {
        events << category + "|" + action + "|" + label;
    }
    void screenView(const QString&, const Parameters&) override {}
};
