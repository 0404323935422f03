#pragma once

#include <QByteArray>
#include <QString>

#include <sqlcipher/sqlite3.h>

// SQLCipher derives a file's key from the passphrase and the salt at the
// start of the file: PBKDF2 of 64,000 rounds, about 30 ms, for every handle
// opened. The program opens several handles of one file (the window's, the
// search index's reader, each search while the index is built, the backup),
// so the key is derived here once per salt, checked on the file, and every
// later handle is keyed with it as a raw key.
namespace varnel::db
{

// Keys `db` (not yet read) with `passphrase`: with the key derived before
// for the file's salt when there is one that was seen to open it, else with
// the passphrase itself. As sqlite3_key.
int keyHandle(sqlite3 *db, const QByteArray &passphrase);

// The raw key ("x'…'", as sqlite3_key takes it) for the file at `path` and
// `passphrase`, derived and checked on the file if not known yet; empty when
// the file has no salt yet or the key it gives does not open it.
QByteArray rawKeyFor(const QString &path, const QByteArray &passphrase);

// How many keys this process has derived, and how many handles it keyed
// with one derived before (for the tests).
int keysDerived();
int keysReused();

} // namespace varnel::db
