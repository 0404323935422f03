#pragma once

#include "store/database.h"

#include <QString>

struct sqlite3;

namespace varnel::db
{

// The error a failed SQLite call becomes. Its text for the user says, in
// Chinese, what could not be done with which file, why, and what was kept;
// SQLite's own words follow last, in brackets, for whoever looks deeper.
// `db` is the handle that failed (null when it could not be opened),
// `statement` the SQL that failed, or a word for the step ("open").
// `journalPlayed`: opening the file rolled back a journal left beside it, so
// the file was changed at the open.
DbError errorFor(sqlite3 *db, int rc, const QString &statement, const QString &file,
                 bool journalPlayed = false);

// The same for a handle that is gone or belongs to another thread: SQLite's
// message as it was taken when the call failed.
DbError errorFor(int rc, const QString &sqliteMessage, const QString &statement,
                 const QString &file);

// The same reason for SQLite's result code `rc` without a full stop, for a
// message that says itself which file and which step failed.
QString reasonFor(int rc);

} // namespace varnel::db
