// Times the main window at 1,000, 10,000 and 100,000 notes, the way the user
// meets it: the window's load, every kind of change of the search box (from
// the change to the list painted with the new result), save and re-list, a
// category click, the export, the first search after a fresh start, and the
// process's peak memory. Prints one line per figure: "name@notes value unit".
//
//     bench_workspace              all three sizes, each in fresh processes
//     bench_workspace --notes N    one size
//     bench_workspace --long       also the index's memory for long notes and
//                                  every figure at 100,000 notes of 10-30 KB
//     ... --long-notes             (with a one-size option) that notebook
//     bench_workspace --during-build N, --first-result N MS
//                                  the first seconds after a fresh start
//
// The notebooks are generated once by a process of their own and kept under
// the temporary folder, so that generating them counts in no figure.

#include "base/appinfo.h"
#include "benchdata.h"
#include "frmminbook.h"
#include "provisioning.h"
#include "store/backup/backgroundbackup.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "windowhost.h"

#if __has_include("store/search/notesearch.h")
#include "store/datalayer.h"
#include "store/search/notesearch.h"
#define VARNEL_HAS_SEARCH_ENGINE 1
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

using namespace varnel;

namespace
{

int g_notes = 0;
// With --long-notes: bodies of 10 to 30 KB, figures named @<notes>long.
int g_bodyChars = 0;
const char *g_label = "";

void report(const char *name, double value, const char *unit)
{
    std::printf("%s@%d%s %.1f %s\n", name, g_notes, g_label, value, unit);
    std::fflush(stdout);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, (v.size() * 95 + 99) / 100 - 1)];
}

// The action and everything it set off, up to the list painted anew.
double timeMs(QWidget *list, const std::function<void()> &action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    QCoreApplication::processEvents();
    if (list)
        list->repaint();
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

double threadCpuMs()
{
    timespec cpu{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
}

// A figure of /proc/self/status in MB: "VmHWM:" (the peak), "VmRSS:".
double statusMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const auto length = qsizetype(std::strlen(field));
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(length).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// Opens and closes one message box the moment it shows, noting the time.
class BoxCloser : public QObject
{
  public:
    QElapsedTimer clock;
    double shownAt = -1;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            shownAt = double(clock.nsecsElapsed()) / 1e6;
            QTimer::singleShot(0, box, [box]() { box->button(QMessageBox::Ok)->click(); });
        }
        return false;
    }
};

class UrlSink : public QObject
{
    Q_OBJECT
  public slots:
    void open(const QUrl &) {}
};

template <typename T> T *child(QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QString::fromLatin1(name));
    if (!widget) {
        std::fprintf(stderr, "bench: no control %s\n", name);
        std::exit(2);
    }
    return widget;
}

// The notebook of `notes` notes, generated once and copied in.
QString cachedNotebook(int notes, int bodyChars = 0)
{
    const QString cache =
        QDir::tempPath() + QStringLiteral("/varnel-bench-zipf-%1%2.db")
                               .arg(notes)
                               .arg(bodyChars == kLongBodies ? QStringLiteral("long")
                                    : bodyChars              ? QStringLiteral("x%1").arg(bodyChars)
                                                             : QString());
    if (!QFile::exists(cache)) {
        QProcess maker;
        maker.setProcessChannelMode(QProcess::ForwardedChannels);
        maker.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--make"), QString::number(notes), cache, QString::number(bodyChars)});
        maker.waitForFinished(-1);
    }
    return cache;
}

int makeNotebook(int notes, const QString &target, int bodyChars)
{
    QTemporaryDir dir;
    if (!provisionProgramFolder(dir.path()))
        return 1;
    setProgramFolder(dir.path());
    fillNotebook(notes, bodyChars);
    ShutdownDb();
    return QFile::copy(databasePath(), target + QStringLiteral(".part")) &&
                   QFile::rename(target + QStringLiteral(".part"), target)
               ? 0
               : 1;
}

