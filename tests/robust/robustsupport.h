#pragma once

// What the fault and fuzz tests share: seeds for the randomized runs, random
// text of every kind of character, and ways to look at and damage the
// database file.

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QVariantList>

#include <vector>

#include <csignal>
#include <sys/resource.h>

namespace robust
{

// Adds one data row per seed, named after it so a failure names its seed:
// a few fixed seeds and one taken from the clock.
void addSeedRows();

// Random text. Every kind can be mixed; none ever gives a NUL character.
class RandomText
{
  public:
    enum Kind : unsigned {
        Ascii = 1,       // printable ASCII letters, digits, blanks, punctuation
        Chinese = 2,     // CJK ideographs and punctuation
        Emoji = 4,       // characters outside the BMP: surrogate pairs
        RightToLeft = 8, // Hebrew, Arabic and the bidi controls
        Wildcards = 16,  // % and _
        Quotes = 32,     // ' " \ ; -- and the like
        Controls = 64,   // control characters other than NUL and CR
        Odd = 128,       // combining marks, BOM, U+FFFD, zero-width and other oddities
        Everything = 255,
    };

    explicit RandomText(quint32 seed) : rng_(seed) {}
    QRandomGenerator &rng() { return rng_; }

    QString text(int length, unsigned kinds);
    // Any text: a random mix of kinds, random length up to maxLength.
    QString any(int maxLength, unsigned without = 0);
    int bounded(int n) { return int(rng_.bounded(n)); }
    bool chance(int percent) { return bounded(100) < percent; }

  private:
    QString piece(unsigned kind);
    QRandomGenerator rng_;
};

// One note as stored, every column.
struct StoredNote {
    qint64 bookid = 0;
    QString title;
    QString body;
    qint64 category = 0;
    qint64 done = 0;
    QString time;
    bool operator==(const StoredNote &) const = default;
};

// Every note of the database of the current program folder, by bookid.
std::vector<StoredNote> storedNotes();
// The result of PRAGMA integrity_check ("ok" when sound).
QString integrityCheck();

bool writeFileBytes(const QString &path, const QByteArray &bytes);

// One test function of this program run again in a child process started
// through `wrapper` (setpriv for an ordinary user, unshare for mounts of its
// own), from a copy of the program in a folder anyone can read, with a HOME of
// its own and VARNEL_TEST_CHILD set. `function` may carry a data tag
// ("name:tag").
struct ChildRun {
    bool passed = false;
    bool skipped = false;
    QString output;
};
ChildRun runInChild(const QStringList &wrapper, const QString &testClass, const QString &function);
bool inChild();
// setpriv, as user and group nobody.
QStringList asOrdinaryUser();
// The database at `from` keyed with another password, as a byte image.
QByteArray databaseWithOtherKey(const QString &from);
// Random bytes.
QByteArray randomBytes(QRandomGenerator &rng, qsizetype size);

// Files may grow only to `bytes` while it lives, as on a disk that is full;
// a write past that fails instead of ending the process.
class FileSizeLimit
{
  public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

  private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

// Root writes anywhere: runs one test function of this program again as an
// ordinary user (nobody), for whom file permissions hold. `function` may name
// one data row ("function:row"). Check QTest::currentTestFailed() afterwards.
void rerunAsOrdinaryUser(const QString &testClass, const QString &function);
// Runs the current case again in a child behind the wrapper; the child's
// skip (for want of what the wrapper needs) is this case's skip.
void rerunInChild(const QStringList &wrapper, const QString &testClass, const QString &function,
                  const char *skipReason);

} // namespace robust
