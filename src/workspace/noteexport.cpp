#include "noteexport.h"

#include "base/appinfo.h"
#include "store/database.h"
#include "store/handover.h"
#include "store/search/showntime.h"

#include <QSaveFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cstring>
#include <exception>
#include <optional>
#include <utility>

namespace varnel
{

namespace
{

const QByteArray kEol = QByteArrayLiteral("\r\n");
constexpr qsizetype kFlushBytes = 1 << 20;

// Appends `text` with every line ending made CR LF (also inside a note's body).
void appendCrLf(QByteArray &out, QByteArrayView text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while (p < end) {
        const auto *lf = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
        const char *stop = lf ? lf : end;
        if (const auto *cr = static_cast<const char *>(std::memchr(p, '\r', std::size_t(stop - p))))
            stop = cr;
        out.append(p, stop - p);
        if (stop == end)
            break;
        out.append(kEol);
        p = stop + (*stop == '\r' && stop + 1 < end && stop[1] == '\n' ? 2 : 1);
    }
}

// A note as the export shows it, from its stored title, time and body.
void appendNote(QByteArray &out, QByteArrayView title, QByteArrayView time, QByteArrayView body)
{
    static const QByteArray rule = QString(27, QChar(0x2500)).toUtf8();
    static const QByteArray titleLabel = QStringLiteral("标题：").toUtf8();
    static const QByteArray timeLabel = QStringLiteral("时间：").toUtf8();
    static const QByteArray hyphens(54, '-');
    out += kEol;
    out += kEol;
    out += rule;
    out += kEol;
    out += titleLabel;
    appendCrLf(out, title);
    out += kEol;
    out += timeLabel;
    thread_local std::string shown;
    out += search::shownTimeBytes({time.data(), std::size_t(time.size())}, shown);
    out += kEol;
    out += hyphens;
    out += kEol;
    appendCrLf(out, body);
    out += kEol;
}

// The database is read on the program's thread and the notes are laid out on
// the second core: a row's fields are copied as they are, each after its
// length, into a block of rows.
void stageRow(QByteArray &rows, const DbRow &row)
{
    for (int column = 1; column <= 3; ++column) {
        const QByteArrayView field = row.Utf8(column);
        const auto length = qint32(field.size());
        rows.append(reinterpret_cast<const char *>(&length), sizeof length);
        rows.append(field.data(), field.size());
    }
}

QByteArray layOut(const QByteArray &rows)
{
    QByteArray out;
    out.reserve(rows.size() + rows.size() / 8 + 4096);
    const char *p = rows.constData();
    const char *end = p + rows.size();
    while (p < end) {
        QByteArrayView fields[3];
        for (QByteArrayView &field : fields) {
            qint32 length = 0;
            std::memcpy(&length, p, sizeof length);
            field = QByteArrayView(p + sizeof length, length);
            p += sizeof length + std::size_t(length);
        }
        appendNote(out, fields[0], fields[1], fields[2]);
    }
    return out;
}

// Lays out and writes the blocks of rows of an export on a second thread
// while the next block is read from the database; a block waits for the one
// before it, so one block at most is in flight.
class BlockWriter
{
  public:
    explicit BlockWriter(QIODevice &file) : file_(file) { pool_.setMaxThreadCount(1); }
    ~BlockWriter() { pool_.waitForDone(); }
    void write(QByteArray block)
    {
        finish();
        block_ = std::move(block);
        handOver();
        pending_ = QtConcurrent::run(&pool_, [this] {
            takeOver();
            const HandOverAtExit back;
            const QByteArray out = layOut(block_);
            return file_.write(out) == out.size();
        });
    }
    // Whether every block so far was written whole. What the layout threw
    // (no memory for a block) comes out here as it was thrown.
    bool finish()
    {
        if (pending_) {
            QFuture<bool> done = *std::exchange(pending_, std::nullopt);
            done.waitForFinished();
            takeOver();
            try {
                ok_ = done.result() && ok_;
            } catch (const QUnhandledException &e) {
                if (e.exception())
                    std::rethrow_exception(e.exception());
                throw;
            }
        }
        return ok_;
    }

  private:
    QIODevice &file_;
    // Its own thread: the program's pool may be busy with the search index
    // while this thread waits for a block.
    QThreadPool pool_;
    QByteArray block_; // the block being written; the main thread's again after finish()
    std::optional<QFuture<bool>> pending_;
    bool ok_ = true;
};

} // namespace

NoteExport::NoteExport(QString path, qint64 category) : path_(std::move(path)), category_(category)
{
}

bool NoteExport::write()
{
    count_ = 0;
    QSaveFile file(path_);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return false;
    }
    const QByteArray header = QByteArrayLiteral(" ") + appTitle().toUtf8() + kEol +
                              QByteArrayLiteral(" ") + siteUrl().toUtf8() + kEol;
    bool written = file.write(header) == header.size();
    QByteArray rows;
    rows.reserve(kFlushBytes + (1 << 16));
    // One forward read of the notes, written out a megabyte at a time.
    const QString sql = QStringLiteral("select bookid,标题,时间,内容 from 企业日记") +
                        (category_ != 0 ? QStringLiteral(" where 分类=?1") : QString()) +
                        QStringLiteral(" order by bookid");
    BlockWriter writer(file);
    OpenDb();
    try {
        DbConn->ForEachRow(sql, category_ != 0 ? QVariantList{category_} : QVariantList{},
                           [&](const DbRow &row) {
                               stageRow(rows, row);
                               ++count_;
                               if (rows.size() >= kFlushBytes) {
                                   writer.write(std::exchange(rows, QByteArray()));
                                   rows.reserve(kFlushBytes + (1 << 16));
                               }
                           });
    } catch (...) {
        CloseDb();
        writer.finish();
        file.cancelWriting();
        throw;
    }
    CloseDb();
    writer.write(std::move(rows));
    // A short write (a full disk, a file size limit) fails the export too.
    written = writer.finish() && written;
    if (!written)
        file.cancelWriting();
    if (!written || !file.commit()) {
        error_ = file.errorString();
        count_ = 0;
        return false;
    }
    return true;
}

} // namespace varnel
