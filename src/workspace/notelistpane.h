#pragma once

#include "listsql.h"
#include "notestore.h"

#include <QObject>

#include <memory>

class CTooltip;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPoint;
class QPushButton;
class QTimer;
class QTableView;
class QWidget;

namespace varnel
{
class NoteListModel;
namespace search
{
class BackgroundList;
}
} // namespace varnel

// The note list of the notes window with what fills it: "ListView1", the
// count line "Lab_Sum", the current category "Text5", the buttons "待办",
// "所有信息", "提醒" and "导出", and the search box "txtCZ" with its hint
// bubble "pao2".
class NoteListPane : public QObject
{
    Q_OBJECT
  public:
    explicit NoteListPane(QWidget *window);
    ~NoteListPane() override;

    // Re-lists every note (the search box is cleared first).
    void Note_R();
    // Counts the notes of the current category (Text5) into the count line.
    void LoadCount();
    // Lists one category's notes and makes it the current one.
    void showCategory(qint64 category);
    // The steps of the window's load: the columns, the list of all notes with
    // the count line, the tooltip.
    void addListColumns();
    void listAllAtLoad();
    void createListTip();
    void setLoading(bool loading) { loading_ = loading; }

    qint64 category() const;
    void clearSearch();
    const varnel::ListSql &listSql() const { return ListSql; }
    QTableView *view() const { return ListView1; }
    // Highlights the row of a note without opening it (none: no row is highlighted).
    void highlightNote(qint64 bookid);
    // What "所有信息" does.
    void listAllNotes() { cmdALL_Click(); }
    // Puts the keyboard into the search box, its text selected.
    void focusSearch();

  signals:
    void listLoaded();                            // the list has been filled anew
    void noteClicked(const varnel::NoteRow &row); // a row was clicked or reached by the keyboard
    void noteEntered();                           // Enter on a row: the editor takes the keyboard
    void deleteRequested();                       // Delete on a highlighted row
    void allNotesListed();                        // "所有信息" or "待办": no category shown
    void countLinePlaced(int left);               // the count line starts at x = left

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void showCount(qint64 category, qint64 count);
    void createButtons();
    void createList();
    void createCountAndHint();
    void LoadList();
    void loadList(const varnel::ListSql &sql);
    bool searchOffThread(const varnel::ListSql &sql);
    void indexReady();
    void showSearching(bool shown);
    void clearSearchQuietly();
    void fitCountLine();
    void cmdALL_Click();
    void cmd_nopass_Click();
    void cmd_otime_Click();
    void fitRowHeight();
    void ListView1_Click(const QModelIndex &index);
    void selectionMoved();
    bool listKeyPress(const QKeyEvent *event);
    void ListView1_MouseUp(const QPoint &pos);
    void txtCZ_Change();
    void txtCZ_Click();
    void cmd_out_Click();

    QWidget *window_;
    varnel::ListSql ListSql;
    std::unique_ptr<CTooltip> ListTip;
    int hotItem_ = 0;
    bool loading_ = false;

    QLineEdit *Text5 = nullptr;
    QPushButton *cmd_nopass = nullptr;
    QPushButton *cmd_otime = nullptr;
    QPushButton *cmd_out = nullptr;
    QPushButton *cmdALL = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtCZ = nullptr;
    QTableView *ListView1 = nullptr;
    bool rowHeightFitted_ = false;
    bool highlighting_ = false;     // the window moves the highlight, not the user
    bool openedSincePress_ = false; // the press of the current click opened its row
    varnel::NoteListModel *listModel_ = nullptr;
    QLabel *Lab_Sum = nullptr;
    QFrame *pao2 = nullptr;
    QLabel *Lab_pao2 = nullptr;
    QTimer *Tim_pao2 = nullptr;
    QLabel *Lab_searching = nullptr;
    varnel::search::BackgroundList *background_ = nullptr;
    varnel::ListSql pendingSearch_; // the search the background list runs
};
