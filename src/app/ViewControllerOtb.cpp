// The main window's one-touch-button side: binding a task, arming the polling and running
// the bound task when a listed drive's button is pressed.
#include "ViewController.h"

#include "DeviceListPage.h"
#include "GoogleReporter.h"
#include "OtbButtonPage.h"
#include "OtbPoller.h"

#include <QLoggingCategory>
#include <QSettings>

#include <algorithm>

Q_LOGGING_CATEGORY(lcOtb, "zorvi.otb", QtInfoMsg)

namespace {

void printBinding(const TaskInfoPtr& task, bool on)
{
    qCInfo(lcOtb).noquote() << QStringLiteral("########") + task->taskName + (on ? " on" : " off");
}

} // namespace

void ViewController::startOtbTimer(int intervalMs)
{
    otbPoller->start(intervalMs);
}

void ViewController::stopOtbPolling()
{
    otbPoller->stop();
}

bool ViewController::isDeviceListed(quint32 locationId) const
{
    if (!MyDeviceView)
        return false;
    const QString text = QString::asprintf("0x%08X", locationId);
    for (const auto& device : MyDeviceView->deviceArray()) {
        if (device.value(QStringLiteral("location")) == text)
            return true;
    }
    return false;
}

void ViewController::runOtbBackup(quint32 locationId)
{
    QList<TaskInfoPtr>& tasks = controller.TaskArray;
    const bool anyBound = std::any_of(tasks.cbegin(), tasks.cend(), [](const TaskInfoPtr& t) { return t->isOtbChecked == 1; });
    if (anyBound && !isDeviceListed(locationId))
        return;
    if (!OtbView || !OtbView->otbButtonPressed())
        return;

    stopOtbPolling();
    controller.updateTaskVolumePaths(false);

    // The re-mapping rebuilt the list: look for the bound task in the new one.
    qsizetype index = -1;
    for (qsizetype i = 0; i < tasks.size(); ++i) {
        if (tasks[i]->isOtbChecked != 1)
            continue;
        if (!controller.checkFilesInUse(tasks[i])) {
            qCInfo(lcOtb) << "task is executing";
            startOtbTimer(300);
            return;
        }
        index = i;
        break;
    }
    if (index < 0)
        return;
    GoogleReporter::shared().event(QStringLiteral("OTB Action"), QStringLiteral("M1 OTB"), QString());
    controller.startBackupRun(index, false, false);
}

void ViewController::disableOtb()
{
    QSettings* settings = defaults();
    settings->remove(QStringLiteral("RunningOTBTask"));
    settings->remove(QStringLiteral("RunningOTBDevice"));
    settings->setValue(QStringLiteral("IsRunningOTB"), false);
    stopOtbPolling();
    for (const TaskInfoPtr& task : controller.TaskArray) {
        task->isOtbChecked = 0;
        printBinding(task, false);
    }
    controller.updateTaskVolumePaths(false);
}

void ViewController::otbAction(const TaskInfoPtr& task, const QString& action)
{
    if (action == QLatin1String("OtbChange")) {
        QList<TaskInfoPtr>& tasks = controller.TaskArray;
        const QString name = task ? task->taskName : QString();
        const bool matched = task && std::any_of(tasks.cbegin(), tasks.cend(), [&](const TaskInfoPtr& t) {
            return t->taskName == name;
        });
        if (matched) {
            for (const TaskInfoPtr& t : tasks) {
                t->isOtbChecked = t->taskName == name ? 1 : 0;
                printBinding(t, t->isOtbChecked == 1);
            }
        }
        controller.updateTaskVolumePaths(false);
    } else if (action == QLatin1String("Update")) {
        controller.refreshTaskLists();
    } else if (action == QLatin1String("DisableAll")) {
        disableOtb();
    } else if (action == QLatin1String("StartOTB")) {
        startOtbTimer(300);
    }
}
