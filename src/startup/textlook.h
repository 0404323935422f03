#pragma once

#include <QObject>

class QApplication;
class QMessageBox;

namespace varnel
{

// The program's fonts: the desktop's own for Latin text, WenQuanYi for
// Chinese (as the windows are laid out for it), then Noto CJK for the rarer
// ideographs (Extension A and B, such as 㐀 and 𠮷), HanaMin for the
// Extension B ideographs Noto lacks, and Noto Color Emoji, so that no
// character a user types shows as a box. Also widens the message boxes
// (below).
void useReadableText(QApplication &app);

// Makes every message box of the program at least as wide as its title needs
// in the window manager's title bar (with its buttons), so "错误提示" does not
// come out as "错…".
class MessageBoxWidths : public QObject
{
    Q_OBJECT
  public:
    explicit MessageBoxWidths(QObject *parent = nullptr);
    // The width a box with this title needs.
    static int widthFor(const QMessageBox *box);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    static void widen(QMessageBox *box);
};

} // namespace varnel
