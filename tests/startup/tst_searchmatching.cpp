// The search engine against SQLite itself: the LIKE of the data layer byte
// for byte, and the in-memory index over random notes and random texts, with
// changes through the program's handle, through another handle and a file
// replaced underneath.

#include "base/appinfo.h"
#include "sqlitereference.h"
#include "store/database.h"
#include "store/datalayer.h"
#include "store/dbengine.h"
#include "store/search/bytesearch.h"
#include "store/search/charcodes.h"
#include "store/handover.h"
#include "store/search/indexreader.h"
#include "store/search/notearena.h"
#include "store/search/notesearch.h"
#include "store/search/pairfilter.h"
#include "store/search/posting.h"
#include "store/search/sqlitelike.h"
#include "testfolder.h"
#include "testmain.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <random>
#include <set>

using namespace varnel;
using search::ListEntry;
using search::NoteFilter;

namespace
{

using Reference = SqliteReference;

const QStringList kPieces = {"密", "码", "会", "议", "的", "一", "a", "A", "b", "B", "z", "0",
                             "1",  "9",  "%",  "_",  "'",  "\\", "😀", "é", " ", "-", ":"};

QString randomText(QRandomGenerator &rng, int maxLength)
{
    QString s;
    const int n = int(rng.bounded(maxLength + 1));
    for (int i = 0; i < n; ++i)
        s += kPieces.at(int(rng.bounded(kPieces.size())));
    return s;
}

// A column value: mostly text, sometimes empty or Null.
QVariant randomField(QRandomGenerator &rng, int maxLength)
{
    const int kind = int(rng.bounded(10));
    return kind == 0 ? QVariant() : kind == 1 ? QVariant(QString()) : randomText(rng, maxLength);
}

QVariant randomTime(QRandomGenerator &rng)
{
    if (rng.bounded(8) == 0)
        return rng.bounded(2) ? QVariant() : QVariant(randomText(rng, 6));
    return anyStoredTime([&rng](int n) { return int(rng.bounded(n)); });
}

QVariant randomState(QRandomGenerator &rng)
{
    const int kind = int(rng.bounded(10));
    return kind == 0 ? QVariant() : QVariant(kind < 4 ? 1 : 0);
}

int g_bodyLength = 40; // the longest random body

void insertNote(sqlite3 *db, QRandomGenerator &rng, const QVariant &bookid = QVariant())
{
    db::Statement(db,
                  QStringLiteral("insert into 企业日记 (bookid, 标题, 内容, 分类, 处理, 时间) "
                                 "values (?1, ?2, ?3, ?4, ?5, ?6)"),
                  {bookid, randomField(rng, 8), randomField(rng, g_bodyLength), int(rng.bounded(3)),
                   randomState(rng), randomTime(rng)})
        .step();
}

// A search text: a piece of a stored note (so that some notes match), or
// random characters, in either case of its ASCII letters.
QString searchText(QRandomGenerator &rng, sqlite3 *db)
{
    if (rng.bounded(3) == 0)
        return randomText(rng, 4);
    // A body, or a time as the list shows it (built in SQL, see shownsql.h).
    const QString column =
        rng.bounded(3) == 0 ? QStringLiteral("shown_time") : QStringLiteral("内容");
    db::Statement stmt(
        db,
        QStringLiteral("WITH ") + shownTimeCtes(QStringLiteral("企业日记")) +
            QStringLiteral(" SELECT %1 FROM shown_notes order by random() limit 1").arg(column));
    const QString body = stmt.step() ? stmt.text(0) : QString();
    const int from = body.isEmpty() ? 0 : int(rng.bounded(body.size()));
    QString piece = body.mid(from, 1 + int(rng.bounded(4)));
    for (QChar &c : piece) {
        if (c.unicode() < 128 && rng.bounded(2))
            c = c.isUpper() ? c.toLower() : c.toUpper();
    }
    return piece;
}

std::vector<ListEntry> engineList(const NoteFilter &filter)
{
    OpenDb();
    std::vector<ListEntry> rows = search::listNotes(*DbConn, filter);
    CloseDb();
    return rows;
}

QString describe(const NoteFilter &filter, const std::vector<ListEntry> &got,
                 const std::vector<ListEntry> &want)
{
    QString text = QStringLiteral("filter %1 \"%2\": %3 rows, %4 expected; ids")
                       .arg(filter.kind)
                       .arg(filter.text)
                       .arg(got.size())
                       .arg(want.size());
    for (const ListEntry &e : got)
        text += QLatin1Char(' ') + QString::number(e.bookid);
    text += QStringLiteral("; expected");
    for (const ListEntry &e : want)
        text += QLatin1Char(' ') + QString::number(e.bookid);
    return text;
}

} // namespace

class TestSearchMatching : public QObject
{
    Q_OBJECT

  private slots:
    void likeIsSqlitesLike_data();
    void likeIsSqlitesLike();
    void likeAgreesWithSqliteOnRandomInput();
    void engineAgreesWithSqlite_data();
    void engineAgreesWithSqlite();
    void prefilterNeverLosesAMatch();
    void prefilterFollowsChanges();
    void prefilterNoticesAnotherHandle();
    void byteFinderFindsTheFirstOccurrence_data();
    void byteFinderFindsTheFirstOccurrence();
    void encodingReadsTextAsLikeDoes_data();
    void encodingReadsTextAsLikeDoes();
    void setsHoldWhatWasAdded_data();
    void setsHoldWhatWasAdded();
    void bulkTakesTheRoomOfTheNotesToCome_data();
    void bulkTakesTheRoomOfTheNotesToCome();
    void arenaBlocksLiveUntilTheyGo_data();
    void arenaBlocksLiveUntilTheyGo();
    void pairFilterHoldsEveryPair_data();
    void pairFilterHoldsEveryPair();
    void oddFilesAgreeWithSqlite_data();
    void oddFilesAgreeWithSqlite();
    void readerTakesInOnlyWhatDiffers_data();
    void readerTakesInOnlyWhatDiffers();
    void readerStopsAtItsBudget_data();
    void readerStopsAtItsBudget();
    void buildFollowsChangesMadeWhileItReads_data();
    void buildFollowsChangesMadeWhileItReads();
    void likeRefusesWhatSqliteRefuses_data();
    void likeRefusesWhatSqliteRefuses();
    void shownTimeIsWhatIsSearched_data();
    void shownTimeIsWhatIsSearched();

