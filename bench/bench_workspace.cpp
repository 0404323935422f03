// Times the main window at 1,000, 10,000 and 100,000 notes: window load, the
// search as the user types, save and re-list, a category click and the
// export, plus the same search as a bare SQL statement for comparison.
// Prints one line per figure: "name@notes value unit".
//
//     bench_workspace              all three sizes, each in its own process
//     bench_workspace --notes N    one size

#include "appinfo.h"
#include "benchdata.h"
#include "database.h"
#include "dbengine.h"
#include "frmminbook.h"
#include "provisioning.h"
#include "windowhost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
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
    return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 95 / 100)];
}

double timeMs(const std::function<void()> &action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e6;
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
            shownAt = clock.nsecsElapsed() / 1e6;
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

void timeOpenDb()
{
    ShutdownDb();
    auto operation = []() {
        OpenDb();
        DbRs->Open(QStringLiteral("select * from 系统用户表 where Czy='admin'"), *DbConn,
                   RsMode::Read);
        CloseDb();
    };
    report("opendb_cold_ms", timeMs(operation), "ms");
    std::vector<double> warm;
    for (int i = 0; i < 20; ++i)
        warm.push_back(timeMs(operation));
    report("opendb_warm_ms", median(warm), "ms");
}

std::vector<double> typeTerms(QLineEdit *box, const QStringList &terms, int rounds)
{
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        for (const QString &term : terms) {
            box->setText(term.chopped(1));
            QCoreApplication::processEvents();
            // One typed character: what a key press or an input method commits.
            times.push_back(timeMs([&]() { box->insert(term.right(1)); }));
        }
    }
    box->clear();
    return times;
}

double floorSearch(const QStringList &terms)
{
    // A bare keyed connection with SQLite's own LIKE and nothing of ours.
    sqlite3 *db = nullptr;
    sqlite3_open_v2(databasePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_key(db, "Rv8-tq2Lm0", 10);
    sqlite3_exec(db, "PRAGMA cipher_page_size = 4096;", nullptr, nullptr, nullptr);
    std::vector<double> times;
    for (const QString &term : terms) {
        times.push_back(timeMs([&]() {
            db::Statement stmt(db,
                               QStringLiteral("select * from 企业日记 where 标题 like '%'||?1||'%' "
                                              "or 内容 like '%'||?1||'%' or 时间 like '%'||?1||'%'"
                                              "    ORDER by 处理 asc,bookid desc"),
                               {term});
            while (stmt.step())
                stmt.value(2);
        }));
    }
    sqlite3_close_v2(db);
    return median(times);
}

void benchWindow(const BenchData &data)
{
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
    WindowHost host;
    report("load_ms", timeMs([&]() { host.showMainWindow(); }), "ms");
    FrmMinBook *window = host.mainWindow();
    auto *search = child<QLineEdit>(window, "txtCZ");

    const std::vector<double> keys = typeTerms(search, data.rareTerms, 1);
    report("keystroke_median_ms", median(keys), "ms");
    report("keystroke_p95_ms", percentile95(keys), "ms");
    report("keystroke_wide_median_ms", median(typeTerms(search, data.wideTerms, 10)), "ms");
    const double floor = floorSearch(data.rareTerms);
    report("floor_ms", floor, "ms");
    std::printf("keystroke_floor_ratio@%d %.3f x\n", g_notes, floor > 0 ? median(keys) / floor : 0);

    auto *title = child<QLineEdit>(window, "Text1");
    auto *body = child<QPlainTextEdit>(window, "Text2");
    std::vector<double> saves;
    for (int i = 0; i < 10; ++i) {
        title->setText(QStringLiteral("基准测试 %1").arg(i));
        body->setPlainText(QStringLiteral("保存并重新列出所有记事。"));
        saves.push_back(timeMs([&]() { QTest::keyRelease(body, Qt::Key_F1); }));
    }
    report("save_relist_ms", median(saves), "ms");

    auto *tree = child<QTreeWidget>(window, "trv");
    std::vector<double> clicks;
    QTreeWidgetItem *root = tree->topLevelItem(0);
    for (int i = 0; root && i < std::min(10, root->childCount()); ++i) {
        const QRect rect = tree->visualItemRect(root->child(i));
        clicks.push_back(timeMs(
            [&]() { QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center()); }));
    }
    report("category_click_ms", median(clicks), "ms");

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
    if (!provisionProgramFolder(dir.path()))
        return 1;
    setProgramFolder(dir.path());
    const BenchData data = fillNotebook(notes);
    timeOpenDb();
    benchWindow(data);
    report("peak_rss_mb", peakRssMb(), "MB");
    ShutdownDb();
    return 0;
}

int runAllSizes(const QString &self)
{
    double peak = 0;
    for (int notes : {1000, 10000, 100000}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, {QStringLiteral("--notes"), QString::number(notes)});
        child.waitForFinished(-1);
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            std::printf("%s\n", line.constData());
            if (line.startsWith("peak_rss_mb@"))
                peak = std::max(peak, line.split(' ').value(1).toDouble());
        }
        std::fflush(stdout);
        if (child.exitCode() != 0)
            return child.exitCode();
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
    const int at = int(args.indexOf(QStringLiteral("--notes")));
    if (at > 0 && at + 1 < args.size())
        return runOneSize(args.at(at + 1).toInt());
    return runAllSizes(QCoreApplication::applicationFilePath());
}

#include "bench_workspace.moc"
