#include "store/search/noteindex.h"

#include "store/handover.h"
#include "store/search/pairfilter.h"
#include "store/search/showntime.h"
#include "store/search/wildmatcher.h"

#include <QElapsedTimer>
#include <QHash>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace varnel::search
{

namespace
{

// Below this many notes to confirm, a second core costs more than it saves.
constexpr std::size_t kParallelNotes = 512;
constexpr std::size_t kNotesPerRun = 256;
constexpr std::size_t kRecent = 12;

// Walks the encoded fields of a note: calls f(field index, begin, end).
template <typename F> void forEachField(std::string_view text, F f)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    for (int field = 0;; ++field) {
        const auto *stop =
            static_cast<const unsigned char *>(std::memchr(p, 0, std::size_t(end - p)));
        f(field, p, stop ? stop : end);
        if (!stop)
            return;
        p = stop + 1;
    }
}

// Calls f(previous key or kNone, key) for every character of every field.
template <typename F> void forEachKey(std::string_view text, F f)
{
    forEachField(text, [&](int, const unsigned char *p, const unsigned char *end) {
        std::uint32_t previous = CharCodes::kNone;
        while (p < end) {
            const std::uint32_t key = CharCodes::keyAt(p);
            p += CharCodes::length(*p);
            f(previous, key);
            previous = key;
        }
    });
}

bool containsRun(const std::vector<std::uint32_t> &outer, const std::vector<std::uint32_t> &inner)
{
    return std::search(outer.begin(), outer.end(), inner.begin(), inner.end()) != outer.end();
}

void andInto(std::vector<std::uint64_t> &into, const std::vector<std::uint64_t> &other)
{
    const std::size_t n = std::min(into.size(), other.size());
    for (std::size_t w = 0; w < n; ++w)
        into[w] &= other[w];
    std::fill(into.begin() + std::ptrdiff_t(n), into.end(), 0);
}

template <typename F> void forEachBit(const std::vector<std::uint64_t> &set, F f)
{
    for (std::size_t w = 0; w < set.size(); ++w) {
        for (std::uint64_t word = set[w]; word; word &= word - 1)
            f(std::uint32_t(w * 64 + unsigned(__builtin_ctzll(word))));
    }
}

// The stored text of a record, hashed: a note that another program changed
// differs from its copy in the index (by chance of one in 2^64 otherwise).
std::uint64_t fingerprintOf(const NoteRecord &record)
{
    std::size_t h = qHashMulti(0x5EED, record.title.null, record.body.null, record.time.null);
    for (const FieldText *field : {&record.title, &record.body, &record.time})
        h = qHashBits(field->bytes.data(), field->bytes.size(), h);
    return h;
}

} // namespace

struct NoteIndex::Group {
    bool null = true;
    std::int64_t value = 0;
    Bits members;
    bool before(bool otherNull, std::int64_t otherValue) const
    {
        if (null != otherNull)
            return null;
        return !null && value < otherValue;
    }
};

NoteIndex::NoteIndex() : asciiPairs_(kAsciiPairs), pairStamp_(kAsciiPairs, 0) {}
NoteIndex::~NoteIndex() = default;

std::size_t NoteIndex::memoryBytes() const
{
    std::size_t bytes = notes_.capacity() * sizeof(Note) + ids_.capacity() * 8 +
                        used_.capacity() * 8 + codes_.size() * 8 + 0x10000 * 4;
    for (const Note &note : notes_)
        bytes += note.bytes();
    for (const Posting &p : chars_)
        bytes += sizeof(Posting) + p.bytes();
    for (const Posting &p : asciiPairs_)
        bytes += sizeof(Posting) + p.bytes();
    for (const Group &g : groups_)
        bytes += g.members.capacity() * 8;
    return bytes;
}

