// Reading form "formsg" of the notice page: decoding, the HTML parser's
// corners, and fetching it in the background from the HTTP test server.

#include "noticepage.h"
#include "siteserver.h"
#include "testmain.h"

#include <QFutureWatcher>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace
{
QByteArray gb2312(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

const QString kNotice = QStringLiteral("第一条通知：新版发布");
} // namespace

class TestNoticePage : public QObject
{
    Q_OBJECT

  private slots:
    void initTestCase();
    void readsEveryKindOfControl();
    void onlyTheNoticeFormCounts();
    void missingFormOrControlGivesNothing();
    void decodesGbPagesByHeaderOrMeta();
    void headerCharsetWinsOverMeta();
    void formInsideATableKeepsItsControls();
    void malformedAndHostilePagesDoNotBreakTheReader();

    void fetchesThePageInTheBackground();
    void gbPagesArriveDecoded();
    void tenMegabytePage();
    void failuresGiveNoValues_data();
    void failuresGiveNoValues();
    void slowSiteFreezesNothingAndANewLoadReplacesIt();
    void refreshDropsTheOldPageUntilTheNewOneArrives();

  private:
    std::unique_ptr<SiteServer> server_;
};

void TestNoticePage::initTestCase()
{
    server_ = std::make_unique<SiteServer>();
    QVERIFY2(server_->ok(), qPrintable(server_->error()));
}

void TestNoticePage::readsEveryKindOfControl()
{
    const QByteArray page = R"(<html><body><form name="formsg">
        <input type="hidden" name="gg1" value="通知 &amp; 链接">
        <input name="empty" value="">
        <input name="novalue">
        <textarea name="update_vl">
第一行
第二行 &lt;b&gt;</textarea>
        <select name="pick"><option value="a">A</option><option selected value="b">B</option></select>
        <select name="first"><optgroup><option>  甲  乙 </option></optgroup><option>丙</option></select>
        <input type="checkbox" name="off" value="1">
        <input type="checkbox" name="on" value="yes" checked>
        <input type="radio" name="r" value="x"><input type="radio" name="r" value="y" checked>
        <input name="gg1" value="second of the name">
    </form></body></html>)";
    const NoticeForm form = parseNoticeForm(page);
    QVERIFY(form.found);
    QCOMPARE(form.values.value("gg1"), QStringLiteral("通知 & 链接"));
    QVERIFY(form.values.contains("empty") && form.values.value("empty").isEmpty());
    QVERIFY(form.values.contains("novalue") && form.values.value("novalue").isEmpty());
    // The parser drops the line break right after <textarea>.
    QCOMPARE(form.values.value("update_vl"), QStringLiteral("第一行\n第二行 <b>"));
    QCOMPARE(form.values.value("pick"), QStringLiteral("b"));
    QCOMPARE(form.values.value("first"), QStringLiteral("甲 乙"));
    QVERIFY(!form.values.contains("off"));
    QCOMPARE(form.values.value("on"), QStringLiteral("yes"));
    QCOMPARE(form.values.value("r"), QStringLiteral("y"));
}

void TestNoticePage::onlyTheNoticeFormCounts()
{
    const QByteArray page = R"(<form name="other"><input name="ver" value="999"></form>
        <form id="formsg"><input name="ver" value="113"></form>
        <input name="gg1" value="outside">)";
    const NoticeForm form = parseNoticeForm(page);
    QVERIFY(form.found);
    QCOMPARE(form.values.value("ver"), QStringLiteral("113"));
    QVERIFY(!form.values.contains("gg1"));
}

void TestNoticePage::missingFormOrControlGivesNothing()
{
    QVERIFY(!parseNoticeForm("<html><body><p>维护中</p></body></html>").found);
    QVERIFY(!parseNoticeForm("<form name=\"FORMSG\"><input name=ver value=1></form>").found);
    QVERIFY(!parseNoticeForm(QByteArray()).found);
    const NoticeForm empty = parseNoticeForm("<form name=formsg></form>");
    QVERIFY(empty.found);
    QVERIFY(empty.values.isEmpty());
}

void TestNoticePage::decodesGbPagesByHeaderOrMeta()
{
    const QString html = QStringLiteral("<form name=formsg><input name=gg1 value=\"%1\"></form>");
    const QByteArray body = gb2312(html.arg(kNotice));
    QCOMPARE(parseNoticeForm(body, "text/html; charset=GB2312").values.value("gg1"), kNotice);
    QCOMPARE(parseNoticeForm(body, "text/html;charset=\"gbk\"").values.value("gg1"), kNotice);
    const QByteArray withHttpEquiv =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
        "</head><body>" +
        body + "</body></html>";
    QCOMPARE(parseNoticeForm(withHttpEquiv, "text/html").values.value("gg1"), kNotice);
    const QByteArray withCharset = "<meta charset='gb2312'>" + body;
    QCOMPARE(parseNoticeForm(withCharset).values.value("gg1"), kNotice);
    // GBK-only characters (not in GB2312) come through as well.
    const QString gbk = QStringLiteral("镕");
    QCOMPARE(
        parseNoticeForm(gb2312(html.arg(gbk)), "text/html; charset=gb2312").values.value("gg1"),
        gbk);
    // No declaration at all: UTF-8.
    QCOMPARE(parseNoticeForm(html.arg(kNotice).toUtf8()).values.value("gg1"), kNotice);
}

