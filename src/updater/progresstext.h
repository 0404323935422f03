#pragma once

#include <QString>

// Texts of the download list's cells.
namespace progresstext
{

// cur / max as a whole percentage, "#0%": 1 of 2 gives "50%".
QString percent(qint64 cur, qint64 max);
// Bytes still to come: "#0.0 KB" below 1 MiB, "#0.00 MB" from 1 MiB on.
QString remaining(qint64 bytes);

} // namespace progresstext
