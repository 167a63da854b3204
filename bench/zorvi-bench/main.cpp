// Runs a task's backup or restore exactly as the application does and reports the outcome:
//   zorvi-bench backup|restore --mode copy|7z|7z-enc --dest DIR --name NAME
//               [--password-stdin] [--cancel-after-ms N] [--progress] SRC...
// Last line: result=ok|fail seconds=<wall> bytes=<source bytes, with --progress> message=<text>
#include "ProgressReceiver.h"
#include "TaskInfo.h"
#include "UtilityFunctions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
                 "                   [--password-stdin] [--cancel-after-ms N] [--progress] SRC...\n";
    return 2;
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

    QString mode, dest, name, password;
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
    if (function == 0 || dest.isEmpty() || name.isEmpty() || sources.isEmpty())
        return usage();

    // The application knows the size before a run (its size polls); only progress needs it.
    const qint64 bytes = withProgress ? UtilityFunctions::getTotalSize(sources) : 0;
    auto task = TaskInfo::initWithValues(name, "", sources, dest, {}, function, password, "None", 0, 0, {}, {},
                                         0, 0, bytes, 0, 0, 0, {}, false);
    if (action == "restore") {
        // A plain-copy restore reads the items where the backup put them.
        task->fixedSourcePaths = sources;
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

    if (withProgress)
        std::fprintf(stderr, "progress reports: %d\n", receiver.reports.load());
    std::printf("result=%s seconds=%.3f bytes=%lld message=%s\n", ok ? "ok" : "fail", seconds,
                static_cast<long long>(bytes), message.simplified().toUtf8().constData());
    // The previous copy is deleted in the background once the new one is in place; let that
    // finish here, outside the timed part, so the next run starts from a clean destination.
    QThreadPool::globalInstance()->waitForDone();
    return ok ? 0 : 1;
}
