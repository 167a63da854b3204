#pragma once

#include "LoopbackSignIn.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

// Stands in for the user's browser: fetches each page it is sent to and so follows the
// service's redirect back to our listener, as a browser whose user signs in at once would.
struct FakeBrowser {
    QNetworkAccessManager nam;
    QList<QUrl> opened;
    bool follow = true;
    QByteArray lastBody; // of the last page visit() fetched

    FakeBrowser() { nam.setProxy(QNetworkProxy::NoProxy); }

    LoopbackSignIn::BrowserOpener opener()
    {
        return [this](const QUrl& url) {
            opened.append(url);
            if (follow) {
                QNetworkReply* reply = nam.get(QNetworkRequest(url));
                QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            }
            return true;
        };
    }

    // A browser tab the user points at an address themselves; the answer's HTTP status.
    int visit(const QUrl& url)
    {
        std::unique_ptr<QNetworkReply> reply(nam.get(QNetworkRequest(url)));
        EXPECT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 5000));
        lastBody = reply->readAll();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
};
