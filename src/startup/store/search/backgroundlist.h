#pragma once

#include "store/search/notefilter.h"
#include "store/search/noteindex.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct sqlite3;

namespace varnel
{
class DbError;
}

// Runs the statement of a list on a thread of its own, with a read-only
// handle of its own, for the time the search index cannot answer: the
// window's thread never waits for the file. The rows come in list order, so
// what is found so far is the top of the final list; it is handed over every
// so often, then the whole list. A newer start() or a cancel() stops the
// statement under way at its next step and drops whatever it still sends.
// Everything is handed to the window's thread through its event queue.
namespace varnel::search
{

class BackgroundList : public QObject
{
    Q_OBJECT
  public:
    using Rows = std::vector<ListEntry>;
    // rows: the list so far (complete false) or the whole of it.
    using OnRows = std::function<void(Rows rows, bool complete)>;
    using OnFailure = std::function<void(const DbError &error)>;

    explicit BackgroundList(QObject *parent = nullptr);
    ~BackgroundList() override;

    void start(const QString &path, const NoteFilter &filter, OnRows onRows, OnFailure onFailure);
    void cancel();
    // Opens the reading thread's handle of `path` ahead of the first search:
    // its key derivation then costs the search nothing.
    void prepare(const QString &path);
    bool running() const { return current_ != nullptr; }
    // How long a part of the list waits before it is handed over.
    static constexpr int kHandOverMs = 60;

  private:
    struct Job;
    void run(const std::shared_ptr<Job> &job);
    sqlite3 *reader(const QString &path);
    void deliver(const std::shared_ptr<Job> &job, Rows rows, bool complete);
    void fail(const std::shared_ptr<Job> &job, int rc, const QString &statement,
              const QString &message = {});
    struct Arrival;
    void post(Arrival arrival);
    Q_INVOKABLE void takeArrivals();

    std::shared_ptr<Job> current_; // the window's thread only
    QThreadPool pool_;
    std::mutex readerMutex_; // the reading thread's handle, kept between searches
    sqlite3 *readerDb_ = nullptr;
    QString readerPath_;
    std::mutex arrivalsMutex_; // what the reading thread has handed over
    std::vector<Arrival> arrivals_;
};

} // namespace varnel::search