bool useNotebook(const QTemporaryDir &dir, int notes, int bodyChars = 0)
{
    if (!provisionProgramFolder(dir.path()))
        return false;
    setProgramFolder(dir.path());
    QFile::remove(databasePath());
    return QFile::copy(cachedNotebook(notes, bodyChars), databasePath());
}

// Opens the database the way the start-up sequence does and lets the search
// index build, as it does while the program sits in the tray.
void startUp()
{
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn, RsMode::Read);
    CloseDb();
#ifdef VARNEL_HAS_SEARCH_ENGINE
    DataLayer::current().search().waitUntilReady(600000);
    const auto figures = DataLayer::current().search().figures();
    report("index_build_ms", figures.buildMs, "ms");
    report("index_build_cpu_ms", figures.readingCpuMs, "ms");
    report("index_bytes_per_note",
           figures.notes ? double(figures.memoryBytes) / double(figures.notes) : 0, "B");
    std::printf("index_bytes_per_text_byte@%d%s %.2f x\n", g_notes, g_label,
                figures.textBytes ? double(figures.memoryBytes) / double(figures.textBytes) : 0);
#endif
}

struct SearchBox {
    QLineEdit *box;
    QWidget *list;

    // Sets the box to `before` (typed, untimed) and times the change to `after`.
    double change(const QString &before, const std::function<void()> &edit)
    {
        box->setText(before);
        QCoreApplication::processEvents();
        return timeMs(list, edit);
    }
    double typeLast(const QString &text)
    {
        // Typed up to the last character as a user types, then the last one timed.
        box->clear();
        for (int i = 1; i < text.size(); ++i)
            box->setText(text.left(i));
        QCoreApplication::processEvents();
        return timeMs(list, [&] { box->insert(text.right(1)); });
    }
    double deleteLast(const QString &text)
    {
        box->clear();
        for (int i = 1; i <= text.size(); ++i)
            box->setText(text.left(i));
        QCoreApplication::processEvents();
        return timeMs(list, [&] { box->backspace(); });
    }
};

void reportKeys(const char *kind, const std::vector<double> &times)
{
    char name[64];
    std::snprintf(name, sizeof name, "keystroke_%s_median_ms", kind);
    report(name, median(times), "ms");
    std::snprintf(name, sizeof name, "keystroke_%s_p95_ms", kind);
    report(name, percentile95(times), "ms");
}

QStringList pastes()
{
    // Two hundred characters of stored notes, as copied from another note.
    QStringList out;
    OpenDb();
    DbRs->Open(QStringLiteral("select 内容 from 企业日记 where length(内容) > 600 limit 10"),
               *DbConn, RsMode::Read);
    for (; !DbRs->Eof(); DbRs->MoveNext())
        out.append(DbRs->Field(0).toString().mid(300, 200));
    CloseDb();
    return out;
}

void benchSearch(SearchBox &s, const BenchData &data)
{
    std::vector<double> t;
    for (const char *c : {"的", "e", "年", "p", "2", "一", "a", "度", "s", "1"})
        t.push_back(s.change(QString(), [&] { s.box->insert(QString::fromUtf8(c)); }));
    reportKeys("first", t);

    t.clear();
    for (const char *text : {"的一", "pl", "年度", "ca", "20", "一是", "re", "总结", "ba", "15"})
        t.push_back(s.typeLast(QString::fromUtf8(text)));
    reportKeys("second", t);

    t.clear();
    for (const QString &term : data.rareTerms)
        t.push_back(s.typeLast(term));
    reportKeys("rare", t);

    t.clear();
    for (const QString &term : data.wideTerms) {
        for (int n = 2; n <= term.size(); ++n)
            t.push_back(s.typeLast(term.left(n)));
    }
    t.push_back(s.typeLast(QStringLiteral("report")));
    reportKeys("wide", t);

    t.clear();
    for (const char *text : {"年%总结", "客户_进", "周报%稿", "plan%view", "20_5-", "翡翠%湖",
                             "the%list", "年度_结", "2%-1", "客户跟%"})
        t.push_back(s.typeLast(QString::fromUtf8(text)));
    reportKeys("wildcard", t);

    t.clear();
    for (const QString &term : data.rareTerms.mid(0, 4) + data.wideTerms)
        t.push_back(s.deleteLast(term));
    for (const char *text : {"的", "e", "report"})
        t.push_back(s.deleteLast(QString::fromUtf8(text)));
    reportKeys("clear", t);

    t.clear();
    for (const QString &text : pastes())
        t.push_back(s.change(QString(), [&] { s.box->setText(text); }));
    reportKeys("paste", t);
    s.box->clear();
}

