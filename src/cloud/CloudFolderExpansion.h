#pragma once

#include "CloudExpansionDelays.h"
#include "CloudFolderLister.h"
#include "CloudItemClass.h"
#include "CloudLoginService.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QElapsedTimer>
#include <QTimer>

// Walks every picked folder down to its last file. One listing per folder, started one after
// another at the service's pace; a counter of listings not yet answered tells when the walk is
// over. Nothing waits on the GUI thread: answers and timers drive it. A walk always ends, with
// the folders that could not be listed completely named, also when a listing never answers.
class CloudFolderExpansion : public QObject {
    Q_OBJECT
public:
    struct Result {
        // The picks, each once.
        QList<CloudItemPtr> selected;
        // Every file and folder found beneath the picked folders that is not picked itself,
        // each once, in the order found: an entry reached twice is counted and fetched once.
        QList<CloudItemPtr> found;
        // Places of folders whose listing failed, stopped early or never answered.
        QStringList incompleteFolders;
        bool timedOut = false;
    };

    CloudFolderExpansion(CloudLoginService service, const CloudFolderLister& lister,
                         const CloudExpansionDelays& delays = {}, QObject* parent = nullptr);

    // Starts a walk; finished() follows after start() has returned. A walk already running is
    // dropped first.
    void start(const QList<CloudItemPtr>& picked);
    // Drops the walk; answers still to come are ignored and finished() is not emitted.
    void cancel();
    bool isRunning() const { return running_; }
    // Listings started or waiting to start and not yet answered.
    int folderUpdatingCounter() const { return counter_; }

    // The picks each once, in the order picked.
    static QList<CloudItemPtr> uniquePicks(const QList<CloudItemPtr>& picked, CloudLoginService service);

Q_SIGNALS:
    void finished(const CloudFolderExpansion::Result& result);

private:
    void enqueue(const CloudItemPtr& folder);
    void startNext();
    void take(quint64 walk, const CloudItemPtr& folder, const QList<CloudItemPtr>& items, bool ok);
    void giveUp();
    void finish();
    int paceMs() const;

    CloudLoginService service_;
    CloudFolderLister lister_;
    CloudExpansionDelays delays_;
    QTimer pace_;
    QTimer idle_;
    QElapsedTimer sinceStart_;
    quint64 walk_ = 0; // bumped by every start and cancel: answers of an older walk are dropped
    bool running_ = false;
    int counter_ = 0;
    QList<CloudItemPtr> waiting_;
    QList<CloudItemPtr> listing_;
    QSet<QString> seen_;
    Result result_;
};
