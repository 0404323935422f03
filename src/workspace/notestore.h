#pragma once

#include "listsql.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace varnel
{

// What the note list shows of one note. A list is read as ids and marks only;
// title and time are filled in for the rows on screen (fillDetails), and the
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

std::vector<NoteRow> listRows(const ListSql &sql); // ids and done marks, in list order
// Fills title and time of rows[from, to); rows of notes gone meanwhile stay empty.
void fillDetails(std::vector<NoteRow> &rows, std::size_t from, std::size_t to);
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
