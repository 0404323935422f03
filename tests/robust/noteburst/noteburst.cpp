// robust_noteburst <program folder> <tag>: saves notes one after another,
// each exactly as the editor's save button does, until it is killed. Right
// after each Update returns it prints the note's bookid and number ("<bookid>
// <i>") and flushes, so whatever it printed was saved.

#include "base/appinfo.h"
#include "burstnote.h"
#include "store/database.h"

#include <QCoreApplication>

#include <cstdio>

using namespace varnel;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: robust_noteburst <program folder> <tag>\n");
        return 2;
    }
    setProgramFolder(QString::fromLocal8Bit(argv[1]));
    const QString tag = QString::fromLocal8Bit(argv[2]);
    try {
        for (int i = 0;; ++i) {
            const BurstNote note = burstNote(tag, i);
            OpenDb();
            DbRs->Open(QStringLiteral("select * from 企业日记 where 1=0"), *DbConn, RsMode::Write);
            DbRs->AddNew();
            DbRs->SetField(QStringLiteral("标题"), note.title);
            DbRs->SetField(QStringLiteral("内容"), note.body);
            DbRs->SetField(QStringLiteral("分类"), note.category);
            DbRs->Update();
            std::printf("%lld %d\n", DbRs->Field(QStringLiteral("bookid")).toLongLong(), i);
            std::fflush(stdout);
            CloseDb();
        }
    } catch (const DbError &e) {
        std::fprintf(stderr, "robust_noteburst: %s\n", e.what());
        return 3;
    }
}
