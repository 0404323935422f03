#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;
class QMouseEvent;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The category tree "trv" of the notes window with its menu "目录": built
// from the category table under the root "所有记事", a left click on a
// category chooses it, and the menu adds, renames and deletes categories.
class CategoryTree : public QObject
{
    Q_OBJECT
  public:
    explicit CategoryTree(QWidget *window);
    ~CategoryTree() override;

    // Rebuilds the tree from the rows DbRs holds ("select * from 分类").
    void LoadData();
    void AddRootNode(const QString &parentKey, const QString &id, const QString &name);
    void AddChildNode(const QString &parentKey, const QString &nodeKey, const QString &name);
    // Reads the category table and rebuilds the tree (throws DbError).
    void reload();

    QTreeWidget *view() const { return trv; }

  signals:
    // A category was clicked: its number (never the root).
    void categoryChosen(qint64 category);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void createMenu();
    QTreeWidgetItem *newRoot(); // "所有记事", not yet in the view
    void expandUpper(QTreeWidgetItem *root);
    void removeAll();
    static int depthOf(const QTreeWidgetItem *node);
    static constexpr int kDepthRole = Qt::UserRole + 1;
    static constexpr int kExpandedDepth = 32;
    QTreeWidgetItem *selectedNode() const;
    void trv_Click();
    void trv_MouseDown(QMouseEvent *event);
    void addtree_Click();
    void EditTree_Click();
    void treedel_Click();

    QWidget *window_;
    QTreeWidget *trv = nullptr;
    QMenu *tree = nullptr;
    QHash<QString, QTreeWidgetItem *> nodes_;
    QIcon icon_;
};
