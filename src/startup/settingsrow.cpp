#include "settingsrow.h"

#include "base/appinfo.h"
#include "store/database.h"

#include <QFileInfo>

#include <cmath>
#include <limits>

namespace varnel
{

namespace
{

const QString kReadSql = QStringLiteral("select * from 系统用户表 where Czy='admin'");
const QString kWriteSql = QStringLiteral("select * from 系统用户表 where czy='admin'");

// Closes the connection however the operation ends.
struct OperationScope {
    OperationScope() { OpenDb(); }
    ~OperationScope() { CloseDb(); }
    OperationScope(const OperationScope &) = delete;
    OperationScope &operator=(const OperationScope &) = delete;
};

} // namespace

std::optional<SettingsRow> readSettingsRow()
{
    OperationScope operation;
    DbRs->Open(kReadSql, *DbConn, RsMode::Read);
    if (DbRs->Eof())
        return std::nullopt;
    return SettingsRow{DbRs->Field(QStringLiteral("pass")), DbRs->Field(QStringLiteral("auto"))};
}

QVariant writeSettingsField(const QString &column, const QVariant &value)
{
    OperationScope operation;
    DbRs->Open(kWriteSql, *DbConn, RsMode::Write);
    if (DbRs->Eof())
        throw DbError(DbError::Failed, 0, missingSettingsRowText());
    DbRs->SetField(column, value);
    DbRs->Update();
    return DbRs->Field(column);
}

int startModeOf(const QVariant &autoValue)
{
    if (autoValue.isNull())
        return 0;
    bool ok = false;
    const double number = autoValue.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return 0;
    const double rounded = std::nearbyint(number); // halves go to the even neighbour
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return 0;
    return int(rounded);
}

QString storedPasswordOf(const QVariant &pass)
{
    return pass.isNull() ? QString() : pass.toString();
}

QString missingSettingsRowText()
{
    return QStringLiteral("数据库文件中缺少系统设置记录：\n%1\n\n原因：表“系统用户表”中没有 "
                          "Czy 为 admin 的记录。")
        .arg(QFileInfo(databasePath()).absoluteFilePath());
}

} // namespace varnel