  private:
    static bool plainLike(const QByteArray &pattern, const QByteArray &text);
    static void compareAll(const Reference &reference, QRandomGenerator &rng, int searches);
    static QStringList search(const QString &term, bool fromIndex);
};

bool TestSearchMatching::plainLike(const QByteArray &pattern, const QByteArray &text)
{
    sqlite3 *plain = nullptr;
    sqlite3_open(":memory:", &plain);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(plain, "select ?1 like ?2", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, pattern.constData(), int(pattern.size()), SQLITE_TRANSIENT);
    sqlite3_step(stmt);
    const bool hit = sqlite3_column_int(stmt, 0) == 1;
    sqlite3_finalize(stmt);
    sqlite3_close(plain);
    return hit;
}

void TestSearchMatching::likeIsSqlitesLike_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("text");
    auto row = [](const char *name, QByteArray pattern, QByteArray text) {
        QTest::newRow(name) << pattern << text;
    };
    row("ascii any case", "%abc%", "xxABCyy");
    row("chinese substring", "%密码%", "我的密码本");
    row("chinese miss", "%密码%", "我的密本码");
    row("chinese and ascii any case", "%的b%", "x的By");
    row("percent alone", "%", "");
    row("underscore one char", "%密_%", "密码");
    row("underscore needs a char", "a_c", "ac");
    row("anchored miss", "a%c", "abbbcd");
    row("backslash and quote are literal", "%a\\b'%", "xa\\b'y");
    row("empty pattern", "", "a");
    row("non-ascii no case folding", "%É%", "é");
    row("emoji", "%😀_%", "x😀y");
    row("U+0080 after % is sought byte-wise", "%\xC2\x80", "\xC3\x80");
    row("stray continuation byte is a character", "%\xA9%", "\xC2\xA9");
    row("text ends at NUL", QByteArray("%cd%"), QByteArray("ab\0cd", 5));
    row("pattern ends at NUL", QByteArray("%ab\0zz%", 7), "xab");
    row("surrogate reads as U+FFFD", "%\xEF\xBF\xBD%", "\xED\xA0\x80");
    row("overlong form reads as its character", "%的%", "\xF0\x87\x9A\x84");
    row("longer sequence is another character", "%的%", "\xE7\x9A\x84\x80");
    row("U+0080 first is sought inside other characters", "%\xC2\x80%", "一");
    row("U+0080 first, then more", "%\xC2\x80\xE4\xB8\x80%", "\xE4\xB8\x80\xE4\xB8\x80");
}

void TestSearchMatching::likeIsSqlitesLike()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, text);
    QCOMPARE(search::sqliteLike({pattern.constData(), std::size_t(pattern.size())},
                                {text.constData(), std::size_t(text.size())}),
             plainLike(pattern, text));
}

void TestSearchMatching::likeAgreesWithSqliteOnRandomInput()
{
    const QList<QByteArray> alphabet = {"a",
                                        "A",
                                        "b",
                                        "%",
                                        "_",
                                        "密",
                                        "码",
                                        "\\",
                                        "'",
                                        "😀",
                                        "é",
                                        "\xC2",
                                        "\x80",
                                        "\xA9",
                                        "\xFF",
                                        "\xE7\x9A",
                                        "\xF0\x87\x9A\x84",
                                        QByteArray("\0", 1)};
    QRandomGenerator rng(20261207);
    auto randomBytes = [&](int maxLength) {
        QByteArray s;
        const int n = int(rng.bounded(maxLength + 1));
        for (int i = 0; i < n; ++i)
            s += alphabet.at(int(rng.bounded(alphabet.size())));
        return s;
    };
    for (int round = 0; round < 4000; ++round) {
        const QByteArray pattern = (round % 2 ? "%" : "") + randomBytes(5) + (round % 2 ? "%" : "");
        const QByteArray text = randomBytes(8);
        if (search::sqliteLike({pattern.constData(), std::size_t(pattern.size())},
                               {text.constData(), std::size_t(text.size())}) !=
            plainLike(pattern, text))
            QFAIL(qPrintable("'" + text.toHex(' ') + "' like '" + pattern.toHex(' ') + "'"));
    }
}

// Every list of the window and a run of searches: the index (or the
// statement, while it is not ready) against the reference handle.
void TestSearchMatching::compareAll(const Reference &reference, QRandomGenerator &rng, int searches)
{
    std::vector<NoteFilter> filters = {NoteFilter::all(), NoteFilter::pending(),
                                       NoteFilter::inCategory(1), NoteFilter::matching({})};
    QString typed;
    for (int i = 0; i < searches; ++i) {
        // Typed on from the last text, deleted back, or a new one.
        const int how = int(rng.bounded(3));
        typed = how == 0   ? typed + kPieces.at(int(rng.bounded(kPieces.size())))
                : how == 1 ? typed.chopped(typed.isEmpty() ? 0 : 1)
                           : searchText(rng, reference.db());
        filters.push_back(NoteFilter::matching(typed));
    }
    for (const NoteFilter &filter : filters) {
        const std::vector<ListEntry> got = engineList(filter);
        const std::vector<ListEntry> want = reference.list(filter);
        if (got != want)
            QFAIL(qPrintable(describe(filter, got, want)));
    }
    OpenDb();
    const qint64 all = search::countNotes(*DbConn, NoteFilter::all());
    const qint64 one = search::countNotes(*DbConn, NoteFilter::inCategory(2));
    CloseDb();
    QCOMPARE(all, qint64(reference.list(NoteFilter::all()).size()));
    QCOMPARE(one, qint64(reference.list(NoteFilter::inCategory(2)).size()));
}

void TestSearchMatching::engineAgreesWithSqlite_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("bodyLength");
    for (const quint32 seed : {11u, 22u, 33u})
        QTest::newRow(qPrintable(QString::number(seed))) << seed << 40;
    // Long bodies: larger pair filters, a text found far into a note.
    QTest::newRow("long bodies") << 44u << 900;
}

