// The database file refuses a save while the main window is up: it or its
// folder is read-only, another program holds it, the notes table is gone, or
// the disk is full. The message says in Chinese why, names the file and what
// was kept, with SQLite's words only in the closing brackets; it comes at
// once, without a long wait for the other program; the note waits in the
// editor, and once the file is usable again the same click saves it.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "robustsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace
{

// The sqlcipher shell with the notebook's file open in a transaction of its
// own, as a database tool leaves it.
class AnotherProgram
{
  public:
    AnotherProgram(const QString &path, const QString &transaction)
    {
        shell_.setProcessChannelMode(QProcess::MergedChannels);
        shell_.start(QStringLiteral("sqlcipher"), {QStringLiteral("-bail"), path});
        shell_.waitForStarted(10000);
        shell_.write(QStringLiteral("PRAGMA key='Rv8-tq2Lm0';\nPRAGMA cipher_page_size=4096;\n"
                                    "%1;\nSELECT 'hold' || 'ing';\n")
                         .arg(transaction)
                         .toUtf8());
        QByteArray said;
        QElapsedTimer waited;
        waited.start();
        while (!said.contains("holding") && shell_.state() == QProcess::Running &&
               waited.elapsed() < 10000) {
            shell_.waitForReadyRead(100);
            said += shell_.readAll();
        }
        holding_ = said.contains("holding");
    }
    ~AnotherProgram() { release(); }
    bool holding() const { return holding_; }
    void release()
    {
        if (shell_.state() == QProcess::NotRunning)
            return;
        shell_.write("ROLLBACK;\n.quit\n");
        shell_.closeWriteChannel();
        if (!shell_.waitForFinished(5000))
            shell_.kill();
        shell_.waitForFinished(5000);
    }

  private:
    QProcess shell_;
    bool holding_ = false;
};

const QString kFileKept = QStringLiteral("程序没有改动这个文件");
const QString kAllKept = QStringLiteral("文件中已有的信息都没有变");

// Everything but SQLite's words at the end and the file's path: Chinese only.
bool chineseApartFromFileAndBrackets(QString text, const QString &path)
{
    text.truncate(text.lastIndexOf(u'（'));
    text.remove(path);
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    return !text.isEmpty() && !text.contains(word);
}

} // namespace

class TestDatabaseRefusals : public QObject
{
    Q_OBJECT

  private slots:
    void saveIsRefused_data();
    void saveIsRefused();
};

void TestDatabaseRefusals::saveIsRefused_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("kept");
    QTest::newRow("file read-only") << "read-only"
                                    << "文件是只读的" << kAllKept;
    QTest::newRow("data folder read-only") << "folder read-only"
                                           << "文件所在的文件夹不能写入" << kAllKept;
    QTest::newRow("another program writing") << "BEGIN IMMEDIATE"
                                             << "另一个程序正在使用这个文件" << kAllKept;
    QTest::newRow("another program locked it") << "BEGIN EXCLUSIVE"
                                               << "另一个程序正在使用这个文件" << kAllKept;
    QTest::newRow("notes table gone") << "table gone"
                                      << "文件已损坏" << kFileKept;
    QTest::newRow("disk full") << "disk full"
                               << "磁盘已满" << kAllKept;
}

void TestDatabaseRefusals::saveIsRefused()
{
    QFETCH(QString, fault);
    QFETCH(QString, cause);
    QFETCH(QString, kept);
    if (fault.contains(u"read-only") && ::geteuid() == 0) {
        robust::rerunAsOrdinaryUser(QStringLiteral("TestDatabaseRefusals"),
                                    QStringLiteral("saveIsRefused:") + QTest::currentDataTag());
        return;
    }
    Workspace ws;
    for (int i = 0; i < 3; ++i)
        addNote(QStringLiteral("旧笔记%1").arg(i), QStringLiteral("内容"));
    const QString path = QFileInfo(varnel::databasePath()).absoluteFilePath();
    const QString refused = fault == u"folder read-only" ? varnel::dataFolder() : path;
    const auto writable = QFile::permissions(refused);
    if (fault.contains(u"read-only")) {
        varnel::ShutdownDb(); // the window opens the file as it finds it
        QVERIFY(QFile::setPermissions(refused, writable & ~(QFile::WriteOwner | QFile::WriteUser)));
    }
    ws.show();
    QCOMPARE(ws.rows(), 3);
    std::optional<AnotherProgram> other;
    std::optional<robust::FileSizeLimit> full;
    if (fault == u"table gone")
        TestFolder::exec(QStringLiteral("alter table 企业日记 rename to 别的表"));
    else if (fault == u"disk full")
        QVERIFY(full.emplace(QFileInfo(path).size()).ok());
    else if (!fault.contains(u"read-only"))
        QVERIFY2(other.emplace(path, fault).holding(), "the other program did not get the file");

    const QString title = QStringLiteral("不能丢的笔记");
    ws.edit("Text1")->setText(title);
    ws.get<QPlainTextEdit>("Text2")->setPlainText(QString(60000, u'长'));
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QElapsedTimer answered;
    answered.start();
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    // The window does not hang waiting for the other program to let go.
    QVERIFY2(answered.elapsed() < 2000, qPrintable(QString::number(answered.elapsed())));
    QCOMPARE(answers.seen().size(), 1);
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    const QString text = answers.last().text;
    qInfo("%s", qPrintable(text));
    QVERIFY2(text.contains(path), qPrintable(text));
    QVERIFY2(text.contains(cause), qPrintable(text));
    QVERIFY2(text.contains(kept), qPrintable(text));
    QVERIFY2(chineseApartFromFileAndBrackets(text, path), qPrintable(text));
    QCOMPARE(ws.edit("Text1")->text(), title);

    // The file is usable again: the same click saves the note.
    full.reset();
    if (other)
        other->release();
    QFile::setPermissions(refused, writable);
    if (fault == u"table gone")
        TestFolder::exec(QStringLiteral("alter table 别的表 rename to 企业日记"));
    DialogCatcher dialogs;
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(dialogs.seen, QStringList());
    QCOMPARE(ws.rows(), 4);
    QCOMPARE(ws.titles().first(), title);
}

VARNEL_TEST_CLASS(TestDatabaseRefusals);
#include "tst_databaserefusals.moc"
