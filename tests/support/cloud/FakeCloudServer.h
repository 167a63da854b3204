#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>
#include <functional>
#include <optional>

class CountingNetworkAccessManager;
class QTcpSocket;

// An HTTP/1.1 server on 127.0.0.1 that answers through handlers, in the order they were
// added, and records every request. One request per connection (the answer closes it), so
// delays and dropped bodies never hold up another request.
class FakeCloudServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path?query as sent
        QMap<QByteArray, QByteArray> headers; // lower-case names
        QByteArray body;

        QUrl url() const { return QUrl::fromEncoded(target); }
        QString path() const { return url().path(); }
        QUrlQuery query() const { return QUrlQuery(url()); }
        QUrlQuery form() const; // x-www-form-urlencoded body
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
        // The token of an "Authorization: Bearer <token>" header, else empty.
        QByteArray bearer() const;
    };

    struct Response {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        int delayMs = 0;       // wait before answering
        qint64 dropAfter = -1; // close the connection after this many body bytes
        bool hideLength = false; // no Content-Length: the body ends where the connection does

        static Response json(const QJsonValue& v, int status = 200);
        static Response redirect(const QUrl& to); // 302
        static Response text(const QByteArray& body, const QByteArray& contentType = "text/plain", int status = 200);
    };

    using Handler = std::function<std::optional<Response>(const Request&)>; // nullopt: not mine

    explicit FakeCloudServer(QObject* parent = nullptr);

    bool listen(quint16 port = 0); // 0: any free port
    QUrl baseUrl() const;          // http://127.0.0.1:<port>
    QString errorString() const { return server_.errorString(); }
    void addHandler(Handler handler);
    const QList<Request>& requests() const { return requests_; }
    // Every request received so far, and how many of them are answered (or whose client left
    // before the answer); clearRequests() does not reset them.
    int receivedCount() const { return received_; }
    int answeredCount() const { return answered_; }
    // Waits until every request received so far is answered and each of `clients` has taken
    // in every answer it asked for, then lets what is queued run; false when something is
    // still out after `timeoutMs`.
    bool settle(const QList<const CountingNetworkAccessManager*>& clients = {}, int timeoutMs = 5000);
    // The requests to exactly this path, in order.
    QList<Request> requestsTo(const QString& path) const;
    void clearRequests() { requests_.clear(); }

Q_SIGNALS:
    void requestReceived(const FakeCloudServer::Request& request);
    // The answer to `request` is written whole and its connection closed (or the client left
    // before it).
    void answered(const FakeCloudServer::Request& request);

private:
    void acceptConnections();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response, const Request& request);
    void countAnswered(const Request& request);

    QTcpServer server_;
    QList<Handler> handlers_;
    QList<Request> requests_;
    int received_ = 0;
    int answered_ = 0;
};