void TestSearchMatching::engineAgreesWithSqlite()
{
    QFETCH(quint32, seed);
    QFETCH(int, bodyLength);
    g_bodyLength = bodyLength;
    QRandomGenerator rng(seed);
    TestFolder folder;
    sqlite3 *shared = db::shared();
    sqlite3_exec(shared, "begin", nullptr, nullptr, nullptr);
    for (int i = 0; i < 150; ++i)
        insertNote(shared, rng, i % 50 == 0 ? QVariant(-i - 1) : QVariant());
    sqlite3_exec(shared, "commit", nullptr, nullptr, nullptr);
    auto reference = std::make_unique<Reference>(databasePath());
    compareAll(*reference, rng, 10); // before the index is ready: the statements
    QVERIFY(DataLayer::current().search().waitUntilReady(10000));
    compareAll(*reference, rng, 60);

    // Changes through the program's handle while a search is shown.
    for (int round = 0; round < 6; ++round) {
        insertNote(shared, rng, round == 0 ? QVariant(0) : QVariant());
        db::Statement(shared,
                      QStringLiteral("update 企业日记 set 内容 = ?1, 处理 = ?2 where bookid in "
                                     "(select bookid from 企业日记 order by random() limit 3)"),
                      {randomText(rng, 20), randomState(rng)})
            .step();
        db::Statement(shared, QStringLiteral("delete from 企业日记 where bookid = (select "
                                             "bookid from 企业日记 order by random() limit 1)"))
            .step();
        compareAll(*reference, rng, 8);
    }
    TestFolder::exec(QStringLiteral("delete from 企业日记"));
    compareAll(*reference, rng, 3);

    // Another handle writes: the index notices and is built again.
    sqlite3 *other = db::openKeyed(databasePath(), false);
    sqlite3_exec(other, "begin", nullptr, nullptr, nullptr);
    for (int i = 0; i < 40; ++i)
        insertNote(other, rng);
    sqlite3_exec(other, "commit", nullptr, nullptr, nullptr);
    sqlite3_close_v2(other);
    compareAll(*reference, rng, 10);
    QVERIFY(DataLayer::current().search().waitUntilReady(10000));
    compareAll(*reference, rng, 20);

    // The file is replaced underneath by another notebook.
    const QString path = databasePath();
    QFile::copy(path, path + QStringLiteral(".new"));
    other = db::openKeyed(path + QStringLiteral(".new"), false);
    for (int i = 0; i < 30; ++i)
        insertNote(other, rng);
    sqlite3_close_v2(other);
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(path + QStringLiteral(".new"), path));
    reference = std::make_unique<Reference>(path);
    compareAll(*reference, rng, 10);
    QVERIFY(DataLayer::current().search().waitUntilReady(10000));
    compareAll(*reference, rng, 20);
}

QStringList TestSearchMatching::search(const QString &term, bool fromIndex)
{
    QStringList ids;
    if (fromIndex) {
        DataLayer::current().search().waitUntilReady(10000);
        for (const ListEntry &e : engineList(NoteFilter::matching(term)))
            ids << QString::number(e.bookid);
        return ids;
    }
    const Reference reference(databasePath());
    for (const ListEntry &e : reference.list(NoteFilter::matching(term)))
        ids << QString::number(e.bookid);
    return ids;
}

void TestSearchMatching::prefilterNeverLosesAMatch()
{
    TestFolder folder;
    const QStringList words = {"密码", "会议", "Project", "backup",   "银行卡", "旅行计划",
                               "100%", "a_b",  "O'Neil",  "C:\\temp", "😀表情"};
    QRandomGenerator rng(7);
    OpenDb();
    DbConn->Execute(QStringLiteral("begin"));
    for (int i = 0; i < 400; ++i) {
        QString title, body;
        for (int k = 0; k < 3; ++k)
            title += words.at(int(rng.bounded(words.size())));
        for (int k = 0; k < 20; ++k)
            body += words.at(int(rng.bounded(words.size()))) + QLatin1Char(' ');
        DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 分类, 时间) values (?,?,0,?)"),
            {title, body,
             QStringLiteral("2008-08-%1 09:05:00").arg(1 + i % 28, 2, 10, QLatin1Char('0'))});
    }
    DbConn->Execute(QStringLiteral("commit"));
    CloseDb();
    const QStringList terms = {"密码", "码会", "project", "PROJ",   "银行卡旅", "2008-8-8",
                               "9:05", "%",    "_",       "a_b",    "100%",     "o'neil",
                               "c:\\", "😀",    "表情密",  "无此词", "b%p",      "密_"};
    for (const QString &term : terms)
        QCOMPARE(search(term, true), search(term, false));
}

void TestSearchMatching::prefilterFollowsChanges()
{
    TestFolder folder;
    TestFolder::exec(QStringLiteral("insert into 企业日记 (标题, 内容) values ('旧标题', '正文')"));
    QCOMPARE(search(QStringLiteral("旧标题"), true).size(), 1); // builds the index
    OpenDb();
    DbRs->Open(QStringLiteral("select * from 企业日记"), *DbConn, RsMode::Write);
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("新名字"));
    DbRs->Update();
    DbRs->AddNew();
    DbRs->SetField(QStringLiteral("标题"), QStringLiteral("第二篇"));
    DbRs->Update();
    CloseDb();
    QCOMPARE(search(QStringLiteral("旧标题"), true).size(), 0);
    QCOMPARE(search(QStringLiteral("新名字"), true).size(), 1);
    QCOMPARE(search(QStringLiteral("第二篇"), true).size(), 1);
    TestFolder::exec(QStringLiteral("delete from 企业日记 where 标题='第二篇'"));
    QCOMPARE(search(QStringLiteral("第二篇"), true).size(), 0);
}

void TestSearchMatching::prefilterNoticesAnotherHandle()
{
    TestFolder folder;
    QCOMPARE(search(QStringLiteral("外来"), true).size(), 0);
    QVERIFY(DataLayer::current().search().waitUntilReady(10000));
    sqlite3 *other = db::openKeyed(databasePath(), false);
    db::Statement(other, QStringLiteral("insert into 企业日记 (标题, 内容) values ('外来', '')"))
        .step();
    sqlite3_close_v2(other);
    QCOMPARE(search(QStringLiteral("外来"), true).size(), 1);
    // Brought up to date, not read anew: one note taken in.
    const auto figures = DataLayer::current().search().figures();
    QCOMPARE(figures.catchUps, 1);
    QCOMPARE(figures.notesTaken, std::size_t(1));
}

