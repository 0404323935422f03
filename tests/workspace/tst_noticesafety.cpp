// What the site sends reaches the user only as plain text, and only web
// addresses from it are ever opened.

#include "testmain.h"
#include "workspacefixture.h"

#include <QTextDocument>
#include <QtTest>

#include <map>

class TestNoticeSafety : public QObject
{
    Q_OBJECT

  private slots:
    void onlyWebAddressesOpen_data();
    void onlyWebAddressesOpen();
    void noticeTextsArePlain();

  private:
    using Values = std::map<QString, QString>;
    static FrmMinBook::NoticeSource source(const Values &values)
    {
        return [values](const QString &name) -> std::optional<QString> {
            const auto it = values.find(name);
            return it == values.end() ? std::nullopt : std::optional<QString>(it->second);
        };
    }
};

void TestNoticeSafety::onlyWebAddressesOpen_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opens");
    QTest::newRow("http") << "http://varnel.example/news" << true;
    QTest::newRow("https") << " https://varnel.example/a?b=1 " << true;
    QTest::newRow("local file") << "file:///etc/passwd" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("desktop entry by path") << "/usr/share/applications/xterm.desktop" << false;
    QTest::newRow("other scheme") << "ftp://varnel.example/x" << false;
    QTest::newRow("no host") << "http:///etc/passwd" << false;
}

// A click on a notice line opens its address only when it is a web address.
void TestNoticeSafety::onlyWebAddressesOpen()
{
    QFETCH(QString, address);
    QFETCH(bool, opens);
    Workspace ws;
    UrlSink others[] = {UrlSink(QStringLiteral("https")), UrlSink(QStringLiteral("javascript")),
                        UrlSink(QStringLiteral("ftp"))};
    ws.show();
    ws.window()->setNoticeSource(source(
        {{QStringLiteral("gg1"), QStringLiteral("通知")}, {QStringLiteral("ggurl1"), address}}));
    QTRY_COMPARE_WITH_TIMEOUT(ws.edit("Text6")->text(), address, 20000);
    QTest::mouseClick(ws.label("lab_key"), Qt::LeftButton);
    QList<QUrl> opened = ws.pages.opened + ws.files.opened;
    for (const UrlSink &sink : others)
        opened += sink.opened;
    QCOMPARE(opened, opens ? QList<QUrl>{QUrl(address.trimmed())} : QList<QUrl>{});
}

// Markup from the site shows as the characters it is made of, in the line
// and in its tooltip; an endless line is cut.
void TestNoticeSafety::noticeTextsArePlain()
{
    Workspace ws;
    ws.show();
    const QString markup = QStringLiteral("<b><font color=red>红字</font></b><table><tr><td>x");
    const QString endless = QString(100000, QChar(0x6587));
    ws.window()->setNoticeSource(source({{QStringLiteral("gg1"), markup},
                                         {QStringLiteral("gg2"), endless},
                                         {QStringLiteral("update_vl"), endless}}));
    QLabel *key = ws.label("lab_key");
    QCOMPARE(key->textFormat(), Qt::PlainText);
    QTRY_VERIFY_WITH_TIMEOUT(key->text().startsWith(QStringLiteral("<b><font")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(key->text().startsWith(QChar(0x6587)), 20000);
    QCOMPARE(key->toolTip(), Qt::convertFromPlainText(endless.left(299) + QChar(0x2026)));
    QTest::mouseClick(ws.button("update"), Qt::LeftButton);
    QCOMPARE(ws.get<QPlainTextEdit>("Text7")->toPlainText().size(), 20000);
}

VARNEL_TEST_CLASS(TestNoticeSafety);
#include "tst_noticesafety.moc"
