#pragma once

#include <QString>

#include <optional>

// Room on the disk for the day's copy of the notebook. When data/backup lies
// on the notebook's own disk, a copy must leave the notebook room to keep
// working: its own size again (a save journals the pages it changes, and a
// large note grows the file) plus a margin. Older copies make way for that,
// oldest first; the newest copy always stays.
namespace varnel::backuproom
{

// Free space left to the notebook beyond its own size, after a copy.
inline constexpr qint64 kNotebookMargin = qint64(8) << 20;
// Free space a copy leaves on a disk of its own.
inline constexpr qint64 kSpareBytes = qint64(1) << 20;

// How much free space a copy of `live` into `folder` needs.
qint64 needed(const QString &folder, const QString &live);
qint64 freeBytes(const QString &folder); // -1 when unknown

// Removes the oldest copies in `folder`, never the newest, while that makes a
// copy of `live` fit, and only when it does. The reason, in Chinese, when the
// copy does not fit even so.
std::optional<QString> makeRoom(const QString &folder, const QString &live);

} // namespace varnel::backuproom
