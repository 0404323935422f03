#pragma once

#include <QString>
#include <QVariantList>

#include <cstdint>

namespace varnel::search
{

// Which notes a list of the notes window shows, always in list order
// (处理 ascending, bookid descending). sql() is the statement that SQLite
// answers it with; the in-memory index gives the same rows.
struct NoteFilter {
    enum Kind { All, Pending, Category, Text };
    Kind kind = All;
    std::int64_t category = 0; // Category
    QString text;              // Text: title, body or shown time LIKE '%' || text || '%'

    static NoteFilter all() { return {}; }
    static NoteFilter pending() { return {Pending, 0, {}}; }
    static NoteFilter inCategory(std::int64_t category) { return {Category, category, {}}; }
    static NoteFilter matching(const QString &text) { return {Text, 0, text}; }

    // "select <columns> from 企业日记 where ..." for these notes, in list order
    // ("ORDER by 处理 asc,bookid desc") when `ordered`; the bound values are params().
    QString select(const QString &columns, bool ordered = true) const;
    // Every column, in list order.
    QString sql() const { return select(QStringLiteral("*")); }
    QVariantList params() const;

    bool operator==(const NoteFilter &) const = default;
};

} // namespace varnel::search
