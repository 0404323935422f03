#include "notefingerprints.h"

#include "database.h"
#include "dbengine.h"
#include "likematch.h"

#include <QStringList>

namespace varnel
{

namespace
{

constexpr std::uint32_t kBits = 4096;
const char kNotesTable[] = "企业日记";

inline void setBit(NoteFingerprints::Bits &bits, std::uint32_t hash)
{
    const std::uint32_t bit = hash % kBits;
    bits[bit / 64] |= std::uint64_t(1) << (bit % 64);
}

inline std::uint32_t mix(std::uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

// Next UTF-8 character of s at i as a number (its bytes), advancing i.
std::uint32_t nextChar(std::string_view s, std::size_t &i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    n = std::min(n, s.size() - i);
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < n; ++k)
        value = (value << 8) | static_cast<unsigned char>(s[i + k]);
    i += n;
    return value;
}

void addGrams(std::string_view lower, NoteFingerprints::Bits &bits)
{
    std::uint32_t previous = 0;
    bool havePrevious = false;
    for (std::size_t i = 0; i < lower.size();) {
        const std::uint32_t ch = nextChar(lower, i);
        setBit(bits, mix(ch));
        if (havePrevious)
            setBit(bits, mix(previous * 0x9E3779B1U ^ (ch + 0x632BE5ABU)));
        previous = ch;
        havePrevious = true;
    }
}

void addText(const QString &text, NoteFingerprints::Bits &bits)
{
    const QByteArray utf8 = text.toUtf8();
    std::string lower;
    db::asciiLower(std::string_view(utf8.constData(), std::size_t(utf8.size())), lower);
    addGrams(lower, bits);
}

} // namespace

NoteFingerprints &NoteFingerprints::instance()
{
    static NoteFingerprints fingerprints;
    return fingerprints;
}

NoteFingerprints::Bits NoteFingerprints::gramsOf(std::string_view lowerUtf8)
{
    Bits bits{};
    addGrams(lowerUtf8, bits);
    return bits;
}

NoteFingerprints::Bits NoteFingerprints::termMask(const QString &term)
{
    // Characters either side of a wildcard are not neighbours in the note.
    Bits mask{};
    QString fragment;
    for (const QChar c : term) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_')) {
            addText(fragment, mask);
            fragment.clear();
        } else {
            fragment.append(c);
        }
    }
    addText(fragment, mask);
    return mask;
}

void NoteFingerprints::attach(sqlite3 *db)
{
    detach();
    db_ = db;
    sqlite3_update_hook(db_, &NoteFingerprints::onChange, this);
}

void NoteFingerprints::detach()
{
    if (db_)
        sqlite3_update_hook(db_, nullptr, nullptr);
    db_ = nullptr;
    built_ = false;
    dataVersion_ = -1;
    ids_.clear();
    bits_.clear();
    slot_.clear();
    dirty_.clear();
}

void NoteFingerprints::onChange(void *self, int op, const char *, const char *table,
                                long long rowid)
{
    auto *me = static_cast<NoteFingerprints *>(self);
    if (!me->built_ || std::string_view(table) != kNotesTable)
        return;
    if (op == SQLITE_DELETE) {
        me->dirty_.erase(rowid);
        me->erase(rowid);
    } else {
        me->dirty_.insert(rowid);
    }
}

bool NoteFingerprints::externalChange()
{
    db::Statement stmt(db_, QStringLiteral("PRAGMA data_version"));
    const long long version = stmt.step() ? stmt.value(0).toLongLong() : -1;
    const bool changed = dataVersion_ != -1 && version != dataVersion_;
    dataVersion_ = version;
    return changed;
}

void NoteFingerprints::store(long long bookid, const Bits &bits)
{
    const auto found = slot_.find(bookid);
    if (found != slot_.end()) {
        bits_[found->second] = bits;
        return;
    }
    slot_.emplace(bookid, ids_.size());
    ids_.push_back(bookid);
    bits_.push_back(bits);
}

void NoteFingerprints::erase(long long bookid)
{
    const auto found = slot_.find(bookid);
    if (found == slot_.end())
        return;
    ids_[found->second] = 0;
    slot_.erase(found);
}

namespace
{
const QString kRowSql = QStringLiteral("select bookid, 标题, 内容, vl_time(时间) from 企业日记");

NoteFingerprints::Bits rowBits(const db::Statement &stmt)
{
    NoteFingerprints::Bits bits{};
    for (int column = 1; column <= 3; ++column) {
        const QVariant value = stmt.value(column);
        if (!value.isNull())
            addText(value.toString(), bits);
    }
    return bits;
}
} // namespace

void NoteFingerprints::rebuild()
{
    sqlite3 *db = db_;
    detach();
    attach(db);
    db::Statement stmt(db_, kRowSql);
    while (stmt.step())
        store(stmt.value(0).toLongLong(), rowBits(stmt));
    built_ = true;
    externalChange();
}

void NoteFingerprints::refreshDirty()
{
    if (dirty_.empty())
        return;
    QStringList ids;
    for (long long id : dirty_)
        ids.append(QString::number(id));
    dirty_.clear();
    db::Statement stmt(db_, kRowSql + QStringLiteral(" where bookid in (") +
                                ids.join(QLatin1Char(',')) + QLatin1Char(')'));
    while (stmt.step())
        store(stmt.value(0).toLongLong(), rowBits(stmt));
}

QString NoteFingerprints::candidateCondition(const QString &term)
{
    const Bits mask = termMask(term);
    if (!db_ || mask == Bits{})
        return QString();
    if (!built_ || externalChange())
        rebuild();
    refreshDirty();
    QString ids;
    ids.reserve(int(ids_.size()) * 4);
    std::size_t count = 0, live = 0;
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        if (ids_[i] == 0)
            continue;
        ++live;
        const Bits &bits = bits_[i];
        bool all = true;
        for (std::size_t w = 0; w < mask.size() && all; ++w)
            all = (bits[w] & mask[w]) == mask[w];
        if (!all)
            continue;
        if (count++)
            ids.append(QLatin1Char(','));
        ids.append(QString::number(ids_[i]));
    }
    // Past about half of the notes a plain scan reads no more pages.
    if (count * 2 > live)
        return QString();
    return QStringLiteral("bookid in (") + ids + QLatin1Char(')');
}

} // namespace varnel
