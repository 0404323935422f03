// Notes far from the ordinary, through the real window: a 10 MB body, emoji,
// right-to-left text, text that looks like binary, a 100,000-character title.
// They save, list, open, save again, turn up in a search and export, and come
// back byte for byte.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "robustsupport.h"

#include <QtTest>

namespace
{

QString lines(robust::RandomText &random, qsizetype size, unsigned kinds)
{
    QString out;
    out.reserve(size + 200);
    while (out.size() < size) {
        out += random.text(40 + random.bounded(80), kinds);
        out += u'\n';
    }
    return out;
}

// Every BMP character but NUL, CR and the surrogates, plus characters beyond
// the BMP. Left out too: U+2029, which a text box takes for a paragraph break,
// and the noncharacters U+FDD0 and U+FDD1, which it takes for frame marks.
QString binaryLooking(robust::RandomText &random, int size)
{
    QString out;
    while (out.size() < size) {
        if (random.chance(5)) {
            out += random.text(1, robust::RandomText::Emoji);
            continue;
        }
        const auto c = char16_t(1 + random.bounded(0xFFFF));
        if (c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || QChar::isSurrogate(c))
            continue;
        out += QChar(c);
    }
    return out;
}

QByteArray withCrLf(QString text)
{
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text.toUtf8();
}

QByteArray exportOf(const QString &title, const QString &time, const QString &body)
{
    return " Varnelpad\r\n " + varnel::siteUrl().toUtf8() + "\r\n" + "\r\n\r\n" +
           QString(27, QChar(0x2500)).toUtf8() + "\r\n" + QStringLiteral("标题：").toUtf8() +
           withCrLf(title) + "\r\n" + QStringLiteral("时间：").toUtf8() +
           varnel::shownTime(time).toUtf8() + "\r\n" + QByteArray(54, '-') + "\r\n" +
           withCrLf(body) + "\r\n";
}

// A piece from the middle of `text` that a search finds as it is: no
// wildcards, not cut through a character pair.
QString searchablePiece(const QString &text, qsizetype length)
{
    qsizetype from = text.size() / 2;
    for (; from + length < text.size(); ++from) {
        const QString piece = text.mid(from, length);
        if (!piece.contains(u'%') && !piece.contains(u'_') && !piece.at(0).isLowSurrogate() &&
            !piece.back().isHighSurrogate())
            return piece;
    }
    return text.left(length);
}

} // namespace

class TestHugeNotes : public QObject
{
    Q_OBJECT

  private slots:
    void comesBackByteForByte_data();
    void comesBackByteForByte();
};

void TestHugeNotes::comesBackByteForByte_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    robust::RandomText random(42);
    using K = robust::RandomText;
    QTest::newRow("10 MB body") << QStringLiteral("十兆字节")
                                << lines(random, 10 << 20, K::Ascii | K::Chinese | K::Emoji);
    QTest::newRow("emoji") << QStringLiteral("\U0001F600\U0001F468\u200D\U0001F469\u200D\U0001F467"
                                             "\U0001F1E8\U0001F1F3\U0001F44D\U0001F3FD")
                           << lines(random, 20000, K::Emoji | K::Odd);
    QTest::newRow("right to left") << QStringLiteral("\u202Eשלום עולם\u202C مرحبا 123")
                                   << lines(random, 20000, K::RightToLeft | K::Ascii);
    QTest::newRow("binary-looking text")
        << binaryLooking(random, 2000) << binaryLooking(random, 200000);
    QTest::newRow("100,000-character title")
        << random.text(100000, K::Ascii | K::Chinese | K::Emoji | K::RightToLeft)
        << QStringLiteral("标题很长");
}

void TestHugeNotes::comesBackByteForByte()
{
    QFETCH(QString, title);
    QFETCH(QString, body);
    Workspace ws;
    ws.show();
    auto dialogs = std::make_unique<DialogCatcher>();
    auto *text1 = ws.edit("Text1");
    auto *text2 = ws.get<QPlainTextEdit>("Text2");

    // Save.
    text1->setText(title);
    text2->setPlainText(body);
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(dialogs->seen, QStringList());
    std::vector<robust::StoredNote> stored = robust::storedNotes();
    QCOMPARE(int(stored.size()), 1);
    QVERIFY2(stored.front().title.toUtf8() == title.toUtf8(),
             qPrintable(QStringLiteral("title: %1 of %2 characters stored")
                            .arg(stored.front().title.size())
                            .arg(title.size())));
    QVERIFY2(stored.front().body.toUtf8() == body.toUtf8(), "the body was stored changed");

    // List and open.
    QCOMPARE(ws.titles(), QStringList{title});
    QVERIFY(ws.clickRow(0));
    QVERIFY(text1->text() == title);

    // Saving the opened note unchanged changes nothing.
    QTest::mouseClick(ws.button("cmd_edit"), Qt::LeftButton);
    QCOMPARE(dialogs->seen, QStringList());
    stored = robust::storedNotes();
    QCOMPARE(int(stored.size()), 1);
    QVERIFY2(stored.front().title.toUtf8() == title.toUtf8(),
             qPrintable(QStringLiteral("title after saving it again: %1 of %2 characters")
                            .arg(stored.front().title.size())
                            .arg(title.size())));
    QVERIFY2(stored.front().body.toUtf8() == body.toUtf8(), "the body changed by saving it again");

    // Search by a piece of the body and of the title.
    for (const QString &piece : {searchablePiece(body, 12), searchablePiece(title, 6)}) {
        ws.edit("txtCZ")->setText(piece);
        QVERIFY2(ws.titles() == QStringList{title}, "a search did not find the note");
    }
    QCOMPARE(dialogs->seen, QStringList());

    // Export.
    dialogs.reset();
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().text, QStringLiteral("已导出1 篇内容"));
    QVERIFY2(fileContents(varnel::exportPath()) == exportOf(title, stored.front().time, body),
             "the export file differs");
}

VARNEL_TEST_CLASS(TestHugeNotes);
#include "tst_hugenotes.moc"