void TestSearchMatching::byteFinderFindsTheFirstOccurrence_data()
{
    QTest::addColumn<int>("needleLength");
    for (const int length : {1, 2, 3, 5, 33})
        QTest::newRow(qPrintable(QString::number(length))) << length;
}

// The vector scans against a plain find: texts around the 16- and 32-byte
// steps, lead and continuation bytes of the index's encoding among them.
void TestSearchMatching::byteFinderFindsTheFirstOccurrence()
{
    QFETCH(int, needleLength);
    const std::string bytes = {'a', 'b', '\xC0', '\xC1', '\x80', '\x81', '\xBF', '\xF8'};
    QRandomGenerator rng(5);
    auto randomBytes = [&](int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += bytes[rng.bounded(int(bytes.size()))];
        return out;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string hay = randomBytes(int(rng.bounded(130)));
        const bool inside = hay.size() >= std::size_t(needleLength) && rng.bounded(2);
        const std::string needle =
            inside ? hay.substr(rng.bounded(int(hay.size()) - needleLength + 1), needleLength)
                   : randomBytes(needleLength);
        const auto *h = reinterpret_cast<const unsigned char *>(hay.data());
        const unsigned char *at = search::ByteFinder(needle).find(h, hay.size());
        const std::size_t want = hay.find(needle);
        QCOMPARE(at ? std::size_t(at - h) : std::string::npos, want);
    }
}

void TestSearchMatching::encodingReadsTextAsLikeDoes_data()
{
    QTest::addColumn<QByteArray>("text");
    auto distinct = [](int count) {
        QString text;
        for (int i = 0; i < count; ++i)
            text.append(QChar(0x4E00 + i));
        return text.toUtf8() + "末";
    };
    QTest::newRow("ASCII, folded") << QByteArray("Hello, World 42");
    QTest::newRow("Chinese and ASCII") << QByteArray("会议ABC纪要 第3页");
    QTest::newRow("cut at NUL") << QByteArray("前\0后", 7);
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80表情");
    QTest::newRow("replacement char as written") << QByteArray("\xEF\xBF\xBD!");
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\x80x");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80x");
    QTest::newRow("U+FFFE and U+FFFF") << QByteArray("\xEF\xBF\xBE\xEF\xBF\xBFx");
    QTest::newRow("cut short at the end") << QByteArray("中\xE4\xB8");
    QTest::newRow("extra continuation") << QByteArray("\xE4\xB8\xAD\x80\x80中");
    QTest::newRow("stray continuation") << QByteArray("\x80\xBF中");
    QTest::newRow("lone lead bytes") << QByteArray("\xE4x\xC3\xF0y");
    // Text is encoded a piece of 1,024 bytes at a time: characters, whole or
    // malformed, that cross from one piece into the next.
    for (const int before : {1022, 1023}) {
        QTest::addRow("a character across pieces, %d bytes before", before)
            << QByteArray(before, 'a') + "中\xF0\x9F\x98\x80" + QByteArray(2100, 'b') + "文";
        QTest::addRow("a malformed character across pieces, %d bytes before", before)
            << QByteArray(before, 'a') + "\xE4\xB8x\xF0" + QByteArray(1030, 'c');
    }
    QTest::newRow("three-byte keys") << distinct(3700);
    QTest::newRow("four-byte keys") << distinct(33000);
}

// Every character gets the key SQLite's reading of it gives, in order, and
// its bytes are that key's: the quick path for three-byte characters and the
// writing of keys in a second pass change nothing.
void TestSearchMatching::encodingReadsTextAsLikeDoes()
{
    QFETCH(QByteArray, text);
    // One encoded text for both rounds, as the reader keeps it from note to note.
    search::EncodedText encoded;
    for (const int fields : {1, 2}) {
        search::CharCodes codes, reference;
        encoded.clear();
        std::vector<std::uint32_t> keys;
        std::string bytes;
        for (int field = 0; field < fields; ++field) {
            if (field > 0) {
                encoded.separate();
                keys.push_back(search::CharCodes::kNone);
                bytes.push_back('\0');
            }
            QVERIFY(search::encodeText(std::string_view(text.constData(), std::size_t(text.size())),
                                       codes, encoded));
            const std::string_view visible =
                search::likeVisible(std::string_view(text.constData(), std::size_t(text.size())));
            const auto *p = reinterpret_cast<const unsigned char *>(visible.data());
            for (const auto *end = p + visible.size(); p < end;) {
                std::uint32_t c = search::readSqliteChar(p, end);
                c = c >= 'A' && c <= 'Z' ? c + 32 : c;
                keys.push_back(reference.add(c));
                search::CharCodes::put(keys.back(), bytes);
            }
        }
        const std::span<const std::uint32_t> got = encoded.keys();
        QCOMPARE(std::vector<std::uint32_t>(got.begin(), got.end()), keys);
        std::string written;
        std::uint32_t end = 0;
        encoded.write(written, std::span(&end, 1));
        QCOMPARE(written, bytes);
        QCOMPARE(encoded.byteLength(), bytes.size());
        QCOMPARE(end, std::uint32_t(fields > 1 ? bytes.find('\0') : 0));
    }
}

void TestSearchMatching::setsHoldWhatWasAdded_data()
{
    QTest::addColumn<int>("slotCount");
    QTest::addColumn<int>("inEvery"); // a slot in so many holds the character
    QTest::addColumn<bool>("byBlocks");
    QTest::addColumn<int>("room"); // slots expected in the end, by blocks only
    QTest::newRow("rare, by blocks") << 100000 << 500 << true << 0;
    QTest::newRow("common, by blocks") << 100000 << 3 << true << 0;
    QTest::newRow("common, by blocks, room known") << 100000 << 3 << true << 100000;
    QTest::newRow("common, by blocks, room too small") << 100000 << 3 << true << 30000;
    QTest::newRow("rare, by blocks, room known") << 100000 << 500 << true << 100000;
    QTest::newRow("crossing into a bit set") << 20000 << 30 << true << 0;
    QTest::newRow("crossing into a bit set, room known") << 20000 << 30 << true << 20000;
    QTest::newRow("rare, one at a time") << 5000 << 200 << false << 0;
    QTest::newRow("common, one at a time") << 5000 << 2 << false << 0;
}

