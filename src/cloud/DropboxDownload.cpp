#include "DropboxDownload.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {

int statusOf(QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

} // namespace

DropboxDownload::DropboxDownload(QNetworkAccessManager* nam, const QNetworkRequest& request, const QString& localFile,
                                 Progress progress, Done done, QObject* parent)
    : QObject(parent)
    , file_(std::make_unique<QSaveFile>(localFile))
    , progress_(std::move(progress))
    , done_(std::move(done))
{
    if (!file_->open(QIODevice::WriteOnly)) {
        const QString error = file_->errorString();
        QTimer::singleShot(0, this, [this, error] { finish(false, error); });
        return;
    }
    // A POST with a body ignores the read-buffer limit, and the whole file would pile up in
    // memory: send it bodiless with a bounded buffer instead.
    QNetworkRequest bodiless(request);
    bodiless.setHeader(QNetworkRequest::ContentLengthHeader, 0);
    reply_ = nam->sendCustomRequest(bodiless, "POST");
    reply_->setReadBufferSize(1 << 20);
    connect(reply_, &QNetworkReply::readyRead, this, &DropboxDownload::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &DropboxDownload::onFinished);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (progress_ && isSuccess(statusOf(reply_)))
            progress_(received, total);
    });
}

DropboxDownload::~DropboxDownload()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void DropboxDownload::cancel()
{
    if (reply_ && reply_->isRunning())
        reply_->abort(); // finished follows at once
}

void DropboxDownload::onReadyRead()
{
    const QByteArray chunk = reply_->readAll();
    if (!isSuccess(statusOf(reply_))) {
        if (errorBody_.size() < 65536)
            errorBody_ += chunk;
        return;
    }
    if (writeError_.isEmpty() && file_ && file_->write(chunk) != chunk.size()) {
        writeError_ = file_->errorString();
        reply_->abort();
    }
}

void DropboxDownload::onFinished()
{
    onReadyRead();
    const int status = statusOf(reply_);
    if (!writeError_.isEmpty())
        return finish(false, writeError_);
    if (reply_->error() != QNetworkReply::NoError || !isSuccess(status)) {
        // The service explains a refused download in the body ("path/not_found/..").
        const QString summary = QJsonDocument::fromJson(errorBody_).object().value(QLatin1String("error_summary")).toString();
        return finish(false, summary.isEmpty() ? reply_->errorString() : summary);
    }
    if (!file_->commit())
        return finish(false, file_->errorString());
    finish(true, QString());
}

void DropboxDownload::finish(bool ok, const QString& error)
{
    if (!done_)
        return;
    file_.reset();
    if (reply_) {
        reply_->disconnect(this);
        reply_->deleteLater();
        reply_ = nullptr;
    }
    Done done = std::move(done_);
    done_ = nullptr;
    deleteLater();
    done(ok, error);
}
