#include "updatelaunch.h"

#include "base/appinfo.h"

#include <QCoreApplication>
#include <QProcess>

namespace varnel
{

std::function<bool(const QString &)> UpdateLaunch::start = [](const QString &program) {
    return QProcess::startDetached(program, {}, programFolder());
};

std::function<void()> UpdateLaunch::quit = [] { QCoreApplication::exit(0); };

QString UpdateLaunch::updaterPath()
{
    return programFolder() + QStringLiteral("/update");
}

std::optional<qint64> UpdateLaunch::pageVersion(const QString &ver)
{
    bool ok = false;
    const qint64 number = ver.trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

} // namespace varnel
