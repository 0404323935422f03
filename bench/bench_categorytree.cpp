// Times the main window's category tree reading 40,000 categories of each
// shape a database file can hold: read, placed, built and laid out, as every
// load of the window and every menu action of the tree does it. Prints
// "tree_<shape>@40000 value ms" per shape (the clock), and
// "tree_<shape>_cpu@40000 value ms" (the processor time, which other programs
// on the machine do not inflate); each shape runs in its own process,
// and one that crashes or runs past a minute is reported so.
//
//     bench_categorytree                  every shape
//     bench_categorytree --shape NAME     one shape

#include "base/appinfo.h"
#include "store/database.h"
#include "frmminbook.h"
#include "provisioning.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <ctime>

using namespace varnel;

namespace
{

constexpr int kCount = 40000;
const char *const kShapes[] = {"flat",       "chain",         "reverse_chain", "missing_parents",
                               "two_cycles", "random_parents"};

// The parent of the category with id i (1-based) in each shape.
qint64 parentOf(const QString &shape, int i)
{
    if (shape == u"chain") // each below the row before it
        return i - 1;
    if (shape == u"reverse_chain") // each below the row after it
        return i == kCount ? 0 : i + 1;
    if (shape == u"missing_parents")
        return kCount + i;
    if (shape == u"two_cycles") // 1<->2, 3<->4, ...
        return i % 2 ? i + 1 : i - 1;
    if (shape == u"random_parents")
        return (qint64(i) * 7919 + 13) % (kCount + 1);
    return 0;
}

// The processor time of this thread: unlike the clock, it does not grow
// while other programs have the machine.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void fillCategories(const QString &shape)
{
    OpenDb();
    DbConn->Execute(QStringLiteral("begin"));
    for (int i = 1; i <= kCount; ++i) {
        DbConn->Execute(QStringLiteral("insert into 分类 (id, bh, mc) values (?1, ?2, ?3)"),
                        {i, parentOf(shape, i), QStringLiteral("分类%1").arg(i)});
    }
    DbConn->Execute(QStringLiteral("commit"));
    CloseDb();
}

int runShape(const QString &shape)
{
    QTemporaryDir dir;
    if (!provisionProgramFolder(dir.path()))
        return 1;
    setProgramFolder(dir.path());
    fillCategories(shape);
    FrmMinBook window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("trv"));
    window.show();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = threadCpuMs();
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 分类"), *DbConn, RsMode::Read);
    window.LoadData();
    CloseDb();
    tree->grab(); // lays the tree out and paints it
    QCoreApplication::processEvents();
    const double cpu = threadCpuMs() - cpuStart;
    std::printf("tree_%s@%d %.1f ms\n", qPrintable(shape), kCount, timer.nsecsElapsed() / 1e6);
    std::printf("tree_%s_cpu@%d %.1f ms\n", qPrintable(shape), kCount, cpu);
    std::fflush(stdout);
    ShutdownDb();
    return 0;
}

int runAllShapes(const QString &self)
{
    for (const char *shape : kShapes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, {QStringLiteral("--shape"), QLatin1String(shape)});
        const bool finished = child.waitForFinished(60000);
        if (!finished) {
            child.kill();
            child.waitForFinished();
        }
        const QByteArray out = child.readAllStandardOutput().trimmed();
        if (finished && child.exitStatus() == QProcess::NormalExit && !out.isEmpty())
            std::printf("%s\n", out.constData());
        else
            std::printf("tree_%s@%d %s\n", shape, kCount, finished ? "crashed" : "over-60000 ms");
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--shape")));
    if (at > 0 && at + 1 < args.size())
        return runShape(args.at(at + 1));
    return runAllShapes(QCoreApplication::applicationFilePath());
}
