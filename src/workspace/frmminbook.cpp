#include "frmminbook.h"

#include "base/appinfo.h"
#include "base/appwindows.h"
#include "categorytree.h"
#include "clicklabel.h"
#include "store/database.h"
#include "formcontrols.h"
#include "frmlogin.h"
#include "frmmmxg.h"
#include "gpublic.h"
#include "hidepolicy.h"
#include "noteeditor.h"
#include "notelistpane.h"
#include "notestore.h"
#include "noticeboard.h"
#include "reachnotice.h"
#include "readablelabels.h"
#include "traylessexit.h"
#include "windowguard.h"
#include "windowkeys.h"
#include "windowplacement.h"
#include "windowunload.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

using varnel::DbError;
using varnel::px;
namespace notestore = varnel::notestore;

FrmMinBook::FrmMinBook(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), BSE1(this)
{
    setObjectName(QStringLiteral("FrmMinBook"));
    varnel::noteHomeLoop(this);
    setWindowTitle(varnel::versionText());
    setFixedSize(455, 418);
    setMouseTracking(true);
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    createTitleStrip();
    createParts();
    createFrameButtons();
    createSkinMenu();
    orderTabs();
    watchLabels();
    Form_Load();
    WindowPlacement::place(this);
}

FrmMinBook::~FrmMinBook() = default;

// ------------------------------------------------------------------ building

void FrmMinBook::createTitleStrip()
{
    title_Dong = new ClickLabel(QString(), this);
    title_Dong->setObjectName(QStringLiteral("title_Dong"));
    title_Dong->setGeometry(0, 0, px(5415), px(345));
    connect(title_Dong, &ClickLabel::pressed, this, [this] { varnel::DragForm(this); });

    lab_title = varnel::makeLabel(this, "lab_title", QString(), 120, 75, 1050, 180);
    lab_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont bold = lab_title->font();
    bold.setBold(true);
    lab_title->setFont(bold);
    lab_title->resize(px(5415) - lab_title->x(), lab_title->height());

    Lab_skin = varnel::makeClickLabel(this, "Lab_skin", QStringLiteral("皮肤"), 5640, 75, 360, 180);
    Lab_skin->setCursor(Qt::PointingHandCursor);
    connect(Lab_skin, &ClickLabel::clicked, this, &FrmMinBook::Lab_skin_Click);

    Lab_hide = varnel::makeClickLabel(this, "Lab_hide", QStringLiteral("隐藏"), 6240, 75, 360, 180);
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
    exit_ = new TraylessExit(this);
}

void FrmMinBook::createParts()
{
    list_ = new NoteListPane(this);
    editor_ = new NoteEditor(this, {[this] { return list_->category(); }, [this] { Note_R(); },
                                    [this] { list_->clearSearch(); }});
    tree_ = new CategoryTree(this);
    notices_ = new NoticeBoard(this);
    connect(list_, &NoteListPane::listLoaded, this, &FrmMinBook::listLoaded);
    connect(list_, &NoteListPane::listLoaded, this, &FrmMinBook::repairLoad);
    connect(list_, &NoteListPane::noteClicked, editor_, &NoteEditor::open);
    connect(list_, &NoteListPane::noteEntered, editor_, &NoteEditor::focusTitle);
    connect(list_, &NoteListPane::deleteRequested, editor_, &NoteEditor::deleteLoaded);
    // After each fill the list highlights the note the editor holds, if listed.
    connect(list_, &NoteListPane::listLoaded, this,
            [this] { list_->highlightNote(editor_->noteId()); });
    connect(list_, &NoteListPane::allNotesListed, tree_, &CategoryTree::highlightRoot);
    connect(tree_, &CategoryTree::categoryChosen, this, &FrmMinBook::categoryChosen);
    connect(tree_, &CategoryTree::allChosen, list_, &NoteListPane::listAllNotes);
    new WindowKeys(this, {[this] { editor_->saveOrChange(); }, [this] { editor_->newNote(); },
                          [this] { list_->focusSearch(); }, [this] { hideToTray(false); }});
    connect(list_, &NoteListPane::countLinePlaced, notices_,
            [this](int left) { notices_->setHelpLineEnd(left - 6); });
    editor_->setLowestBottom(notices_->helpLine()->y() - 2);
    showHotKeyHelp();
}

void FrmMinBook::showHotKeyHelp()
{
    const varnel::AppWindows *windows = varnel::AppWindows::current();
    notices_->setHotKey(windows && windows->hotKeyActive() ? windows->hotKeyName() : QString());
    exit_->follow();
}

void FrmMinBook::createFrameButtons()
{
    RePw = varnel::makeButton(this, "RePw", QStringLiteral("设置"), 120, 5280, 615, 320);
    bbs = varnel::makeButton(this, "bbs", QStringLiteral("论坛"), 120, 5640, 615, 320);
    connect(RePw, &QPushButton::clicked, this, &FrmMinBook::RePw_Click);
    connect(bbs, &QPushButton::clicked, this, &FrmMinBook::bbs_Click);
}

void FrmMinBook::createSkinMenu()
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
}

// The texts that lie on the skin picture.
void FrmMinBook::watchLabels()
{
    readable_ = new ReadableLabels(this);
    for (const char *name :
         {"lab_title", "Lab_skin", "Lab_hide", "Label1", "Label2", "Label3", "Lab_Sum"})
        if (auto *label = findChild<QLabel *>(QString::fromLatin1(name)))
            readable_->watch(label, ReadableLabels::Kind::Text);
    readable_->watch(notices_->helpLine(), ReadableLabels::Kind::Link);
}

