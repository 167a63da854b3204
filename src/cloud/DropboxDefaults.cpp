#include "DropboxDefaults.h"

DropboxEndpoints DropboxDefaults::endpoints()
{
    DropboxEndpoints e;
    e.web = QUrl(QStringLiteral(ZORVI_DROPBOX_WEB_HOST));
    e.api = QUrl(QStringLiteral(ZORVI_DROPBOX_API_HOST));
    e.content = QUrl(QStringLiteral(ZORVI_DROPBOX_CONTENT_HOST));
    return e;
}

QString DropboxDefaults::appKey()
{
    return QStringLiteral(ZORVI_DROPBOX_APP_KEY);
}
