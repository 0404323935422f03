#include "notestore.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

#include "store/database.h"
#include "store/datalayer.h"
#include "store/search/notesearch.h"

namespace varnel
{

namespace
{

// Opens the data layer for one operation and closes it however the operation ends.
class Session
{
  public:
    Session() { OpenDb(); }
    ~Session() { CloseDb(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
};

[[noreturn]] void noteGone()
{
    throw DbError(DbError::Failed, 0,
                  QStringLiteral("找不到这条记录，它可能已经被删除。请在列表中重新选择。"));
}

// A note id from the hidden id box; a text that is no number matches nothing.
QVariant idValue(const QString &bookid)
{
    bool ok = false;
    const qint64 id = bookid.trimmed().toLongLong(&ok);
    return ok ? QVariant(id) : QVariant(bookid);
}

void openNoteForWriting(const QString &bookid)
{
    DbRs->Open(QStringLiteral("select * from 企业日记 where bookid=?1"), *DbConn, RsMode::Write,
               {idValue(bookid)});
    if (DbRs->Eof())
        noteGone();
}

} // namespace

qint64 numericValue(const QString &text)
{
    const QString t = text.trimmed();
    int end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('-') || t[end] == QLatin1Char('+')))
        ++end;
    while (end < t.size() && t[end].isDigit() && t[end].unicode() < 128)
        ++end;
    return t.left(end).toLongLong();
}

namespace notestore
{

std::vector<ListEntry> listRows(const ListSql &sql)
{
    Session session;
    return search::listNotes(*DbConn, sql.filter);
}

std::optional<std::vector<ListEntry>> rowsIfReady(const ListSql &sql, QString &path)
{
    Session session;
    search::NoteSearch &engine = DataLayer::current().search();
    auto rows = engine.list(sql.filter);
    if (!rows)
        path = engine.path();
    return rows;
}

std::vector<NoteRow> details(const ListEntry *entries, std::size_t count)
{
    std::vector<NoteRow> rows(count);
    if (count == 0)
        return rows;
    QHash<qint64, std::size_t> where;
    QStringList ids;
    for (std::size_t i = 0; i < count; ++i) {
        rows[i].bookid = entries[i].bookid;
        rows[i].done = entries[i].done;
        where.insert(rows[i].bookid, i);
        ids.append(QString::number(rows[i].bookid)); // our own numbers, never user text
    }
    Session session;
    DbConn->ForEachRow(QStringLiteral("select bookid,标题,时间 from 企业日记 where bookid in (") +
                           ids.join(QLatin1Char(',')) + QLatin1Char(')'),
                       {}, [&](const DbRow &row) {
                           NoteRow &note = rows[where.value(row.Integer(0))];
                           note.title = row.Text(1);
                           note.time = row.Text(2);
                       });
    return rows;
}

qint64 count(const ListSql &sql)
{
    Session session;
    return search::countNotes(*DbConn, sql.filter);
}

QString body(qint64 bookid)
{
    Session session;
    DbRs->Open(QStringLiteral("select 内容 from 企业日记 where bookid=?1"), *DbConn, RsMode::Read,
               {bookid});
    return DbRs->Eof() ? QString() : DbRs->Field(0).toString();
}

void addNote(const QString &title, const QString &body, qint64 category)
{
    Session session;
    // No rows are needed to add one; reading the table first would cost a full scan.
    DbRs->Open(QStringLiteral("select * from 企业日记 where 1=0"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), title);
    DbRs->SetField(QStringLiteral("内容"), body);
    DbRs->SetField(QStringLiteral("分类"), category);
    DbRs->Update();
}

void changeNote(const QString &bookid, const QString &title, const QString &body, qint64 category)
{
    Session session;
    openNoteForWriting(bookid);
    DbRs->SetField(QStringLiteral("标题"), title);
    DbRs->SetField(QStringLiteral("内容"), body);
    DbRs->SetField(QStringLiteral("分类"), category);
    DbRs->Update();
}

void finishNote(const QString &bookid)
{
    Session session;
    openNoteForWriting(bookid);
    DbRs->SetField(QStringLiteral("处理"), 1);
    DbRs->Update();
}

void deleteNote(const QString &bookid)
{
    Session session;
    DbConn->Execute(QStringLiteral("delete from 企业日记 where bookid=?1"), {idValue(bookid)});
}

void addCategory(const QString &name)
{
    Session session;
    DbRs->Open(QStringLiteral("select * from 分类 where 1=0"), *DbConn, RsMode::Write);
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("bh"), 0);
    DbRs->SetField(QStringLiteral("mc"), name);
    DbRs->Update();
}

void renameCategory(qint64 id, const QString &name)
{
    Session session;
    DbRs->Open(QStringLiteral("select * from 分类 where id=?1"), *DbConn, RsMode::Write, {id});
    if (DbRs->Eof()) {
        throw DbError(DbError::Failed, 0,
                      QStringLiteral("找不到这个分类，它可能已经被删除。分类已重新载入。"));
    }
    DbRs->SetField(QStringLiteral("bh"), 0);
    DbRs->SetField(QStringLiteral("mc"), name);
    DbRs->Update();
}

void deleteCategory(qint64 id)
{
    Session session;
    DbRs->Open(QStringLiteral("select * from 分类  where id=?1"), *DbConn, RsMode::Write, {id});
    if (!DbRs->Eof())
        DbRs->Delete();
}

QString skinNumber()
{
    Session session;
    DbRs->Open(QStringLiteral("select * from 系统用户表 where czy='admin'"), *DbConn, RsMode::Read);
    return DbRs->Eof() ? QString() : DbRs->Field(QStringLiteral("skin")).toString();
}

void setSkinNumber(int n)
{
    Session session;
    DbRs->Open(QStringLiteral("select * from 系统用户表 where czy='admin'"), *DbConn,
               RsMode::Write);
    if (DbRs->Eof())
        throw DbError(DbError::Failed, 0, QStringLiteral("找不到设置记录，皮肤没有保存。"));
    DbRs->SetField(QStringLiteral("skin"), n);
    DbRs->Update();
}

} // namespace notestore
} // namespace varnel