// The daily backup copying all the while: a copy for another day as soon as
// one ends.
class BackupLoad
{
  public:
    void keepGoing()
    {
        if (backup_ && !done_)
            return;
        backup_ = std::make_unique<BackgroundBackup>(QDate::currentDate().addDays(-(++day_)));
        done_ = false;
        QObject::connect(backup_.get(), &BackgroundBackup::finished, [this] { done_ = true; });
        backup_->start();
    }
    int copies() const { return day_; }

  private:
    std::unique_ptr<BackgroundBackup> backup_;
    bool done_ = false;
    int day_ = 0;
};

// The keystrokes, save + re-list, category clicks and 所有信息/待办 again,
// each while a backup copies.
void benchDuringBackup(FrmMinBook *window, SearchBox &s)
{
    BackupLoad backup;
    std::vector<double> t;
    for (const char *c : {"的", "e", "年", "p", "2", "一", "a", "度", "s", "1"}) {
        backup.keepGoing();
        t.push_back(s.change(QString(), [&] { s.box->insert(QString::fromUtf8(c)); }));
    }
    reportKeys("first_during_backup", t);
    t.clear();
    for (const char *text : {"的一", "pl", "年度", "ca", "20", "一是", "re", "总结", "ba", "15"}) {
        backup.keepGoing();
        t.push_back(s.typeLast(QString::fromUtf8(text)));
    }
    reportKeys("second_during_backup", t);
    s.box->clear();

    auto *title = child<QLineEdit>(window, "Text1");
    auto *body = child<QPlainTextEdit>(window, "Text2");
    t.clear();
    for (int i = 0; i < 10; ++i) {
        backup.keepGoing();
        title->setText(QStringLiteral("备份时保存 %1").arg(i));
        body->setPlainText(QStringLiteral("备份进行时保存并重新列出。"));
        t.push_back(timeMs(s.list, [&]() { QTest::keyRelease(body, Qt::Key_F1); }));
    }
    report("save_relist_during_backup_median_ms", median(t), "ms");
    report("save_relist_during_backup_p95_ms", percentile95(t), "ms");

    auto *tree = child<QTreeWidget>(window, "trv");
    QTreeWidgetItem *root = tree->topLevelItem(0);
    t.clear();
    for (int i = 0; root && i < std::min(10, root->childCount()); ++i) {
        backup.keepGoing();
        const QRect rect = tree->visualItemRect(root->child(i));
        t.push_back(timeMs(s.list, [&]() {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        }));
    }
    report("category_click_during_backup_median_ms", median(t), "ms");
    report("category_click_during_backup_p95_ms", percentile95(t), "ms");
    t.clear();
    for (int i = 0; i < 10; ++i) {
        backup.keepGoing();
        auto *b = child<QAbstractButton>(window, i % 2 ? "cmd_nopass" : "cmdALL");
        t.push_back(timeMs(s.list, [&]() { QTest::mouseClick(b, Qt::LeftButton); }));
    }
    report("all_or_pending_during_backup_median_ms", median(t), "ms");
    report("all_or_pending_during_backup_p95_ms", percentile95(t), "ms");
    report("backup_copies_begun", backup.copies(), "copies");
}

