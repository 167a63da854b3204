#include "GoogleDriveConstant.h"

#include <QStringList>

#ifndef ZORVI_GOOGLE_CLIENT_ID
#define ZORVI_GOOGLE_CLIENT_ID ""
#endif
#ifndef ZORVI_GOOGLE_CLIENT_SECRET
#define ZORVI_GOOGLE_CLIENT_SECRET ""
#endif
#ifndef ZORVI_GOOGLE_ACCOUNTS_HOST
#define ZORVI_GOOGLE_ACCOUNTS_HOST "https://accounts.google.com"
#endif
#ifndef ZORVI_GOOGLE_OAUTH_HOST
#define ZORVI_GOOGLE_OAUTH_HOST "https://oauth2.googleapis.com"
#endif
#ifndef ZORVI_GOOGLE_API_HOST
#define ZORVI_GOOGLE_API_HOST "https://www.googleapis.com"
#endif

QString GoogleDriveConstant::defaultScope()
{
    const QString host = QStringLiteral("https://www.googleapis.com");
    return QStringList { host + QStringLiteral("/auth/drive.readonly"), host + QStringLiteral("/auth/drive.metadata.readonly"),
                         host + QStringLiteral("/auth/userinfo.email"), host + QStringLiteral("/auth/userinfo.profile") }
        .join(QLatin1Char('+'));
}

GoogleDriveConstant GoogleDriveConstant::atHosts(const QString& accountsHost, const QString& oauthHost,
                                                 const QString& apiHost, const QString& redirectUri)
{
    GoogleDriveConstant c;
    c.scope = defaultScope();
    c.authorizeUrl = accountsHost + QStringLiteral("/o/oauth2/v2/auth");
    c.getTokenUrl = oauthHost + QStringLiteral("/token");
    c.logoutUrl = oauthHost + QStringLiteral("/revoke");
    c.endpoint = apiHost + QStringLiteral("/drive/v3/files");
    c.redirectUri = redirectUri;
    return c;
}

GoogleDriveConstant GoogleDriveConstant::defaults()
{
    GoogleDriveConstant c = atHosts(QStringLiteral(ZORVI_GOOGLE_ACCOUNTS_HOST), QStringLiteral(ZORVI_GOOGLE_OAUTH_HOST),
                                    QStringLiteral(ZORVI_GOOGLE_API_HOST), QStringLiteral("http://localhost:5000/"));
    c.clientID = QStringLiteral(ZORVI_GOOGLE_CLIENT_ID);
    c.clientSecret = QStringLiteral(ZORVI_GOOGLE_CLIENT_SECRET);
    return c;
}
