#include "noteindex.h"

#include "bytesearch.h"
#include "showntime.h"
#include "twocores.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace varnel::search
{

namespace
{

constexpr std::uint32_t kAnyRun = Pattern::AnyRun;
constexpr std::uint32_t kAnyOne = Pattern::AnyOne;
// Below this much text to confirm, a second core costs more than it saves.
constexpr std::size_t kParallelBytes = 1 << 20;
constexpr std::size_t kRecent = 8;

inline std::uint32_t pairBucket(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t h = a * 0x9E3779B1U ^ (b + 0x7F4A7C15U) * 0x85EBCA77U;
    h ^= h >> 15;
    h *= 0x2C1B3C6DU;
    h ^= h >> 12;
    return h & 4095;
}

inline bool isWild(std::uint32_t item)
{
    return item == kAnyRun || item == kAnyOne;
}

inline void setBit(std::vector<std::uint64_t> &bits, std::uint32_t slot)
{
    bits[slot / 64] |= std::uint64_t(1) << (slot % 64);
}

inline bool bit(const std::vector<std::uint64_t> &bits, std::uint32_t slot)
{
    return (bits[slot / 64] >> (slot % 64)) & 1;
}

// Walks the encoded fields of a note: calls f(field index, begin, end).
template <typename F> void forEachField(const std::string &text, F f)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    int field = 0;
    const unsigned char *start = p;
    for (const unsigned char *q = p;; ++q) {
        if (q == end || *q == 0) {
            f(field++, start, q);
            if (q == end)
                return;
            start = q + 1;
        }
    }
}

// A run of literal items and its encoded bytes.
struct Literal {
    std::size_t from = 0, to = 0; // items[from, to)
    std::string bytes;
};

// LIKE over one encoded field: % any run, _ one character, literal runs as
// bytes. Greedy, going back to the last % on a mismatch; after a % the next
// literal run is found with a byte search.
class WildMatcher
{
  public:
    explicit WildMatcher(const std::vector<std::uint32_t> &items) : items_(items)
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
            literals_.push_back(std::move(literal));
        }
    }

    bool match(const unsigned char *t, std::size_t n) const
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

  private:
    static constexpr std::size_t npos = std::size_t(-1);

    // Moves `at` to the next place where the literal run at items[pi] occurs;
    // false when it occurs nowhere after it.
    bool seek(std::size_t pi, const unsigned char *t, std::size_t n, std::size_t &at) const
    {
        if (pi >= items_.size() || literalAt_[pi] < 0)
            return true;
        const std::string &bytes = literals_[std::size_t(literalAt_[pi])].bytes;
        const unsigned char *hit = findBytes(
            t + at, n - at, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
        if (!hit)
            return false;
        at = std::size_t(hit - t);
        return true;
    }

    const std::vector<std::uint32_t> &items_;
    std::vector<int> literalAt_;
    std::vector<Literal> literals_;
};

bool containsRun(const std::vector<std::uint32_t> &outer, const std::vector<std::uint32_t> &inner)
{
    return std::search(outer.begin(), outer.end(), inner.begin(), inner.end()) != outer.end();
}

} // namespace

std::size_t NoteIndex::memoryBytes() const
{
    std::size_t bytes = notes_.capacity() * sizeof(Note) + order_.capacity() * 4 +
                        slotOf_.size() * 32 + codes_.size() * 32;
    for (const Note &note : notes_)
        bytes += note.text.capacity() > 15 ? note.text.capacity() + 1 : 0;
    for (const Posting &p : chars_)
        bytes += sizeof(Posting) + p.bytes();
    for (const Posting &p : pairs_)
        bytes += sizeof(Posting) + p.bytes();
    return bytes;
}

std::uint32_t NoteIndex::allocateSlot()
{
    if (!freeSlots_.empty()) {
        const std::uint32_t slot = freeSlots_.back();
        freeSlots_.pop_back();
        return slot;
    }
    notes_.emplace_back();
    return std::uint32_t(notes_.size() - 1);
}

