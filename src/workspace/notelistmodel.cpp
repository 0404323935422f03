#include "notelistmodel.h"

#include "database.h"

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

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractTableModel(parent), done_(listPicture(1)), pending_(listPicture(2))
{
}

void NoteListModel::setRows(std::vector<NoteRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    blockRead_.assign((rows_.size() + kBlock - 1) / kBlock, false);
    endResetModel();
}

void NoteListModel::ensureDetails(std::size_t row) const
{
    const std::size_t block = row / kBlock;
    if (block >= blockRead_.size() || blockRead_[block])
        return;
    blockRead_[block] = true;
    try {
        notestore::fillDetails(rows_, block * kBlock, (block + 1) * kBlock);
    } catch (const DbError &) {
        // The database went away under a painted list: the rows show empty
        // until the next refresh, which reports the failure.
    }
}

NoteRow NoteListModel::row(int i) const
{
    ensureDetails(std::size_t(i));
    return rows_.at(std::size_t(i));
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
    const NoteRow &r = rows_[std::size_t(index.row())];
    if (role == Qt::DecorationRole && index.column() == Mark)
        return r.done ? done_ : pending_;
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == Title || index.column() == Time)
        ensureDetails(std::size_t(index.row()));
    switch (index.column()) {
    case Mark:
        return QStringLiteral("1");
    case Title:
        return r.title;
    case Author:
    case Number:
        return QString::number(r.bookid);
    case Time:
        return shownTime(r.time);
    default:
        return QString(); // the body is read when the note is opened
    }
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
