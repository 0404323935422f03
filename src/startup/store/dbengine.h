#pragma once

#include <QString>
#include <QVariant>

#include <memory>

#include <vector>

#include <sqlcipher/sqlite3.h>

#include <sys/types.h>

// The process-wide keyed SQLite handle behind OpenDb and the helpers the data
// layer builds on. Only the data layer and the provisioning tool include this.
namespace varnel::db
{

// Which file a path names (device and inode): the shared handle notices a
// file replaced or deleted under a running program.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId &) const = default;
};
FileId fileAt(const QString &path);

// How long a statement waits for another program's lock on the file: short,
// so that the window stays responsive while someone else holds it.
constexpr int kBusyWaitMs = 250;

// The program's own reading threads (the search index's build, a search while
// it is not ready) hold the file for short reads only. A handle of
// openKeyed() that finds the file locked asks them to let go at once
// (writerWaiting() turns true for a moment) and, while one of them is inside
// a read it cannot leave (the key check at its open), waits longer for it
// than for another program.
bool writerWaiting();
class OwnRead
{
  public:
    OwnRead();
    ~OwnRead();
    OwnRead(const OwnRead &) = delete;
    OwnRead &operator=(const OwnRead &) = delete;
};

// Opens the database file with the notebook's key and page size. With create
// false a missing file is an error. Throws DbError.
sqlite3 *openKeyed(const QString &path, bool create);
// The two halves of openKeyed, for a caller that must be able to interrupt the
// handle before the slow part: openFile opens the file (throws DbError);
// applyKey keys the handle (deriving the key unless it is known for the
// file, see filekey.h) and reads the first page (throws DbError and leaves
// closing the handle to the caller).
sqlite3 *openFile(const QString &path, bool create);
void applyKey(sqlite3 *db);
// On a keyed handle: sets the notebook's page size and reads the first page.
// SQLITE_OK when the key opens the file, else SQLite's code.
int readFirstPage(sqlite3 *db);

// A read-only handle of its own for a thread other than the window's (the
// search index's build, a search while the index is not ready): the same key,
// page size and functions, never a write. Null when the file cannot be read.
// Another program's lock is waited for by `busy` (SQLite's busy handler), or
// as long as by the shared handle.
sqlite3 *openReader(const QString &path, int (*busy)(void *, int) = nullptr,
                    void *busyArg = nullptr);

// Told by the shared handle when it has opened a file and before it closes it,
// on the thread of the data operations.
class HandleListener
{
  public:
    virtual void handleOpened(sqlite3 *db, const QString &path, FileId file) = 0;
    virtual void handleClosing() = 0;

  protected:
    ~HandleListener() = default;
};

// The keyed handle the data operations share, for the database of the current
// program folder: opened at the first get(), opened anew when the file was
// replaced or may now be written, kept until close(). It knows nothing of who
// reads it: whoever must follow it adds itself as a listener. Listeners hear
// of an open in the order they were added and of a close in the reverse
// order, so that the one added last lets go first.
class SharedHandle
{
  public:
    SharedHandle() = default;
    ~SharedHandle();
    SharedHandle(const SharedHandle &) = delete;
    SharedHandle &operator=(const SharedHandle &) = delete;

    sqlite3 *get(); // throws DbError
    void close();
    // A listener added while the handle is open hears of that open at once.
    void addListener(HandleListener *listener);
    void removeListener(HandleListener *listener);

  private:
    sqlite3 *db_ = nullptr;
    QString path_;
    FileId file_; // the file the handle has open
    std::vector<HandleListener *> listeners_;
};

// The data layer's shared handle (DataLayer::current()): get() and close().
sqlite3 *shared();
void closeShared();

// Adds the indexes the note list reads from, when missing.
void ensureIndexes(sqlite3 *db);

// Registers the notebook's SQL functions on a handle (shown time, fast LIKE).
void registerFunctions(sqlite3 *db);

// A prepared statement that finalizes itself.
class Statement
{
  public:
    Statement(sqlite3 *db, const QString &sql, const QVariantList &params = {});
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool step(); // true while a row is ready; throws on failure
    int columnCount() const;
    QString columnName(int i) const;
    QVariant value(int i) const;
    qint64 integer(int i) const;
    QString text(int i) const;
    QByteArrayView utf8(int i) const; // valid until the next step
    bool isNull(int i) const;

  private:
    struct Finalize {
        void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
    };
    sqlite3 *db_;
    // Owned from the prepare on: a bind that throws in the constructor
    // finalizes the statement too.
    std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

[[noreturn]] void fail(sqlite3 *db, int rc, const QString &what);

} // namespace varnel::db
