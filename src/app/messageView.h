#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QCheckBox;
class QLabel;
class QSettings;
class customizeButton;
class messageViewDelegate;

// The message window: title, message, status image, a main button, an optional second button
// and an optional checkbox whose key gives it a meaning. Fill the fields, then present();
// they are read when the window is first shown. Normally the buttons are the only way out:
// close requests and Esc are ignored, so the delegate always hears a button. With
// closingCancels they dismiss the window and the delegate hears messageDismissed() instead.
class messageView : public QDialog {
    Q_OBJECT
public:
    explicit messageView(QWidget* parent = nullptr);
    ~messageView() override;

    messageViewDelegate* btnClickedDelegate = nullptr; // not owned; must outlive the window

    QString imagePath;
    QString titleString;
    QString statusString;
    bool showSuppressionCheckBox = false;
    bool isCloseProgram = false;
    bool showSecondBtn = false;
    QString suppressionLabelText;
    QString suppressionKey;
    QSettings* defaults = nullptr; // the user defaults unless replaced
    QString mainBtnTitle;          // empty: "OK"
    QString secondBtnTitle;        // empty: "Cancel"
    bool closingCancels = false;

    // Application-modal, deleted on close, returns at once.
    void present();

public Q_SLOTS:
    void cancelClicked(); // second button
    void closeClicked();  // main button
    // Esc and the window manager's close land here: ignored unless closingCancels.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    // Ends the process with status 0 (isCloseProgram); tests override it.
    virtual void quitProgram();

private:
    QLabel* statusImg = nullptr;
    QLabel* messageLabel = nullptr;
    QLabel* titleLabel = nullptr;
    QCheckBox* suppressionCheckbox = nullptr;
    customizeButton* secondBtn = nullptr;
    QLabel* suppressionLabel = nullptr;
    customizeButton* closeBtn = nullptr; // the main button

    void viewDidLoad();
    void viewWillAppear();

    std::unique_ptr<QSettings> ownDefaults_;
    bool loaded_ = false;
};
