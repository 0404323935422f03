#include "store/database.h"

#include "store/dbengine.h"
#include "store/search/showntime.h"

#include <QRegularExpression>

namespace varnel
{

std::unique_ptr<Connection> DbConn;
std::unique_ptr<Recordset> DbRs;

DbError::DbError(Kind kind, int sqliteCode, const QString &userText)
    : std::runtime_error(userText.toStdString()), kind_(kind), code_(sqliteCode),
      userText_(userText)
{
}

// ---------------------------------------------------------------- Connection

Connection::Connection() : alive_(std::make_shared<bool>(true)), db_(db::shared()) {}

Connection::~Connection()
{
    Close();
}

void Connection::Execute(const QString &sql, const QVariantList &params)
{
    db::Statement stmt(handle(), sql, params);
    while (stmt.step()) {
    }
}

namespace
{
class StatementRow : public DbRow
{
  public:
    explicit StatementRow(const db::Statement &stmt) : stmt_(stmt) {}
    qint64 Integer(int column) const override { return stmt_.integer(column); }
    QString Text(int column) const override { return stmt_.text(column); }
    QByteArrayView Utf8(int column) const override { return stmt_.utf8(column); }
    bool IsNull(int column) const override { return stmt_.isNull(column); }

  private:
    const db::Statement &stmt_;
};
} // namespace

void Connection::ForEachRow(const QString &sql, const QVariantList &params,
                            const std::function<void(const DbRow &)> &onRow)
{
    db::Statement stmt(handle(), sql, params);
    const StatementRow row(stmt);
    while (stmt.step())
        onRow(row);
}

void Connection::Close()
{
    if (alive_)
        *alive_ = false;
    db_ = nullptr;
}

bool Connection::IsOpen() const
{
    return db_ != nullptr;
}

sqlite3 *Connection::handle() const
{
    if (!db_)
        throw DbError(DbError::Failed, 0, QStringLiteral("数据库连接已经关闭。"));
    return db_;
}

void OpenDb()
{
    DbConn.reset();
    DbRs = std::make_unique<Recordset>();
    DbConn = std::make_unique<Connection>();
}

void CloseDb()
{
    if (DbConn)
        DbConn->Close();
    DbConn.reset();
}

void ShutdownDb()
{
    DbRs.reset();
    DbConn.reset();
    db::closeShared();
}

// ----------------------------------------------------------------- Recordset

namespace
{

// "select * from <table> ..." names the one table a writable recordset changes.
QString tableOf(const QString &sql)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*select\s+\*\s+from\s+([^\s;]+))"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto match = re.match(sql);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString withRowid(const QString &sql)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*select\s+\*)"),
                                       QRegularExpression::CaseInsensitiveOption);
    QString out = sql;
    return out.replace(re, QStringLiteral("select rowid, *"));
}

QString quoted(const QString &identifier)
{
    QString inner = identifier;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

[[noreturn]] void misuse(const QString &what)
{
    throw DbError(DbError::Failed, 0, QStringLiteral("数据记录操作无效：%1").arg(what));
}

} // namespace

void Recordset::Open(const QString &sql, Connection &conn, RsMode mode, const QVariantList &params)
{
    Close();
    sqlite3 *db = conn.handle();
    const bool writable = mode == RsMode::Write;
    table_ = tableOf(sql);
    if (writable && table_.isEmpty())
        misuse(QStringLiteral("只能在 select * from 语句上修改记录"));
    db::Statement stmt(db, writable ? withRowid(sql) : sql, params);
    const int first = writable ? 1 : 0;
    for (int i = first; i < stmt.columnCount(); ++i)
        columns_.append(stmt.columnName(i));
    while (stmt.step()) {
        Row row;
        row.rowid = writable ? stmt.value(0).toLongLong() : 0;
        row.values.reserve(columns_.size());
        for (int i = first; i < stmt.columnCount(); ++i)
            row.values.append(stmt.value(i));
        rows_.push_back(std::move(row));
    }
    db_ = db;
    alive_ = conn.alive_;
    mode_ = mode;
    open_ = true;
}

void Recordset::Close()
{
    open_ = false;
    db_ = nullptr;
    table_.clear();
    columns_.clear();
    rows_.clear();
    pos_ = 0;
    adding_ = false;
    pending_.clear();
    dirty_.clear();
}

bool Recordset::IsOpen() const
{
    const auto alive = alive_.lock();
    return open_ && alive && *alive;
}

void Recordset::requireOpen() const
{
    if (!IsOpen())
        misuse(QStringLiteral("记录集没有打开"));
}

