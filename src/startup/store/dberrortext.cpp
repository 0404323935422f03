#include "store/dberrortext.h"

#include <QRegularExpression>

#include <cerrno>

#include <sqlcipher/sqlite3.h>

namespace varnel::db
{

namespace
{

bool isWrite(const QString &statement)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(insert|update|delete|replace|create|drop|alter)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    return re.match(statement).hasMatch();
}

struct Cause {
    DbError::Kind kind = DbError::Failed;
    QString text;
    bool fileUnusable = false; // the file itself is the trouble, not this one operation
    bool searchText = false;   // the search text was refused, not the file
};

Cause causeOf(int rc, int systemError, const QString &sqliteMessage, bool writing)
{
    // A write the file system refused for want of room comes as an I/O error.
    const bool noRoom = systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT;
    if ((rc & 0xff) == SQLITE_IOERR && noRoom)
        rc = SQLITE_FULL;
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
        return {DbError::NotADatabase,
                QStringLiteral("数据库密码不正确，或者文件已损坏、不是本软件的数据库。"), true};
    case SQLITE_CORRUPT:
        return {DbError::NotADatabase, QStringLiteral("文件已损坏，内容不完整或被改写。"), true};
    case SQLITE_CANTOPEN:
        if (writing) // the file is open: what cannot be made is the journal beside it
            return {DbError::Failed,
                    QStringLiteral("文件所在的文件夹不能写入：保存时要在那里建立一个临时文件。")};
        return {DbError::Missing, QStringLiteral("文件不存在或无法访问。"), true};
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return {DbError::Failed, QStringLiteral("文件是只读的，或者您没有写入它的权限。")};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {DbError::Failed,
                QStringLiteral("另一个程序正在使用这个文件，暂时锁住了它。请关闭那个程序或者"
                               "稍后再试。")};
    case SQLITE_FULL:
        return {DbError::Failed, QStringLiteral("磁盘已满，或者文件已达到允许的最大大小。")};
    case SQLITE_IOERR:
        return {DbError::Failed, QStringLiteral("读写文件时出错（磁盘或文件系统出了故障）。")};
    case SQLITE_NOMEM:
        return {DbError::Failed, QStringLiteral("内存不足。")};
    case SQLITE_TOOBIG:
        return {DbError::Failed, QStringLiteral("内容太大，超出了数据库允许的大小。")};
    case SQLITE_CONSTRAINT:
        return {DbError::Failed, QStringLiteral("要写入的内容与文件中已有的记录冲突。")};
    case SQLITE_INTERRUPT:
        return {DbError::Failed, QStringLiteral("操作被中断。")};
    default:
        break;
    }
    if (sqliteMessage.startsWith(QLatin1String("no such table")) ||
        sqliteMessage.startsWith(QLatin1String("no such column")) ||
        sqliteMessage.contains(QLatin1String("has no column")))
        return {DbError::NotADatabase,
                QStringLiteral("文件中缺少本软件需要的表或字段：文件已损坏，或者不是本软件的"
                               "数据库。"),
                true};
    // LIKE refuses a pattern longer than its limit (50,000 bytes).
    if (sqliteMessage.contains(QLatin1String("pattern too complex")))
        return {DbError::Failed,
                QStringLiteral("搜索内容太长（超过 50,000 字节，约 16,000 个汉字）。请缩短搜索内容"
                               "后再试。"),
                false, true};
    return {DbError::Failed, QStringLiteral("数据库无法完成这个操作。")};
}

QString keptText(const Cause &cause, bool writing, bool journalPlayed)
{
    if (cause.kind == DbError::Missing)
        return QStringLiteral("程序没有建立新的数据库文件。");
    if (cause.fileUnusable && journalPlayed)
        return QStringLiteral("打开它时，数据库按旁边遗留的日志文件（上次没有完成的保存留下的）"
                              "改写了其中的一部分：这个日志文件多半不属于现在的这个文件。");
    if (cause.fileUnusable)
        return QStringLiteral("程序没有改动这个文件。");
    return writing ? QStringLiteral("这次的改动没有写入，文件中已有的信息都没有变。")
                   : QStringLiteral("这次操作没有完成，文件中已有的信息都没有变。");
}

} // namespace

QString reasonFor(int rc)
{
    QString text = causeOf(rc, 0, {}, false).text;
    text.chop(1); // the full stop
    if (text == QStringLiteral("数据库无法完成这个操作"))
        text += QStringLiteral("（错误代码 %1）").arg(rc);
    return text;
}

namespace
{

DbError compose(int rc, int systemError, const QString &sqliteMessage, const QString &statement,
                const QString &file, bool journalPlayed)
{
    const bool writing = isWrite(statement);
    const Cause cause = causeOf(rc, systemError, sqliteMessage, writing);
    QString headline;
    if (cause.kind == DbError::Missing)
        headline = QStringLiteral("无法打开数据库文件：");
    else if (cause.searchText)
        headline = QStringLiteral("无法按这段文字搜索数据库文件：");
    else if (writing && !cause.fileUnusable)
        headline = QStringLiteral("无法写入数据库文件：");
    else
        headline = QStringLiteral("无法读取数据库文件：");
    return DbError(cause.kind, rc,
                   QStringLiteral("%1\n%2\n\n原因：%3\n%4\n\n（%5）")
                       .arg(headline, file, cause.text, keptText(cause, writing, journalPlayed),
                            sqliteMessage));
}

} // namespace

DbError errorFor(sqlite3 *db, int rc, const QString &statement, const QString &file,
                 bool journalPlayed)
{
    const QString sqliteMessage = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return compose(rc, db ? sqlite3_system_errno(db) : 0, sqliteMessage, statement, file,
                   journalPlayed);
}

DbError errorFor(int rc, const QString &sqliteMessage, const QString &statement,
                 const QString &file)
{
    return compose(rc, 0,
                   sqliteMessage.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : sqliteMessage,
                   statement, file, false);
}

} // namespace varnel::db