// Adds the note of `slot` to (or takes it out of) the sets of its characters
// and pairs.
void NoteIndex::indexKeys(std::uint32_t slot, bool add)
{
    const Note &note = notes_[slot];
    if (charStamp_.size() < codes_.size() + 0x80)
        charStamp_.resize(codes_.size() + 0x80 + 1024, 0);
    if (chars_.size() < charStamp_.size())
        chars_.resize(charStamp_.size());
    if (++stamp_ == 0) {
        std::fill(charStamp_.begin(), charStamp_.end(), 0);
        std::fill(pairStamp_.begin(), pairStamp_.end(), 0);
        stamp_ = 1;
    }
    const auto slotCount = std::uint32_t(notes_.size());
    forEachField(note.text, [&](int, const unsigned char *p, const unsigned char *end) {
        std::uint32_t previous = CharCodes::kNone;
        while (p < end) {
            const std::uint32_t key = CharCodes::keyAt(p);
            p += CharCodes::length(*p);
            if (charStamp_[key] != stamp_) {
                charStamp_[key] = stamp_;
                add ? chars_[key].add(slot, slotCount) : chars_[key].remove(slot);
            }
            if (previous != CharCodes::kNone) {
                const std::uint32_t bucket = pairBucket(previous, key);
                if (pairStamp_[bucket] != stamp_) {
                    pairStamp_[bucket] = stamp_;
                    add ? pairs_[bucket].add(slot, slotCount) : pairs_[bucket].remove(slot);
                }
            }
            previous = key;
        }
    });
}

bool NoteIndex::listsBefore(std::uint32_t a, std::uint32_t b) const
{
    const Note &x = notes_[a];
    const Note &y = notes_[b];
    if (x.stateNull != y.stateNull)
        return x.stateNull; // Null sorts first
    if (!x.stateNull && x.state != y.state)
        return x.state < y.state;
    return x.bookid > y.bookid;
}

void NoteIndex::placeInOrder(std::uint32_t slot)
{
    const auto at =
        std::lower_bound(order_.begin(), order_.end(), slot,
                         [this](std::uint32_t a, std::uint32_t b) { return listsBefore(a, b); });
    order_.insert(at, slot);
}

void NoteIndex::takeOutOfOrder(std::uint32_t slot)
{
    const auto at =
        std::lower_bound(order_.begin(), order_.end(), slot,
                         [this](std::uint32_t a, std::uint32_t b) { return listsBefore(a, b); });
    if (at != order_.end() && *at == slot)
        order_.erase(at);
    else
        order_.erase(std::find(order_.begin(), order_.end(), slot));
}

void NoteIndex::erase(std::int64_t bookid)
{
    const auto found = slotOf_.find(bookid);
    if (found == slotOf_.end())
        return;
    const std::uint32_t slot = found->second;
    recent_.clear();
    indexKeys(slot, false);
    takeOutOfOrder(slot);
    Note &note = notes_[slot];
    oddStates_ -= note.odd ? 1 : 0;
    note = Note();
    slotOf_.erase(found);
    freeSlots_.push_back(slot);
}

bool NoteIndex::put(const NoteRecord &record)
{
    if (!bulk_)
        erase(record.bookid);
    recent_.clear();
    const std::uint32_t slot = allocateSlot();
    Note &note = notes_[slot];
    note.bookid = record.bookid;
    note.category = record.category;
    note.categoryIsInteger = record.categoryIsInteger;
    note.stateNull = record.stateKind == NoteRecord::StateNull;
    note.odd = record.stateKind == NoteRecord::StateOther;
    note.state = record.state;
    note.live = true;
    char shown[20];
    const FieldText time{record.time.null, record.time.null
                                               ? std::string_view()
                                               : shownTimeBytes(record.time.bytes, shown)};
    const FieldText *fields[3] = {&record.title, &record.body, &time};
    thread_local std::vector<std::uint32_t> keys;
    note.text.clear();
    note.text.reserve(record.title.bytes.size() * 3 / 4 + record.body.bytes.size() * 3 / 4 + 24);
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            note.text.push_back('\0');
        note.nulls |= fields[i]->null ? std::uint8_t(1 << i) : 0;
        keys.clear();
        if (!fields[i]->null && !encodeText(fields[i]->bytes, codes_, note.text, keys))
            full_ = true;
    }
    note.text.shrink_to_fit();
    oddStates_ += note.odd ? 1 : 0;
    slotOf_.emplace(record.bookid, slot);
    indexKeys(slot, true);
    if (bulk_)
        order_.push_back(slot);
    else
        placeInOrder(slot);
    return !full_;
}

