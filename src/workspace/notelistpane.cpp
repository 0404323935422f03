#include "notelistpane.h"

#include "base/appinfo.h"
#include "ctooltip.h"
#include "store/database.h"
#include "formcontrols.h"
#include "frmring.h"
#include "noteexport.h"
#include "notelistmodel.h"
#include "store/search/backgroundlist.h"
#include "store/datalayer.h"
#include "store/search/notesearch.h"
#include "windowguard.h"

#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QTimer>
#include <QUrl>

using Sql = varnel::ListSql;
using varnel::NoteRow;
using varnel::numericValue;
using varnel::px;
namespace notestore = varnel::notestore;

namespace
{

const QString kTitleHint = QStringLiteral("Varnel提示");

QString searchHint()
{
    return QStringLiteral("关键字 例如：密码\n\n日") + QChar(0x3000) +
           QStringLiteral("期 例如：2008-8-8");
}

} // namespace

NoteListPane::NoteListPane(QWidget *window) : QObject(window), window_(window)
{
    // Hidden: the current category.
    Text5 = new QLineEdit(QStringLiteral("0"), window_);
    Text5->setObjectName(QStringLiteral("Text5"));
    Text5->hide();
    createButtons();
    createList();
    createCountAndHint();
}

NoteListPane::~NoteListPane() = default;

void NoteListPane::createButtons()
{
    using varnel::makeButton;
    cmd_nopass = makeButton(window_, "cmd_nopass", QStringLiteral("待办"), 840, 3120, 510, 300);
    cmd_otime = makeButton(window_, "cmd_otime", QStringLiteral("提醒"), 2400, 3120, 510, 300);
    cmd_otime->setEnabled(false);
    cmd_out = makeButton(window_, "cmd_out", QStringLiteral("导出"), 3000, 3120, 510, 300);
    cmdALL = makeButton(window_, "cmdALL", QStringLiteral("所有信息"), 3600, 3120, 975, 300);
    Label3 = varnel::makeLabel(window_, "Label3", QStringLiteral("查找"), 4800, 3180, 360, 180);
    txtCZ = new QLineEdit(window_);
    txtCZ->setObjectName(QStringLiteral("txtCZ"));
    txtCZ->setGeometry(px(5280), px(3120), px(1455), px(330));
    txtCZ->installEventFilter(this);
    connect(cmd_nopass, &QPushButton::clicked, this, &NoteListPane::cmd_nopass_Click);
    connect(cmd_otime, &QPushButton::clicked, this, &NoteListPane::cmd_otime_Click);
    connect(cmd_out, &QPushButton::clicked, this, &NoteListPane::cmd_out_Click);
    connect(cmdALL, &QPushButton::clicked, this, &NoteListPane::cmdALL_Click);
    connect(txtCZ, &QLineEdit::textChanged, this, &NoteListPane::txtCZ_Change);
}

