// Downloads 1,000 small files and one 500 MB file from the stand-in cloud on loopback through
// the Cloud tab's run screen, for each service, and fetches the same files from the same server
// with curl. Prints files per second, MB/s and this process's peak memory per phase (the stand-in
// runs as a child process, so its memory is not counted).
//   zorvi-bench-cloud-download [--files N] [--file-kb K] [--big-mb M] [--services dropbox,google,onedrive]
#include "CloudProgressViewController.h"
#include "DisplaySleepInhibitor.h"
#include "DropboxWorker.h"
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeDropboxRoutes.h"
#include "FakeGoogleRoutes.h"
#include "FakeOneDriveRoutes.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

int serve(const QString& folder)
{
    FakeCloudTree tree;
    tree.loadFromDisk(folder);
    FakeCloudServer server;
    FakeDropboxRoutes dropbox;
    FakeGoogleRoutes google;
    FakeOneDriveRoutes onedrive;
    dropbox.install(server, tree);
    google.install(server, tree);
    onedrive.install(server, tree);
    if (!server.listen())
        return 1;
    std::printf("%s\n", qPrintable(server.baseUrl().toString()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

qint64 statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Resets the peak resident size, so each phase reports its own peak.
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void writeRandom(const QString& path, qint64 size, quint32 seed)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QRandomGenerator gen(seed);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        gen.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        f.write(chunk.constData(), n);
    }
}

QByteArray digestOf(const QString& path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (f.open(QIODevice::ReadOnly))
        h.addData(&f);
    return h.result();
}

// Relative path -> digest of every file below `folder`.
QMap<QString, QByteArray> digests(const QString& folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(path.mid(folder.size()), digestOf(path));
    }
    return out;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Clients {
    QNetworkAccessManager manager;
    QNetworkAccessManager browser;
    std::unique_ptr<DropboxWorker> dropbox;
    std::unique_ptr<GoogleDriveWorker> google;
    std::unique_ptr<OneDriveWorker> onedrive;

    bool signIn(const QUrl& base)
    {
        manager.setProxy(QNetworkProxy::NoProxy);
        browser.setProxy(QNetworkProxy::NoProxy);
        const auto follow = [this](const QUrl& url) {
            QNetworkReply* reply = browser.get(QNetworkRequest(url));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            return true;
        };
        const QString b = base.toString();
        dropbox = std::make_unique<DropboxWorker>(FakeDropboxRoutes().appKey, DropboxEndpoints{base, base, base, 0});
        dropbox->setBrowserOpener(follow);
        bool dropboxDone = false;
        dropbox->authorize([&](const DropboxOAuthResult&) { dropboxDone = true; });

        GoogleDriveConstant gc = GoogleDriveConstant::atHosts(b, b, b, QStringLiteral("http://127.0.0.1:%1/").arg(freePort()));
        gc.clientID = FakeGoogleRoutes().clientId;
        gc.clientSecret = FakeGoogleRoutes().clientSecret;
        google = std::make_unique<GoogleDriveWorker>(gc, GoogleDriveDelays{}, &manager);
        google->setBrowserOpener(follow);
        QSignalSpy googleDone(google.get(), &GoogleDriveWorker::GoogleDrive_login);
        google->login();

        OneDriveConstant oc = OneDriveConstant::atHosts(b, b, b, QStringLiteral("http://127.0.0.1:%1/getAToken").arg(freePort()));
        oc.clientID = FakeOneDriveRoutes().clientId;
        onedrive = std::make_unique<OneDriveWorker>(oc, OneDriveDelays{}, &manager);
        onedrive->setBrowserOpener(follow);
        QSignalSpy onedriveDone(onedrive.get(), &OneDriveWorker::OneDrive_login);
        onedrive->login();

        return QTest::qWaitFor([&] { return dropboxDone && !googleDone.isEmpty() && !onedriveDone.isEmpty(); }, 20000)
            && dropbox->isSignedIn() && !google->token().isEmpty() && !onedrive->token().isEmpty();
    }

    // Every file below the folder at `path` (Dropbox path, "" = root), as the page hands it over.
    QList<CloudItemPtr> files(CloudLoginService service, const QString& topName)
    {
        QList<CloudItemPtr> out;
        QList<CloudItemPtr> folders;
        list(service, QString(), QString(), &out, &folders);
        out.clear();
        for (const CloudItemPtr& f : std::as_const(folders))
            if (f->name == topName)
                walk(service, f, &out);
        return out;
    }

    void walk(CloudLoginService service, const CloudItemPtr& folder, QList<CloudItemPtr>* out)
    {
        QList<CloudItemPtr> folders;
        list(service, service == CloudLoginService::dropbox ? folder->path : folder->id, folder->googleRoute, out, &folders);
        for (const CloudItemPtr& f : std::as_const(folders))
            walk(service, f, out);
    }

    void list(CloudLoginService service, const QString& where, const QString& route, QList<CloudItemPtr>* files,
              QList<CloudItemPtr>* folders)
    {
        bool done = false;
        if (service == CloudLoginService::dropbox) {
            dropbox->listFolder(where, [&](const QList<DropboxMetadata>& entries, bool) {
                for (const DropboxMetadata& m : entries)
                    (m.isFile() ? files : folders)
                        ->append(std::make_shared<CloudItemClass>(m.name, m.pathDisplay, m.isFile() ? "file" : "folder",
                                                                  m.id, m.size, QString(), QString(), QString()));
                done = true;
            });
        } else if (service == CloudLoginService::googleDrive) {
            google->listFolder(where, route, [&](const QList<CloudItemPtr>& items, bool) {
                for (const CloudItemPtr& item : items)
                    (item->isFolder() ? folders : files)->append(item);
                done = true;
            });
        } else {
            onedrive->listFolder(where, [&](const QList<CloudItemPtr>& fs, const QList<CloudItemPtr>& fl, bool) {
                *folders += fs;
                *files += fl;
                done = true;
            });
        }
        if (!QTest::qWaitFor([&] { return done; }, 60000))
            std::fprintf(stderr, "a listing of the stand-in cloud never answered\n");
    }
};

// One curl process fetching the items one after another, as the run does.
double curlSeconds(const QString& curl, const QString& workDir, const QUrl& base, Clients& clients,
                   CloudLoginService service, const QList<CloudItemPtr>& items, const QString& out)
{
    QFile config(workDir + QStringLiteral("/curl.conf"));
    config.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QTextStream s(&config);
    for (int i = 0; i < items.size(); ++i) {
        const CloudItemPtr& item = items.at(i);
        if (i > 0)
            s << "next\n";
        const QString file = out + (service == CloudLoginService::googleDrive ? item->googleRoute : item->path);
        s << "create-dirs\nsilent\nshow-error\nfail\noutput = \"" << file << "\"\n";
        if (service == CloudLoginService::dropbox) {
            const QByteArray arg = QJsonDocument(QJsonObject{{"path", item->path}}).toJson(QJsonDocument::Compact);
            s << "url = \"" << base.toString() << "/2/files/download\"\nrequest = \"POST\"\n"
              << "header = \"Authorization: Bearer " << clients.dropbox->token() << "\"\n"
              << "header = \"Dropbox-API-Arg: " << QString::fromUtf8(arg).replace('"', QStringLiteral("\\\"")) << "\"\n";
        } else if (service == CloudLoginService::googleDrive) {
            s << "url = \"" << clients.google->constant().endpoint << '/' << item->id << "?alt=media\"\n"
              << "header = \"Authorization: Bearer " << clients.google->token() << "\"\n";
        } else {
            s << "url = \"" << item->downloadPath << "\"\n";
        }
    }
    s.flush();
    config.close();
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(curl, {QStringLiteral("--noproxy"), QStringLiteral("*"), QStringLiteral("-K"), config.fileName()});
    p.waitForFinished(-1);
    const double seconds = t.nsecsElapsed() / 1e9;
    return p.exitCode() == 0 ? seconds : -1;
}

struct Phase {
    double seconds = -1;
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 peakKb = 0;
    bool exact = false;
};

Phase runZorvi(Clients& clients, CloudLoginService service, const QList<CloudItemPtr>& items, const QString& out,
               const QMap<QString, QByteArray>& expected)
{
    QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("bench-nobus"));
    DisplaySleepInhibitor inhibitor(none, none);
    CloudProgressViewController run;
    run.setClients(clients.dropbox.get(), clients.google.get(), clients.onedrive.get());
    run.setNetworkAccessManager(&clients.manager);
    run.setSleepInhibitor(&inhibitor);
    Phase phase;
    phase.files = items.size();
    for (const CloudItemPtr& item : items)
        phase.bytes += qint64(item->size);
    QDir().mkpath(out);
    resetPeak();
    QSignalSpy finished(&run, &CloudProgressViewController::runFinished);
    QElapsedTimer t;
    t.start();
    run.doCloudDownload(items, out, service);
    if (!finished.wait(3600 * 1000))
        return phase;
    phase.seconds = t.nsecsElapsed() / 1e9;
    phase.peakKb = statusKb("VmHWM:");
    phase.exact = run.passFileCount() == items.size() && digests(out) == expected;
    return phase;
}

