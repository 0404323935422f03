#pragma once

#include <QString>

// Texts of the download list's cells.
namespace progresstext
{

// cur / max as a whole percentage, rounded: 2 of 3 gives 67. The bar shows
// the same number as the text.
int percentValue(qint64 cur, qint64 max);
// The same as text, "#0%": 1 of 2 gives "50%".
QString percent(qint64 cur, qint64 max);
// Bytes still to come: "#0.0 KB" below 1 MiB, "#0.00 MB" from 1 MiB on.
QString remaining(qint64 bytes);
// Bytes received of a download of unknown size, written as remaining().
QString received(qint64 bytes);
// The remaining cell while the size is unknown.
QString unknownSize();

} // namespace progresstext