// A report-style list: whole rows, no grid, no row numbers. A table view
// rather than a tree: a tree view lays out every row of the model anew at each
// change of the list, which a list of 100,000 notes feels at every keystroke.
void NoteListPane::createList()
{
    listModel_ = new varnel::NoteListModel(this);
    ListView1 = new QTableView(window_);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(px(2400), px(3600), px(4335), px(2460));
    ListView1->setShowGrid(false);
    ListView1->setWordWrap(false);
    ListView1->setCornerButtonEnabled(false);
    ListView1->setTabKeyNavigation(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setTextElideMode(Qt::ElideRight); // a long title ends in "…"
    ListView1->setIconSize(QSize(16, 16));
    QHeaderView *rows = ListView1->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView *header = ListView1->horizontalHeader();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ListView1->viewport()->installEventFilter(this);
    ListView1->installEventFilter(this);
    connect(ListView1, &QTableView::clicked, this, &NoteListPane::ListView1_Click);
    connect(listModel_, &QAbstractItemModel::modelReset, this, &NoteListPane::fitRowHeight);

    // The sign of a search still being completed, in the list's lower right corner.
    Lab_searching = new QLabel(QStringLiteral("正在查找…"), ListView1);
    Lab_searching->setObjectName(QStringLiteral("Lab_searching"));
    Lab_searching->setStyleSheet(QStringLiteral(
        "QLabel { background: #FFFFE1; border: 1px solid #C9B458; padding: 1px 4px; }"));
    Lab_searching->hide();
    background_ = new varnel::search::BackgroundList(this);
    connect(varnel::DataLayer::current().search().events(), &varnel::search::IndexEvents::ready,
            this, &NoteListPane::indexReady);
}

// Every row as high as its picture and text need, taken from the first row
// the list shows (all rows look alike).
void NoteListPane::fitRowHeight()
{
    if (rowHeightFitted_ || ListView1->model() != listModel_ || listModel_->rowCount() == 0)
        return;
    rowHeightFitted_ = true;
    const QAbstractItemView *view = ListView1; // the hint is public there
    ListView1->verticalHeader()->setDefaultSectionSize(view->sizeHintForRow(0));
}

void NoteListPane::createCountAndHint()
{
    // The count line runs to the right edge.
    Lab_Sum = varnel::makeLabel(window_, "Lab_Sum", QString(), 4920, 6195, 1080, 180);
    Lab_Sum->resize(window_->width() - 4 - Lab_Sum->x(), Lab_Sum->height());

    // The search hint: a speech bubble, kept outside the visible area until shown.
    pao2 = new QFrame(window_);
    pao2->setObjectName(QStringLiteral("pao2"));
    pao2->setGeometry(window_->width() + 10, 0, 172, 66);
    pao2->setStyleSheet(QStringLiteral(
        "QFrame#pao2 { background: #FFFFE1; border: 1px solid #C9B458; border-radius: 8px; }"));
    Lab_pao2 = new QLabel(QStringLiteral("提示内容"), pao2);
    Lab_pao2->setObjectName(QStringLiteral("Lab_pao2"));
    Lab_pao2->setGeometry(8, 4, pao2->width() - 12, pao2->height() - 8);
    pao2->hide();

    Tim_pao2 = new QTimer(this);
    Tim_pao2->setObjectName(QStringLiteral("Tim_pao2"));
    Tim_pao2->setInterval(2000);
    Tim_pao2->start();
    connect(Tim_pao2, &QTimer::timeout, this, [this] {
        pao2->hide();
        Tim_pao2->stop();
    });
}

void NoteListPane::createListTip()
{
    ListTip = std::make_unique<CTooltip>();
    ListTip->setStyle(1);
    ListTip->setIcon(1);
}

void NoteListPane::addListColumns()
{
    if (ListView1->model() != listModel_) {
        ListView1->setModel(listModel_);
        connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &NoteListPane::selectionMoved);
    }
    QHeaderView *header = ListView1->horizontalHeader();
    const int widths[varnel::NoteListModel::ColumnCount] = {300, 3700, 0, 0, 0, 0};
    for (int column = 0; column < varnel::NoteListModel::ColumnCount; ++column)
        header->resizeSection(column, px(widths[column]));
}

void NoteListPane::listAllAtLoad()
{
    txtCZ->clear();
    const bool listsAll = txtCZ->text().trimmed().isEmpty();
    // With no category the count line counts the notes listed here: a count
    // of its own would read the file once more while the window opens.
    const bool countsList = listsAll && category() == 0;
    if (!countsList)
        LoadCount();
    if (listsAll) {
        ListSql = Sql::allNotes();
        LoadList();
    }
    if (countsList)
        showCount(0, listModel_->rowCount());
    // A search typed before the index is ready reads the file itself.
    varnel::search::NoteSearch &engine = varnel::DataLayer::current().search();
    if (!engine.ready() && !engine.path().isEmpty())
        background_->prepare(engine.path());
}

qint64 NoteListPane::category() const
{
    return numericValue(Text5->text());
}

void NoteListPane::clearSearch()
{
    txtCZ->clear();
}

void NoteListPane::LoadList()
{
    loadList(ListSql);
}

// Every list replaces the one before, a search still under way included.
void NoteListPane::loadList(const Sql &sql)
{
    background_->cancel();
    showSearching(false);
    if (sql.filter.kind == varnel::search::NoteFilter::Text && searchOffThread(sql))
        return;
    std::vector<notestore::ListEntry> rows;
    try {
        rows = notestore::listRows(sql);
    } catch (const varnel::DbError &) {
        listModel_->setRows({});
        throw;
    }
    listModel_->setRows(std::move(rows));
    emit listLoaded();
}

