#pragma once

#include "store/search/noteindex.h"

#include <QElapsedTimer>

#include <sqlcipher/sqlite3.h>
#include <string>

// The rows of the notes table as the search engine reads them, and the small
// helpers its reading threads share.
namespace varnel::search
{

inline constexpr char kNotesTable[] = "企业日记";
inline constexpr char kNoteRowSql[] = "select bookid, 标题, 内容, 时间, 分类, 处理 from 企业日记";

// One row of kNoteRowSql as the index takes it; its text points into the
// statement's row.
NoteRecord noteRecordOf(sqlite3_stmt *stmt);
// A prepared statement, or null.
sqlite3_stmt *prepareRows(sqlite3 *db, const std::string &sql);

double msSince(const QElapsedTimer &clock);
double threadCpuMs(); // the calling thread's processor time

} // namespace varnel::search
