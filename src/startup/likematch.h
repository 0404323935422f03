#pragma once

#include <string>
#include <string_view>

// The LIKE operator on UTF-8 text: % matches any run of characters, _ exactly
// one character, ASCII letters match without regard to case, everything else
// exactly. A pattern of the form %literal% is a plain substring search.
namespace varnel::db
{

bool likeMatch(std::string_view pattern, std::string_view text);

// ASCII letters to lower case; other bytes (all of multi-byte UTF-8) unchanged.
void asciiLower(std::string_view in, std::string &out);

} // namespace varnel::db
