#pragma once

#include "AnalyticsSink.h"
#include "BackupSendTaskDelegate.h"
#include "BoxViewSendTaskDelegate.h"
#include "DispatchQueue.h"
#include "GoogleReporter.h"
#include "MessagePresenter.h"
#include "RestoreSendTaskDelegate.h"
#include "TaskInfo.h"
#include "UtilityFunctions.h"
#include "messageViewDelegate.h"

#include <QObject>
#include <QPointer>
#include <QTest>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <vector>

namespace taskpages {

// Records every message window asked for, with the delegate that would get the answer.
class RecordingPresenter : public MessagePresenter {
public:
    RecordingPresenter() { UtilityFunctions::setMessagePresenter(this); }
    ~RecordingPresenter() override { UtilityFunctions::setMessagePresenter(nullptr); }
    void present(QObject* presenter, const MessageRequest& request, messageViewDelegate* delegate) override
    {
        requests.push_back(request);
        delegates.push_back(delegate);
        presenters.push_back(presenter);
    }
    QString lastMessage() const { return requests.empty() ? QString() : requests.back().message; }
    // Answers the last message window as the user would.
    void answer(int index)
    {
        ASSERT_FALSE(delegates.empty());
        ASSERT_NE(delegates.back(), nullptr);
        delegates.back()->btnClicked(index);
    }
    std::vector<MessageRequest> requests;
    std::vector<messageViewDelegate*> delegates;
    std::vector<QObject*> presenters;
};

struct Call {
    QString taskName; // "" for no task
    QString action;
    bool useProgress = false;
};

// The main window as the pages see it.
class FakeMainWindow : public QObject, public BackupSendTaskDelegate, public RestoreSendTaskDelegate {
public:
    void runTask(const TaskInfoPtr& task, const QString& action, bool useProgress) override
    {
        calls.push_back({ task ? task->taskName : QString(), action, useProgress });
        if (onRunTask)
            onRunTask(task, action);
    }
    void disableOtb() override { ++disableOtbCount; }
    void updateTaskVolumePaths(bool refresh) override
    {
        volumeRefreshes.push_back(refresh);
        if (onUpdateVolumes)
            onUpdateVolumes();
    }
    void restoreTask(const TaskInfoPtr& task, const QString& action) override
    {
        restores.push_back({ task ? task->taskName : QString(), action, false });
    }
    void driveIdentityGiven(const QString& root, const QString& identity) override { identitiesGiven.push_back({ root, identity }); }
    std::vector<std::pair<QString, QString>> identitiesGiven;
    std::vector<Call> calls;
    std::vector<Call> restores;
    std::vector<bool> volumeRefreshes;
    int disableOtbCount = 0;
    std::function<void(const TaskInfoPtr&, const QString&)> onRunTask;
    std::function<void()> onUpdateVolumes;
};

class RecordingBoxDelegate : public BoxViewSendTaskDelegate {
public:
    void sendTask(const TaskInfoPtr& task, const QString& action) override
    {
        tasks.push_back(task);
        actions.push_back(action);
    }
    void driveIdentityGiven(const QString& root, const QString& identity) override { identitiesGiven.push_back({ root, identity }); }
    std::vector<std::pair<QString, QString>> identitiesGiven;
    std::vector<TaskInfoPtr> tasks;
    std::vector<QString> actions;
};

class RecordingSink : public AnalyticsSink {
public:
    struct Event {
        QString category, action, label;
    };
    void configure(const QString&) override {}
    void session(bool, const Parameters&) override {}
    void event(const QString& c, const QString& a, const QString& l, const Parameters&) override { events.push_back({ c, a, l }); }
    void screenView(const QString& name, const Parameters&) override { screens.push_back(name); }
    std::vector<Event> events;
    std::vector<QString> screens;
};

inline TaskInfoPtr makeTask(const QString& name, qint64 function = 1, qint64 backupStatus = 0, qint64 totalSize = 0,
                            const QString& dest = QStringLiteral("/tmp/dest"))
{
    return TaskInfo::initWithValues(name, QStringLiteral("2026-01-02, 3:04 PM"), { QStringLiteral("/tmp/src-") + name }, dest,
                                    { QStringLiteral("0") }, function, QStringLiteral("Secret12"), QStringLiteral("None"), -1,
                                    -1, {}, {}, backupStatus, 0, totalSize, 3, 1, 0, {}, false);
}

// Runs everything already queued on the main queue (the pages reload through it).
inline void drainMainQueue()
{
    bool done = false;
    DispatchQueue::main().async([&done] { done = true; });
    EXPECT_TRUE(QTest::qWaitFor([&done] { return done; }, 5000));
}

// A task page under test with a recording presenter, main window and analytics sink. The
// page is declared last so it goes first, before the fakes it may still point at.
template <typename Page>
class TaskPageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        sink = std::make_shared<RecordingSink>();
        GoogleReporter::shared().setSink(sink);
        page.resize(960, 540);
    }
    void TearDown() override { GoogleReporter::shared().setSink(nullptr); }

    // Hands the page its list and waits for the rows.
    void load(const QList<TaskInfoPtr>& tasks)
    {
        page.setTableData(tasks);
        page.reloadTaskTable();
        drainMainQueue();
    }

    RecordingPresenter presenter;
    FakeMainWindow main;
    std::shared_ptr<RecordingSink> sink;
    Page page;
};

} // namespace taskpages