// Inserts an empty slot at `at`: every later slot moves up by one.
void NoteIndex::makeRoom(std::uint32_t at)
{
    recent_.clear();
    notes_.insert(notes_.begin() + at, Note());
    bits::insertZero(used_, at);
    for (Group &group : groups_)
        bits::insertZero(group.members, at);
    for (Posting &p : chars_)
        p.insertSlot(at);
    for (Posting &p : asciiPairs_)
        p.insertSlot(at);
}

std::uint32_t NoteIndex::slotFor(std::int64_t bookid, bool &isNew)
{
    isNew = false;
    if (ids_.empty() || bookid > ids_.back()) {
        ids_.push_back(bookid);
        notes_.emplace_back();
        isNew = true;
        return slotCount() - 1;
    }
    const auto at = std::lower_bound(ids_.begin(), ids_.end(), bookid);
    const auto slot = std::uint32_t(at - ids_.begin());
    if (*at != bookid) {
        ids_.insert(at, bookid);
        makeRoom(slot);
        isNew = true;
    }
    return slot;
}

// Adds the note of `slot` to (or takes it out of) the sets of its
// characters and ASCII pairs, one note at a time.
void NoteIndex::indexKeys(std::uint32_t slot, bool add)
{
    if (charStamp_.size() < codes_.keyLimit())
        charStamp_.resize(codes_.keyLimit() + 1024, 0);
    if (chars_.size() < charStamp_.size())
        chars_.resize(charStamp_.size());
    if (++stamp_ == 0) {
        std::fill(charStamp_.begin(), charStamp_.end(), 0);
        std::fill(pairStamp_.begin(), pairStamp_.end(), 0);
        stamp_ = 1;
    }
    const std::uint32_t count = slotCount();
    forEachKey(notes_[slot].text(), [&](std::uint32_t previous, std::uint32_t key) {
        if (charStamp_[key] != stamp_) {
            charStamp_[key] = stamp_;
            add ? chars_[key].add(slot, count) : chars_[key].remove(slot);
        }
        const int pair = asciiPair(previous, key);
        if (pair >= 0 && pairStamp_[std::size_t(pair)] != stamp_) {
            pairStamp_[std::size_t(pair)] = stamp_;
            Posting &set = asciiPairs_[std::size_t(pair)];
            add ? set.add(slot, count) : set.remove(slot);
        }
    });
}

void NoteIndex::beginBulk(std::int64_t lastId)
{
    block_ = std::make_unique<BulkBlock>(slotCount(), lastId);
    arena_ = std::make_unique<NoteArena>();
}

// The slots there will be once the bulk ends: the notes still to come are
// guessed from how densely the bookids placed so far are taken. Bounded, so
// that a lone high bookid at the end costs no great reservation.
std::uint32_t NoteIndex::expectedSlots() const
{
    const std::uint32_t count = slotCount();
    if (count == 0 || block_->lastId() <= ids_.back())
        return count;
    const double taken = double(count) / (double(ids_.back()) - double(ids_.front()) + 1);
    const double rest = (double(block_->lastId()) - double(ids_.back())) * taken;
    return std::uint32_t(std::min(count + rest * 1.02 + 64, 2.0 * count + 65536));
}

void NoteIndex::endBulk()
{
    if (!block_)
        return;
    flushBlock(slotCount());
    block_.reset();
    arena_.reset();
    for (Posting &p : chars_)
        p.trimRoom();
    for (Posting &p : asciiPairs_)
        p.trimRoom();
}

void NoteIndex::flushBlock(std::uint32_t nextSlot)
{
    block_->writeTo(chars_, asciiPairs_, slotCount(), expectedSlots(), nextSlot);
}

// Gathers the keys of a new note in the last slot into the block.
void NoteIndex::addToBlock(std::uint32_t slot, const EncodedNote &encoded)
{
    if (!block_->holds(slot))
        flushBlock(slot);
    block_->add(slot, encoded.text.keys(), encoded.keyLimit);
}

