#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class QPlainTextEdit;
class QPushButton;
class QSettings;

// The end-user agreement. Accept stores true under "eulaAccepted"; any other way out
// (Decline, Esc, the window manager's close, hiding it) ends the application.
class eulaView : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* AcceptedKey = "eulaAccepted";

    explicit eulaView(QWidget* parent = nullptr);
    ~eulaView() override;

    bool isAccept = false;
    QSettings* defaults = nullptr; // the user defaults unless replaced
    // Ends the application with status 0; tests replace it.
    std::function<void()> quitProgram;

    static bool isAccepted(QSettings& settings);

    // Application-modal, deleted on close, returns at once.
    void present();

public Q_SLOTS:
    void acceptClick();
    void rejectClick();
    // Esc and the window manager's close land here: declining.
    void reject() override;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPlainTextEdit* eulaTextView = nullptr;
    QPushButton* acceptBtn = nullptr;
    QPushButton* rejectBtn = nullptr;

    void viewDidDisappear();

    std::unique_ptr<QSettings> ownDefaults_;
    bool quitting_ = false;
};
