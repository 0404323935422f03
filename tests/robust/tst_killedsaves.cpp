// A program killed in the middle of saving leaves a sound database that holds
// every note it had finished saving, exactly as saved.

#include "testmain.h"

#include "base/appinfo.h"
#include "burstnote.h"
#include "robustsupport.h"
#include "store/database.h"
#include "testfolder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <map>

namespace
{

// What the writer printed before it died: bookid -> note number.
std::map<qint64, int> savedNotes(const QByteArray &output)
{
    std::map<qint64, int> saved;
    const QList<QByteArray> lines = output.split('\n');
    // The last piece is cut off or empty: only whole lines count.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        if (fields.size() == 2)
            saved[fields.at(0).toLongLong()] = fields.at(1).toInt();
    }
    return saved;
}

} // namespace

class TestKilledSaves : public QObject
{
    Q_OBJECT

  private slots:
    void killedInTheMiddleOfABurst();
};

void TestKilledSaves::killedInTheMiddleOfABurst()
{
    TestFolder folder;
    QVERIFY(folder.ok());
    varnel::ShutdownDb();
    QRandomGenerator rng(quint32(QDateTime::currentMSecsSinceEpoch()));
    const quint32 seed = rng.generate();
    rng.seed(seed);
    qInfo("kill times from seed %u", seed);

    int roundsWithSaves = 0;
    int journalsLeft = 0;
    std::size_t notesSaved = 0;
    for (int round = 0; round < 20; ++round) {
        const QString tag = QStringLiteral("r%1").arg(round);
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        writer.start(QStringLiteral(VARNEL_NOTEBURST), {folder.path(), tag});
        QVERIFY2(writer.waitForStarted(10000), qPrintable(writer.errorString()));
        // Most rounds die some saves into the burst (counted, not timed: a
        // save takes much longer under the sanitizers or a loaded machine),
        // a moment after one; some while still opening the database or in
        // their first save.
        QByteArray printed;
        if (round % 4 != 3) {
            QVERIFY2(writer.waitForReadyRead(30000), writer.readAllStandardError().constData());
            const qsizetype more = qsizetype(rng.bounded(6));
            (void)QTest::qWaitFor(
                [&]() {
                    printed += writer.readAllStandardOutput();
                    return printed.count('\n') > more;
                },
                10000);
        }
        QTest::qWait(int(rng.bounded(250)));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(10000));
        const QByteArray errors = writer.readAllStandardError();
        QVERIFY2(writer.exitStatus() == QProcess::CrashExit, errors.constData());

        const std::map<qint64, int> saved = savedNotes(printed + writer.readAllStandardOutput());
        if (saved.size() > 1)
            ++roundsWithSaves;
        notesSaved += saved.size();
        if (QFile::exists(varnel::databasePath() + QStringLiteral("-journal")))
            ++journalsLeft;

        varnel::ShutdownDb(); // the next open finds the killed writer's journal
        QCOMPARE(robust::integrityCheck(), QStringLiteral("ok"));
        std::map<qint64, robust::StoredNote> stored;
        for (const robust::StoredNote &note : robust::storedNotes())
            stored[note.bookid] = note;
        for (const auto &[bookid, number] : saved) {
            const auto it = stored.find(bookid);
            QVERIFY2(it != stored.end(), qPrintable(QStringLiteral("round %1: note %2 (bookid %3) "
                                                                   "is gone")
                                                        .arg(round)
                                                        .arg(number)
                                                        .arg(bookid)));
            const BurstNote expected = burstNote(tag, number);
            QCOMPARE(it->second.title, expected.title);
            QVERIFY2(
                it->second.body == expected.body,
                qPrintable(
                    QStringLiteral("round %1: body of note %2 differs").arg(round).arg(number)));
            QCOMPARE(it->second.category, expected.category);
        }
        // A note the writer was killed in the middle of is there whole or not at all.
        static const QRegularExpression ownTitle(QStringLiteral("^r(\\d+)-(\\d+)$"));
        int ofThisRound = 0;
        for (const auto &[bookid, note] : stored) {
            const QRegularExpressionMatch m = ownTitle.match(note.title);
            QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("a note titled %1").arg(note.title)));
            if (m.captured(1).toInt() != round)
                continue;
            ++ofThisRound;
            QVERIFY(note.body == burstNote(tag, m.captured(2).toInt()).body);
        }
        QVERIFY2(ofThisRound == int(saved.size()) || ofThisRound == int(saved.size()) + 1,
                 qPrintable(QStringLiteral("round %1: %2 notes printed, %3 stored")
                                .arg(round)
                                .arg(saved.size())
                                .arg(ofThisRound)));
        varnel::ShutdownDb();
    }
    qInfo("%zu notes saved in 20 rounds; %d kills left a journal behind", notesSaved, journalsLeft);
    // The kills must have hit bursts, not only starts.
    QVERIFY2(roundsWithSaves >= 5, qPrintable(QString::number(roundsWithSaves)));
}

VARNEL_TEST_CLASS(TestKilledSaves);
#include "tst_killedsaves.moc"
