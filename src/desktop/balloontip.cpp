#include "balloontip.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QToolTip>

namespace
{
constexpr int kStem = 12;    // height of the balloon's pointer
constexpr int kStemHalf = 8; // half its width at the base
constexpr int kRadius = 8;
constexpr int kIconSize = 16;
constexpr int kMaxTextWidth = 400;
constexpr int kCursorGap = 20; // room below the pointer for the cursor itself

QStyle::StandardPixmap standardIcon(int icon)
{
    switch (icon) {
    case 2:
        return QStyle::SP_MessageBoxWarning;
    case 3:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

bool hasIcon(int icon)
{
    return icon >= 1 && icon <= 3;
}
} // namespace

BalloonTip::BalloonTip(QWidget *tool, bool balloon, bool centered)
    : QWidget(tool, Qt::ToolTip | Qt::FramelessWindowHint), tool_(tool), balloon_(balloon),
      centered_(centered)
{
    setObjectName(QStringLiteral("BalloonTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    delay_.setSingleShot(true);
    autoPop_.setSingleShot(true);
    connect(&delay_, &QTimer::timeout, this, &BalloonTip::popUp);
    connect(&autoPop_, &QTimer::timeout, this, [this] { dismiss(true); });
    if (tool_)
        tool_->installEventFilter(this);
}

void BalloonTip::setTitle(int icon, const QString &title)
{
    icon_ = icon;
    title_ = title;
    if (isVisible())
        place(target_);
}

void BalloonTip::setText(const QString &text)
{
    text_ = text;
    if (text_.isEmpty())
        dismiss(false);
    else if (isVisible())
        place(target_);
}

void BalloonTip::setTextColor(const QColor &colour)
{
    textColour_ = colour;
    update();
}

void BalloonTip::setBackgroundColor(const QColor &colour)
{
    backColour_ = colour;
    update();
}

void BalloonTip::setTimes(int visibleMs, int delayMs)
{
    visibleMs_ = qMax(0, visibleMs);
    delayMs_ = qMax(0, delayMs);
}

bool BalloonTip::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != tool_)
        return false;
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::MouseMove:
        pointerRests();
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
    case QEvent::Hide:
        dismiss(false);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        dismiss(true);
        break;
    default:
        break;
    }
    return false;
}

void BalloonTip::pointerRests()
{
    if (isVisible() || waitForLeave_ || text_.isEmpty())
        return;
    delay_.start(delayMs_); // restarts while the pointer keeps moving
}

void BalloonTip::popUp()
{
    if (!tool_ || !tool_->isVisible() || text_.isEmpty())
        return;
    const QPoint target = centered_
                              ? tool_->mapToGlobal(QPoint(tool_->width() / 2, tool_->height()))
                              : QCursor::pos() + QPoint(0, kCursorGap);
    target_ = target;
    place(target);
    show();
    raise();
    waitForLeave_ = true;
    autoPop_.start(visibleMs_);
}

void BalloonTip::dismiss(bool untilLeave)
{
    delay_.stop();
    autoPop_.stop();
    hide();
    waitForLeave_ = untilLeave;
}

BalloonTip::Layout BalloonTip::layout() const
{
    const int margin = balloon_ ? 10 : 4;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics titleMetrics(bold);
    const QFontMetrics textMetrics(font());

    Layout l;
    int width = 0;
    int y = margin;
    if (!title_.isEmpty() || hasIcon(icon_)) {
        int x = margin;
        const int height = qMax(hasIcon(icon_) ? kIconSize : 0, titleMetrics.height());
        if (hasIcon(icon_)) {
            l.icon = QRect(x, y + (height - kIconSize) / 2, kIconSize, kIconSize);
            x += kIconSize + 6;
        }
        l.title = QRect(x, y, titleMetrics.horizontalAdvance(title_), height);
        width = l.title.right() + 1 - margin;
        y += height + 4;
    }
    const QRect textBox =
        textMetrics.boundingRect(QRect(0, 0, kMaxTextWidth, 10000), Qt::TextWordWrap, text_);
    l.text = QRect(margin, y, textBox.width(), textBox.height());
    width = qMax(width, textBox.width());
    l.body = QSize(width + 2 * margin, y + textBox.height() + margin);
    return l;
}

void BalloonTip::place(const QPoint &target)
{
    const Layout l = layout();
    const int stem = balloon_ ? kStem : 0;
    const QSize size(l.body.width(), l.body.height() + stem);
    QScreen *screen = QGuiApplication::screenAt(target);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(target, size);

    // Below the target when there is room, otherwise above it.
    stemUp_ =
        target.y() + size.height() <= area.bottom() + 1 || target.y() - size.height() < area.top();
    int y = stemUp_ ? target.y() : target.y() - size.height() - (balloon_ ? 0 : kCursorGap);
    int x = centered_ ? target.x() - size.width() / 2 : target.x() - (balloon_ ? 2 * kStemHalf : 0);
    x = qBound(area.left(), x, qMax(area.left(), area.right() + 1 - size.width()));
    y = qBound(area.top(), y, qMax(area.top(), area.bottom() + 1 - size.height()));
    stemX_ = qBound(kRadius + kStemHalf, target.x() - x, size.width() - kRadius - kStemHalf);

    resize(size);
    move(x, y);
    if (balloon_)
        setMask(QRegion(outline().toFillPolygon().toPolygon()));
    else
        clearMask();
    update();
}

QPainterPath BalloonTip::outline() const
{
    QPainterPath path;
    if (!balloon_) {
        path.addRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        return path;
    }
    const QRectF body = stemUp_ ? QRectF(0.5, kStem + 0.5, width() - 1, height() - kStem - 1)
                                : QRectF(0.5, 0.5, width() - 1, height() - kStem - 1);
    path.addRoundedRect(body, kRadius, kRadius);
    QPainterPath stem;
    if (stemUp_) {
        stem.moveTo(stemX_ - kStemHalf, body.top() + 1);
        stem.lineTo(stemX_, 0.5);
        stem.lineTo(stemX_ + kStemHalf, body.top() + 1);
    } else {
        stem.moveTo(stemX_ - kStemHalf, body.bottom() - 1);
        stem.lineTo(stemX_, height() - 0.5);
        stem.lineTo(stemX_ + kStemHalf, body.bottom() - 1);
    }
    stem.closeSubpath();
    return path.united(stem);
}

QColor BalloonTip::effectiveText() const
{
    return textColour_.isValid() ? textColour_ : QToolTip::palette().color(QPalette::ToolTipText);
}

QColor BalloonTip::effectiveBack() const
{
    return backColour_.isValid() ? backColour_ : QToolTip::palette().color(QPalette::ToolTipBase);
}

void BalloonTip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(effectiveText().lighter(150), 1));
    p.setBrush(effectiveBack());
    p.drawPath(outline());

    const Layout l = layout();
    const int shift = balloon_ && stemUp_ ? kStem : 0;
    if (hasIcon(icon_)) {
        const QIcon icon = style()->standardIcon(standardIcon(icon_), nullptr, this);
        icon.paint(&p, l.icon.translated(0, shift));
    }
    p.setPen(effectiveText());
    if (!title_.isEmpty()) {
        QFont bold = font();
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(l.title.translated(0, shift), Qt::AlignLeft | Qt::AlignVCenter, title_);
        p.setFont(font());
    }
    p.drawText(l.text.translated(0, shift), Qt::TextWordWrap, text_);
}
