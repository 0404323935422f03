// The program folder cannot be written (the data folder inside it still
// can): the export says so and never claims success, no editor opens, and the
// notes stay as they were and can still be saved.
//
// Root writes anywhere, so run as root the test starts itself again as an
// ordinary user (nobody), for whom the folder's permissions hold.

#include "testmain.h"
#include "workspacefixture.h"

#include "base/appinfo.h"
#include "robustsupport.h"

#include <QtTest>

#include <unistd.h>

namespace
{

constexpr auto kReadOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                           QFile::ReadOther | QFile::ExeOther;
constexpr auto kOpen = kReadOnly | QFile::WriteOwner;

// Takes away the write permission of a folder while it lives.
class ReadOnlyFolder
{
  public:
    explicit ReadOnlyFolder(const QString &path) : path_(path)
    {
        ok_ = QFile::setPermissions(path_, kReadOnly);
    }
    ~ReadOnlyFolder() { QFile::setPermissions(path_, kOpen); }
    bool ok() const { return ok_; }

  private:
    QString path_;
    bool ok_ = false;
};

} // namespace

class TestUnwritableProgramFolder : public QObject
{
    Q_OBJECT

  private slots:
    void exportFailsAndNotesStay();
};

void TestUnwritableProgramFolder::exportFailsAndNotesStay()
{
    if (::geteuid() == 0) {
        robust::rerunAsOrdinaryUser(QStringLiteral("TestUnwritableProgramFolder"),
                                    QStringLiteral("exportFailsAndNotesStay"));
        return;
    }
    Workspace ws;
    for (int i = 0; i < 5; ++i)
        addNote(QStringLiteral("笔记%1").arg(i), QStringLiteral("内容%1").arg(i));
    const std::vector<robust::StoredNote> notes = robust::storedNotes();
    ws.show();

    ReadOnlyFolder readOnly(ws.folder.path());
    QVERIFY(readOnly.ok());
    QString text;
    exportMustFail(ws, &text);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(text.contains(QStringLiteral("无法写入导出文件")), qPrintable(text));
    QVERIFY(!QFile::exists(varnel::exportPath()));
    QVERIFY(robust::storedNotes() == notes);
    QCOMPARE(robust::integrityCheck(), QStringLiteral("ok"));

    // The data folder is still writable: a new note saves.
    ws.edit("Text1")->setText(QStringLiteral("仍然可以保存"));
    QTest::mouseClick(ws.button("cmd_add"), Qt::LeftButton);
    QCOMPARE(int(robust::storedNotes().size()), int(notes.size()) + 1);
}

VARNEL_TEST_CLASS(TestUnwritableProgramFolder);
#include "tst_unwritablefolder.moc"
