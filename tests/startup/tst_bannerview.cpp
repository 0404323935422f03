// The login banner: a page fetched in the background and shown as plain
// text, or a line that says why it is not there.

#include "bannerview.h"
#include "miniserver.h"
#include "testmain.h"

#include <QStringEncoder>
#include <QtTest>

using varnel::BannerView;

class TestBannerView : public QObject
{
    Q_OBJECT

  private slots:
    void pageIsShownDecoded_data();
    void pageIsShownDecoded();
    void failuresSaySo_data();
    void failuresSaySo();
    void markupNeitherShowsNorFetches();
};

void TestBannerView::pageIsShownDecoded_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("type");
    const QString html = QStringLiteral("<html><body><p>欢迎使用记事本</p></body></html>");
    QStringEncoder gbk("GB18030");
    const QByteArray gbkBody = gbk.encode(html);
    QTest::newRow("utf-8 by default") << html.toUtf8() << QByteArray("text/html");
    QTest::newRow("gbk in header") << gbkBody << QByteArray("text/html; charset=gbk");
    QTest::newRow("gb2312 in meta")
        << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">") +
               gbkBody
        << QByteArray("text/html");
}

void TestBannerView::pageIsShownDecoded()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, type);
    MiniServer server;
    server.page("/Varnelsoft.html", body, type);
    BannerView view;
    QSignalSpy finished(&view, &BannerView::pageFinished);
    view.navigate(server.url(QStringLiteral("/Varnelsoft.html")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY2(view.toPlainText().contains(QStringLiteral("欢迎使用记事本")),
             qPrintable(view.toPlainText()));
}

void TestBannerView::failuresSaySo_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("text");
    QTest::newRow("404") << true << QStringLiteral("Varnel网站暂时打不开（HTTP 404）");
    QTest::newRow("connection refused") << false << QStringLiteral("无法连接到Varnel网站");
}

void TestBannerView::failuresSaySo()
{
    QFETCH(bool, serverUp);
    QFETCH(QString, text);
    auto server = std::make_unique<MiniServer>();
    const QUrl url = server->url(QStringLiteral("/Varnelsoft.html"));
    if (!serverUp)
        server.reset();
    BannerView view;
    view.setHtml(QStringLiteral("<p>before</p>"));
    QSignalSpy finished(&view, &BannerView::pageFinished);
    view.navigate(url);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY2(view.toPlainText().startsWith(text), qPrintable(view.toPlainText()));
}

// Bold red text, a table, a picture and a link to a local file: the words
// show, nothing else takes effect, and the picture is never asked for.
void TestBannerView::markupNeitherShowsNorFetches()
{
    MiniServer server;
    server.page("/b/Varnelsoft.html",
                "<style>p{color:red}</style><p><b><font color=red>红字</font></b></p>"
                "<table><tr><td>格子</td></tr></table><img src=\"../track.png\">"
                "<a href=\"file:///etc/passwd\">链接</a>");
    BannerView view;
    QSignalSpy finished(&view, &BannerView::pageFinished);
    view.navigate(server.url(QStringLiteral("/b/Varnelsoft.html")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    view.resize(360, 130);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(300);
    const QString text = view.toPlainText();
    QVERIFY2(text.contains(QStringLiteral("红字")) && text.contains(QStringLiteral("格子")) &&
                 text.contains(QStringLiteral("链接")) && !text.contains(QLatin1Char('<')),
             qPrintable(text));
    const QString html = view.toHtml();
    QVERIFY2(!html.contains(QStringLiteral("font-weight:700")) &&
                 !html.contains(QStringLiteral("#ff0000")) &&
                 !html.contains(QStringLiteral("<table")),
             qPrintable(html));
    QCOMPARE(server.requested, QList<QByteArray>{"/b/Varnelsoft.html"});
}

VARNEL_TEST_CLASS(TestBannerView);
#include "tst_bannerview.moc"
