#include "updaterinfo.h"

#include "varnel_config.h"

#include <QApplication>
#include <QHostAddress>
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

QString demoKeyRefusal(const QString &url, const QByteArray &publicKey)
{
    if (publicKey != QByteArrayLiteral(VARNEL_DEMO_UPDATE_PUBKEY))
        return QString();
    const QString host = QUrl(url).host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        QHostAddress(host).isLoopback())
        return QString();
    return QStringLiteral("这个升级程序只认演示用的签名密钥，任何人都能用它签名，"
                          "所以不能从“%1”升级。请到Varnel网站下载正式版本。")
        .arg(host.left(80));
}

qint64 maxProgramBytes()
{
    return qint64(VARNEL_MAX_PROGRAM_MB) << 20;
}

int updateDeadlineMs()
{
    return VARNEL_UPDATE_DEADLINE_MIN * 60 * 1000;
}

qint64 minBytesPerSecond()
{
    return VARNEL_UPDATE_MIN_RATE;
}

void prepareApplication(QApplication &app)
{
    auto *qtbase = new QTranslator(&app);
    if (qtbase->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtbase);
}

} // namespace updater
