#pragma once

#include "notestore.h"

#include <QObject>

#include <functional>

class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

// The note editor of the notes window: title "Text1", body "Text2", the
// loaded note's id "Text3" and time "Text4", the buttons "保存", "新建",
// "修改", "删除", "完成", "大窗"/"小窗", F1 in the boxes, and the "saved"
// bubble "pao1".
class NoteEditor : public QObject
{
    Q_OBJECT
  public:
    // What the editor needs of the rest of the window.
    struct Hooks {
        std::function<qint64()> category;  // the current category number
        std::function<void()> relist;      // lists every note again (Note_R)
        std::function<void()> clearSearch; // empties the search box (its search runs)
    };

    NoteEditor(QWidget *window, Hooks hooks);

    enum class State { Blank, Loaded, Changed };
    void setState(State state);
    // Loads a note of the list into the boxes; false when its body could not be read.
    bool open(const varnel::NoteRow &row);
    void hideBubble();
    // The id of the note in the boxes, 0 when none is loaded.
    qint64 noteId() const;
    // What the keys of the window do: save or change as F1 does, start a
    // new note (the title box takes the keyboard), delete the loaded note
    // (asking first, as "删除" does).
    void saveOrChange();
    void newNote();
    void deleteLoaded();
    void focusTitle();
    // The large content box ends above y = bottom (the help and count line).
    void setLowestBottom(int bottom) { lowest_ = bottom; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void createBoxes();
    void createButtons();
    void createBubble();
    void clear();
    QString body() const;
    bool cmd_add_Click();
    void Quxiao_Click();
    bool cmd_edit_Click();
    void cmd_ok_Click();
    void cmd_del_Click();
    void cmd_change_Click();
    void cmd_change2_Click();
    void keyUp(QKeyEvent *event);
    void showSavedBubble(const QString &text);

    QWidget *window_;
    Hooks hooks_;
    int lowest_ = 1 << 20;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLabel *Label2 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *cmd_add = nullptr;
    QPushButton *Quxiao = nullptr;
    QPushButton *cmd_edit = nullptr;
    QPushButton *cmd_del = nullptr;
    QPushButton *cmd_change = nullptr;
    QPushButton *cmd_change2 = nullptr;
    QPushButton *cmd_ok = nullptr;
    QFrame *pao1 = nullptr;
    QLabel *lab_pao1 = nullptr;
    QTimer *tm_pao1 = nullptr;
};
