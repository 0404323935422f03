// The window's frame: hiding and showing again, the skin picture and menu,
// links and buttons, hover feedback, the web notices and the update box.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "reachnotice.h"
#include "skinengine.h"
#include "updatelaunch.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <map>

class TestWindowFrame : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void hidingDestroysAndShowingRebuilds();
    void minimisingUnloads();
    void loadWithoutTheDatabaseLeavesAWorkingWindow();
    void withoutTrayTheHotKeyIsNamedOnce();
    void withNoWayBackTheWindowOnlyMinimises();
    void hidingFollowsTheWaysBack_data();
    void hidingFollowsTheWaysBack();
    void exitOnTheStripWhileThereIsNoTray();
    void storedSkinIsPaintedAndMissingOnesAreNot();
    void skinMenuOrderAndChoice();
    void missingSkinFileKeepsThePictureButStoresTheNumber();
    void linksOpenTheirAddresses();
    void settingsOpenModally();
    void hoverFeedback();
    void helpLineNamesTheHotKeyWhileItWorks_data();
    void helpLineNamesTheHotKeyWhileItWorks();
    void noticeLinesRotateIntoTheHelpLine();
    void noPageChangesNothing();
    void eachNoticeLineTakesItsTurn();
    void updateBoxShowsTheUpdateText();
    void newerVersionStartsTheUpdaterAndEnds();
    void sameOrOlderVersionSaysSo();
    void unusableVersionDoesNothing();
    void updaterThatCannotStartIsReported();

  private:
    using Values = std::map<QString, QString>;
    static FrmMinBook::NoticeSource source(const Values &values);
    QStringList started_;
    int quits_ = 0;
    bool startWorks_ = true;
};

FrmMinBook::NoticeSource TestWindowFrame::source(const Values &values)
{
    return [values](const QString &name) -> std::optional<QString> {
        const auto it = values.find(name);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    };
}

void TestWindowFrame::init()
{
    started_.clear();
    quits_ = 0;
    startWorks_ = true;
    varnel::UpdateLaunch::start = [this](const QString &program) {
        started_.append(program);
        return startWorks_;
    };
    varnel::UpdateLaunch::quit = [this] { ++quits_; };
    FrmMinBook::forgetHotKeyNotice();
}

void TestWindowFrame::cleanup()
{
    varnel::UpdateLaunch::start = [](const QString &) { return false; };
    varnel::UpdateLaunch::quit = [] {};
}

void TestWindowFrame::hidingDestroysAndShowingRebuilds()
{
    Workspace ws;
    addCategory(3, 0, QStringLiteral("三"));
    addNote(QStringLiteral("三的"), {}, 3);
    addNote(QStringLiteral("零的"), {}, 0);
    ws.show();
    QVERIFY(ws.clickNode(QStringLiteral("K_3")));
    QTest::mouseClick(ws.button("cmd_change"), Qt::LeftButton);
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    QPointer<FrmMinBook> first = ws.window();

    DialogCatcher dialogs;
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(dialogs.seen, QStringList()); // the tray icon is there: nothing to say

    addNote(QStringLiteral("隐藏时加的"), {});
    ws.show();
    QVERIFY(ws.window());
    QCOMPARE(ws.edit("Text5")->text(), QStringLiteral("0"));
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【3】条信息"));
    QCOMPARE(ws.rows(), 3);
    QCOMPARE(ws.get<QPlainTextEdit>("Text2")->height(), 136);
    QVERIFY(ws.get<QWidget>("UpdateBox")->isHidden());
    QCOMPARE(ws.label("lab_title")->text(), QStringLiteral("Varnelpad v1.1.2"));
    QVERIFY(ws.node(QStringLiteral("K_3")));
}

void TestWindowFrame::minimisingUnloads()
{
    Workspace ws;
    ws.show();
    QPointer<FrmMinBook> window = ws.window();
    window->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(window.isNull());
    ws.show();
    QVERIFY(ws.window());
}