void TestNoticePage::headerCharsetWinsOverMeta()
{
    const QByteArray page = "<meta charset=\"gb2312\"><form name=formsg><input name=gg1 value=\"" +
                            kNotice.toUtf8() + "\"></form>";
    QCOMPARE(parseNoticeForm(page, "text/html; charset=utf-8").values.value("gg1"), kNotice);
    // An unknown name falls back to UTF-8 rather than to nothing.
    QCOMPARE(parseNoticeForm(page, "text/html; charset=x-no-such-thing").values.value("gg1"),
             kNotice);
}

void TestNoticePage::formInsideATableKeepsItsControls()
{
    const QByteArray page = R"(<table><form name="formsg">
        <tr><td><input type="hidden" name="gg1" value="一"></td></tr>
        <tr><td><textarea name="update_vl">说明</textarea></td></tr>
        <tr><td><select name="s"><option>x</option></select></td></tr>
        </form></table>
        <form name="next"><input name="ver" value="999"></form>)";
    const NoticeForm form = parseNoticeForm(page);
    QVERIFY(form.found);
    QCOMPARE(form.values.value("gg1"), QStringLiteral("一"));
    QCOMPARE(form.values.value("update_vl"), QStringLiteral("说明"));
    QCOMPARE(form.values.value("s"), QStringLiteral("x"));
    QVERIFY(!form.values.contains("ver"));

    // A control straight inside the table is moved before it by the parser.
    const NoticeForm moved = parseNoticeForm(
        "<table><form name=formsg><input name=gg1 value=moved><tr><td>x</td></tr></form></table>"
        "<input name=gg2 value=after>");
    QCOMPARE(moved.values.value("gg1"), QStringLiteral("moved"));
    QVERIFY(!moved.values.contains("gg2"));
}

void TestNoticePage::malformedAndHostilePagesDoNotBreakTheReader()
{
    // Unclosed tags, stray end tags, an attribute cut off by the end of the page.
    const NoticeForm sloppy = parseNoticeForm(
        "<html><body><div><p><b><form name=formsg><input name=gg1 value=\"a\"></i></div>"
        "<textarea name=update_vl>abc</form><input name=ver value=\"11");
    QVERIFY(sloppy.found);
    QCOMPARE(sloppy.values.value("gg1"), QStringLiteral("a"));
    QVERIFY(sloppy.values.value("update_vl").startsWith(QStringLiteral("abc")));

    // Binary garbage and invalid UTF-8.
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 131 + 7) % 256);
    QVERIFY(!parseNoticeForm(garbage).found);
    QVERIFY(
        parseNoticeForm("<form name=formsg><input name=a value=\"\xff\xfe\xc3\"></form>").found);

    // Deep nesting.
    QByteArray deep = "<form name=formsg>";
    deep += QByteArray("<div>").repeated(5000);
    deep += "<input name=gg1 value=deep>";
    const NoticeForm nested = parseNoticeForm(deep);
    QVERIFY(nested.found);
    QCOMPARE(nested.values.value("gg1"), QStringLiteral("deep"));
}

void TestNoticePage::fetchesThePageInTheBackground()
{
    NoticePage page;
    QSignalSpy loaded(&page, &NoticePage::loaded);
    page.navigate(QUrl(server_->url(QStringLiteral("/update.asp"))));
    QVERIFY(page.isLoading());
    QVERIFY(!page.value("ver"));
    QVERIFY(loaded.wait(30000));
    QVERIFY(!page.isLoading());
    QCOMPARE(page.value("ver"), std::optional<QString>(QStringLiteral("113")));
    for (const char *name : {"gg1", "ggurl1", "gg2", "ggurl2", "gg3", "ggurl3"})
        QVERIFY2(page.value(name) && !page.value(name)->isEmpty(), name);
    // Links on the page point back at the site that served it.
    QCOMPARE(*page.value("ggurl2"), server_->url(QStringLiteral("/r.php")));
    QVERIFY(page.value("update_vl")->contains(QLatin1Char('\n')));
    QVERIFY(!page.value("no such control"));
}

