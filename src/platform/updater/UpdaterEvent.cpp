#include "UpdaterEvent.h"

namespace {
const QString kCategory = QStringLiteral("Software update");

UpdaterEvent make(UpdaterEvent::Kind kind, const QString& printed, const QString& action, const QString& label)
{
    UpdaterEvent e;
    e.kind = kind;
    e.printedText = printed;
    if (!action.isEmpty()) {
        e.category = kCategory;
        e.action = action;
        e.label = label;
    }
    return e;
}
} // namespace

UpdaterEvent UpdaterEvent::didNotFindUpdate()
{
    return make(Kind::DidNotFindUpdate, QStringLiteral("已更新到最新版本"), {}, {});
}

UpdaterEvent UpdaterEvent::userDidSkipThisVersion(const AppcastItem& item)
{
    const QString titled = item.title + QStringLiteral("(") + item.version + QStringLiteral(")");
    return make(Kind::UserDidSkipThisVersion, QStringLiteral("使用者跳過此更新版本:") + titled,
                QStringLiteral("Skip Version"), titled);
}

UpdaterEvent UpdaterEvent::failedToDownloadUpdate(const QString& errorDescription)
{
    return make(Kind::FailedToDownloadUpdate, QStringLiteral("下載更新檔案失敗\n") + errorDescription,
                QStringLiteral("Download Fail"), errorDescription);
}

UpdaterEvent UpdaterEvent::userDidCancelDownload()
{
    return make(Kind::UserDidCancelDownload, QStringLiteral("使用者取消更新"), QStringLiteral("User cancel"), QString());
}

UpdaterEvent UpdaterEvent::willRelaunchApplication()
{
    return make(Kind::WillRelaunchApplication, QStringLiteral("App即將重新啟動"), QStringLiteral("App Restart"), QString());
}

UpdaterEvent UpdaterEvent::didRelaunchApplication()
{
    return make(Kind::DidRelaunchApplication, QStringLiteral("更新完成，App成功重新啟動"),
                QStringLiteral("Upgrade Success"), QString());
}