// The database is away while the window loads: one message, a window built
// all the same, and once the file is back the editor and the list work.
void TestWindowFrame::loadWithoutTheDatabaseLeavesAWorkingWindow()
{
    Workspace ws;
    const QString path = varnel::databasePath();
    QVERIFY(QFile::rename(path, path + QStringLiteral(".away")));
    DialogCatcher dialogs;
    ws.show();
    QCOMPARE(dialogs.seen.size(), 1);
    QVERIFY(QFile::rename(path + QStringLiteral(".away"), path));

    QCOMPARE(ws.label("lab_title")->text(), QStringLiteral("Varnelpad v1.1.2"));
    QCOMPARE(ws.window()->styleSheet(), SkinEngine::styleSheet());
    for (const char *name : {"cmd_edit", "cmd_del", "cmd_ok", "Quxiao"})
        QVERIFY2(!ws.button(name)->isEnabled(), name);
    QVERIFY(ws.node(QStringLiteral("boot")));
    QCOMPARE(ws.list()->model()->columnCount(), 6);

    QTest::keyClicks(ws.edit("Text1"), QStringLiteral("back"));
    QTest::keyClick(ws.get<QPlainTextEdit>("Text2"), Qt::Key_F1);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("back")});
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(ws.label("Lab_Sum")->text(), QStringLiteral("全部【1】条信息"));
    QCOMPARE(dialogs.seen.size(), 1);
}

void TestWindowFrame::withoutTrayTheHotKeyIsNamedOnce()
{
    Workspace ws;
    ws.windows.tray = false;
    ws.show();
    QPointer<FrmMinBook> window = ws.window();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(answers.seen().size(), 1);
    QVERIFY(answers.last().text.contains(QStringLiteral("Ctrl+1")));

    ws.show();
    window = ws.window();
    DialogCatcher dialogs;
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QCOMPARE(dialogs.seen, QStringList());
}

void TestWindowFrame::withNoWayBackTheWindowOnlyMinimises()
{
    Workspace ws;
    ws.windows.tray = false;
    ws.windows.hotKey = false;
    ws.show();
    QPointer<FrmMinBook> window = ws.window();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QTRY_VERIFY(window->isMinimized());
    QCoreApplication::processEvents();
    QVERIFY(!window.isNull());
    // Told once that neither way back exists; not again.
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().text, varnel::ReachNotice::text(false, false));
    window->showNormal();
    DialogCatcher dialogs;
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QTRY_VERIFY(window->isMinimized());
    QCOMPARE(dialogs.seen, QStringList());
}

void TestWindowFrame::hidingFollowsTheWaysBack_data()
{
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("hotKey");
    QTest::addColumn<bool>("keyOnRetry");  // another program let the key go
    QTest::addColumn<bool>("answerLater"); // the desktop answers after the click
    QTest::addColumn<bool>("unloads");
    QTest::addColumn<bool>("told");
    QTest::newRow("tray and key") << true << true << false << false << true << false;
    QTest::newRow("tray, key taken") << true << false << false << false << true << true;
    QTest::newRow("tray, key let go") << true << false << true << false << true << false;
    QTest::newRow("key let go, no tray") << false << false << true << false << true << true;
    QTest::newRow("neither") << false << false << false << false << false << true;
    QTest::newRow("key granted after the click") << false << false << true << true << true << true;
    QTest::newRow("key refused after the click")
        << false << false << false << true << false << true;
}

void TestWindowFrame::hidingFollowsTheWaysBack()
{
    QFETCH(bool, tray);
    QFETCH(bool, hotKey);
    QFETCH(bool, keyOnRetry);
    QFETCH(bool, answerLater);
    QFETCH(bool, unloads);
    QFETCH(bool, told);
    Workspace ws;
    ws.windows.tray = tray;
    ws.windows.hotKey = hotKey;
    ws.windows.keyOnRetry = keyOnRetry;
    ws.windows.answerLater = answerLater;
    ws.show();
    QPointer<FrmMinBook> window = ws.window();
    DialogAnswerer answers;
    if (told)
        answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.label("Lab_hide"), Qt::LeftButton);
    QCOMPARE(ws.windows.retries, 1);
    if (answerLater) {
        // Nothing is decided, or said, before the answer.
        QCoreApplication::processEvents();
        QVERIFY(window && window->isVisible() && !window->isMinimized());
        QCOMPARE(answers.seen().size(), 0);
        ws.windows.settle();
    }
    if (unloads)
        QTRY_VERIFY(window.isNull());
    else
        QTRY_VERIFY(window->isMinimized());
    QCoreApplication::processEvents();
    QCOMPARE(answers.seen().size(), told ? 1 : 0);
    if (told) {
        const bool key = hotKey || keyOnRetry;
        QCOMPARE(answers.last().text, varnel::ReachNotice::text(tray, key));
    }
}

