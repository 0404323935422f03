// The updater window: rows, bars laid over the list, texts and the end of
// the update, against the HTTP test server.

#include "boxanswerer.h"
#include "downloader.h"
#include "frmmain.h"
#include "listcells.h"
#include "listwatcher.h"
#include "progresstext.h"
#include "siteserver.h"
#include "testfolder.h"
#include "testmain.h"
#include "updaterinfo.h"

#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace
{
// Records the addresses the window asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class TestUpdaterWindow : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void textsOfTheCells();
    void barLiesCentredInTheCell();
    void windowAtStart();
    void colourCycleOfNewBars();
    void barsFollowScrollingKeysAndColumns();
    void progressFillsTheRow();
    void failedRowTurnsRed();
    void endBoxSaysWhetherTheUpdateWorked();
    void wholeUpdateReplacesTheProgram();
    void failedUpdateLeavesTheProgramAlone();
    void columnClickShowsItsWidth();
    void siteButtonOpensTheHomePage();

  private:
    static QTreeWidget *list(frmMain &w) { return w.lstDownload; }
    static void checkBarsOverCells(frmMain &w);
    std::unique_ptr<SiteServer> server_;
};

void TestUpdaterWindow::initTestCase()
{
    server_ = std::make_unique<SiteServer>();
    QVERIFY2(server_->ok(), qPrintable(server_->error()));
}

void TestUpdaterWindow::textsOfTheCells()
{
    QCOMPARE(progresstext::percent(1, 2), QStringLiteral("50%"));
    QCOMPARE(progresstext::percent(0, 100), QStringLiteral("0%"));
    QCOMPARE(progresstext::percent(1, 3), QStringLiteral("33%"));
    QCOMPARE(progresstext::percent(2, 3), QStringLiteral("67%"));
    QCOMPARE(progresstext::percent(5000000000LL, 5000000000LL), QStringLiteral("100%"));
    QCOMPARE(progresstext::remaining(0), QStringLiteral("0.0 KB"));
    QCOMPARE(progresstext::remaining(1536), QStringLiteral("1.5 KB"));
    QCOMPARE(progresstext::remaining(1048575), QStringLiteral("1024.0 KB"));
    QCOMPARE(progresstext::remaining(1048576), QStringLiteral("1.00 MB"));
    QCOMPARE(progresstext::remaining(5LL * 1024 * 1024 * 1024), QStringLiteral("5120.00 MB"));
}

void TestUpdaterWindow::barLiesCentredInTheCell()
{
    // A cell 120 x 20 at (150, 25): 20 twips in, flush right, half high, centred.
    const BarPlacement p = barPlacement(QRect(150, 25, 120, 20));
    QCOMPARE(p.geometry, QRect(151, 30, 119, 10));
    QVERIFY(p.visible);
    QVERIFY(barPlacement(QRect(150, 4, 120, 20)).visible);
    QVERIFY(!barPlacement(QRect(150, 3, 120, 20)).visible);
    QVERIFY(!barPlacement(QRect(150, -40, 120, 20)).visible);
}

void TestUpdaterWindow::windowAtStart()
{
    frmMain w(server_->url(QStringLiteral("/t/404")), QDir::tempPath());
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnel升级 v1.0.14更新"));
    QTreeWidget *l = list(w);
    QCOMPARE(l->topLevelItemCount(), 0);
    QCOMPARE(l->columnCount(), 5);
    QStringList headers;
    for (int c = 0; c < 5; ++c)
        headers << l->headerItem()->text(c);
    QCOMPARE(headers,
             (QStringList{QStringLiteral("程序"), QStringLiteral("状态"), QStringLiteral("进度"),
                          QStringLiteral("剩余"), QStringLiteral("状态")}));
    auto *start = w.findChild<QPushButton *>(QStringLiteral("cmdDownload"));
    QVERIFY(start && start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("开始升级"));
    QCOMPARE(w.findChild<QPushButton *>(QStringLiteral("cmdExit"))->text(),
             QStringLiteral("网站下载新版Varnel"));
    QCOMPARE(w.ProgressBar1.size(), 1);
}

