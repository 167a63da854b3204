#pragma once

#include "AppcastItem.h"
#include "UpdaterEvent.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class UpdatePrompt;

// Checks the local update feed for a newer release, tells the user through an UpdatePrompt
// and opens the download page in the browser. It never downloads or replaces the program.
class Updater : public QObject {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // QSettings key of the version the user chose to skip.
    static constexpr const char* SkippedVersionKey = "updaterSkippedVersion";

    explicit Updater(QObject* parent = nullptr);
    ~Updater() override;

    void setPrompt(UpdatePrompt* prompt) { prompt_ = prompt; }
    // Default: QDesktopServices::openUrl.
    void setUrlOpener(UrlOpener opener);
    // Default: the version this program was built as.
    void setCurrentVersion(const QString& version) { currentVersion_ = version; }
    QString currentVersion() const { return currentVersion_; }

    // A local file URL of the feed; an empty URL means no feed.
    void setFeedUrl(const QUrl& url) { feedUrl_ = url; }
    QUrl feedUrl() const { return feedUrl_; }

    // Quiet unless a release the user has not skipped is found.
    void checkForUpdatesInBackground();
    // The user asked: every outcome is shown, skipped versions included.
    void checkForUpdates();

    // True while the user has not yet answered an offered update; new checks are ignored then.
    bool isAwaitingAnswer() const { return awaitingAnswer_; }

Q_SIGNALS:
    // Every event after its line was printed; the application reports analytics from it.
    void updaterEvent(const UpdaterEvent& event);

private:
    void check(bool userInitiated);
    void fail(bool userInitiated, const QString& reason);
    void answer(const AppcastItem& item, int choice);
    void report(const UpdaterEvent& event);

    UpdatePrompt* prompt_ = nullptr;
    UrlOpener opener_;
    QString currentVersion_;
    QUrl feedUrl_;
    bool awaitingAnswer_ = false;
};
