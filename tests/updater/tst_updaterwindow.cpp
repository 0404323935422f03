// The updater window: rows, bars laid over the list, texts and the end of
// the update, against the HTTP test server.

#include "boxanswerer.h"
#include "downloader.h"
#include "frmmain.h"
#include "listcells.h"
#include "listwatcher.h"
#include "progresstext.h"
#include "signedpayload.h"
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
// The values a progress bar had each time it was painted.
class PaintedValues : public QObject
{
  public:
    explicit PaintedValues(QProgressBar *bar) : bar_(bar) { bar->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == bar_ && event->type() == QEvent::Paint)
            values << bar_->value();
        return false;
    }
    QList<int> values;

  private:
    QProgressBar *bar_;
};

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
    void barShowsWhatTheTextSays();
    void unknownLengthShowsBytesAndABusyBar();
    void refusedStartCanBeTriedAgain();
    void failedRowTurnsRed();
    void endBoxSaysWhetherTheUpdateWorked();
    void wholeUpdateReplacesTheProgram();
    void failedUpdateLeavesTheProgramAlone();
    void columnClickShowsItsWidth();
    void siteButtonOpensTheHomePage();
    void demoKeyRefusesASiteOnTheNetwork();

  private:
    static QTreeWidget *list(frmMain &w) { return w.lstDownload; }
    static void checkBarsOverCells(frmMain &w);
    // A window that fetches the signed program from signed_.
    std::unique_ptr<frmMain> signedUpdate(const QString &folder);

    std::unique_ptr<SiteServer> server_;
    QTemporaryDir work_;
    QString payload_;
    std::unique_ptr<SiteServer> signed_; // serves payload_, signed with the demo key
};

void TestUpdaterWindow::initTestCase()
{
    server_ = std::make_unique<SiteServer>();
    QVERIFY2(server_->ok(), qPrintable(server_->error()));
    payload_ = work_.filePath(QStringLiteral("vlbook.exe"));
    QVERIFY(payload::writeFile(payload_, payload::program(256 * 1024)));
    SiteServer::Options options;
    options.download = payload_;
    options.signKey = SiteServer::demoSecretKey();
    signed_ = std::make_unique<SiteServer>(options);
    QVERIFY2(signed_->ok(), qPrintable(signed_->error()));
}

std::unique_ptr<frmMain> TestUpdaterWindow::signedUpdate(const QString &folder)
{
    return std::make_unique<frmMain>(signed_->url(QStringLiteral("/update/vlbook.exe")), folder,
                                     SiteServer::demoPublicKey());
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
    QCOMPARE(w.ProgressBar1.at(0)->value(), 100);
    // The last byte is no success yet: the file still has to be checked and
    // take its place.
    QCOMPARE(row->text(4), QStringLiteral("更新"));
    QVERIFY(boxes.boxes().isEmpty());
    emit w.Downloader1->DownloadComplete(3 * 1048576, key);
    QCOMPARE(row->text(4), QStringLiteral("升级完毕"));
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("恭喜你，升级完成！"));
    QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("Varnel升级"));
    QCOMPARE(boxes.boxes().at(0).icon, QMessageBox::NoIcon);

    // Another row's events leave this one alone.
    emit w.Downloader1->DownloadProgress(1, 4, dir.filePath(QStringLiteral("other")));
    QCOMPARE(row->text(2), QStringLiteral("100%"));
}

// Every progress event repaints the bar with the number its text shows,
// small steps at the start included.
void TestUpdaterWindow::barShowsWhatTheTextSays()
{
    QTemporaryDir dir;
    frmMain w(server_->url(QStringLiteral("/t/hang")), dir.path());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.cmdDownload_Click();
    const QString key = dir.filePath(QStringLiteral("Varnelpad"));
    QTreeWidgetItem *row = list(w)->topLevelItem(0);
    QProgressBar *bar = w.ProgressBar1.at(0);
    PaintedValues painted(bar);
    const qint64 max = 10000000;
    for (const qint64 cur : {qint64(100000), qint64(300000), qint64(400000), qint64(500000),
                             qint64(1234567), qint64(6666666), qint64(9950000)}) {
        emit w.Downloader1->DownloadProgress(cur, max, key);
        QTRY_VERIFY(!painted.values.isEmpty() && painted.values.last() == bar->value());
        QCOMPARE(row->text(2), QString::number(bar->value()) + QLatin1Char('%'));
    }
    QCOMPARE(painted.values.last(), 100); // 99.5% reads "100%"
}

