#include "store/search/notefilter.h"

namespace varnel::search
{

QString NoteFilter::sql() const
{
    static const QString order = QStringLiteral(" ORDER by 处理 asc,bookid desc");
    switch (kind) {
    case Pending:
        return QStringLiteral("select * from 企业日记 where 处理=0") + order;
    case Category:
        return QStringLiteral("select * from 企业日记 where 分类=?1") + order;
    case Text:
        // The text is a bound value: quotes and backslashes are plain
        // characters, while % and _ keep working as wildcards inside it.
        return QStringLiteral("select * from 企业日记 where 标题 like '%'||?1||'%' or 内容 like "
                              "'%'||?1||'%' or vl_time(时间) like '%'||?1||'%'   ") +
               order;
    case All:
        break;
    }
    return QStringLiteral("select * from 企业日记") + order;
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
