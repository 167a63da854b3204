#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class customizeButton;

// One service's row of the Cloud page's service choice: the service's logo and name, the
// account's picture and e-mail, Open, and "Sign In" / "Sign Out". A row with a separate sign-out
// button shows that button in the sign button's place while signed in.
class CloudAccountRow : public QWidget {
    Q_OBJECT
public:
    CloudAccountRow(const QString& serviceName, const QString& logo, bool separateSignOut, QWidget* parent = nullptr);

    // The sign button's title, the Open button and the e-mail follow the state; the sign-out
    // button is shown on its own (setSignOutVisible).
    void setSignedIn(bool signedIn);
    void setEmail(const QString& email);
    void setSignOutVisible(bool visible);
    // Where the account's picture goes.
    QLabel* pictureView() const { return picture_; }

    // What the row shows.
    struct Shown {
        QString signTitle;
        bool signShown = false;
        bool openShown = false;
        bool signOutShown = false;
        QString email; // empty while hidden
    };
    Shown shown() const;

Q_SIGNALS:
    // The sign button, by the title it had.
    void signInClicked();
    void signOutClicked();
    void openClicked();

private:
    QLabel* picture_;
    QLabel* email_;
    customizeButton* open_;
    customizeButton* sign_;
    customizeButton* signOut_ = nullptr;
};
