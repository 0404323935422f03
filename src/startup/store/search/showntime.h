#pragma once

#include <string_view>

namespace varnel::search
{

// The stored time "YYYY-MM-DD HH:MM:SS" as the user sees it, "yyyy-M-d
// H:mm:ss" (what vl_time(时间) gives in SQL); any other text as it is.
// `buffer` holds the result when it differs from `stored`.
std::string_view shownTimeBytes(std::string_view stored, char (&buffer)[20]);

} // namespace varnel::search
