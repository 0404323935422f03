#pragma once

#include <cstdint>
#include <string_view>

// SQLite's LIKE (no ESCAPE clause), reproduced byte for byte: % matches any
// run of characters, _ exactly one, ASCII letters match without regard to
// case and everything else exactly. Both texts end at their first NUL byte,
// characters are read the way SQLite reads UTF-8 (malformed sequences become
// U+FFFD, a stray continuation byte stands for itself), and a character
// U+0080 right after a % is looked for byte by byte, as SQLite does. Unlike
// SQLite's operator it accepts patterns of any length.
namespace varnel::search
{

bool sqliteLike(std::string_view pattern, std::string_view text);

// One character as SQLite reads it from UTF-8 at p (p < end), advancing p.
std::uint32_t readSqliteChar(const unsigned char *&p, const unsigned char *end);

// The part of a text LIKE looks at: everything before the first NUL byte.
std::string_view likeVisible(std::string_view text);

} // namespace varnel::search
