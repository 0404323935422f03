#pragma once

#include "listsql.h"
#include "skinengine.h"

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>

class CategoryTree;
class ClickLabel;
class NoteEditor;
class NoteListPane;
class NoticeBoard;
class TraylessExit;
class QLabel;
class QMenu;
class QPushButton;
class ReadableLabels;

// The main notes window: the editor at the top, the category tree and the
// note list below, search, export, skins, the web notices and the update box.
// It is built anew every time it is shown and destroyed when it is hidden.
// The window holds the frame (title strip, hide, skins, settings, forum) and
// wires its parts together.
class FrmMinBook : public QWidget
{
    Q_OBJECT
  public:
    explicit FrmMinBook(QWidget *parent = nullptr);
    ~FrmMinBook() override;

    // Re-lists every note (the search box is cleared first).
    void Note_R();
    // Counts the notes of the current category (Text5) into the count line.
    void LoadCount();
    // Rebuilds the category tree from the rows DbRs holds ("select * from 分类").
    void LoadData();
    void AddRootNode(const QString &parentKey, const QString &id, const QString &name);
    void AddChildNode(const QString &parentKey, const QString &nodeKey, const QString &name);

    // The statement behind the list as it stands.
    const varnel::ListSql &listSql() const;
    // The skin picture painted beneath the controls (null when there is none).
    const QPixmap &backgroundPicture() const { return skinPicture_; }

    // Where the notice values come from: by default the notice page WebGet.
    using NoticeSource = std::function<std::optional<QString>(const QString &name)>;
    void setNoticeSource(NoticeSource source);

    // The help line names the hot key while the program has it; the title
    // strip offers 退出 while there is no tray icon.
    void showHotKeyHelp();

    // The hint "Ctrl+1 brings the window back" is given once per program run.
    static void forgetHotKeyNotice();

  signals:
    void listLoaded(); // the note list has been filled anew

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

  private:
    void createTitleStrip();
    void createParts();
    void createFrameButtons();
    void createSkinMenu();
    void orderTabs();
    void watchLabels();

    // The load sequence.
    void Form_Load();
    bool loadStoredSkin();
    void repairLoad();

    void categoryChosen(qint64 category);
    void hideToTray(bool fromMinimise);
    void Lab_hide_Click();
    void bbs_Click();
    void RePw_Click();
    void Lab_skin_Click();
    void chooseSkin(int number);
    bool showSkin(const QString &number);

    QPixmap skinPicture_;
    bool loadIncomplete_ = false; // a step of the load failed: repairLoad redoes it

    // Parts.
    NoteEditor *editor_ = nullptr;
    NoteListPane *list_ = nullptr;
    CategoryTree *tree_ = nullptr;
    NoticeBoard *notices_ = nullptr;
    ReadableLabels *readable_ = nullptr;

    // Controls of the frame.
    ClickLabel *title_Dong = nullptr;
    QLabel *lab_title = nullptr;
    ClickLabel *Lab_skin = nullptr;
    ClickLabel *Lab_hide = nullptr;
    TraylessExit *exit_ = nullptr;
    QPushButton *RePw = nullptr;
    QPushButton *bbs = nullptr;
    QMenu *VlSkin = nullptr;
    SkinEngine BSE1;
};
