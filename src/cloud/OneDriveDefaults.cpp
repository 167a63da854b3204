#include "OneDriveConstant.h"

#ifndef ZORVI_ONEDRIVE_CLIENT_ID
#define ZORVI_ONEDRIVE_CLIENT_ID ""
#endif
#ifndef ZORVI_ONEDRIVE_CLIENT_SECRET
#define ZORVI_ONEDRIVE_CLIENT_SECRET ""
#endif
#ifndef ZORVI_ONEDRIVE_ACCOUNT_HOST
#define ZORVI_ONEDRIVE_ACCOUNT_HOST "https://login.live.com"
#endif
#ifndef ZORVI_ONEDRIVE_IDENTITY_HOST
#define ZORVI_ONEDRIVE_IDENTITY_HOST "https://login.microsoftonline.com"
#endif
#ifndef ZORVI_ONEDRIVE_GRAPH_HOST
#define ZORVI_ONEDRIVE_GRAPH_HOST "https://graph.microsoft.com"
#endif

OneDriveConstant OneDriveConstant::atHosts(const QString& accountHost, const QString& identityHost,
                                           const QString& graphHost, const QString& redirectUri)
{
    OneDriveConstant c;
    c.authorizeUrl = accountHost + QStringLiteral("/oauth20_authorize.srf");
    c.getTokenUrl = accountHost + QStringLiteral("/oauth20_token.srf");
    c.logoutUrl = accountHost + QStringLiteral("/oauth20_logout.srf");
    c.secondLogoutUrl = identityHost + QStringLiteral("/common/oauth2/v2.0/logout");
    c.endpoint = graphHost + QStringLiteral("/v1.0/me");
    c.redirectUri = redirectUri;
    return c;
}

OneDriveConstant OneDriveConstant::defaults()
{
    OneDriveConstant c = atHosts(QStringLiteral(ZORVI_ONEDRIVE_ACCOUNT_HOST), QStringLiteral(ZORVI_ONEDRIVE_IDENTITY_HOST),
                                 QStringLiteral(ZORVI_ONEDRIVE_GRAPH_HOST),
                                 QStringLiteral("http://localhost:5000") + QLatin1String(RedirectPath));
    c.clientID = QStringLiteral(ZORVI_ONEDRIVE_CLIENT_ID);
    c.clientSecret = QStringLiteral(ZORVI_ONEDRIVE_CLIENT_SECRET);
    return c;
}
