#include "store/dbengine.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dberrortext.h"
#include "store/filekey.h"
#include "store/readaheadvfs.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace varnel::db
{

namespace
{

const char kKey[] = "Rv8-tq2Lm0";

QByteArray passphrase()
{
    return QByteArray::fromRawData(kKey, int(sizeof(kKey) - 1));
}

// SQLite opens a file it may not write read-only, and the handle stays so:
// once the file may be written again, a new handle takes the changes.
bool becameWritable(sqlite3 *db, const QString &path)
{
    return sqlite3_db_readonly(db, "main") == 1 &&
           ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

void bindValue(sqlite3 *db, sqlite3_stmt *stmt, int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(stmt, index);
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong ||
               value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::Bool) {
        rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
    } else if (value.typeId() == QMetaType::Double) {
        rc = sqlite3_bind_double(stmt, index, value.toDouble());
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        rc = sqlite3_bind_blob64(stmt, index, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
    } else {
        const QByteArray text = value.toString().toUtf8();
        rc = sqlite3_bind_text64(stmt, index, text.constData(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    if (rc != SQLITE_OK)
        fail(db, rc, QStringLiteral("bind"));
}

std::atomic<int> g_ownReads{0};
std::atomic<qint64> g_lastWait{0}; // when a handle last waited for a lock, steady ms

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The busy handler of the program's handles: about kBusyWaitMs for another
// program's lock, longer while one of the program's own reads is under way.
int waitForLock(void *, int attempts)
{
    g_lastWait = steadyMs();
    const int waitedMs = attempts * 2;
    if (waitedMs >= (g_ownReads > 0 ? 20 * kBusyWaitMs : kBusyWaitMs))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 1;
}

} // namespace

bool writerWaiting()
{
    return steadyMs() - g_lastWait.load() < 20;
}

OwnRead::OwnRead()
{
    ++g_ownReads;
}

OwnRead::~OwnRead()
{
    --g_ownReads;
}

FileId fileAt(const QString &path)
{
    struct stat now {
    };
    if (::stat(QFile::encodeName(path).constData(), &now) != 0)
        return {};
    return {now.st_dev, now.st_ino};
}

void fail(sqlite3 *db, int rc, const QString &what)
{
    throw errorFor(db, rc, what, QFileInfo(databasePath()).absoluteFilePath());
}

sqlite3 *openReader(const QString &path, int (*busy)(void *, int), void *busyArg)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, readAheadVfs());
    if (rc == SQLITE_OK)
        rc = busy ? sqlite3_busy_handler(db, busy, busyArg) : sqlite3_busy_timeout(db, kBusyWaitMs);
    if (rc == SQLITE_OK)
        rc = keyHandle(db, passphrase());
    if (rc == SQLITE_OK) {
        // The first page is read while this read holds the file.
        const OwnRead reading;
        rc = readFirstPage(db);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    registerFunctions(db);
    return db;
}

sqlite3 *openFile(const QString &path, bool create)
{
    const QFileInfo file(path);
    if (!create && !file.isFile())
        fail(nullptr, SQLITE_CANTOPEN, QStringLiteral("open"));
    // An empty file would open as a new database without any of the tables.
    if (!create && file.size() == 0)
        fail(nullptr, SQLITE_CORRUPT, QStringLiteral("open"));
    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        fail(nullptr, rc, QStringLiteral("open"));
    }
    // Wait for another writer from the very first read on: the key check
    // reads a page and would otherwise fail at once while someone writes. The
    // wait is short: the window must not hang for a program that keeps the file.
    sqlite3_busy_handler(db, waitForLock, nullptr);
    return db;
}

int readFirstPage(sqlite3 *db)
{
    int rc = sqlite3_exec(db, "PRAGMA cipher_page_size = 4096;", nullptr, nullptr, nullptr);
    // The key is only checked when the first page is read.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    return rc;
}

void applyKey(sqlite3 *db)
{
    int rc = keyHandle(db, passphrase());
    if (rc == SQLITE_OK)
        rc = readFirstPage(db);
    // The lists and the search are answered from the search index: the page
    // cache only serves single notes, the tree and the export's one pass. A
    // count of all notes walks every page of the table and would fill a
    // larger cache to its end for nothing (the table is far larger).
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA synchronous = FULL; PRAGMA cache_size = -2048;", nullptr,
                          nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(nullptr, rc, QStringLiteral("open"));
    registerFunctions(db);
}

sqlite3 *openKeyed(const QString &path, bool create)
{
    sqlite3 *db = openFile(path, create);
    try {
        applyKey(db);
    } catch (const DbError &) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}

void ensureIndexes(sqlite3 *db)
{
    // The note list reads (处理, bookid, 标题, 时间) in list order, for all notes
    // or one category, straight from these indexes without touching the bodies.
    // Databases made before the indexes existed get them here, once; a file
    // that cannot be written simply goes without.
    sqlite3_exec(
        db,
        "CREATE INDEX IF NOT EXISTS 企业日记_列表 ON 企业日记(处理, bookid DESC, 标题, 时间);"
        "CREATE INDEX IF NOT EXISTS 企业日记_分类 ON 企业日记(分类, 处理, bookid DESC, 标题, "
        "时间);",
        nullptr, nullptr, nullptr);
}

// A journal beside the file: a save that did not finish (the program was
// killed, the power went) left it, and opening the file plays it back.
bool journalBeside(const QString &path)
{
    const QFileInfo journal(path + QStringLiteral("-journal"));
    return journal.isFile() && journal.size() > 0;
}

// After a journal was played back, the file is checked once: a journal that
// belongs to another file (one copied over this one) leaves it damaged.
void checkAfterJournal(sqlite3 *db, const QString &path)
{
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    bool sound = false;
    int rows = 0;
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        sound = ++rows == 1 &&
                qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "ok") == 0;
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_DONE && sound)
        return;
    sqlite3_close_v2(db);
    const int code = (rc & 0xff) == SQLITE_NOTADB ? SQLITE_NOTADB : SQLITE_CORRUPT;
    throw errorFor(nullptr, code, QStringLiteral("open"), QFileInfo(path).absoluteFilePath(), true);
}

SharedHandle::~SharedHandle()
{
    close();
}

sqlite3 *SharedHandle::get()
{
    const QString path = databasePath();
    if (db_ && path_ == path && fileAt(path) == file_ && !becameWritable(db_, path))
        return db_;
    close();
    const bool journal = journalBeside(path);
    sqlite3 *db = nullptr;
    try {
        db = openKeyed(path, false);
    } catch (const DbError &e) {
        if (!journal || journalBeside(path))
            throw;
        throw errorFor(nullptr, e.sqliteCode(), QStringLiteral("open"),
                       QFileInfo(path).absoluteFilePath(), true);
    }
    if (journal && !journalBeside(path))
        checkAfterJournal(db, path);
    db_ = db;
    path_ = path;
    file_ = fileAt(path);
    ensureIndexes(db_);
    for (HandleListener *listener : listeners_)
        listener->handleOpened(db_, path_, file_);
    return db_;
}

void SharedHandle::close()
{
    if (db_) {
        for (auto it = listeners_.rbegin(); it != listeners_.rend(); ++it)
            (*it)->handleClosing();
        sqlite3_close_v2(db_);
    }
    db_ = nullptr;
    path_.clear();
    file_ = {};
}

void SharedHandle::addListener(HandleListener *listener)
{
    listeners_.push_back(listener);
    if (db_)
        listener->handleOpened(db_, path_, file_);
}

void SharedHandle::removeListener(HandleListener *listener)
{
    std::erase(listeners_, listener);
}

Statement::Statement(sqlite3 *db, const QString &sql, const QVariantList &params) : db_(db)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *prepared = nullptr;
    const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &prepared, nullptr);
    stmt_.reset(prepared);
    if (rc != SQLITE_OK)
        fail(db, rc, sql);
    for (int i = 0; i < params.size(); ++i)
        bindValue(db, stmt_.get(), i + 1, params.at(i));
}

