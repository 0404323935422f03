// The login window against a real settings row, with recorded windows.

#include "base/appinfo.h"
#include "store/database.h"
#include "dialogs.h"
#include "fakewindows.h"
#include "frmlogin.h"
#include "frmmmxg.h"
#include "scramble.h"
#include "testfolder.h"
#include "testmain.h"

#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

using namespace varnel;

// Receives the addresses the window hands to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestLoginWindow : public QObject
{
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void windowLooksAsDesigned();
    void emptyStoredPasswordAcceptsOnlyEmptyEntry_data();
    void emptyStoredPasswordAcceptsOnlyEmptyEntry();
    void wrongPasswordKeepsTextAndFocus();
    void okAndEnterDifferOnlyInTheTray_data();
    void okAndEnterDifferOnlyInTheTray();
    void otherKeysDoNotCheck();
    void passwordsWithSpacesSetInSettingsAreAccepted_data();
    void passwordsWithSpacesSetInSettingsAreAccepted();
    void databaseFailureIsShownAndWindowStays();
    void closingWithoutLoginIsReported();
    void signUpOpensTheSitePage();

  private:
    frmLogin *openLogin();
    // Types text into the password box and presses OK; answers a message box.
    void attempt(const QString &typed, bool byEnter = false);
    static void setStoredPass(const QVariant &pass);

    std::unique_ptr<TestFolder> folder_;
    std::unique_ptr<FakeAppWindows> windows_;
    DialogAnswerer answerer_;
    QPointer<frmLogin> login_;
    UrlRecorder urls_;
};

void TestLoginWindow::init()
{
    folder_ = std::make_unique<TestFolder>();
    QVERIFY(folder_->ok());
    windows_ = std::make_unique<FakeAppWindows>();
    answerer_.clear();
    // Neither the banner's links nor the sign-up page may reach a real browser.
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &urls_, "open");
    urls_.opened.clear();
}

void TestLoginWindow::cleanup()
{
    frmLogin::unloadIfLoaded();
    delete login_.data();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    windows_.reset();
    folder_.reset();
}

frmLogin *TestLoginWindow::openLogin()
{
    login_ = new frmLogin(windows_.get());
    login_->show();
    return login_;
}

void TestLoginWindow::attempt(const QString &typed, bool byEnter)
{
    auto *box = login_->findChild<QLineEdit *>(QStringLiteral("txtPass"));
    box->setText(typed);
    answerer_.answerMessage(QMessageBox::Ok);
    if (byEnter)
        QTest::keyClick(box, Qt::Key_Return);
    else
        login_->findChild<QPushButton *>(QStringLiteral("OK"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestLoginWindow::setStoredPass(const QVariant &pass)
{
    OpenDb();
    DbConn->Execute(QStringLiteral("update 系统用户表 set pass=?"), {pass});
    CloseDb();
}

void TestLoginWindow::windowLooksAsDesigned()
{
    frmLogin *login = openLogin();
    QCOMPARE(frmLogin::instance(), login);
    QCOMPARE(login->windowTitle(), QStringLiteral("Varnelpad v1.1.2"));
    auto *box = login->findChild<QLineEdit *>(QStringLiteral("txtPass"));
    QVERIFY(box);
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    QCOMPARE(box->geometry(), QRect(96, 16, 89, 20));
    QCOMPARE(login->focusWidget(), box); // first in tab order, focused at load
    QCOMPARE(login->findChild<QPushButton *>(QStringLiteral("OK"))->text(), QStringLiteral("登录"));
    QCOMPARE(login->findChild<QPushButton *>(QStringLiteral("Command1"))->text(),
             QStringLiteral("免费注册会员"));
    auto *banner = login->findChild<QTextBrowser *>(QStringLiteral("brwWebBrowser"));
    QVERIFY(banner && banner->isReadOnly());
    QCOMPARE(banner->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(banner->geometry(), QRect(8, 48, 359, 129));
    QCOMPARE(login->styleSheet(), SkinEngine::styleSheet());
    // The background fades from white at the top towards light blue.
    const QImage look = login->grab().toImage();
    QCOMPARE(look.pixelColor(2, 0), QColor(Qt::white));
    const QColor low = look.pixelColor(2, look.height() - 2);
    QVERIFY(low.blue() > low.red() && low != QColor(Qt::white));
}

void TestLoginWindow::emptyStoredPasswordAcceptsOnlyEmptyEntry_data()
{
    QTest::addColumn<QVariant>("pass");
    QTest::newRow("null") << QVariant();
    QTest::newRow("empty") << QVariant(QString(""));
}

void TestLoginWindow::emptyStoredPasswordAcceptsOnlyEmptyEntry()
{
    QFETCH(QVariant, pass);
    setStoredPass(pass);
    openLogin();
    attempt(QStringLiteral("x"));
    QCOMPARE(answerer_.last().text, QStringLiteral("密码错误！"));
    QVERIFY(windows_->calls.isEmpty());
    attempt(QString());
    QCOMPARE(windows_->calls, QStringList({"showMainWindow", "loadTray(shown)"}));
    QVERIFY(!frmLogin::instance());
}

void TestLoginWindow::wrongPasswordKeepsTextAndFocus()
{
    setStoredPass(ScramblePassword(QStringLiteral("secret1")));
    frmLogin *login = openLogin();
    attempt(QStringLiteral("secret2"));
    QCOMPARE(answerer_.seen().size(), 1);
    QCOMPARE(answerer_.last().title, QStringLiteral("错误提示"));
    QCOMPARE(answerer_.last().text, QStringLiteral("密码错误！"));
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Warning));
    auto *box = login->findChild<QLineEdit *>(QStringLiteral("txtPass"));
    QCOMPARE(box->text(), QStringLiteral("secret2"));
    QCOMPARE(login->focusWidget(), box);
    QVERIFY(windows_->calls.isEmpty());
    QCOMPARE(frmLogin::instance(), login);
    // Any number of further attempts.
    attempt(QStringLiteral("secret3"));
    attempt(QStringLiteral("secret1"));
    QCOMPARE(answerer_.seen().size(), 2);
    QCOMPARE(windows_->calls.size(), 2);
}

void TestLoginWindow::okAndEnterDifferOnlyInTheTray_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QString>("tray");
    QTest::newRow("OK") << false << "loadTray(shown)";
    QTest::newRow("Enter") << true << "loadTray(hidden)";
}

void TestLoginWindow::okAndEnterDifferOnlyInTheTray()
{
    QFETCH(bool, byEnter);
    QFETCH(QString, tray);
    setStoredPass(ScramblePassword(QStringLiteral("pa55word")));
    frmLogin *login = openLogin();
    QSignalSpy closedEarly(login, &frmLogin::closedWithoutLogin);
    attempt(QStringLiteral("pa55word"), byEnter);
    QVERIFY(answerer_.seen().isEmpty());
    QCOMPARE(windows_->calls, QStringList({"showMainWindow", tray}));
    QVERIFY(!frmLogin::instance());
    QVERIFY(!login_); // unloaded
    QCOMPARE(closedEarly.size(), 0);
}

void TestLoginWindow::otherKeysDoNotCheck()
{
    setStoredPass(ScramblePassword(QStringLiteral("right")));
    frmLogin *login = openLogin();
    auto *box = login->findChild<QLineEdit *>(QStringLiteral("txtPass"));
    answerer_.answerMessage(QMessageBox::Ok);
    QTest::keyClicks(box, QStringLiteral("wr ng"));
    QTest::keyClick(box, Qt::Key_Escape);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Tab);
    // A check would have shown its box (and been answered) inside keyClick.
    QVERIFY(answerer_.seen().isEmpty());
    QVERIFY(windows_->calls.isEmpty());
    QCOMPARE(box->text(), QStringLiteral("wr n"));
    // The answerer is still armed: use it up on a real check.
    attempt(QStringLiteral("wrong"));
    QCOMPARE(answerer_.seen().size(), 1);
}

