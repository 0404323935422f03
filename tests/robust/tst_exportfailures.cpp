// The export file cannot be written (the disk is full from the start or fills
// up halfway, the name is a link to nowhere) or the notes cannot be read: the export says
// so, never claims success, leaves an older export file as it was, opens no
// editor and changes no note.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "robustsupport.h"

#include <QDir>
#include <QtTest>

namespace
{

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("VarnelOutNote.txt?*")},
                                  QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TestExportFailures : public QObject
{
    Q_OBJECT

  private slots:
    void failedExportLeavesEverythingAsItWas_data();
    void failedExportLeavesEverythingAsItWas();
};

void TestExportFailures::failedExportLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("disk full halfway") << "disk full"
                                       << "无法写入导出文件";
    QTest::newRow("link into a missing folder") << "dangling link"
                                                << "无法写入导出文件";
    QTest::newRow("disk full from the start") << "disk full at once"
                                              << "无法写入导出文件";
    QTest::newRow("notes cannot be read") << "database"
                                          << "无法读取数据库文件";
}

void TestExportFailures::failedExportLeavesEverythingAsItWas()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    Workspace ws;
    for (int i = 0; i < 60; ++i)
        addNote(QStringLiteral("导出%1").arg(i), QString(2000, QChar(0x4E00 + i)));
    const std::vector<robust::StoredNote> notes = robust::storedNotes();
    ws.show();

    const QString path = varnel::exportPath();
    const QByteArray older = QByteArrayLiteral(" an export from yesterday\r\n");
    if (fault == u"dangling link") {
        QVERIFY(QFile::link(ws.folder.file(QStringLiteral("gone/VarnelOutNote.txt")), path));
    } else {
        QVERIFY(robust::writeFileBytes(path, older));
    }
    QByteArray database;
    if (fault == u"database") {
        varnel::ShutdownDb();
        database = fileContents(varnel::databasePath());
        QRandomGenerator rng(3);
        QVERIFY(robust::writeFileBytes(varnel::databasePath(),
                                       robust::randomBytes(rng, database.size())));
    }

    QString text;
    {
        // Far less room than the notes need: more than the two header lines,
        // or nothing at all.
        const rlim_t room = fault == u"disk full"           ? 20000
                            : fault == u"disk full at once" ? 0
                                                            : RLIM_INFINITY;
        robust::FileSizeLimit full(room);
        QVERIFY(full.ok());
        exportMustFail(ws, &text);
    }
    if (QTest::currentTestFailed())
        return;
    qInfo("%s", qPrintable(text));
    QVERIFY2(text.contains(message), qPrintable(text));

    if (fault == u"dangling link")
        QVERIFY(QFileInfo(path).isSymLink());
    else
        QCOMPARE(fileContents(path), older);
    QCOMPARE(leftovers(ws.folder.path()), QStringList());
    QVERIFY(!QDir(ws.folder.file(QStringLiteral("gone"))).exists());

    if (!database.isEmpty())
        QVERIFY(robust::writeFileBytes(varnel::databasePath(), database));
    varnel::ShutdownDb();
    QCOMPARE(robust::integrityCheck(), QStringLiteral("ok"));
    QVERIFY(robust::storedNotes() == notes);
}

VARNEL_TEST_CLASS(TestExportFailures);
#include "tst_exportfailures.moc"
