// The real Varnelpad started on a database it cannot use: it must say which
// file and what is wrong with it in a message box, and end with an error
// status once the box is answered, without crashing.

#include "testfolder.h"
#include "testmain.h"

#include "e2eharness.h"
#include "journeydriver.h"
#include "robustsupport.h"

#include <QDir>
#include <QMessageBox>
#include <QtTest>

namespace
{

const QString kBoxTitle = QStringLiteral("Varnel提示");

QString databaseFile(const E2eFolder &folder)
{
    return folder.path() + QStringLiteral("/data/pelbrook_data.Tandrel");
}

bool damage(const E2eFolder &folder, const QString &fault)
{
    const QString path = databaseFile(folder);
    const QByteArray original = fileContents(path);
    QRandomGenerator rng(11);
    if (fault == u"truncated")
        return robust::writeFileBytes(path, original.left(original.size() / 2));
    if (fault == u"empty")
        return robust::writeFileBytes(path, {});
    if (fault == u"random bytes")
        return robust::writeFileBytes(path, robust::randomBytes(rng, original.size()));
    if (fault == u"other password")
        return robust::writeFileBytes(path, robust::databaseWithOtherKey(path));
    if (fault == u"no data folder")
        return QDir(folder.path() + QStringLiteral("/data")).removeRecursively();
    return false;
}

} // namespace

class TestDamagedDatabaseAtStart : public QObject
{
    Q_OBJECT

  private slots:
    void startEndsWithAMessage_data();
    void startEndsWithAMessage();
};

void TestDamagedDatabaseAtStart::startEndsWithAMessage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("cause");
    QTest::newRow("truncated") << "truncated"
                               << "文件已损坏";
    QTest::newRow("empty") << "empty"
                           << "文件已损坏";
    QTest::newRow("random bytes") << "random bytes"
                                  << "不是本软件的数据库";
    QTest::newRow("other password") << "other password"
                                    << "数据库密码不正确";
    QTest::newRow("no data folder") << "no data folder"
                                    << "文件不存在";
}

void TestDamagedDatabaseAtStart::startEndsWithAMessage()
{
    QFETCH(QString, fault);
    QFETCH(QString, cause);
    E2eFolder folder;
    QVERIFY(folder.ok());
    QVERIFY(damage(folder, fault));

    const QString log = folder.path() + QStringLiteral("/boxes.txt");
    QProcessEnvironment env = folder.environment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VARNEL_BOXLOG));
    env.insert(QStringLiteral("VARNEL_TEST_BOX_LOG"), log);
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(folder.program(), {});
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    // The box comes up on the screen and is answered there, with the Enter key.
    QVERIFY2(journey::answerBox(kBoxTitle), "no message box came up");
    QVERIFY2(program.state() == QProcess::NotRunning || program.waitForFinished(20000),
             "Varnelpad did not end after its message");
    const QString output = QString::fromLocal8Bit(program.readAll());
    QVERIFY2(program.exitStatus() == QProcess::NormalExit, qPrintable(output));
    QVERIFY2(program.exitCode() != 0, qPrintable(output));

    const QStringList boxes =
        QString::fromUtf8(fileContents(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(boxes.size(), 1);
    const QStringList fields = boxes.first().split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 3);
    qInfo("%s", qPrintable(fields.at(2)));
    QCOMPARE(fields.at(0), kBoxTitle);
    QCOMPARE(fields.at(1).toInt(), int(QMessageBox::Critical));
    QVERIFY2(fields.at(2).contains(QDir(folder.path()).canonicalPath() +
                                   QStringLiteral("/data/pelbrook_data.Tandrel")) ||
                 fields.at(2).contains(databaseFile(folder)),
             qPrintable(fields.at(2)));
    QVERIFY2(fields.at(2).contains(cause), qPrintable(fields.at(2)));
    // Nothing was made in the damaged file's place.
    if (fault == u"no data folder")
        QVERIFY(!QFile::exists(databaseFile(folder)));
}

VARNEL_TEST_CLASS(TestDamagedDatabaseAtStart);
#include "tst_damageddatabase.moc"