void TestWindowFrame::exitOnTheStripWhileThereIsNoTray()
{
    Workspace ws;
    ws.windows.tray = true;
    ws.show();
    QLabel *exit = ws.label("Lab_exit");
    QCOMPARE(exit->text(), QStringLiteral("退出"));
    QVERIFY(!exit->isVisible());
    // The tray goes (the panel ended): the strip offers the way out.
    ws.windows.tray = false;
    ws.window()->showHotKeyHelp();
    QVERIFY(exit->isVisible());
    QVERIFY(!exit->geometry().intersects(ws.label("Lab_skin")->geometry()));
    // The click ends the program's event loop, as the tray menu's exit does.
    QTimer::singleShot(0, exit, [exit] { QTest::mouseClick(exit, Qt::LeftButton); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-100); });
    watchdog.start(30000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(ws.windows.iconsRemoved, 1);
    QTRY_VERIFY(!ws.window());
}

void TestWindowFrame::storedSkinIsPaintedAndMissingOnesAreNot()
{
    Workspace ws;
    TestFolder::exec(QStringLiteral("update 系统用户表 set skin=2"));
    ws.show();
    QImageReader reader(varnel::skinPath(QStringLiteral("2")));
    reader.setDecideFormatFromContent(true);
    const QImage sk2 = reader.read();
    QVERIFY(!sk2.isNull());
    QCOMPARE(ws.window()->backgroundPicture().toImage().convertToFormat(sk2.format()), sk2);
    // Painted at the top-left, at its natural size, beneath the controls.
    const QImage shot = ws.window()->grab(QRect(0, 0, 4, 4)).toImage();
    QCOMPARE(shot.pixelColor(1, 1).rgb(), sk2.pixelColor(1, 1).rgb());

    for (const QString &value :
         {QStringLiteral("''"), QStringLiteral("null"), QStringLiteral("9")}) {
        TestFolder::exec(QStringLiteral("update 系统用户表 set skin=") + value);
        ws.windows.unloadMainWindow();
        DialogCatcher dialogs;
        ws.show();
        QVERIFY(ws.window()->backgroundPicture().isNull());
        QCOMPARE(dialogs.seen, QStringList());
        QCOMPARE(ws.tree()->topLevelItemCount(), 1); // the rest of the load went on
        QVERIFY(ws.list()->model());
    }
}

void TestWindowFrame::skinMenuOrderAndChoice()
{
    Workspace ws;
    ws.show();
    auto *menu = ws.window()->findChild<QMenu *>(QStringLiteral("VlSkin"));
    QVERIFY(menu);
    QStringList names, captions;
    for (QAction *a : menu->actions()) {
        names.append(a->objectName());
        captions.append(a->text());
        QVERIFY(!a->isCheckable());
    }
    QCOMPARE(names,
             (QStringList{QStringLiteral("sk3"), QStringLiteral("sk2"), QStringLiteral("sk1"),
                          QStringLiteral("sk5"), QStringLiteral("sk4")}));
    QCOMPARE(captions, (QStringList{QStringLiteral("蓝色商务"), QStringLiteral("海蓝天空"),
                                    QStringLiteral("黄金现代"), QStringLiteral("绿色迷彩"),
                                    QStringLiteral("太空Varnel")}));

    QTest::mouseClick(ws.label("Lab_skin"), Qt::LeftButton);
    QTRY_VERIFY(menu->isVisible());
    menu->hide();

    ws.action("sk5")->trigger();
    QCOMPARE(sqlValue(QStringLiteral("select skin from 系统用户表")).toInt(), 5);
    QImageReader reader(varnel::skinPath(QStringLiteral("5")));
    reader.setDecideFormatFromContent(true);
    const QImage sk5 = reader.read();
    QCOMPARE(ws.window()->backgroundPicture().toImage().convertToFormat(sk5.format()), sk5);
    ws.windows.unloadMainWindow();
    ws.show();
    QCOMPARE(ws.window()->backgroundPicture().toImage().convertToFormat(sk5.format()), sk5);
}

