#pragma once

#include <QObject>

#include <functional>

class QWidget;

// The keys of the notes window beside F1: Ctrl+S saves or changes (as F1
// does), Ctrl+N starts a new note, Ctrl+F goes to the search box, Esc hides
// the window as "隐藏" does. Delete in the note list is the list's own.
class WindowKeys : public QObject
{
    Q_OBJECT
  public:
    struct Actions {
        std::function<void()> save;
        std::function<void()> newNote;
        std::function<void()> search;
        std::function<void()> hide;
    };
    WindowKeys(QWidget *window, Actions actions);

    // The buttons' tips name their keys.
    static void describe(QWidget *window);
};
