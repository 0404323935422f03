#include "listsql.h"

#include <QRegularExpression>

namespace varnel
{

namespace
{
const QString kOrder = QStringLiteral(" ORDER by 处理 asc,bookid desc");
}

QString ListSql::withColumns(const QString &columns) const
{
    static const QRegularExpression star(QStringLiteral(R"(^\s*select\s+\*)"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString out = text;
    return out.replace(star, QStringLiteral("select ") + columns);
}

ListSql ListSql::allNotes()
{
    return {QStringLiteral("select * from 企业日记") + kOrder, {}};
}

ListSql ListSql::pendingNotes()
{
    return {QStringLiteral("select * from 企业日记 where 处理=0") + kOrder, {}};
}

ListSql ListSql::categoryNotes(qint64 category)
{
    return {QStringLiteral("select * from 企业日记 where 分类=?1") + kOrder, {category}};
}

ListSql ListSql::search(const QString &text)
{
    return search(text, QString());
}

ListSql ListSql::search(const QString &text, const QString &candidates)
{
    // The text is a bound value: quotes and backslashes are plain characters,
    // while % and _ keep working as wildcards inside it.
    const QString matches = QStringLiteral("标题 like '%'||?1||'%' or 内容 like '%'||?1||'%' or "
                                           "vl_time(时间) like '%'||?1||'%'   ");
    const QString where =
        candidates.isEmpty() ? matches : candidates + QStringLiteral(" and (") + matches + u')';
    return {QStringLiteral("select * from 企业日记 where ") + where + kOrder, {text}, text};
}

ListSql ListSql::countOf(qint64 category)
{
    if (category != 0)
        return {QStringLiteral("select * from 企业日记 where 分类=?1"), {category}};
    return {QStringLiteral("select * from 企业日记 "), {}};
}

} // namespace varnel
