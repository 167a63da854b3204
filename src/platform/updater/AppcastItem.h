#pragma once

#include <QString>
#include <QUrl>
#include <QVersionNumber>

// One release offered by the update feed.
struct AppcastItem {
    QString title;
    QString version;            // compared with the running version
    QString shortVersionString; // shown to the user; may be empty
    QUrl downloadPage;          // the item's <link>, else its enclosure's url
    QString releaseNotes;       // the item's <description>, as given

    QVersionNumber versionNumber() const { return QVersionNumber::fromString(version); }
    QString displayVersion() const { return shortVersionString.isEmpty() ? version : shortVersionString; }
};
