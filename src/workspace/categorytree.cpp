#include "categorytree.h"

#include "base/appinfo.h"
#include "categoryplan.h"
#include "store/database.h"
#include "formcontrols.h"
#include "notelistmodel.h"
#include "notestore.h"
#include "windowguard.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTreeWidget>

#include <optional>
#include <utility>
#include <vector>

using varnel::px;
namespace notestore = varnel::notestore;

CategoryTree::CategoryTree(QWidget *window)
    : QObject(window), window_(window), icon_(varnel::listPicture(2))
{
    trv = new QTreeWidget(window);
    trv->setObjectName(QStringLiteral("trv"));
    trv->setGeometry(px(840), px(3600), px(1455), px(2460));
    trv->setHeaderHidden(true);
    trv->setColumnCount(1);
    // Narrow steps, so that four levels of categories still show their names.
    trv->setIndentation(9);
    trv->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    trv->header()->setStretchLastSection(false);
    trv->viewport()->installEventFilter(this);
    trv->installEventFilter(this);
    connect(trv, &QTreeWidget::clicked, this, &CategoryTree::trv_Click);
    connect(trv->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CategoryTree::selectionMoved);
    createMenu();
}

CategoryTree::~CategoryTree()
{
    removeAll();
}

void CategoryTree::createMenu()
{
    tree = new QMenu(QStringLiteral("目录"), window_);
    tree->setObjectName(QStringLiteral("tree"));
    QAction *add = tree->addAction(QStringLiteral("添加分类"));
    add->setObjectName(QStringLiteral("addtree"));
    QAction *edit = tree->addAction(QStringLiteral("修改分类"));
    edit->setObjectName(QStringLiteral("EditTree"));
    QAction *del = tree->addAction(QStringLiteral("删除分类"));
    del->setObjectName(QStringLiteral("treedel"));
    connect(add, &QAction::triggered, this, &CategoryTree::addtree_Click);
    connect(edit, &QAction::triggered, this, &CategoryTree::EditTree_Click);
    connect(del, &QAction::triggered, this, &CategoryTree::treedel_Click);
}

