#pragma once

#include "shownsql.h"
#include "store/search/notefilter.h"
#include "store/search/noteindex.h"

#include <QString>

#include <sqlcipher/sqlite3.h>

#include <vector>

// A handle with SQLite's own LIKE and the shown time built in SQL: the
// reference every answer is held to, asking nothing of the program.
class SqliteReference
{
  public:
    explicit SqliteReference(const QString &path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_key(db_, "Rv8-tq2Lm0", 10);
        sqlite3_exec(db_, "PRAGMA cipher_page_size = 4096;", nullptr, nullptr, nullptr);
    }
    ~SqliteReference() { sqlite3_close_v2(db_); }
    SqliteReference(const SqliteReference &) = delete;
    SqliteReference &operator=(const SqliteReference &) = delete;
    sqlite3 *db() const { return db_; }

    std::vector<varnel::search::ListEntry> list(const varnel::search::NoteFilter &filter) const
    {
        static const QString where[] = {
            QString(), QStringLiteral(" WHERE 处理 = 0"), QStringLiteral(" WHERE 分类 = ?1"),
            QStringLiteral(" WHERE 标题 LIKE '%' || ?1 || '%' OR 内容 LIKE '%' || ?1 || '%'"
                           " OR shown_time LIKE '%' || ?1 || '%'")};
        const QByteArray sql = (QStringLiteral("WITH ") + shownTimeCtes(QStringLiteral("企业日记")) +
                                QStringLiteral(" SELECT bookid, 处理 FROM shown_notes") +
                                where[filter.kind] +
                                QStringLiteral(" ORDER BY 处理 ASC, bookid DESC"))
                                   .toUtf8();
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt, nullptr);
        const QByteArray text = filter.text.toUtf8();
        if (filter.kind == varnel::search::NoteFilter::Category)
            sqlite3_bind_int64(stmt, 1, filter.category);
        else if (filter.kind == varnel::search::NoteFilter::Text)
            sqlite3_bind_text(stmt, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        std::vector<varnel::search::ListEntry> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            rows.push_back({sqlite3_column_int64(stmt, 0),
                            sqlite3_column_type(stmt, 1) != SQLITE_NULL &&
                                sqlite3_column_int64(stmt, 1) == 1});
        }
        sqlite3_finalize(stmt);
        return rows;
    }

  private:
    sqlite3 *db_ = nullptr;
};