void NoteIndex::endBulk()
{
    bulk_ = false;
    std::sort(order_.begin(), order_.end(),
              [this](std::uint32_t a, std::uint32_t b) { return listsBefore(a, b); });
}

template <typename Keep> std::vector<ListEntry> NoteIndex::listWhere(Keep keep) const
{
    std::vector<ListEntry> out;
    out.reserve(order_.size());
    for (const std::uint32_t slot : order_) {
        const Note &note = notes_[slot];
        if (keep(note))
            out.push_back({note.bookid, !note.stateNull && note.state == 1});
    }
    return out;
}

std::vector<ListEntry> NoteIndex::listAll() const
{
    return listWhere([](const Note &) { return true; });
}

std::vector<ListEntry> NoteIndex::listPending() const
{
    return listWhere([](const Note &n) { return !n.stateNull && n.state == 0; });
}

std::vector<ListEntry> NoteIndex::listCategory(std::int64_t category) const
{
    return listWhere(
        [category](const Note &n) { return n.categoryIsInteger && n.category == category; });
}

std::int64_t NoteIndex::countCategory(std::int64_t category) const
{
    std::int64_t count = 0;
    for (const std::uint32_t slot : order_) {
        const Note &n = notes_[slot];
        count += (n.categoryIsInteger && n.category == category) ? 1 : 0;
    }
    return count;
}

std::vector<ListEntry> NoteIndex::inOrder(const std::vector<std::uint64_t> &hits) const
{
    std::vector<ListEntry> out;
    for (const std::uint32_t slot : order_) {
        if (bit(hits, slot)) {
            const Note &note = notes_[slot];
            out.push_back({note.bookid, !note.stateNull && note.state == 1});
        }
    }
    return out;
}

// The live slots that hold every character and every neighbouring pair of
// the pattern's literal runs (and, with `within`, are among those slots).
std::vector<std::uint32_t> NoteIndex::candidates(const std::vector<std::uint32_t> &items,
                                                 const std::vector<std::uint32_t> *within) const
{
    std::vector<const Posting *> sets;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (isWild(items[i]))
            continue;
        sets.push_back(items[i] < chars_.size() ? &chars_[items[i]] : nullptr);
        if (i > 0 && !isWild(items[i - 1]))
            sets.push_back(&pairs_[pairBucket(items[i - 1], items[i])]);
    }
    std::vector<std::uint32_t> out;
    for (const Posting *set : sets) {
        if (!set || set->count() == 0)
            return out;
    }
    std::sort(sets.begin(), sets.end(),
              [](const Posting *a, const Posting *b) { return a->count() < b->count(); });
    sets.erase(std::unique(sets.begin(), sets.end()), sets.end());
    auto keep = [&](std::uint32_t slot, std::size_t from) {
        for (std::size_t i = from; i < sets.size(); ++i) {
            if (!sets[i]->has(slot))
                return false;
        }
        return true;
    };
    if (within && (sets.empty() || within->size() < sets.front()->count())) {
        for (const std::uint32_t slot : *within) {
            if (keep(slot, 0))
                out.push_back(slot);
        }
        return out;
    }
    if (sets.empty()) {
        for (std::uint32_t slot = 0; slot < notes_.size(); ++slot) {
            if (notes_[slot].live)
                out.push_back(slot);
        }
        return out;
    }
    const Posting &first = *sets.front();
    if (!first.dense()) {
        for (const std::uint32_t slot : first.list()) {
            if (keep(slot, 1))
                out.push_back(slot);
        }
    } else {
        // Dense sets first, a word at a time.
        std::vector<std::uint64_t> words = first.bits();
        std::size_t next = 1;
        for (; next < sets.size() && sets[next]->dense(); ++next) {
            const auto &other = sets[next]->bits();
            words.resize(std::min(words.size(), other.size()));
            for (std::size_t w = 0; w < words.size(); ++w)
                words[w] &= other[w];
        }
        for (std::size_t w = 0; w < words.size(); ++w) {
            for (std::uint64_t word = words[w]; word; word &= word - 1) {
                const auto slot = std::uint32_t(w * 64 + unsigned(__builtin_ctzll(word)));
                if (keep(slot, next))
                    out.push_back(slot);
            }
        }
    }
    if (within) {
        std::vector<std::uint32_t> both;
        std::set_intersection(out.begin(), out.end(), within->begin(), within->end(),
                              std::back_inserter(both));
        return both;
    }
    return out;
}

