#pragma once

#include "EmbeddedPage.h"

#include <QWidget>

class DecryptDelegate;
class EncryptDelegate;
class QFileDialog;
class SecurityBoxButton;
class decPasswordView;
class encPasswordView;

// The Security tab: two boxes, Encrypt and Decrypt. Each opens a chooser and then the matching
// password dialog; the dialog, not the page, starts the main window's run.
class SecurityViewController : public QWidget, public EmbeddedPage {
    Q_OBJECT
public:
    explicit SecurityViewController(QWidget* parent = nullptr);

    void embed(QObject* mainWindow) override;

    EncryptDelegate* encryptDelegate() const { return encryptDelegate_; }
    DecryptDelegate* decryptDelegate() const { return decryptDelegate_; }

public Q_SLOTS:
    void EncryptClick();
    void DecryptClick();
    // What the choosers hand on; each opens its password dialog.
    encPasswordView* encryptChosen(const QString& path);
    decPasswordView* decryptChosen(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    SecurityBoxButton* encryptBtn = nullptr;
    SecurityBoxButton* decryptBtn = nullptr;

    EncryptDelegate* encryptDelegate_ = nullptr; // the main window, not owned
    DecryptDelegate* decryptDelegate_ = nullptr;
};
