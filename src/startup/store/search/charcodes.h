#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The in-memory form of searchable text. Every character, as SQLite's LIKE
// reads it (ASCII letters folded to lower case, malformed UTF-8 as U+FFFD),
// gets a key: ASCII keeps its own value, every other character the next free
// number. Keys are written as 1 to 4 bytes: ASCII as itself, others as a lead
// byte 0xC0-0xFF and continuation bytes 0x80-0xBF. The first 3,584 distinct
// characters take two bytes (Chinese text shrinks by a third against UTF-8),
// and a byte match of one encoded text in another always starts and ends on
// whole characters, so a substring search over encoded bytes is a substring
// search over characters.
namespace varnel::search
{

class CharCodes
{
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // The key of a character read by readSqliteChar, folded; kNone when the
    // table is full (more than 294,400 distinct characters).
    std::uint32_t add(std::uint32_t c)
    {
        if (c >= 0x80 && c < 0x10000 && !plane0_.empty()) {
            const std::uint32_t key = plane0_[c];
            if (key != kNone)
                return key;
        }
        return addNew(c);
    }
    // The key of a known character, kNone for one no text has held.
    std::uint32_t find(std::uint32_t c) const;
    std::size_t size() const { return count_; } // characters beyond ASCII
    // One more than the highest key handed out.
    std::uint32_t keyLimit() const { return 0x80 + count_; }

    // Appends the bytes of `key`; returns how many.
    static int put(std::uint32_t key, std::string &out);
    // How many bytes `key` is written as.
    static int width(std::uint32_t key)
    {
        return key < 0x80                                   ? 1
               : key < 0x80 + kTwoByteKeys                  ? 2
               : key < 0x80 + kTwoByteKeys + kThreeByteKeys ? 3
                                                            : 4;
    }
    // Writes the bytes of `key` at `at` (room for four); returns the end.
    static char *write(std::uint32_t key, char *at)
    {
        if (key < 0x80) {
            *at = char(key);
            return at + 1;
        }
        if (const std::uint32_t i = key - 0x80; i < kTwoByteKeys) {
            at[0] = char(0xC0 + (i >> 6));
            at[1] = char(0x80 | (i & 63));
            return at + 2;
        }
        return writeLong(key, at);
    }
    // Keys of two bytes: lead 0xC0-0xF7, one continuation.
    static constexpr std::uint32_t kTwoByteKeys = 56 * 64;
    // Keys of three bytes: lead 0xF8-0xFE, two continuations.
    static constexpr std::uint32_t kThreeByteKeys = 7 * 4096;
    // Bytes of the character starting with `lead`.
    static int length(unsigned char lead)
    {
        return lead < 0xC0 ? 1 : lead < 0xF8 ? 2 : lead < 0xFF ? 3 : 4;
    }
    // The key of the encoded character at p.
    static std::uint32_t keyAt(const unsigned char *p);

  private:
    static char *writeLong(std::uint32_t key, char *at);
    std::uint32_t addNew(std::uint32_t c);
    std::uint32_t assign(std::uint32_t c);

    std::vector<std::uint32_t> plane0_; // keys of U+0080..U+FFFF, kNone when unknown
    std::unordered_map<std::uint32_t, std::uint32_t> others_;
    std::uint32_t count_ = 0;
};

// The keys of the characters of a note's fields (kNone between fields), and
// from them its encoded text. Kept from note to note: its buffer only grows,
// so encoding writes keys without a check per key.
class EncodedText
{
  public:
    void clear()
    {
        count_ = 0;
        bytes_ = 0;
    }
    void separate(); // ends a field
    std::span<const std::uint32_t> keys() const { return {keys_.data(), count_}; }
    std::size_t byteLength() const { return bytes_; } // of the encoded text
    // The encoded text into `out`: every key's bytes, NUL between fields;
    // `ends` gets where each of the first fields ends.
    void write(std::string &out, std::span<std::uint32_t> ends) const;
    // The same into `out`, with room for byteLength() bytes.
    void write(char *out, std::span<std::uint32_t> ends) const;

  private:
    friend bool encodeText(std::string_view, CharCodes &, EncodedText &);
    void makeRoom(std::size_t keys);

    std::vector<std::uint32_t> keys_; // its size is the room
    std::size_t count_ = 0;
    std::size_t bytes_ = 0; // the encoded length of the keys so far
};

// One field's text as LIKE sees it (up to the first NUL), encoded and
// appended to `out`. False when the table of characters is full.
bool encodeText(std::string_view utf8, CharCodes &codes, EncodedText &out);

// A search pattern ("%" + text + "%" as the list statement builds it) read
// the way LIKE reads it.
struct Pattern {
    enum Item : std::uint32_t { AnyRun = 0xFFFFFFF0, AnyOne = 0xFFFFFFF1 };
    std::vector<std::uint32_t> items; // keys, AnyRun or AnyOne
    bool impossible = false;          // holds a character no note has: matches nothing
    bool supported = true;            // false where only SQLite's byte-wise quirk decides

    static Pattern compile(std::string_view utf8Text, const CharCodes &codes);

    bool isEmptyMatch() const; // "%%", "%%%": any text that is not Null
};

std::uint32_t readSqliteChar(const unsigned char *&p, const unsigned char *end);
std::string_view likeVisible(std::string_view text);

} // namespace varnel::search