// The keyboard goes through the controls in the order of the design table.
void FrmMinBook::orderTabs()
{
    static const char *const order[] = {
        "Text1",   "Text4",      "Text2",       "cmd_add",    "Quxiao",      "cmd_edit",
        "cmd_del", "cmd_change", "cmd_change2", "cmd_nopass", "cmd_ok",      "cmd_otime",
        "cmd_out", "cmdALL",     "txtCZ",       "trv",        "ListView1",   "update",
        "RePw",    "bbs",        "Text7",       "UpdateNow",  "Later_update"};
    QWidget *previous = nullptr;
    for (const char *name : order) {
        auto *widget = findChild<QWidget *>(QString::fromLatin1(name));
        if (previous && widget)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

// ------------------------------------------------------------- load sequence

void FrmMinBook::Form_Load()
{
    // Each step that reads the database is guarded on its own: a failure is
    // reported once, and the steps that need no database still build the
    // window, so the next list action fills it once the file is back.
    std::optional<DbError> failure;
    auto step = [&failure](const std::function<void()> &body) {
        try {
            body();
        } catch (const DbError &e) {
            if (!failure)
                failure = e;
        }
    };
    list_->setLoading(true);
    const bool skinRead = loadStoredSkin();
    step([this] { tree_->reload(); });
    notices_->navigate();
    editor_->hideBubble();
    list_->createListTip();
    lab_title->setText(varnel::versionText());
    BSE1.setSkinLevel(1);
    BSE1.prepare();
    BSE1.apply();
    editor_->setState(NoteEditor::State::Blank);
    list_->addListColumns();
    step([this] { list_->listAllAtLoad(); });
    list_->setLoading(false);
    loadIncomplete_ = failure.has_value() || !skinRead;
    if (failure)
        varnel::reportFailure(this, *failure);
}

// After a load the database failed, the first list that fills again brings
// back the skin picture and the tree as well.
void FrmMinBook::repairLoad()
{
    if (!loadIncomplete_)
        return;
    loadIncomplete_ = false;
    try {
        if (!loadStoredSkin())
            loadIncomplete_ = true;
        tree_->reload();
    } catch (const DbError &) {
        loadIncomplete_ = true; // the next list tries again
    }
    update();
}

// The stored skin; a settings row that cannot be read or a picture that is
// missing leaves the window without one, and nothing is said. False when
// the settings row could not be read.
bool FrmMinBook::loadStoredSkin()
{
    QString number;
    try {
        number = notestore::skinNumber();
    } catch (const DbError &) {
        return false;
    }
    if (!showSkin(number)) {
        skinPicture_ = QPixmap();
        readable_->setPicture({});
    }
    return true;
}

// ------------------------------------------------------------ parts, wired

void FrmMinBook::Note_R()
{
    list_->Note_R();
}

void FrmMinBook::LoadCount()
{
    list_->LoadCount();
}

void FrmMinBook::LoadData()
{
    tree_->LoadData();
}

void FrmMinBook::AddRootNode(const QString &parentKey, const QString &id, const QString &name)
{
    tree_->AddRootNode(parentKey, id, name);
}

void FrmMinBook::AddChildNode(const QString &parentKey, const QString &nodeKey, const QString &name)
{
    tree_->AddChildNode(parentKey, nodeKey, name);
}

const varnel::ListSql &FrmMinBook::listSql() const
{
    return list_->listSql();
}

void FrmMinBook::setNoticeSource(NoticeSource source)
{
    notices_->setSource(std::move(source));
}

void FrmMinBook::categoryChosen(qint64 category)
{
    varnel::guarded(this, [this, category] { list_->showCategory(category); });
}

// --------------------------------------------------------------------- frame

void FrmMinBook::forgetHotKeyNotice()
{
    varnel::ReachNotice::forget();
}

void FrmMinBook::hideToTray(bool fromMinimise)
{
    varnel::HidePolicy::onHide(this, fromMinimise, [this, fromMinimise](auto outcome) {
        if (outcome == varnel::HidePolicy::Outcome::Minimise) {
            if (!fromMinimise && !isMinimized())
                showMinimized();
            return;
        }
        varnel::unloadWhenIdle(this);
        frmLogin::unloadIfLoaded();
    });
}

void FrmMinBook::Lab_hide_Click()
{
    hideToTray(false);
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
    ClickLabel *lab_key = notices_->helpLine();
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

// Closed by the window manager: unloaded like a hidden window, or the end of
// the program when nothing could bring it back.
void FrmMinBook::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!event->spontaneous()) {
        varnel::unloadWhenIdle(this);
        return;
    }
    varnel::HidePolicy::onWindowManagerClose(this, [this](auto outcome) {
        if (outcome == varnel::HidePolicy::Outcome::Quit)
            QCoreApplication::exit(0);
        frmLogin::unloadIfLoaded();
        varnel::unloadWhenIdle(this);
    });
}

void FrmMinBook::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    WindowPlacement::remember(this);
}

void FrmMinBook::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (skinPicture_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, skinPicture_);
}

// --------------------------------------------------------------------- skins

void FrmMinBook::Lab_skin_Click()
{
    VlSkin->popup(QCursor::pos());
}

void FrmMinBook::chooseSkin(int number)
{
    if (!varnel::guarded(this, [number] { notestore::setSkinNumber(number); }))
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
    readable_->setPicture(image);
    QWidget::update();
    return true;
}