void TestUpdaterWindow::colourCycleOfNewBars()
{
    frmMain w(server_->url(QStringLiteral("/t/404")), QDir::tempPath());
    QCOMPARE(w.barColor(1).red, 20);
    QCOMPARE(w.barColor(3).blue, 255);
    QCOMPARE(w.barColor(7).green, 214);
    QCOMPARE(w.barColor(9).red, 255);
    for (int i = 0; i < 7; ++i)
        w.IncrementColorIndex();
    QCOMPARE(w.ColorIndex(), 7);
    w.IncrementColorIndex();
    QCOMPARE(w.ColorIndex(), 0);

    // Twelve rows: bar 0 keeps its look, bars 1 to 11 take entries 0..7, 0, 1, 2.
    QTemporaryDir dir;
    for (int i = 0; i < 12; ++i)
        w.DownloadaFile(QStringLiteral("文件%1").arg(i), server_->url(QStringLiteral("/t/hang")),
                        QStringLiteral("f%1").arg(i));
    w.AttachProgressBars();
    QCOMPARE(w.ProgressBar1.size(), 12);
    QVERIFY(w.ProgressBar1.at(0)->styleSheet().isEmpty());
    const int expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2};
    for (int i = 1; i < 12; ++i) {
        const frmMain::BarColor c = w.barColor(expected[i - 1]);
        const QString style = w.ProgressBar1.at(i)->styleSheet();
        QVERIFY2(style.contains(QStringLiteral("chunk { background-color: rgb(%1, %2, %3)")
                                    .arg(c.red)
                                    .arg(c.green)
                                    .arg(c.blue)),
                 qPrintable(style));
        QVERIFY(style.contains(QStringLiteral("QProgressBar { background-color: rgb(0, 0, 0)")));
    }
    QCOMPARE(w.ColorIndex(), 3);
}

// Every bar lies where its row's second cell says, shown only below the
// 3-pixel line.
void TestUpdaterWindow::checkBarsOverCells(frmMain &w)
{
    QTreeWidget *l = list(w);
    const QPoint origin = l->viewport()->geometry().topLeft() - l->contentsRect().topLeft();
    for (int i = 0; i < w.ProgressBar1.size(); ++i) {
        QRect cell;
        QVERIFY(GetListSubItemRect(l, i, 1, cell));
        const BarPlacement p = barPlacement(cell);
        QCOMPARE(w.ProgressBar1.at(i)->geometry(), p.geometry.translated(-origin));
        QVERIFY2(w.ProgressBar1.at(i)->isVisibleTo(l) == p.visible,
                 qPrintable(QStringLiteral("bar %1 cell top %2").arg(i).arg(cell.top())));
    }
}