void benchWindow(const BenchData &data)
{
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
    WindowHost host;
    report("load_ms", timeMs(nullptr, [&]() { host.showMainWindow(); }), "ms");
    FrmMinBook *window = host.mainWindow();
    QWidget *list = child<QTableView>(window, "ListView1")->viewport();
    SearchBox search{child<QLineEdit>(window, "txtCZ"), list};
    benchSearch(search, data);

    auto *title = child<QLineEdit>(window, "Text1");
    auto *body = child<QPlainTextEdit>(window, "Text2");
    std::vector<double> saves, cpu;
    for (int i = 0; i < 10; ++i) {
        title->setText(QStringLiteral("基准测试 %1").arg(i));
        body->setPlainText(QStringLiteral("保存并重新列出所有记事。"));
        const double before = threadCpuMs();
        saves.push_back(timeMs(list, [&]() { QTest::keyRelease(body, Qt::Key_F1); }));
        cpu.push_back(threadCpuMs() - before);
    }
    report("save_relist_median_ms", median(saves), "ms");
    report("save_relist_p95_ms", percentile95(saves), "ms");
    // The window thread's own work in it, without the waits for the disk and
    // for the processor under load.
    report("save_relist_cpu_median_ms", median(cpu), "ms");

    auto *tree = child<QTreeWidget>(window, "trv");
    std::vector<double> clicks;
    QTreeWidgetItem *root = tree->topLevelItem(0);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; root && i < std::min(10, root->childCount()); ++i) {
            const QRect rect = tree->visualItemRect(root->child(i));
            clicks.push_back(timeMs(list, [&]() {
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
            }));
        }
    }
    report("category_click_median_ms", median(clicks), "ms");
    report("category_click_p95_ms", percentile95(clicks), "ms");
    std::vector<double> lists;
    for (const char *button : {"cmdALL", "cmd_nopass", "cmdALL", "cmd_nopass", "cmdALL",
                               "cmd_nopass", "cmdALL", "cmd_nopass", "cmdALL", "cmd_nopass"}) {
        auto *b = child<QAbstractButton>(window, button);
        lists.push_back(timeMs(list, [&]() { QTest::mouseClick(b, Qt::LeftButton); }));
    }
    report("all_or_pending_median_ms", median(lists), "ms");
    report("all_or_pending_p95_ms", percentile95(lists), "ms");

    benchDuringBackup(window, search);

    QTest::mouseClick(child<QAbstractButton>(window, "cmdALL"), Qt::LeftButton);
    BoxCloser closer;
    qApp->installEventFilter(&closer);
    closer.clock.start();
    QTest::mouseClick(child<QAbstractButton>(window, "cmd_out"), Qt::LeftButton);
    qApp->removeEventFilter(&closer);
    report("export_ms", closer.shownAt, "ms");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

// The notebook of `notes` notes for this process, in a folder of its own.
struct BenchNotebook {
    QTemporaryDir dir;
    bool ready = false;
    explicit BenchNotebook(int notes)
    {
        g_notes = notes;
        ready = useNotebook(dir, notes, g_bodyChars);
    }
};

int runOneSize(int notes)
{
    const BenchNotebook book(notes);
    if (!book.ready)
        return 1;
    startUp();
    benchWindow(benchData());
    report("peak_rss_mb", statusMb("VmHWM:"), "MB");
    ShutdownDb();
    return 0;
}

// A fresh process: start-up, the window opened once the index is built, and
// one character typed into the search box.
int firstSearchAfterStart(int notes)
{
    const BenchNotebook book(notes);
    if (!book.ready)
        return 1;
    startUp();
    WindowHost host;
    host.showMainWindow();
    FrmMinBook *window = host.mainWindow();
    QWidget *list = child<QTableView>(window, "ListView1")->viewport();
    auto *box = child<QLineEdit>(window, "txtCZ");
    report("first_search_after_start_ms", timeMs(list, [&] { box->insert(QStringLiteral("的")); }),
           "ms");
    ShutdownDb();
    return 0;
}

