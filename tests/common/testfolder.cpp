#include "testfolder.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "provisioning.h"

#include <QDir>
#include <QFile>

TestFolder::TestFolder(bool provision)
{
    varnel::ShutdownDb();
    ok_ = dir_.isValid();
    QDir(dir_.path()).mkpath(QStringLiteral("xdg-config"));
    QDir(dir_.path()).mkpath(QStringLiteral("xdg-runtime"));
    QFile::setPermissions(dir_.filePath(QStringLiteral("xdg-runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("xdg-config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir_.filePath(QStringLiteral("xdg-runtime")).toLocal8Bit());
    if (provision)
        ok_ = ok_ && provisionProgramFolder(dir_.path());
    varnel::setProgramFolder(dir_.path());
}

TestFolder::~TestFolder()
{
    varnel::ShutdownDb();
    varnel::setProgramFolder(QString());
}

void TestFolder::exec(const QString &sql)
{
    varnel::OpenDb();
    varnel::DbConn->Execute(sql);
    varnel::CloseDb();
}

QVariant TestFolder::scalar(const QString &sql)
{
    varnel::OpenDb();
    varnel::DbRs->Open(sql, *varnel::DbConn, varnel::RsMode::Read);
    const QVariant value = varnel::DbRs->Eof() ? QVariant() : varnel::DbRs->Field(0);
    varnel::CloseDb();
    return value;
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool rekeyDatabase(const QString &path)
{
    sqlite3 *db = varnel::db::openKeyed(path, false);
    const bool ok = sqlite3_rekey(db, "another-key", 11) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}