void TestUpdaterWindow::barsFollowScrollingKeysAndColumns()
{
    QTemporaryDir dir;
    frmMain w(server_->url(QStringLiteral("/t/404")), dir.path());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString hanging = server_->url(QStringLiteral("/t/hang"));
    for (int i = 0; i < 40; ++i)
        w.DownloadaFile(QStringLiteral("文件%1").arg(i), hanging, QStringLiteral("f%1").arg(i));
    w.AttachProgressBars();
    QTreeWidget *l = list(w);
    checkBarsOverCells(w);
    QRect firstCell;
    QVERIFY(GetListSubItemRect(l, 0, 1, firstCell));
    QVERIFY(firstCell.top() > 3);
    QVERIFY(w.ProgressBar1.at(0)->isVisibleTo(l));
    QVERIFY(l->verticalScrollBar()->maximum() > 0);

    // The watcher reports once the list has handled the input; then the bars
    // must lie over their cells again.
    QSignalSpy relaid(w.Subclass1, &ListWatcher::ListChanged);
    const auto settled = [&relaid]() { return relaid.wait(5000); };

    l->setFocus();
    QTest::keyClick(l, Qt::Key_End);
    QVERIFY(settled());
    checkBarsOverCells(w);
    QVERIFY(!w.ProgressBar1.at(0)->isVisibleTo(l));
    QVERIFY(w.ProgressBar1.at(39)->isVisibleTo(l));

    QTest::keyClick(l, Qt::Key_PageUp);
    QVERIFY(settled());
    checkBarsOverCells(w);
    QTest::keyClick(l, Qt::Key_Home);
    QVERIFY(settled());
    checkBarsOverCells(w);
    QVERIFY(w.ProgressBar1.at(0)->isVisibleTo(l));
    QTest::keyClick(l, Qt::Key_Down);
    QVERIFY(settled());
    checkBarsOverCells(w);

    // The wheel over the rows.
    const QPoint centre = l->viewport()->rect().center();
    QWheelEvent wheel(centre, l->viewport()->mapToGlobal(centre), QPoint(), QPoint(0, -360),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(l->viewport(), &wheel);
    QVERIFY(settled());
    checkBarsOverCells(w);
    QVERIFY(!w.ProgressBar1.at(0)->isVisibleTo(l));

    // A wider first column pushes every bar to the right.
    l->verticalScrollBar()->setValue(0);
    QVERIFY(settled());
    const int before = w.ProgressBar1.at(0)->x();
    l->header()->resizeSection(0, l->header()->sectionSize(0) + 40);
    QVERIFY(settled());
    QCOMPARE(w.ProgressBar1.at(0)->x(), before + 40);
    checkBarsOverCells(w);
}

void TestUpdaterWindow::progressFillsTheRow()
{
    QTemporaryDir dir;
    frmMain w(server_->url(QStringLiteral("/t/hang")), dir.path());
    w.cmdDownload_Click();
    QTreeWidget *l = list(w);
    QCOMPARE(l->topLevelItemCount(), 1);
    QTreeWidgetItem *row = l->topLevelItem(0);
    const QString key = dir.filePath(QStringLiteral("Varnelpad"));
    QCOMPARE(row->data(0, Qt::UserRole).toString(), key);
    QCOMPARE(row->text(0), QStringLiteral(" Varnel主程序升级"));
    QCOMPARE(row->text(4), QStringLiteral("连接中..."));
    QVERIFY(!w.cmdDownload->isEnabled());

    BoxAnswerer boxes;
    emit w.Downloader1->DownloadProgress(1048576, 3 * 1048576, key);
    QCOMPARE(row->text(2), QStringLiteral("33%"));
    QCOMPARE(row->text(3), QStringLiteral("2.00 MB"));
    QCOMPARE(row->text(4), QStringLiteral("更新"));
    QCOMPARE(w.ProgressBar1.at(0)->value(), 33);
    emit w.Downloader1->DownloadProgress(3 * 1048576 - 1024, 3 * 1048576, key);
    QCOMPARE(row->text(3), QStringLiteral("1.0 KB"));
    QVERIFY(boxes.boxes().isEmpty());

    emit w.Downloader1->DownloadProgress(3 * 1048576, 3 * 1048576, key);
    QCOMPARE(row->text(2), QStringLiteral("100%"));
    QCOMPARE(row->text(3), QStringLiteral("0.0 KB"));
    QCOMPARE(row->text(4), QStringLiteral("升级完毕"));
    QCOMPARE(w.ProgressBar1.at(0)->value(), 100);
    // The last byte is no success yet: the file still has to take its place.
    QVERIFY(boxes.boxes().isEmpty());
    emit w.Downloader1->DownloadComplete(3 * 1048576, key);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("恭喜你，升级完成！"));
    QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("Varnel升级"));
    QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::NoIcon);

    // Another row's events leave this one alone.
    emit w.Downloader1->DownloadProgress(1, 4, dir.filePath(QStringLiteral("other")));
    QCOMPARE(row->text(2), QStringLiteral("100%"));
}

