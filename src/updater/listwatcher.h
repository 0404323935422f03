#pragma once

#include <QObject>

class QAbstractItemView;

// Watches a list view for what moves its cells: scrolling (wheel, scroll
// bars), the navigation keys (Page Up/Down, Home, End, arrows) and column
// width changes. Each is reported by ListChanged once the list has handled
// it; several in one go are reported once.
class ListWatcher : public QObject
{
    Q_OBJECT
  public:
    explicit ListWatcher(QObject *parent = nullptr);

    // Starts watching list, its viewport, scroll bars and header.
    void setTargetWindow(QAbstractItemView *list);
    QAbstractItemView *targetWindow() const { return list_; }

  signals:
    void ListChanged();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void report();

    QAbstractItemView *list_ = nullptr;
    QObject *headerViewport_ = nullptr;
    bool pending_ = false;
};