void TestWindowFrame::missingSkinFileKeepsThePictureButStoresTheNumber()
{
    Workspace ws;
    QVERIFY(QFile::remove(varnel::skinPath(QStringLiteral("4"))));
    ws.show();
    const QImage before = ws.window()->backgroundPicture().toImage();
    QVERIFY(!before.isNull());
    DialogCatcher dialogs;
    ws.action("sk4")->trigger();
    QCOMPARE(dialogs.seen, QStringList());
    QCOMPARE(ws.window()->backgroundPicture().toImage(), before);
    QCOMPARE(sqlValue(QStringLiteral("select skin from 系统用户表")).toInt(), 4);
    ws.windows.unloadMainWindow();
    ws.show();
    QVERIFY(ws.window()->backgroundPicture().isNull());
}

void TestWindowFrame::linksOpenTheirAddresses()
{
    Workspace ws;
    ws.show();
    QTest::mouseClick(ws.label("lab_key"), Qt::LeftButton);
    QTest::mouseClick(ws.button("bbs"), Qt::LeftButton);
    QCOMPARE(ws.pages.opened, (QList<QUrl>{QUrl(varnel::siteUrl()), QUrl(varnel::siteUrl())}));
}

void TestWindowFrame::settingsOpenModally()
{
    Workspace ws;
    ws.show();
    QString modalClass;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modalClass = QString::fromLatin1(modal->metaObject()->className());
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
    poll.start();
    QTest::mouseClick(ws.button("RePw"), Qt::LeftButton);
    poll.stop();
    QCOMPARE(modalClass, QStringLiteral("frmMMXG"));
}

