// The product site is down, hangs, trickles or answers nonsense while the
// login window fetches its banner and the main window its notice page: both
// windows keep answering the user, the notice timers keep firing, the help
// line stays as it is, and a site that cannot be reached is said to be so.

#include "testmain.h"
#include "workspacefixture.h"

#include "frmlogin.h"
#include "robustsupport.h"
#include "varnel_config.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>

namespace
{

const QString kHelpLine = QStringLiteral("帮助：【F1】保存或修改 Ctrl+1呼叫Varnel");

quint16 sitePort()
{
    return quint16(QUrl(QStringLiteral(VARNEL_SITE_URL)).port(80));
}

// The site at the built-in address, misbehaving in one way, served from a
// thread of its own so it answers whatever the test's thread is doing.
class BadSite : public QThread
{
  public:
    enum Mode { Hang, NotHttp, GarbagePage, EndlessWord, Trickle };

    explicit BadSite(Mode mode) : mode_(mode)
    {
        start();
        ready_.acquire();
    }
    ~BadSite() override
    {
        quit();
        wait();
    }
    bool listening() const { return listening_; }
    int requests() const { return requests_; }

  protected:
    void run() override
    {
        QTcpServer server;
        listening_ = server.listen(QHostAddress::LocalHost, sitePort());
        ready_.release();
        if (!listening_)
            return;
        QObject::connect(&server, &QTcpServer::newConnection, [this, &server] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { answer(socket); });
        });
        exec();
    }

  private:
    void answer(QTcpSocket *socket)
    {
        socket->readAll();
        if (socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        ++requests_;
        QRandomGenerator rng{quint32(requests_.load())};
        switch (mode_) {
        case Hang: // the request is read and never answered
            break;
        case NotHttp:
            socket->write(robust::randomBytes(rng, 64 * 1024));
            socket->disconnectFromHost();
            break;
        case GarbagePage: {
            const QByteArray body = robust::randomBytes(rng, 256 * 1024);
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=x-nonsense\r\n"
                          "Content-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
            break;
        }
        case EndlessWord: { // text with nowhere to break a line, as a hex dump has
            const QByteArray body = robust::randomBytes(rng, 200 * 1024).toHex();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
            break;
        }
        case Trickle: { // a page that never finishes: one byte now and then
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                          "Content-Length: 10000000\r\n\r\n<html><body>");
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
            timer->start(200);
            break;
        }
        }
    }

    Mode mode_;
    QSemaphore ready_;
    bool listening_ = false;
    std::atomic<int> requests_{0};
};

// Counts the turns of the event loop by a fast timer and keeps the longest
// time between two of them.
class LoopWatch : public QObject
{
  public:
    LoopWatch()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            longest_ = std::max(longest_, clock_.restart());
            ++turns_;
        });
        clock_.start();
        timer_.start(20);
    }
    void restart()
    {
        longest_ = 0;
        turns_ = 0;
        clock_.restart();
    }
    qint64 longestGap() const { return longest_; }
    int turns() const { return turns_; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
    int turns_ = 0;
};

// The longest the event loop may stand still: far below the site's 30 s
// timeout that a waiting window would show. The sanitizers make every step of
// the windows several times slower, so their build gets more room.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kLongestStallMs = 6000;
#else
constexpr qint64 kLongestStallMs = 2000;
#endif

bool portIsFree()
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, sitePort());
    return !probe.waitForConnected(2000);
}

} // namespace

class TestSiteDown : public QObject
{
    Q_OBJECT

  private slots:
    void windowsKeepWorking_data();
    void windowsKeepWorking();
};

void TestSiteDown::windowsKeepWorking_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("refused") << -1;
    QTest::newRow("hangs") << int(BadSite::Hang);
    QTest::newRow("not HTTP") << int(BadSite::NotHttp);
    QTest::newRow("garbage page") << int(BadSite::GarbagePage);
    QTest::newRow("one endless word") << int(BadSite::EndlessWord);
    QTest::newRow("trickles") << int(BadSite::Trickle);
}

