// The start-up password's stored form.

#include "scramble.h"
#include "testmain.h"

#include <QtTest>

using varnel::PasswordMatches;
using varnel::ScramblePassword;

namespace
{
// A text that survives the database's UTF-8 unchanged: no half of a surrogate pair.
bool wholeInUtf8(const QString &text)
{
    return QString::fromUtf8(text.toUtf8()) == text;
}
} // namespace

class TestScramblePassword : public QObject
{
    Q_OBJECT

  private slots:
    void shortPasswordsStayAsTyped_data();
    void shortPasswordsStayAsTyped();
    void charactersAreRearranged_data();
    void charactersAreRearranged();
    void digitsBecomeTenDifferentLetters();
    void onlyDigitsAreSubstituted();
    void charactersBeyondTheBmpStayWhole_data();
    void charactersBeyondTheBmpStayWhole();
    void storedFormsThatOpen_data();
    void storedFormsThatOpen();
};

void TestScramblePassword::shortPasswordsStayAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("one digit") << QStringLiteral("7");
    QTest::newRow("two") << QStringLiteral("a1");
    QTest::newRow("three digits") << QStringLiteral("123");
    QTest::newRow("three with spaces") << QStringLiteral(" x ");
}

void TestScramblePassword::shortPasswordsStayAsTyped()
{
    QFETCH(QString, typed);
    QCOMPARE(ScramblePassword(typed), typed);
}

void TestScramblePassword::charactersAreRearranged_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    // c1 c2 c3 c4 -> c4 c2 c3 c1 c2 c3 c4 c2 c3
    QTest::newRow("four") << QStringLiteral("abcd") << QStringLiteral("dbcabcdbc");
    // c1..c5 -> c5 c2 c3 c1 c2 c3 c4 c5 c2 c3
    QTest::newRow("five") << QStringLiteral("abcde") << QStringLiteral("ebcabcdebc");
    QTest::newRow("spaces and punctuation")
        << QStringLiteral(" a,b ") << QStringLiteral(" a, a,b a,");
    QTest::newRow("chinese") << QStringLiteral("密码本子") << QStringLiteral("子码本密码本子码本");
    QTest::newRow("case kept") << QStringLiteral("AbCd") << QStringLiteral("dbCAbCdbC");
}

void TestScramblePassword::charactersAreRearranged()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(ScramblePassword(typed), stored);
    QCOMPARE(ScramblePassword(typed).size(), typed.size() + 5);
}

void TestScramblePassword::digitsBecomeTenDifferentLetters()
{
    // Each digit in position 1 of a four-character password shows up three
    // times (positions 4 of the form); its letter must be an ASCII letter and
    // every digit must get its own.
    QSet<QChar> letters;
    for (char digit = '0'; digit <= '9'; ++digit) {
        const QString stored = ScramblePassword(QChar(digit) + QStringLiteral("xyz"));
        QCOMPARE(stored.size(), 9);
        const QChar letter = stored.at(3);
        QVERIFY2(letter.isLetter() && letter.unicode() < 128, qPrintable(stored));
        letters.insert(letter);
    }
    QCOMPARE(letters.size(), 10);

    const QString allDigits = ScramblePassword(QStringLiteral("0123456789"));
    QCOMPARE(allDigits.size(), 15);
    for (QChar c : allDigits)
        QVERIFY2(!c.isDigit(), qPrintable(allDigits));
    // The same digit always gives the same letter, wherever it stands.
    const QString form = ScramblePassword(QStringLiteral("1111"));
    QCOMPARE(form, QString(9, form.at(0)));
}

void TestScramblePassword::onlyDigitsAreSubstituted()
{
    // Full-width and Arabic-Indic digits are not ASCII digits: moved, not replaced.
    const QString typed = QStringLiteral("１٢#\u00A0");
    const QString stored = ScramblePassword(typed);
    QCOMPARE(stored, typed.right(1) + typed.mid(1, 2) + typed + typed.mid(1, 2));
    // A digit among other characters is replaced in every copy.
    const QString mixed = ScramblePassword(QStringLiteral("a5bc"));
    QVERIFY(!mixed.contains(u'5'));
    QCOMPARE(mixed.at(1), mixed.at(4));
    QCOMPARE(mixed.at(1), mixed.at(7));
}

void TestScramblePassword::charactersBeyondTheBmpStayWhole_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    // Where a position falls on half of a pair the whole character is taken;
    // where none does, the form is the one of code units as before.
    QTest::newRow("emoji last") << QStringLiteral("abc😀") << QStringLiteral("😀bcabc😀bc");
    QTest::newRow("extension B last")
        << QStringLiteral("密码本𠀀") << QStringLiteral("𠀀码本密码本𠀀码本");
    QTest::newRow("emoji at 3rd-4th") << QStringLiteral("ab😀c") << QStringLiteral("cb😀ab😀cb😀");
    QTest::newRow("emoji first") << QStringLiteral("😀abc") << QStringLiteral("c😀a😀abc😀a");
    QTest::newRow("two emoji") << QStringLiteral("😀😃") << QStringLiteral("😃😀😃😀😃😀😃");
    QTest::newRow("digits beside")
        << QStringLiteral("7a😀") << QStringLiteral("😀a😀7a😀a😀").replace(u'7', u'K');
    QTest::newRow("pair at 2nd-3rd, not cut")
        << QStringLiteral("a😀bc") << QStringLiteral("c😀a😀bc😀");
}

void TestScramblePassword::charactersBeyondTheBmpStayWhole()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QCOMPARE(ScramblePassword(typed), stored);
    QVERIFY(wholeInUtf8(ScramblePassword(typed)));
    QVERIFY(PasswordMatches(typed, stored));
}

void TestScramblePassword::storedFormsThatOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("opens");
    QTest::newRow("its form") << "pa55word" << ScramblePassword("pa55word") << true;
    QTest::newRow("short, as typed") << "a😀"
                                     << "a😀" << true;
    QTest::newRow("empty") << ""
                           << "" << true;
    QTest::newRow("another password") << "pa55word" << ScramblePassword("pa55wort") << false;
    // What earlier versions stored when a pair was cut: each half became '?'.
    QTest::newRow("cut form, emoji last") << "abc😀"
                                          << "?bcabc😀bc" << true;
    QTest::newRow("cut form, emoji at 3rd-4th") << "ab😀c"
                                                << "cb?ab😀cb?" << true;
    QTest::newRow("cut form, another emoji") << "abc😃"
                                             << "?bcabc😀bc" << false;
    QTest::newRow("'?' typed, its own form") << "abc?"
                                             << "?bcabc?bc" << true;
    QTest::newRow("'?' typed for the emoji") << "abc?"
                                             << "?bcabc😀bc" << false;
}

void TestScramblePassword::storedFormsThatOpen()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, opens);
    QCOMPARE(PasswordMatches(typed, stored), opens);
}

VARNEL_TEST_CLASS(TestScramblePassword);
#include "tst_scramble.moc"
