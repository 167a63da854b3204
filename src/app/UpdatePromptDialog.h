#pragma once

#include "UpdatePrompt.h"

#include <QPointer>
#include <QWidget>

// The updater's question and notices over the main window: the offered update in a message box
// (three choices and the release notes), the rest in the program's message window. Every window is
// opened without blocking; closing an offered update without a choice means "later".
class UpdatePromptDialog : public UpdatePrompt {
public:
    explicit UpdatePromptDialog(QWidget* parent = nullptr);

    void setParentWidget(QWidget* parent) { parent_ = parent; }

    void showUpdateFound(const AppcastItem& item, const QString& currentVersion,
                         std::function<void(Choice)> reply) override;
    void showUpToDate(const QString& currentVersion) override;
    void showCheckFailed(const QString& reason) override;

private:
    QPointer<QWidget> parent_;
};
