#include "dbengine.h"
#include "likematch.h"

#include <cstring>

namespace varnel::db
{

namespace
{

// vl_time(时间): the stored "YYYY-MM-DD HH:MM:SS" as shown, "yyyy-M-d H:mm:ss".
// Written on bytes: it runs once per row of every search.
void shownTimeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const unsigned char *text = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    if (!text) {
        sqlite3_result_null(ctx);
        return;
    }
    if (n != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ') {
        sqlite3_result_text(ctx, reinterpret_cast<const char *>(text), n, SQLITE_TRANSIENT);
        return;
    }
    char out[20];
    int k = 0;
    auto put = [&](int from, int len, bool dropZero) {
        if (dropZero && text[from] == '0') {
            ++from;
            --len;
        }
        std::memcpy(out + k, text + from, std::size_t(len));
        k += len;
    };
    put(0, 5, false); // "YYYY-"
    put(5, 2, true);  // month
    out[k++] = '-';
    put(8, 2, true); // day
    out[k++] = ' ';
    put(11, 2, true);  // hour
    put(13, 6, false); // ":MM:SS"
    sqlite3_result_text(ctx, out, k, SQLITE_TRANSIENT);
}

// like(pattern, text): the LIKE operator, with SQLite's own meaning (% and _
// as wildcards, ASCII letters without regard to case), but a plain
// "%text%" runs as a fast substring search.
void likeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int textBytes = sqlite3_value_bytes(argv[1]);
    if (!pattern || !text) {
        sqlite3_result_null(ctx);
        return;
    }
    const bool hit = likeMatch(std::string_view(pattern, std::size_t(patternBytes)),
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
