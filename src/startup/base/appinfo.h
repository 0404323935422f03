#pragma once

#include <QString>

// Facts about the running notebook: its name, version, folders and the
// addresses on the product web site.
namespace varnel
{

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 2;

QString appTitle();     // "Varnelpad"
QString versionText();  // "Varnelpad v1.1.2"
qint64 versionNumber(); // 112: the three parts written one after the other

// The folder the program runs from. Tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString &folder);

QString dataFolder();                    // <program folder>/data
QString databasePath();                  // <program folder>/data/pelbrook_data.Tandrel
QString skinPath(const QString &number); // <program folder>/data/sk<n>.tandrel
QString exportPath();                    // <program folder>/VarnelOutNote.txt

QString siteUrl();                    // home page of the product web site
QString siteUrl(const QString &path); // a page on it, path starting with "/"

} // namespace varnel
