#include "FakeCloudServer.h"

#include "CountingNetworkAccessManager.h"
#include "DrainEvents.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 409: return "Conflict";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

const char* kBufferProperty = "fakeCloudBuffer";

} // namespace

QUrlQuery FakeCloudServer::Request::form() const
{
    // '+' stands for a space in form bodies; QUrlQuery leaves it as is.
    QByteArray text = body;
    text.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(text));
}

QByteArray FakeCloudServer::Request::bearer() const
{
    const QByteArray value = header("authorization");
    if (!value.startsWith("Bearer "))
        return {};
    return value.mid(7).trimmed();
}

FakeCloudServer::Response FakeCloudServer::Response::json(const QJsonValue& v, int status)
{
    Response r;
    r.status = status;
    r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    if (v.isObject())
        r.body = QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    else if (v.isArray())
        r.body = QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    else if (v.isNull() || v.isUndefined())
        r.body = "null";
    else // a scalar: wrap and strip the brackets
        r.body = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return r;
}

FakeCloudServer::Response FakeCloudServer::Response::redirect(const QUrl& to)
{
    Response r;
    r.status = 302;
    r.headers.append(qMakePair(QByteArray("Location"), to.toEncoded()));
    return r;
}

FakeCloudServer::Response FakeCloudServer::Response::text(const QByteArray& body, const QByteArray& contentType, int status)
{
    Response r;
    r.status = status;
    r.headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    r.body = body;
    return r;
}

FakeCloudServer::FakeCloudServer(QObject* parent)
    : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &FakeCloudServer::acceptConnections);
}

bool FakeCloudServer::listen(quint16 port)
{
    return server_.listen(QHostAddress::LocalHost, port);
}

QUrl FakeCloudServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

QList<FakeCloudServer::Request> FakeCloudServer::requestsTo(const QString& path) const
{
    QList<Request> out;
    for (const Request& r : requests_)
        if (r.path() == path)
            out.append(r);
    return out;
}

void FakeCloudServer::addHandler(Handler handler)
{
    handlers_.append(std::move(handler));
}

void FakeCloudServer::acceptConnections()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    }
}

void FakeCloudServer::readFrom(QTcpSocket* socket)
{
    if (socket->property("fakeCloudAnswered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qint64 length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() - (end + 4) < length)
        return;
    request.body = buffer.mid(end + 4, length);
    socket->setProperty(kBufferProperty, QByteArray());
    socket->setProperty("fakeCloudAnswered", true);

    requests_.append(request);
    ++received_;
    Q_EMIT requestReceived(request);

    Response response;
    response.status = 404;
    response.body = "not found";
    for (const Handler& handler : std::as_const(handlers_)) {
        if (std::optional<Response> r = handler(request)) {
            response = *r;
            break;
        }
    }
    if (response.delayMs > 0) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(response.delayMs, this, [this, guard, response, request] {
            if (guard)
                answer(guard, response, request);
            else
                countAnswered(request); // the client left; nothing more will come of it
        });
    } else {
        answer(socket, response, request);
    }
}

void FakeCloudServer::countAnswered(const Request& request)
{
    ++answered_;
    Q_EMIT answered(request);
}

bool FakeCloudServer::settle(const QList<const CountingNetworkAccessManager*>& clients, int timeoutMs)
{
    const auto settled = [this, &clients] {
        if (answered_ < received_)
            return false;
        for (const CountingNetworkAccessManager* client : clients)
            if (!client->isIdle())
                return false;
        return true;
    };
    if (!settled()) {
        // The clients' replies finish on their own; they are looked at every few milliseconds.
        QEventLoop loop;
        QTimer look;
        connect(&look, &QTimer::timeout, &loop, [&] {
            if (settled())
                loop.quit();
        });
        QTimer timeout;
        timeout.setSingleShot(true);
        connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        look.start(5);
        timeout.start(timeoutMs);
        loop.exec();
    }
    drainEvents();
    return settled();
}

void FakeCloudServer::answer(QTcpSocket* socket, const Response& response, const Request& request)
{
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        countAnswered(request); // the client left before the answer
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    bool hasType = false;
    for (const auto& [name, value] : response.headers) {
        hasType = hasType || name.toLower() == "content-type";
        head += name + ": " + value + "\r\n";
    }
    if (!hasType && !response.body.isEmpty())
        head += "Content-Type: application/octet-stream\r\n";
    if (!response.hideLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    // Answered once everything is written and the connection is closed.
    connect(socket, &QTcpSocket::disconnected, this, [this, request] { countAnswered(request); });
    if (response.dropAfter >= 0 && response.dropAfter < response.body.size()) {
        // The client sees the connection end before the promised length.
        socket->write(response.body.left(response.dropAfter));
        socket->disconnectFromHost();
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}