// A set holds exactly the slotCount put in, a list or a bit set alike, and its
// room stays within about a quarter of what it needs; a bit set told its room
// takes no more than that.
void TestSearchMatching::setsHoldWhatWasAdded()
{
    QFETCH(int, slotCount);
    QFETCH(int, inEvery);
    QFETCH(bool, byBlocks);
    QFETCH(int, room);
    QRandomGenerator rng(17);
    std::set<std::uint32_t> want;
    for (int slot = 0; slot < slotCount; ++slot) {
        if (rng.bounded(inEvery) == 0)
            want.insert(std::uint32_t(slot));
    }
    search::Posting set;
    if (byBlocks) {
        std::uint64_t word = 0;
        std::uint32_t block = 0;
        for (const std::uint32_t slot : want) {
            if (slot / 64 != block && word) {
                set.addBlock(block, word, slot, std::uint32_t(room));
                word = 0;
            }
            block = slot / 64;
            word |= std::uint64_t(1) << (slot % 64);
        }
        if (word)
            set.addBlock(block, word, std::uint32_t(slotCount), std::uint32_t(room));
    } else {
        std::vector<std::uint32_t> order(want.begin(), want.end());
        std::shuffle(order.begin(), order.end(), std::mt19937(3));
        for (const std::uint32_t slot : order)
            set.add(slot, std::uint32_t(slotCount));
    }
    QCOMPARE(set.count(), want.size());
    for (int slot = 0; slot < slotCount; ++slot)
        QCOMPARE(set.has(std::uint32_t(slot)), want.count(std::uint32_t(slot)) == 1);
    const std::size_t needs = set.dense() ? std::size_t(slotCount + 63) / 64 * 8 : want.size() * 4;
    QVERIFY2(set.bytes() <= needs * 5 / 4 + 512,
             qPrintable(QStringLiteral("%1 for %2").arg(set.bytes()).arg(needs)));
    if (set.dense() && room >= slotCount)
        QVERIFY2(set.bytes() <= needs + 64,
                 qPrintable(QStringLiteral("%1 for %2").arg(set.bytes()).arg(needs)));
}

void TestSearchMatching::bulkTakesTheRoomOfTheNotesToCome_data()
{
    QTest::addColumn<int>("step");          // between two bookids
    QTest::addColumn<qint64>("lonelyId");   // a last bookid far above the rest, or 0
    QTest::addColumn<double>("mostMemory"); // against an index told nothing
    QTest::newRow("bookids one after another") << 1 << qint64(0) << 1.0;
    QTest::newRow("every third bookid") << 3 << qint64(0) << 1.0;
    QTest::newRow("a lone high bookid at the end") << 1 << qint64(1000000000000) << 1.05;
}

namespace
{

// The notes of `ids`, of common and rarer characters, put in bulk into a new index,
// told the highest bookid to come (0: not told).
std::unique_ptr<search::NoteIndex> bulkIndex(const std::vector<std::int64_t> &ids,
                                             std::int64_t lastId)
{
    auto index = std::make_unique<search::NoteIndex>();
    index->beginBulk(lastId);
    QRandomGenerator rng(5);
    for (const std::int64_t id : ids) {
        QString body;
        for (int c = 0; c < 120; ++c)
            body += QChar(0x4E00 + int(rng.bounded(c % 3 ? 40 : 400)));
        const std::string bytes = body.toStdString();
        search::NoteRecord record;
        record.bookid = id;
        record.title = {false, "t"};
        record.body = {false, bytes};
        record.categoryIsInteger = true;
        record.category = 1;
        index->put(record);
    }
    index->endBulk();
    return index;
}

} // namespace

// Told the highest bookid to come, the sets take the room of the notes still
// to come at once: the index then needs no more memory than one told nothing,
// even when that bookid stands far above all others, and answers the same.
void TestSearchMatching::bulkTakesTheRoomOfTheNotesToCome()
{
    QFETCH(int, step);
    QFETCH(qint64, lonelyId);
    QFETCH(double, mostMemory);
    std::vector<std::int64_t> ids;
    for (int i = 1; i <= 20000; ++i)
        ids.push_back(std::int64_t(i) * step);
    if (lonelyId)
        ids.back() = lonelyId;
    const auto told = bulkIndex(ids, ids.back());
    const auto untold = bulkIndex(ids, 0);
    QVERIFY2(
        double(told->memoryBytes()) <= double(untold->memoryBytes()) * mostMemory,
        qPrintable(
            QStringLiteral("%1 against %2").arg(told->memoryBytes()).arg(untold->memoryBytes())));
    QCOMPARE(told->listAll(), untold->listAll());
    for (const char *text : {"一", "丁", "一丁", "%丁_"})
        QCOMPARE(told->search(text), untold->search(text));
}

void TestSearchMatching::arenaBlocksLiveUntilTheyGo_data()
{
    QTest::addColumn<int>("words"); // of each block
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("withArena");
    QTest::addColumn<int>("leastChunks"); // held while the blocks live
    QTest::addColumn<bool>("freedElsewhere"); // on another thread than the one that cut them
    QTest::newRow("small blocks across chunks") << 300 << 2000 << true << 3 << false;
    QTest::newRow("across chunks, freed on another thread") << 300 << 2000 << true << 3 << true;
    QTest::newRow("one word each") << 1 << 5000 << true << 1 << false;
    QTest::newRow("too large for a chunk: the heap's") << 20000 << 8 << true << 0 << false;
    QTest::newRow("no arena: the heap's") << 300 << 200 << false << 0 << false;
}

