#include "categorytree.h"

#include "appinfo.h"
#include "categoryplan.h"
#include "database.h"
#include "formcontrols.h"
#include "notelistmodel.h"
#include "notestore.h"
#include "windowguard.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTreeWidget>

#include <vector>

using varnel::px;
namespace notestore = varnel::notestore;

CategoryTree::CategoryTree(QWidget *window) : QObject(window), window_(window)
{
    trv = new QTreeWidget(window);
    trv->setObjectName(QStringLiteral("trv"));
    trv->setGeometry(px(840), px(3600), px(1455), px(2460));
    trv->setHeaderHidden(true);
    trv->setColumnCount(1);
    trv->setIndentation(14);
    trv->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    trv->header()->setStretchLastSection(false);
    trv->viewport()->installEventFilter(this);
    connect(trv, &QTreeWidget::clicked, this, &CategoryTree::trv_Click);
    createMenu();
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
    if (!trv->topLevelItemCount())
        addRoot();
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
    QTreeWidgetItem *root = addRoot();

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

QTreeWidgetItem *CategoryTree::addRoot()
{
    trv->clear();
    nodes_.clear();
    auto *root = new QTreeWidgetItem(trv, {QStringLiteral("所有记事")});
    root->setData(0, Qt::UserRole, varnel::kRootKey);
    root->setExpanded(true);
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
    node->setIcon(0, varnel::listPicture(2));
    node->setExpanded(true);
    nodes_.insert(nodeKey, node);
}

QTreeWidgetItem *CategoryTree::selectedNode() const
{
    return trv->selectedItems().value(0);
}

void CategoryTree::trv_Click()
{
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
    varnel::guarded(window_, [this, &name, id] {
        if (!name.isEmpty())
            notestore::renameCategory(id, name);
        reload();
    });
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
    if (watched == trv->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        // The menu acts on the selected node; the right button selects nothing.
        trv_MouseDown(static_cast<QMouseEvent *>(event));
        return true;
    }
    return QObject::eventFilter(watched, event);
}
