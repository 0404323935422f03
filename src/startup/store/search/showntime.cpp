#include "store/search/showntime.h"

#include <cstring>

namespace varnel::search
{

std::string_view shownTimeBytes(std::string_view stored, char (&buffer)[20])
{
    const char *text = stored.data();
    if (stored.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ')
        return stored;
    std::size_t k = 0;
    auto put = [&](std::size_t from, std::size_t len, bool dropZero) {
        if (dropZero && text[from] == '0') {
            ++from;
            --len;
        }
        std::memcpy(buffer + k, text + from, len);
        k += len;
    };
    put(0, 5, false); // "YYYY-"
    put(5, 2, true);  // month
    buffer[k++] = '-';
    put(8, 2, true); // day
    buffer[k++] = ' ';
    put(11, 2, true);  // hour
    put(13, 6, false); // ":MM:SS"
    return {buffer, k};
}

} // namespace varnel::search
