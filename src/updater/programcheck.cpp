#include "programcheck.h"

#include "programformat.h"

namespace programcheck
{

namespace
{
// An HTML or XML page, as a captive portal or an error page of a proxy
// sends instead of the file.
bool looksLikePage(const QByteArray &head)
{
    QByteArray start = head.trimmed();
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.mid(3).trimmed();
    return start.startsWith('<');
}
} // namespace

QString problem(QIODevice &body)
{
    const qint64 size = body.size();
    if (size == 0)
        return QStringLiteral("服务器发来的文件是空的");
    if (!body.seek(0))
        return QStringLiteral("无法读取下载的文件");
    const QByteArray head = body.read(programformat::kHeadBytes);
    if (looksLikePage(head))
        return QStringLiteral("服务器发来的是一个网页，不是Varnelpad程序"
                              "（可能是网络的登录页面）");
    if (size < kSmallestProgram)
        return QStringLiteral("服务器发来的文件只有 %1 字节，不可能是Varnelpad程序").arg(size);
    return programformat::headProblem(head);
}

} // namespace programcheck
