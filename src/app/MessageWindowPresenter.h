#pragma once

#include "MessagePresenter.h"

// Shows engine and page messages in a messageView made by the window factory: application-
// modal, over the presenter's window when the presenter is a widget, without blocking.
// Install once at start-up: MessageWindowPresenter::install().
class MessageWindowPresenter : public MessagePresenter {
public:
    void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) override;

    // Makes the process-wide instance the engine's message presenter.
    static void install();
};
