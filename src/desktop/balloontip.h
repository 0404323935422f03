#pragma once

#include <QColor>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

// The window behind a CTooltip: a small frameless tip for one tool widget,
// drawn as a balloon (rounded, with a pointer) or as a plain rectangle, with
// an optional bold title and a standard icon above the text. It watches the
// tool itself: it shows once the pointer has rested on the tool for the delay
// time and goes away after the visible time, on a click or when the pointer
// leaves. What it shows is exactly what was last applied to it.
class BalloonTip : public QWidget
{
    Q_OBJECT
  public:
    BalloonTip(QWidget *tool, bool balloon, bool centered);

    // icon: 0 none, 1 information, 2 warning, 3 error.
    void setTitle(int icon, const QString &title);
    void setText(const QString &text);
    // An invalid colour stands for the desktop's tooltip colour.
    void setTextColor(const QColor &colour);
    void setBackgroundColor(const QColor &colour);
    void setTimes(int visibleMs, int delayMs);

    QString title() const { return title_; }
    int titleIcon() const { return icon_; }
    QString text() const { return text_; }
    QColor textColor() const { return textColour_; }
    QColor backgroundColor() const { return backColour_; }
    bool isBalloon() const { return balloon_; }
    bool isCentered() const { return centered_; }
    int visibleTime() const { return visibleMs_; }
    int delayTime() const { return delayMs_; }
    QWidget *tool() const { return tool_; }
    bool isPending() const { return delay_.isActive(); } // waiting to show

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    struct Layout {
        QSize body; // the rounded or plain box
        QRect icon; // inside the body
        QRect title;
        QRect text;
    };

    void pointerRests();
    void popUp();
    void dismiss(bool untilLeave);
    Layout layout() const;
    void place(const QPoint &target);
    QPainterPath outline() const;
    QColor effectiveText() const;
    QColor effectiveBack() const;

    QPointer<QWidget> tool_;
    bool balloon_;
    bool centered_;
    QString title_;
    int icon_ = 0;
    QString text_;
    QColor textColour_;
    QColor backColour_;
    int visibleMs_ = 5000;
    int delayMs_ = 100;

    QTimer delay_;
    QTimer autoPop_;
    bool waitForLeave_ = false; // shown or clicked away: not again until the pointer leaves
    bool stemUp_ = true;        // balloon below its target, pointer on top
    int stemX_ = 0;             // the pointer's x inside the widget
    QPoint target_;             // what the pointer points at, global
};
