#include "base/appinfo.h"

#include "varnel_config.h"

#include <QCoreApplication>

namespace varnel
{

namespace
{
QString &folderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString appTitle()
{
    return QStringLiteral("Varnelpad");
}

QString versionText()
{
    return QStringLiteral("%1 v%2.%3.%4")
        .arg(appTitle())
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision);
}

qint64 versionNumber()
{
    const QString digits = QString::number(kVersionMajor) + QString::number(kVersionMinor) +
                           QString::number(kVersionRevision);
    return digits.toLongLong();
}

QString programFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    folderOverride() = folder;
}

QString dataFolder()
{
    return programFolder() + QStringLiteral("/data");
}

QString databasePath()
{
    return dataFolder() + QStringLiteral("/pelbrook_data.Tandrel");
}

QString skinPath(const QString &number)
{
    return dataFolder() + QStringLiteral("/sk") + number + QStringLiteral(".tandrel");
}

QString exportPath()
{
    return programFolder() + QStringLiteral("/VarnelOutNote.txt");
}

QString siteUrl()
{
    return QStringLiteral(VARNEL_SITE_URL "/");
}

QString siteUrl(const QString &path)
{
    return QStringLiteral(VARNEL_SITE_URL) + path;
}

} // namespace varnel