void TestSiteDown::windowsKeepWorking()
{
    QFETCH(int, mode);
    if (!portIsFree())
        QSKIP("something else serves the site's port");
    std::unique_ptr<BadSite> site;
    if (mode >= 0) {
        site = std::make_unique<BadSite>(BadSite::Mode(mode));
        QVERIFY(site->listening());
    }
    Workspace ws;
    LoopWatch loop;
    DialogCatcher dialogs;

    // The login window asks for its banner and still takes the password.
    auto *login = new frmLogin(&ws.windows);
    const auto unload = qScopeGuard([] { frmLogin::unloadIfLoaded(); });
    login->show();
    QVERIFY(QTest::qWaitForWindowExposed(login));
    loop.restart();
    if (site)
        QTRY_VERIFY(site->requests() >= 1);
    QTRY_VERIFY(loop.turns() >= 25);
    if (mode < 0 || mode == BadSite::NotHttp) {
        auto *banner = login->findChild<QTextEdit *>(QStringLiteral("brwWebBrowser"));
        QTRY_VERIFY2(banner->toPlainText().startsWith(QStringLiteral("无法连接到Varnel网站")),
                     qPrintable(banner->toPlainText()));
    }
    auto *password = login->findChild<QLineEdit *>(QStringLiteral("txtPass"));
    QTest::keyClick(password, Qt::Key_Return);
    QTRY_VERIFY(ws.window() && ws.window()->isVisible());
    QTRY_VERIFY(!frmLogin::instance());
    QVERIFY2(loop.longestGap() < kLongestStallMs, qPrintable(QString::number(loop.longestGap())));

    // The main window asks for its notice page; the timers go on, the help
    // line stays, and a note is saved while the site misbehaves.
    QVERIFY(QTest::qWaitForWindowExposed(ws.window()));
    loop.restart();
    if (site)
        QTRY_VERIFY(site->requests() >= 2);
    QSignalSpy ticks(ws.get<QTimer>("tim_gg1"), &QTimer::timeout);
    ws.edit("Text1")->setText(QStringLiteral("站点坏了也能保存"));
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(ws.titles(), QStringList{QStringLiteral("站点坏了也能保存")});
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 1, 20000);
    QCOMPARE(ws.label("lab_key")->text(), kHelpLine);

    // A site that cannot be reached is named so in the update box and by
    // its button; one that answers without a page (or has not answered
    // yet) leaves the box empty and the button without effect.
    const bool unreachable = mode < 0 || mode == BadSite::NotHttp;
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    QVERIFY(ws.get<QWidget>("UpdateBox")->isVisible());
    const QString text = ws.get<QPlainTextEdit>("Text7")->toPlainText();
    const bool saysUnreachable = text.startsWith(QStringLiteral("无法连接到Varnel网站"));
    if (mode == BadSite::Hang || mode == BadSite::Trickle) { // unreachable once its time is up
        QVERIFY2(saysUnreachable || text.isEmpty(), qPrintable(text));
    } else {
        QCOMPARE(saysUnreachable, unreachable);
        QVERIFY2(unreachable || text.isEmpty(), qPrintable(text));
    }
    QTest::mouseClick(ws.get<QPushButton>("UpdateNow"), Qt::LeftButton);
    QVERIFY(ws.window()->isVisible());
    QCOMPARE(ws.label("lab_key")->text(), kHelpLine);
    if (saysUnreachable) { // once the page that opening the box reloads has failed again
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.seen.size(), 1, 45000);
        QVERIFY2(dialogs.seen.at(0).startsWith(QStringLiteral("无法连接到Varnel网站")),
                 qPrintable(dialogs.seen.at(0)));
    } else {
        QCOMPARE(dialogs.seen, QStringList());
    }
    QVERIFY2(loop.longestGap() < kLongestStallMs, qPrintable(QString::number(loop.longestGap())));
}

VARNEL_TEST_CLASS(TestSiteDown);
#include "tst_sitedown.moc"
