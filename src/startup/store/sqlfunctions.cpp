#include "store/dbengine.h"
#include "store/search/showntime.h"
#include "store/search/sqlitelike.h"

namespace varnel::db
{

namespace
{

// vl_time(时间): the stored time as the list shows it (search::shownTimeBytes).
void shownTimeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_null(ctx);
        return;
    }
    thread_local std::string buffer;
    const std::string_view shown = search::shownTimeBytes(
        std::string_view(text, std::size_t(sqlite3_value_bytes(argv[0]))), buffer);
    sqlite3_result_text(ctx, shown.data(), int(shown.size()), SQLITE_TRANSIENT);
}

// like(pattern, text): SQLite's own LIKE, answered the same way, with a
// plain "%text%" run as a substring search. A pattern longer than the handle's
// limit is refused as SQLite refuses it: matching recurses once per %.
// Why a second LIKE at all: until the index is ready, and past its memory
// budget, a search is a statement over every note, and SQLite's LIKE walks
// each note character by character; the byte search here answers the common
// "%text%" several times faster. SQLite's own stays the reference: other
// programs on the file use it, and the tests compare the two.
void likeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int textBytes = sqlite3_value_bytes(argv[1]);
    if (patternBytes > sqlite3_limit(sqlite3_context_db_handle(ctx),
                                     SQLITE_LIMIT_LIKE_PATTERN_LENGTH, -1)) {
        sqlite3_result_error(ctx, "LIKE or GLOB pattern too complex", -1);
        return;
    }
    if (!pattern || !text) {
        sqlite3_result_null(ctx);
        return;
    }
    const bool hit = search::sqliteLike(std::string_view(pattern, std::size_t(patternBytes)),
                                        std::string_view(text, std::size_t(textBytes)));
    sqlite3_result_int(ctx, hit ? 1 : 0);
}

} // namespace

void registerFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "vl_time", 1, flags, nullptr, shownTimeFunction, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
}

} // namespace varnel::db
