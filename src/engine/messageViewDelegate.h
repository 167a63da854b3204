#pragma once

// Answer of the message window to whoever presented it.
class messageViewDelegate {
public:
    virtual ~messageViewDelegate() = default;
    // 0: the main button closed the window; 1: the second button.
    virtual void btnClicked(int index) = 0;
    // The main button was pressed with the "SecuriryDeleteSource" checkbox ticked.
    virtual void deleteSourceFiles() {}
    // The window was closed without a button (only a window that allows it, closingCancels).
    virtual void messageDismissed() {}
};
