#pragma once

#include <QString>
#include <QVariantList>

namespace varnel
{

// One statement of the note list with its bound values. The text is always a
// "select * from 企业日记 ..." statement; the list and the counter run it with
// the columns they need in place of the star.
struct ListSql {
    QString text;
    QVariantList params;
    QString searchText = {}; // set on a search: lets the data layer narrow it first

    // The same statement selecting `columns` instead of every column.
    QString withColumns(const QString &columns) const;

    bool operator==(const ListSql &other) const = default;

    // The statements of the window.
    static ListSql allNotes();                     // pending first, newest first
    static ListSql pendingNotes();                 // 处理 = 0 only
    static ListSql categoryNotes(qint64 category); // one category, in list order
    static ListSql search(const QString &text);    // title, content or shown time contain text
    // The same search limited to the notes of `candidates`, a condition that
    // keeps every note that can match (empty: no limit).
    static ListSql search(const QString &text, const QString &candidates);
    static ListSql countOf(qint64 category); // every note, or one category's (category != 0)
};

} // namespace varnel
