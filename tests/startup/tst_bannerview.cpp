// The login banner: a page fetched in the background, shown or left alone.

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
    void failuresLeaveTheViewAlone_data();
    void failuresLeaveTheViewAlone();
    void pictureArrivesLater();
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

void TestBannerView::failuresLeaveTheViewAlone_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::newRow("404") << true;
    QTest::newRow("connection refused") << false;
}

void TestBannerView::failuresLeaveTheViewAlone()
{
    QFETCH(bool, serverUp);
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
    QCOMPARE(view.toPlainText(), QStringLiteral("before"));
}

void TestBannerView::pictureArrivesLater()
{
    MiniServer server;
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    server.page("/banner.png", png, "image/png");
    server.page("/b/Varnelsoft.html", "<p><img src=\"../banner.png\"></p>");
    BannerView view;
    QSignalSpy finished(&view, &BannerView::pageFinished);
    view.navigate(server.url(QStringLiteral("/b/Varnelsoft.html")));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
    const QUrl name(QStringLiteral("../banner.png"));
    QTRY_VERIFY_WITH_TIMEOUT(
        !view.document()->resource(QTextDocument::ImageResource, name).isNull(), 20000);
    QCOMPARE(view.document()->resource(QTextDocument::ImageResource, name).value<QImage>().size(),
             QSize(30, 20));
}

VARNEL_TEST_CLASS(TestBannerView);
#include "tst_bannerview.moc"
