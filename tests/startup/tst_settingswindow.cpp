// The settings window: password change and autostart, against a real settings
// row and a private autostart folder.

#include "base/appinfo.h"
#include "store/database.h"
#include "dialogs.h"
#include "frmmmxg.h"
#include "gpublic.h"
#include "scramble.h"
#include "testfolder.h"
#include "testmain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace varnel;

class TestSettingsWindow : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void checkBoxFollowsAuto_data();
    void checkBoxFollowsAuto();
    void differentEntriesStoreNothing();
    void passwordIsStoredScrambled_data();
    void passwordIsStoredScrambled();
    void autostartOnWritesTheEntry();
    void autostartOffKeepsTheEntryHidden();
    void unwritableEntryIsReportedAndAutoKept_data();
    void unwritableEntryIsReportedAndAutoKept();
    void failedAutoWriteRollsTheEntryBack();
    void unreadableDatabaseClosesTheWindow();
    void onlyPureWhiteIsCutOut();

  private:
    QLineEdit *edit(const char *name) { return window_->findChild<QLineEdit *>(name); }
    QCheckBox *box(const char *name) { return window_->findChild<QCheckBox *>(name); }
    frmMMXG *openWindow();
    static QVariant column(const QString &name);
    QString entryPath() const
    {
        return folder_->file(QStringLiteral("xdg-config/autostart/Pirdek.desktop"));
    }
    QString entryText() const;

    std::unique_ptr<TestFolder> folder_;
    std::unique_ptr<frmMMXG> window_;
    DialogAnswerer answerer_;
};

void TestSettingsWindow::init()
{
    folder_ = std::make_unique<TestFolder>();
    QVERIFY(folder_->ok());
    answerer_.clear();
}

void TestSettingsWindow::cleanup()
{
    window_.reset();
    folder_.reset();
}

frmMMXG *TestSettingsWindow::openWindow()
{
    window_ = std::make_unique<frmMMXG>();
    window_->show();
    return window_.get();
}

QVariant TestSettingsWindow::column(const QString &name)
{
    return TestFolder::scalar(
        QStringLiteral("select %1 from 系统用户表 where Czy='admin'").arg(name));
}

QString TestSettingsWindow::entryText() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void TestSettingsWindow::checkBoxFollowsAuto_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("0") << "0" << false;
    QTest::newRow("Null") << "NULL" << false;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("2") << "2" << false;
    QTest::newRow("text") << "'on'" << false;
}

void TestSettingsWindow::checkBoxFollowsAuto()
{
    QFETCH(QString, value);
    QFETCH(bool, ticked);
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=%1").arg(value));
    openWindow();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Varnel设置"));
    QCOMPARE(box("Command1")->isVisible(), !ticked);
    QCOMPARE(box("Command2")->isVisible(), ticked);
    QVERIFY(!box("Command1")->isChecked());
    QVERIFY(box("Command2")->isChecked());
    QCOMPARE(box("Command1")->geometry(), box("Command2")->geometry());
    QCOMPARE(window_->styleSheet(), SkinEngine::styleSheet());
}

void TestSettingsWindow::differentEntriesStoreNothing()
{
    TestFolder::exec(QStringLiteral("update 系统用户表 set pass='kept'"));
    openWindow();
    edit("txtXMM")->setText(QStringLiteral("abcd"));
    edit("txtQDMM")->setText(QStringLiteral("abcd "));
    answerer_.answerMessage(QMessageBox::Ok);
    window_->findChild<QPushButton *>(QStringLiteral("cmdQDXG"))->click();
    QCOMPARE(answerer_.last().title, QStringLiteral("提示"));
    QCOMPARE(answerer_.last().text, QStringLiteral("两次输入的密码不一致！"));
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Warning));
    QVERIFY(edit("txtXMM")->text().isEmpty());
    QVERIFY(edit("txtQDMM")->text().isEmpty());
    QCOMPARE(window_->focusWidget(), edit("txtXMM"));
    QVERIFY(window_->isVisible());
    QCOMPARE(column(QStringLiteral("pass")).toString(), QStringLiteral("kept"));
}

void TestSettingsWindow::passwordIsStoredScrambled_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("long with digits") << "open9sesame";
    QTest::newRow("both empty") << "";
}

void TestSettingsWindow::passwordIsStoredScrambled()
{
    QFETCH(QString, typed);
    TestFolder::exec(QStringLiteral("update 系统用户表 set pass='old'"));
    openWindow();
    edit("txtXMM")->setText(typed);
    edit("txtQDMM")->setText(typed);
    answerer_.answerMessage(QMessageBox::Ok);
    window_->findChild<QPushButton *>(QStringLiteral("cmdQDXG"))->click();
    QCOMPARE(answerer_.last().title, QStringLiteral("提示"));
    QCOMPARE(answerer_.last().text, QStringLiteral("密码修改成功！"));
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Information));
    QCOMPARE(column(QStringLiteral("pass")).toString(), ScramblePassword(typed));
    QVERIFY(typed.isEmpty() || column(QStringLiteral("pass")).toString() != typed);
    QVERIFY(!window_->isVisible());
    QCOMPARE(window_->result(), int(QDialog::Accepted));
}

