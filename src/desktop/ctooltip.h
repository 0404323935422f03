#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class BalloonTip;
class QWidget;

// A tip window for one tool widget, optionally drawn as a balloon with a
// title and an icon. Properties may be set before the tip exists; Create
// builds it from them, and later changes reach a live tip where they can.
class CTooltip : public QObject
{
    Q_OBJECT
  public:
    explicit CTooltip(QObject *parent = nullptr);
    ~CTooltip() override; // destroys the tip

    int Style() const; // 1 = balloon, anything else = plain
    void setStyle(int style);
    bool Centered() const;
    void setCentered(bool centered);
    void Create(QWidget *tool); // builds the tip for this tool widget
    int Icon() const;           // 0 none, 1 information, 2 warning, 3 error
    void setIcon(int icon);
    quint32 ForeColor() const; // 0x00BBGGRR; 0 = the default colour
    void setForeColor(quint32 colour);
    QString Title() const;
    void setTitle(const QString &title);
    quint32 BackColor() const; // 0x00BBGGRR; 0 = the default colour
    void setBackColor(quint32 colour);
    QString TipText() const;
    void setTipText(const QString &text);
    void Destroy();          // removes the tip; harmless when there is none
    int VisibleTime() const; // ms the tip stays up (5000)
    void setVisibleTime(int ms);
    int DelayTime() const; // ms before the tip shows (100)
    void setDelayTime(int ms);

    QWidget *tipWindow() const; // the live tip (a BalloonTip), or null

  private:
    BalloonTip *liveTip() const;
    void passTitle();

    quint32 backColor_ = 0;
    QString title_;
    quint32 foreColor_ = 0;
    int icon_ = 0;
    bool centered_ = false;
    int style_ = 0;
    QString tipText_;
    int visibleTime_ = 5000;
    int delayTime_ = 100;
    QPointer<QWidget> tip_;
    QPointer<QWidget> tool_;
};
