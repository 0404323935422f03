#include "updaterinfo.h"

#include "varnel_config.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>

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

QString signatureUrl(const QString &downloadUrl)
{
    QUrl url(downloadUrl);
    url.setPath(url.path() + QStringLiteral(".minisig"));
    return url.toString();
}

QByteArray updatePublicKey()
{
    return QByteArrayLiteral(VARNEL_UPDATE_PUBKEY);
}

void prepareApplication(QApplication &app)
{
    auto *qtbase = new QTranslator(&app);
    if (qtbase->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtbase);
}

} // namespace updater
