// Times the main window at 1,000, 10,000 and 100,000 notes, the way the user
// meets it: the window's load, every kind of change of the search box (from
// the change to the list painted with the new result), save and re-list, a
// category click, the export, the first search after a fresh start, and the
// process's peak memory. Prints one line per figure: "name@notes value unit".
//
//     bench_workspace              all three sizes, each in fresh processes
//     bench_workspace --notes N    one size
//
// The notebooks are generated once by a process of their own and kept under
// the temporary folder, so that generating them counts in no figure.

#include "appinfo.h"
#include "benchdata.h"
#include "database.h"
#include "dbengine.h"
#include "frmminbook.h"
#include "provisioning.h"
#include "windowhost.h"

#if __has_include("search/notesearch.h")
#include "search/notesearch.h"
#define VARNEL_HAS_SEARCH_ENGINE 1
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
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
#include <functional>
#include <vector>

using namespace varnel;

namespace
{

int g_notes = 0;

void report(const char *name, double value, const char *unit)
{
    std::printf("%s@%d %.1f %s\n", name, g_notes, value, unit);
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

double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
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
QString cachedNotebook(int notes)
{
    const QString cache = QDir::tempPath() + QStringLiteral("/varnel-bench-%1.db").arg(notes);
    if (!QFile::exists(cache)) {
        QProcess maker;
        maker.setProcessChannelMode(QProcess::ForwardedChannels);
        maker.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--make"), QString::number(notes), cache});
        maker.waitForFinished(-1);
    }
    return cache;
}

int makeNotebook(int notes, const QString &target)
{
    QTemporaryDir dir;
    if (!provisionProgramFolder(dir.path()))
        return 1;
    setProgramFolder(dir.path());
    fillNotebook(notes);
    ShutdownDb();
    return QFile::copy(databasePath(), target + QStringLiteral(".part")) &&
                   QFile::rename(target + QStringLiteral(".part"), target)
               ? 0
               : 1;
}

bool useNotebook(const QTemporaryDir &dir, int notes)
{
    if (!provisionProgramFolder(dir.path()))
        return false;
    setProgramFolder(dir.path());
    QFile::remove(databasePath());
    return QFile::copy(cachedNotebook(notes), databasePath());
}

// Opens the database the way the start-up sequence does and lets the search
// index build, as it does while the program sits in the tray.
void startUp()
{
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn, RsMode::Read);
    CloseDb();
#ifdef VARNEL_HAS_SEARCH_ENGINE
    search::NoteSearch::instance().waitUntilReady(600000);
    const auto figures = search::NoteSearch::instance().figures();
    report("index_build_ms", figures.buildMs, "ms");
    report("index_bytes_per_note",
           figures.notes ? double(figures.memoryBytes) / double(figures.notes) : 0, "B");
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
    std::vector<double> saves;
    for (int i = 0; i < 10; ++i) {
        title->setText(QStringLiteral("基准测试 %1").arg(i));
        body->setPlainText(QStringLiteral("保存并重新列出所有记事。"));
        saves.push_back(timeMs(list, [&]() { QTest::keyRelease(body, Qt::Key_F1); }));
    }
    report("save_relist_median_ms", median(saves), "ms");

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
    std::vector<double> lists;
    for (const char *button : {"cmdALL", "cmd_nopass", "cmdALL", "cmd_nopass", "cmdALL",
                               "cmd_nopass", "cmdALL", "cmd_nopass", "cmdALL", "cmd_nopass"}) {
        auto *b = child<QAbstractButton>(window, button);
        lists.push_back(timeMs(list, [&]() { QTest::mouseClick(b, Qt::LeftButton); }));
    }
    report("all_or_pending_median_ms", median(lists), "ms");

    QTest::mouseClick(child<QAbstractButton>(window, "cmdALL"), Qt::LeftButton);
    BoxCloser closer;
    qApp->installEventFilter(&closer);
    closer.clock.start();
    QTest::mouseClick(child<QAbstractButton>(window, "cmd_out"), Qt::LeftButton);
    qApp->removeEventFilter(&closer);
    report("export_ms", closer.shownAt, "ms");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

int runOneSize(int notes)
{
    g_notes = notes;
    QTemporaryDir dir;
    if (!useNotebook(dir, notes))
        return 1;
    startUp();
    benchWindow(benchData());
    report("peak_rss_mb", peakRssMb(), "MB");
    ShutdownDb();
    return 0;
}

// A fresh process: start-up, the window opened once the index is built, and
// one character typed into the search box.
int firstSearchAfterStart(int notes)
{
    g_notes = notes;
    QTemporaryDir dir;
    if (!useNotebook(dir, notes))
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

int runAllSizes(const QString &self)
{
    double peak = 0;
    for (int notes : {1000, 10000, 100000}) {
        const QString n = QString::number(notes);
        if (const int rc = runChild(self, {QStringLiteral("--notes"), n}, &peak))
            return rc;
        if (const int rc = runChild(self, {QStringLiteral("--first-search"), n}, nullptr))
            return rc;
    }
    std::printf("peak_rss_mb %.1f MB\n", peak);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = app.arguments();
    auto option = [&](const char *name) {
        const int at = int(args.indexOf(QString::fromLatin1(name)));
        return at > 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
    };
    if (!option("--make").isEmpty())
        return makeNotebook(option("--make").toInt(), args.value(args.indexOf("--make") + 2));
    if (!option("--notes").isEmpty())
        return runOneSize(option("--notes").toInt());
    if (!option("--first-search").isEmpty())
        return firstSearchAfterStart(option("--first-search").toInt());
    return runAllSizes(QCoreApplication::applicationFilePath());
}

#include "bench_workspace.moc"
