#pragma once

#include "AnalyticsSink.h"

#include <QNetworkAccessManager>
#include <QUrl>

// Posts each hit as a form-encoded request (v, tid, cid, t and the hit's fields) to the
// collection endpoint. Fire and forget: failures are logged, never reported to the caller.
// Nothing is sent before configure() gave a non-empty tracker id.
class HttpAnalyticsSink : public AnalyticsSink {
public:
    explicit HttpAnalyticsSink(const QUrl& endpoint = defaultEndpoint(), int timeoutMs = 10000);

    static QUrl defaultEndpoint();
    QString clientId() const { return clientId_; }
    QString trackerId() const { return trackerId_; }

    void configure(const QString& trackerId) override;
    void session(bool start, const Parameters& parameters) override;
    void event(const QString& category, const QString& action, const QString& label,
               const Parameters& parameters) override;
    void screenView(const QString& name, const Parameters& parameters) override;

private:
    void send(const QString& hitType, const Parameters& fields, const Parameters& parameters);

    QNetworkAccessManager network_;
    QUrl endpoint_;
    int timeoutMs_;
    QString trackerId_;
    QString clientId_;
};
