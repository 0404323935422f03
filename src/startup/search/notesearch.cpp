#include "notesearch.h"

#include "database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <cmath>
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
// One turn of reading between the program's events, and the pause after
// finding the file locked by another program.
constexpr double kTurnMs = 4;
constexpr int kBusyPauseMs = 100;

FieldText fieldOf(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return {false, {text ? text : "", std::size_t(sqlite3_column_bytes(stmt, column))}};
}

// An integer column, or a real one holding a whole number (SQLite compares
// and sorts 1.0 as 1).
bool integerOf(sqlite3_stmt *stmt, int column, std::int64_t &value)
{
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_INTEGER) {
        value = sqlite3_column_int64(stmt, column);
        return true;
    }
    if (type != SQLITE_FLOAT)
        return false;
    const double real = sqlite3_column_double(stmt, column);
    if (real != std::floor(real) || std::fabs(real) > 9.0e15)
        return false;
    value = std::int64_t(real);
    return true;
}

// One row of kRowSql as the index takes it.
NoteRecord recordOf(sqlite3_stmt *stmt)
{
    NoteRecord record;
    record.bookid = sqlite3_column_int64(stmt, 0);
    record.categoryIsInteger = integerOf(stmt, 4, record.category);
    if (sqlite3_column_type(stmt, 5) == SQLITE_NULL)
        record.stateKind = NoteRecord::StateNull;
    else if (integerOf(stmt, 5, record.state))
        record.stateKind = NoteRecord::StateInteger;
    else
        record.stateKind = NoteRecord::StateOther;
    record.title = fieldOf(stmt, 1);
    record.body = fieldOf(stmt, 2);
    record.time = fieldOf(stmt, 3);
    return record;
}

