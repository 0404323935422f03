// The database file goes bad while the main window is up: overwritten,
// replaced, truncated, deleted with its folder, swapped for one with another
// password. Saving must say so and keep the typed note in the editor; once the
// file is back, the same note saves.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "robustsupport.h"

#include <QDir>
#include <QtTest>

#include <cstdio>

namespace
{

// Puts `bytes` in the file's place the way a copy tool or an editor does:
// a new file renamed over the old one.
bool replaceByRename(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".new");
    return robust::writeFileBytes(temporary, bytes) &&
           std::rename(QFile::encodeName(temporary).constData(),
                       QFile::encodeName(path).constData()) == 0;
}

// Damages the database file of the running window as `fault` says.
bool damage(const QString &fault, const QByteArray &original)
{
    const QString path = varnel::databasePath();
    QRandomGenerator rng(7);
    if (fault == u"overwritten in place")
        return robust::writeFileBytes(path, robust::randomBytes(rng, original.size()));
    if (fault == u"truncated in place")
        return QFile::resize(path, original.size() / 2);
    if (fault == u"replaced by garbage")
        return replaceByRename(path, robust::randomBytes(rng, original.size()));
    if (fault == u"replaced by another password's database")
        return replaceByRename(path, robust::databaseWithOtherKey(path));
    if (fault == u"deleted")
        return QFile::remove(path);
    if (fault == u"data folder removed")
        return QDir(varnel::dataFolder()).removeRecursively();
    return false;
}

bool restore(const QByteArray &original)
{
    QDir().mkpath(varnel::dataFolder());
    return robust::writeFileBytes(varnel::databasePath(), original);
}

} // namespace

class TestDatabaseFaultsWhileRunning : public QObject
{
    Q_OBJECT

  private slots:
    void saveAfterTheFileWentBad_data();
    void saveAfterTheFileWentBad();
};

void TestDatabaseFaultsWhileRunning::saveAfterTheFileWentBad_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cause");
    const QString unreadable = QStringLiteral("数据库密码不正确，或者文件已损坏");
    const QString damaged = QStringLiteral("损坏");
    const QString missing = QStringLiteral("文件不存在");
    QTest::newRow("overwritten in place") << "overwritten in place" << unreadable;
    QTest::newRow("truncated in place") << "truncated in place" << damaged;
    QTest::newRow("replaced by garbage") << "replaced by garbage" << unreadable;
    QTest::newRow("replaced by another password's database")
        << "replaced by another password's database" << unreadable;
    QTest::newRow("deleted") << "deleted" << missing;
    QTest::newRow("data folder removed") << "data folder removed" << missing;
}

void TestDatabaseFaultsWhileRunning::saveAfterTheFileWentBad()
{
    QFETCH(QString, fault);
    QFETCH(QString, cause);
    Workspace ws;
    // Enough notes that the file has pages beyond the first.
    for (int i = 0; i < 40; ++i)
        addNote(QStringLiteral("旧笔记%1").arg(i), QString(600, QChar(0x4E00 + i)));
    ws.show();
    QCOMPARE(ws.rows(), 40);
    varnel::ShutdownDb(); // the file as it is on disk, complete
    const QByteArray original = fileContents(varnel::databasePath());
    QVERIFY(!original.isEmpty());
    ws.get<QPushButton>("cmdALL")->click(); // the window's own handle is open again
    QCOMPARE(ws.rows(), 40);

    QVERIFY(damage(fault, original));
    const QString title = QStringLiteral("坏了以后写的");
    const QString body = QStringLiteral("这条笔记不能丢。\n第二行");
    ws.edit("Text1")->setText(title);
    ws.get<QPlainTextEdit>("Text2")->setPlainText(body);
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    QVERIFY2(answers.last().text.contains(QStringLiteral("pelbrook_data.Tandrel")),
             qPrintable(answers.last().text));
    QVERIFY2(answers.last().text.contains(cause), qPrintable(answers.last().text));
    // Nothing was taken away from the user: the note waits in the editor.
    QCOMPARE(ws.edit("Text1")->text(), title);
    QCOMPARE(ws.get<QPlainTextEdit>("Text2")->toPlainText(), body);
    QVERIFY(ws.button("cmd_add")->isEnabled());

    // Listing fails the same way, with a message, and the window stays up.
    answers.clear();
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmdALL"), Qt::LeftButton);
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    QVERIFY(ws.window()->isVisible());

    // The file comes back: the same click saves the note, and nothing else changed.
    QVERIFY(restore(original));
    DialogCatcher dialogs;
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(dialogs.seen, QStringList());
    QCOMPARE(ws.rows(), 41);
    QCOMPARE(ws.titles().first(), title);
    varnel::ShutdownDb();
    QCOMPARE(robust::integrityCheck(), QStringLiteral("ok"));
    const std::vector<robust::StoredNote> notes = robust::storedNotes();
    QCOMPARE(int(notes.size()), 41);
    QCOMPARE(notes.back().title, title);
    QCOMPARE(notes.back().body, body);
}

VARNEL_TEST_CLASS(TestDatabaseFaultsWhileRunning);
#include "tst_databasefaults.moc"