void printRow(const char* service, const QString& set, const Phase& z, double curl)
{
    const double mb = z.bytes / 1e6;
    std::printf("%-9s %-16s %8.2f %9.1f %8.1f   %8.2f %9.1f %8.1f   %9.1f   %s\n", service, qPrintable(set), z.seconds,
                z.files / z.seconds, mb / z.seconds, curl, curl > 0 ? z.files / curl : 0.0, curl > 0 ? mb / curl : 0.0,
                z.peakKb / 1024.0, z.exact ? "byte-exact" : "MISMATCH");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serve(QString::fromLocal8Bit(argv[2]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("zorvi.cloud.*.info=false"));
    int files = 1000;
    int fileKb = 16;
    int bigMb = 500;
    QStringList services{QStringLiteral("dropbox"), QStringLiteral("google"), QStringLiteral("onedrive")};
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--file-kb"))
            fileKb = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--big-mb"))
            bigMb = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--services"))
            services = args[i + 1].split(QLatin1Char(','));
    }

    QTemporaryDir work;
    const QString source = work.path() + QStringLiteral("/source");
    for (int i = 0; i < files; ++i)
        writeRandom(source + QStringLiteral("/small/d%1/f%2.bin").arg(i / 100).arg(i, 4, 10, QLatin1Char('0')),
                    qint64(fileKb) * 1024, quint32(i + 1));
    writeRandom(source + QStringLiteral("/big/big.bin"), qint64(bigMb) * 1000 * 1000, 99);
    // The run rebuilds each cloud path below the destination.
    QMap<QString, QByteArray> smallExpected;
    QMap<QString, QByteArray> bigExpected;
    const QMap<QString, QByteArray> all = digests(source);
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        (it.key().startsWith(QLatin1String("/small/")) ? smallExpected : bigExpected).insert(it.key(), it.value());

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve"), source});
    if (!server.waitForReadyRead(120000)) {
        std::fprintf(stderr, "the stand-in cloud did not start\n");
        return 1;
    }
    const QUrl base(QString::fromUtf8(server.readLine()).trimmed());
    Clients clients;
    if (!clients.signIn(base)) {
        std::fprintf(stderr, "sign-in at the stand-in cloud failed\n");
        return 1;
    }
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));

    std::printf("%d files of %d KB, one file of %d MB, stand-in cloud at %s\n", files, fileKb, bigMb,
                qPrintable(base.toString()));
    std::printf("%-9s %-16s %8s %9s %8s   %8s %9s %8s   %9s\n", "service", "set", "zorvi s", "files/s", "MB/s",
                "curl s", "files/s", "MB/s", "peak MiB");
    const struct {
        const char* name;
        CloudLoginService service;
    } kServices[] = {{"dropbox", CloudLoginService::dropbox},
               {"google", CloudLoginService::googleDrive},
               {"onedrive", CloudLoginService::onedrive}};
    for (const auto& s : kServices) {
        if (!services.contains(QLatin1String(s.name)))
            continue;
        for (const QString& set : {QStringLiteral("small"), QStringLiteral("big")}) {
            const QList<CloudItemPtr> items = clients.files(s.service, set);
            const QString out = work.path() + QStringLiteral("/out");
            const Phase z = runZorvi(clients, s.service, items, out,
                                     set == QLatin1String("small") ? smallExpected : bigExpected);
            QDir(out).removeRecursively();
            double curlSeconds_ = -1;
            if (!curl.isEmpty()) {
                curlSeconds_ = curlSeconds(curl, work.path(), base, clients, s.service, items, out);
                QDir(out).removeRecursively();
            }
            const QString label = set == QLatin1String("small") ? QStringLiteral("%1 x %2 KB").arg(files).arg(fileKb)
                                                                 : QStringLiteral("1 x %1 MB").arg(bigMb);
            printRow(s.name, label, z, curlSeconds_);
            std::fflush(stdout);
        }
    }
    std::printf("peak MiB: this process's peak resident size during the run (VmHWM, reset before each run)\n");
    server.kill();
    server.waitForFinished(5000);
    return 0;
}
