// Chinese typed through an input method (fcitx5, IBus): the text being
// composed is not yet the user's text, so the search waits for the commit.

#include "testmain.h"
#include "workspacefixture.h"

#include <QInputMethodEvent>
#include <QtTest>

class TestInputMethod : public QObject
{
    Q_OBJECT

  private slots:
    void searchStartsOnCommittedText_data();
    void searchStartsOnCommittedText();
};

void TestInputMethod::searchStartsOnCommittedText_data()
{
    QTest::addColumn<QStringList>("composing"); // what the input method shows on the way
    QTest::addColumn<QString>("committed");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("pinyin") << QStringList{QStringLiteral("m"), QStringLiteral("mi"),
                                           QStringLiteral("mi'ma")}
                            << QStringLiteral("密码") << QStringList{QStringLiteral("账号")};
    // Composing text that would match nothing must not empty the list.
    QTest::newRow("wubi") << QStringList{QStringLiteral("p"), QStringLiteral("pw")}
                          << QStringLiteral("密") << QStringList{QStringLiteral("账号")};
    QTest::newRow("cancelled") << QStringList{QStringLiteral("zh")} << QString()
                               << QStringList{QStringLiteral("日记"), QStringLiteral("账号")};
}

void TestInputMethod::searchStartsOnCommittedText()
{
    QFETCH(QStringList, composing);
    QFETCH(QString, committed);
    QFETCH(QStringList, titles);
    Workspace ws;
    addNote(QStringLiteral("账号"), QStringLiteral("邮箱密码"));
    addNote(QStringLiteral("日记"), QStringLiteral("今天"));
    ws.show();
    QLineEdit *box = ws.edit("txtCZ");
    const QStringList all = ws.titles();
    QCOMPARE(all.size(), 2);
    for (const QString &text : std::as_const(composing)) {
        QInputMethodEvent preedit(text, {});
        QCoreApplication::sendEvent(box, &preedit);
        QCOMPARE(box->text(), QString());
        QCOMPARE(ws.titles(), all);
    }
    QInputMethodEvent commit;
    commit.setCommitString(committed);
    QCoreApplication::sendEvent(box, &commit);
    QCOMPARE(box->text(), committed);
    QCOMPARE(ws.titles(), titles);
}

VARNEL_TEST_CLASS(TestInputMethod);
#include "tst_inputmethod.moc"