Statement::~Statement() = default;

bool Statement::step()
{
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(db_, rc, QString::fromUtf8(sqlite3_sql(stmt_.get())));
}

int Statement::columnCount() const
{
    return sqlite3_column_count(stmt_.get());
}

QString Statement::columnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(stmt_.get(), i));
}

qint64 Statement::integer(int i) const
{
    return sqlite3_column_int64(stmt_.get(), i);
}

QString Statement::text(int i) const
{
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(stmt_.get(), i));
    return utf8 ? QString::fromUtf8(utf8, sqlite3_column_bytes(stmt_.get(), i)) : QString();
}

QByteArrayView Statement::utf8(int i) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt_.get(), i));
    return text ? QByteArrayView(text, sqlite3_column_bytes(stmt_.get(), i)) : QByteArrayView();
}

bool Statement::isNull(int i) const
{
    return sqlite3_column_type(stmt_.get(), i) == SQLITE_NULL;
}

QVariant Statement::value(int i) const
{
    switch (sqlite3_column_type(stmt_.get(), i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt_.get(), i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt_.get(), i));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt_.get(), i)),
                                   sqlite3_column_bytes(stmt_.get(), i)));
    case SQLITE_NULL:
        return QVariant();
    default:
        return QVariant(
            QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt_.get(), i)),
                              sqlite3_column_bytes(stmt_.get(), i)));
    }
}

} // namespace varnel::db
