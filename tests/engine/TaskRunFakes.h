#pragma once

#include "MessagePresenter.h"
#include "ProgressReceiver.h"
#include "TaskController.h"
#include "TaskRunWindows.h"
#include "TaskTablePage.h"
#include "UtilityFunctions.h"

#include <QStringList>
#include <memory>
#include <vector>

// A progress window that only remembers what it was shown with and what happened to it.
class FakeSheet : public ProgressReceiver {
public:
    void copyProgress(float) override {}
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float) override {}
    void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float) override {}

    TaskInfoPtr task;
    QString title, imageName, status;
    int dismissed = 0;
    int represented = 0;
};

class FakeRunWindows : public TaskRunWindows {
public:
    std::shared_ptr<ProgressReceiver> presentProgressSheet(const TaskInfoPtr& task, const QString& title,
                                                           const QString& imageName, const QString& status) override
    {
        auto sheet = std::make_shared<FakeSheet>();
        sheet->task = task;
        sheet->title = title;
        sheet->imageName = imageName;
        sheet->status = status;
        if (cancelOnPresent && task)
            task->BackupRestoreCancel = true; // the user pressed Cancel at once
        sheets.push_back(sheet);
        return sheet;
    }
    void dismissProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) override
    {
        static_cast<FakeSheet*>(sheet.get())->dismissed++;
    }
    void representProgressSheet(const std::shared_ptr<ProgressReceiver>& sheet) override
    {
        static_cast<FakeSheet*>(sheet.get())->represented++;
    }
    void showUserNotification(const QString& title, const QString& subtitle) override
    {
        notifications << title + "|" + subtitle;
    }
    void askRestorePassword(const TaskInfoPtr& task) override { passwordPrompts.push_back(task); }
    void startOtbTimer(int intervalMs) override { otbStarts << intervalMs; }
    void reportEvent(const QString& category, const QString& action, const QString& label) override
    {
        events << category + "/" + action + "/" + label;
    }

    bool cancelOnPresent = false;
    std::vector<std::shared_ptr<FakeSheet>> sheets;
    QStringList notifications;
    std::vector<TaskInfoPtr> passwordPrompts;
    QList<int> otbStarts;
    QStringList events;
};

// Records every message window instead of showing it; installed for the test's lifetime.
class RecordingPresenter : public MessagePresenter {
public:
    RecordingPresenter() { UtilityFunctions::setMessagePresenter(this); }
    ~RecordingPresenter() override { UtilityFunctions::setMessagePresenter(nullptr); }
    void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) override
    {
        shown.push_back(request);
        delegates.push_back(delegate);
    }
    std::vector<MessageRequest> shown;
    std::vector<messageViewDelegate*> delegates;
};

class FakeTaskPage : public TaskTablePage {
public:
    void setTableData(const QList<TaskInfoPtr>& tasks) override { data = tasks; }
    void reloadTaskTable() override { reloads++; }
    void resetAndReloadTaskTable() override { resets++; }
    QStringList names() const
    {
        QStringList n;
        for (const auto& t : data)
            n << t->taskName;
        return n;
    }
    QList<TaskInfoPtr> data;
    int reloads = 0;
    int resets = 0;
};

inline TaskInfoPtr plainTask(const QString& name, const QStringList& sources, const QString& dest,
                             const QString& scheduleMode = "None", qint64 mode = 1)
{
    return TaskInfo::initWithValues(name, "", sources, dest, {}, mode, "", scheduleMode, 3, 30, {}, {}, 0, 0, 0, 0, 0,
                                    0, {}, false);
}

// A controller wired to fakes the way the main window wires itself.
struct WiredController {
    FakeRunWindows windows;
    RecordingPresenter presenter;
    FakeTaskPage backupPage, restorePage, otbPage;
    TaskController controller;
    WiredController()
    {
        controller.taskInfoDelegate = &controller;
        controller.windows = &windows;
        controller.BackupView = &backupPage;
        controller.RestoreView = &restorePage;
        controller.OtbView = &otbPage;
    }
    // The list as saved in the task-list file.
    QList<TaskInfoPtr> saved()
    {
        TaskController reader;
        return reader.loadTaskList();
    }
};
