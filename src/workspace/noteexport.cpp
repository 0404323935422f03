#include "noteexport.h"

#include "appinfo.h"
#include "database.h"
#include "search/showntime.h"

#include <QSaveFile>

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
        const char *stop = p;
        while (stop < end && *stop != '\r' && *stop != '\n')
            ++stop;
        out.append(p, stop - p);
        if (stop == end)
            break;
        out.append(kEol);
        p = stop + (*stop == '\r' && stop + 1 < end && stop[1] == '\n' ? 2 : 1);
    }
}

void appendNote(QByteArray &out, const DbRow &row)
{
    static const QByteArray rule = QString(27, QChar(0x2500)).toUtf8();
    static const QByteArray titleLabel = QStringLiteral("标题：").toUtf8();
    static const QByteArray timeLabel = QStringLiteral("时间：").toUtf8();
    static const QByteArray hyphens(54, '-');
    out += kEol;
    out += kEol;
    out += rule + kEol;
    out += titleLabel;
    appendCrLf(out, row.Utf8(1));
    out += kEol + timeLabel;
    char shown[20];
    const QByteArrayView time = row.Utf8(2);
    out += search::shownTimeBytes({time.data(), std::size_t(time.size())}, shown);
    out += kEol + hyphens + kEol;
    appendCrLf(out, row.Utf8(3));
    out += kEol;
}

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
    QByteArray buffer;
    buffer.reserve(kFlushBytes + (1 << 16));
    buffer += QByteArrayLiteral(" ") + appTitle().toUtf8() + kEol;
    buffer += QByteArrayLiteral(" ") + siteUrl().toUtf8() + kEol;
    // One forward read of the notes, written out a megabyte at a time.
    const QString sql = QStringLiteral("select bookid,标题,时间,内容 from 企业日记") +
                        (category_ != 0 ? QStringLiteral(" where 分类=?1") : QString()) +
                        QStringLiteral(" order by bookid");
    bool written = true;
    OpenDb();
    try {
        DbConn->ForEachRow(sql, category_ != 0 ? QVariantList{category_} : QVariantList{},
                           [&](const DbRow &row) {
                               appendNote(buffer, row);
                               ++count_;
                               if (buffer.size() >= kFlushBytes) {
                                   written = written && file.write(buffer) == buffer.size();
                                   buffer.clear();
                               }
                           });
    } catch (...) {
        CloseDb();
        file.cancelWriting();
        throw;
    }
    CloseDb();
    // A short write (a full disk, a file size limit) fails the export too.
    written = written && file.write(buffer) == buffer.size();
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
