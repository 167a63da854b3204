// zorvi-bench-total-size [DIR]
// Times UtilityFunctions::getTotalSize against `du -sb` on the same tree (warm cache, best
// of several runs). Without DIR a tree of 20,000 files is made in a temporary folder.
#include "UtilityFunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <limits>

namespace {

constexpr int kRuns = 9;

bool makeTree(const QString& root, int files)
{
    const int perFolder = 100;
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/d%2/e%3").arg(root).arg(i / (perFolder * 10)).arg(i / perFolder);
        if (i % perFolder == 0 && !QDir().mkpath(folder))
            return false;
        QFile f(QStringLiteral("%1/f%2.dat").arg(folder).arg(i));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QByteArray(1 + (i * 7919) % 9000, char('a' + i % 26)));
    }
    return true;
}

double bestSeconds(const std::function<bool()>& run)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        if (!run())
            return -1;
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    QString dir;
    if (argc > 1) {
        dir = QString::fromLocal8Bit(argv[1]);
    } else {
        if (!tmp.isValid() || !makeTree(tmp.path() + "/tree", 20000)) {
            std::fprintf(stderr, "cannot create the test tree\n");
            return 1;
        }
        dir = tmp.path() + "/tree";
    }
    if (!QFileInfo(dir).isDir()) {
        std::fprintf(stderr, "not a folder: %s\n", qPrintable(dir));
        return 1;
    }

    qint64 ours = 0;
    QByteArray duOut;
    const auto runOurs = [&] {
        ours = UtilityFunctions::getTotalSize({ dir });
        return true;
    };
    const auto runDu = [&] {
        QProcess du;
        du.start("du", { "-sb", dir });
        if (!du.waitForFinished(600000) || du.exitCode() != 0)
            return false;
        duOut = du.readAllStandardOutput();
        return true;
    };
    // Warm the cache for both.
    runOurs();
    if (!runDu()) {
        std::fprintf(stderr, "du -sb failed\n");
        return 1;
    }

    const double oursTime = bestSeconds(runOurs);
    const double duTime = bestSeconds(runDu);
    std::printf("tree:          %s\n", qPrintable(dir));
    std::printf("getTotalSize:  %.2f ms (%lld bytes allocated)\n", oursTime * 1e3, static_cast<long long>(ours));
    std::printf("du -sb:        %.2f ms (%s bytes apparent)\n", duTime * 1e3, duOut.split('\t').value(0).constData());
    std::printf("ratio:         %.2f (getTotalSize / du; best of %d runs each)\n", oursTime / duTime, kRuns);
    return 0;
}