void TestLoginWindow::passwordsWithSpacesSetInSettingsAreAccepted_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("leading") << " lead"
                             << "lead";
    QTest::newRow("trailing") << "trail "
                              << "trail";
    QTest::newRow("both and digits") << " 12 34 "
                                     << "12 34";
    QTest::newRow("short") << " a"
                           << "a";
}

void TestLoginWindow::passwordsWithSpacesSetInSettingsAreAccepted()
{
    QFETCH(QString, password);
    QFETCH(QString, trimmed);
    {
        frmMMXG settings;
        settings.findChild<QLineEdit *>(QStringLiteral("txtXMM"))->setText(password);
        settings.findChild<QLineEdit *>(QStringLiteral("txtQDMM"))->setText(password);
        answerer_.answerMessage(QMessageBox::Ok);
        settings.findChild<QPushButton *>(QStringLiteral("cmdQDXG"))->click();
        QCOMPARE(answerer_.last().text, QStringLiteral("密码修改成功！"));
    }
    answerer_.clear();
    openLogin();
    attempt(trimmed);
    QCOMPARE(answerer_.last().text, QStringLiteral("密码错误！"));
    attempt(password);
    QCOMPARE(answerer_.seen().size(), 1);
    QCOMPARE(windows_->calls, QStringList({"showMainWindow", "loadTray(shown)"}));
}

void TestLoginWindow::databaseFailureIsShownAndWindowStays()
{
    frmLogin *login = openLogin();
    QVERIFY(QFile::remove(databasePath()));
    ShutdownDb(); // drop the handle that still reads the removed file
    attempt(QString());
    QCOMPARE(answerer_.last().icon, int(QMessageBox::Critical));
    QVERIFY(answerer_.last().text.contains(QStringLiteral("pelbrook_data.Tandrel")));
    QVERIFY(windows_->calls.isEmpty());
    QCOMPARE(frmLogin::instance(), login);
    QVERIFY(login->isVisible());
}

void TestLoginWindow::closingWithoutLoginIsReported()
{
    frmLogin *login = openLogin();
    QSignalSpy closed(login, &frmLogin::closedWithoutLogin);
    QVERIFY(login->close());
    QCOMPARE(closed.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmLogin::instance());
    QVERIFY(windows_->calls.isEmpty());
}

void TestLoginWindow::signUpOpensTheSitePage()
{
    frmLogin *login = openLogin();
    login->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QCOMPARE(urls_.opened, QList<QUrl>({QUrl(siteUrl(QStringLiteral("/r.php")))}));
    QVERIFY(windows_->calls.isEmpty());
}

VARNEL_TEST_CLASS(TestLoginWindow);
#include "tst_loginwindow.moc"
