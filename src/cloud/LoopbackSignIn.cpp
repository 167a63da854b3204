#include "LoopbackSignIn.h"

#include <QDesktopServices>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QRandomGenerator>
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
const QByteArray kNotFoundPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Zorvi</title></head>"
    "<body><p>Not found.</p></body></html>";
} // namespace

LoopbackSignIn::LoopbackSignIn(quint16 port, QObject* parent)
    : QObject(parent)
    , port_(port)
{
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackSignIn::acceptConnections);
}

LoopbackSignIn::~LoopbackSignIn() = default;

bool LoopbackSignIn::begin(const QString& redirectPath)
{
    cancel();
    error_.clear();
    path_ = redirectPath.isEmpty() ? QStringLiteral("/") : redirectPath;
    if (!server_.listen(QHostAddress::LocalHost, port_)) {
        if (server_.serverError() == QAbstractSocket::AddressInUseError) {
            error_ = tr("Port %1 on this computer is in use by another program, so Zorvi cannot receive "
                        "the answer of the sign-in from your browser. Close that program and try again.")
                         .arg(port_);
        } else {
            error_ = tr("Zorvi cannot receive the answer of the sign-in on port %1: %2")
                         .arg(port_)
                         .arg(server_.errorString());
        }
        qCWarning(lcLoopback).noquote() << error_;
        return false;
    }
    pending_ = true;
    return true;
}

void LoopbackSignIn::cancel()
{
    pending_ = false;
    server_.close();
}

QUrl LoopbackSignIn::redirectUri() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(server_.isListening() ? server_.serverPort() : port_);
    url.setPath(path_.isEmpty() ? QStringLiteral("/") : path_);
    return url;
}

LoopbackSignIn::BrowserOpener LoopbackSignIn::systemBrowser()
{
    return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

QString LoopbackSignIn::newState()
{
    QByteArray bytes(24, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

void LoopbackSignIn::acceptConnections()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
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
        if (server_.isListening())
            url.setPort(server_.serverPort());
    }
    if (!pending_ || method != "GET" || !url.isValid() || url.path() != path_) {
        answer(socket, 404, "Not Found", kNotFoundPage);
        return;
    }

    answer(socket, 200, "OK", kReturnPage);
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
