#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

// A one-request-at-a-time HTTP/1.1 server on the loopback interface. It records the last
// request and answers with the configured status and body, or not at all.
class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    FakeHttpServer();

    QUrl baseUrl() const;
    void respond(int status, const QByteArray& body) { status_ = status; body_ = body; silent_ = false; }
    void stayQuiet() { silent_ = true; }

    int requestCount() const { return count_; }
    const Request& lastRequest() const { return last_; }

private:
    void accept();

    QTcpServer server_;
    int status_ = 200;
    QByteArray body_;
    bool silent_ = false;
    int count_ = 0;
    Request last_;
};
