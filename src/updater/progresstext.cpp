#include "progresstext.h"

#include <cmath>

namespace progresstext
{

QString percent(qint64 cur, qint64 max)
{
    if (max == 0)
        return QStringLiteral("0%");
    return QString::number(std::llround(double(cur) * 100.0 / double(max))) + QLatin1Char('%');
}

QString remaining(qint64 bytes)
{
    constexpr qint64 kMiB = 1 << 20;
    if (bytes < kMiB)
        return QString::number(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
    return QString::number(double(bytes) / double(kMiB), 'f', 2) + QStringLiteral(" MB");
}

} // namespace progresstext
