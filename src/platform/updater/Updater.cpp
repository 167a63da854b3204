#include "Updater.h"

#include "Appcast.h"
#include "UpdatePrompt.h"
#include "UpdaterLog.h"

#include <QDesktopServices>
#include <QFile>
#include <QPointer>
#include <QSettings>

namespace {
// A feed is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;
} // namespace

Updater::Updater(QObject* parent)
    : QObject(parent)
    , opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); })
    , currentVersion_(QStringLiteral(ZORVI_VERSION))
{
    qRegisterMetaType<UpdaterEvent>();
}

Updater::~Updater() = default;

void Updater::setUrlOpener(UrlOpener opener)
{
    opener_ = std::move(opener);
}

void Updater::checkForUpdatesInBackground()
{
    check(false);
}

void Updater::checkForUpdates()
{
    check(true);
}

void Updater::check(bool userInitiated)
{
    if (awaitingAnswer_) {
        qCInfo(lcUpdater) << "An update is already offered; this check is skipped.";
        return;
    }
    if (feedUrl_.isEmpty() || !feedUrl_.isLocalFile())
        return fail(userInitiated, tr("No update information is available yet. Please try again later."));

    QFile file(feedUrl_.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return fail(userInitiated, tr("The update information could not be read: %1").arg(file.errorString()));
    if (file.size() > kMaxFeedBytes)
        return fail(userInitiated, tr("The update information is too large to be read."));
    QString error;
    const auto feed = Appcast::parse(file.readAll(), &error);
    if (!feed)
        return fail(userInitiated, error);

    QVersionNumber current = QVersionNumber::fromString(currentVersion_);
    auto item = feed->newestNewerThan(current);
    if (item && !userInitiated && QSettings().value(SkippedVersionKey).toString() == item->version)
        item.reset();
    if (!item) {
        report(UpdaterEvent::didNotFindUpdate());
        if (userInitiated && prompt_)
            prompt_->showUpToDate(currentVersion_);
        return;
    }
    if (!prompt_) {
        qCInfo(lcUpdater).noquote() << "Version" << item->displayVersion() << "is available; nothing can show it.";
        return;
    }

    awaitingAnswer_ = true;
    QPointer<Updater> self(this);
    auto answered = std::make_shared<bool>(false);
    const AppcastItem offered = *item;
    prompt_->showUpdateFound(offered, currentVersion_, [self, answered, offered](UpdatePrompt::Choice choice) {
        if (!self || *answered)
            return;
        *answered = true;
        self->answer(offered, static_cast<int>(choice));
    });
}

void Updater::fail(bool userInitiated, const QString& reason)
{
    qCWarning(lcUpdater).noquote() << reason;
    if (userInitiated && prompt_)
        prompt_->showCheckFailed(reason);
}

void Updater::answer(const AppcastItem& item, int choice)
{
    awaitingAnswer_ = false;
    switch (static_cast<UpdatePrompt::Choice>(choice)) {
    case UpdatePrompt::Choice::Download:
        if (!opener_ || !opener_(item.downloadPage))
            report(UpdaterEvent::failedToDownloadUpdate(
                tr("The download page %1 could not be opened.").arg(item.downloadPage.toString())));
        break;
    case UpdatePrompt::Choice::SkipThisVersion:
        QSettings().setValue(SkippedVersionKey, item.version);
        report(UpdaterEvent::userDidSkipThisVersion(item));
        break;
    case UpdatePrompt::Choice::Later:
        report(UpdaterEvent::userDidCancelDownload());
        break;
    }
}

void Updater::report(const UpdaterEvent& event)
{
    qCInfo(lcUpdater).noquote() << event.printedText;
    Q_EMIT updaterEvent(event);
}
