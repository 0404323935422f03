#include "progresstext.h"

#include <cmath>

namespace progresstext
{

int percentValue(qint64 cur, qint64 max)
{
    if (max == 0)
        return 0;
    return int(std::llround(double(cur) * 100.0 / double(max)));
}

QString percent(qint64 cur, qint64 max)
{
    return QString::number(percentValue(cur, max)) + QLatin1Char('%');
}

QString remaining(qint64 bytes)
{
    constexpr qint64 kMiB = 1 << 20;
    if (bytes < kMiB)
        return QString::number(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
    return QString::number(double(bytes) / double(kMiB), 'f', 2) + QStringLiteral(" MB");
}

QString received(qint64 bytes)
{
    return remaining(bytes);
}

QString unknownSize()
{
    return QStringLiteral("未知");
}

} // namespace progresstext
