#pragma once

#include "AnalyticsSink.h"

#include <QString>
#include <memory>

// The usage reporter. Callers use GoogleReporter::shared() from the GUI thread; nothing is
// returned and nothing waits. By default hits go to an HTTP sink when the build was given a
// tracking id (ZORVI_ANALYTICS_TRACKING_ID) and are dropped otherwise.
class GoogleReporter {
public:
    using Parameters = AnalyticsSink::Parameters;

    static GoogleReporter& shared();
    // The tracking id the build was configured with; "" when none.
    static QString buildTrackingId();

    // An empty trackerId falls back to buildTrackingId().
    void configure(const QString& trackerId = QString());
    void session(bool start, const Parameters& parameters = {});
    void event(const QString& category, const QString& action, const QString& label = QString(),
               const Parameters& parameters = {});
    void screenView(const QString& name, const Parameters& parameters = {});

    QString trackerId() const { return trackerId_; }
    AnalyticsSink* sink() const { return sink_.get(); }
    // Tests install a recording sink; null restores the build's default sink.
    void setSink(std::shared_ptr<AnalyticsSink> sink);

    static std::shared_ptr<AnalyticsSink> makeDefaultSink();

private:
    GoogleReporter();
    std::shared_ptr<AnalyticsSink> sink_;
    QString trackerId_;
};
