#include "store/search/notefilter.h"

namespace varnel::search
{

QString NoteFilter::select(const QString &columns, bool ordered) const
{
    QString sql = QStringLiteral("select ") + columns + QStringLiteral(" from 企业日记");
    switch (kind) {
    case Pending:
        sql += QStringLiteral(" where 处理=0");
        break;
    case Category:
        sql += QStringLiteral(" where 分类=?1");
        break;
    case Text:
        // The text is a bound value: quotes and backslashes are plain
        // characters, while % and _ keep working as wildcards inside it.
        sql += QStringLiteral(" where 标题 like '%'||?1||'%' or 内容 like '%'||?1||'%' or "
                              "vl_time(时间) like '%'||?1||'%'   ");
        break;
    case All:
        if (!ordered)
            sql += QLatin1Char(' ');
        break;
    }
    if (ordered)
        sql += QStringLiteral(" ORDER by 处理 asc,bookid desc");
    return sql;
}

QVariantList NoteFilter::params() const
{
    if (kind == Category)
        return {qlonglong(category)};
    if (kind == Text)
        return {text};
    return {};
}

} // namespace varnel::search
