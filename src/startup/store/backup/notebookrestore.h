#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace varnel
{

// The way back for a notebook that cannot be opened or read because it is
// damaged: the newest copy in data/backup that passes its check takes its
// place. The damaged file and its journal are moved aside together, renamed
// in the data folder, never deleted; the copy is put in place, opened and
// checked.
class NotebookRestore
{
  public:
    struct Copy {
        QDate day;
        QString path;
        qint64 notes = 0;
    };
    // The newest copy that opens with the key, passes SQLite's integrity
    // check and reads; nothing when there is none.
    static std::optional<Copy> newestGoodCopy();

    struct Result {
        bool restored = false;
        QString text; // Chinese: what was done, what was kept where, or why not
    };
    // Lets go of the live database, moves it aside with its journal and puts
    // `copy` in its place. When the copy cannot be put in place, the damaged
    // file stays where it was.
    static Result restore(const Copy &copy);

    // The texts of the offer.
    static QString offerText(const QString &what, const std::optional<Copy> &copy);
};

} // namespace varnel
