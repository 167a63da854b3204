#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <functional>

class QTcpSocket;

// The local end of a browser sign-in: the service redirects the user's browser to
// http://<loopback>:<port><path>, and this listener hands that request's address to the
// sign-in in progress. It listens on 127.0.0.1 only and only while a sign-in is pending, so
// no other process or page can hand us a code when we did not ask for one.
class LoopbackSignIn : public QObject {
    Q_OBJECT
public:
    using BrowserOpener = std::function<bool(const QUrl&)>;

    static constexpr quint16 DefaultPort = 5000;

    explicit LoopbackSignIn(quint16 port = DefaultPort, QObject* parent = nullptr);
    ~LoopbackSignIn() override;

    // False, with errorString(), when the port cannot be had (another program holds it).
    bool begin(const QString& redirectPath);
    // Stops listening; no signal.
    void cancel();
    bool isPending() const { return pending_; }
    QString errorString() const { return error_; }
    quint16 port() const { return port_; }
    QUrl redirectUri() const;

    // QDesktopServices::openUrl: the user's own browser.
    static BrowserOpener systemBrowser();
    // An unguessable value for the authorize address's `state`.
    static QString newState();

Q_SIGNALS:
    // A GET to the redirect path while pending; the browser has already been answered.
    void redirected(const QUrl& url);

private:
    void acceptConnections();
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, int status, const QByteArray& reason, const QByteArray& html);

    quint16 port_;
    QString path_;
    bool pending_ = false;
    QString error_;
    QTcpServer server_;
};
