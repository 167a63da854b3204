#pragma once

#include "TaskInfo.h"

#include <QString>
#include <memory>

class ProgressReceiver;
class messageViewDelegate;

// What the encrypt and decrypt runs need of the main window. Called on the GUI thread.
class SecurityRunHost {
public:
    virtual ~SecurityRunHost() = default;

    // The dispatcher's in-use guard; it shows its own refusal when it answers false.
    virtual bool checkFilesInUse(const TaskInfoPtr& task) = 0;

    // Presents the modal progress window. Its Cancel must reach SecurityRuns::removePartialArchive.
    // The receiver is told from the archive thread and must stay valid while the pointer lives.
    virtual std::shared_ptr<ProgressReceiver> presentProgressSheet(const QString& title, const QString& imageName,
                                                                   const QString& statusText) = 0;
    virtual void dismissProgress() = 0;

    // The success message with the "Delete source file(s)." checkbox (key "SecuriryDeleteSource"),
    // title "Information", image "ic_log_success"; its btnClickedDelegate is `answer`, so a close
    // with the box ticked reaches answer->deleteSourceFiles().
    virtual void askDeleteSource(const QString& statusText, messageViewDelegate* answer) = 0;

    // GoogleReporter::shared().event(category, action, "") (the engine does not link analytics).
    virtual void analyticsEvent(const QString& category, const QString& action) = 0;
};
