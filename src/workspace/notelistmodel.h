#pragma once

#include "notestore.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <unordered_map>
#include <vector>

namespace varnel
{

// The two pictures shared by the note list and the category tree:
// 1 a blue filled circle (done note), 2 a red filled circle (pending note, category).
QIcon listPicture(int number);

// The rows of the note list. Six columns: the mark, "标题", "内容", "作者",
// "时间" and "编号"; only the first two are shown. A list holds the ids and
// marks of all its notes but reads titles and times only for the blocks of
// rows that are asked for (those on screen), so a list of 100,000 notes costs
// what a screenful costs. The body is not kept: the window reads it when a
// note is opened.
class NoteListModel : public QAbstractTableModel
{
    Q_OBJECT
  public:
    enum Column { Mark, Title, Content, Author, Time, Number, ColumnCount };

    explicit NoteListModel(QObject *parent = nullptr);

    void setRows(std::vector<notestore::ListEntry> rows); // replaces everything in one reset
    NoteRow row(int i) const;                             // with title and time
    int rowOf(qint64 bookid) const;                       // -1 when the note is not listed

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Rows never have children: the view then skips asking, row by row.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString titleTip(const QString &title);

  private:
    static constexpr std::size_t kBlock = 16; // about the rows the list shows
    const NoteRow &details(std::size_t row) const;

    std::vector<notestore::ListEntry> rows_;
    // Title and time of the blocks of rows read so far, by block.
    mutable std::unordered_map<std::size_t, std::vector<NoteRow>> blocks_;
    QIcon done_;
    QIcon pending_;
};

} // namespace varnel
