#include "listsql.h"

namespace varnel
{

namespace
{
ListSql listOf(const search::NoteFilter &filter)
{
    return {filter.sql(), filter.params(), filter};
}
} // namespace

ListSql ListSql::allNotes()
{
    return listOf(search::NoteFilter::all());
}

ListSql ListSql::pendingNotes()
{
    return listOf(search::NoteFilter::pending());
}

ListSql ListSql::categoryNotes(qint64 category)
{
    return listOf(search::NoteFilter::inCategory(category));
}

ListSql ListSql::search(const QString &text)
{
    return listOf(search::NoteFilter::matching(text));
}

ListSql ListSql::countOf(qint64 category)
{
    const search::NoteFilter filter =
        category != 0 ? search::NoteFilter::inCategory(category) : search::NoteFilter::all();
    return {filter.select(QStringLiteral("*"), false), filter.params(), filter};
}

} // namespace varnel
