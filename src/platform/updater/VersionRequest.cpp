#include "VersionRequest.h"

#include "UpdaterLog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>

#ifndef ZORVI_VERSION_HOST
#define ZORVI_VERSION_HOST "https://version.morvantek.invalid"
#endif

VersionRequest::VersionRequest(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , manager_(manager ? manager : new QNetworkAccessManager(this))
    , baseUrl_(QStringLiteral(ZORVI_VERSION_HOST))
{
}

VersionRequest::~VersionRequest()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

QUrl VersionRequest::url() const
{
    QUrl u = baseUrl_;
    u.setPath(QString::fromLatin1(Path));
    return u;
}

QByteArray VersionRequest::authorization()
{
    return QByteArrayLiteral("x-zq7Lm2Rt9Wk4Vb8N");
}

QString VersionRequest::tagForArchitecture(const QString& cpuArchitecture)
{
    return cpuArchitecture == u"arm64" ? QStringLiteral("macos_m1") : QStringLiteral("macos");
}

QString VersionRequest::languageCode(const QLocale& locale)
{
    const QLocale::Language language = locale.language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QStringLiteral("en");
    const QString code = QLocale::languageToCode(language, QLocale::ISO639Part1 | QLocale::ISO639Part2);
    return code.isEmpty() ? QStringLiteral("en") : code.toLower();
}

QByteArray VersionRequest::body(const QString& cpuArchitecture, const QLocale& locale)
{
    QJsonObject object;
    object.insert(QStringLiteral("tag"), tagForArchitecture(cpuArchitecture));
    object.insert(QStringLiteral("category"), QString::fromLatin1(Category));
    object.insert(QStringLiteral("lang"), languageCode(locale));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QString> VersionRequest::appcastFromAnswer(const QByteArray& answer, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(answer, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("The version answer is not JSON: %1").arg(parseError.errorString());
        return std::nullopt;
    }
    const QJsonValue appcast = doc.object().value(QStringLiteral("result")).toObject().value(QStringLiteral("appcast"));
    if (!doc.isObject() || !appcast.isString()) {
        // The whole value, as the service sent it, is the useful diagnostic here.
        if (error)
            *error = QString::fromUtf8(doc.isObject() ? QJsonDocument(doc.object()).toJson(QJsonDocument::Compact)
                                                      : answer.left(4096));
        return std::nullopt;
    }
    return appcast.toString();
}

void VersionRequest::send()
{
    send(body(QSysInfo::currentCpuArchitecture(), QLocale()));
}

void VersionRequest::send(const QByteArray& payload)
{
    if (reply_)
        return;
    QNetworkRequest request(url());
    request.setTransferTimeout(timeoutMs_);
    request.setRawHeader("Authorization", authorization());
    // The body carries no type of its own; name the one QNetworkAccessManager (and the service's
    // other clients) would put on the wire anyway, so no warning is printed for it.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    reply_ = manager_->post(request, payload);
    connect(reply_, &QNetworkReply::finished, this, &VersionRequest::finish);
}

void VersionRequest::finish()
{
    QNetworkReply* reply = reply_;
    reply_.clear();
    if (!reply)
        return;
    reply->deleteLater();

    const QByteArray answer = reply->readAll();
    const QNetworkReply::NetworkError error = reply->error();
    // The HTTP status is not examined: an error status with a usable body still counts,
    // and one without fails below as an unusable answer.
    const bool httpAnswer = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (error == QNetworkReply::OperationCanceledError || (error != QNetworkReply::NoError && !httpAnswer)) {
        const QString message = error == QNetworkReply::OperationCanceledError
            ? tr("The version service did not answer in time.")
            : reply->errorString();
        // Nothing for the person to do: the check is tried again at the next start.
        qCDebug(lcUpdater).noquote() << message;
        Q_EMIT failed(message);
        return;
    }

    QString why;
    const auto appcast = appcastFromAnswer(answer, &why);
    if (!appcast) {
        qCDebug(lcUpdater).noquote() << why;
        Q_EMIT failed(why);
        return;
    }
    Q_EMIT appcastReceived(*appcast);
}
