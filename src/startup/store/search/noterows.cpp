#include "store/search/noterows.h"

#include <cmath>
#include <ctime>

namespace varnel::search
{

namespace
{

FieldText fieldOf(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return {false, {text ? text : "", std::size_t(sqlite3_column_bytes(stmt, column))}};
}

// An integer column, or a real one holding a whole number (SQLite compares
// and sorts 1.0 as 1).
bool integerOf(sqlite3_stmt *stmt, int column, std::int64_t &value)
{
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_INTEGER) {
        value = sqlite3_column_int64(stmt, column);
        return true;
    }
    if (type != SQLITE_FLOAT)
        return false;
    const double real = sqlite3_column_double(stmt, column);
    if (real != std::floor(real) || std::fabs(real) > 9.0e15)
        return false;
    value = std::int64_t(real);
    return true;
}

} // namespace

NoteRecord noteRecordOf(sqlite3_stmt *stmt)
{
    NoteRecord record;
    record.bookid = sqlite3_column_int64(stmt, 0);
    record.categoryIsInteger = integerOf(stmt, 4, record.category);
    if (sqlite3_column_type(stmt, 5) == SQLITE_NULL)
        record.stateKind = NoteRecord::StateNull;
    else if (integerOf(stmt, 5, record.state))
        record.stateKind = NoteRecord::StateInteger;
    else
        record.stateKind = NoteRecord::StateOther;
    record.title = fieldOf(stmt, 1);
    record.body = fieldOf(stmt, 2);
    record.time = fieldOf(stmt, 3);
    return record;
}

sqlite3_stmt *prepareRows(sqlite3 *db, const std::string &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double threadCpuMs()
{
    timespec cpu{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
}

} // namespace varnel::search
