#include "ctooltip.h"

#include <QWidget>

CTooltip::CTooltip(QObject *parent) : QObject(parent) {}
CTooltip::~CTooltip() { Destroy(); }
int CTooltip::Style() const { return style_; }
void CTooltip::setStyle(int style) { style_ = style; }
bool CTooltip::Centered() const { return centered_; }
void CTooltip::setCentered(bool centered) { centered_ = centered; }
void CTooltip::Create(QWidget *tool) { tool_ = tool; }
int CTooltip::Icon() const { return icon_; }
void CTooltip::setIcon(int icon) { icon_ = icon; }
quint32 CTooltip::ForeColor() const { return foreColor_; }
void CTooltip::setForeColor(quint32 colour) { foreColor_ = colour; }
QString CTooltip::Title() const { return title_; }
void CTooltip::setTitle(const QString &title) { title_ = title; }
quint32 CTooltip::BackColor() const { return backColor_; }
void CTooltip::setBackColor(quint32 colour) { backColor_ = colour; }
QString CTooltip::TipText() const { return tipText_; }
void CTooltip::setTipText(const QString &text) { tipText_ = text; }
void CTooltip::Destroy() { delete tip_.data(); }
int CTooltip::VisibleTime() const { return visibleTime_; }
void CTooltip::setVisibleTime(int ms) { visibleTime_ = ms; }
int CTooltip::DelayTime() const { return delayTime_; }
void CTooltip::setDelayTime(int ms) { delayTime_ = ms; }
QWidget *CTooltip::tipWindow() const { return tip_; }
