// Runs a task's backup or restore exactly as the application does and reports the outcome:
//   zorvi-bench backup|restore --mode copy|7z|7z-enc --dest DIR --name NAME
//               [--password-stdin] [--cancel-after-ms N] [--progress] SRC...
//   zorvi-bench backup ... --task-file FILE     also keeps the task's record in FILE, as the
//                                               application keeps it in its task list
//   zorvi-bench restore --task-file FILE [--password-stdin] [--cancel-after-ms N] [--progress]
//                                               restores that record, its sources re-pointed at
//                                               the drives' mounts now, as Restore does; refused
//                                               when the Restore page would not list it
// Last line: result=ok|fail seconds=<wall> bytes=<source bytes, with --progress> message=<text>
#include "ProgressReceiver.h"
#include "TaskController.h"
#include "TaskInfo.h"
#include "UtilityFunctions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <QThreadPool>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

// Counts progress reports, so a run with a receiver pays what the window would.
class CountingReceiver : public ProgressReceiver {
public:
    std::atomic<int> reports { 0 };
    void copyProgress(float) override { ++reports; }
    void onLzmaSDKObjCWriter(LzmaSDKObjCWriter*, float) override { ++reports; }
    void onLzmaSDKObjCReader(LzmaSDKObjCReader*, float) override { ++reports; }
};

int usage()
{
    std::cerr << "usage: zorvi-bench backup|restore --mode copy|7z|7z-enc --dest DIR --name NAME\n"
                 "                   [--password-stdin] [--cancel-after-ms N] [--progress] SRC...\n"
                 "       zorvi-bench backup ... --task-file FILE\n"
                 "                   (the task's record after the run, as the application saves it)\n"
                 "       zorvi-bench restore --task-file FILE [--password-stdin] [--cancel-after-ms N] [--progress]\n"
                 "                   (restores that record as Restore does: its sources re-pointed at\n"
                 "                   the drives' mounts now; mode, destination, name and sources come from it;\n"
                 "                   refused when the Restore page would not list it)\n";
    return 2;
}

int fail(const QString& text)
{
    std::fprintf(stderr, "zorvi-bench: %s\n", text.toUtf8().constData());
    return 2;
}

// The task as the editor makes it: places on a drive carry its identity, and the sizes it shows.
TaskInfoPtr editedTask(const QString& name, const QStringList& sources, const QString& dest, qint64 function,
                       const QString& password)
{
    QStringList tagged, ids;
    qint64 files = 0, folders = 0;
    for (const QString& source : sources) {
        ids << QString::number(ids.size());
        tagged << UtilityFunctions::tagPathWithDevice(source);
        (QFileInfo(source).isDir() ? folders : files)++;
    }
    return TaskInfo::initWithValues(name, "", tagged, UtilityFunctions::tagPathWithDevice(dest), ids, function, password,
                                    "None", 0, 0, {}, {}, 0, 0, UtilityFunctions::getTotalSize(sources), files,
                                    folders, 0, {}, false);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString action = args.takeFirst();
    if (action != "backup" && action != "restore")
        return usage();

    QString mode, dest, name, password, taskFile;
    int cancelAfterMs = -1;
    bool withProgress = false;
    QStringList sources;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == "--mode" && !args.isEmpty())
            mode = args.takeFirst();
        else if (a == "--dest" && !args.isEmpty())
            dest = args.takeFirst();
        else if (a == "--name" && !args.isEmpty())
            name = args.takeFirst();
        else if (a == "--cancel-after-ms" && !args.isEmpty())
            cancelAfterMs = args.takeFirst().toInt();
        else if (a == "--task-file" && !args.isEmpty())
            taskFile = args.takeFirst();
        else if (a == "--password-stdin")
            password = QTextStream(stdin).readLine();
        else if (a == "--progress")
            withProgress = true;
        else if (a.startsWith("--"))
            return usage();
        else
            sources << a;
    }
    const qint64 function = mode == "copy" ? 1 : mode == "7z" ? 2 : mode == "7z-enc" ? 3 : 0;
    const bool fromRecord = action == "restore" && !taskFile.isEmpty();
    if (fromRecord ? (function != 0 || !dest.isEmpty() || !name.isEmpty() || !sources.isEmpty())
                   : (function == 0 || dest.isEmpty() || name.isEmpty() || sources.isEmpty()))
        return usage();

    TaskController controller;
    if (!taskFile.isEmpty())
        controller.setTaskListFile(QFileInfo(taskFile).absoluteFilePath());
    TaskInfoPtr listed;
    TaskInfoPtr task;
    qint64 bytes = 0;
    if (fromRecord) {
        const QList<TaskInfoPtr> tasks = controller.loadTaskList();
        if (tasks.isEmpty())
            return fail("no task in " + taskFile);
        controller.TaskArray = tasks;
        // What Restore does first: the sources follow their drives to where they are mounted now.
        controller.updateTaskVolumePaths(false);
        listed = controller.TaskArray.first();
        if (!listed->offeredForRestore())
            return fail("\"" + listed->taskName + "\" is not on the Restore page: its last backup did not succeed, and "
                        "its folder holds no backup that goes back to one of its sources");
        task = UtilityFunctions::copyTaskInfo(listed);
        task->stopScheduleTimer();
        if (withProgress)
            bytes = UtilityFunctions::getTotalSize(task->backupSrc);
    } else if (!taskFile.isEmpty()) {
        listed = task = editedTask(name, sources, dest, function, password);
        controller.TaskArray = { task };
        if (withProgress)
            bytes = task->totalSize;
    } else {
        // The application knows the size before a run (its size polls); only progress needs it.
        bytes = withProgress ? UtilityFunctions::getTotalSize(sources) : 0;
        task = TaskInfo::initWithValues(name, "", sources, dest, {}, function, password, "None", 0, 0, {}, {},
                                        0, 0, bytes, 0, 0, 0, {}, false);
        if (action == "restore") {
            // The backup of these sources, as the backup run records it.
            task->recordFixedSources();
        }
    }

    CountingReceiver receiver;
    std::jthread canceller;
    if (cancelAfterMs >= 0) {
        canceller = std::jthread([task, cancelAfterMs](std::stop_token token) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(cancelAfterMs);
            while (!token.stop_requested() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!token.stop_requested())
                task->BackupRestoreCancel = true;
        });
    }

    QElapsedTimer clock;
    clock.start();
    QString message;
    const bool ok = action == "backup"
        ? task->performBackup(withProgress ? &receiver : nullptr, message)
        : task->performRestore(password, withProgress ? &receiver : nullptr, message);
    const double seconds = clock.nsecsElapsed() / 1e9;
    canceller = {};

    if (listed) {
        // The outcome goes into the list as the run's finishing step puts it there.
        if (action == "backup")
            listed->backupStatus = ok ? 1 : -1;
        else
            listed->restoreStatus = ok ? 1 : -1;
        if (!controller.saveTaskList())
            std::fprintf(stderr, "zorvi-bench: the task was not saved in %s\n", taskFile.toUtf8().constData());
    }

    if (withProgress)
        std::fprintf(stderr, "progress reports: %d\n", receiver.reports.load());
    std::printf("result=%s seconds=%.3f bytes=%lld message=%s\n", ok ? "ok" : "fail", seconds,
                static_cast<long long>(bytes), message.simplified().toUtf8().constData());
    // The previous copy is deleted in the background once the new one is in place; let that
    // finish here, outside the timed part, so the next run starts from a clean destination.
    QThreadPool::globalInstance()->waitForDone();
    return ok ? 0 : 1;
}
