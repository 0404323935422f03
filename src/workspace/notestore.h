#pragma once

#include "listsql.h"
#include "store/search/noteindex.h"

#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace varnel
{

// What the note list shows of one note. A list is read as ids and marks only;
// title and time are filled in for the rows on screen (details), and the
// body is fetched when the note is opened.
struct NoteRow {
    qint64 bookid = 0;
    QString title;
    QString time; // as stored: "YYYY-MM-DD HH:MM:SS"
    bool done = false;
};

// The data operations of the notes window, one OpenDb ... CloseDb each.
// Every function throws DbError with a text for the user.
namespace notestore
{

using ListEntry = search::ListEntry;
std::vector<ListEntry> listRows(const ListSql &sql); // ids and done marks, in list order
// The rows of `sql` when the search index can give them at once; otherwise
// nullopt and, in `path`, the file for a reader of its own.
std::optional<std::vector<ListEntry>> rowsIfReady(const ListSql &sql, QString &path);
// The rows of `entries` with title and time; a note gone meanwhile has them empty.
std::vector<NoteRow> details(const ListEntry *entries, std::size_t count);
qint64 count(const ListSql &sql); // rows the statement would give
QString body(qint64 bookid);      // empty when the note is gone

void addNote(const QString &title, const QString &body, qint64 category);
void changeNote(const QString &bookid, const QString &title, const QString &body, qint64 category);
void finishNote(const QString &bookid);
void deleteNote(const QString &bookid);

void addCategory(const QString &name);
void renameCategory(qint64 id, const QString &name);
void deleteCategory(qint64 id);

QString skinNumber(); // the settings row's skin as text ("" when empty)
void setSkinNumber(int n);

} // namespace notestore

// The numeric value of a box holding a number: its leading integer, 0 when
// there is none (" 12ab" gives 12, "x" gives 0).
qint64 numericValue(const QString &text);

} // namespace varnel
