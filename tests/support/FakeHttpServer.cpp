#include "FakeHttpServer.h"

#include <QTcpSocket>

FakeHttpServer::FakeHttpServer()
{
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
}

QUrl FakeHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

void FakeHttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            Request request;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            const qsizetype length = request.headers.value("content-length", "0").toLongLong();
            if (buffer->size() - (end + 4) < length)
                return;
            request.body = buffer->mid(end + 4, length);
            buffer->clear();
            last_ = request;
            ++count_;
            if (silent_)
                return;
            QByteArray answer = "HTTP/1.1 " + QByteArray::number(status_) + " Status\r\n"
                "Content-Type: application/json\r\nConnection: close\r\nContent-Length: "
                + QByteArray::number(body_.size()) + "\r\n\r\n" + body_;
            socket->write(answer);
            socket->disconnectFromHost();
        });
    }
}
