// zorvi-standin-cloud <folder> <port>: serves the folder as a stand-in for the three cloud
// services on 127.0.0.1 and prints its base address on the first line of standard output.
// What a build of Zorvi needs to talk to it, and every request it answers, go to standard error.
#include "FakeCloudServer.h"
#include "FakeCloudTree.h"
#include "FakeDropboxRoutes.h"
#include "FakeGoogleRoutes.h"
#include "FakeOneDriveRoutes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    bool portOk = false;
    const uint port = args.value(2).toUInt(&portOk);
    if (args.size() != 3 || !QFileInfo(args.at(1)).isDir() || !portOk || port > 65535) {
        err << "usage: zorvi-standin-cloud <folder> <port>\n"
               "  Serves <folder> as the files of every service's account on http://127.0.0.1:<port>\n"
               "  (port 0: any free port).\n";
        return 2;
    }

    FakeCloudTree tree;
    tree.loadFromDisk(args.at(1));
    FakeCloudServer server;
    FakeDropboxRoutes dropbox;
    FakeOneDriveRoutes oneDrive;
    FakeGoogleRoutes google;
    dropbox.install(server, tree);
    oneDrive.install(server, tree);
    google.install(server, tree);
    if (!server.listen(quint16(port))) {
        err << "zorvi-standin-cloud: cannot listen on port " << port << ": " << server.errorString() << "\n";
        return 1;
    }
    QObject::connect(&server, &FakeCloudServer::requestReceived, &server, [&err](const FakeCloudServer::Request& r) {
        err << r.method << ' ' << r.path() << Qt::endl;
    });

    const QString base = server.baseUrl().toString();
    out << base << Qt::endl;
    err << "Configure a build of Zorvi for this stand-in with:\n"
        << "  -DZORVI_DROPBOX_APP_KEY=" << dropbox.appKey << " -DZORVI_DROPBOX_WEB_HOST=" << base
        << " -DZORVI_DROPBOX_API_HOST=" << base << " -DZORVI_DROPBOX_CONTENT_HOST=" << base << "\n"
        << "  -DZORVI_ONEDRIVE_CLIENT_ID=" << oneDrive.clientId << " -DZORVI_ONEDRIVE_ACCOUNT_HOST=" << base
        << " -DZORVI_ONEDRIVE_IDENTITY_HOST=" << base << " -DZORVI_ONEDRIVE_GRAPH_HOST=" << base << "\n"
        << "  -DZORVI_GOOGLE_CLIENT_ID=" << google.clientId << " -DZORVI_GOOGLE_CLIENT_SECRET=" << google.clientSecret
        << " -DZORVI_GOOGLE_ACCOUNTS_HOST=" << base << " -DZORVI_GOOGLE_OAUTH_HOST=" << base
        << " -DZORVI_GOOGLE_API_HOST=" << base << "\n"
        << "Every sign-in is granted at once: the authorize pages send the browser straight back to Zorvi.\n"
        << Qt::endl;
    return app.exec();
}
