#pragma once

#include "store/search/bytesearch.h"
#include "store/search/charcodes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::search
{

inline constexpr std::uint32_t kAnyRun = Pattern::AnyRun;
inline constexpr std::uint32_t kAnyOne = Pattern::AnyOne;

inline bool isWild(std::uint32_t item)
{
    return item == kAnyRun || item == kAnyOne;
}

// LIKE over one encoded field: % any run, _ one character, literal runs as
// bytes. The index keeps its fields in its own character codes, not UTF-8,
// so neither SQLite's LIKE nor sqliteLike can read them; this is the third
// LIKE, and the search tests hold it to SQLite's answers. Greedy, going back to the last % on a
// mismatch; after a % the next literal run is found with a byte search.
class WildMatcher
{
  public:
    // `items` (a compiled Pattern's) must outlive the matcher.
    explicit WildMatcher(const std::vector<std::uint32_t> &items);
    // Whether the encoded field t[0, n) is LIKE the pattern.
    bool match(const unsigned char *t, std::size_t n) const;

  private:
    // A run of literal items and its encoded bytes.
    struct Literal {
        std::size_t from = 0, to = 0; // items[from, to)
        std::string bytes;
    };
    static constexpr std::size_t npos = std::size_t(-1);

    bool seek(std::size_t pi, const unsigned char *t, std::size_t n, std::size_t &at) const;

    const std::vector<std::uint32_t> &items_;
    std::vector<int> literalAt_;
    std::vector<Literal> literals_;
    std::vector<ByteFinder> finders_;
};

} // namespace varnel::search
