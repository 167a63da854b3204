#pragma once

#include <QObject>
#include <QSaveFile>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// One file fetched from Dropbox into a local file. The content goes to a temporary file
// beside the target, which replaces the target only once the whole file has arrived: a
// failure or a cancel leaves an older file as it was and no partial file behind.
class DropboxDownload : public QObject {
    Q_OBJECT
public:
    using Progress = std::function<void(qint64 received, qint64 total)>;
    using Done = std::function<void(bool ok, const QString& error)>;

    // Starts at once; `done` is called exactly once, then the object deletes itself.
    DropboxDownload(QNetworkAccessManager* nam, const QNetworkRequest& request, const QString& localFile,
                    Progress progress, Done done, QObject* parent = nullptr);
    ~DropboxDownload() override;

    // Stops the transfer; `done` reports the cancel as a failure.
    void cancel();

private:
    void onReadyRead();
    void onFinished();
    void finish(bool ok, const QString& error);

    QNetworkReply* reply_ = nullptr;
    std::unique_ptr<QSaveFile> file_; // dropped unsaved, with its temporary file, on failure
    QByteArray errorBody_;
    QString writeError_;
    Progress progress_;
    Done done_;
};
