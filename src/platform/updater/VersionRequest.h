#pragma once

#include <QByteArray>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Asks the maker's version service for the update feed: POST "/v1/api/get/version" with the
// fixed Authorization header and a compact JSON body {"tag", "category", "lang"}. The answer's
// "result"."appcast" text is handed back; every failure is printed and reported.
class VersionRequest : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Path = "/v1/api/get/version";
    static constexpr const char* Category = "Zorvi";
    static constexpr int DefaultTimeoutMs = 60 * 1000;

    // `manager` may be null: the request then owns one.
    explicit VersionRequest(QNetworkAccessManager* manager = nullptr, QObject* parent = nullptr);
    ~VersionRequest() override;

    // Scheme and host of the service; default: the build's ZORVI_VERSION_HOST.
    void setBaseUrl(const QUrl& url) { baseUrl_ = url; }
    QUrl baseUrl() const { return baseUrl_; }
    QUrl url() const;
    // Transfer timeout in milliseconds.
    void setTimeout(int ms) { timeoutMs_ = ms; }
    int timeout() const { return timeoutMs_; }

    static QByteArray authorization();
    // "macos_m1" for "arm64", else "macos": the values the service knows.
    static QString tagForArchitecture(const QString& cpuArchitecture);
    // The locale's language code in lower case; "en" when it has none (the C locale).
    static QString languageCode(const QLocale& locale);
    static QByteArray body(const QString& cpuArchitecture, const QLocale& locale);
    // The appcast text of an answer body, or the reason it has none.
    static std::optional<QString> appcastFromAnswer(const QByteArray& answer, QString* error = nullptr);

    // Sends the request for this machine and locale; ignored while one is running.
    void send();
    void send(const QByteArray& body);
    bool isRunning() const { return !reply_.isNull(); }

Q_SIGNALS:
    void appcastReceived(const QString& appcast);
    void failed(const QString& error);

private:
    void finish();

    QNetworkAccessManager* manager_;
    QUrl baseUrl_;
    int timeoutMs_ = DefaultTimeoutMs;
    QPointer<QNetworkReply> reply_;
};
