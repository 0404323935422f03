#pragma once

#include <string>
#include <string_view>

namespace varnel::search
{

// The one shown form of a stored time, for the list, the editor, the search
// (index and vl_time(时间)) and the export alike. A stored
// "YYYY-M[M]-D[D]", optionally followed by ' ' or 'T' and "H[H]:MM:SS" with
// an optional '.' and digits, shows as "yyyy-M-d H:MM:SS[.digits]"
// ("2008-08-08 09:05:00" as "2008-8-8 9:05:00"); any other text as it is.
// The result is `stored` itself or lies in `buffer`; it is never longer
// than `stored`.
std::string_view shownTimeBytes(std::string_view stored, std::string &buffer);

} // namespace varnel::search
