#pragma once

#include "store/search/charcodes.h"
#include "store/search/notearena.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace varnel::search
{

// A note as the index keeps it: its pair filter's words and its encoded text
// (shown time, title and body, NUL between them) in one block of memory, and
// what the lists need of the rest of its row.
struct IndexedNote {
    NoteBlock packed; // the filter's words, then the text
    std::uint32_t textBytes = 0;
    std::uint16_t pairWords = 0;
    std::uint8_t nulls = 0; // a bit per field of the text that is Null
    bool categoryIsInteger = false;
    std::uint32_t ends[2] = {0, 0}; // where the time and the title end in the text
    std::uint32_t stored = 0;       // bytes of title, body and time as stored
    bool stateNull = true;
    bool odd = false;        // 处理 neither Null nor an integer
    std::uint64_t print = 0; // of title, body and time as stored
    std::int64_t category = 0;
    std::int64_t state = 0;

    std::string_view text() const
    {
        return {reinterpret_cast<const char *>(packed.get() + pairWords), textBytes};
    }
    std::span<const std::uint64_t> pairs() const { return {packed.get(), pairWords}; }
    std::size_t bytes() const { return packed ? (pairWords + (textBytes + 7) / 8) * 8 : 0; }

    // Takes a copy of the filter's words and writes the text after them, in a
    // block from `arena` (while a bulk read lasts, on its thread) or from the heap.
    void pack(std::span<const std::uint64_t> words, const EncodedText &text, NoteArena *arena)
    {
        pairWords = std::uint16_t(words.size());
        textBytes = std::uint32_t(text.byteLength());
        // Uninitialised: every word is written, the text's last one up to its end.
        packed = NoteArena::take(arena, pairWords + (textBytes + 7) / 8);
        std::copy(words.begin(), words.end(), packed.get());
        text.write(reinterpret_cast<char *>(packed.get() + pairWords), ends);
    }
};

} // namespace varnel::search