// Every block keeps what was written to it, after the arena that cut it is
// gone and while others of its chunk go; a chunk goes back with its last
// block, in whatever order the blocks go.
void TestSearchMatching::arenaBlocksLiveUntilTheyGo()
{
    QFETCH(int, words);
    QFETCH(int, count);
    QFETCH(bool, withArena);
    QFETCH(int, leastChunks);
    QFETCH(bool, freedElsewhere);
    const std::size_t before = search::NoteArena::chunksHeld();
    std::vector<search::NoteBlock> blocks;
    {
        auto arena = std::make_unique<search::NoteArena>();
        for (int i = 0; i < count; ++i) {
            blocks.push_back(
                search::NoteArena::take(withArena ? arena.get() : nullptr, std::size_t(words)));
            std::fill_n(blocks.back().get(), words, std::uint64_t(i) * 0x9E3779B97F4A7C15u);
        }
    }
    QVERIFY(search::NoteArena::chunksHeld() >= before + std::size_t(leastChunks));
    if (!leastChunks)
        QCOMPARE(search::NoteArena::chunksHeld(), before);
    // Every other block first, then the rest from the end.
    for (std::size_t i = 0; i < blocks.size(); i += 2)
        blocks[i].reset();
    for (int i = 0; i < count; ++i) {
        if (!blocks[std::size_t(i)])
            continue;
        const std::uint64_t want = std::uint64_t(i) * 0x9E3779B97F4A7C15u;
        QVERIFY(std::all_of(blocks[std::size_t(i)].get(), blocks[std::size_t(i)].get() + words,
                            [&](std::uint64_t w) { return w == want; }));
    }
    auto freeAll = [&blocks] {
        while (!blocks.empty())
            blocks.pop_back();
    };
    if (freedElsewhere) {
        // Qt's thread pool is not seen by ThreadSanitizer: the hand-overs are marked.
        handOver();
        QtConcurrent::run([&freeAll] {
            takeOver();
            freeAll();
            handOver();
        }).waitForFinished();
        takeOver();
    } else {
        freeAll();
    }
    QCOMPARE(search::NoteArena::chunksHeld(), before);
}

void TestSearchMatching::pairFilterHoldsEveryPair_data()
{
    QTest::addColumn<int>("characters");
    QTest::addColumn<double>("mostWrong"); // share of absent pairs it may claim
    QTest::newRow("one") << 1 << 0.0;
    QTest::newRow("a title") << 30 << 0.3;
    QTest::newRow("a body") << 2000 << 0.3;
    QTest::newRow("beyond the largest table") << 60000 << 1.0;
}

// Every neighbouring pair within a field passes the filter; few others do.
void TestSearchMatching::pairFilterHoldsEveryPair()
{
    QFETCH(int, characters);
    QFETCH(double, mostWrong);
    QRandomGenerator rng(9);
    std::vector<std::uint32_t> keys; // 0 separates fields
    std::string encoded;
    for (int i = 0; i < characters; ++i) {
        const std::uint32_t key = rng.bounded(40) == 0 ? 0 : 'a' + rng.bounded(300);
        keys.push_back(key);
        key ? void(search::CharCodes::put(key, encoded)) : encoded.push_back('\0');
    }
    search::PairFilter filter;
    filter.build(encoded, 77);
    std::set<std::pair<std::uint32_t, std::uint32_t>> held;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i - 1] && keys[i]) {
            held.insert({keys[i - 1], keys[i]});
            QVERIFY(filter.mayHold(keys[i - 1], keys[i]));
            QVERIFY(search::PairFilter::mayHold(filter.words(), 77, keys[i - 1], keys[i]));
        }
    }
    int wrong = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::pair<std::uint32_t, std::uint32_t> pair('a' + rng.bounded(300),
                                                           'a' + rng.bounded(300));
        const bool claimed = filter.mayHold(pair.first, pair.second);
        // Kept elsewhere as its words, the filter answers the same.
        QCOMPARE(search::PairFilter::mayHold(filter.words(), 77, pair.first, pair.second), claimed);
        wrong += !held.count(pair) && claimed ? 1 : 0;
    }
    QVERIFY2(wrong <= mostWrong * 1000, qPrintable(QString::number(wrong)));
}

namespace
{

// The lists of the window for these texts, from the engine and from SQLite.
void compareTexts(const QStringList &texts)
{
    const Reference reference(databasePath());
    std::vector<NoteFilter> filters = {NoteFilter::all(), NoteFilter::pending(),
                                       NoteFilter::inCategory(1)};
    for (const QString &text : texts)
        filters.push_back(NoteFilter::matching(text));
    for (const NoteFilter &filter : filters) {
        const std::vector<ListEntry> got = engineList(filter);
        const std::vector<ListEntry> want = reference.list(filter);
        if (got != want)
            QFAIL(qPrintable(describe(filter, got, want)));
        // The count of the same notes, from the index or by its own statement.
        OpenDb();
        const qint64 count = search::countNotes(*DbConn, filter);
        CloseDb();
        QCOMPARE(count, qint64(want.size()));
    }
}

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        QFAIL(error);
}

// `count` random notes, in one transaction.
void insertNotes(sqlite3 *db, QRandomGenerator &rng, int count)
{
    exec(db, "begin");
    for (int i = 0; i < count; ++i)
        insertNote(db, rng);
    exec(db, "commit");
}

} // namespace

void TestSearchMatching::oddFilesAgreeWithSqlite_data()
{
    QTest::addColumn<QString>("odd");
    QTest::addColumn<bool>("fromIndex"); // whether the index answers such a file
    QTest::newRow("U+0080 after the %") << QStringLiteral("u0080") << true;
    QTest::newRow("ROLLBACK TO a savepoint") << QStringLiteral("savepoint") << true;
    QTest::newRow("bookid not the rowid") << QStringLiteral("no key") << false;
    QTest::newRow("index over its memory budget") << QStringLiteral("budget") << false;
}

// Files and statements the index could get wrong: each list as SQLite gives it.
void TestSearchMatching::oddFilesAgreeWithSqlite()
{
    QFETCH(QString, odd);
    QFETCH(bool, fromIndex);
    search::NoteSearch &engine = DataLayer::current().search();
    const auto restoreBudget = qScopeGuard(
        [&engine] { engine.setMemoryBudget(search::NoteSearch::defaultMemoryBudget()); });
    TestFolder folder;
    QRandomGenerator rng(5);
    sqlite3 *shared = db::shared();
    exec(shared, "begin");
    for (int i = 0; i < 60; ++i)
        insertNote(shared, rng);
    exec(shared, "insert into 企业日记 (标题, 内容, 分类) values ('一', char(128), 1)");
    exec(shared, "commit");
    if (odd == QLatin1String("no key")) {
        exec(shared, "alter table 企业日记 rename to 旧日记;"
                     "create table 企业日记 as select * from 旧日记 order by bookid desc;"
                     "drop table 旧日记; update 企业日记 set bookid = 1000 - bookid;");
    }
    if (odd == QLatin1String("budget"))
        engine.setMemoryBudget(1);
    db::closeShared();
    shared = db::shared();
    QCOMPARE(engine.waitUntilReady(10000), fromIndex);
    const QStringList texts = {QString(QChar(0x80)),
                               QStringLiteral("一"),
                               QString(QChar(0x80)) + QStringLiteral("一"),
                               QStringLiteral("%") + QChar(0x80),
                               QStringLiteral("a"),
                               QStringLiteral("密"),
                               QString()};
    compareTexts(texts);

    // Changes through the program's handle, one of them undone by ROLLBACK TO.
    exec(shared, "begin; update 企业日记 set 标题 = '先改' where bookid in (select bookid from "
                 "企业日记 order by bookid limit 3); savepoint s;"
                 "update 企业日记 set 标题 = '后改', 处理 = 1 where bookid in (select bookid "
                 "from 企业日记 order by bookid desc limit 4);"
                 "insert into 企业日记 (标题) values ('后加');");
    QCOMPARE(engineList(NoteFilter::matching(QStringLiteral("后"))).size(), std::size_t(5));
    exec(shared, "rollback to s; commit");
    compareTexts(texts + QStringList{QStringLiteral("先改"), QStringLiteral("后")});
    QCOMPARE(engine.ready(), fromIndex);
}

