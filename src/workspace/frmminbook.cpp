#include "frmminbook.h"

#include "appinfo.h"
#include "appwindows.h"
#include "categoryplan.h"
#include "clicklabel.h"
#include "ctooltip.h"
#include "database.h"
#include "frmlogin.h"
#include "frmmmxg.h"
#include "frmring.h"
#include "gpublic.h"
#include "noteexport.h"
#include "notelistmodel.h"
#include "notestore.h"
#include "noticepage.h"
#include "updatelaunch.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QImageReader>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

#include <limits>

using varnel::DbError;
using Sql = varnel::ListSql;
using varnel::NoteRow;
using varnel::numericValue;
namespace notestore = varnel::notestore;

namespace
{

// Design measures are in twips; 15 twips make a pixel.
int px(int twips)
{
    return (twips + 7) / 15;
}

const int kText2Small = 2040; // twips
const int kText2Large = 5160;

bool g_hotKeyNoticeGiven = false;

// Thrown when the window was destroyed while it let waiting events run.
struct WindowGone {
};

const QString kTitleError = QStringLiteral("错误提示");
const QString kTitleHint = QStringLiteral("Varnel提示");

QString searchHint()
{
    return QStringLiteral("关键字 例如：密码\n\n日") + QChar(0x3000) +
           QStringLiteral("期 例如：2008-8-8");
}

} // namespace

