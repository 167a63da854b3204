#pragma once

#include "AnalyticsSink.h"

// The sink of builds without a tracking id: everything is dropped.
class NullAnalyticsSink : public AnalyticsSink {
public:
    void configure(const QString&) override {}
    void session(bool, const Parameters&) override {}
    void event(const QString&, const QString&, const QString&, const Parameters&) override {}
    void screenView(const QString&, const Parameters&) override {}
};
