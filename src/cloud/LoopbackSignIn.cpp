#include "LoopbackSignIn.h"

#include "PkceCodes.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

Q_LOGGING_CATEGORY(lcLoopback, "zorvi.cloud.signin", QtInfoMsg)

namespace {
// A browser's request line and headers fit easily; anything larger is not a browser redirect.
constexpr qsizetype MaxRequestBytes = 32 * 1024;
// A connection that says nothing is dropped, so an idle socket cannot hold the sign-in open.
constexpr int IdleSocketMs = 30 * 1000;

const QByteArray kReturnPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Zorvi</title></head>"
    "<body style=\"font-family: sans-serif; margin: 3em;\">"
    "<h2>Zorvi has received the answer of the sign-in.</h2>"
    "<p>You can close this page and return to Zorvi.</p></body></html>";
const QByteArray kSignedOutPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Zorvi</title></head>"
    "<body style=\"font-family: sans-serif; margin: 3em;\">"
    "<h2>You are signed out.</h2>"
    "<p>You can close this page and return to Zorvi.</p></body></html>";
const QByteArray kRefusedPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Zorvi</title></head>"
    "<body style=\"font-family: sans-serif; margin: 3em;\">"
    "<h2>The sign-in answer was not accepted.</h2>"
    "<p>It does not belong to the sign-in that Zorvi started. If you want to sign in, start again "
    "from Zorvi.</p></body></html>";
const QByteArray kNotFoundPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Zorvi</title></head>"
    "<body><p>Not found.</p></body></html>";
} // namespace

LoopbackSignIn::LoopbackSignIn(quint16 port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    connect(&v4_, &QTcpServer::newConnection, this, [this] { acceptConnections(&v4_); });
    connect(&v6_, &QTcpServer::newConnection, this, [this] { acceptConnections(&v6_); });
}

LoopbackSignIn::~LoopbackSignIn() = default;

bool LoopbackSignIn::begin(const QString& redirectPath)
{
    cancel();
    error_.clear();
    path_ = redirectPath.isEmpty() ? QStringLiteral("/") : redirectPath;
    // Any free port (0) must be free on both addresses: another try may find one.
    for (int tries = port_ == 0 ? 5 : 1; tries > 0; --tries) {
        if (!v4_.listen(QHostAddress::LocalHost, port_)) {
            fail(v4_);
            break;
        }
        // A system without IPv6 loopback cannot resolve "localhost" to ::1 either.
        if (v6_.listen(QHostAddress::LocalHostIPv6, v4_.serverPort())
            || v6_.serverError() != QAbstractSocket::AddressInUseError) {
            error_.clear();
            pending_ = true;
            return true;
        }
        fail(v6_);
        v4_.close();
    }
    qCWarning(lcLoopback).noquote() << error_;
    return false;
}

void LoopbackSignIn::fail(const QTcpServer& server)
{
    const quint16 port = port_ ? port_ : server.serverPort();
    if (server.serverError() == QAbstractSocket::AddressInUseError) {
        error_ = tr("Port %1 on this computer is in use by another program, so Zorvi cannot receive "
                    "the answer of the sign-in from your browser. Close that program and try again.")
                     .arg(port);
    } else {
        error_ = tr("Zorvi cannot receive the answer of the sign-in on port %1: %2").arg(port).arg(server.errorString());
    }
}

void LoopbackSignIn::cancel()
{
    pending_ = false;
    v4_.close();
    v6_.close();
}

QUrl LoopbackSignIn::redirectUri() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(v4_.isListening() ? v4_.serverPort() : port_);
    url.setPath(path_.isEmpty() ? QStringLiteral("/") : path_);
    return url;
}

QString LoopbackSignIn::newState()
{
    return QString::fromLatin1(PkceCodes::randomUrlSafe(24));
}

void LoopbackSignIn::acceptConnections(QTcpServer* server)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        // Parented to this object rather than the server: cancel() must not cut off a browser
        // that is still reading its answer.
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); socket->deleteLater(); });
        idle->start(IdleSocketMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void LoopbackSignIn::readRequest(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("zorviRequest").toByteArray() + socket->readAll();
    if (socket->property("zorviAnswered").toBool())
        return;
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (buffer.size() > MaxRequestBytes) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->setProperty("zorviRequest", buffer);
        return;
    }
    socket->setProperty("zorviAnswered", true);
    socket->setProperty("zorviRequest", QByteArray());

    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QByteArray method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    QUrl url;
    if (target.startsWith('/')) {
        url = QUrl::fromEncoded("http://127.0.0.1:" + QByteArray::number(port_) + target, QUrl::StrictMode);
        if (v4_.isListening())
            url.setPort(v4_.serverPort());
    }
    if (!pending_ || method != "GET" || !url.isValid() || url.path() != path_) {
        answer(socket, 404, "Not Found", kNotFoundPage);
        return;
    }

    switch (judge_ ? judge_(url) : Verdict::accepted) {
    case Verdict::refused:
        answer(socket, 400, "Bad Request", kRefusedPage);
        return;
    case Verdict::signedOut:
        answer(socket, 200, "OK", kSignedOutPage);
        break;
    case Verdict::accepted:
        answer(socket, 200, "OK", kReturnPage);
        break;
    }
    Q_EMIT redirected(url);
}

void LoopbackSignIn::answer(QTcpSocket* socket, int status, const QByteArray& reason, const QByteArray& html)
{
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n"
        "Content-Type: text/html; charset=utf-8\r\n"
        "Cache-Control: no-store\r\n"
        "Connection: close\r\n"
        "Content-Length: " + QByteArray::number(html.size()) + "\r\n\r\n" + html;
    socket->write(reply);
    // The sign-in that owns this listener may end (and go) as soon as it has its answer; the
    // browser must still get the page, so the socket lives on until it has been sent.
    socket->setParent(nullptr);
    socket->disconnectFromHost();
}
