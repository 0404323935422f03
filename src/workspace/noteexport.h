#pragma once

#include <QString>

namespace varnel
{

// Writes notes to the export text file: UTF-8, every line ending in CR LF.
// Two header lines, then seven lines per note. The notes are read row by row
// as SQLite holds them and written in blocks, so memory stays flat however
// many there are.
class NoteExport
{
  public:
    // category 0: every note; otherwise that category's notes.
    NoteExport(QString path, qint64 category);

    // Writes the file. Returns false when the file cannot be written, with
    // errorText() saying why; throws DbError when reading the notes fails. In
    // both cases an older export file is left as it was.
    bool write();

    qint64 count() const { return count_; }
    QString errorText() const { return error_; }

  private:
    QString path_;
    qint64 category_;
    qint64 count_ = 0;
    QString error_;
};

} // namespace varnel