// A search answers from the search index at once. While the index is not
// ready the statement runs off the window's thread: the list shows what it
// has found so far under a sign that it is still being completed, and the
// index answers instead the moment it is ready.
bool NoteListPane::searchOffThread(const Sql &sql)
{
    QString path;
    std::optional<std::vector<notestore::ListEntry>> rows;
    try {
        rows = notestore::rowsIfReady(sql, path);
    } catch (const varnel::DbError &) {
        listModel_->setRows({});
        throw;
    }
    if (rows) {
        listModel_->setRows(std::move(*rows));
        emit listLoaded();
        return true;
    }
    if (loading_ || path.isEmpty())
        return false;
    pendingSearch_ = sql;
    showSearching(true);
    background_->start(
        path, sql.filter,
        [this](std::vector<notestore::ListEntry> found, bool complete) {
            listModel_->setRows(std::move(found));
            if (!complete)
                return;
            showSearching(false);
            emit listLoaded();
        },
        [this](const varnel::DbError &error) {
            showSearching(false);
            listModel_->setRows({});
            varnel::reportFailure(window_, error);
        });
    return true;
}

void NoteListPane::indexReady()
{
    if (!background_->running())
        return;
    const Sql sql = pendingSearch_;
    varnel::guarded(window_, [&] { loadList(sql); });
}

void NoteListPane::showSearching(bool shown)
{
    if (!shown) {
        Lab_searching->hide();
        return;
    }
    const QRect area = ListView1->viewport()->geometry();
    Lab_searching->adjustSize();
    Lab_searching->move(area.right() - Lab_searching->width() - 2,
                        area.bottom() - Lab_searching->height() - 2);
    Lab_searching->raise();
    Lab_searching->show();
}

void NoteListPane::LoadCount()
{
    const qint64 category = numericValue(Text5->text());
    ListSql = Sql::countOf(category);
    showCount(category, notestore::count(ListSql));
}

void NoteListPane::showCount(qint64 category, qint64 count)
{
    Lab_Sum->setText((category != 0 ? QStringLiteral("此分类【") : QStringLiteral("全部【")) +
                     QString::number(count) + QStringLiteral("】条信息"));
    fitCountLine();
}

// The count line takes the width its text needs, ending at the window's
// right edge; the help line left of it gives way.
void NoteListPane::fitCountLine()
{
    const int right = window_->width() - 4;
    const int width = Lab_Sum->fontMetrics().horizontalAdvance(Lab_Sum->text()) + 4;
    Lab_Sum->setGeometry(right - width, Lab_Sum->y(), width, Lab_Sum->height());
    emit countLinePlaced(Lab_Sum->x());
}

void NoteListPane::showCategory(qint64 category)
{
    Text5->setText(QString::number(category));
    ListSql = Sql::categoryNotes(category);
    LoadList();
    LoadCount();
}

// The search box is emptied by an action that lists the notes itself right
// after: the search it would set off is skipped, as its result would be replaced.
void NoteListPane::clearSearchQuietly()
{
    const QSignalBlocker blocker(txtCZ);
    txtCZ->clear();
}

void NoteListPane::Note_R()
{
    clearSearchQuietly();
    if (txtCZ->text().trimmed().isEmpty()) {
        ListSql = Sql::allNotes();
        LoadList();
    }
}

void NoteListPane::cmdALL_Click()
{
    varnel::guarded(window_, [this] {
        clearSearchQuietly();
        if (txtCZ->text().trimmed().isEmpty()) {
            ListSql = Sql::allNotes();
            LoadList();
            Text5->setText(QStringLiteral("0"));
            LoadCount();
        }
        emit allNotesListed();
    });
}

void NoteListPane::cmd_nopass_Click()
{
    varnel::guarded(window_, [this] {
        clearSearchQuietly();
        if (txtCZ->text().trimmed().isEmpty()) {
            ListSql = Sql::pendingNotes();
            LoadList();
        }
        emit allNotesListed();
    });
}

void NoteListPane::cmd_otime_Click()
{
    FrmRing::showRing();
}

void NoteListPane::ListView1_Click(const QModelIndex &)
{
    if (listModel_->rowCount() == 0 || openedSincePress_)
        return;
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    emit noteClicked(listModel_->row(selected.first().row()));
}

