#pragma once

#include "UpdatePrompt.h"

#include <QPointer>
#include <QWidget>

// The updater's questions and answers as message boxes over the main window. Every box is
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
