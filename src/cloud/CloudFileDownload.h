#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSaveFile;

// One file's content streamed from a started answer into a local file. The bytes go to a
// temporary file beside the target, which replaces the target only once the whole file has
// arrived: a failure or a cancel leaves an older file as it was and nothing partial behind.
// No more than the listed size is ever written: an answer that runs past it is stopped.
class CloudFileDownload : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool saved = false;      // the file is in place
        int status = 0;          // HTTP status; 0 when no answer came
        QString reason;          // its reason phrase
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString errorText;       // the transfer's error, without the address's query
        QByteArray errorBody;    // the start of an answer that is not a success
        QByteArray retryAfter;   // the answer's Retry-After
        QString writeError;      // the local file could not be written
        bool oversize = false;   // the answer went past the listed size
        bool truncated = false;  // the answer ended before its announced length
        qint64 received = 0;
    };
    using Progress = std::function<void(qint64 received)>;
    using Done = std::function<void(const Result& result)>;

    // Takes over `reply`. `done` is called once, from the event loop, then the object deletes
    // itself; `progress` reports the bytes of a successful answer.
    CloudFileDownload(QNetworkReply* reply, const QString& localFile, quint64 listedSize, Progress progress,
                      Done done, QObject* parent = nullptr);
    ~CloudFileDownload() override;

    // Stops the transfer and drops the temporary file; `done` is not called.
    void cancel();

    // What a file that came larger than listed shows in the failed list.
    static QString oversizeRemark(quint64 listedSize);
    // The address as logs and remarks may show it: its query can be a pre-authenticated secret.
    static QString addressForLog(const QUrl& url);

private:
    bool succeeded() const;
    void checkAnnouncedLength();
    void drain();
    void onFinished();
    void finish();

    QNetworkReply* reply_;
    std::unique_ptr<QSaveFile> file_;
    quint64 limit_;
    Progress progress_;
    Done done_;
    Result result_;
};
