#include "backupfiles.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/dbengine.h"
#include "backupnotice.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace backupfiles
{

QString folder()
{
    return varnel::dataFolder() + QStringLiteral("/backup");
}

QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        QFile file(folder + QLatin1Char('/') + name);
        files.insert(name,
                     file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unread>"));
    }
    return files;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QStringList partials(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.partial*")}, QDir::Files | QDir::Hidden);
}

CopyView view(const QString &copy)
{
    CopyView seen;
    try {
        sqlite3 *db = varnel::db::openKeyed(copy, false);
        try {
            QStringList lines;
            varnel::db::Statement check(db, QStringLiteral("PRAGMA integrity_check"));
            while (check.step())
                lines.append(check.text(0));
            seen.integrity = lines.join(QLatin1Char('\n'));
            varnel::db::Statement ids(
                db, QStringLiteral("select bookid from 企业日记 order by bookid"));
            while (ids.step())
                seen.bookids.append(ids.integer(0));
        } catch (const varnel::DbError &e) {
            seen.integrity = QString::fromUtf8(e.what());
        }
        sqlite3_close_v2(db);
    } catch (const varnel::DbError &e) {
        seen.integrity = QString::fromUtf8(e.what());
    }
    return seen;
}

void addNotes(int count, int bodyLength, const QString &titlePrefix)
{
    const QString body =
        QString(QStringLiteral("备份里的一行字。")).repeated(bodyLength / 8 + 1).left(bodyLength);
    varnel::OpenDb();
    varnel::DbConn->Execute(QStringLiteral("begin"));
    for (int i = 0; i < count; ++i) {
        varnel::DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 分类) values (?, ?, 0)"),
            {QStringLiteral("%1 %2").arg(titlePrefix).arg(i), body});
    }
    varnel::DbConn->Execute(QStringLiteral("commit"));
    varnel::CloseDb();
}

varnel::DailyBackup::Outcome runBackup(const QDate &day,
                                       std::function<void(const QString &)> beforeCheck)
{
    varnel::DailyBackup backup(day);
    backup.beforeCheck = std::move(beforeCheck);
    return backup.run();
}

Started::Started(const QDate &day) : backup(day)
{
    QObject::connect(&backup, &varnel::BackgroundBackup::finished,
                     [this](const varnel::DailyBackup::Outcome &o) {
                         outcome = o;
                         varnel::BackupNotice::tell(o);
                     });
    backup.start();
}

bool Started::wait(int ms)
{
    return QTest::qWaitFor([this]() { return outcome.has_value(); }, ms);
}

} // namespace backupfiles
