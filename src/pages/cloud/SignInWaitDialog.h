#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QPushButton;

// Stands in for the sign-in sheet while the user signs in in their own browser: it says what
// Zorvi waits for and offers Cancel. The sign-in closes it with finish() when it ends; it can
// also tell why a sign-in could not start, with only a Close button left.
class SignInWaitDialog : public QDialog {
    Q_OBJECT
public:
    // `service` is the name shown to the user ("OneDrive", "Google Drive", "Dropbox").
    explicit SignInWaitDialog(const QString& service, QWidget* parent = nullptr);

    QString message() const;
    void setMessage(const QString& text);
    // The browser did not open: the user can open the address themselves.
    void showAddress(const QUrl& address);
    // The sign-in cannot go on; Cancel becomes Close and the dialog stays until closed.
    void showProblem(const QString& text);
    // Closes the dialog without cancelled().
    void finish();

    void reject() override;
    void done(int result) override;

Q_SIGNALS:
    // The user closed the dialog while the sign-in was still waiting.
    void cancelled();

private:
    QLabel* text_;
    QLabel* address_;
    QPushButton* button_;
    bool waiting_ = true;
    bool closed_ = false;
};
