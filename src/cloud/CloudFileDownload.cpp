#include "CloudFileDownload.h"

#include "CloudRunLog.h"
#include "SecretRedaction.h"
#include "SizeText.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace {
// What a slow disk lets pile up in memory per download.
constexpr qint64 kReadBuffer = 1 << 20;
constexpr qsizetype kErrorBodyBytes = 64 * 1024;
} // namespace

CloudFileDownload::CloudFileDownload(QNetworkReply* reply, const QString& localFile, quint64 listedSize,
                                     Progress progress, Done done, QObject* parent)
    : QObject(parent)
    , reply_(reply)
    , file_(std::make_unique<QSaveFile>(localFile))
    , limit_(listedSize)
    , progress_(std::move(progress))
    , done_(std::move(done))
{
    reply_->setParent(this);
    reply_->setReadBufferSize(kReadBuffer);
    if (!file_->open(QIODevice::WriteOnly)) {
        result_.writeError = file_->errorString();
        reply_->disconnect(this);
        reply_->abort();
        QTimer::singleShot(0, this, &CloudFileDownload::finish);
        return;
    }
    connect(reply_, &QNetworkReply::metaDataChanged, this, &CloudFileDownload::checkAnnouncedLength);
    connect(reply_, &QNetworkReply::readyRead, this, &CloudFileDownload::drain);
    connect(reply_, &QNetworkReply::finished, this, &CloudFileDownload::onFinished);
}

CloudFileDownload::~CloudFileDownload()
{
    reply_->disconnect(this);
    reply_->abort();
}

void CloudFileDownload::cancel()
{
    done_ = nullptr;
    reply_->disconnect(this);
    reply_->abort();
    file_.reset(); // never committed: the temporary file goes
    deleteLater();
}

QString CloudFileDownload::oversizeRemark(quint64 listedSize)
{
    return QCoreApplication::translate("CloudFileDownload",
                                       "The file was larger than the %1 its listing gave, so Zorvi stopped the "
                                       "download and kept nothing of it.")
        .arg(SizeText::format(qint64(std::min<quint64>(listedSize, std::numeric_limits<qint64>::max()))));
}

QString CloudFileDownload::addressForLog(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveUserInfo | QUrl::RemoveFragment).toString();
}

bool CloudFileDownload::succeeded() const
{
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

void CloudFileDownload::checkAnnouncedLength()
{
    // Said up front: nothing of it needs to arrive.
    const QVariant announced = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (succeeded() && announced.isValid() && announced.toULongLong() > limit_) {
        result_.oversize = true;
        reply_->abort();
    }
}

void CloudFileDownload::drain()
{
    const QByteArray chunk = reply_->readAll();
    if (chunk.isEmpty() || result_.oversize || !result_.writeError.isEmpty())
        return;
    if (!succeeded()) {
        if (result_.errorBody.size() < kErrorBodyBytes)
            result_.errorBody += chunk.left(kErrorBodyBytes - result_.errorBody.size());
        return;
    }
    if (quint64(result_.received) + quint64(chunk.size()) > limit_) {
        result_.oversize = true;
        reply_->abort();
        return;
    }
    result_.received += chunk.size();
    if (file_->write(chunk) != chunk.size()) {
        result_.writeError = file_->errorString();
        reply_->abort();
        return;
    }
    if (progress_)
        progress_(result_.received);
}

void CloudFileDownload::onFinished()
{
    drain();
    result_.status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result_.reason = reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    result_.error = reply_->error();
    result_.retryAfter = reply_->rawHeader("Retry-After");
    // Qt's texts name the address, whose query may be a pre-authenticated secret.
    const QUrl url = reply_->url();
    result_.errorText = reply_->errorString();
    result_.errorText.replace(url.toString(), addressForLog(url));
    result_.errorText.replace(QString::fromLatin1(url.toEncoded()), addressForLog(url));

    const QVariant announced = reply_->header(QNetworkRequest::ContentLengthHeader);
    result_.truncated = succeeded() && announced.isValid() && announced.toLongLong() != result_.received;
    if (result_.status != 0 && !succeeded()) {
        // An error page is never the user's file. A JSON answer says what went wrong, with
        // secrets taken out; anything else is not ours to print.
        const QJsonDocument answer = QJsonDocument::fromJson(result_.errorBody);
        qCInfo(lcCloudRun).noquote() << "+ error +" << result_.status << addressForLog(url)
                                     << (answer.isNull() ? QString() : SecretRedaction::json(answer.isObject()
                                             ? QJsonValue(answer.object()) : QJsonValue(answer.array())).left(300));
    }
    const bool whole = succeeded() && result_.error == QNetworkReply::NoError && !result_.truncated
        && !result_.oversize && result_.writeError.isEmpty();
    if (whole) {
        if (file_->commit())
            result_.saved = true;
        else
            result_.writeError = file_->errorString();
    }
    if (result_.oversize)
        qCInfo(lcCloudRun).noquote() << "+ error +  more bytes than the" << limit_ << "listed";
    finish();
}

void CloudFileDownload::finish()
{
    if (!result_.writeError.isEmpty())
        qCInfo(lcCloudRun).noquote() << "write file went wrong: " + result_.writeError;
    file_.reset();
    reply_->disconnect(this);
    Done done = std::move(done_);
    done_ = nullptr;
    deleteLater();
    if (done)
        done(result_);
}
