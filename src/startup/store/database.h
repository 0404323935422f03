#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;

// The notebook's data layer. Every data operation follows one pattern:
//
//     OpenDb();
//     DbRs->Open(statement, *DbConn, RsMode::Read or RsMode::Write, {bound values});
//     ... read, walk, AddNew/SetField/Update, Delete ...
//     CloseDb();
//
// DbConn and DbRs are replaced by every OpenDb, so each operation starts from a
// clean recordset. Underneath, one keyed SQLite handle lives for the whole
// process, so neither the key derivation nor a cold page cache is paid per
// operation. Values from the user only ever reach SQL as bound parameters.
namespace varnel
{

// A failed data operation. what() is a technical text; userText() is the
// message shown to the user, in Chinese, naming the file and the cause.
class DbError : public std::runtime_error
{
  public:
    enum Kind { Missing, NotADatabase, Failed };
    DbError(Kind kind, int sqliteCode, const QString &userText);
    Kind kind() const { return kind_; }
    int sqliteCode() const { return code_; }
    QString userText() const { return userText_; }

  private:
    Kind kind_;
    int code_;
    QString userText_;
};

enum class RsMode {
    Read,  // a read-only snapshot of the result
    Write, // rows may be added, changed and deleted through the recordset
};

// One row of a forward-only read (Connection::ForEachRow). Valid only inside
// the callback that receives it.
class DbRow
{
  public:
    virtual ~DbRow() = default;
    virtual qint64 Integer(int column) const = 0;
    virtual QString Text(int column) const = 0;
    // The column's text as SQLite holds it (UTF-8), without a copy.
    virtual QByteArrayView Utf8(int column) const = 0;
    virtual bool IsNull(int column) const = 0;
};

class Connection
{
  public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Runs a statement that returns no rows; done and on disk when it returns.
    void Execute(const QString &sql, const QVariantList &params = {});
    // Reads a large result row by row, without holding it: for lists of
    // thousands of rows where a recordset would copy every value.
    void ForEachRow(const QString &sql, const QVariantList &params,
                    const std::function<void(const DbRow &)> &onRow);
    void Close();
    bool IsOpen() const;
    sqlite3 *handle() const; // throws when closed

  private:
    friend class Recordset;
    std::shared_ptr<bool> alive_;
    sqlite3 *db_;
};

// A client-side recordset: Open reads the whole result into memory.
class Recordset
{
  public:
    void Open(const QString &sql, Connection &conn, RsMode mode, const QVariantList &params = {});
    void Close();
    bool IsOpen() const;

    bool Eof() const;
    void MoveNext();
    void MoveFirst();
    int RecordCount() const;

    int FieldCount() const;
    QString FieldName(int position) const;
    QVariant Field(const QString &name) const;
    QVariant Field(int position) const;

    // Changes go to the current row (or the row being added) and reach the
    // database at Update.
    void SetField(const QString &name, const QVariant &value);
    void AddNew();
    void Update();
    void Delete();

  private:
    struct Row {
        qint64 rowid = 0;
        QVariantList values;
    };
    int column(const QString &name) const;
    const Row &current() const;
    void requireOpen() const;
    void requireWritable() const;
    void insertPending();
    void updatePending();
    Row fetchRow(qint64 rowid);

    std::weak_ptr<bool> alive_;
    sqlite3 *db_ = nullptr;
    RsMode mode_ = RsMode::Read;
    bool open_ = false;
    QString table_;
    QStringList columns_;
    std::vector<Row> rows_;
    std::size_t pos_ = 0;
    bool adding_ = false;
    QVariantList pending_;
    std::vector<bool> dirty_;
};

extern std::unique_ptr<Connection> DbConn;
extern std::unique_ptr<Recordset> DbRs;

void OpenDb();  // a new DbConn and a new DbRs; throws DbError
void CloseDb(); // closes and releases DbConn (and so its recordset)

// Drops the process-wide handle, e.g. before the program folder changes or at exit.
void ShutdownDb();

// A stored time as the list, the editor, the search and the export show it
// ("2008-08-08 09:05:00" as "2008-8-8 9:05:00"); see search::shownTimeBytes.
QString shownTime(const QString &stored);

} // namespace varnel
