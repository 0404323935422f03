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

    // "select * from 企业日记 ... ORDER by 处理 asc,bookid desc" and its bound values.
    QString sql() const;
    QVariantList params() const;

    bool operator==(const NoteFilter &) const = default;
};

} // namespace varnel::search
