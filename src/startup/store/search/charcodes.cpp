#include "store/search/charcodes.h"

#include "store/search/sqlitelike.h"

#include <algorithm>

namespace varnel::search
{

namespace
{
constexpr std::uint32_t kTwo = CharCodes::kTwoByteKeys;
constexpr std::uint32_t kThree = CharCodes::kThreeByteKeys;
constexpr std::uint32_t kFour = 64 * 64 * 64; // lead 0xFF, three continuations

// Bytes of text encoded between two checks of the room for keys.
constexpr std::size_t kKeysPerPiece = 1024;

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

std::uint32_t CharCodes::addNew(std::uint32_t c)
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
    char bytes[4];
    const int n = int(write(key, bytes) - bytes);
    out.append(bytes, std::size_t(n));
    return n;
}

char *CharCodes::writeLong(std::uint32_t key, char *at)
{
    std::uint32_t i = key - 0x80 - kTwo;
    if (i < kThree) {
        at[0] = char(0xF8 + (i >> 12));
        at[1] = char(0x80 | ((i >> 6) & 63));
        at[2] = char(0x80 | (i & 63));
        return at + 3;
    }
    i -= kThree;
    at[0] = char(0xFF);
    at[1] = char(0x80 | ((i >> 12) & 63));
    at[2] = char(0x80 | ((i >> 6) & 63));
    at[3] = char(0x80 | (i & 63));
    return at + 4;
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

// To exactly the room asked for: a text is kept from note to note, so it
// grows only up to the longest note it meets, and the reader keeps hundreds.
void EncodedText::makeRoom(std::size_t keys)
{
    if (keys_.size() < count_ + keys)
        keys_.resize(count_ + keys);
}

void EncodedText::separate()
{
    makeRoom(1);
    keys_[count_++] = CharCodes::kNone;
    ++bytes_;
}

void EncodedText::write(std::string &out, std::span<std::uint32_t> ends) const
{
    out.resize(byteLength());
    write(out.data(), ends);
}

void EncodedText::write(char *const first, std::span<std::uint32_t> ends) const
{
    char *at = first;
    std::size_t field = 0;
    for (const std::uint32_t key : keys()) {
        if (key != CharCodes::kNone) {
            at = CharCodes::write(key, at);
            continue;
        }
        if (field < ends.size())
            ends[field++] = std::uint32_t(at - first);
        *at++ = '\0';
    }
}

namespace
{

// A character of three UTF-8 bytes that SQLite reads as written (most of
// Chinese text): its code point, else 0 and SQLite's own reading decides.
inline std::uint32_t plainThreeBytes(const unsigned char *p, const unsigned char *end)
{
    if (end - p < 3 || (p[0] & 0xF0) != 0xE0 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80 ||
        (end - p > 3 && (p[3] & 0xC0) == 0x80))
        return 0;
    const std::uint32_t c =
        std::uint32_t(p[0] & 0x0F) << 12 | std::uint32_t(p[1] & 63) << 6 | std::uint32_t(p[2] & 63);
    return c < 0x800 || (c & 0xF800) == 0xD800 || c >= 0xFFFE ? 0 : c;
}

} // namespace

bool encodeText(std::string_view utf8, CharCodes &codes, EncodedText &out)
{
    utf8 = likeVisible(utf8);
    // Keys only: the bytes are written from them when the note is placed.
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *end = p + utf8.size();
    bool full = false;
    std::size_t bytes = 0;
    while (p < end && !full) {
        // Room for a piece at a time (a byte starts at most one character):
        // room for every byte of a Chinese text would be thrice its keys.
        const auto *pieceEnd = p + std::min<std::size_t>(std::size_t(end - p), kKeysPerPiece);
        out.makeRoom(std::size_t(pieceEnd - p));
        std::uint32_t *keys = out.keys_.data() + out.count_;
        while (p < pieceEnd) {
            std::uint32_t key;
            if (*p < 0x80) {
                key = fold(*p++);
                ++bytes;
            } else {
                std::uint32_t c = plainThreeBytes(p, end);
                if (c) {
                    p += 3;
                } else {
                    // A copy to read through: `p` itself stays in a register.
                    const unsigned char *at = p;
                    c = readSqliteChar(at, end);
                    p = at;
                }
                key = codes.add(c);
                if (key == CharCodes::kNone) {
                    full = true;
                    break;
                }
                bytes += std::size_t(CharCodes::width(key));
            }
            *keys++ = key;
        }
        out.count_ = std::size_t(keys - out.keys_.data());
    }
    out.bytes_ += bytes;
    return !full;
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
