// Times the daily backup of the benchmark's 100,000-note notebook while the
// user-interface thread keeps reading the database every millisecond, as a
// window that answers would. Twice: with the search index ready, and while
// the index is still being read (as at the login window right after the
// start, when the day's copy begins too). Prints:
//     backup_ms@100000               start to checked copy in place
//     backup_ui_stall_max_ms@100000  the longest the event loop went without
//                                    getting to the next millisecond's read
//                                    (the backup's turns on this thread and
//                                    the reads themselves included)
//     backup_ui_read_max_ms@100000   the longest one of those reads took
//     backup_ui_cpu_max_ms@100000    the most processor time the thread used
//                                    between two reads: the stall without the
//                                    time other processes had the processor
// each with the index ready, and as building_backup_* while the index is
// read; and for comparison idle_* (index ready, no backup: what the machine
// itself adds) and building_idle_* (the index being read, no backup). With
// each, *_ui_stall_waits and *_ui_stall_preemptions: how often the thread
// waited or was preempted in its longest gap. A gap with one wait and no
// preemption is the thread asleep in the event loop, woken late by a busy
// machine.
//
//     bench_backup [--notes N]

#include "base/appinfo.h"
#include "store/backup/backgroundbackup.h"
#include "benchdata.h"
#include "store/database.h"
#include "provisioning.h"
#include "store/datalayer.h"
#include "store/search/notesearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <time.h>
#include <utility>

using namespace varnel;

namespace
{

int g_notes = 100000;

void report(const QString &name, double value, const char *unit)
{
    std::printf("%s@%d %.1f %s\n", qPrintable(name), g_notes, value, unit);
    std::fflush(stdout);
}

double readSettings()
{
    QElapsedTimer timer;
    timer.start();
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn, RsMode::Read);
    CloseDb();
    return timer.nsecsElapsed() / 1e6;
}

// Reads every millisecond until `done` says stop; the longest read and the
// longest time between two turns of the event loop.
struct Ticks {
    double longestRead = 0;
    double longestGap = 0;
    double mostCpu = 0;
    long blockedInLongest = 0;   // times the thread waited (I/O, a lock) in the longest gap
    long preemptedInLongest = 0; // times another thread took the processor from it
};

// The thread's voluntary and involuntary context switches so far.
std::pair<long, long> switches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

Ticks tickUntil(const std::function<bool()> &done)
{
    Ticks ticks;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double lastCpu = threadCpuMs();
    auto lastSwitches = switches();
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&]() {
        const qint64 now = clock.nsecsElapsed();
        const auto nowSwitches = switches();
        if ((now - last) / 1e6 > ticks.longestGap) {
            ticks.longestGap = (now - last) / 1e6;
            ticks.blockedInLongest = nowSwitches.first - lastSwitches.first;
            ticks.preemptedInLongest = nowSwitches.second - lastSwitches.second;
        }
        ticks.mostCpu = std::max(ticks.mostCpu, threadCpuMs() - lastCpu);
        ticks.longestRead = std::max(ticks.longestRead, readSettings());
        last = clock.nsecsElapsed();
        lastCpu = threadCpuMs();
        lastSwitches = switches();
    });
    timer.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return ticks;
}

void reportTicks(const QString &prefix, const Ticks &ticks)
{
    report(prefix + QStringLiteral("ui_stall_max_ms"), ticks.longestGap, "ms");
    report(prefix + QStringLiteral("ui_read_max_ms"), ticks.longestRead, "ms");
    report(prefix + QStringLiteral("ui_cpu_max_ms"), ticks.mostCpu, "ms");
    report(prefix + QStringLiteral("ui_stall_waits"), double(ticks.blockedInLongest), "times");
    report(prefix + QStringLiteral("ui_stall_preemptions"), double(ticks.preemptedInLongest),
           "times");
}

// The shared handle opened anew: the search index is read from the start.
void reopen()
{
    ShutdownDb();
    readSettings();
}

bool indexBuilt(double before)
{
    return DataLayer::current().search().figures().buildMs != before;
}

// The day's backup of `day` while the thread ticks; false when no copy came.
bool timeBackup(const QDate &day, const QString &prefix)
{
    BackgroundBackup backup(day);
    std::optional<DailyBackup::Outcome> outcome;
    QObject::connect(&backup, &BackgroundBackup::finished,
                     [&](const DailyBackup::Outcome &o) { outcome = o; });
    QElapsedTimer timer;
    timer.start();
    backup.start();
    const Ticks busy = tickUntil([&]() { return outcome.has_value(); });
    const double took = timer.nsecsElapsed() / 1e6;
    if (outcome->kind != DailyBackup::Outcome::Made) {
        std::fprintf(stderr, "bench_backup: no copy: %s\n", qPrintable(outcome->reason));
        return false;
    }
    report(prefix + QStringLiteral("ms"), took, "ms");
    reportTicks(prefix, busy);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--notes")));
    if (at > 0 && at + 1 < args.size())
        g_notes = args.at(at + 1).toInt();

    QTemporaryDir dir;
    if (!provisionProgramFolder(dir.path()))
        return 1;
    setProgramFolder(dir.path());
    fillNotebook(g_notes);
    std::fprintf(stderr, "bench_backup: notebook of %.0f MB\n",
                 QFileInfo(databasePath()).size() / 1048576.0);
    auto &index = DataLayer::current().search();

    // The index being read, without and with a backup.
    double built = index.figures().buildMs;
    reopen();
    reportTicks(QStringLiteral("building_idle_"), tickUntil([&]() { return indexBuilt(built); }));
    built = index.figures().buildMs;
    reopen();
    if (!timeBackup(QDate::currentDate().addDays(-1), QStringLiteral("building_backup_")))
        return 1;
    if (indexBuilt(built))
        std::fprintf(stderr, "bench_backup: the index was ready before the copy was\n");

    // The index ready.
    if (!index.waitUntilReady(120000))
        return 1;
    QElapsedTimer idle;
    idle.start();
    reportTicks(QStringLiteral("idle_"), tickUntil([&]() { return idle.elapsed() > 2000; }));
    OpenDb(); // a change since the last copy
    DbConn->Execute(
        QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values ('新', '改动', 0)"));
    CloseDb();
    index.waitUntilReady(120000);
    if (!timeBackup(QDate::currentDate(), QStringLiteral("backup_")))
        return 1;
    ShutdownDb();
    return 0;
}
