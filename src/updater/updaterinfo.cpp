#include "updaterinfo.h"

#include "varnel_config.h"

namespace updater
{

namespace
{
constexpr int kMajor = 1;
constexpr int kMinor = 0;
constexpr int kRevision = 14;
} // namespace

QString appTitle()
{
    return QStringLiteral("Varnel升级");
}

QString captionText()
{
    return QStringLiteral("%1 v%2.%3.%4更新")
        .arg(appTitle())
        .arg(kMajor)
        .arg(kMinor)
        .arg(kRevision);
}

QString siteUrl(const QString &path)
{
    return QStringLiteral(VARNEL_SITE_URL) + path;
}

} // namespace updater