void TestSettingsWindow::autostartOnWritesTheEntry()
{
    openWindow();
    answerer_.answerMessage(QMessageBox::Ok);
    box("Command1")->click();
    QCOMPARE(answerer_.last().title, QStringLiteral("Varnel软件"));
    QCOMPARE(answerer_.last().text, QStringLiteral("Varnel软件开机启动已设置成功！"));
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Warning));
    QCOMPARE(column(QStringLiteral("auto")).toInt(), 1);
    const QString entry = entryText();
    QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    QVERIFY(entry.contains(QStringLiteral("\nType=Application\n")));
    QVERIFY(entry.contains(QStringLiteral("\nName=Varnelpad\n")));
    QVERIFY2(
        entry.contains(QStringLiteral("\nExec=%1\n").arg(QCoreApplication::applicationFilePath())),
        qPrintable(entry));
    QVERIFY(!entry.contains(QStringLiteral("Hidden=true")));
    QVERIFY(!window_->isVisible());
    // The white parts of the window were made transparent before the message.
    QVERIFY(!window_->mask().isEmpty());
    QVERIFY(!window_->mask().contains(QPoint(1, 0)));
}

void TestSettingsWindow::autostartOffKeepsTheEntryHidden()
{
    TestFolder::exec(QStringLiteral("update 系统用户表 set auto=1"));
    openWindow();
    answerer_.answerMessage(QMessageBox::Ok);
    box("Command2")->click();
    QCOMPARE(answerer_.last().text, QStringLiteral("Varnel软件开机启动已取消！"));
    QCOMPARE(answerer_.last().title, QStringLiteral("Varnel软件"));
    QCOMPARE(column(QStringLiteral("auto")).toInt(), 0);
    const QString entry = entryText();
    QVERIFY2(entry.contains(QStringLiteral("\nHidden=true\n")), qPrintable(entry));
    QVERIFY(entry.contains(QStringLiteral("\nX-GNOME-Autostart-enabled=false\n")));
    QVERIFY(entry.contains(QStringLiteral("\nExec=")));
    QVERIFY(!window_->isVisible());
}

void TestSettingsWindow::unwritableEntryIsReportedAndAutoKept_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("file in the folder's place") << false;
    QTest::newRow("read-only folder") << true;
}

void TestSettingsWindow::unwritableEntryIsReportedAndAutoKept()
{
    QFETCH(bool, readOnlyFolder);
    const QString autostartFolder = folder_->file(QStringLiteral("xdg-config/autostart"));
    if (readOnlyFolder) {
        QVERIFY(QDir().mkpath(autostartFolder));
        QFile::setPermissions(autostartFolder, QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(autostartFolder + QStringLiteral("/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("this user writes into read-only folders (root)");
        }
    } else {
        QFile blocker(autostartFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    openWindow();
    answerer_.answerMessage(QMessageBox::Ok);
    box("Command1")->click();
    QCOMPARE(answerer_.seen().size(), 1);
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("失败")));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("Pirdek.desktop")));
    QCOMPARE(column(QStringLiteral("auto")).toInt(), 0);
    QVERIFY(window_->isVisible());
    QVERIFY(box("Command1")->isVisible());
    QVERIFY(!box("Command1")->isChecked());
    QVERIFY(window_->mask().isEmpty());
    QFile::setPermissions(autostartFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSettingsWindow::failedAutoWriteRollsTheEntryBack()
{
    openWindow();
    TestFolder::exec(QStringLiteral("delete from 系统用户表"));
    answerer_.answerMessage(QMessageBox::Ok);
    box("Command1")->click();
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("admin")));
    // The entry may exist, but it must not start the program at logon.
    const QString entry = entryText();
    QVERIFY2(entry.isEmpty() || entry.contains(QStringLiteral("\nHidden=true\n")),
             qPrintable(entry));
    QVERIFY(window_->isVisible());
    QVERIFY(!box("Command1")->isChecked());
}

void TestSettingsWindow::unreadableDatabaseClosesTheWindow()
{
    QVERIFY(QFile::remove(databasePath()));
    ShutdownDb();
    answerer_.answerMessage(QMessageBox::Ok);
    frmMMXG window;
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("pelbrook_data.Tandrel")));
    // The close is already queued; the timer only keeps a failure from hanging.
    QTimer::singleShot(20000, &window, &QDialog::accept);
    QCOMPARE(window.exec(), int(QDialog::Rejected));
}

void TestSettingsWindow::onlyPureWhiteIsCutOut()
{
    QImage picture(8, 4, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    picture.setPixelColor(1, 1, QColor(254, 255, 255)); // nearly white stays
    picture.setPixelColor(5, 2, Qt::black);
    const QRegion region = nonWhiteRegion(picture);
    QCOMPARE(region, QRegion(1, 1, 1, 1) + QRegion(5, 2, 1, 1));
    QVERIFY(nonWhiteRegion(QImage()).isEmpty());
}

VARNEL_TEST_CLASS(TestSettingsWindow);
#include "tst_settingswindow.moc"