void TestNoticePage::gbPagesArriveDecoded()
{
    for (const char *path : {"/t/gb-header", "/t/gb-meta"}) {
        NoticePage page;
        QSignalSpy loaded(&page, &NoticePage::loaded);
        page.navigate(QUrl(server_->url(QString::fromLatin1(path))));
        QVERIFY(loaded.wait(30000));
        QCOMPARE(page.value("gg1"), std::optional<QString>(QStringLiteral("第一条通知")));
        QVERIFY2(page.value("update_vl")->startsWith(QStringLiteral("更新内容")), path);
    }
}

void TestNoticePage::tenMegabytePage()
{
    NoticePage page;
    QSignalSpy loaded(&page, &NoticePage::loaded);
    page.navigate(QUrl(server_->url(QStringLiteral("/t/big?mb=10"))));
    QVERIFY(loaded.wait(60000));
    QCOMPARE(page.value("ver"), std::optional<QString>(QStringLiteral("113")));
    QCOMPARE(page.value("gg3"), std::optional<QString>(QStringLiteral("第三条通知")));

    // The window closes while such a page is being read: the reading ends on
    // its own and brings nothing to the page that is gone.
    auto closing = std::make_unique<NoticePage>();
    QSignalSpy closingLoaded(closing.get(), &NoticePage::loaded);
    closing->navigate(QUrl(server_->url(QStringLiteral("/t/big?mb=10"))));
    QTRY_VERIFY_WITH_TIMEOUT(closing->findChild<QFutureWatcherBase *>() || !closingLoaded.isEmpty(),
                             60000);
    const bool midParse = closingLoaded.isEmpty();
    closing.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    if (!midParse)
        qWarning("the page was read before the test could close it");
}

void TestNoticePage::failuresGiveNoValues_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("404") << "/t/404";
    QTest::newRow("500") << "/t/500";
    QTest::newRow("refused") << "";
    QTest::newRow("closed") << "/t/close";
    QTest::newRow("cut short") << "/t/short?size=5000&sent=100";
    QTest::newRow("no form") << "/index.html";
}

void TestNoticePage::failuresGiveNoValues()
{
    QFETCH(QString, path);
    const QString url =
        path.isEmpty()
            ? QStringLiteral("http://127.0.0.1:%1/update.asp").arg(SiteServer::unusedPort())
            : server_->url(path);
    NoticePage page;
    QSignalSpy loaded(&page, &NoticePage::loaded);
    QSignalSpy failed(&page, &NoticePage::failed);
    page.navigate(QUrl(url));
    QTRY_VERIFY_WITH_TIMEOUT(!page.isLoading(), 30000);
    QCOMPARE(loaded.size() + failed.size(), 1);
    for (const char *name : {"gg1", "ggurl1", "update_vl", "ver"})
        QVERIFY(!page.value(name));
}

void TestNoticePage::slowSiteFreezesNothingAndANewLoadReplacesIt()
{
    NoticePage page;
    QSignalSpy loaded(&page, &NoticePage::loaded);
    page.navigate(QUrl(server_->url(QStringLiteral("/t/hang?delay=30000"))));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks]() { ++ticks; });
    ticker.start(10);
    QTRY_VERIFY(ticks >= 5); // the event loop keeps running while the site says nothing
    QVERIFY(page.isLoading());
    QVERIFY(!page.value("ver"));

    page.navigate(QUrl(server_->url(QStringLiteral("/t/page?v.ver=114"))));
    QVERIFY(loaded.wait(30000));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(page.value("ver"), std::optional<QString>(QStringLiteral("114")));
}

void TestNoticePage::refreshDropsTheOldPageUntilTheNewOneArrives()
{
    NoticePage page;
    QSignalSpy loaded(&page, &NoticePage::loaded);
    page.navigate(QUrl(server_->url(QStringLiteral("/update.asp"))));
    QVERIFY(loaded.wait(30000));
    QVERIFY(page.value("ver"));

    QVERIFY(server_->setFault(QStringLiteral("/update.asp"), QStringLiteral("slow")));
    page.refresh();
    QVERIFY(page.isLoading());
    QVERIFY(!page.value("ver"));
    QVERIFY(loaded.wait(30000));
    QCOMPARE(page.value("ver"), std::optional<QString>(QStringLiteral("113")));

    // A reload that fails leaves nothing behind either.
    QVERIFY(server_->setFault(QStringLiteral("/update.asp"), QStringLiteral("500")));
    QSignalSpy failed(&page, &NoticePage::failed);
    page.refresh();
    QVERIFY(failed.wait(30000));
    QVERIFY(!page.value("ver"));
    QVERIFY(server_->setFault(QStringLiteral("/update.asp"), QStringLiteral("none")));
}

VARNEL_TEST_CLASS(TestNoticePage);
#include "tst_noticepage.moc"
