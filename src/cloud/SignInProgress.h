#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

// What a browser sign-in (or the OneDrive sign-out) tells whoever shows its wait: that it
// waits for the browser, that the browser could not be opened, that it cannot go on, and that
// it has ended. The one showing the wait may cancel it. Nothing here shows a window.
class SignInProgress : public QObject {
    Q_OBJECT
public:
    // `service` is the name the user knows ("Dropbox", "Google Drive", "OneDrive").
    explicit SignInProgress(QString service, QObject* parent = nullptr);

    QString service() const { return service_; }
    bool isWaiting() const { return waiting_; }

    // --- reported by the sign-in ---
    // `message` empty: the usual words of a sign-in in the browser.
    void wait(const QString& message = QString());
    // The browser did not open; the user may open `address` themselves.
    void offerAddress(const QUrl& address);
    // The sign-in cannot start or go on; whoever shows it keeps saying so until the user closes it.
    void fail(const QString& message);
    // The wait is over, whatever the outcome; nothing when no wait is on.
    void end();

    // --- from the one showing the wait ---
    // The user gave up waiting; the sign-in ends without a result.
    void cancel();

Q_SIGNALS:
    void waiting(const QString& message);
    void addressOffered(const QUrl& address);
    void failed(const QString& message);
    void ended();
    void cancelled();

private:
    QString service_;
    bool waiting_ = false;
};