// Notes saved, changed and deleted through the program's handle while the
// build reads the file on its own thread all show in the finished index; and
// the build finishes without any turn of the event loop.
void TestSearchMatching::readerTakesInOnlyWhatDiffers_data()
{
    QTest::addColumn<QString>("change"); // run by another program
    QTest::addColumn<int>("taken");
    QTest::newRow("nothing") << QString() << 0;
    QTest::newRow("a title") << QStringLiteral("update 企业日记 set 标题 = '改过' where bookid = 5")
                             << 1;
    QTest::newRow("a body in its case only")
        << QStringLiteral(
               "update 企业日记 set 内容 = upper(coalesce(内容, '')) || 'X' where bookid = 6")
        << 1;
    QTest::newRow("a time")
        << QStringLiteral("update 企业日记 set 时间 = '2020-02-02 20:20:20' where bookid = 7") << 1;
    QTest::newRow("a category only")
        << QStringLiteral("update 企业日记 set 分类 = 99 where bookid = 8") << 1;
    QTest::newRow("a state only")
        << QStringLiteral(
               "update 企业日记 set 处理 = case when 处理 = 1 then 0 else 1 end where bookid = 9")
        << 1;
    QTest::newRow("a text made Null")
        << QStringLiteral("update 企业日记 set 标题 = null where bookid = 10") << 1;
    QTest::newRow("deleted") << QStringLiteral("delete from 企业日记 where bookid in (3, 200)")
                             << 0;
    QTest::newRow("inserted below every bookid")
        << QStringLiteral("insert into 企业日记 (bookid, 标题) values (-7, '新的')") << 1;
    QTest::newRow("several") << QStringLiteral("update 企业日记 set 标题 = coalesce(标题, '') || "
                                               "'+' where bookid between 20 and 29")
                             << 10;
}

// An index read a moment ago, brought up to date by a second read after
// another program's commit: only the notes that differ are taken in again,
// and it then answers every list as SQLite does.
void TestSearchMatching::readerTakesInOnlyWhatDiffers()
{
    QFETCH(QString, change);
    QFETCH(int, taken);
    QRandomGenerator rng(73);
    TestFolder folder;
    sqlite3 *shared = db::shared();
    insertNotes(shared, rng, 300);
    std::atomic<bool> stop{false};
    auto read = [&](std::unique_ptr<search::NoteIndex> current) {
        search::IndexReader reader(databasePath(), stop, std::size_t(1) << 30);
        return reader.read(std::move(current));
    };
    auto first = read(nullptr);
    QCOMPARE(first->kind, search::IndexReader::Outcome::Done);
    QCOMPARE(first->notesTaken, std::size_t(300));
    if (!change.isEmpty()) {
        sqlite3 *other = db::openKeyed(databasePath(), false);
        db::Statement(other, change).step();
        sqlite3_close_v2(other);
    }
    auto second = read(std::move(first->index));
    QCOMPARE(second->kind, search::IndexReader::Outcome::Done);
    QCOMPARE(second->notesTaken, std::size_t(taken));
    search::NoteIndex &index = *second->index;
    const Reference reference(databasePath());
    QCOMPARE(index.listAll(), reference.list(NoteFilter::all()));
    QCOMPARE(index.listPending(), reference.list(NoteFilter::pending()));
    for (const std::int64_t category : {0, 1, 2, 99})
        QCOMPARE(index.listCategory(category), reference.list(NoteFilter::inCategory(category)));
    for (const QString &text :
         {QStringLiteral("改过"), QStringLiteral("x"), QStringLiteral("2020-02-02"),
          QStringLiteral("新的"), QStringLiteral("+")})
        QCOMPARE(*index.search(text.toStdString()), reference.list(NoteFilter::matching(text)));
}

void TestSearchMatching::readerStopsAtItsBudget_data()
{
    QTest::addColumn<int>("notes");
    QTest::addColumn<qint64>("budget");
    QTest::addColumn<bool>("done");
    const qint64 plenty = qint64(1) << 30;
    QTest::newRow("a few batches") << 300 << plenty << true;
    QTest::newRow("batches used over and over") << 5000 << plenty << true;
    QTest::newRow("over the budget on the way") << 5000 << qint64(1) << false;
}

// The reader reads a few batches ahead of the thread that places them: the
// index it gives is whole, and one that grows past its budget is given up
// on the way, not after the whole file was read.
void TestSearchMatching::readerStopsAtItsBudget()
{
    QFETCH(int, notes);
    QFETCH(qint64, budget);
    QFETCH(bool, done);
    QRandomGenerator rng(29);
    TestFolder folder;
    insertNotes(db::shared(), rng, notes);
    std::atomic<bool> stop{false};
    search::IndexReader reader(databasePath(), stop, std::size_t(budget));
    const auto outcome = reader.read();
    if (!done) {
        QCOMPARE(outcome->kind, search::IndexReader::Outcome::OverBudget);
        QVERIFY(!outcome->index);
        QVERIFY2(outcome->notesTaken < std::size_t(notes),
                 qPrintable(QString::number(outcome->notesTaken)));
        return;
    }
    QCOMPARE(outcome->kind, search::IndexReader::Outcome::Done);
    QCOMPARE(outcome->notesTaken, std::size_t(notes));
    const Reference reference(databasePath());
    QCOMPARE(outcome->index->listAll(), reference.list(NoteFilter::all()));
    for (const QString &text : {QStringLiteral("x"), QStringLiteral("一"), QStringLiteral("%_")})
        QCOMPARE(*outcome->index->search(text.toStdString()),
                 reference.list(NoteFilter::matching(text)));
}