#ifdef VARNEL_HAS_SEARCH_ENGINE
// The index's memory for 20,000 notes of about 20 KB each.
int longNotes()
{
    g_notes = 20000;
    QTemporaryDir dir;
    if (!useNotebook(dir, 20000, 8500))
        return 1;
    OpenDb();
    CloseDb();
    DataLayer::current().search().waitUntilReady(600000);
    const auto figures = DataLayer::current().search().figures();
    std::printf("index_ready_ms@20000long %.1f ms\n", figures.readyMs);
    std::printf("index_text_mb@20000long %.1f MB\n", double(figures.textBytes) / 1048576.0);
    std::printf("index_bytes_per_text_byte@20000long %.2f x\n",
                figures.textBytes ? double(figures.memoryBytes) / double(figures.textBytes) : 0);
    std::printf("peak_rss_mb@20000long %.1f MB\n", statusMb("VmHWM:"));
    ShutdownDb();
    return 0;
}

// The event loop's longest block: a precise 1 ms timer notes the gaps
// between its turns (a zero timer would keep a core busy by itself).
class LoopProbe : public QObject
{
  public:
    LoopProbe()
    {
        clock_.start();
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { note(); });
        timer_.start(1);
    }
    double now() const { return double(clock_.nsecsElapsed()) / 1e6; }
    // The longest block from just before `action` until `settleMs` after it.
    double stallAround(const std::function<void()> &action, int settleMs)
    {
        const double cpu = threadCpuMs();
        last_ = now();
        longest_ = 0;
        action();
        note();
        // An event loop of its own: QTest::qWait sleeps 10 ms between its turns.
        QEventLoop loop;
        QTimer::singleShot(settleMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        cpuMs = threadCpuMs() - cpu;
        return longest_;
    }
    double cpuMs = 0; // the window thread's processor time in the last stallAround()

  private:
    void note()
    {
        const double t = now();
        longest_ = std::max(longest_, t - last_);
        last_ = t;
    }
    QElapsedTimer clock_;
    QTimer timer_;
    double last_ = 0;
    double longest_ = 0;
};

// The start of the program up to the window on screen, without waiting for
// the search index: it builds meanwhile, as after a real start.
struct FreshStart {
    WindowHost host;
    FrmMinBook *window = nullptr;
    QLineEdit *box = nullptr;
    QWidget *list = nullptr;
    QWidget *sign = nullptr;
    QElapsedTimer shown;

    void open()
    {
        OpenDb();
        DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn,
                   RsMode::Read);
        CloseDb();
        host.showMainWindow();
        window = host.mainWindow();
        if (!QTest::qWaitForWindowExposed(window))
            std::fprintf(stderr, "bench: the window was not exposed\n");
        shown.start();
        box = child<QLineEdit>(window, "txtCZ");
        list = child<QTableView>(window, "ListView1")->viewport();
        sign = child<QWidget>(window, "Lab_searching");
    }
    static bool indexReady() { return DataLayer::current().search().figures().readyMs >= 0; }
    // From the change of the search box to the final list on screen.
    double searchUntilFinal(const QString &text)
    {
        QElapsedTimer clock;
        clock.start();
        box->insert(text);
        while (sign->isVisible() && clock.elapsed() < 120000)
            QTest::qWait(1);
        list->repaint();
        return double(clock.nsecsElapsed()) / 1e6;
    }
};

