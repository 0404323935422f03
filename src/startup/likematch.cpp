#include "likematch.h"

#include <algorithm>
#include <cstring>

namespace varnel::db
{

namespace
{

inline unsigned char lowerByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool hasWildcard(std::string_view s)
{
    return s.find_first_of("%_") != std::string_view::npos;
}

bool hasAsciiLetter(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
    });
}

// Length in bytes of the UTF-8 character starting at s[i] (1 for stray bytes).
std::size_t charLength(std::string_view s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return std::min(n, s.size() - i);
}

bool substring(std::string_view needle, std::string_view text)
{
    if (needle.empty())
        return true;
    if (!hasAsciiLetter(needle))
        return ::memmem(text.data(), text.size(), needle.data(), needle.size()) != nullptr;
    thread_local std::string lowText;
    thread_local std::string lowNeedle;
    asciiLower(text, lowText);
    asciiLower(needle, lowNeedle);
    return ::memmem(lowText.data(), lowText.size(), lowNeedle.data(), lowNeedle.size()) != nullptr;
}

// One character of the pattern (not a wildcard) against one of the text.
bool sameChar(std::string_view p, std::size_t pi, std::size_t pn, std::string_view t,
              std::size_t ti, std::size_t tn)
{
    if (pn != tn)
        return false;
    if (pn == 1)
        return lowerByte(static_cast<unsigned char>(p[pi])) ==
               lowerByte(static_cast<unsigned char>(t[ti]));
    return std::memcmp(p.data() + pi, t.data() + ti, pn) == 0;
}

// The general case: greedy matching with backtracking to the last %.
bool wildcardMatch(std::string_view p, std::string_view t)
{
    std::size_t pi = 0, ti = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '%') {
            starP = ++pi;
            starT = ti;
            continue;
        }
        const std::size_t tn = charLength(t, ti);
        if (pi < p.size()) {
            const std::size_t pn = p[pi] == '_' ? 1 : charLength(p, pi);
            if (p[pi] == '_' || sameChar(p, pi, pn, t, ti, tn)) {
                pi += pn;
                ti += tn;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        pi = starP;
        starT += charLength(t, starT);
        ti = starT;
    }
    while (pi < p.size() && p[pi] == '%')
        ++pi;
    return pi == p.size();
}

} // namespace

void asciiLower(std::string_view in, std::string &out)
{
    out.resize(in.size());
    for (std::size_t i = 0; i < in.size(); ++i)
        out[i] = static_cast<char>(lowerByte(static_cast<unsigned char>(in[i])));
}

bool likeMatch(std::string_view pattern, std::string_view text)
{
    if (pattern.size() >= 2 && pattern.front() == '%' && pattern.back() == '%') {
        const std::string_view inner = pattern.substr(1, pattern.size() - 2);
        if (!hasWildcard(inner))
            return substring(inner, text);
    }
    return wildcardMatch(pattern, text);
}

} // namespace varnel::db