// Without a Content-Length the row counts the bytes and the bar is busy
// until the program is in place.
void TestUpdaterWindow::unknownLengthShowsBytesAndABusyBar()
{
    QVERIFY(
        signed_->setFault(QStringLiteral("/update/vlbook.exe"), QStringLiteral("unsized+paced")));
    QTemporaryDir dir;
    const auto w = signedUpdate(dir.path());
    w->show();
    QStringList seen; // the row's cells and the bar's range at each event
    connect(w->Downloader1, &Downloader::DownloadReceived, this, [&](qint64, const QString &) {
        QTreeWidgetItem *row = list(*w)->topLevelItem(0);
        QProgressBar *bar = w->ProgressBar1.at(0);
        seen << QStringLiteral("%1|%2|%3|%4-%5")
                    .arg(row->text(2), row->text(3), row->text(4))
                    .arg(bar->minimum())
                    .arg(bar->maximum());
    });
    BoxAnswerer boxes;
    QTest::mouseClick(w->cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 30000);
    signed_->setFault(QStringLiteral("/update/vlbook.exe"), QStringLiteral("none"));

    QVERIFY(!seen.isEmpty());
    static const QRegularExpression busyRow(
        QStringLiteral("^\\d+\\.\\d+ [KM]B\\|未知\\|更新\\|0-0$"));
    for (const QString &line : seen)
        QVERIFY2(busyRow.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(boxes.texts(),
             (QStringList{QStringLiteral("恭喜你，升级完成！"), QStringLiteral("Varnel升级完毕")}));
    QTreeWidgetItem *row = list(*w)->topLevelItem(0);
    QCOMPARE(row->text(2), QStringLiteral("100%"));
    QCOMPARE(row->text(4), QStringLiteral("升级完毕"));
    QCOMPARE(w->ProgressBar1.at(0)->maximum(), 100);
    QCOMPARE(w->ProgressBar1.at(0)->value(), 100);
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("Varnelpad"))), fileContents(payload_));
}

// A start the engine refuses shows its box, marks the row failed and lets
// the user start again.
void TestUpdaterWindow::refusedStartCanBeTriedAgain()
{
    QTemporaryDir dir;
    const auto w = signedUpdate(dir.path());
    const QString good = w->downloadUrl_;
    w->downloadUrl_ = QStringLiteral("ftp://127.0.0.1/vlbook.exe");
    w->show();
    BoxAnswerer boxes;
    QTest::mouseClick(w->cmdDownload, Qt::LeftButton);
    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("错误"));
    QTreeWidgetItem *row = list(*w)->topLevelItem(0);
    QCOMPARE(row->text(4), QStringLiteral("更新错误"));
    QCOMPARE(row->foreground(4).color(), QColor(255, 0, 0));
    QVERIFY(w->cmdDownload->isEnabled());
    QVERIFY(w->isVisible());
    QVERIFY(w->updateFailed());

    w->downloadUrl_ = good;
    QTest::mouseClick(w->cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 30000);
    QCOMPARE(boxes.texts().mid(1),
             (QStringList{QStringLiteral("恭喜你，升级完成！"), QStringLiteral("Varnel升级完毕")}));
    QVERIFY(!w->updateFailed());
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("Varnelpad"))), fileContents(payload_));
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
    const auto w = signedUpdate(dir.path());
    w->show();
    BoxAnswerer boxes;
    QTest::mouseClick(w->cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 30000);
    QCOMPARE(boxes.texts(),
             (QStringList{QStringLiteral("恭喜你，升级完成！"), QStringLiteral("Varnel升级完毕")}));
    QCOMPARE(fileContents(program), fileContents(payload_));
    QVERIFY(QFileInfo(program).isExecutable());
    QCOMPARE(list(*w)->topLevelItem(0)->text(4), QStringLiteral("升级完毕"));
    QVERIFY(!w->updateFailed());
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
    QVERIFY(w.updateFailed());
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

// Anyone can sign with the demo key: built with it, the updater does not
// even ask a site elsewhere for the signature.
void TestUpdaterWindow::demoKeyRefusesASiteOnTheNetwork()
{
    QTemporaryDir dir;
    frmMain w(QStringLiteral("http://192.0.2.1/update/vlbook.exe"), dir.path(),
              SiteServer::demoPublicKey());
    w.show();
    BoxAnswerer boxes;
    QTest::mouseClick(w.cmdDownload, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY2(boxes.texts().at(0).contains(QStringLiteral("只认演示用的签名密钥")),
             qPrintable(boxes.texts().at(0)));
    QVERIFY(w.updateFailed());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

VARNEL_TEST_CLASS(TestUpdaterWindow);
#include "tst_updaterwindow.moc"
