#include "listsql.h"

#include <QRegularExpression>

namespace varnel
{

namespace
{
ListSql listOf(const search::NoteFilter &filter)
{
    return {filter.sql(), filter.params(), filter};
}
} // namespace

QString ListSql::withColumns(const QString &columns) const
{
    static const QRegularExpression star(QStringLiteral(R"(^\s*select\s+\*)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    return out.replace(star, QStringLiteral("select ") + columns);
}

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
    if (category != 0)
        return {QStringLiteral("select * from 企业日记 where 分类=?1"),
                {category},
                search::NoteFilter::inCategory(category)};
    return {QStringLiteral("select * from 企业日记 "), {}, search::NoteFilter::all()};
}

} // namespace varnel
