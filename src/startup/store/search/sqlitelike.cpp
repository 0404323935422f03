#include "store/search/sqlitelike.h"

#include <algorithm>
#include <cstring>

namespace varnel::search
{

namespace
{

const unsigned char kTrans1[] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00,
};

constexpr std::uint32_t kAll = '%';
constexpr std::uint32_t kOne = '_';

inline std::uint32_t lower(std::uint32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

inline std::uint32_t upper(std::uint32_t c)
{
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

// A text as SQLite walks it: a pointer that reads 0 at the end.
struct Cursor {
    const unsigned char *p;
    const unsigned char *end;
    std::uint32_t read()
    {
        if (p >= end) {
            ++p;
            return 0;
        }
        if (*p < 0x80)
            return *p++;
        return readSqliteChar(p, end);
    }
    unsigned char peek() const { return p < end ? *p : 0; }
};

enum Result { Match, NoMatch, NoWildcardMatch };

Result compare(Cursor pattern, Cursor text)
{
    std::uint32_t c;
    while ((c = pattern.read()) != 0) {
        if (c == kAll) {
            while ((c = pattern.read()) == kAll || c == kOne) {
                if (c == kOne && text.read() == 0)
                    return NoWildcardMatch;
            }
            if (c == 0)
                return Match;
            if (c <= 0x80) {
                // SQLite looks for this character byte by byte.
                const std::uint32_t cx = upper(c);
                c = lower(c);
                while (text.p < text.end) {
                    const std::uint32_t c2 = *text.p++;
                    if (c2 != c && c2 != cx)
                        continue;
                    const Result r = compare(pattern, text);
                    if (r != NoMatch)
                        return r;
                }
            } else {
                std::uint32_t c2;
                while ((c2 = text.read()) != 0) {
                    if (c2 != c)
                        continue;
                    const Result r = compare(pattern, text);
                    if (r != NoMatch)
                        return r;
                }
            }
            return NoWildcardMatch;
        }
        const std::uint32_t c2 = text.read();
        if (c == c2)
            continue;
        if (c < 0x80 && c2 < 0x80 && lower(c) == lower(c2))
            continue;
        if (c == kOne && c2 != 0)
            continue;
        return NoMatch;
    }
    return text.peek() == 0 ? Match : NoMatch;
}

bool isLiteral(std::string_view s)
{
    return s.find_first_of("%_") == std::string_view::npos;
}

bool isAscii(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Strictly well-formed UTF-8, which SQLite reads back character for
// character as it is written: then equal characters are equal bytes.
bool isPlainUtf8(std::string_view s)
{
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const auto *end = p + s.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const unsigned char lead = *p;
        const long n = lead >= 0xF5   ? 0
                       : lead >= 0xF0 ? 4
                       : lead >= 0xE0 ? 3
                       : lead >= 0xC2 ? 2
                                      : 0;
        if (n == 0 || end - p < n)
            return false;
        const unsigned char *q = p;
        const std::uint32_t c = readSqliteChar(q, end);
        const std::uint32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        const bool replacement = c == 0xFFFD && !(lead == 0xEF && p[1] == 0xBF && p[2] == 0xBD);
        if (q != p + n || c < least || c > 0x10FFFF || replacement)
            return false;
        p = q;
    }
    return true;
}

const char *findFolded(std::string_view needle, std::string_view text)
{
    const std::size_t n = needle.size();
    if (n > text.size())
        return nullptr;
    const unsigned char first = static_cast<unsigned char>(lower(needle[0]));
    for (std::size_t i = 0; i + n <= text.size(); ++i) {
        if (lower(static_cast<unsigned char>(text[i])) != first)
            continue;
        std::size_t k = 1;
        while (k < n && lower(static_cast<unsigned char>(text[i + k])) ==
                            lower(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == n)
            return text.data() + i;
    }
    return nullptr;
}

// "%literal%": a substring search where that gives SQLite's answer.
int literalShortcut(std::string_view inner, std::string_view text)
{
    if (inner.empty())
        return 1;
    if (isAscii(inner))
        return findFolded(inner, text) != nullptr;
    const bool letters = std::any_of(inner.begin(), inner.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    // A U+0080 right after the % is looked for byte by byte, in the middle of
    // other characters too: only the full comparison gives that answer.
    const bool byteWise = inner.size() >= 2 && inner[0] == '\xC2' && inner[1] == '\x80';
    if (letters || byteWise || static_cast<unsigned char>(inner[0]) < 0xC2 || !isPlainUtf8(inner))
        return -1;
    // Without ASCII letters, characters compare exactly; a byte match that starts on a
    // lead byte and is not followed by a continuation byte is a match.
    std::string_view rest = text;
    while (const void *hit = ::memmem(rest.data(), rest.size(), inner.data(), inner.size())) {
        const std::size_t at = std::size_t(static_cast<const char *>(hit) - rest.data());
        const std::size_t after = at + inner.size();
        if (after >= rest.size() || (static_cast<unsigned char>(rest[after]) & 0xC0) != 0x80)
            return 1;
        rest = rest.substr(at + 1);
    }
    return isPlainUtf8(text) ? 0 : -1;
}

} // namespace

std::uint32_t readSqliteChar(const unsigned char *&p, const unsigned char *end)
{
    std::uint32_t c = *p++;
    if (c >= 0xC0) {
        c = kTrans1[c - 0xC0];
        while (p < end && (*p & 0xC0) == 0x80)
            c = (c << 6) + (0x3F & *p++);
        if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE)
            c = 0xFFFD;
    }
    return c;
}

std::string_view likeVisible(std::string_view text)
{
    const void *nul = std::memchr(text.data(), 0, text.size());
    return nul ? text.substr(0, std::size_t(static_cast<const char *>(nul) - text.data())) : text;
}

bool sqliteLike(std::string_view pattern, std::string_view text)
{
    pattern = likeVisible(pattern);
    text = likeVisible(text);
    if (pattern.size() >= 2 && pattern.front() == '%' && pattern.back() == '%') {
        const std::string_view inner = pattern.substr(1, pattern.size() - 2);
        if (isLiteral(inner)) {
            const int quick = literalShortcut(inner, text);
            if (quick >= 0)
                return quick == 1;
        }
    }
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    const auto *t = reinterpret_cast<const unsigned char *>(text.data());
    return compare({p, p + pattern.size()}, {t, t + text.size()}) == Match;
}

} // namespace varnel::search
