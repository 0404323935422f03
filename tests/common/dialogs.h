#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

// Answers the modal dialogs a test provokes. Arm it before the action that
// opens a dialog; it polls for the active modal widget, records what it saw
// and answers it.
class DialogAnswerer
{
  public:
    struct Seen {
        QString title;
        QString text;
        QString kind; // "message" or "input"
        int icon = 0; // QMessageBox::Icon for message boxes
    };

    // Answers the next message box with the given button.
    void answerMessage(QMessageBox::StandardButton button);
    // Answers the next input dialog with text (accepted) or cancels it.
    void answerInput(const QString &text, bool accept = true);

    const QList<Seen> &seen() const { return seen_; }
    Seen last() const { return seen_.isEmpty() ? Seen() : seen_.last(); }
    void clear() { seen_.clear(); }

  private:
    void arm(std::function<bool(QWidget *)> answer);
    QList<Seen> seen_;
    // The timers of answers not given yet: they go with the answerer, so none
    // outlives it (and the test's `this` it calls back into).
    std::unique_ptr<QObject> timers_ = std::make_unique<QObject>();
};
