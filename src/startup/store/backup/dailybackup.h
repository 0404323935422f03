#pragma once

#include <QDate>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace varnel
{

namespace db
{
class OnlineCopy;
}

// The day's copy of the notebook into data/backup: made when there is none
// for the day yet and the notebook changed since the newest copy, written
// under a temporary name, checked, and only then given its day's name; after
// that, copies past the keeping rule go. A failure leaves the live database and
// every older copy as they were.
//
// Construct it on the thread of the data operations (it takes hold of the live
// database and notes the folders). A backup is three parts: begin() and end()
// do the slow work that does not touch the live database and may go on a
// worker thread; turn() reads the live database for a couple of milliseconds
// at a time and belongs on the thread of the data operations. run() does them
// one after the other on the calling thread.
class DailyBackup
{
  public:
    struct Outcome {
        enum Kind {
            Made,        // a new checked copy is in place
            AlreadyMade, // the day has its copy
            Unchanged,   // nothing changed since the newest copy
            Failed,      // reason tells why, for the user
            LiveDamaged, // the notebook itself is damaged: reason tells how
            Stopped,     // the data layer let go of the database
        };
        // What is known of the notebook after a failed copy.
        enum Notebook {
            Untouched,    // the copy failed before it read the notebook, or wrote elsewhere
            CheckedSound, // the notebook was checked and is sound
            Damaged,      // the notebook was checked and is damaged
        };
        Outcome(Kind k = Failed, const QString &made = {}, const QString &why = {},
                Notebook state = Untouched)
            : kind(k), copy(made), reason(why), notebook(state)
        {
        }
        Kind kind;
        QString copy;   // the new copy (Made)
        QString reason; // Chinese, for the user (Failed, LiveDamaged), a few lines at most
        Notebook notebook;
    };

    explicit DailyBackup(const QDate &today);
    ~DailyBackup();

    // Decides whether the day needs a copy and creates its file. An outcome
    // means there is nothing more to do.
    std::optional<Outcome> begin();
    // True when the copy is taken (or has failed: end() tells).
    bool turn();
    // Syncs and checks the copy, gives it its day's name, removes old copies.
    Outcome end();
    Outcome run();

    void stop(); // any thread: the backup ends soon with Stopped

    // Called between writing and checking the copy (tests damage it here).
    std::function<void(const QString &partial)> beforeCheck;
    // Called in the check once the copy's key is derived, before its
    // integrity check (tests time a stop from here).
    std::function<void()> keyed;

  private:
    std::optional<Outcome> decide();
    std::optional<Outcome> prepareFolder();
    Outcome failedCopy(const std::exception_ptr &error);
    Outcome withNotebookChecked(const QString &reason);
    void removeOldCopies();
    void removePartial();

    QDate today_;
    QString live_;
    QString folder_;
    std::unique_ptr<db::OnlineCopy> copy_;
    QString partial_;
    qint64 changedNs_ = 0; // the live file's time of change before the copy
    std::exception_ptr error_;
};

} // namespace varnel
