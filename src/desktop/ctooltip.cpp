#include "ctooltip.h"

#include "balloontip.h"

#include <QWidget>

namespace
{

// 0x00BBGGRR; 0 stands for the desktop's own tooltip colour.
QColor toColour(quint32 colour)
{
    if (colour == 0)
        return {};
    return QColor(int(colour & 0xff), int((colour >> 8) & 0xff), int((colour >> 16) & 0xff));
}

} // namespace

CTooltip::CTooltip(QObject *parent) : QObject(parent) {}

CTooltip::~CTooltip()
{
    Destroy();
}

BalloonTip *CTooltip::liveTip() const
{
    return qobject_cast<BalloonTip *>(tip_.data());
}

int CTooltip::Style() const
{
    return style_;
}

void CTooltip::setStyle(int style)
{
    style_ = style;
}

bool CTooltip::Centered() const
{
    return centered_;
}

void CTooltip::setCentered(bool centered)
{
    centered_ = centered;
}

void CTooltip::Create(QWidget *tool)
{
    Destroy();
    tool_ = tool;
    if (!tool)
        return; // nothing to watch: no working tip
    auto *tip = new BalloonTip(tool, style_ == 1, centered_);
    tip_ = tip;
    tip->setText(tipText_);
    if (!title_.isEmpty() || icon_ != 0)
        tip->setTitle(icon_, title_);
    if (foreColor_ != 0)
        tip->setTextColor(toColour(foreColor_));
    if (backColor_ != 0)
        tip->setBackgroundColor(toColour(backColor_));
    tip->setTimes(visibleTime_, delayTime_);
}

void CTooltip::passTitle()
{
    // A live tip only takes a title together with an icon.
    if (BalloonTip *tip = liveTip(); tip && !title_.isEmpty() && icon_ != 0)
        tip->setTitle(icon_, title_);
}

int CTooltip::Icon() const
{
    return icon_;
}

void CTooltip::setIcon(int icon)
{
    icon_ = icon;
    passTitle();
}

quint32 CTooltip::ForeColor() const
{
    return foreColor_;
}

void CTooltip::setForeColor(quint32 colour)
{
    foreColor_ = colour;
    if (BalloonTip *tip = liveTip())
        tip->setTextColor(toColour(colour));
}

QString CTooltip::Title() const
{
    return title_;
}

void CTooltip::setTitle(const QString &title)
{
    title_ = title;
    passTitle();
}

quint32 CTooltip::BackColor() const
{
    return backColor_;
}

void CTooltip::setBackColor(quint32 colour)
{
    backColor_ = colour;
    if (BalloonTip *tip = liveTip())
        tip->setBackgroundColor(toColour(colour));
}

QString CTooltip::TipText() const
{
    return tipText_;
}

void CTooltip::setTipText(const QString &text)
{
    tipText_ = text;
    if (BalloonTip *tip = liveTip())
        tip->setText(text);
}

void CTooltip::Destroy()
{
    delete tip_.data();
    tip_ = nullptr;
}

int CTooltip::VisibleTime() const
{
    return visibleTime_;
}

void CTooltip::setVisibleTime(int ms)
{
    visibleTime_ = ms;
}

int CTooltip::DelayTime() const
{
    return delayTime_;
}

void CTooltip::setDelayTime(int ms)
{
    delayTime_ = ms;
}

QWidget *CTooltip::tipWindow() const
{
    return tip_;
}
