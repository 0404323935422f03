#pragma once

#include "listsql.h"
#include "skinengine.h"

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class CTooltip;
class ClickLabel;
class NoticePage;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace varnel
{
class NoteListModel;
}

// The main notes window: the editor at the top, the category tree and the
// note list below, search, export, skins, the web notices and the update box.
// It is built anew every time it is shown and destroyed when it is hidden.
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
    const varnel::ListSql &listSql() const { return ListSql; }
    // The skin picture painted beneath the controls (null when there is none).
    const QPixmap &backgroundPicture() const { return skinPicture_; }

    // Where the notice values come from: by default the notice page WebGet.
    using NoticeSource = std::function<std::optional<QString>(const QString &name)>;
    void setNoticeSource(NoticeSource source);

    // The hint "Ctrl+1 brings the window back" is given once per program run.
    static void forgetHotKeyNotice();

  signals:
    void listLoaded(); // the note list has been filled anew

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // Construction, one group of controls each.
    void createTitleStrip();
    void createEditor();
    void createEditorButtons();
    void createListButtons();
    void createTreeAndList();
    void createFrameButtons();
    void createBubbles();
    void createUpdateBox();
    void createTimers();
    void createMenus();
    QPushButton *button(const char *name, const QString &caption, int left, int top, int width,
                        int height);
    void placeLabel(QLabel *label, int left, int top, int width, int height);
    QLabel *label(const char *name, const QString &caption, int left, int top, int width,
                  int height);
    ClickLabel *clickLabel(const char *name, const QString &caption, int left, int top, int width,
                           int height);

    // The load sequence.
    void Form_Load();
    void loadStoredSkin();
    void reloadTree();
    void createListTip();
    void addListColumns();

    // Note list and counters.
    void LoadList();
    void cmdALL_Click();
    void cmd_nopass_Click();
    void cmd_otime_Click();
    void ListView1_Click(const QModelIndex &index);
    void ListView1_MouseUp(const QPoint &pos);

    // Editor.
    enum class EditorState { Blank, Loaded, Changed };
    void setEditorState(EditorState state);
    void clearEditor();
    QString editorBody() const;
    bool cmd_add_Click();
    void Quxiao_Click();
    bool cmd_edit_Click();
    void cmd_ok_Click();
    void cmd_del_Click();
    void cmd_change_Click();
    void cmd_change2_Click();
    void editorKeyUp(QKeyEvent *event);
    void showSavedBubble(const QString &text);

    // Category tree.
    QTreeWidgetItem *selectedNode() const;
    void trv_Click();
    void trv_MouseDown(QMouseEvent *event);
    void addtree_Click();
    void EditTree_Click();
    void treedel_Click();

    // Search and export.
    void txtCZ_Change();
    void txtCZ_Click();
    void cmd_out_Click();

    // Frame, skins, notices, update box.
    void hideToTray(bool fromMinimise);
    void Lab_hide_Click();
    void lab_key_Click();
    void bbs_Click();
    void RePw_Click();
    void Lab_skin_Click();
    void chooseSkin(int number);
    bool showSkin(const QString &number);
    void noticeTick(int line);
    void update_Click();
    void UpdateNow_Click();
    void Later_update_Click();
    std::optional<QString> noticeValue(const QString &name) const;

    // Runs a handler's body; a data failure is shown and leaves the window usable.
    bool guarded(const std::function<void()> &body);
    void clearSearchQuietly();
    void showDbError(const QString &text);

    // Window state.
    varnel::ListSql ListSql;
    std::unique_ptr<CTooltip> ListTip;
    int hotItem_ = 0;
    QPixmap skinPicture_;
    NoticeSource noticeSource_;
    quint64 listTicket_ = 0;
    bool loading_ = false;
    QHash<QString, QTreeWidgetItem *> nodes_;

    // Controls.
    ClickLabel *title_Dong = nullptr;
    QLabel *lab_title = nullptr;
    ClickLabel *Lab_skin = nullptr;
    ClickLabel *Lab_hide = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLabel *Label2 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text5 = nullptr;
    QLineEdit *Text6 = nullptr;
    QPushButton *cmd_add = nullptr;
    QPushButton *Quxiao = nullptr;
    QPushButton *cmd_edit = nullptr;
    QPushButton *cmd_del = nullptr;
    QPushButton *cmd_change = nullptr;
    QPushButton *cmd_change2 = nullptr;
    QFrame *pao1 = nullptr;
    QLabel *lab_pao1 = nullptr;
    QFrame *pao2 = nullptr;
    QLabel *Lab_pao2 = nullptr;
    QPushButton *cmd_nopass = nullptr;
    QPushButton *cmd_ok = nullptr;
    QPushButton *cmd_otime = nullptr;
    QPushButton *cmd_out = nullptr;
    QPushButton *cmdALL = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtCZ = nullptr;
    QTreeWidget *trv = nullptr;
    QTreeView *ListView1 = nullptr;
    varnel::NoteListModel *listModel_ = nullptr;
    QPushButton *updateButton = nullptr; // "update"
    QPushButton *RePw = nullptr;
    QPushButton *bbs = nullptr;
    ClickLabel *lab_key = nullptr;
    QLabel *Lab_Sum = nullptr;
    NoticePage *WebGet = nullptr;
    QFrame *UpdateBox = nullptr;
    QLabel *Label4 = nullptr;
    QPlainTextEdit *Text7 = nullptr;
    QPushButton *UpdateNow = nullptr;
    QPushButton *Later_update = nullptr;
    QTimer *tm_pao1 = nullptr;
    QTimer *Tim_pao2 = nullptr;
    QTimer *tim_gg1 = nullptr;
    QTimer *tim_gg2 = nullptr;
    QTimer *tim_gg3 = nullptr;
    QMenu *VlSkin = nullptr;
    QMenu *tree = nullptr;
    SkinEngine BSE1;
};