NoteIndex::Group &NoteIndex::groupOf(const Note &note)
{
    auto at = std::find_if(groups_.begin(), groups_.end(),
                           [&](const Group &g) { return !g.before(note.stateNull, note.state); });
    if (at == groups_.end() || at->null != note.stateNull ||
        (!note.stateNull && at->value != note.state)) {
        Group group;
        group.null = note.stateNull;
        group.value = note.state;
        at = groups_.insert(at, std::move(group));
    }
    return *at;
}

void NoteIndex::leaveGroup(std::uint32_t slot)
{
    const Note &note = notes_[slot];
    if (note.odd)
        --oddStates_;
    else
        bits::clear(groupOf(note).members, slot);
}

void NoteIndex::erase(std::int64_t bookid)
{
    const auto at = std::lower_bound(ids_.begin(), ids_.end(), bookid);
    if (at == ids_.end() || *at != bookid)
        return;
    const auto slot = std::uint32_t(at - ids_.begin());
    if (!bits::test(used_, slot))
        return;
    recent_.clear();
    indexKeys(slot, false);
    leaveGroup(slot);
    bits::clear(used_, slot);
    stored_ -= notes_[slot].stored;
    notes_[slot] = Note();
    --live_;
}

bool NoteIndex::holds(const NoteRecord &record) const
{
    const auto at = std::lower_bound(ids_.begin(), ids_.end(), record.bookid);
    if (at == ids_.end() || *at != record.bookid)
        return false;
    const auto slot = std::size_t(at - ids_.begin());
    if (!bits::test(used_, std::uint32_t(slot)))
        return false;
    const Note &note = notes_[slot];
    return note.category == record.category && note.categoryIsInteger == record.categoryIsInteger &&
           note.stateNull == (record.stateKind == NoteRecord::StateNull) &&
           note.odd == (record.stateKind == NoteRecord::StateOther) && note.state == record.state &&
           note.print == fingerprintOf(record);
}

void NoteIndex::keepOnly(const std::vector<std::int64_t> &kept)
{
    auto keep = kept.begin();
    for (std::uint32_t slot = 0; slot < slotCount(); ++slot) {
        const std::int64_t id = ids_[slot];
        while (keep != kept.end() && *keep < id)
            ++keep;
        if (bits::test(used_, slot) && (keep == kept.end() || *keep != id))
            erase(id);
    }
}

bool NoteIndex::put(const NoteRecord &record)
{
    thread_local EncodedNote encoded;
    encode(record, encoded);
    return place(record, encoded);
}

void NoteIndex::encode(const NoteRecord &record, EncodedNote &out)
{
    out.stored = std::uint32_t(record.title.bytes.size() + record.body.bytes.size() +
                               record.time.bytes.size());
    out.print = fingerprintOf(record);
    // The shown time first and the body last: a search finds the short
    // fields' matches before it reads a long body.
    thread_local std::string shown;
    const FieldText time{record.time.null, record.time.null
                                               ? std::string_view()
                                               : shownTimeBytes(record.time.bytes, shown)};
    const FieldText *fields[3] = {&time, &record.title, &record.body};
    out.text.clear();
    out.nulls = 0;
    out.full = false;
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            out.text.separate();
        out.nulls |= fields[i]->null ? std::uint8_t(1 << i) : 0;
        if (!fields[i]->null && !encodeText(fields[i]->bytes, codes_, out.text))
            out.full = true;
    }
    out.keyLimit = codes_.keyLimit();
    out.packedBuilt = false;
}

void NoteIndex::pack(std::int64_t bookid, EncodedNote &encoded, NoteArena *arena)
{
    encoded.pairs.build(encoded.text.keys(), encoded.text.byteLength(), std::uint64_t(bookid));
    encoded.packed.pack(encoded.pairs.words(), encoded.text, arena);
    encoded.packedBuilt = true;
}

