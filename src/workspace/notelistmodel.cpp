#include "notelistmodel.h"

#include "store/database.h"

#include <QPainter>
#include <QPixmap>

namespace varnel
{

QIcon listPicture(int number)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor fill = number == 1 ? QColor(0x1E, 0x5E, 0xD8) : QColor(0xD8, 0x22, 0x22);
    painter.setPen(fill.darker(130));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}

// The whole title, for a title the column cuts short; a title of pages is
// cut to what a tip can show.
QString NoteListModel::titleTip(const QString &title)
{
    constexpr int kMost = 300;
    if (title.size() <= kMost)
        return title;
    int end = kMost;
    if (title.at(end - 1).isHighSurrogate())
        --end;
    return title.left(end) + QChar(0x2026);
}

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractTableModel(parent), done_(listPicture(1)), pending_(listPicture(2))
{
}

void NoteListModel::setRows(std::vector<notestore::ListEntry> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    blocks_.clear();
    endResetModel();
}

int NoteListModel::rowOf(qint64 bookid) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].bookid == bookid)
            return int(i);
    return -1;
}

const NoteRow &NoteListModel::details(std::size_t row) const
{
    const std::size_t block = row / kBlock;
    auto found = blocks_.find(block);
    if (found == blocks_.end()) {
        const std::size_t from = block * kBlock;
        const std::size_t count = std::min(kBlock, rows_.size() - from);
        std::vector<NoteRow> read;
        try {
            read = notestore::details(rows_.data() + from, count);
        } catch (const DbError &) {
            // The database went away under a painted list: the rows show empty
            // until the next refresh, which reports the failure.
            read.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                read[i].bookid = rows_[from + i].bookid;
                read[i].done = rows_[from + i].done;
            }
        }
        found = blocks_.emplace(block, std::move(read)).first;
    }
    return found->second[row % kBlock];
}

NoteRow NoteListModel::row(int i) const
{
    return details(std::size_t(i));
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int NoteListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const notestore::ListEntry &r = rows_[std::size_t(index.row())];
    if (role == Qt::DecorationRole && index.column() == Mark)
        return r.done ? done_ : pending_;
    if (role == Qt::ToolTipRole && index.column() == Title)
        return titleTip(details(std::size_t(index.row())).title);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Mark:
        return QStringLiteral("1");
    case Title:
        return details(std::size_t(index.row())).title;
    case Author:
    case Number:
        return QString::number(r.bookid);
    case Time:
        return shownTime(details(std::size_t(index.row())).time);
    default:
        return QString(); // the body is read when the note is opened
    }
}

Qt::ItemFlags NoteListModel::flags(const QModelIndex &index) const
{
    return QAbstractTableModel::flags(index) | Qt::ItemNeverHasChildren;
}

QVariant NoteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const headers[ColumnCount] = {"", "标题", "内容", "作者", "时间", "编号"};
    if (section < 0 || section >= ColumnCount)
        return {};
    return QString::fromUtf8(headers[section]);
}

} // namespace varnel
