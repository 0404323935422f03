#include "store/search/notesearch.h"

#include "store/database.h"
#include "store/datalayer.h"
#include "store/handover.h"
#include "store/search/indexreader.h"
#include "store/search/noterows.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include <sys/resource.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <unistd.h>

namespace varnel::search
{

using Outcome = IndexReader::Outcome;

namespace
{

// More changed rows than this are cheaper to take in by a new build.
constexpr std::size_t kMostDirty = 2000;
constexpr qint64 kRetryMs = 2000;
// An index that did not fit is tried again this long after, if notes changed.
constexpr qint64 kRetryAfterGivingUpMs = 30000;
// How much more stored text the index may take in before it is measured again.
constexpr std::size_t kMeasureEveryBytes = std::size_t(4) << 20;

} // namespace

// A build under way: the reading thread's result to come, and the flag that
// stops it early.
struct NoteSearch::Build {
    // Shared with the reading thread, which may still look at it for a moment
    // after the result is handed over.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    QFuture<std::shared_ptr<Outcome>> future;
    std::unique_ptr<QFutureWatcher<std::shared_ptr<Outcome>>> watcher;
    long long version = -1; // the shared handle's data_version at the start
    QElapsedTimer clock;
    ~Build()
    {
        // Its finished() may be what ends the build: it goes once that is over.
        if (watcher)
            watcher.release()->deleteLater();
    }
};

NoteSearch::NoteSearch() = default;

NoteSearch::~NoteSearch()
{
    detach();
    // Past the application's end the notifier has no thread left to live in.
    if (!QCoreApplication::instance())
        (void)events_.release();
}

std::size_t NoteSearch::defaultMemoryBudget()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    std::size_t budget = pages > 0 && pageSize > 0 ? std::size_t(pages) * std::size_t(pageSize) / 4
                                                   : std::size_t(512) << 20;
    struct rlimit limit {
    };
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        budget = std::min(budget, std::size_t(limit.rlim_cur / 3));
    return budget;
}

// The build's reading thread and the second core's share of a search.
QThreadPool *NoteSearch::threads()
{
    if (!pool_) {
        pool_ = std::make_unique<QThreadPool>();
        pool_->setMaxThreadCount(std::max(2, QThreadPool::globalInstance()->maxThreadCount()));
        pool_->setExpiryTimeout(0); // no thread outlives its work (see BackgroundList)
    }
    return pool_.get();
}

IndexEvents *NoteSearch::events()
{
    if (!events_)
        events_ = std::make_unique<IndexEvents>();
    return events_.get();
}

void NoteSearch::handleOpened(sqlite3 *db, const QString &path, db::FileId file)
{
    attach(db, path, file);
}

void NoteSearch::handleClosing()
{
    detach();
}

void NoteSearch::attach(sqlite3 *db, const QString &path, db::FileId file)
{
    detach();
    db_ = db;
    path_ = path;
    file_ = file;
    opened_.start();
    readyMs_ = -1;
    catchUps_ = 0;
    sqlite3_update_hook(db_, &NoteSearch::onUpdate, this);
    sqlite3_rollback_hook(db_, &NoteSearch::onRollback, this);
    sqlite3_set_authorizer(db_, &NoteSearch::authorize, this);
    keyed_ = keyedByRowid();
    if (keyed_)
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
    gaveUp_ = false;
}

// The update hook reports rowids: they name notes only where bookid is the
// rowid (INTEGER PRIMARY KEY of a rowid table). Any other file is answered by SQL.
bool NoteSearch::keyedByRowid()
{
    int keys = 0;
    bool bookidKey = false;
    sqlite3_stmt *stmt = prepareRows(db_, "PRAGMA table_info(企业日记)");
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *name = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1));
        const auto *type = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 2));
        if (sqlite3_column_int(stmt, 5) > 0) {
            ++keys;
            bookidKey = name && type && std::strcmp(name, "bookid") == 0 &&
                        QByteArray(type).toUpper() == "INTEGER";
        }
    }
    sqlite3_finalize(stmt);
    stmt = prepareRows(db_,
                       "select sql from sqlite_master where type = 'table' and name = '企业日记'");
    bool rowid = false;
    if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *sql = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        rowid = !QByteArray(sql ? sql : "").toLower().simplified().contains("without rowid");
    }
    sqlite3_finalize(stmt);
    return keys == 1 && bookidKey && rowid;
}

