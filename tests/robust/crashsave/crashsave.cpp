// robust_crashsave <program folder>: a save that never finishes. It changes
// every note in one transaction, with a page cache small enough that the
// changed pages reach the file before the commit, and kills itself before
// the commit: the rollback journal stays beside the database, as after a
// crash or a power cut in the middle of a save.

#include "base/appinfo.h"
#include "store/dbengine.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

using namespace varnel;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: robust_crashsave <program folder>\n");
        return 2;
    }
    setProgramFolder(QString::fromLocal8Bit(argv[1]));
    sqlite3 *db = db::openKeyed(databasePath(), false);
    const int rc = sqlite3_exec(db,
                                "PRAGMA cache_size = 8; BEGIN;"
                                "UPDATE 企业日记 SET 内容 = 内容 || '（没有保存完）';",
                                nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "robust_crashsave: %s\n", sqlite3_errmsg(db));
        return 3;
    }
    std::raise(SIGKILL);
    return 4;
}