void CategoryTree::reload()
{
    // Without the table the tree still has its root to act on.
    if (!trv->topLevelItemCount()) {
        trv->addTopLevelItem(newRoot());
        trv->topLevelItem(0)->setExpanded(true);
    }
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

void CategoryTree::LoadData()
{
    QString selectedKey;
    if (QTreeWidgetItem *node = selectedNode())
        selectedKey = node->data(0, Qt::UserRole).toString();
    // Built apart from the view and put in as a whole: the view then lays it
    // out once instead of once per node.
    removeAll();
    QTreeWidgetItem *root = newRoot();

    std::vector<varnel::CategoryRow> rows;
    for (; !varnel::DbRs->Eof(); varnel::DbRs->MoveNext())
        rows.push_back({varnel::DbRs->Field(0), varnel::DbRs->Field(1), varnel::DbRs->Field(2)});
    for (const varnel::CategoryPlacement &place : varnel::placeCategories(rows)) {
        if (place.topLevel)
            AddRootNode(varnel::kRootKey, place.key.mid(2), place.name);
        else
            AddChildNode(place.parentKey, place.key, place.name);
    }
    trv->addTopLevelItem(root);
    expandUpper(root);

    // The node selected before the rebuild stays selected; otherwise the root
    // is. A node below the expanded levels is selected where it is, without
    // opening the levels above it.
    QTreeWidgetItem *select = nodes_.value(selectedKey, root);
    highlighting_ = true;
    trv->setAutoScroll(false);
    trv->setCurrentItem(select);
    trv->setAutoScroll(true);
    highlighting_ = false;
    if (depthOf(select) <= kExpandedDepth)
        trv->scrollToItem(select);
}

// Every node is expanded, down to kExpandedDepth levels: the
// tree's layout goes once through each expanded level, so a chain of
// thousands of levels stays closed below that (each node is still reached by
// opening its parent). The nodes are reached by row, which costs the same for
// any number of siblings.
void CategoryTree::expandUpper(QTreeWidgetItem *root)
{
    const QAbstractItemModel *model = trv->model();
    std::vector<std::pair<QTreeWidgetItem *, QModelIndex>> pending{
        {root, model->index(trv->indexOfTopLevelItem(root), 0)}};
    while (!pending.empty()) {
        const auto [item, index] = pending.back();
        pending.pop_back();
        trv->expand(index);
        if (depthOf(item) + 1 >= kExpandedDepth)
            continue;
        for (int row = 0; row < item->childCount(); ++row)
            pending.emplace_back(item->child(row), model->index(row, 0, index));
    }
}

int CategoryTree::depthOf(const QTreeWidgetItem *node)
{
    return node->data(0, kDepthRole).toInt();
}

// Removes every node without the recursion of the tree's own clear(), which
// a chain of categories tens of thousands deep would overflow. Each step
// deletes a leaf that is its parent's first child, which costs the same
// whatever the shape.
void CategoryTree::removeAll()
{
    const bool wasHighlighting = std::exchange(highlighting_, true);
    std::vector<QTreeWidgetItem *> pending;
    while (trv->topLevelItemCount() > 0) {
        pending.push_back(trv->takeTopLevelItem(0));
        while (!pending.empty()) {
            QTreeWidgetItem *item = pending.back();
            if (item->childCount() > 0) {
                pending.push_back(item->child(0));
            } else {
                pending.pop_back();
                delete item;
            }
        }
    }
    nodes_.clear();
    highlighting_ = wasHighlighting;
}

QTreeWidgetItem *CategoryTree::newRoot()
{
    auto *root = new QTreeWidgetItem(QStringList{QStringLiteral("所有记事")});
    root->setToolTip(0, root->text(0));
    root->setData(0, Qt::UserRole, varnel::kRootKey);
    root->setData(0, kDepthRole, 0);
    nodes_.insert(varnel::kRootKey, root);
    return root;
}

void CategoryTree::AddRootNode(const QString &parentKey, const QString &id, const QString &name)
{
    AddChildNode(parentKey, QStringLiteral("K_") + id, name);
}

void CategoryTree::AddChildNode(const QString &parentKey, const QString &nodeKey,
                                const QString &name)
{
    QTreeWidgetItem *parent = nodes_.value(parentKey);
    if (!parent)
        parent = nodes_.value(varnel::kRootKey);
    if (!parent || nodes_.contains(nodeKey))
        return;
    auto *node = new QTreeWidgetItem(parent, {name});
    node->setData(0, Qt::UserRole, nodeKey);
    node->setData(0, kDepthRole, depthOf(parent) + 1);
    node->setIcon(0, icon_);
    node->setToolTip(0, name); // a long name or a deep level is cut in the tree
    if (node->treeWidget() && depthOf(node) < kExpandedDepth)
        node->setExpanded(true);
    nodes_.insert(nodeKey, node);
}

QTreeWidgetItem *CategoryTree::selectedNode() const
{
    return trv->selectedItems().value(0);
}

void CategoryTree::highlightRoot()
{
    if (QTreeWidgetItem *root = nodes_.value(varnel::kRootKey)) {
        highlighting_ = true;
        trv->setCurrentItem(root);
        highlighting_ = false;
    }
}

// A category reached with the arrow keys (or a drag) is chosen as a click
// chooses it, so the highlight is always the category new notes go to. The
// keyboard on "所有记事" lists every note; a click there changes nothing.
void CategoryTree::selectionMoved()
{
    QTreeWidgetItem *node = selectedNode();
    if (highlighting_ || !node)
        return;
    const bool byMouse = QGuiApplication::mouseButtons() != Qt::NoButton;
    qint64 category = 0;
    if (varnel::categoryNumber(node->data(0, Qt::UserRole).toString(), &category)) {
        appliedSincePress_ = byMouse;
        emit categoryChosen(category);
    } else if (!byMouse && node->data(0, Qt::UserRole).toString() == varnel::kRootKey) {
        emit allChosen();
    }
}

void CategoryTree::trv_Click()
{
    if (appliedSincePress_)
        return;
    QTreeWidgetItem *node = selectedNode();
    qint64 category = 0;
    if (!node || !varnel::categoryNumber(node->data(0, Qt::UserRole).toString(), &category))
        return; // the root, or nothing selected
    emit categoryChosen(category);
}

void CategoryTree::trv_MouseDown(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        tree->popup(event->globalPosition().toPoint());
}

void CategoryTree::addtree_Click()
{
    if (!selectedNode())
        return;
    const QString name = QInputDialog::getText(window_, QStringLiteral("增加分类"),
                                               QStringLiteral("请输入要增加分类:"));
    varnel::guarded(window_, [this, &name] {
        if (!name.isEmpty())
            notestore::addCategory(name);
        reload();
    });
}

void CategoryTree::EditTree_Click()
{
    QTreeWidgetItem *node = selectedNode();
    qint64 id = 0;
    if (!node || !varnel::categoryNumber(node->data(0, Qt::UserRole).toString(), &id))
        return; // the root has no row to rename
    const QString name = QInputDialog::getText(window_, QStringLiteral("修改分类"),
                                               QStringLiteral("请输入新的分类:"));
    // A category deleted meanwhile is said so once the tree shows it gone.
    std::optional<varnel::DbError> failure;
    try {
        if (!name.isEmpty())
            notestore::renameCategory(id, name);
    } catch (const varnel::DbError &e) {
        failure = e;
    }
    varnel::guarded(window_, [this] { reload(); });
    if (failure)
        varnel::reportFailure(window_, *failure);
}

void CategoryTree::treedel_Click()
{
    QTreeWidgetItem *node = selectedNode();
    qint64 id = 0;
    if (!node)
        return;
    const QString key = node->data(0, Qt::UserRole).toString();
    if (!varnel::categoryNumber(key, &id))
        return; // the root has no row to delete
    if (QMessageBox::question(window_, varnel::appTitle(), QStringLiteral("确定要删除该分类吗?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    node = selectedNode();
    if (!node || node->data(0, Qt::UserRole).toString() != key || node->childCount() > 0)
        return; // a category with sub-categories stays
    varnel::guarded(window_, [this, id] {
        notestore::deleteCategory(id);
        reload();
    });
}

bool CategoryTree::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == trv && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            appliedSincePress_ = false;
            trv_Click();
            return true;
        }
        return false;
    }
    if (watched == trv->viewport() && event->type() == QEvent::MouseButtonPress)
        appliedSincePress_ = false;
    if (watched == trv->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        // The menu acts on the selected node; the right button selects nothing.
        trv_MouseDown(static_cast<QMouseEvent *>(event));
        return true;
    }
    return QObject::eventFilter(watched, event);
}
