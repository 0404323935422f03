#include "store/search/wildmatcher.h"

#include <cstring>

namespace varnel::search
{

WildMatcher::WildMatcher(const std::vector<std::uint32_t> &items) : items_(items)
{
    literalAt_.assign(items.size(), -1);
    for (std::size_t i = 0; i < items.size();) {
        if (isWild(items[i])) {
            ++i;
            continue;
        }
        Literal literal;
        literal.from = i;
        while (i < items.size() && !isWild(items[i]))
            CharCodes::put(items[i++], literal.bytes);
        literal.to = i;
        literalAt_[literal.from] = int(literals_.size());
        finders_.emplace_back(literal.bytes);
        literals_.push_back(std::move(literal));
    }
}

bool WildMatcher::match(const unsigned char *t, std::size_t n) const
{
    std::size_t pi = 0, ti = 0;
    std::size_t starP = npos, starT = 0;
    for (;;) {
        if (pi < items_.size() && items_[pi] == kAnyRun) {
            while (pi < items_.size() && items_[pi] == kAnyRun)
                ++pi;
            if (pi == items_.size())
                return true;
            starP = pi;
            starT = ti;
            if (!seek(pi, t, n, starT))
                return false;
            ti = starT;
            continue;
        }
        if (ti == n)
            break;
        if (pi < items_.size()) {
            if (items_[pi] == kAnyOne) {
                ti += std::size_t(CharCodes::length(t[ti]));
                ++pi;
                continue;
            }
            const Literal &literal = literals_[std::size_t(literalAt_[pi])];
            const std::size_t len = literal.bytes.size();
            if (n - ti >= len && std::memcmp(t + ti, literal.bytes.data(), len) == 0) {
                ti += len;
                pi = literal.to;
                continue;
            }
        }
        if (starP == npos)
            return false;
        pi = starP;
        starT += std::size_t(CharCodes::length(t[starT]));
        if (!seek(pi, t, n, starT))
            return false;
        ti = starT;
    }
    while (pi < items_.size() && items_[pi] == kAnyRun)
        ++pi;
    return pi == items_.size();
}

// Moves `at` to the next place where the literal run at items[pi] occurs;
// false when it occurs nowhere after it.
bool WildMatcher::seek(std::size_t pi, const unsigned char *t, std::size_t n, std::size_t &at) const
{
    if (pi >= items_.size() || literalAt_[pi] < 0)
        return true;
    const unsigned char *hit = finders_[std::size_t(literalAt_[pi])].find(t + at, n - at);
    if (!hit)
        return false;
    at = std::size_t(hit - t);
    return true;
}

} // namespace varnel::search
