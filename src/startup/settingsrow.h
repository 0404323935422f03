#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// The one settings row of the notebook (table 系统用户表, Czy = 'admin'), read
// and written through the data layer. Every function is one data operation of
// its own (OpenDb ... CloseDb) and throws varnel::DbError on failure.
namespace varnel
{

struct SettingsRow {
    QVariant pass; // scrambled start-up password; Null or empty: none
    QVariant autoStart;
};

// The row, or nothing when the table holds no admin row.
std::optional<SettingsRow> readSettingsRow();

// Sets one column of the row and returns the value read back from the row
// after the update. Throws DbError when the row is missing.
QVariant writeSettingsField(const QString &column, const QVariant &value);

// The start mode kept in the auto column as a 16-bit integer, rounded like a
// numeric conversion does; Null, text that is not a number and values out of
// range give 0.
int startModeOf(const QVariant &autoValue);

// The stored password form: Null counts as the empty text.
QString storedPasswordOf(const QVariant &pass);

// What the user is told when the admin row is missing.
QString missingSettingsRowText();

} // namespace varnel