void NoteSearch::onUpdate(void *self, int, const char *database, const char *table,
                          sqlite3_int64 rowid)
{
    if (std::strcmp(database, "main") != 0 || std::strcmp(table, kNotesTable) != 0)
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
    auto *me = static_cast<NoteSearch *>(self);
    // A row that changes its bookid is reported under one id only.
    if (action == SQLITE_UPDATE && table && column && std::strcmp(table, kNotesTable) == 0 &&
        std::strcmp(column, "bookid") == 0)
        me->idsMoved_ = true;
    // ROLLBACK TO a savepoint undoes changes without a rollback hook: every
    // row of the transaction is read again.
    if (action == SQLITE_SAVEPOINT && table && std::strcmp(table, "ROLLBACK") == 0)
        me->savepointUndone_ = true;
    // A DELETE without WHERE would empty the table without telling the
    // update hook; SQLITE_IGNORE makes SQLite delete (and report) row by row.
    if (action == SQLITE_DELETE && table && std::strcmp(table, kNotesTable) == 0)
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

// A new index, or `current` (read a moment ago) brought up to date.
void NoteSearch::startBuild(std::unique_ptr<NoteIndex> current)
{
    stopBuild();
    index_.reset();
    // The build's handle cannot see what the open transaction changed: those
    // rows are read again through the shared handle once it is done.
    if (current)
        dirty_.insert(touched_.begin(), touched_.end());
    else
        dirty_ = touched_;
    idsMoved_ = false;
    auto build = std::make_unique<Build>();
    build->version = dataVersion();
    if (build->version < 0) {
        lastFailure_ = QDateTime::currentMSecsSinceEpoch();
        return;
    }
    build->clock.start();
    auto promise = std::make_shared<QPromise<std::shared_ptr<Outcome>>>();
    build->future = promise->future();
    promise->start();
    if (QCoreApplication::instance()) {
        build->watcher = std::make_unique<QFutureWatcher<std::shared_ptr<Outcome>>>();
        QObject::connect(build->watcher.get(), &QFutureWatcherBase::finished, [this] {
            if (build_ && build_->future.isFinished())
                finishBuild();
        });
        build->watcher->setFuture(build->future);
    }
    const std::size_t budget = budget_;
    QThreadPool *pool = threads();
    // A holder: the task is copied into a std::function.
    auto from = std::make_shared<std::unique_ptr<NoteIndex>>(std::move(current));
    startHandedOver(*pool, [promise, path = ownCopy(path_), stop = build->stop, budget, from] {
        std::shared_ptr<Outcome> outcome;
        {
            IndexReader reader(path, *stop, budget);
            outcome = reader.read(std::move(*from));
        }
        promise->addResult(outcome);
        handOver();
        promise->finish();
        // The reader's batches and page cache are gone: the pages of the holes
        // they leave in this thread's heap would stay resident for the
        // program's life (no later allocation of the window's comes from it).
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
    build_ = std::move(build);
}

void NoteSearch::stopBuild()
{
    if (!build_)
        return;
    *build_->stop = true;
    build_->future.waitForFinished(); // a read of a few milliseconds at most
    takeOver();
    build_.reset();
}

// Takes a finished build over on the window's thread.
void NoteSearch::finishBuild()
{
    std::unique_ptr<Build> build = std::move(build_);
    takeOver();
    const std::shared_ptr<Outcome> out = build->future.result();
    switch (out->kind) {
    case Outcome::Done:
        // Another program wrote meanwhile: what was read may be out of date,
        // and only a read of the file can tell which notes are.
        if (dataVersion() != build->version) {
            ++catchUps_;
            startBuild(std::move(out->index));
            return;
        }
        notesTaken_ = out->notesTaken;
        buildMs_ = msSince(build->clock);
        readingMs_ = out->readingMs;
        readingCpuMs_ = out->readingCpuMs;
        index_ = std::move(out->index);
        index_->setPool(threads());
        measuredAt_ = index_->storedBytes();
        version_ = build->version;
        readyMs_ = msSince(opened_);
        if (events_)
            QMetaObject::invokeMethod(events_.get(), &IndexEvents::ready, Qt::QueuedConnection);
        return;
    case Outcome::Full:
    case Outcome::OverBudget:
        gaveUp_ = true;
        gaveUpVersion_ = build->version;
        gaveUpAt_ = QDateTime::currentMSecsSinceEpoch();
        return;
    case Outcome::Failed:
    case Outcome::Stopped:
        break;
    }
    lastFailure_ = QDateTime::currentMSecsSinceEpoch();
}

bool NoteSearch::applyDirty()
{
    if (dirty_.empty())
        return true;
    sqlite3_stmt *stmt = prepareRows(db_, std::string(kNoteRowSql) + " where bookid=?1");
    if (!stmt)
        return false;
    bool ok = true;
    for (const std::int64_t id : dirty_) {
        sqlite3_bind_int64(stmt, 1, id);
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            ok = index_->put(noteRecordOf(stmt)) && ok;
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
    if (!db_ || !keyed_)
        return false;
    if (savepointUndone_) {
        dirty_.insert(touched_.begin(), touched_.end());
        savepointUndone_ = false;
    }
    if (sqlite3_get_autocommit(db_))
        touched_.clear();
    if (build_ && build_->future.isFinished())
        finishBuild();
    if (!index_) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (gaveUp_) {
            // Only notes changed since may make the index fit.
            if (now - gaveUpAt_ < kRetryAfterGivingUpMs ||
                (dirty_.empty() && dataVersion() == gaveUpVersion_))
                return false;
            gaveUp_ = false;
        }
        if (!build_ && now - lastFailure_ >= kRetryMs)
            startBuild();
        return false;
    }
    const long long version = dataVersion();
    if (version < 0)
        return false; // the statement will say why
    const std::size_t notes = index_->noteCount();
    if (idsMoved_ || dirty_.size() > std::max(kMostDirty, notes / 8) ||
        index_->freeSlots() > std::max<std::size_t>(4096, notes)) {
        startBuild();
        return false;
    }
    if (version != version_) {
        // Another program wrote: a read of the file tells which notes.
        ++catchUps_;
        startBuild(std::move(index_));
        return false;
    }
    try {
        if (!applyDirty()) {
            startBuild();
            return false;
        }
        // Measuring the index walks all of it: only after it has grown a bit.
        if (index_->storedBytes() > measuredAt_ + kMeasureEveryBytes) {
            measuredAt_ = index_->storedBytes();
            if (index_->memoryBytes() > budget_)
                throw std::bad_alloc();
        }
    } catch (const std::bad_alloc &) {
        index_.reset();
        dirty_.clear();
        gaveUp_ = true;
        gaveUpVersion_ = version;
        gaveUpAt_ = QDateTime::currentMSecsSinceEpoch();
        return false;
    }
    return index_->usable();
}

std::optional<std::vector<ListEntry>> NoteSearch::list(const NoteFilter &filter)
{
    if (!fresh())
        return std::nullopt;
    try {
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
    } catch (const std::bad_alloc &) {
        return std::nullopt; // the statement needs far less memory
    }
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
        while (!build_->future.isFinished() && clock.elapsed() < timeoutMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

NoteSearch::Figures NoteSearch::figures() const
{
    Figures figures;
    figures.buildMs = buildMs_;
    figures.readingMs = readingMs_;
    figures.readyMs = readyMs_;
    figures.readingCpuMs = readingCpuMs_;
    figures.notesTaken = notesTaken_;
    figures.catchUps = catchUps_;
    if (index_) {
        figures.memoryBytes = index_->memoryBytes();
        figures.textBytes = index_->storedBytes();
        figures.notes = index_->noteCount();
    }
    return figures;
}

std::vector<ListEntry> listNotes(Connection &conn, const NoteFilter &filter)
{
    if (auto rows = DataLayer::current().search().list(filter))
        return std::move(*rows);
    const QString sql = filter.select(QStringLiteral("bookid,处理"));
    std::vector<ListEntry> rows;
    conn.ForEachRow(sql, filter.params(), [&rows](const DbRow &row) {
        rows.push_back({row.Integer(0), row.Integer(1) == 1});
    });
    return rows;
}

std::int64_t countNotes(Connection &conn, const NoteFilter &filter)
{
    if (const auto count = DataLayer::current().search().count(filter))
        return *count;
    const QString sql = filter.select(QStringLiteral("count(*)"), false);
    std::int64_t count = 0;
    conn.ForEachRow(sql, filter.params(), [&count](const DbRow &row) { count = row.Integer(0); });
    return count;
}

} // namespace varnel::search
