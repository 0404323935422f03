#pragma once

#include <QString>

// Facts about the updater program.
namespace updater
{

QString appTitle();    // "Varnel升级"
QString captionText(); // "Varnel升级 v1.0.14更新"
QString siteUrl(const QString &path = QStringLiteral("/"));

} // namespace updater