void TestWindowFrame::hoverFeedback()
{
    Workspace ws;
    ws.show();
    QLabel *hide = ws.label("Lab_hide");
    QLabel *key = ws.label("lab_key");
    auto move = [](QWidget *w, QPoint at) {
        QMouseEvent event(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    };
    move(hide, QPoint(2, 2));
    QVERIFY(hide->font().bold());
    QMouseEvent press(QEvent::MouseButtonPress, QPoint(2, 2), hide->mapToGlobal(QPoint(2, 2)),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(hide, &press);
    QCOMPARE(hide->font().pointSize(), 12);
    move(key, QPoint(2, 2));
    QVERIFY(key->font().underline());
    move(ws.window(), QPoint(440, 200));
    QVERIFY(!hide->font().bold());
    QCOMPARE(hide->font().pointSize(), 10);
    QVERIFY(!key->font().underline());
}

void TestWindowFrame::helpLineNamesTheHotKeyWhileItWorks_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("name"); // as the desktop names the key
    QTest::addColumn<QString>("line");
    const QString save = QStringLiteral("帮助：【F1】保存或修改");
    QTest::newRow("Ctrl+1") << true << QStringLiteral("Ctrl+1")
                            << save + QStringLiteral(" Ctrl+1呼叫Varnel");
    QTest::newRow("another key bound by the desktop")
        << true << QStringLiteral("Ctrl+Alt+1") << save + QStringLiteral(" Ctrl+Alt+1呼叫Varnel");
    QTest::newRow("no hot key") << false << QStringLiteral("Ctrl+1") << save;
}

// When the key comes or goes while the window is open, and at the next load.
void TestWindowFrame::helpLineNamesTheHotKeyWhileItWorks()
{
    QFETCH(bool, held);
    QFETCH(QString, name);
    QFETCH(QString, line);
    Workspace ws;
    ws.windows.keyName = name;
    ws.windows.hotKey = !held;
    ws.show();
    QVERIFY(ws.label("lab_key")->text() != line);
    ws.windows.hotKey = held;
    ws.window()->showHotKeyHelp();
    QCOMPARE(ws.label("lab_key")->text(), line);
    ws.windows.unloadMainWindow();
    ws.show();
    QCOMPARE(ws.label("lab_key")->text(), line);
}

void TestWindowFrame::noticeLinesRotateIntoTheHelpLine()
{
    Workspace ws;
    ws.show();
    ws.window()->setNoticeSource(
        source({{QStringLiteral("gg1"), QStringLiteral("通知一")},
                {QStringLiteral("ggurl1"), QStringLiteral("http://a/1")}}));
    QLabel *key = ws.label("lab_key");
    QTRY_COMPARE_WITH_TIMEOUT(key->text(), QStringLiteral("通知一"), 20000);
    QCOMPARE(ws.edit("Text6")->text(), QStringLiteral("http://a/1"));
    // A line without an address shows; the click still opens the last address.
    ws.window()->setNoticeSource(source({{QStringLiteral("gg2"), QStringLiteral("通知二")}}));
    QTRY_COMPARE_WITH_TIMEOUT(key->text(), QStringLiteral("通知二"), 20000);
    QCOMPARE(ws.edit("Text6")->text(), QStringLiteral("http://a/1"));
    QTest::mouseClick(key, Qt::LeftButton);
    QCOMPARE(ws.pages.opened.value(0), QUrl(QStringLiteral("http://a/1")));
    ws.window()->setNoticeSource(
        source({{QStringLiteral("gg3"), QStringLiteral("通知三")},
                {QStringLiteral("ggurl3"), QStringLiteral("http://a/3")}}));
    QTRY_COMPARE_WITH_TIMEOUT(ws.edit("Text6")->text(), QStringLiteral("http://a/3"), 20000);
    QCOMPARE(key->text(), QStringLiteral("通知三"));
    // The hot key going does not take the notice line off.
    ws.windows.hotKey = false;
    ws.window()->showHotKeyHelp();
    QCOMPARE(key->text(), QStringLiteral("通知三"));
}

void TestWindowFrame::noPageChangesNothing()
{
    Workspace ws;
    ws.show();
    ws.window()->setNoticeSource(source({}));
    QSignalSpy third(ws.get<QTimer>("tim_gg3"), &QTimer::timeout);
    QVERIFY(third.wait(30000));
    QCOMPARE(ws.label("lab_key")->text(),
             QStringLiteral("帮助：【F1】保存或修改 Ctrl+1呼叫Varnel"));
    QCOMPARE(ws.edit("Text6")->text(), varnel::siteUrl());
    // Empty values are values: the lines turn empty.
    ws.window()->setNoticeSource(
        source({{QStringLiteral("gg1"), QString()}, {QStringLiteral("ggurl1"), QString()}}));
    QTRY_COMPARE_WITH_TIMEOUT(ws.label("lab_key")->text(), QString(), 20000);
}

// With three lines on the page, each shows in turn long enough to be seen,
// and a click opens the address of the line on screen.
void TestWindowFrame::eachNoticeLineTakesItsTurn()
{
    Workspace ws;
    ws.show();
    Values page;
    for (int line = 1; line <= 3; ++line) {
        page[QStringLiteral("gg%1").arg(line)] = QStringLiteral("通知%1").arg(line);
        page[QStringLiteral("ggurl%1").arg(line)] = QStringLiteral("http://a/%1").arg(line);
    }
    ws.window()->setNoticeSource(source(page));
    QLabel *key = ws.label("lab_key");
    QStringList shown; // lines seen on screen for a second at least
    QElapsedTimer clock;
    clock.start();
    QString current;
    qint64 since = 0;
    while (clock.elapsed() < 10000 && shown.size() < 3) {
        QTest::qWait(100);
        if (key->text() != current) {
            current = key->text();
            since = clock.elapsed();
        } else if (clock.elapsed() - since >= 1000 && !shown.contains(current) &&
                   current.startsWith(QStringLiteral("通知"))) {
            shown.append(current);
            ws.pages.opened.clear();
            QTest::mouseClick(key, Qt::LeftButton);
            QCOMPARE(ws.pages.opened.value(0).toString(),
                     QStringLiteral("http://a/") + current.right(1));
        }
    }
    shown.sort();
    QCOMPARE(shown, (QStringList{QStringLiteral("通知1"), QStringLiteral("通知2"),
                                 QStringLiteral("通知3")}));
}

void TestWindowFrame::updateBoxShowsTheUpdateText()
{
    Workspace ws;
    ws.show();
    QWidget *box = ws.get<QWidget>("UpdateBox");
    auto *text = ws.get<QPlainTextEdit>("Text7");
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    QVERIFY(box->isVisible());
    QCOMPARE(box->pos(), QPoint(16, 40));
    // No page yet: nothing, or, once the fetch has failed, that the site cannot be reached.
    QVERIFY2(text->toPlainText().isEmpty() ||
                 text->toPlainText().startsWith(QStringLiteral("无法连接到Varnel网站")),
             qPrintable(text->toPlainText()));

    ws.window()->setNoticeSource(
        source({{QStringLiteral("update_vl"), QStringLiteral("1.1.3：\n修正若干问题")}}));
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    QCOMPARE(text->toPlainText(), QStringLiteral("1.1.3：\n修正若干问题"));
    QCOMPARE(ws.label("Label4")->text(), QStringLiteral("Varnel最新升级信息"));
    QTest::mouseClick(ws.button("Later_update"), Qt::LeftButton);
    QVERIFY(box->isHidden());
}

void TestWindowFrame::newerVersionStartsTheUpdaterAndEnds()
{
    for (const QString &ver : {QStringLiteral("113"), QStringLiteral(" 1000 ")}) {
        Workspace ws;
        ws.show();
        started_.clear();
        quits_ = 0;
        ws.window()->setNoticeSource(source({{QStringLiteral("ver"), ver}}));
        QTest::mouseClick(ws.button("update"), Qt::LeftButton);
        DialogCatcher dialogs;
        QTest::mouseClick(ws.button("UpdateNow"), Qt::LeftButton);
        QCOMPARE(started_, QStringList{varnel::programFolder() + QStringLiteral("/update")});
        QCOMPARE(ws.windows.iconsRemoved, 1);
        QCOMPARE(quits_, 1);
        QCOMPARE(dialogs.seen, QStringList());
    }
}

void TestWindowFrame::sameOrOlderVersionSaysSo()
{
    for (const QString &ver : {QStringLiteral("112"), QStringLiteral("99")}) {
        Workspace ws;
        ws.show();
        ws.window()->setNoticeSource(source({{QStringLiteral("ver"), ver}}));
        QTest::mouseClick(ws.button("update"), Qt::LeftButton);
        DialogAnswerer answers;
        answers.answerMessage(QMessageBox::Ok);
        QTest::mouseClick(ws.button("UpdateNow"), Qt::LeftButton);
        QCOMPARE(answers.last().text, QStringLiteral("Varnel已经是最高版本,此时不需要升级"));
        QCOMPARE(answers.last().title, QStringLiteral("Varnel提示"));
        QCOMPARE(answers.last().icon, int(QMessageBox::Information));
        QVERIFY(started_.isEmpty());
        QVERIFY(ws.get<QWidget>("UpdateBox")->isVisible());
    }
}

void TestWindowFrame::unusableVersionDoesNothing()
{
    Workspace ws;
    ws.show();
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    for (const Values &values :
         {Values{}, Values{{QStringLiteral("ver"), QString()}},
          Values{{QStringLiteral("ver"), QStringLiteral("1.1.3")}},
          Values{{QStringLiteral("ver"), QStringLiteral("99999999999999999999999")}}}) {
        ws.window()->setNoticeSource(source(values));
        DialogCatcher dialogs;
        QTest::mouseClick(ws.button("UpdateNow"), Qt::LeftButton);
        QCOMPARE(dialogs.seen, QStringList());
    }
    QVERIFY(started_.isEmpty());
    QCOMPARE(quits_, 0);
}

void TestWindowFrame::updaterThatCannotStartIsReported()
{
    Workspace ws;
    ws.show();
    startWorks_ = false;
    ws.window()->setNoticeSource(source({{QStringLiteral("ver"), QStringLiteral("200")}}));
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("UpdateNow"), Qt::LeftButton);
    QCOMPARE(started_.size(), 1);
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    QVERIFY(answers.last().text.contains(QStringLiteral("update")));
    QCOMPARE(ws.windows.iconsRemoved, 0);
    QCOMPARE(quits_, 0);
    QVERIFY(ws.window());
}

VARNEL_TEST_CLASS(TestWindowFrame);
#include "tst_windowframe.moc"