bool NoteIndex::place(const NoteRecord &record, EncodedNote &encoded)
{
    recent_.clear();
    bool isNew = false;
    const bool appends = ids_.empty() || record.bookid > ids_.back();
    if (block_ && !appends)
        endBulk(); // out of order after all: one note at a time from here
    const std::uint32_t slot = slotFor(record.bookid, isNew);
    if (bits::test(used_, slot)) {
        indexKeys(slot, false);
        leaveGroup(slot);
        stored_ -= notes_[slot].stored;
        --live_;
    }
    if (!encoded.packedBuilt)
        pack(record.bookid, encoded, arena_.get());
    Note &note = notes_[slot];
    note = std::move(encoded.packed); // the block, its lengths and where its fields end
    encoded.packedBuilt = false;
    note.category = record.category;
    note.categoryIsInteger = record.categoryIsInteger;
    note.stateNull = record.stateKind == NoteRecord::StateNull;
    note.odd = record.stateKind == NoteRecord::StateOther;
    note.state = record.state;
    note.stored = encoded.stored;
    note.print = encoded.print;
    stored_ += note.stored;
    note.nulls = encoded.nulls;
    full_ = full_ || encoded.full;

    bits::set(used_, slot);
    ++live_;
    if (note.odd)
        ++oddStates_;
    else
        bits::set(groupOf(note).members, slot);
    if (block_)
        addToBlock(slot, encoded);
    else
        indexKeys(slot, true);
    return !full_;
}

template <typename Keep>
std::vector<ListEntry> NoteIndex::inOrder(const Bits &hits, Keep keep) const
{
    std::vector<ListEntry> out;
    out.reserve(std::min(bits::count(hits), live_));
    for (const Group &group : groups_) {
        const bool done = !group.null && group.value == 1;
        for (std::size_t w = std::min(hits.size(), group.members.size()); w-- > 0;) {
            for (std::uint64_t word = hits[w] & group.members[w]; word;) {
                const unsigned bit = 63 - unsigned(__builtin_clzll(word));
                word &= ~(std::uint64_t(1) << bit);
                const auto slot = std::uint32_t(w * 64 + bit);
                if (keep(slot))
                    out.push_back({ids_[slot], done});
            }
        }
    }
    return out;
}

std::vector<ListEntry> NoteIndex::inOrder(const Bits &hits) const
{
    return inOrder(hits, [](std::uint32_t) { return true; });
}

std::vector<ListEntry> NoteIndex::listAll() const
{
    return inOrder(used_);
}

std::vector<ListEntry> NoteIndex::listPending() const
{
    for (const Group &group : groups_) {
        if (!group.null && group.value == 0) {
            std::vector<ListEntry> out;
            for (std::size_t w = group.members.size(); w-- > 0;) {
                for (std::uint64_t word = group.members[w]; word;) {
                    const unsigned bit = 63 - unsigned(__builtin_clzll(word));
                    word &= ~(std::uint64_t(1) << bit);
                    out.push_back({ids_[w * 64 + bit], false});
                }
            }
            return out;
        }
    }
    return {};
}

std::vector<ListEntry> NoteIndex::listCategory(std::int64_t category) const
{
    return inOrder(used_, [&](std::uint32_t slot) {
        const Note &n = notes_[slot];
        return n.categoryIsInteger && n.category == category;
    });
}

std::int64_t NoteIndex::countCategory(std::int64_t category) const
{
    std::int64_t count = 0;
    forEachBit(used_, [&](std::uint32_t slot) {
        const Note &n = notes_[slot];
        count += (n.categoryIsInteger && n.category == category) ? 1 : 0;
    });
    return count;
}