void Recordset::requireWritable() const
{
    requireOpen();
    if (mode_ != RsMode::Write)
        misuse(QStringLiteral("记录集是只读的"));
}

bool Recordset::Eof() const
{
    return pos_ >= rows_.size();
}

void Recordset::MoveNext()
{
    if (!Eof())
        ++pos_;
}

void Recordset::MoveFirst()
{
    pos_ = 0;
}

int Recordset::RecordCount() const
{
    return int(rows_.size());
}

int Recordset::FieldCount() const
{
    return int(columns_.size());
}

QString Recordset::FieldName(int position) const
{
    return columns_.value(position);
}

int Recordset::column(const QString &name) const
{
    for (int i = 0; i < columns_.size(); ++i) {
        if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    misuse(QStringLiteral("没有字段 %1").arg(name));
}

const Recordset::Row &Recordset::current() const
{
    if (Eof())
        misuse(QStringLiteral("没有当前记录"));
    return rows_[pos_];
}

QVariant Recordset::Field(const QString &name) const
{
    const int i = column(name);
    if (adding_ || !dirty_.empty()) {
        if (std::size_t(i) < dirty_.size() && dirty_[std::size_t(i)])
            return pending_.at(i);
    }
    return current().values.at(i);
}

QVariant Recordset::Field(int position) const
{
    if (position < 0 || position >= columns_.size())
        misuse(QStringLiteral("没有第 %1 个字段").arg(position));
    return current().values.at(position);
}

void Recordset::SetField(const QString &name, const QVariant &value)
{
    requireWritable();
    const int i = column(name);
    if (!adding_ && dirty_.empty()) {
        current();
        pending_ = QVariantList(columns_.size());
        dirty_.assign(columns_.size(), false);
    }
    pending_[i] = value;
    dirty_[i] = true;
}

void Recordset::AddNew()
{
    requireWritable();
    adding_ = true;
    pending_ = QVariantList(columns_.size());
    dirty_.assign(columns_.size(), false);
}

void Recordset::Update()
{
    requireWritable();
    if (adding_)
        insertPending();
    else if (!dirty_.empty())
        updatePending();
    adding_ = false;
    pending_.clear();
    dirty_.clear();
}

void Recordset::insertPending()
{
    QStringList names;
    QStringList marks;
    QVariantList values;
    for (int i = 0; i < columns_.size(); ++i) {
        if (!dirty_[i])
            continue;
        names.append(quoted(columns_.at(i)));
        marks.append(QStringLiteral("?"));
        values.append(pending_.at(i));
    }
    const QString sql =
        names.isEmpty()
            ? QStringLiteral("insert into %1 default values").arg(quoted(table_))
            : QStringLiteral("insert into %1 (%2) values (%3)")
                  .arg(quoted(table_), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    db::Statement(db_, sql, values).step();
    rows_.push_back(fetchRow(sqlite3_last_insert_rowid(db_)));
    pos_ = rows_.size() - 1;
}

void Recordset::updatePending()
{
    Row &row = rows_.at(pos_);
    QStringList sets;
    QVariantList values;
    for (int i = 0; i < columns_.size(); ++i) {
        if (!dirty_[i])
            continue;
        sets.append(quoted(columns_.at(i)) + QStringLiteral("=?"));
        values.append(pending_.at(i));
    }
    values.append(row.rowid);
    db::Statement(db_,
                  QStringLiteral("update %1 set %2 where rowid=?")
                      .arg(quoted(table_), sets.join(QLatin1Char(','))),
                  values)
        .step();
    row = fetchRow(row.rowid);
}

Recordset::Row Recordset::fetchRow(qint64 rowid)
{
    db::Statement stmt(db_, QStringLiteral("select * from %1 where rowid=?").arg(quoted(table_)),
                       {rowid});
    Row row;
    row.rowid = rowid;
    if (stmt.step()) {
        for (int i = 0; i < stmt.columnCount(); ++i)
            row.values.append(stmt.value(i));
    }
    return row;
}

void Recordset::Delete()
{
    requireWritable();
    const Row &row = current();
    db::Statement(db_, QStringLiteral("delete from %1 where rowid=?").arg(quoted(table_)),
                  {row.rowid})
        .step();
    rows_.erase(rows_.begin() + std::ptrdiff_t(pos_));
}

QString shownTime(const QString &stored)
{
    const QByteArray bytes = stored.toUtf8();
    std::string buffer;
    const std::string_view shown =
        search::shownTimeBytes({bytes.constData(), std::size_t(bytes.size())}, buffer);
    return QString::fromUtf8(shown.data(), qsizetype(shown.size()));
}

} // namespace varnel
