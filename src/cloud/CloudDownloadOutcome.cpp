#include "CloudDownloadOutcome.h"

#include "CloudRateLimit.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

CloudDownloadOutcome make(CloudDownloadOutcome::Step step, const QString& remark, int waitMs = 0)
{
    CloudDownloadOutcome outcome;
    outcome.step = step;
    outcome.remark = remark;
    outcome.waitMs = waitMs;
    return outcome;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("CloudDownloadOutcome", text);
}

} // namespace

CloudDownloadOutcome CloudDownloadOutcome::of(CloudLoginService service, const CloudFileDownload::Result& r,
                                              quint64 listedSize, const CloudRateLimit& rateLimit, int limited)
{
    using Step = CloudDownloadOutcome::Step;
    const bool google = service == CloudLoginService::googleDrive;
    const bool onedrive = service == CloudLoginService::onedrive;
    // A OneDrive download address expires: a failed fetch asks for a fresh one first.
    const Step giveUp = onedrive ? Step::renewAddress : Step::failed;

    if (r.saved)
        return make(Step::saved, QString());
    if (!r.writeError.isEmpty())
        return make(Step::failed, r.writeError);
    if (r.oversize)
        return make(Step::failed, CloudFileDownload::oversizeRemark(listedSize));
    if (CloudRateLimit::isLimited(r.status, r.retryAfter, r.errorBody)) {
        if (const std::optional<int> pause = rateLimit.pause(limited + 1, r.retryAfter))
            return make(Step::askAgain, QString(), *pause);
        return make(Step::failed, CloudRateLimit::remark());
    }
    if (r.status == 401 && !onedrive)
        return make(Step::renewSignIn, google ? QStringLiteral("fail") : tr("Dropbox no longer accepts the sign-in."));
    if (r.status != 0 && (r.status < 200 || r.status >= 300)) {
        // An error page is never the user's file.
        if (google)
            return make(Step::failed, QStringLiteral("fail"));
        if (service == CloudLoginService::dropbox) {
            // The service explains a refused download in the body ("path/not_found/..").
            const QString summary =
                QJsonDocument::fromJson(r.errorBody).object().value(QLatin1String("error_summary")).toString();
            return make(Step::failed, summary.isEmpty() ? r.errorText : summary);
        }
        return make(giveUp, tr("The server answered %1 %2").arg(r.status).arg(r.reason));
    }
    if (r.error != QNetworkReply::NoError)
        return make(giveUp, r.errorText);
    if (r.truncated)
        return make(giveUp, tr("The connection ended before the whole file arrived"));
    return make(giveUp, QStringLiteral("fail"));
}
