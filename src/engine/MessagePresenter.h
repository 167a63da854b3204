#pragma once

#include <QString>

class QObject;
class messageViewDelegate;

// What the engine needs to show a message window; the GUI installs the real one
// (UtilityFunctions::setMessagePresenter), tests install a recording fake.
struct MessageRequest {
    QString title;
    QString imageName;
    QString message;
    bool showSecondBtn = false;
    // Button titles; empty keeps the window's own ("OK", "Cancel").
    QString mainButtonTitle;
    QString secondButtonTitle;
    // Esc or the window manager's close dismisses the window without an answer: the delegate
    // hears messageDismissed() instead of btnClicked. Otherwise only the buttons close it.
    bool closingCancels = false;
};

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Shows the window without blocking; the answer goes to delegate (may be null).
    virtual void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) = 0;
};