void NoteIndex::remember(std::vector<std::uint32_t> inner, const std::vector<std::uint64_t> &hits)
{
    Cached cached;
    cached.inner = std::move(inner);
    for (std::size_t w = 0; w < hits.size(); ++w) {
        for (std::uint64_t word = hits[w]; word; word &= word - 1)
            cached.matched.push_back(std::uint32_t(w * 64 + unsigned(__builtin_ctzll(word))));
    }
    recent_.push_front(std::move(cached));
    if (recent_.size() > kRecent)
        recent_.pop_back();
}

std::optional<std::vector<ListEntry>> NoteIndex::search(std::string_view utf8Text)
{
    const Pattern pattern = Pattern::compile(utf8Text, codes_);
    if (!pattern.supported)
        return std::nullopt;
    std::vector<std::uint64_t> hits(notes_.size() / 64 + 1, 0);
    if (pattern.impossible)
        return std::vector<ListEntry>();
    if (pattern.isEmptyMatch()) {
        for (std::uint32_t slot = 0; slot < notes_.size(); ++slot) {
            if (notes_[slot].live && notes_[slot].nulls != 7)
                setBit(hits, slot);
        }
        return inOrder(hits);
    }
    const std::vector<std::uint32_t> &items = pattern.items;
    const bool wrapped = items.size() >= 2 && items.front() == kAnyRun && items.back() == kAnyRun;
    std::vector<std::uint32_t> inner;
    if (wrapped)
        inner.assign(items.begin() + 1, items.end() - 1);

    // A recent text inside this one bounds the candidates; a recent text
    // that holds this one gives matches that need no check.
    const std::vector<std::uint32_t> *within = nullptr;
    const std::vector<std::uint32_t> *known = nullptr;
    for (const Cached &cached : recent_) {
        if (!wrapped)
            break;
        if (cached.inner == inner) {
            for (const std::uint32_t slot : cached.matched)
                setBit(hits, slot);
            return inOrder(hits);
        }
        if (containsRun(inner, cached.inner) && (!within || cached.matched.size() < within->size()))
            within = &cached.matched;
        if (containsRun(cached.inner, inner) && (!known || cached.matched.size() > known->size()))
            known = &cached.matched;
    }
    std::vector<std::uint32_t> check = candidates(items, within);
    if (known) {
        for (const std::uint32_t slot : *known)
            setBit(hits, slot);
        std::erase_if(check, [&](std::uint32_t slot) { return bit(hits, slot); });
    }

    const bool plain = pattern.isPlainSubstring();
    const std::string literal = plain ? pattern.literalBytes() : std::string();
    if (plain && items.size() == 3) {
        // One character: its set is exact, nothing to confirm.
        for (const std::uint32_t slot : check)
            setBit(hits, slot);
        check.clear();
    }
    const WildMatcher wild(items);
    auto test = [&](std::uint32_t slot) {
        const Note &note = notes_[slot];
        if (plain) {
            const auto *t = reinterpret_cast<const unsigned char *>(note.text.data());
            return findBytes(t, note.text.size(),
                             reinterpret_cast<const unsigned char *>(literal.data()),
                             literal.size()) != nullptr;
        }
        bool hit = false;
        forEachField(note.text, [&](int field, const unsigned char *p, const unsigned char *end) {
            if (!hit && !(note.nulls >> field & 1))
                hit = wild.match(p, std::size_t(end - p));
        });
        return hit;
    };
    std::size_t bytes = 0;
    for (const std::uint32_t slot : check)
        bytes += notes_[slot].text.size();
    std::vector<std::uint8_t> found(check.size(), 0);
    auto confirm = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            found[i] = test(check[i]) ? 1 : 0;
    };
    if (bytes >= kParallelBytes) {
        // Two halves of about the same amount of text.
        std::size_t half = 0;
        for (std::size_t sum = 0; half < check.size() && sum * 2 < bytes; ++half)
            sum += notes_[check[half]].text.size();
        TwoCores::instance().run(
            [&](int part) { part == 0 ? confirm(0, half) : confirm(half, check.size()); });
    } else {
        confirm(0, check.size());
    }
    for (std::size_t i = 0; i < check.size(); ++i) {
        if (found[i])
            setBit(hits, check[i]);
    }
    if (wrapped)
        remember(std::move(inner), hits);
    return inOrder(hits);
}

} // namespace varnel::search