FrmMinBook::FrmMinBook(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), BSE1(this)
{
    setObjectName(QStringLiteral("FrmMinBook"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(varnel::versionText());
    setFixedSize(455, 418);
    setMouseTracking(true);
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    WebGet = new NoticePage(this);
    WebGet->setObjectName(QStringLiteral("WebGet"));
    noticeSource_ = [this](const QString &name) { return WebGet->value(name); };

    createTitleStrip();
    createEditor();
    createEditorButtons();
    createListButtons();
    createTreeAndList();
    createFrameButtons();
    createBubbles();
    createUpdateBox();
    createTimers();
    createMenus();
    Form_Load();
}

FrmMinBook::~FrmMinBook() = default;

// ------------------------------------------------------------------ building

QPushButton *FrmMinBook::button(const char *name, const QString &caption, int left, int top,
                                int width, int height)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(px(left), px(top), px(width), px(height));
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// Labels keep their design place; they are at least one text line high and
// stay inside the window.
void FrmMinBook::placeLabel(QLabel *label, int left, int top, int width, int height)
{
    const int h = std::max(px(height), 16);
    const int y = std::min(px(top) - (h - px(height)) / 2, this->height() - 1 - h);
    label->setGeometry(px(left), y, px(width), h);
}

QLabel *FrmMinBook::label(const char *name, const QString &caption, int left, int top, int width,
                          int height)
{
    auto *l = new QLabel(caption, this);
    l->setObjectName(QString::fromLatin1(name));
    placeLabel(l, left, top, width, height);
    return l;
}

ClickLabel *FrmMinBook::clickLabel(const char *name, const QString &caption, int left, int top,
                                   int width, int height)
{
    auto *l = new ClickLabel(caption, this);
    l->setObjectName(QString::fromLatin1(name));
    placeLabel(l, left, top, width, height);
    return l;
}

void FrmMinBook::createTitleStrip()
{
    title_Dong = new ClickLabel(QString(), this);
    title_Dong->setObjectName(QStringLiteral("title_Dong"));
    title_Dong->setGeometry(0, 0, px(5415), px(345));
    connect(title_Dong, &ClickLabel::pressed, this, [this] { varnel::DragForm(this); });

    lab_title = label("lab_title", QString(), 120, 75, 1050, 180);
    lab_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont bold = lab_title->font();
    bold.setBold(true);
    lab_title->setFont(bold);
    lab_title->resize(px(5415) - lab_title->x(), lab_title->height());

    Lab_skin = clickLabel("Lab_skin", QStringLiteral("皮肤"), 5640, 75, 360, 180);
    Lab_skin->setCursor(Qt::PointingHandCursor);
    connect(Lab_skin, &ClickLabel::clicked, this, &FrmMinBook::Lab_skin_Click);

    Lab_hide = clickLabel("Lab_hide", QStringLiteral("隐藏"), 6240, 75, 360, 180);
    Lab_hide->resize(px(6825) - Lab_hide->x(), 20);
    QFont hideFont = Lab_hide->font();
    hideFont.setPointSize(10);
    Lab_hide->setFont(hideFont);
    Lab_hide->setCursor(Qt::PointingHandCursor);
    connect(Lab_hide, &ClickLabel::hovered, this, [this] {
        QFont font = Lab_hide->font();
        font.setBold(true);
        Lab_hide->setFont(font);
    });
    connect(Lab_hide, &ClickLabel::pressed, this, [this] {
        QFont font = Lab_hide->font();
        font.setPointSize(12);
        Lab_hide->setFont(font);
    });
    connect(Lab_hide, &ClickLabel::clicked, this, &FrmMinBook::Lab_hide_Click);
}

void FrmMinBook::createEditor()
{
    Label1 = label("Label1", QStringLiteral("标  题"), 195, 600, 540, 180);
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(px(840), px(600), px(3735), px(330));
    // A stored title may be longer than a line box takes by default; cut
    // short, it would be saved back cut short.
    Text1->setMaxLength(std::numeric_limits<int>::max());
    Text1->installEventFilter(this);

    Text4 = new QLineEdit(this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(px(4680), px(600), px(2055), px(330));
    Text4->setReadOnly(true);

    Label2 = label("Label2", QStringLiteral("内  容"), 195, 915, 540, 180);
    Text2 = new QPlainTextEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(px(840), px(960), px(5880), px(kText2Small));
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text2->installEventFilter(this);

    // Hidden boxes: the loaded note's id, the current category, the notice address.
    Text3 = new QLineEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->hide();
    Text5 = new QLineEdit(QStringLiteral("0"), this);
    Text5->setObjectName(QStringLiteral("Text5"));
    Text5->hide();
    Text6 = new QLineEdit(varnel::siteUrl(), this);
    Text6->setObjectName(QStringLiteral("Text6"));
    Text6->hide();
}

void FrmMinBook::createEditorButtons()
{
    cmd_add = button("cmd_add", QStringLiteral("保存"), 120, 1560, 615, 320);
    Quxiao = button("Quxiao", QStringLiteral("新建"), 120, 1560, 615, 320);
    cmd_edit = button("cmd_edit", QStringLiteral("修改"), 120, 1920, 615, 320);
    cmd_del = button("cmd_del", QStringLiteral("删除"), 120, 2280, 615, 320);
    cmd_change = button("cmd_change", QStringLiteral("大窗"), 120, 2640, 615, 320);
    cmd_change2 = button("cmd_change2", QStringLiteral("小窗"), 120, 2640, 615, 320);
    cmd_change2->hide();
    connect(cmd_add, &QPushButton::clicked, this, [this] { cmd_add_Click(); });
    connect(Quxiao, &QPushButton::clicked, this, &FrmMinBook::Quxiao_Click);
    connect(cmd_edit, &QPushButton::clicked, this, [this] { cmd_edit_Click(); });
    connect(cmd_del, &QPushButton::clicked, this, &FrmMinBook::cmd_del_Click);
    connect(cmd_change, &QPushButton::clicked, this, &FrmMinBook::cmd_change_Click);
    connect(cmd_change2, &QPushButton::clicked, this, &FrmMinBook::cmd_change2_Click);
}

void FrmMinBook::createListButtons()
{
    cmd_nopass = button("cmd_nopass", QStringLiteral("待办"), 840, 3120, 510, 300);
    cmd_ok = button("cmd_ok", QStringLiteral("完成"), 1440, 3120, 510, 300);
    cmd_otime = button("cmd_otime", QStringLiteral("提醒"), 2400, 3120, 510, 300);
    cmd_otime->setEnabled(false);
    cmd_out = button("cmd_out", QStringLiteral("导出"), 3000, 3120, 510, 300);
    cmdALL = button("cmdALL", QStringLiteral("所有信息"), 3600, 3120, 975, 300);
    Label3 = label("Label3", QStringLiteral("查找"), 4800, 3180, 360, 180);
    txtCZ = new QLineEdit(this);
    txtCZ->setObjectName(QStringLiteral("txtCZ"));
    txtCZ->setGeometry(px(5280), px(3120), px(1455), px(330));
    txtCZ->installEventFilter(this);
    connect(cmd_nopass, &QPushButton::clicked, this, &FrmMinBook::cmd_nopass_Click);
    connect(cmd_ok, &QPushButton::clicked, this, &FrmMinBook::cmd_ok_Click);
    connect(cmd_otime, &QPushButton::clicked, this, &FrmMinBook::cmd_otime_Click);
    connect(cmd_out, &QPushButton::clicked, this, &FrmMinBook::cmd_out_Click);
    connect(cmdALL, &QPushButton::clicked, this, &FrmMinBook::cmdALL_Click);
    connect(txtCZ, &QLineEdit::textChanged, this, &FrmMinBook::txtCZ_Change);
}

void FrmMinBook::createTreeAndList()
{
    trv = new QTreeWidget(this);
    trv->setObjectName(QStringLiteral("trv"));
    trv->setGeometry(px(840), px(3600), px(1455), px(2460));
    trv->setHeaderHidden(true);
    trv->setColumnCount(1);
    trv->setIndentation(14);
    trv->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    trv->header()->setStretchLastSection(false);
    trv->viewport()->installEventFilter(this);
    connect(trv, &QTreeWidget::clicked, this, &FrmMinBook::trv_Click);

    listModel_ = new varnel::NoteListModel(this);
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(px(2400), px(3600), px(4335), px(2460));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setTextElideMode(Qt::ElideNone);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setMinimumSectionSize(0);
    ListView1->header()->setSectionsMovable(false);
    ListView1->viewport()->installEventFilter(this);
    connect(ListView1, &QTreeView::clicked, this, &FrmMinBook::ListView1_Click);
}

void FrmMinBook::createFrameButtons()
{
    updateButton = button("update", QStringLiteral("升级"), 120, 4920, 615, 320);
    RePw = button("RePw", QStringLiteral("设置"), 120, 5280, 615, 320);
    bbs = button("bbs", QStringLiteral("论坛"), 120, 5640, 615, 320);
    connect(updateButton, &QPushButton::clicked, this, &FrmMinBook::update_Click);
    connect(RePw, &QPushButton::clicked, this, &FrmMinBook::RePw_Click);
    connect(bbs, &QPushButton::clicked, this, &FrmMinBook::bbs_Click);

    // The help line runs up to the count line, the count line to the right edge.
    lab_key = clickLabel("lab_key", QStringLiteral("帮助：【F1】保存或修改 Ctrl+1呼叫Varnel"), 840,
                         6195, 3330, 180);
    lab_key->resize(px(4920) - 4 - lab_key->x(), lab_key->height());
    lab_key->setStyleSheet(QStringLiteral("color: #0000FF;"));
    lab_key->setCursor(Qt::PointingHandCursor);
    connect(lab_key, &ClickLabel::hovered, this, [this] {
        QFont font = lab_key->font();
        font.setUnderline(true);
        lab_key->setFont(font);
    });
    connect(lab_key, &ClickLabel::clicked, this, &FrmMinBook::lab_key_Click);

    Lab_Sum = label("Lab_Sum", QString(), 4920, 6195, 1080, 180);
    Lab_Sum->resize(width() - 4 - Lab_Sum->x(), Lab_Sum->height());
}

void FrmMinBook::createBubbles()
{
    pao1 = new QFrame(this);
    pao1->setObjectName(QStringLiteral("pao1"));
    pao1->setGeometry(px(2160), px(1680), px(2415), px(615));
    pao1->setStyleSheet(
        QStringLiteral("QFrame#pao1 { background: #FFFFE1; border: 1px solid #C9B458; }"));
    lab_pao1 = new QLabel(pao1);
    lab_pao1->setObjectName(QStringLiteral("lab_pao1"));
    lab_pao1->setGeometry(4, 4, pao1->width() - 8, pao1->height() - 8);
    lab_pao1->setAlignment(Qt::AlignCenter);

    // The search hint: a speech bubble, kept outside the visible area until shown.
    pao2 = new QFrame(this);
    pao2->setObjectName(QStringLiteral("pao2"));
    pao2->setGeometry(width() + 10, 0, 172, 66);
    pao2->setStyleSheet(QStringLiteral(
        "QFrame#pao2 { background: #FFFFE1; border: 1px solid #C9B458; border-radius: 8px; }"));
    Lab_pao2 = new QLabel(QStringLiteral("提示内容"), pao2);
    Lab_pao2->setObjectName(QStringLiteral("Lab_pao2"));
    Lab_pao2->setGeometry(8, 4, pao2->width() - 12, pao2->height() - 8);
    pao2->hide();
}

void FrmMinBook::createUpdateBox()
{
    UpdateBox = new QFrame(this);
    UpdateBox->setObjectName(QStringLiteral("UpdateBox"));
    UpdateBox->setGeometry(width() + 10, 0, px(6375), px(5295));
    UpdateBox->setStyleSheet(
        QStringLiteral("QFrame#UpdateBox { background: #FFFFE1; border: 1px solid #C9B458; }"));
    Label4 = new QLabel(QStringLiteral("Varnel最新升级信息"), UpdateBox);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(10, 8, UpdateBox->width() - 20, 18);
    Text7 = new QPlainTextEdit(UpdateBox);
    Text7->setObjectName(QStringLiteral("Text7"));
    Text7->setGeometry(10, 30, UpdateBox->width() - 20, UpdateBox->height() - 72);
    Text7->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text7->setReadOnly(true);
    const int buttonsTop = UpdateBox->height() - 34;
    UpdateNow = new QPushButton(QStringLiteral("马上升级"), UpdateBox);
    UpdateNow->setObjectName(QStringLiteral("UpdateNow"));
    UpdateNow->setGeometry(UpdateBox->width() - 190, buttonsTop, 80, 24);
    Later_update = new QPushButton(QStringLiteral("稍后升级"), UpdateBox);
    Later_update->setObjectName(QStringLiteral("Later_update"));
    Later_update->setGeometry(UpdateBox->width() - 100, buttonsTop, 80, 24);
    UpdateBox->hide();
    connect(UpdateNow, &QPushButton::clicked, this, &FrmMinBook::UpdateNow_Click);
    connect(Later_update, &QPushButton::clicked, this, &FrmMinBook::Later_update_Click);
}

void FrmMinBook::createTimers()
{
    auto make = [this](QTimer *&timer, const char *name, int ms) {
        timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(name));
        timer->setInterval(ms);
        timer->start();
    };
    make(tm_pao1, "tm_pao1", 1000);
    make(Tim_pao2, "Tim_pao2", 2000);
    make(tim_gg1, "tim_gg1", 2000);
    make(tim_gg2, "tim_gg2", 4000);
    make(tim_gg3, "tim_gg3", 6000);
    connect(tm_pao1, &QTimer::timeout, this, [this] {
        pao1->hide();
        tm_pao1->stop();
    });
    connect(Tim_pao2, &QTimer::timeout, this, [this] {
        pao2->hide();
        Tim_pao2->stop();
    });
    connect(tim_gg1, &QTimer::timeout, this, [this] { noticeTick(1); });
    connect(tim_gg2, &QTimer::timeout, this, [this] { noticeTick(2); });
    connect(tim_gg3, &QTimer::timeout, this, [this] { noticeTick(3); });
}

void FrmMinBook::createMenus()
{
    VlSkin = new QMenu(QStringLiteral("皮肤"), this);
    VlSkin->setObjectName(QStringLiteral("VlSkin"));
    const struct {
        const char *name;
        const char *caption;
        int number;
    } skins[] = {{"sk3", "蓝色商务", 3},
                 {"sk2", "海蓝天空", 2},
                 {"sk1", "黄金现代", 1},
                 {"sk5", "绿色迷彩", 5},
                 {"sk4", "太空Varnel", 4}};
    for (const auto &skin : skins) {
        QAction *action = VlSkin->addAction(QString::fromUtf8(skin.caption));
        action->setObjectName(QString::fromLatin1(skin.name));
        const int number = skin.number;
        connect(action, &QAction::triggered, this, [this, number] { chooseSkin(number); });
    }

    tree = new QMenu(QStringLiteral("目录"), this);
    tree->setObjectName(QStringLiteral("tree"));
    QAction *add = tree->addAction(QStringLiteral("添加分类"));
    add->setObjectName(QStringLiteral("addtree"));
    QAction *edit = tree->addAction(QStringLiteral("修改分类"));
    edit->setObjectName(QStringLiteral("EditTree"));
    QAction *del = tree->addAction(QStringLiteral("删除分类"));
    del->setObjectName(QStringLiteral("treedel"));
    connect(add, &QAction::triggered, this, &FrmMinBook::addtree_Click);
    connect(edit, &QAction::triggered, this, &FrmMinBook::EditTree_Click);
    connect(del, &QAction::triggered, this, &FrmMinBook::treedel_Click);
}

// ------------------------------------------------------------- load sequence

void FrmMinBook::Form_Load()
{
    // A failure is reported and leaves the window as far as it was built.
    loading_ = true;
    guarded([this] {
        LoadCount();
        loadStoredSkin();
        reloadTree();
        WebGet->navigate(QUrl(varnel::siteUrl(QStringLiteral("/update.asp"))));
        pao1->hide();
        createListTip();
        lab_title->setText(varnel::versionText());
        BSE1.setSkinLevel(1);
        BSE1.prepare();
        BSE1.apply();
        setEditorState(EditorState::Blank);
        addListColumns();
        txtCZ->clear();
        if (txtCZ->text().trimmed().isEmpty()) {
            ListSql = Sql::allNotes();
            LoadList();
        }
    });
    loading_ = false;
}

// The stored skin; a settings row that cannot be read or a picture that is
// missing leaves the window without one, and nothing is said.
void FrmMinBook::loadStoredSkin()
{
    QString number;
    try {
        number = notestore::skinNumber();
    } catch (const DbError &) {
        return;
    }
    if (!showSkin(number))
        skinPicture_ = QPixmap();
}

void FrmMinBook::reloadTree()
{
    varnel::OpenDb();
    try {
        varnel::DbRs->Open(QStringLiteral("select * from 分类"), *varnel::DbConn,
                           varnel::RsMode::Read);
        LoadData();
    } catch (...) {
        varnel::CloseDb();
        throw;
    }
    varnel::CloseDb();
}

void FrmMinBook::createListTip()
{
    ListTip = std::make_unique<CTooltip>();
    ListTip->setStyle(1);
    ListTip->setIcon(1);
}

void FrmMinBook::addListColumns()
{
    if (ListView1->model() != listModel_)
        ListView1->setModel(listModel_);
    QHeaderView *header = ListView1->header();
    const int widths[varnel::NoteListModel::ColumnCount] = {300, 3700, 0, 0, 0, 0};
    for (int column = 0; column < varnel::NoteListModel::ColumnCount; ++column)
        header->resizeSection(column, px(widths[column]));
}

// ----------------------------------------------------------- list and counts

void FrmMinBook::LoadList()
{
    const Sql sql = ListSql;
    const quint64 ticket = ++listTicket_;
    if (!loading_) {
        // Let waiting events run first. One of them may refresh the list
        // itself; then that refresh stands and this one has nothing to add.
        QPointer<FrmMinBook> self(this);
        QCoreApplication::processEvents();
        if (!self)
            throw WindowGone(); // unloaded meanwhile: the handler must stop here
        if (ticket != listTicket_)
            return;
    }
    std::vector<NoteRow> rows;
    try {
        rows = notestore::listRows(sql);
    } catch (const DbError &) {
        listModel_->setRows({});
        throw;
    }
    listModel_->setRows(std::move(rows));
    emit listLoaded();
}

void FrmMinBook::LoadCount()
{
    const qint64 category = numericValue(Text5->text());
    ListSql = Sql::countOf(category);
    const qint64 count = notestore::count(ListSql);
    Lab_Sum->setText((category != 0 ? QStringLiteral("此分类【") : QStringLiteral("全部【")) +
                     QString::number(count) + QStringLiteral("】条信息"));
}

// The search box is emptied by an action that lists the notes itself right
// after: the search it would set off is skipped, as its result would be replaced.
void FrmMinBook::clearSearchQuietly()
{
    const QSignalBlocker blocker(txtCZ);
    txtCZ->clear();
}

void FrmMinBook::Note_R()
{
    clearSearchQuietly();
    if (txtCZ->text().trimmed().isEmpty()) {
        ListSql = Sql::allNotes();
        LoadList();
    }
}

void FrmMinBook::cmdALL_Click()
{
    guarded([this] {
        clearSearchQuietly();
        if (txtCZ->text().trimmed().isEmpty()) {
            ListSql = Sql::allNotes();
            LoadList();
            Text5->setText(QStringLiteral("0"));
            LoadCount();
        }
    });
}

void FrmMinBook::cmd_nopass_Click()
{
    guarded([this] {
        clearSearchQuietly();
        if (txtCZ->text().trimmed().isEmpty()) {
            ListSql = Sql::pendingNotes();
            LoadList();
        }
    });
}

void FrmMinBook::cmd_otime_Click()
{
    FrmRing::showRing();
}

void FrmMinBook::ListView1_Click(const QModelIndex &)
{
    if (listModel_->rowCount() == 0)
        return;
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const NoteRow row = listModel_->row(selected.first().row());
    QString body;
    if (!guarded([&] { body = notestore::body(row.bookid); }))
        return;
    Text1->setText(row.title);
    Text2->setPlainText(body);
    Text3->setText(QString::number(row.bookid));
    Text4->setText(varnel::shownTime(row.time));
    setEditorState(EditorState::Loaded);
}

void FrmMinBook::ListView1_MouseUp(const QPoint &pos)
{
    const int index = ListView1->indexAt(pos).row(); // -1 when no row is there
    if (index + 1 == hotItem_)
        return;
    hotItem_ = index + 1;
    if (index < 0 && ListTip)
        ListTip->Destroy();
}

// -------------------------------------------------------------------- editor

void FrmMinBook::setEditorState(EditorState state)
{
    const bool blank = state == EditorState::Blank;
    cmd_add->setEnabled(blank);
    cmd_add->setVisible(blank);
    Quxiao->setEnabled(!blank);
    Quxiao->setVisible(!blank);
    cmd_edit->setEnabled(!blank);
    cmd_del->setEnabled(!blank);
    cmd_ok->setEnabled(state == EditorState::Loaded);
    Text4->setVisible(!blank);
}

void FrmMinBook::clearEditor()
{
    Text1->clear();
    Text2->clear();
    Text3->clear();
    Text4->clear();
}

// The body as typed. The plain-text form of the box would turn no-break
// spaces into spaces and line separators into line breaks; only the
// paragraph breaks between the box's lines are turned back into line breaks.
QString FrmMinBook::editorBody() const
{
    return Text2->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

bool FrmMinBook::cmd_add_Click()
{
    return guarded([this] {
        notestore::addNote(Text1->text(), editorBody(), numericValue(Text5->text()));
        clearEditor();
        Note_R();
    });
}

void FrmMinBook::Quxiao_Click()
{
    setEditorState(EditorState::Blank);
    txtCZ->clear(); // a search box that held text lists again
    clearEditor();
}

bool FrmMinBook::cmd_edit_Click()
{
    return guarded([this] {
        notestore::changeNote(Text3->text(), Text1->text(), editorBody(),
                              numericValue(Text5->text()));
        setEditorState(EditorState::Changed);
        Note_R();
    });
}

void FrmMinBook::cmd_ok_Click()
{
    guarded([this] {
        notestore::finishNote(Text3->text());
        setEditorState(EditorState::Blank);
        Note_R();
        clearEditor();
    });
}

void FrmMinBook::cmd_del_Click()
{
    if (QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("确认要删除吗?"),
                                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (Text3->text().isEmpty()) {
        QMessageBox::information(this, kTitleHint, QStringLiteral("请选中列表中的内容再删除"));
        return;
    }
    guarded([this] {
        notestore::deleteNote(Text3->text());
        clearEditor();
        setEditorState(EditorState::Blank);
        Note_R();
    });
}

void FrmMinBook::cmd_change_Click()
{
    Text2->resize(Text2->width(), px(kText2Large));
    Text2->raise();
    cmd_change->hide();
    cmd_change2->show();
}

void FrmMinBook::cmd_change2_Click()
{
    Text2->resize(Text2->width(), px(kText2Small));
    cmd_change->show();
    cmd_change2->hide();
}

void FrmMinBook::editorKeyUp(QKeyEvent *event)
{
    if (event->key() != Qt::Key_F1 || event->isAutoRepeat())
        return;
    if (cmd_add->isEnabled()) {
        if (cmd_add_Click())
            showSavedBubble(QStringLiteral("新建内容已保存！"));
    } else if (cmd_edit_Click()) {
        showSavedBubble(QStringLiteral("内容修改成功！"));
    }
}

void FrmMinBook::showSavedBubble(const QString &text)
{
    tm_pao1->start();
    pao1->show();
    pao1->raise();
    lab_pao1->setText(text);
}

// ------------------------------------------------------------- category tree

void FrmMinBook::LoadData()
{
    QString selectedKey;
    if (QTreeWidgetItem *node = selectedNode())
        selectedKey = node->data(0, Qt::UserRole).toString();
    trv->clear();
    nodes_.clear();
    auto *root = new QTreeWidgetItem(trv, {QStringLiteral("所有记事")});
    root->setData(0, Qt::UserRole, varnel::kRootKey);
    nodes_.insert(varnel::kRootKey, root);

    std::vector<varnel::CategoryRow> rows;
    for (; !varnel::DbRs->Eof(); varnel::DbRs->MoveNext())
        rows.push_back({varnel::DbRs->Field(0), varnel::DbRs->Field(1), varnel::DbRs->Field(2)});
    for (const varnel::CategoryPlacement &place : varnel::placeCategories(rows)) {
        if (place.topLevel)
            AddRootNode(varnel::kRootKey, place.key.mid(2), place.name);
        else
            AddChildNode(place.parentKey, place.key, place.name);
    }
    root->setExpanded(true);
    // The node selected before the rebuild stays selected; otherwise the root is.
    QTreeWidgetItem *select = nodes_.value(selectedKey, root);
    trv->setCurrentItem(select);
}

void FrmMinBook::AddRootNode(const QString &parentKey, const QString &id, const QString &name)
{
    AddChildNode(parentKey, QStringLiteral("K_") + id, name);
}

void FrmMinBook::AddChildNode(const QString &parentKey, const QString &nodeKey, const QString &name)
{
    QTreeWidgetItem *parent = nodes_.value(parentKey);
    if (!parent)
        parent = nodes_.value(varnel::kRootKey);
    if (!parent || nodes_.contains(nodeKey))
        return;
    auto *node = new QTreeWidgetItem(parent, {name});
    node->setData(0, Qt::UserRole, nodeKey);
    node->setIcon(0, varnel::listPicture(2));
    node->setExpanded(true);
    nodes_.insert(nodeKey, node);
}

QTreeWidgetItem *FrmMinBook::selectedNode() const
{
    return trv->selectedItems().value(0);
}

void FrmMinBook::trv_Click()
{
    QTreeWidgetItem *node = selectedNode();
    qint64 category = 0;
    if (!node || !varnel::categoryNumber(node->data(0, Qt::UserRole).toString(), &category))
        return; // the root, or nothing selected
    guarded([this, category] {
        Text5->setText(QString::number(category));
        ListSql = Sql::categoryNotes(category);
        LoadList();
        LoadCount();
    });
}

void FrmMinBook::trv_MouseDown(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        tree->popup(event->globalPosition().toPoint());
}

void FrmMinBook::addtree_Click()
{
    if (!selectedNode())
        return;
    const QString name = QInputDialog::getText(this, QStringLiteral("增加分类"),
                                               QStringLiteral("请输入要增加分类:"));
    guarded([this, &name] {
        if (!name.isEmpty())
            notestore::addCategory(name);
        reloadTree();
    });
}

void FrmMinBook::EditTree_Click()
{
    QTreeWidgetItem *node = selectedNode();
    qint64 id = 0;
    if (!node || !varnel::categoryNumber(node->data(0, Qt::UserRole).toString(), &id))
        return; // the root has no row to rename
    const QString name =
        QInputDialog::getText(this, QStringLiteral("修改分类"), QStringLiteral("请输入新的分类:"));
    guarded([this, &name, id] {
        if (!name.isEmpty())
            notestore::renameCategory(id, name);
        reloadTree();
    });
}

void FrmMinBook::treedel_Click()
{
    QTreeWidgetItem *node = selectedNode();
    qint64 id = 0;
    if (!node)
        return;
    const QString key = node->data(0, Qt::UserRole).toString();
    if (!varnel::categoryNumber(key, &id))
        return; // the root has no row to delete
    if (QMessageBox::question(this, varnel::appTitle(), QStringLiteral("确定要删除该分类吗?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    node = selectedNode();
    if (!node || node->data(0, Qt::UserRole).toString() != key || node->childCount() > 0)
        return; // a category with sub-categories stays
    guarded([this, id] {
        notestore::deleteCategory(id);
        reloadTree();
    });
}

// -------------------------------------------------------- search and export

void FrmMinBook::txtCZ_Change()
{
    guarded([this] {
        ListSql = Sql::search(txtCZ->text());
        LoadList();
    });
}

void FrmMinBook::txtCZ_Click()
{
    pao2->show();
    Tim_pao2->start();
    Lab_pao2->setText(searchHint());
    pao2->move(px(4080), px(1920));
    pao2->raise();
}

void FrmMinBook::cmd_out_Click()
{
    const QString path = varnel::exportPath();
    varnel::NoteExport exporter(path, numericValue(Text5->text()));
    bool written = false;
    if (!guarded([&] { written = exporter.write(); }))
        return;
    if (!written) {
        QMessageBox::critical(this, kTitleHint,
                              QStringLiteral("无法写入导出文件：\n%1\n%2\n没有导出任何内容。")
                                  .arg(QDir::toNativeSeparators(path), exporter.errorText()));
        return;
    }
    QMessageBox::information(this, kTitleHint,
                             QStringLiteral("已导出") + QString::number(exporter.count()) +
                                 QStringLiteral(" 篇内容"));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        QMessageBox::warning(this, kTitleHint,
                             QStringLiteral("无法用文本编辑器打开导出文件，请手动打开：\n%1")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

// --------------------------------------------------------------------- frame

void FrmMinBook::forgetHotKeyNotice()
{
    g_hotKeyNoticeGiven = false;
}

void FrmMinBook::hideToTray(bool fromMinimise)
{
    varnel::AppWindows *windows = varnel::AppWindows::current();
    const bool tray = windows && windows->trayIconShown();
    const bool hotKey = windows && windows->hotKeyActive();
    if (!tray && !hotKey) {
        // Nothing could bring an unloaded window back: it is only minimised.
        if (!fromMinimise)
            showMinimized();
        return;
    }
    if (!tray && !g_hotKeyNoticeGiven) {
        g_hotKeyNoticeGiven = true;
        QMessageBox::information(
            fromMinimise ? nullptr : this, kTitleHint,
            QStringLiteral("托盘图标不可用。Varnel 仍在运行，按 Ctrl+1 可以重新打开主窗口。"));
    }
    close(); // destroys the window
    frmLogin::unloadIfLoaded();
}

void FrmMinBook::Lab_hide_Click()
{
    hideToTray(false);
}

void FrmMinBook::lab_key_Click()
{
    QDesktopServices::openUrl(QUrl(Text6->text()));
}

void FrmMinBook::bbs_Click()
{
    QDesktopServices::openUrl(QUrl(varnel::siteUrl()));
}

void FrmMinBook::RePw_Click()
{
    frmMMXG dlg(this);
    dlg.exec();
}

void FrmMinBook::mouseMoveEvent(QMouseEvent *event)
{
    QFont hideFont = Lab_hide->font();
    hideFont.setBold(false);
    hideFont.setPointSize(10);
    Lab_hide->setFont(hideFont);
    QFont keyFont = lab_key->font();
    keyFont.setUnderline(false);
    lab_key->setFont(keyFont);
    QWidget::mouseMoveEvent(event);
}

void FrmMinBook::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Unloading from inside the state change would pull the window away under Qt.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isMinimized())
                hideToTray(true);
        },
        Qt::QueuedConnection);
}

void FrmMinBook::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (skinPicture_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, skinPicture_);
}

bool FrmMinBook::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyRelease:
        if (watched == Text1 || watched == Text2)
            editorKeyUp(static_cast<QKeyEvent *>(event));
        break;
    case QEvent::MouseButtonRelease:
        if (watched == txtCZ)
            txtCZ_Click();
        else if (watched == ListView1->viewport())
            ListView1_MouseUp(static_cast<QMouseEvent *>(event)->position().toPoint());
        break;
    case QEvent::MouseButtonPress:
        if (watched == trv->viewport() &&
            static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
            // The menu acts on the selected node; the right button selects nothing.
            trv_MouseDown(static_cast<QMouseEvent *>(event));
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// --------------------------------------------------------------------- skins

void FrmMinBook::Lab_skin_Click()
{
    VlSkin->popup(QCursor::pos());
}

void FrmMinBook::chooseSkin(int number)
{
    if (!guarded([number] { notestore::setSkinNumber(number); }))
        return;
    showSkin(QString::number(number)); // a missing picture keeps the current one
}

// Loads skin picture `number`, recognised by its content. False when there is none.
bool FrmMinBook::showSkin(const QString &number)
{
    if (number.trimmed().isEmpty())
        return false;
    QImageReader reader(varnel::skinPath(number.trimmed()));
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    skinPicture_ = QPixmap::fromImage(image);
    QWidget::update();
    return true;
}

// ------------------------------------------------------ notices and updates

void FrmMinBook::setNoticeSource(NoticeSource source)
{
    noticeSource_ = std::move(source);
}

std::optional<QString> FrmMinBook::noticeValue(const QString &name) const
{
    return noticeSource_ ? noticeSource_(name) : std::nullopt;
}

void FrmMinBook::noticeTick(int line)
{
    const std::optional<QString> text = noticeValue(QStringLiteral("gg%1").arg(line));
    if (!text)
        return; // no page yet: the help line stays
    lab_key->setText(*text);
    if (const std::optional<QString> url = noticeValue(QStringLiteral("ggurl%1").arg(line)))
        Text6->setText(*url);
}

void FrmMinBook::update_Click()
{
    UpdateBox->move(px(240), px(600));
    UpdateBox->show();
    UpdateBox->raise();
    const std::optional<QString> info = noticeValue(QStringLiteral("update_vl"));
    if (!info)
        return;
    Text7->setPlainText(*info);
    WebGet->refresh();
}

void FrmMinBook::UpdateNow_Click()
{
    const std::optional<QString> ver = noticeValue(QStringLiteral("ver"));
    const std::optional<qint64> page = ver ? varnel::UpdateLaunch::pageVersion(*ver) : std::nullopt;
    if (!page)
        return; // no page, or no number on it
    if (*page <= varnel::versionNumber()) {
        QMessageBox::information(this, kTitleHint,
                                 QStringLiteral("Varnel已经是最高版本,此时不需要升级"));
        return;
    }
    const QString program = varnel::UpdateLaunch::updaterPath();
    if (!varnel::UpdateLaunch::start(program)) {
        QMessageBox::critical(this, QStringLiteral("Varnel升级"),
                              QStringLiteral("无法启动升级程序：\n%1\nVarnel 将继续运行。")
                                  .arg(QDir::toNativeSeparators(program)));
        return;
    }
    if (varnel::AppWindows *windows = varnel::AppWindows::current())
        windows->delIcon();
    varnel::UpdateLaunch::quit();
}

void FrmMinBook::Later_update_Click()
{
    UpdateBox->hide();
}

// ------------------------------------------------------------------ failures

bool FrmMinBook::guarded(const std::function<void()> &body)
{
    try {
        body();
        return true;
    } catch (const DbError &e) {
        showDbError(e.userText());
    } catch (const WindowGone &) {
        // Nothing of the window may be touched any more.
    }
    return false;
}

void FrmMinBook::showDbError(const QString &text)
{
    QMessageBox::critical(this, kTitleError, text);
}
