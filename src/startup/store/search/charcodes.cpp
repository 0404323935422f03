#include "store/search/charcodes.h"

#include "store/search/sqlitelike.h"

namespace varnel::search
{

namespace
{
constexpr std::uint32_t kTwo = 56 * 64;       // lead 0xC0-0xF7, one continuation
constexpr std::uint32_t kThree = 7 * 4096;    // lead 0xF8-0xFE, two continuations
constexpr std::uint32_t kFour = 64 * 64 * 64; // lead 0xFF, three continuations

inline std::uint32_t fold(std::uint32_t c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}
} // namespace

std::uint32_t CharCodes::assign(std::uint32_t c)
{
    if (count_ >= kTwo + kThree + kFour)
        return kNone;
    const std::uint32_t key = 0x80 + count_++;
    if (c < 0x10000)
        plane0_[c] = key;
    else
        others_.emplace(c, key);
    return key;
}

std::uint32_t CharCodes::add(std::uint32_t c)
{
    if (c < 0x80)
        return fold(c);
    if (c < 0x10000) {
        if (plane0_.empty())
            plane0_.assign(0x10000, kNone);
        const std::uint32_t key = plane0_[c];
        return key != kNone ? key : assign(c);
    }
    const auto found = others_.find(c);
    return found != others_.end() ? found->second : assign(c);
}

std::uint32_t CharCodes::find(std::uint32_t c) const
{
    if (c < 0x80)
        return fold(c);
    if (c < 0x10000)
        return plane0_.empty() ? kNone : plane0_[c];
    const auto found = others_.find(c);
    return found == others_.end() ? kNone : found->second;
}

int CharCodes::put(std::uint32_t key, std::string &out)
{
    if (key < 0x80) {
        out.push_back(char(key));
        return 1;
    }
    std::uint32_t i = key - 0x80;
    if (i < kTwo) {
        out.push_back(char(0xC0 + (i >> 6)));
        out.push_back(char(0x80 | (i & 63)));
        return 2;
    }
    i -= kTwo;
    if (i < kThree) {
        out.push_back(char(0xF8 + (i >> 12)));
        out.push_back(char(0x80 | ((i >> 6) & 63)));
        out.push_back(char(0x80 | (i & 63)));
        return 3;
    }
    i -= kThree;
    out.push_back(char(0xFF));
    out.push_back(char(0x80 | ((i >> 12) & 63)));
    out.push_back(char(0x80 | ((i >> 6) & 63)));
    out.push_back(char(0x80 | (i & 63)));
    return 4;
}

std::uint32_t CharCodes::keyAt(const unsigned char *p)
{
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return lead;
    if (lead < 0xF8)
        return 0x80 + (std::uint32_t(lead - 0xC0) << 6 | (p[1] & 63));
    if (lead < 0xFF)
        return 0x80 + kTwo +
               (std::uint32_t(lead - 0xF8) << 12 | std::uint32_t(p[1] & 63) << 6 | (p[2] & 63));
    return 0x80 + kTwo + kThree +
           (std::uint32_t(p[1] & 63) << 12 | std::uint32_t(p[2] & 63) << 6 | (p[3] & 63));
}

Pattern Pattern::compile(std::string_view utf8Text, const CharCodes &codes)
{
    // "%" + text + "%", cut at the first NUL as LIKE cuts it.
    std::string whole;
    whole.reserve(utf8Text.size() + 2);
    whole.push_back('%');
    whole.append(utf8Text);
    whole.push_back('%');
    const std::string_view visible = likeVisible(whole);
    Pattern pattern;
    const auto *p = reinterpret_cast<const unsigned char *>(visible.data());
    const auto *end = p + visible.size();
    bool afterRun = false;
    while (p < end) {
        const std::uint32_t c = *p < 0x80 ? *p++ : readSqliteChar(p, end);
        if (c == '%' || c == '_') {
            pattern.items.push_back(c == '%' ? AnyRun : AnyOne);
            afterRun = afterRun || c == '%';
            continue;
        }
        // LIKE looks for U+0080 after a % byte by byte, across characters.
        if (afterRun && c == 0x80)
            pattern.supported = false;
        afterRun = false;
        const std::uint32_t key = codes.find(c);
        if (key == CharCodes::kNone)
            pattern.impossible = true;
        pattern.items.push_back(key);
    }
    return pattern;
}

bool Pattern::isEmptyMatch() const
{
    if (items.empty())
        return false;
    for (const std::uint32_t item : items) {
        if (item != AnyRun)
            return false;
    }
    return true;
}

} // namespace varnel::search
