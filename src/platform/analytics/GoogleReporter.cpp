#include "GoogleReporter.h"

#include "HttpAnalyticsSink.h"
#include "NullAnalyticsSink.h"

#ifndef ZORVI_ANALYTICS_TRACKING_ID
#define ZORVI_ANALYTICS_TRACKING_ID ""
#endif

GoogleReporter::GoogleReporter()
    : sink_(makeDefaultSink())
{
}

GoogleReporter& GoogleReporter::shared()
{
    static GoogleReporter reporter;
    return reporter;
}

QString GoogleReporter::buildTrackingId()
{
    return QStringLiteral(ZORVI_ANALYTICS_TRACKING_ID);
}

std::shared_ptr<AnalyticsSink> GoogleReporter::makeDefaultSink()
{
    if (buildTrackingId().isEmpty())
        return std::make_shared<NullAnalyticsSink>();
    return std::make_shared<HttpAnalyticsSink>();
}

void GoogleReporter::setSink(std::shared_ptr<AnalyticsSink> sink)
{
    sink_ = sink ? std::move(sink) : makeDefaultSink();
    if (!trackerId_.isEmpty())
        sink_->configure(trackerId_);
}

void GoogleReporter::configure(const QString& trackerId)
{
    trackerId_ = trackerId.isEmpty() ? buildTrackingId() : trackerId;
    sink_->configure(trackerId_);
}

void GoogleReporter::session(bool start, const Parameters& parameters)
{
    sink_->session(start, parameters);
}

void GoogleReporter::event(const QString& category, const QString& action, const QString& label,
                           const Parameters& parameters)
{
    sink_->event(category, action, label, parameters);
}

void GoogleReporter::screenView(const QString& name, const Parameters& parameters)
{
    sink_->screenView(name, parameters);
}