// The notes that hold every character and every ASCII pair of the pattern's
// literal runs (and, with `within`, are among those).
NoteIndex::Bits NoteIndex::candidates(const std::vector<std::uint32_t> &items,
                                      const Bits *within) const
{
    std::vector<const Posting *> sets;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (isWild(items[i]))
            continue;
        if (items[i] >= chars_.size())
            return Bits(used_.size(), 0);
        sets.push_back(&chars_[items[i]]);
        if (const int pair = i > 0 ? asciiPair(items[i - 1], items[i]) : -1; pair >= 0)
            sets.push_back(&asciiPairs_[std::size_t(pair)]);
    }
    std::sort(sets.begin(), sets.end(),
              [](const Posting *a, const Posting *b) { return a->count() < b->count(); });
    sets.erase(std::unique(sets.begin(), sets.end()), sets.end());
    Bits out = within ? *within : used_;
    out.resize(used_.size(), 0);
    if (sets.empty())
        return out;
    if (!sets.front()->dense()) {
        // Few notes: test each of the smallest set's against the others.
        Bits narrow(out.size(), 0);
        for (const std::uint32_t slot : sets.front()->list()) {
            if (!bits::test(out, slot))
                continue;
            bool all = true;
            for (std::size_t i = 1; all && i < sets.size(); ++i)
                all = sets[i]->has(slot);
            if (all)
                bits::set(narrow, slot);
        }
        return narrow;
    }
    for (const Posting *set : sets) {
        if (set->dense()) {
            andInto(out, set->bits());
        } else {
            Bits some(out.size(), 0);
            for (const std::uint32_t slot : set->list())
                bits::set(some, slot);
            andInto(out, some);
        }
    }
    return out;
}

// Of `check`, the notes whose text LIKE the pattern `items` matches: the
// text is read only where the note's pair filter allows every neighbouring
// pair of the pattern's literal runs; over both cores when there are many.
// A plain text is looked for from startAt[slot] on (when given), and where it
// was found goes to firstAt[slot].
NoteIndex::Bits NoteIndex::confirm(const Bits &check, const std::vector<std::uint32_t> &items,
                                   const std::vector<std::uint32_t> *startAt,
                                   std::vector<std::uint32_t> *firstAt) const
{
    std::vector<std::uint32_t> candidateSlots;
    forEachBit(check, [&](std::uint32_t slot) { candidateSlots.push_back(slot); });
    bool plain = items.size() >= 3 && items.front() == kAnyRun && items.back() == kAnyRun;
    std::string literal;
    for (std::size_t i = 1; plain && i + 1 < items.size(); ++i) {
        plain = !isWild(items[i]);
        CharCodes::put(items[i], literal);
    }
    std::vector<std::size_t> pairs; // where a pair of literal items ends
    for (std::size_t i = 1; i < items.size(); ++i) {
        if (!isWild(items[i]) && !isWild(items[i - 1]))
            pairs.push_back(i);
    }
    const ByteFinder finder(literal);
    const WildMatcher wild(items);
    auto test = [&](std::uint32_t slot) {
        const Note &note = notes_[slot];
        const std::span<const std::uint64_t> filter = note.pairs();
        const auto seed = std::uint64_t(ids_[slot]);
        for (const std::size_t i : pairs) {
            if (!PairFilter::mayHold(filter, seed, items[i - 1], items[i]))
                return false;
        }
        const std::string_view text = note.text();
        const auto *t = reinterpret_cast<const unsigned char *>(text.data());
        if (plain) {
            const std::size_t from =
                startAt ? std::min<std::size_t>((*startAt)[slot], text.size()) : 0;
            const unsigned char *at = finder.find(t + from, text.size() - from);
            if (at && firstAt)
                (*firstAt)[slot] = std::uint32_t(at - t);
            return at != nullptr;
        }
        const std::size_t from[3] = {0, note.ends[0] + 1u, note.ends[1] + 1u};
        const std::size_t to[3] = {note.ends[0], note.ends[1], text.size()};
        for (int field = 0; field < 3; ++field) {
            if (!(note.nulls >> field & 1) && wild.match(t + from[field], to[field] - from[field]))
                return true;
        }
        return false;
    };
    std::vector<std::uint8_t> found(candidateSlots.size(), 0);
    // Both cores take the next run of notes until none is left, so that
    // neither waits for the other to finish a share of longer notes.
    std::atomic<std::size_t> next{0};
    auto run = [&](int) {
        for (;;) {
            const std::size_t from = next.fetch_add(kNotesPerRun);
            const std::size_t to = std::min(candidateSlots.size(), from + kNotesPerRun);
            if (from >= to)
                return;
            for (std::size_t i = from; i < to; ++i)
                found[i] = test(candidateSlots[i]) ? 1 : 0;
        }
    };
    if (pool_ && candidateSlots.size() >= kParallelNotes) {
        // Waiting for a share that no thread has taken yet runs it here.
        handOver();
        QFuture<void> other = QtConcurrent::run(pool_, [&run] {
            takeOver();
            run(1);
            handOver();
        });
        run(0);
        other.waitForFinished();
        takeOver();
    } else {
        run(0);
    }
    Bits hits(used_.size(), 0);
    for (std::size_t i = 0; i < candidateSlots.size(); ++i) {
        if (found[i])
            bits::set(hits, candidateSlots[i]);
    }
    return hits;
}

