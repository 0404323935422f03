// The password scrambler against random passwords of every length and kind
// of character: the length and position rules hold, a character outside the
// BMP is never cut in two, digits always become the same ten letters, the
// result depends on nothing but the input, and nothing throws.

#include "testmain.h"

#include "robustsupport.h"
#include "scramble.h"

#include <QtTest>

#include <map>

namespace
{

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// No half of a surrogate pair: the text survives the database's UTF-8.
bool wholeInUtf8(const QString &text)
{
    return QString::fromUtf8(text.toUtf8()) == text;
}

} // namespace

class TestScrambleFuzz : public QObject
{
    Q_OBJECT

  private slots:
    void randomPasswords_data() { robust::addSeedRows(); }
    void randomPasswords();
};

void TestScrambleFuzz::randomPasswords()
{
    QFETCH(quint32, seed);
    robust::RandomText random(seed);
    std::map<char16_t, QChar> letterOf; // what each digit became so far
    for (int round = 0; round < 3000; ++round) {
        QString typed = random.chance(40)
                            ? random.text(random.bounded(12), robust::RandomText::Ascii)
                            : random.any(random.chance(5) ? 5000 : 24);
        if (random.chance(30)) // digits anywhere
            typed.insert(random.bounded(int(typed.size()) + 1),
                         QString::number(random.bounded(1000)));
        if (random.chance(5) && typed.size() > 2)
            typed.truncate(random.bounded(4)); // the short ones
        QString stored;
        try {
            stored = varnel::ScramblePassword(typed);
        } catch (...) {
            QFAIL(qPrintable(
                QStringLiteral("threw on a password of %1 characters").arg(typed.size())));
        }
        QCOMPARE(varnel::ScramblePassword(typed), stored);
        const qsizetype n = typed.size();
        if (n < 4) {
            QCOMPARE(stored, typed);
            continue;
        }
        // last, 2nd, 3rd, the whole password, 2nd, 3rd, position by position
        const QString arranged = typed.right(1) + typed.mid(1, 2) + typed + typed.mid(1, 2);
        if (wholeInUtf8(typed))
            QVERIFY(wholeInUtf8(stored));
        QVERIFY(varnel::PasswordMatches(typed, stored));
        if (stored.size() != n + 5) {
            // The positions fell on halves of pairs, which were taken whole.
            QVERIFY(!wholeInUtf8(arranged));
            QVERIFY(stored.size() <= n + 10);
            continue;
        }
        for (qsizetype i = 0; i < stored.size(); ++i) {
            const QChar in = arranged.at(i);
            const QChar out = stored.at(i);
            if (!isDigit(in)) {
                QCOMPARE(out, in);
                continue;
            }
            QVERIFY2(out.unicode() < 128 && out.isLetter(), qPrintable(QString(out)));
            const auto known = letterOf.find(in.unicode());
            if (known == letterOf.end())
                letterOf[in.unicode()] = out;
            else
                QCOMPARE(out, known->second);
        }
    }
    // Ten digits, ten different letters.
    QCOMPARE(int(letterOf.size()), 10);
    QSet<QChar> letters;
    for (const auto &entry : letterOf)
        letters.insert(entry.second);
    QCOMPARE(int(letters.size()), 10);
}

VARNEL_TEST_CLASS(TestScrambleFuzz);
#include "tst_scramblefuzz.moc"
