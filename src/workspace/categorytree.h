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
    // Highlights "所有记事" (the list shows notes of every category).
    void highlightRoot();

  signals:
    // A category was clicked or reached by the keyboard: its number (never the root).
    void categoryChosen(qint64 category);
    // The keyboard reached "所有记事".
    void allChosen();

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
    void selectionMoved();
    void trv_MouseDown(QMouseEvent *event);
    void addtree_Click();
    void EditTree_Click();
    void treedel_Click();

    QWidget *window_;
    QTreeWidget *trv = nullptr;
    QMenu *tree = nullptr;
    QHash<QString, QTreeWidgetItem *> nodes_;
    QIcon icon_;
    bool highlighting_ = false;      // the window moves the highlight, not the user
    bool appliedSincePress_ = false; // the press of the current click chose its node
};