void TestUpdaterWindow::failedRowTurnsRed()
{
    QTemporaryDir dir;
    frmMain w(server_->url(QStringLiteral("/t/hang")), dir.path());
    w.cmdDownload_Click();
    QTreeWidgetItem *row = list(w)->topLevelItem(0);
    emit w.Downloader1->DownloadError(dir.filePath(QStringLiteral("Varnelpad")));
    QCOMPARE(row->text(4), QStringLiteral("更新错误"));
    QCOMPARE(row->foreground(0).color(), QColor(255, 0, 0));
    QCOMPARE(row->foreground(4).color(), QColor(255, 0, 0));
}

void TestUpdaterWindow::endBoxSaysWhetherTheUpdateWorked()
{
    QTemporaryDir dir;
    {
        frmMain w(server_->url(QStringLiteral("/t/404")), dir.path());
        w.show();
        w.cmdDownload->setEnabled(false);
        BoxAnswerer boxes;
        emit w.Downloader1->DownloadAllComplete(QStringList{QString()});
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("Varnel升级完毕"));
        QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("Varnel提示"));
        QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::Warning);
        QVERIFY(w.cmdDownload->isEnabled());
        QVERIFY(!w.isVisible());
    }
    {
        frmMain w(server_->url(QStringLiteral("/t/404")), dir.path());
        w.show();
        BoxAnswerer boxes;
        emit w.Downloader1->DownloadAllComplete(QStringList{QString(), dir.filePath("Varnelpad")});
        QCOMPARE(boxes.boxes().size(), 1);
        QVERIFY(boxes.boxes().at(0).text.startsWith(
            QStringLiteral("Varnel升级失败，原来的程序没有改动。")));
        QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("Varnel提示"));
        QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::Critical);
        QVERIFY(!w.isVisible());
    }
}

void TestUpdaterWindow::wholeUpdateReplacesTheProgram()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("Varnelpad"));
    frmMain w(server_->url(QStringLiteral("/t/ok?size=2500000")), dir.path());
    w.show();
    BoxAnswerer boxes;
    QTest::mouseClick(w.cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
    QCOMPARE(boxes.texts(),
             (QStringList{QStringLiteral("恭喜你，升级完成！"), QStringLiteral("Varnel升级完毕")}));
    QCOMPARE(fileContents(program), SiteServer::pattern(2500000));
    QVERIFY(QFileInfo(program).isExecutable());
    QCOMPARE(list(w)->topLevelItem(0)->text(4), QStringLiteral("升级完毕"));
}

void TestUpdaterWindow::failedUpdateLeavesTheProgramAlone()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("Varnelpad"));
    {
        QFile old(program);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old program");
    }
    frmMain w(server_->url(QStringLiteral("/t/short?size=300000&sent=100000")), dir.path());
    w.show();
    BoxAnswerer boxes;
    QTest::mouseClick(w.cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 30000);
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.texts().at(0).contains(QStringLiteral("升级失败")));
    QCOMPARE(fileContents(program), QByteArray("old program"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList{"Varnelpad"});
    QCOMPARE(list(w)->topLevelItem(0)->text(4), QStringLiteral("更新错误"));
}

void TestUpdaterWindow::columnClickShowsItsWidth()
{
    frmMain w(server_->url(QStringLiteral("/t/404")), QDir::tempPath());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget *l = list(w);
    l->setColumnWidth(2, 77);
    BoxAnswerer boxes;
    QHeaderView *header = l->header();
    const QPoint middle(header->sectionViewportPosition(2) + 30, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, middle);
    QTRY_COMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("77"));
    QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("Varnel升级"));
    QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::Information);
}

void TestUpdaterWindow::siteButtonOpensTheHomePage()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    frmMain w(server_->url(QStringLiteral("/t/404")), QDir::tempPath());
    w.show();
    QTest::mouseClick(w.cmdExit, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(updater::siteUrl())});
    QCOMPARE(w.cmdExit->isEnabled(), true);
}

VARNEL_TEST_CLASS(TestUpdaterWindow);
#include "tst_updaterwindow.moc"
