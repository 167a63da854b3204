#pragma once

class QObject;

// A page hosted in one of the main window's containers. The host calls embed() once, with
// itself; the page keeps the delegate interfaces it needs (dynamic_cast of mainWindow).
class EmbeddedPage {
public:
    virtual ~EmbeddedPage() = default;
    virtual void embed(QObject* mainWindow) = 0;
};
