#include "notesearch.h"

#include "database.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace varnel::search
{

namespace
{

const char kNotes[] = "企业日记";
const char kRowSql[] = "select bookid, 标题, 内容, 时间, 分类, 处理 from 企业日记";
// More changed rows than this are cheaper to take in by a new build.
constexpr std::size_t kMostDirty = 2000;
constexpr qint64 kRetryMs = 2000;

FieldText fieldOf(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return {false, {text ? text : "", std::size_t(sqlite3_column_bytes(stmt, column))}};
}

// One row of kRowSql as the index takes it.
NoteRecord recordOf(sqlite3_stmt *stmt)
{
    NoteRecord record;
    record.bookid = sqlite3_column_int64(stmt, 0);
    record.categoryIsInteger = sqlite3_column_type(stmt, 4) == SQLITE_INTEGER;
    record.category = record.categoryIsInteger ? sqlite3_column_int64(stmt, 4) : 0;
    switch (sqlite3_column_type(stmt, 5)) {
    case SQLITE_NULL:
        record.stateKind = NoteRecord::StateNull;
        break;
    case SQLITE_INTEGER:
        record.stateKind = NoteRecord::StateInteger;
        record.state = sqlite3_column_int64(stmt, 5);
        break;
    default:
        record.stateKind = NoteRecord::StateOther;
    }
    record.title = fieldOf(stmt, 1);
    record.body = fieldOf(stmt, 2);
    record.time = fieldOf(stmt, 3);
    return record;
}

} // namespace

// A build of the index on its own thread and its own handle.
struct NoteSearch::Build {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::unique_ptr<NoteIndex> index; // set when the build succeeded
    double ms = 0;
    std::thread thread;

    void run(QString path, db::FileId file)
    {
        QElapsedTimer clock;
        clock.start();
        sqlite3 *db = nullptr;
        try {
            db = db::openKeyed(path, false);
            // The handle must read the file the shared handle has open.
            if (db::fileAt(path) == file) {
                sqlite3_exec(db, "PRAGMA cache_size = -2048;", nullptr, nullptr, nullptr);
                auto built = std::make_unique<NoteIndex>();
                built->beginBulk();
                sqlite3_stmt *stmt = nullptr;
                bool ok = sqlite3_prepare_v2(db, kRowSql, -1, &stmt, nullptr) == SQLITE_OK;
                int rc = SQLITE_ROW;
                while (ok && !cancel.load(std::memory_order_relaxed) &&
                       (rc = sqlite3_step(stmt)) == SQLITE_ROW)
                    ok = built->put(recordOf(stmt));
                sqlite3_finalize(stmt);
                built->endBulk();
                if (ok && rc == SQLITE_DONE)
                    index = std::move(built);
            }
        } catch (const DbError &) {
        }
        if (db)
            sqlite3_close_v2(db);
        ms = double(clock.nsecsElapsed()) / 1e6;
        done.store(true, std::memory_order_release);
    }
};

NoteSearch &NoteSearch::instance()
{
    static NoteSearch search;
    return search;
}

NoteSearch::~NoteSearch()
{
    stopBuild();
}

void NoteSearch::attach(sqlite3 *db, const QString &path, db::FileId file)
{
    detach();
    db_ = db;
    path_ = path;
    file_ = file;
    sqlite3_update_hook(db_, &NoteSearch::onUpdate, this);
    sqlite3_rollback_hook(db_, &NoteSearch::onRollback, this);
    sqlite3_set_authorizer(db_, &NoteSearch::authorize, nullptr);
    startBuild();
}

void NoteSearch::detach()
{
    stopBuild();
    if (db_) {
        sqlite3_update_hook(db_, nullptr, nullptr);
        sqlite3_rollback_hook(db_, nullptr, nullptr);
        sqlite3_set_authorizer(db_, nullptr, nullptr);
    }
    db_ = nullptr;
    index_.reset();
    dirty_.clear();
    touched_.clear();
    version_ = versionAtBuild_ = -1;
    lastFailure_ = 0;
}

void NoteSearch::onUpdate(void *self, int, const char *database, const char *table,
                          sqlite3_int64 rowid)
{
    if (std::strcmp(database, "main") != 0 || std::strcmp(table, kNotes) != 0)
        return;
    auto *me = static_cast<NoteSearch *>(self);
    me->dirty_.insert(rowid);
    me->touched_.insert(rowid);
}

void NoteSearch::onRollback(void *self)
{
    // Rows read again inside the transaction are back as they were.
    auto *me = static_cast<NoteSearch *>(self);
    me->dirty_.insert(me->touched_.begin(), me->touched_.end());
    me->touched_.clear();
}

int NoteSearch::authorize(void *, int action, const char *table, const char *, const char *,
                          const char *)
{
    // A DELETE without WHERE would empty the table without telling the
    // update hook; SQLITE_IGNORE makes SQLite delete (and report) row by row.
    if (action == SQLITE_DELETE && table && std::strcmp(table, kNotes) == 0)
        return SQLITE_IGNORE;
    return SQLITE_OK;
}

long long NoteSearch::dataVersion()
{
    sqlite3_stmt *stmt = nullptr;
    long long version = -1;
    if (sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return version;
}

void NoteSearch::startBuild()
{
    stopBuild();
    index_.reset();
    dirty_.clear();
    versionAtBuild_ = dataVersion();
    build_ = std::make_unique<Build>();
    Build *build = build_.get();
    build->thread = std::thread([build, path = path_, file = file_] { build->run(path, file); });
}

void NoteSearch::stopBuild()
{
    if (!build_)
        return;
    build_->cancel = true;
    build_->thread.join();
    build_.reset();
}

void NoteSearch::finishBuild()
{
    build_->thread.join();
    std::unique_ptr<Build> build = std::move(build_);
    if (!build->index) {
        lastFailure_ = QDateTime::currentMSecsSinceEpoch();
        return;
    }
    if (dataVersion() != versionAtBuild_) {
        startBuild(); // another handle wrote meanwhile
        return;
    }
    buildMs_ = build->ms;
    index_ = std::move(build->index);
    version_ = versionAtBuild_;
}

bool NoteSearch::applyDirty()
{
    if (dirty_.empty())
        return true;
    sqlite3_stmt *stmt = nullptr;
    const std::string sql = std::string(kRowSql) + " where bookid=?1";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    bool ok = true;
    for (const std::int64_t id : dirty_) {
        sqlite3_bind_int64(stmt, 1, id);
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            ok = index_->put(recordOf(stmt)) && ok;
        else if (rc == SQLITE_DONE)
            index_->erase(id);
        else
            ok = false;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    dirty_.clear();
    return ok;
}

// Whether the index holds exactly what the shared handle reads now.
bool NoteSearch::fresh()
{
    if (!db_)
        return false;
    if (sqlite3_get_autocommit(db_))
        touched_.clear();
    if (build_ && build_->done.load(std::memory_order_acquire))
        finishBuild();
    if (!index_) {
        if (!build_ && QDateTime::currentMSecsSinceEpoch() - lastFailure_ >= kRetryMs)
            startBuild();
        return false;
    }
    if (dataVersion() != version_ ||
        dirty_.size() > std::max(kMostDirty, index_->noteCount() / 8)) {
        startBuild();
        return false;
    }
    if (!applyDirty()) {
        startBuild();
        return false;
    }
    return index_->usable();
}

std::optional<std::vector<ListEntry>> NoteSearch::list(const NoteFilter &filter)
{
    if (!fresh())
        return std::nullopt;
    switch (filter.kind) {
    case NoteFilter::Pending:
        return index_->listPending();
    case NoteFilter::Category:
        return index_->listCategory(filter.category);
    case NoteFilter::Text:
        return index_->search(filter.text.toUtf8().toStdString());
    case NoteFilter::All:
        break;
    }
    return index_->listAll();
}

std::optional<std::int64_t> NoteSearch::count(const NoteFilter &filter)
{
    if (!fresh())
        return std::nullopt;
    if (filter.kind == NoteFilter::Category)
        return index_->countCategory(filter.category);
    if (filter.kind == NoteFilter::All)
        return std::int64_t(index_->noteCount());
    const auto rows = list(filter);
    return rows ? std::optional<std::int64_t>(std::int64_t(rows->size())) : std::nullopt;
}

bool NoteSearch::waitUntilReady(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (fresh())
            return true;
        if (clock.elapsed() >= timeoutMs || !db_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

NoteSearch::Figures NoteSearch::figures() const
{
    Figures figures;
    figures.buildMs = buildMs_;
    if (index_) {
        figures.memoryBytes = index_->memoryBytes();
        figures.notes = index_->noteCount();
    }
    return figures;
}

std::vector<ListEntry> listNotes(Connection &conn, const NoteFilter &filter)
{
    if (auto rows = NoteSearch::instance().list(filter))
        return std::move(*rows);
    QString sql = filter.sql();
    sql.replace(0, int(std::strlen("select *")), QStringLiteral("select bookid,处理"));
    std::vector<ListEntry> rows;
    conn.ForEachRow(sql, filter.params(), [&rows](const DbRow &row) {
        rows.push_back({row.Integer(0), row.Integer(1) == 1});
    });
    return rows;
}

std::int64_t countNotes(Connection &conn, const NoteFilter &filter)
{
    if (const auto count = NoteSearch::instance().count(filter))
        return *count;
    QString sql =
        filter.kind == NoteFilter::All ? QStringLiteral("select * from 企业日记 ") : filter.sql();
    sql.replace(0, int(std::strlen("select *")), QStringLiteral("select count(*)"));
    std::int64_t count = 0;
    conn.ForEachRow(sql, filter.params(), [&count](const DbRow &row) { count = row.Integer(0); });
    return count;
}

} // namespace varnel::search
