#pragma once

#include "AppcastItem.h"

#include <QMetaType>
#include <QString>

// An updater event: the diagnostic line printed for it and, for all but "no update found",
// the analytics event (category "Software update") the application reports.
struct UpdaterEvent {
    enum class Kind {
        DidNotFindUpdate,
        UserDidSkipThisVersion,
        FailedToDownloadUpdate,
        UserDidCancelDownload,
        // Kept so the application can wire every event; this updater never replaces its own
        // binary, so it never relaunches and never sends these two.
        WillRelaunchApplication,
        DidRelaunchApplication,
    };

    Kind kind = Kind::DidNotFindUpdate;
    QString printedText;
    QString category; // empty: no analytics event
    QString action;
    QString label;

    bool reportsAnalytics() const { return !action.isEmpty(); }

    static UpdaterEvent didNotFindUpdate();
    static UpdaterEvent userDidSkipThisVersion(const AppcastItem& item);
    static UpdaterEvent failedToDownloadUpdate(const QString& errorDescription);
    static UpdaterEvent userDidCancelDownload();
    static UpdaterEvent willRelaunchApplication();
    static UpdaterEvent didRelaunchApplication();
};

Q_DECLARE_METATYPE(UpdaterEvent)