// A fresh process: keystrokes typed from the moment the window shows until
// the index is ready, each timed as the event loop's longest block around it.
int duringBuild(int notes)
{
    const BenchNotebook book(notes);
    if (!book.ready)
        return 1;
    LoopProbe probe;
    FreshStart start;
    start.open();
    const QStringList keys = {"年", "度", "总", "结",   "<bs>", "<bs>", "r",
                              "e",  "p",  "o",  "<bs>", "<bs>", "<bs>", "<bs>",
                              "的", "一", "%",  "是",   "<bs>", "<bs>", "<bs>"};
    std::vector<double> stalls, cpu;
    for (int i = 0; !FreshStart::indexReady() || stalls.size() < 3; ++i) {
        const QString key = keys.at(i % keys.size());
        stalls.push_back(probe.stallAround(
            [&] { key == QLatin1String("<bs>") ? start.box->backspace() : start.box->insert(key); },
            80));
        cpu.push_back(probe.cpuMs);
        if (i > 2000)
            break;
    }
    report("ui_stall_during_build_median_ms", median(stalls), "ms");
    report("ui_stall_during_build_p95_ms", percentile95(stalls), "ms");
    report("ui_stall_during_build_keys", double(stalls.size()), "keys");
    // The same probe with nothing typed, once the index is ready: what the
    // machine's load alone costs the event loop.
    report("ui_cpu_per_key_during_build_median_ms", median(cpu), "ms");
    std::vector<double> idle, idleCpu;
    for (int i = 0; i < 20; ++i) {
        idle.push_back(probe.stallAround([] {}, 80));
        idleCpu.push_back(probe.cpuMs);
    }
    report("ui_stall_idle_median_ms", median(idle), "ms");
    report("ui_stall_idle_p95_ms", percentile95(idle), "ms");
    report("ui_cpu_idle_median_ms", median(idleCpu), "ms");
    const auto figures = DataLayer::current().search().figures();
    report("index_ready_ms", figures.readyMs, "ms");
    report("index_build_cpu_ms", figures.readingCpuMs, "ms");
    ShutdownDb();
    return 0;
}

// A fresh process left alone until the index is ready: the build's own speed,
// without searches competing for the cores.
int readyUntouched(int notes)
{
    const BenchNotebook book(notes);
    if (!book.ready)
        return 1;
    FreshStart start;
    start.open();
    while (!FreshStart::indexReady() && start.shown.elapsed() < 600000)
        QTest::qWait(5);
    const auto figures = DataLayer::current().search().figures();
    report("index_ready_untouched_ms", figures.readyMs, "ms");
    report("index_reading_untouched_ms", figures.readingMs, "ms");
    report("index_build_cpu_untouched_ms", figures.readingCpuMs, "ms");
    // Memory once the index is ready, before any search: what the build
    // itself needed at most, what stays, and the index's own share.
    report("peak_rss_at_index_ready_mb", statusMb("VmHWM:"), "MB");
    report("rss_at_index_ready_mb", statusMb("VmRSS:"), "MB");
    report("index_mb", double(figures.memoryBytes) / (1 << 20), "MB");
    // Another program changes one note: from its commit until the index
    // answers again (it reads the file, taking in only what differs).
    sqlite3 *other = db::openKeyed(databasePath(), false);
    sqlite3_busy_timeout(other, 10000);
    sqlite3_exec(
        other,
        "update 企业日记 set 标题 = 标题 || '改' where bookid = (select max(bookid) from 企业日记)",
        nullptr, nullptr, nullptr);
    sqlite3_close_v2(other);
    QElapsedTimer caughtUp;
    caughtUp.start();
    while (!DataLayer::current().search().ready() && caughtUp.elapsed() < 600000)
        QTest::qWait(5);
    report("index_catch_up_after_foreign_commit_ms", double(caughtUp.nsecsElapsed()) / 1e6, "ms");
    report("index_catch_up_notes_taken", double(DataLayer::current().search().figures().notesTaken),
           "notes");
    ShutdownDb();
    return 0;
}

// A fresh process: one character typed `delayMs` after the window shows.
int firstResult(int notes, int delayMs)
{
    const BenchNotebook book(notes);
    if (!book.ready)
        return 1;
    FreshStart start;
    start.open();
    QTest::qWait(std::max(0, delayMs - int(start.shown.elapsed())));
    const double ms = start.searchUntilFinal(QStringLiteral("的"));
    char name[64];
    std::snprintf(name, sizeof name, "first_result_after_start_ms_at_%gs", delayMs / 1000.0);
    report(name, ms, "ms");
    ShutdownDb();
    return 0;
}
#endif

