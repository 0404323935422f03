#pragma once

#include <cstddef>

namespace varnel::search
{

// The first occurrence of needle[0, m) in hay[0, n), or nullptr: a vector
// scan for the first and last byte at once, then a compare.
const unsigned char *findBytes(const unsigned char *hay, std::size_t n, const unsigned char *needle,
                               std::size_t m);

} // namespace varnel::search
