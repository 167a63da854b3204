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
// sign-in in progress. "localhost" may name either loopback address, so it listens on
// 127.0.0.1 and, where the system has it, ::1 — and refuses to start when another program
// holds either, which would otherwise receive the code. It listens only while a sign-in is
// pending, so no other process or page can hand us a code when we did not ask for one.
class LoopbackSignIn : public QObject {
    Q_OBJECT
public:
    using BrowserOpener = std::function<bool(const QUrl&)>;

    // What the browser is told about a request to the redirect path.
    enum class Verdict {
        accepted,  // the answer of our sign-in
        signedOut, // the service's sign-out came back
        refused,   // not the answer of the sign-in we started: 400, and nothing is handed on
    };
    using Judge = std::function<Verdict(const QUrl&)>;

    static constexpr quint16 DefaultPort = 5000;

    explicit LoopbackSignIn(quint16 port = DefaultPort, QObject* parent = nullptr);
    ~LoopbackSignIn() override;

    // Decides each redirect before the browser is answered; it must not act on it (that is
    // what redirected() is for). Unset: every redirect is accepted.
    void setJudge(Judge judge) { judge_ = std::move(judge); }

    // False, with errorString(), when the port cannot be had (another program holds it).
    bool begin(const QString& redirectPath);
    // Stops listening; no signal.
    void cancel();
    bool isPending() const { return pending_; }
    QString errorString() const { return error_; }
    quint16 port() const { return port_; }
    QUrl redirectUri() const;
    // Listening on ::1 as well as 127.0.0.1.
    bool hasIpv6() const { return v6_.isListening(); }

    // An unguessable value for the authorize address's `state`.
    static QString newState();

Q_SIGNALS:
    // A GET to the redirect path while pending that was not refused; the browser has already
    // been answered.
    void redirected(const QUrl& url);

private:
    bool listenOn(quint16 port);
    void fail(const QTcpServer& server);
    void acceptConnections(QTcpServer* server);
    void readRequest(QTcpSocket* socket);
    void answer(QTcpSocket* socket, int status, const QByteArray& reason, const QByteArray& html);

    quint16 port_;
    QString path_;
    bool pending_ = false;
    QString error_;
    Judge judge_;
    QTcpServer v4_;
    QTcpServer v6_;
};