sqlite3_stmt *prepare(sqlite3 *db, const std::string &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

// A reading of the whole index, in bookid order, a turn at a time.
struct NoteSearch::Build {
    std::unique_ptr<NoteIndex> index = std::make_unique<NoteIndex>();
    sqlite3_stmt *first = nullptr;
    sqlite3_stmt *next = nullptr;
    bool started = false;
    std::int64_t last = 0; // the highest bookid read
    long long version = -1;
    QElapsedTimer clock;
    double readingMs = 0;

    explicit Build(sqlite3 *db)
    {
        first = prepare(db, std::string(kRowSql) + " order by bookid");
        next = prepare(db, std::string(kRowSql) + " where bookid > ?1 order by bookid");
        index->beginBulk();
        clock.start();
    }
    ~Build()
    {
        sqlite3_finalize(first);
        sqlite3_finalize(next);
    }
};

NoteSearch &NoteSearch::instance()
{
    static NoteSearch search;
    return search;
}

NoteSearch::NoteSearch() = default;

NoteSearch::~NoteSearch()
{
    detach();
    // Past the application's end the timer has no thread left to leave.
    if (!QCoreApplication::instance())
        (void)timer_.release();
}

void NoteSearch::attach(sqlite3 *db, const QString &path, db::FileId file)
{
    detach();
    db_ = db;
    path_ = path;
    file_ = file;
    sqlite3_update_hook(db_, &NoteSearch::onUpdate, this);
    sqlite3_rollback_hook(db_, &NoteSearch::onRollback, this);
    sqlite3_set_authorizer(db_, &NoteSearch::authorize, this);
    if (!timer_ && QCoreApplication::instance()) {
        timer_ = std::make_unique<QTimer>();
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { onTimer(); });
    }
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
    version_ = -1;
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

int NoteSearch::authorize(void *self, int action, const char *table, const char *column,
                          const char *, const char *)
{
    // A row that changes its bookid is reported under one id only.
    if (action == SQLITE_UPDATE && table && column && std::strcmp(table, kNotes) == 0 &&
        std::strcmp(column, "bookid") == 0)
        static_cast<NoteSearch *>(self)->idsMoved_ = true;
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
    idsMoved_ = false;
    build_ = std::make_unique<Build>(db_);
    build_->version = dataVersion();
    if (!build_->first || !build_->next || build_->version < 0) {
        build_.reset();
        lastFailure_ = QDateTime::currentMSecsSinceEpoch();
        return;
    }
    if (timer_)
        timer_->start(0);
}

void NoteSearch::stopBuild()
{
    if (timer_)
        timer_->stop();
    build_.reset();
}

// Reads notes for about `budgetMs`, in one read of the database.
NoteSearch::Turn NoteSearch::readTurn(double budgetMs)
{
    Build &build = *build_;
    QElapsedTimer clock;
    clock.start();
    // A turn never waits for another program's lock: it comes back later.
    sqlite3_busy_timeout(db_, 0);
    sqlite3_stmt *stmt = build.first;
    if (build.started) {
        stmt = build.next;
        sqlite3_bind_int64(stmt, 1, build.last);
    }
    int rc = SQLITE_OK;
    bool full = false;
    for (int rows = 1; (rc = sqlite3_step(stmt)) == SQLITE_ROW; ++rows) {
        const NoteRecord record = recordOf(stmt);
        build.started = true;
        build.last = record.bookid;
        if (!build.index->put(record)) {
            full = true;
            break;
        }
        if (rows % 16 == 0 && msSince(clock) >= budgetMs)
            break;
    }
    sqlite3_reset(stmt);
    sqlite3_busy_timeout(db_, db::kBusyWaitMs);
    build.readingMs += msSince(clock);
    if (full)
        return Turn::Failed;
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        return Turn::Busy;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        return Turn::Failed;
    // Another handle wrote meanwhile: what was read may be out of date.
    const long long version = dataVersion();
    if (version < 0)
        return Turn::Busy;
    if (version != build.version)
        return Turn::Failed;
    return rc == SQLITE_DONE ? Turn::Done : Turn::More;
}

void NoteSearch::onTimer()
{
    if (!build_) {
        timer_->stop();
        return;
    }
    const Turn turn = readTurn(kTurnMs);
    if (turn == Turn::More && timer_->interval() != 0)
        timer_->start(0);
    else if (turn == Turn::Busy)
        timer_->start(kBusyPauseMs);
    settle(turn);
}

// Ends the build after its last turn; a failed one is tried again later.
bool NoteSearch::settle(Turn turn)
{
    if (turn == Turn::Done)
        finishBuild();
    if (turn != Turn::Failed)
        return true;
    stopBuild();
    lastFailure_ = QDateTime::currentMSecsSinceEpoch();
    return false;
}

void NoteSearch::finishBuild()
{
    if (timer_)
        timer_->stop();
    std::unique_ptr<Build> build = std::move(build_);
    build->index->endBulk();
    buildMs_ = msSince(build->clock);
    readingMs_ = build->readingMs;
    index_ = std::move(build->index);
    version_ = build->version;
}

bool NoteSearch::applyDirty()
{
    if (dirty_.empty())
        return true;
    sqlite3_stmt *stmt = prepare(db_, std::string(kRowSql) + " where bookid=?1");
    if (!stmt)
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
    if (!index_) {
        if (!build_ && QDateTime::currentMSecsSinceEpoch() - lastFailure_ >= kRetryMs)
            startBuild();
        return false;
    }
    const long long version = dataVersion();
    if (version < 0)
        return false; // the statement will say why
    const std::size_t notes = index_->noteCount();
    if (idsMoved_ || version != version_ || dirty_.size() > std::max(kMostDirty, notes / 8) ||
        index_->freeSlots() > std::max<std::size_t>(4096, notes)) {
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
        if (!build_ || clock.elapsed() >= timeoutMs)
            return false;
        const Turn turn = readTurn(50);
        if (turn == Turn::Busy)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!settle(turn))
            return false;
    }
}

NoteSearch::Figures NoteSearch::figures() const
{
    Figures figures;
    figures.buildMs = buildMs_;
    figures.readingMs = readingMs_;
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
