#include "textlook.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QMessageBox>

namespace varnel
{

void useReadableText(QApplication &app)
{
    QFont font = QApplication::font();
    QStringList families{font.family()};
    for (const char *family :
         {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "HanaMinA", "HanaMinB", "Noto Color Emoji"})
        families << QString::fromLatin1(family);
    font.setFamilies(families);
    QApplication::setFont(font);
    app.installEventFilter(new MessageBoxWidths(&app));
}

MessageBoxWidths::MessageBoxWidths(QObject *parent) : QObject(parent) {}

int MessageBoxWidths::widthFor(const QMessageBox *box)
{
    // Title bars set their text larger and bold, and carry an icon and up to
    // four buttons beside it.
    QFont title = box->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() > 0 ? title.pointSizeF() * 1.1 : 11);
    constexpr int kDecorations = 120;
    return QFontMetrics(title).horizontalAdvance(box->windowTitle()) + kDecorations;
}

// A box sizes itself as it is shown, just before the window manager maps it
// (after the Show event, which comes first), and again when its contents
// change; each time the size is widened where the title needs more. Widened
// already at the Show event, the box's own sizing is always a change of
// size, which comes back here.
bool MessageBoxWidths::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() != QEvent::Resize && event->type() != QEvent::Show) ||
        !watched->isWidgetType())
        return false;
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (box && (event->type() == QEvent::Show || box->isVisible()))
        widen(box);
    return false;
}

void MessageBoxWidths::widen(QMessageBox *box)
{
    const int wanted = widthFor(box);
    if (box->width() >= wanted)
        return;
    if (box->maximumWidth() < QWIDGETSIZE_MAX)
        box->setFixedWidth(wanted); // sends another resize, which then fits
    else
        box->resize(wanted, box->height());
}

} // namespace varnel