void TestSearchMatching::buildFollowsChangesMadeWhileItReads_data()
{
    QTest::addColumn<bool>("anotherProgram");
    QTest::newRow("through the shared handle") << false;
    QTest::newRow("by another program") << true;
}

// Notes inserted (one below every bookid), changed and deleted while the
// index is read. Another program's commits show only as a new data version:
// the index read is then brought up to date, taking in again only the notes
// that differ, not built anew.
void TestSearchMatching::buildFollowsChangesMadeWhileItReads()
{
    QFETCH(bool, anotherProgram);
    g_bodyLength = 300;
    QRandomGenerator rng(61);
    TestFolder folder;
    sqlite3 *shared = db::shared();
    insertNotes(shared, rng, 4000);
    db::closeShared();
    shared = db::shared(); // a new build starts
    sqlite3 *other = anotherProgram ? db::openKeyed(databasePath(), false) : nullptr;
    const auto closeOther = qScopeGuard([other] { sqlite3_close_v2(other); });
    sqlite3 *writer = anotherProgram ? other : shared;
    if (other)
        sqlite3_busy_timeout(other, 10000);
    for (int round = 0; round < 10; ++round) {
        insertNote(writer, rng, round == 0 ? QVariant(-5) : QVariant());
        db::Statement(writer,
                      QStringLiteral("update 企业日记 set 标题 = ?1, 处理 = ?2 where bookid in "
                                     "(select bookid from 企业日记 order by random() limit 3)"),
                      {randomText(rng, 6), randomState(rng)})
            .step();
        db::Statement(writer, QStringLiteral("delete from 企业日记 where bookid = (select "
                                             "bookid from 企业日记 order by random() limit 1)"))
            .step();
    }
    QElapsedTimer clock;
    clock.start();
    while (!DataLayer::current().search().ready() && clock.elapsed() < 60000)
        QThread::msleep(5);
    QVERIFY(DataLayer::current().search().ready());
    if (anotherProgram) {
        const auto figures = DataLayer::current().search().figures();
        QVERIFY(figures.catchUps >= 1);
        QVERIFY2(figures.notesTaken <= 50, qPrintable(QString::number(figures.notesTaken)));
    }
    const Reference reference(databasePath());
    compareAll(reference, rng, 30);
    g_bodyLength = 40;
}

void TestSearchMatching::likeRefusesWhatSqliteRefuses_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("text");
    const QByteArray longText(100000, 'a');
    QTest::newRow("at the limit") << ("%" + QByteArray(49998, 'a') + "%") << longText;
    QTest::newRow("one byte over") << ("%" + QByteArray(49999, 'a') + "%") << longText;
    QByteArray deep;
    for (int i = 0; i < 400001; ++i)
        deep += "a%";
    QTest::newRow("800,002 characters of a%a%") << deep << longText;
}

// The registered like() answers or refuses exactly as SQLite's own.
void TestSearchMatching::likeRefusesWhatSqliteRefuses()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, text);
    auto answer = [&](sqlite3 *db) {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "select like(?1, ?2)", -1, &stmt, nullptr);
        sqlite3_bind_text(stmt, 1, pattern.constData(), int(pattern.size()), SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, text.constData(), int(text.size()), SQLITE_STATIC);
        const QString out = sqlite3_step(stmt) == SQLITE_ROW
                                ? QString::number(sqlite3_column_int(stmt, 0))
                                : QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        return out;
    };
    TestFolder folder;
    sqlite3 *plain = nullptr;
    sqlite3_open(":memory:", &plain);
    const QString want = answer(plain);
    sqlite3_close(plain);
    QCOMPARE(answer(db::shared()), want);
}

void TestSearchMatching::shownTimeIsWhatIsSearched_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    auto row = [](const char *stored, const char *shown) {
        QTest::newRow(stored) << QString::fromUtf8(stored) << QString::fromUtf8(shown);
    };
    row("2008-08-08 09:05:00", "2008-8-8 9:05:00");
    row("2008-08-08 9:05:00", "2008-8-8 9:05:00");
    row("2008-8-8 09:05:00", "2008-8-8 9:05:00");
    row("2008-08-08 09:05:00.5", "2008-8-8 9:05:00.5");
    row("2008-08-08 00:00:00.123456", "2008-8-8 0:00:00.123456");
    row("2008-08-08T09:05:00", "2008-8-8 9:05:00");
    row("2008-08-08", "2008-8-8");
    row("2026-12-17 23:59:09", "2026-12-17 23:59:09");
    row("2008-08-08 09:05:00Z", "2008-08-08 09:05:00Z");
    row("2008-08-08 9:05", "2008-08-08 9:05");
    row("2008-008-08 09:05:00", "2008-008-08 09:05:00");
    row("2008-08-08 09:05:00.", "2008-08-08 09:05:00.");
    row("明天 09:05:00", "明天 09:05:00");
    row("", "");
}

// The list, the editor, the search (statement and index) and SQLite's own
// reference show one and the same time for every form a stored time takes.
void TestSearchMatching::shownTimeIsWhatIsSearched()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(sqlShownTime(stored), shown);
    QCOMPARE(shownTime(stored), shown);
    TestFolder folder;
    db::Statement(db::shared(),
                  QStringLiteral("insert into 企业日记 (标题, 内容, 时间) values ('t', 'b', ?1)"),
                  {stored})
        .step();
    const QStringList one = {QStringLiteral("1")};
    if (!shown.isEmpty()) {
        QCOMPARE(search(shown, false), one);
        QCOMPARE(engineList(NoteFilter::matching(shown)).size(), std::size_t(1));
        QCOMPARE(search(shown, true), one);
    }
    // A shown time the note does not have finds nothing.
    if (shown != stored)
        QCOMPARE(search(stored, true), QStringList());
}

VARNEL_TEST_CLASS(TestSearchMatching);
#include "tst_searchmatching.moc"