// The editor follows the highlight however it moved (arrow keys, page keys,
// a drag): the note shown is always the one that 删除 and 修改 act on.
void NoteListPane::selectionMoved()
{
    if (highlighting_)
        return;
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    openedSincePress_ = QGuiApplication::mouseButtons() != Qt::NoButton;
    emit noteClicked(listModel_->row(selected.first().row()));
}

void NoteListPane::highlightNote(qint64 bookid)
{
    const int row = bookid > 0 ? listModel_->rowOf(bookid) : -1;
    QItemSelectionModel *selection = ListView1->selectionModel();
    if (!selection)
        return;
    highlighting_ = true;
    if (row < 0) {
        selection->clearSelection();
    } else {
        const QModelIndex index = listModel_->index(row, varnel::NoteListModel::Title);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ListView1->scrollTo(index);
    }
    highlighting_ = false;
}

bool NoteListPane::listKeyPress(const QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    const QModelIndex current = ListView1->currentIndex();
    const bool noneSelected = ListView1->selectionModel()->selectedRows().isEmpty();
    switch (event->key()) {
    case Qt::Key_Home: // the first and the last note (not column) of the list
    case Qt::Key_End:
        if (listModel_->rowCount() > 0) {
            const int row = event->key() == Qt::Key_Home ? 0 : listModel_->rowCount() - 1;
            ListView1->selectRow(row);
            ListView1->scrollTo(listModel_->index(row, varnel::NoteListModel::Title));
        }
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
        // Nothing highlighted yet: the first key highlights (and opens) the
        // row the keyboard stands on, or the first row.
        if (!noneSelected || listModel_->rowCount() == 0)
            return false;
        ListView1->selectRow(current.isValid() ? current.row() : 0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!current.isValid())
            return true;
        if (ListView1->selectionModel()->isRowSelected(current.row()))
            emit noteClicked(listModel_->row(current.row()));
        else
            ListView1->selectRow(current.row()); // opens it
        emit noteEntered();
        return true;
    case Qt::Key_Delete:
        if (!ListView1->selectionModel()->selectedRows().isEmpty())
            emit deleteRequested();
        return true;
    default:
        return false;
    }
}

void NoteListPane::focusSearch()
{
    txtCZ->setFocus(Qt::ShortcutFocusReason);
    txtCZ->selectAll();
}

void NoteListPane::ListView1_MouseUp(const QPoint &pos)
{
    const int index = ListView1->indexAt(pos).row(); // -1 when no row is there
    if (index + 1 == hotItem_)
        return;
    hotItem_ = index + 1;
    if (index < 0 && ListTip)
        ListTip->Destroy();
}

void NoteListPane::txtCZ_Change()
{
    varnel::guarded(window_, [this] {
        ListSql = Sql::search(txtCZ->text());
        LoadList();
    });
}

void NoteListPane::txtCZ_Click()
{
    pao2->show();
    Tim_pao2->start();
    Lab_pao2->setText(searchHint());
    pao2->move(px(4080), px(1920));
    pao2->raise();
}

void NoteListPane::cmd_out_Click()
{
    const QString path = varnel::exportPath();
    varnel::NoteExport exporter(path, numericValue(Text5->text()));
    bool written = false;
    if (!varnel::guarded(window_, [&] { written = exporter.write(); }))
        return;
    if (!written) {
        QMessageBox::critical(window_, kTitleHint,
                              QStringLiteral("无法写入导出文件：\n%1\n%2\n没有导出任何内容。")
                                  .arg(QDir::toNativeSeparators(path), exporter.errorText()));
        return;
    }
    QMessageBox::information(window_, kTitleHint,
                             QStringLiteral("已导出") + QString::number(exporter.count()) +
                                 QStringLiteral(" 篇内容"));
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        QMessageBox::warning(window_, kTitleHint,
                             QStringLiteral("无法用文本编辑器打开导出文件，请手动打开：\n%1")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

bool NoteListPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress)
        return listKeyPress(static_cast<QKeyEvent *>(event));
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonPress)
        openedSincePress_ = false;
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == txtCZ)
            txtCZ_Click();
        else if (watched == ListView1->viewport())
            ListView1_MouseUp(static_cast<QMouseEvent *>(event)->position().toPoint());
    }
    return QObject::eventFilter(watched, event);
}
