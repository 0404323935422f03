#pragma once

#include "store/search/notefilter.h"

#include <QString>
#include <QVariantList>

namespace varnel
{

// One statement of the note list with its bound values. The text is always a
// "select * from 企业日记 ..." statement; `filter` says which notes it lists,
// so that the data layer's search engine can answer it from memory.
struct ListSql {
    QString text;
    QVariantList params;
    search::NoteFilter filter = {};

    bool operator==(const ListSql &other) const = default;

    // The statements of the window.
    static ListSql allNotes();                     // pending first, newest first
    static ListSql pendingNotes();                 // 处理 = 0 only
    static ListSql categoryNotes(qint64 category); // one category, in list order
    static ListSql search(const QString &text);    // title, content or shown time contain text
    static ListSql countOf(qint64 category);       // every note, or one category's (category != 0)
};

} // namespace varnel
