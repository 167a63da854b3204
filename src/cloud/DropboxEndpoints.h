#pragma once

#include <QString>
#include <QUrl>

// Where the Dropbox client talks to: scheme, host and port of each of the service's three
// hosts, and the loopback port of the sign-in redirect. Tests point all of them at one
// local stand-in.
struct DropboxEndpoints {
    QUrl web;     // authorize and sign-out pages
    QUrl api;     // token exchange and the RPC routes
    QUrl content; // file content
    quint16 loopbackPort = 5000;
    QString redirectPath = QStringLiteral("/dropbox");
};
