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
};

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // Shows the window without blocking; the answer goes to delegate (may be null).
    virtual void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) = 0;
};