int runChild(const QString &self, const QStringList &args, double *peak)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(self, args);
    child.waitForFinished(-1);
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        std::printf("%s\n", line.constData());
        if (peak && line.startsWith("peak_rss_mb@"))
            *peak = std::max(*peak, line.split(' ').value(1).toDouble());
    }
    std::fflush(stdout);
    return child.exitCode();
}

// The figures of the first seconds after a start, each in a fresh process.
int runStartFigures(const QString &self, const QString &n, const QStringList &extra)
{
    for (const char *what : {"--during-build", "--ready-untouched"}) {
        if (const int rc =
                runChild(self, QStringList{QString::fromLatin1(what), n} + extra, nullptr))
            return rc;
    }
    for (const char *delay : {"500", "1000", "2000"}) {
        if (const int rc = runChild(
                self,
                QStringList{QStringLiteral("--first-result"), n, QString::fromLatin1(delay)} +
                    extra,
                nullptr))
            return rc;
    }
    return 0;
}

int runAllSizes(const QString &self)
{
    double peak = 0;
    for (int notes : {1000, 10000, 100000}) {
        const QString n = QString::number(notes);
        if (const int rc = runChild(self, {QStringLiteral("--notes"), n}, &peak))
            return rc;
        if (const int rc = runChild(self, {QStringLiteral("--first-search"), n}, nullptr))
            return rc;
#ifdef VARNEL_HAS_SEARCH_ENGINE
        if (notes < 10000)
            continue;
        if (const int rc = runStartFigures(self, n, {}))
            return rc;
#endif
    }
    std::printf("peak_rss_mb %.1f MB\n", peak);
    return 0;
}

#ifdef VARNEL_HAS_SEARCH_ENGINE
// The notebook of 100,000 notes of 10 to 30 KB (about 2 GB): the memory of
// 20,000 long notes, then every figure of today's data, named @100000long.
int runLongNotes(const QString &self)
{
    if (const int rc = runChild(self, {QStringLiteral("--long-only")}, nullptr))
        return rc;
    const QString n = QStringLiteral("100000");
    const QStringList extra{QStringLiteral("--long-notes")};
    if (const int rc = runChild(self, QStringList{QStringLiteral("--notes"), n} + extra, nullptr))
        return rc;
    return runStartFigures(self, n, extra);
}
#endif

} // namespace

int main(int argc, char **argv)
{
    // On the display when there is one (the start-up figures want a real
    // window), else offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    auto option = [&](const char *name) {
        const int at = int(args.indexOf(QString::fromLatin1(name)));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
    };
    if (args.contains(QStringLiteral("--long-notes"))) {
        g_bodyChars = kLongBodies;
        g_label = "long";
    }
    if (!option("--make").isEmpty())
        return makeNotebook(option("--make").toInt(), args.value(args.indexOf("--make") + 2),
                            args.value(args.indexOf("--make") + 3).toInt());
    if (!option("--notes").isEmpty())
        return runOneSize(option("--notes").toInt());
    if (!option("--first-search").isEmpty())
        return firstSearchAfterStart(option("--first-search").toInt());
#ifdef VARNEL_HAS_SEARCH_ENGINE
    if (args.contains(QStringLiteral("--long-only")))
        return longNotes();
    if (!option("--during-build").isEmpty())
        return duringBuild(option("--during-build").toInt());
    if (!option("--ready-untouched").isEmpty())
        return readyUntouched(option("--ready-untouched").toInt());
    if (!option("--first-result").isEmpty())
        return firstResult(option("--first-result").toInt(),
                           args.value(args.indexOf("--first-result") + 2).toInt());
#endif
    const QString self = QCoreApplication::applicationFilePath();
    int rc = runAllSizes(self);
#ifdef VARNEL_HAS_SEARCH_ENGINE
    if (rc == 0 && args.contains(QStringLiteral("--long")))
        rc = runLongNotes(self);
#endif
    return rc;
}

#include "bench_workspace.moc"