std::optional<std::vector<ListEntry>> NoteIndex::search(std::string_view utf8Text)
{
    const Pattern pattern = Pattern::compile(utf8Text, codes_);
    if (!pattern.supported)
        return std::nullopt;
    if (pattern.impossible)
        return std::vector<ListEntry>();
    if (pattern.isEmptyMatch()) {
        return inOrder(used_, [this](std::uint32_t slot) { return notes_[slot].nulls != 7; });
    }
    // "%%" matches what "%" does: the shorter form is the one remembered.
    std::vector<std::uint32_t> items = pattern.items;
    items.erase(
        std::unique(items.begin(), items.end(),
                    [](std::uint32_t a, std::uint32_t b) { return a == kAnyRun && b == kAnyRun; }),
        items.end());
    const bool wrapped = items.size() >= 2 && items.front() == kAnyRun && items.back() == kAnyRun;
    std::vector<std::uint32_t> inner;
    if (wrapped)
        inner.assign(items.begin() + 1, items.end() - 1);

    // A recent text inside this one bounds the candidates; a recent text
    // that holds this one gives matches that need no check.
    const Cached *within = nullptr;
    const Cached *known = nullptr;
    for (const Cached &cached : recent_) {
        if (!wrapped)
            break;
        if (cached.inner == inner)
            return inOrder(cached.hits);
        if (containsRun(inner, cached.inner) &&
            (!within || cached.inner.size() > within->inner.size()))
            within = &cached;
        if (containsRun(cached.inner, inner) &&
            (!known || cached.inner.size() < known->inner.size()))
            known = &cached;
    }
    Bits hits = candidates(items, within ? &within->hits : nullptr);
    std::vector<std::uint32_t> firstAt;
    // The sets are exact for one character and for two ASCII ones; anything
    // else is checked.
    const bool exact = wrapped && ((inner.size() == 1 && !isWild(inner[0])) ||
                                   (inner.size() == 2 && asciiPair(inner[0], inner[1]) >= 0));
    if (!exact) {
        Bits check = hits;
        if (known) {
            const std::size_t n = std::min(check.size(), known->hits.size());
            for (std::size_t w = 0; w < n; ++w)
                check[w] &= ~known->hits[w];
        }
        // A plain text that extends a recent plain one is first found where
        // that one was, or further on.
        const bool plain = wrapped && std::none_of(inner.begin(), inner.end(), isWild);
        const bool extends = plain && within && !within->firstAt.empty() &&
                             std::equal(within->inner.begin(), within->inner.end(), inner.begin());
        if (plain)
            firstAt.assign(slotCount(), 0);
        hits =
            confirm(check, items, extends ? &within->firstAt : nullptr, plain ? &firstAt : nullptr);
        if (known) {
            const std::size_t n = std::min(hits.size(), known->hits.size());
            for (std::size_t w = 0; w < n; ++w)
                hits[w] |= known->hits[w];
        }
    }
    if (wrapped) {
        recent_.push_front({std::move(inner), hits, std::move(firstAt)});
        if (recent_.size() > kRecent)
            recent_.pop_back();
    }
    return inOrder(hits);
}

} // namespace varnel::search
