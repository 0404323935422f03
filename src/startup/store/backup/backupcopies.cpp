#include "store/backup/backupcopies.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace varnel::backupcopies
{

namespace
{

const QString kStem = QStringLiteral("pelbrook_data-");
constexpr int kDailyCopies = 7;
constexpr int kWeeklyCopies = 4;

QDate mondayOf(const QDate &day)
{
    return day.addDays(1 - day.dayOfWeek());
}

} // namespace

QString copyName(const QDate &day)
{
    return kStem + day.toString(Qt::ISODate) + QStringLiteral(".Tandrel");
}

std::optional<QDate> dayOf(const QString &fileName)
{
    static const QRegularExpression re(
        QStringLiteral("^pelbrook_data-(\\d{4}-\\d{2}-\\d{2})\\.Tandrel$"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day = QDate::fromString(m.captured(1), Qt::ISODate);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}

QString partialName(const QDate &day, qint64 processId)
{
    return kStem + day.toString(Qt::ISODate) + QLatin1Char('.') + QString::number(processId) +
           QStringLiteral(".partial");
}

QList<QDate> days(const QString &folder)
{
    QList<QDate> found;
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &name : names) {
        if (const auto day = dayOf(name))
            found.append(*day);
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    return found;
}

QList<QDate> daysToKeep(QList<QDate> days)
{
    std::sort(days.begin(), days.end(), std::greater<>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    if (days.size() <= kDailyCopies)
        return days;
    QList<QDate> keep = days.mid(0, kDailyCopies);
    // Weeks counted back from the Monday of the oldest daily copy's week.
    const QDate weekOfOldest = mondayOf(keep.last());
    for (int week = 1; week <= kWeeklyCopies; ++week) {
        const QDate from = weekOfOldest.addDays(-7 * week);
        const QDate to = from.addDays(7);
        const auto newest = std::find_if(days.cbegin() + kDailyCopies, days.cend(),
                                         [&](const QDate &d) { return d >= from && d < to; });
        if (newest != days.cend())
            keep.append(*newest);
    }
    return keep;
}

int removeUnfinished(const QString &folder)
{
    QDir dir(folder);
    const QStringList names =
        dir.entryList({kStem + QStringLiteral("*.partial"), kStem + QStringLiteral("*.partial-*")},
                      QDir::Files | QDir::Hidden | QDir::System);
    int removed = 0;
    for (const QString &name : names)
        removed += dir.remove(name) ? 1 : 0;
    return removed;
}

} // namespace varnel::backupcopies
