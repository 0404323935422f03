// The notice-page reader against random pages: bytes, tag soup and well-formed
// pages in every charset the site might use. Nothing may crash or hang, and a
// well-formed form must come back value for value.

#include "testmain.h"

#include "noticepage.h"
#include "robustsupport.h"

#include <QElapsedTimer>
#include <QStringEncoder>
#include <QtTest>

#include <sys/resource.h>

namespace
{

// Each seed gets about this long; a slow machine (or a sanitizer build on a
// busy one) still reads the minimum number of pages, only more slowly.
constexpr qint64 kBudgetMs = 1200;

bool morePages(int pages, int most, int least, const QElapsedTimer &clock)
{
    return pages < most && (pages < least || clock.elapsed() < kBudgetMs);
}

QByteArray contentTypeFor(robust::RandomText &random)
{
    static const char *const types[] = {"",
                                        "text/html",
                                        "text/html; charset=utf-8",
                                        "text/html; charset=gb2312",
                                        "text/html; charset=GBK",
                                        "text/html;charset=\"gb18030\"",
                                        "text/html; charset=x-unknown",
                                        "text/html; charset=",
                                        "text/html; charset=utf-16",
                                        "text/html; charset=iso-8859-1",
                                        "text/html; charset=shift_jis",
                                        "charset=big5",
                                        "text/html; charset=utf-32le",
                                        "application/octet-stream"};
    if (random.chance(5)) // a charset name of any length and content
        return "text/html; charset=" + random.any(300).toUtf8();
    return types[random.bounded(int(std::size(types)))];
}

// Tag soup: pieces of markup in any order, nesting capped at a sane depth
// (the parser's work grows with the square of the depth).
QByteArray tagSoup(robust::RandomText &random)
{
    static const char *const tokens[] = {
        "<form name=formsg>",
        "<form id=formsg>",
        "</form>",
        "<form name=other>",
        "<input name=gg1 value=\"",
        "<input name=ver value=113>",
        "<input type=checkbox name=c",
        " checked",
        "\">",
        "<textarea name=update_vl>",
        "</textarea>",
        "<select name=s>",
        "<option selected value=",
        "<option>",
        "</select>",
        "<table>",
        "<tr>",
        "<td>",
        "</td>",
        "</table>",
        "<div>",
        "</div>",
        "<b>",
        "</b>",
        "<i>",
        "<p>",
        "</p>",
        "<!--",
        "-->",
        "<script>",
        "</script>",
        "<style>",
        "<![CDATA[",
        "]]>",
        "&amp;",
        "&#x1F600;",
        "&#0;",
        "&#xD800;",
        "&#99999999;",
        "&bogus;",
        "&",
        "<",
        ">",
        "\"",
        "'",
        "=",
        "/",
        "<meta "
        "charset=gb2312>",
        "<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">",
        "<plaintext>",
        "<xmp>",
        "<noscript>",
        "<template>",
        "</template>",
        "<svg>",
        "<math>",
        "<frameset>",
        "<html>",
        "<body>",
        "</body>",
        "<head>",
        "<title>",
        "<isindex>",
        "<image>",
        "<keygen>",
        "<button>",
        "<a href=x>",
        "</a>",
        "<li>",
        "<ul>",
        "<nobr>"};
    const int pieces = random.bounded(400);
    int opened = 0;
    QByteArray page;
    for (int i = 0; i < pieces; ++i) {
        if (random.chance(25)) {
            page += random.any(30).toUtf8();
            continue;
        }
        const QByteArray token = tokens[random.bounded(int(std::size(tokens)))];
        if (token.startsWith('<') && !token.startsWith("</") && ++opened > 300)
            continue;
        page += token;
        if (random.chance(1)) // a huge attribute value or text
            page += QByteArray(random.bounded(300000), 'v');
    }
    return page;
}

QString escaped(QString text, bool attribute)
{
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    if (attribute)
        text.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    return text;
}

// A value a form control can carry unchanged through HTML.
QString controlText(robust::RandomText &random)
{
    const unsigned kinds = robust::RandomText::Ascii | robust::RandomText::Chinese |
                           robust::RandomText::Emoji | robust::RandomText::RightToLeft |
                           robust::RandomText::Quotes | robust::RandomText::Wildcards;
    if (random.chance(3)) // a huge value
        return random.text(100000 + random.bounded(400000), kinds);
    QString value = random.text(random.bounded(60), kinds);
    if (random.chance(30))
        value += QStringLiteral("\n第二行\n");
    return value;
}

// Balanced markup that holds no form and no control.
QString filler(robust::RandomText &random, int depth)
{
    static const char *const wrappers[] = {"div", "span",    "p",      "b",
                                           "em",  "section", "center", "font"};
    QString out;
    const int parts = random.bounded(4);
    for (int i = 0; i < parts; ++i) {
        if (depth > 0 && random.chance(50)) {
            const QString tag = QLatin1String(wrappers[random.bounded(int(std::size(wrappers)))]);
            out +=
                u'<' + tag + u'>' + filler(random, depth - 1) + QStringLiteral("</") + tag + u'>';
        } else {
            out += escaped(random.text(random.bounded(20),
                                       robust::RandomText::Chinese | robust::RandomText::Ascii),
                           false);
        }
    }
    return out;
}

// Wraps a control in `levels` balanced elements that a form may contain.
QString wrapped(robust::RandomText &random, const QString &control, int levels)
{
    QString out = control;
    for (int i = 0; i < levels; ++i) {
        switch (random.bounded(3)) {
        case 0:
            out = QStringLiteral("<div>") + out + QStringLiteral("</div>");
            break;
        case 1:
            out = QStringLiteral("<span class=\"x\">") + out + QStringLiteral("</span>");
            break;
        default:
            out = QStringLiteral("<table><tr><td>") + out + QStringLiteral("</td></tr></table>");
        }
    }
    return out;
}

struct WellFormedPage {
    QByteArray body;
    QByteArray contentType;
    QHash<QString, QString> values;
};

WellFormedPage wellFormedPage(robust::RandomText &random)
{
    WellFormedPage page;
    QString controls;
    const char *const names[] = {"gg1", "ggurl1", "gg2",       "ggurl2",
                                 "gg3", "ggurl3", "update_vl", "ver"};
    for (const char *name : names) {
        if (random.chance(10))
            continue; // a missing control
        const QString value = controlText(random);
        QString control;
        switch (random.bounded(4)) {
        case 0: // a textarea drops one line break right after its start tag
            control = QStringLiteral("<textarea name=%1>\n%2</textarea>")
                          .arg(QLatin1String(name), escaped(value, false));
            break;
        case 1:
            control = QStringLiteral("<select name=%1><option value=\"no\">x</option>"
                                     "<option selected value=\"%2\">y</option></select>")
                          .arg(QLatin1String(name), escaped(value, true));
            break;
        case 2:
            control = QStringLiteral("<input type=checkbox checked name=\"%1\" value=\"%2\">")
                          .arg(QLatin1String(name), escaped(value, true));
            break;
        default:
            control = QStringLiteral("<input type=hidden name=\"%1\" value=\"%2\">")
                          .arg(QLatin1String(name), escaped(value, true));
        }
        page.values.insert(QLatin1String(name), value);
        controls += filler(random, 2) + wrapped(random, control, random.bounded(4));
    }
    // A form of another name with the same controls comes first and must not count.
    const QString decoy = QStringLiteral("<form name=other><input name=gg1 value=decoy>"
                                         "<input name=ver value=1></form>");
    const bool gb = random.chance(40);
    const bool inMeta = random.chance(50);
    const QString meta = !inMeta ? QString()
                         : gb    ? QStringLiteral("<meta http-equiv=\"Content-Type\" "
                                                     "content=\"text/html; charset=gb2312\">")
                                 : QStringLiteral("<meta charset=\"utf-8\">");
    const QString html = QStringLiteral("<!DOCTYPE html><html><head>") + meta +
                         QStringLiteral("<title>通知</title></head><body>") + filler(random, 6) +
                         decoy + filler(random, 3) + QStringLiteral("<form name=\"formsg\">") +
                         controls + QStringLiteral("</form>") + filler(random, 6) +
                         QStringLiteral("</body></html>");
    if (gb) {
        QStringEncoder encoder("GB18030");
        page.body = encoder.encode(html);
        static const char *const gbTypes[] = {"text/html; charset=gb2312", "text/html; charset=GBK",
                                              "text/html; charset=gb18030"};
        page.contentType =
            inMeta ? QByteArray("text/html") : QByteArray(gbTypes[random.bounded(3)]);
    } else {
        page.body = html.toUtf8();
        // An unknown charset in the header falls back to UTF-8.
        static const char *const utf8Types[] = {"text/html; charset=utf-8", "text/html", "",
                                                "text/html; charset=x-no-such-charset"};
        page.contentType = inMeta ? QByteArray() : QByteArray(utf8Types[random.bounded(4)]);
    }
    return page;
}

QString differences(const QHash<QString, QString> &got, const QHash<QString, QString> &want)
{
    QStringList out;
    for (auto it = want.begin(); it != want.end(); ++it) {
        if (!got.contains(it.key()))
            out << it.key() + QStringLiteral(" missing");
        else if (got.value(it.key()) != it.value())
            out << it.key() + QStringLiteral(" differs (%1 vs %2 chars)")
                                  .arg(got.value(it.key()).size())
                                  .arg(it.value().size());
    }
    if (got.size() != want.size())
        out << QStringLiteral("%1 values instead of %2").arg(got.size()).arg(want.size());
    return out.join(QStringLiteral("; "));
}

long peakMemoryKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestNoticeReaderFuzz : public QObject
{
    Q_OBJECT

  private slots:
    // First: it watches the process's peak memory.
    void misnestedTagsTakeBoundedMemory();
    void pagesThatTrippedTheParser_data();
    void pagesThatTrippedTheParser();
    void randomBytesAndTagSoup_data() { robust::addSeedRows(); }
    void randomBytesAndTagSoup();
    void wellFormedPagesComeBackExactly_data() { robust::addSeedRows(); }
    void wellFormedPagesComeBackExactly();
    void decodingRoundTrips_data() { robust::addSeedRows(); }
    void decodingRoundTrips();
};

void TestNoticeReaderFuzz::misnestedTagsTakeBoundedMemory()
{
    // Unclosed formatting tags each leave a parse error behind; a reader that
    // kept every error with its stack of open elements would need gigabytes.
    QByteArray page = "<form name=formsg><input name=gg1 value=first>";
    page += QByteArray("<b>").repeated(15000);
    page += "<input name=gg2 value=deep>";
    const long before = peakMemoryKb();
    const NoticeForm form = parseNoticeForm(page);
    const long grown = peakMemoryKb() - before;
    QVERIFY(form.found);
    QCOMPARE(form.values.value(QStringLiteral("gg1")), QStringLiteral("first"));
    QCOMPARE(form.values.value(QStringLiteral("gg2")), QStringLiteral("deep"));
    QVERIFY2(grown < 256 * 1024, qPrintable(QStringLiteral("%1 MiB more").arg(grown / 1024)));
}

void TestNoticeReaderFuzz::pagesThatTrippedTheParser_data()
{
    // Found by the random pages below: each once ended the program on an
    // assertion inside the HTML parser.
    QTest::addColumn<QByteArray>("markup");
    QTest::newRow("CDATA in SVG in a template row")
        << QByteArray("<template><tr><svg><title><![CDATA[<]]>>");
    QTest::newRow("SVG select row") << QByteArray("<table><svg><select><desc><select><tr>");
    QTest::newRow("SVG select cell") << QByteArray("<table><svg><select><desc><select><td>");
    QTest::newRow("SVG cell closed by the table")
        << QByteArray("<table><svg><td><desc><select></table>");
    QTest::newRow("MathML annotation")
        << QByteArray("<table><math><select><annotation-xml encoding=text/html><select><table>");
    QTest::newRow("SVG foreign object")
        << QByteArray("<table><svg><select><foreignObject><template></template><caption>");
    QTest::newRow("MathML mi") << QByteArray("<table><Math><select><mi><select><tbody>");
}

void TestNoticeReaderFuzz::pagesThatTrippedTheParser()
{
    QFETCH(QByteArray, markup);
    QVERIFY(!parseNoticeForm(markup).found);
    // Inside the form it leaves the controls before it readable.
    const NoticeForm inside = parseNoticeForm("<form name=formsg><input name=ver value=113>" +
                                              markup + "<input name=gg1 value=after>");
    QVERIFY(inside.found);
    QCOMPARE(inside.values.value(QStringLiteral("ver")), QStringLiteral("113"));
    // An SVG picture beside the controls changes nothing.
    const NoticeForm icon = parseNoticeForm(
        "<form name=formsg><svg width=16><circle r=4/></svg><input name=gg1 value=\"一\">"
        "<SVG><title>t</title></SVG><input name=gg2 value=二></form>");
    QCOMPARE(icon.values.value(QStringLiteral("gg1")), QStringLiteral("一"));
    QCOMPARE(icon.values.value(QStringLiteral("gg2")), QStringLiteral("二"));
}

void TestNoticeReaderFuzz::randomBytesAndTagSoup()
{
    QFETCH(quint32, seed);
    robust::RandomText random(seed);
    QElapsedTimer clock;
    clock.start();
    int pages = 0;
    for (; morePages(pages, 400, 20, clock); ++pages) {
        const QByteArray body = random.chance(30)
                                    ? robust::randomBytes(random.rng(), random.bounded(65536))
                                    : tagSoup(random);
        const QByteArray type = contentTypeFor(random);
        const NoticeForm form = parseNoticeForm(body, type);
        // Only a page that names the form can have it, and a second reading agrees.
        if (form.found)
            QVERIFY(decodePage(body, type).contains(QStringLiteral("formsg")));
        const NoticeForm again = parseNoticeForm(body, type);
        QCOMPARE(again.found, form.found);
        QCOMPARE(again.values, form.values);
    }
}

void TestNoticeReaderFuzz::wellFormedPagesComeBackExactly()
{
    QFETCH(quint32, seed);
    robust::RandomText random(seed);
    QElapsedTimer clock;
    clock.start();
    int pages = 0;
    for (; morePages(pages, 150, 10, clock); ++pages) {
        const WellFormedPage page = wellFormedPage(random);
        const NoticeForm form = parseNoticeForm(page.body, page.contentType);
        QVERIFY(form.found);
        QVERIFY2(form.values == page.values,
                 qPrintable(QStringLiteral("page %1 (%2): %3")
                                .arg(pages)
                                .arg(QString::fromLatin1(page.contentType),
                                     differences(form.values, page.values))));
    }
}

void TestNoticeReaderFuzz::decodingRoundTrips()
{
    QFETCH(quint32, seed);
    robust::RandomText random(seed);
    for (int i = 0; i < 200; ++i) {
        // Led by a plain character: a leading byte-order mark is dropped, as it should be.
        const QString text = QStringLiteral("页") + random.any(2000, robust::RandomText::Controls);
        QStringEncoder gb("GB18030");
        const QByteArray gbBytes = gb.encode(text);
        QCOMPARE(decodePage(gbBytes, "text/html; charset=gbk"), text);
        QCOMPARE(decodePage(QByteArray("<meta charset=GB2312>") + gbBytes),
                 QStringLiteral("<meta charset=GB2312>") + text);
        QCOMPARE(decodePage(text.toUtf8(), "text/html; charset=no-such-thing"), text);
        QCOMPARE(decodePage(text.toUtf8()), text);
        // Any bytes under any declared charset decode to something, never crash.
        decodePage(robust::randomBytes(random.rng(), random.bounded(4096)), contentTypeFor(random));
    }
}

VARNEL_TEST_CLASS(TestNoticeReaderFuzz);
#include "tst_noticefuzz.moc"
