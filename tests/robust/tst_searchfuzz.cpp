// The search box of a real main window against random text: any characters,
// quotes, wildcards, control characters, ten thousand characters at once. No
// search may fail or show a message, and the list must hold exactly the notes
// that LIKE '%text%' picks, as SQLite itself answers it on a handle of its own.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "robustsupport.h"
#include "shownsql.h"
#include "sqlitereference.h"

#include <QElapsedTimer>
#include <QHash>
#include <QtTest>

namespace
{

constexpr qint64 kSearchBudgetMs = 1500;

struct Note {
    QString title;
    QString body;
    QString time;  // as stored
    QString shown; // as the list shows it, built by SQLite (shownsql.h)
    int done = 0;
    qint64 bookid = 0;
};

// The titles the list must show for `term`, in list order, as SQLite's own
// LIKE picks them on a handle of its own (the shown time built in SQL).
QStringList expectedTitles(const SqliteReference &reference, const std::vector<Note> &notes,
                           const QString &term)
{
    QHash<qint64, QString> titles;
    for (const Note &note : notes)
        titles.insert(note.bookid, note.title);
    QStringList out;
    for (const varnel::search::ListEntry &entry :
         reference.list(varnel::search::NoteFilter::matching(term)))
        out.append(titles.value(entry.bookid));
    return out;
}

// A term as it can be read in a failure message.
QString visible(const QString &term)
{
    QString out;
    for (const uint c : term.left(60).toUcs4()) {
        if (c >= 0x20 && c < 0x7F)
            out += QChar(char16_t(c));
        else
            out += QStringLiteral("<U+%1>").arg(c, 4, 16, QLatin1Char('0'));
    }
    return out;
}

// A piece of `text` of up to `length` characters, never splitting a pair.
QString sliceOf(robust::RandomText &random, const QString &text, int length)
{
    const QList<uint> points = text.toUcs4();
    if (points.isEmpty())
        return QString();
    const int from = random.bounded(int(points.size()));
    const int count = 1 + random.bounded(length);
    const QList<uint> piece = points.mid(from, count);
    QString out =
        QString::fromUcs4(reinterpret_cast<const char32_t *>(piece.constData()), piece.size());
    // LIKE ignores the case of ASCII letters: so may the user.
    for (QChar &c : out) {
        if (c.unicode() < 128 && c.isLetter() && random.chance(50))
            c = c.isUpper() ? c.toLower() : c.toUpper();
    }
    return out;
}

QString searchTerm(robust::RandomText &random, const std::vector<Note> &notes)
{
    const int kind = random.bounded(100);
    if (kind < 35 && !notes.empty()) {
        const Note &note = notes[std::size_t(random.bounded(int(notes.size())))];
        const int column = random.bounded(3);
        const QString source = column == 0   ? note.title
                               : column == 1 ? note.body
                                             : note.shown;
        return sliceOf(random, source, 10);
    }
    if (kind < 65)
        return random.any(12);
    if (kind < 75) {
        static const char16_t *const wild[] = {u"%",  u"_",  u"%%",       u"a_b",      u"%_%",
                                               u"__", u"_%", u"2008-8-8", u"2008_8_8", u"%-%-%"};
        return QString::fromUtf16(wild[random.bounded(int(std::size(wild)))]);
    }
    if (kind < 85) {
        static const char16_t *const sql[] = {u"'; drop table 企业日记; --",
                                              u"\\",
                                              u"''",
                                              u"%' or '1'='1",
                                              u"\"",
                                              u"\\%",
                                              u"?1",
                                              u"\\_",
                                              u"' || '",
                                              u"]]>"};
        return QString::fromUtf16(sql[random.bounded(int(std::size(sql)))]);
    }
    if (kind < 90) // ten thousand characters
        return random.text(10000, random.chance(50) ? robust::RandomText::Everything &
                                                          ~unsigned(robust::RandomText::Wildcards)
                                                    : robust::RandomText::Everything);
    if (kind < 95)
        return QString();
    return random.text(1, robust::RandomText::Everything);
}

} // namespace

class TestSearchFuzz : public QObject
{
    Q_OBJECT

  private slots:
    void randomSearches_data() { robust::addSeedRows(); }
    void randomSearches();
};

void TestSearchFuzz::randomSearches()
{
    QFETCH(quint32, seed);
    robust::RandomText random(seed);
    Workspace ws;
    std::vector<Note> notes;
    for (int i = 0; i < 80; ++i) {
        Note note;
        note.title = random.any(30);
        note.body = random.any(300);
        note.done = random.chance(30) ? 1 : 0;
        note.time = random.chance(20)
                        ? QStringLiteral("2008-08-08 09:05:00")
                        : anyStoredTime([&random](int n) { return random.bounded(n); });
        note.bookid = addNote(note.title, note.body, random.bounded(4), note.done, note.time);
        // An empty time is the column's default: the stored value as it is.
        note.shown = sqlShownTime(
            sqlValue(QStringLiteral("select 时间 from 企业日记 where bookid = ?1"), {note.bookid}));
        notes.push_back(note);
    }
    ws.show();
    const SqliteReference reference(varnel::databasePath());
    QLineEdit *box = ws.edit("txtCZ");
    DialogCatcher dialogs;
    QElapsedTimer clock;
    clock.start();
    int searches = 0;
    int narrowed = 0; // searches that listed some notes but not all
    for (; searches < 400 && clock.elapsed() < kSearchBudgetMs; ++searches) {
        box->setText(searchTerm(random, notes));
        const QString term = box->text(); // exactly what the window searched for
        // Before the index is ready a search runs off the window's thread.
        QTRY_VERIFY_WITH_TIMEOUT(!ws.label("Lab_searching")->isVisible(), 20000);
        QVERIFY2(dialogs.seen.isEmpty(), qPrintable(QStringLiteral("search %1 showed: %2")
                                                        .arg(searches)
                                                        .arg(dialogs.seen.join(QLatin1Char('|')))));
        const bool checkable = term.size() <= 200 || (!term.contains(u'%') && !term.contains(u'_'));
        if (!checkable)
            continue;
        const QStringList expected = expectedTitles(reference, notes, term);
        if (!expected.isEmpty() && expected.size() < int(notes.size()))
            ++narrowed;
        if (ws.titles() != expected) {
            QFAIL(
                qPrintable(QStringLiteral("search %1 for \"%2\" (%3 characters): %4 notes listed, "
                                          "%5 expected")
                               .arg(searches)
                               .arg(visible(term))
                               .arg(term.size())
                               .arg(ws.rows())
                               .arg(expected.size())));
        }
    }
    qInfo("%d searches, %d of them listing some notes but not all", searches, narrowed);
    QVERIFY(searches >= 20);
    QVERIFY(narrowed >= searches / 5);
    QCOMPARE(int(robust::storedNotes().size()), 80); // searching changed nothing
}

VARNEL_TEST_CLASS(TestSearchFuzz);
#include "tst_searchfuzz.moc"
