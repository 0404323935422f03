#pragma once

#include <QString>
#include <QVariant>

#include <sqlcipher/sqlite3.h>

// The time a note shows, built by SQLite itself from the stored text, for
// tests that must not ask the program. A stored "YYYY-M[M]-D[D]" optionally
// followed by ' ' or 'T' and "H[H]:MM:SS" (and '.' with digits) shows as
// "yyyy-M-d H:MM:SS[.digits]"; any other value shows as it is stored.
//
// The returned common table expressions read `source` (which needs a column
// 时间) and end in `shown_notes`: every column of `source` and shown_time.
inline QString shownTimeCtes(const QString &source)
{
    return QStringLiteral(
               "st_a AS (SELECT *, CAST(时间 AS TEXT) AS st_t FROM %1),"
               "st_b AS (SELECT *, substr(st_t, 6) AS st_r FROM st_a),"
               "st_c AS (SELECT *, substr(st_r, 1, instr(st_r, '-') - 1) AS st_mo,"
               " substr(st_r, instr(st_r, '-') + 1) AS st_r2 FROM st_b),"
               "st_d AS (SELECT *, CASE WHEN instr(st_r2, ' ') > 0 THEN instr(st_r2, ' ')"
               " WHEN instr(st_r2, 'T') > 0 THEN instr(st_r2, 'T') ELSE length(st_r2) + 1 END"
               " AS st_q FROM st_c),"
               "st_e AS (SELECT *, substr(st_r2, 1, st_q - 1) AS st_day,"
               " st_q <= length(st_r2) AS st_clock, substr(st_r2, st_q + 1) AS st_r3 FROM st_d),"
               "st_f AS (SELECT *, substr(st_r3, 1, instr(st_r3, ':') - 1) AS st_h,"
               " substr(st_r3, instr(st_r3, ':')) AS st_tail FROM st_e),"
               "st_g AS (SELECT *, substr(st_t, 1, 5) GLOB '[0-9][0-9][0-9][0-9]-'"
               " AND (st_mo GLOB '[0-9]' OR st_mo GLOB '[0-9][0-9]')"
               " AND (st_day GLOB '[0-9]' OR st_day GLOB '[0-9][0-9]')"
               " AND (NOT st_clock OR ((st_h GLOB '[0-9]' OR st_h GLOB '[0-9][0-9]')"
               "  AND (st_tail GLOB ':[0-9][0-9]:[0-9][0-9]'"
               "   OR (st_tail GLOB ':[0-9][0-9]:[0-9][0-9].[0-9]*'"
               "    AND substr(st_tail, 8) NOT GLOB '*[^0-9]*')))) AS st_ok FROM st_f),"
               "shown_notes AS (SELECT *, CASE WHEN st_ok THEN substr(st_t, 1, 5)"
               " || CAST(st_mo AS INTEGER) || '-' || CAST(st_day AS INTEGER)"
               " || CASE WHEN st_clock THEN ' ' || CAST(st_h AS INTEGER) || st_tail ELSE '' END"
               " ELSE st_t END AS shown_time FROM st_g)")
        .arg(source);
}

// Every form a stored time can take in a notebook file, some of them random:
// as the database writes it, with single digits, with fractions of a
// second, with 'T', the date alone, empty, and text that only looks like one.
template <typename Random> QString anyStoredTime(Random &&bounded)
{
    auto two = [&](int from, int count) {
        return QStringLiteral("%1").arg(from + bounded(count), 2, 10, QLatin1Char('0'));
    };
    auto one = [&](int from, int count) { return QString::number(from + bounded(count)); };
    const QString year = QString::number(2000 + bounded(30));
    const QString month = bounded(2) ? two(1, 12) : one(1, 9);
    const QString day = bounded(2) ? two(1, 28) : one(1, 9);
    const QString hour = bounded(2) ? two(0, 24) : one(0, 10);
    const QString clock = hour + QLatin1Char(':') + two(0, 60) + QLatin1Char(':') + two(0, 60);
    const QString date = year + QLatin1Char('-') + month + QLatin1Char('-') + day;
    switch (bounded(12)) {
    case 0:
        return date + QStringLiteral(" ") + clock + QStringLiteral(".") + one(0, 1000);
    case 1:
        return date + QStringLiteral("T") + clock;
    case 2:
        return date;
    case 3:
        return QString(); // empty text
    case 4: {
        static const char *const junk[] = {"2008-08-08 9:05",      "2008-08-08 09:05:00Z",
                                           "12008-08-08 09:05:00", "2008-008-08 09:05:00",
                                           "2008-08-08  09:05:00", "2008-08-08 09:05:00.",
                                           "2008/08/08 09:05:00",  "08-08 09:05:00",
                                           "2008-08-08 09:05:00 ", "明天",
                                           "2008-8-8 9:5:0",       "2008-08-08T"};
        return QString::fromUtf8(junk[bounded(int(std::size(junk)))]);
    }
    default:
        return date + QLatin1Char(' ') + clock;
    }
}

// The shown time of one stored value (Null: a Null 时间), as SQLite builds it.
inline QString sqlShownTime(const QVariant &stored)
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    const QByteArray sql = (QStringLiteral("WITH 企业日记(时间) AS (SELECT ?1), ") +
                            shownTimeCtes(QStringLiteral("企业日记")) +
                            QStringLiteral(" SELECT shown_time FROM shown_notes"))
                               .toUtf8();
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr);
    const QByteArray text = stored.toString().toUtf8();
    if (!stored.isNull())
        sqlite3_bind_text(stmt, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    QString out;
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}
