#include "frmring.h"

#include "desktopart.h"
#include "ringslide.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>

using namespace varnel::ring;

namespace
{
constexpr int kWidthTwips = 3840;
constexpr int kHeightTwips = 2370;
constexpr QRect kLabel1Twips(3360, 0, 375, 375);

QRect toPixels(const QRect &twips)
{
    return QRect(varnel::ring::toPixels(twips.x()), varnel::ring::toPixels(twips.y()),
                 varnel::ring::toPixels(twips.width()), varnel::ring::toPixels(twips.height()));
}
} // namespace

FrmRing *FrmRing::showRing()
{
    static QPointer<FrmRing> ring;
    if (!ring)
        ring = new FrmRing;
    ring->show();
    return ring;
}

// The pop-up places itself, so no window manager may place it: weston's
// XWayland manager, for one, keeps a managed window where it first put it
// and ignores every move the slide-in and the drag make. Bypassed, it is an
// X11 override-redirect window, which every X server and XWayland shows
// where it asks to be; clicks and presses reach it as before.
FrmRing::FrmRing(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
{
    setObjectName(QStringLiteral("FrmRing"));
    setWindowTitle(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(varnel::ring::toPixels(kWidthTwips), varnel::ring::toPixels(kHeightTwips));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    createLabel1();
    createTimer1();
    Form_Load();
}

void FrmRing::createLabel1()
{
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(toPixels(kLabel1Twips));
    Label1->setFrameShape(QFrame::NoFrame);
    Label1->installEventFilter(this);
}

void FrmRing::createTimer1()
{
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &FrmRing::Timer1_Timer);
    Timer1->start();
}

bool FrmRing::isSliding() const
{
    return Timer1->isActive();
}

QRect FrmRing::screenGeometry() const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

void FrmRing::Form_Load()
{
    const QPoint start = startPosition(screenGeometry(), kWidthTwips);
    moveToTwips(start.x(), start.y());
}

void FrmRing::Timer1_Timer()
{
    const Step step = nextStep(top_, screenGeometry(), kHeightTwips);
    moveToTwips(left_, step.top);
    if (step.done)
        Timer1->stop();
}

void FrmRing::moveToTwips(int left, int top)
{
    left_ = left;
    top_ = top;
    move(varnel::ring::toPixels(left), varnel::ring::toPixels(top));
}

void FrmRing::paintEvent(QPaintEvent *)
{
    static const QPixmap face = varnel::ringFace(size());
    QPainter(this).drawPixmap(0, 0, face);
}

void FrmRing::mousePressEvent(QMouseEvent *event)
{
    const QPoint local = event->position().toPoint();
    dragOrigin_ = QPoint(toTwips(local.x()), toTwips(local.y()));
}

void FrmRing::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::LeftButton)
        return;
    // The window follows the pointer, the grabbed spot staying under it.
    // Working from the global position keeps this right while a window
    // manager is still catching up with the previous move.
    const QPoint global = event->globalPosition().toPoint();
    moveToTwips(toTwips(global.x()) - dragOrigin_.x(), toTwips(global.y()) - dragOrigin_.y());
}

bool FrmRing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Label1)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        Label1->setFrameShape(QFrame::Box); // pressed look
        return true;
    case QEvent::MouseMove:
        // Moves after a press on the close spot belong to the spot: the
        // window is dragged only from its background.
        return true;
    case QEvent::MouseButtonRelease: {
        Label1->setFrameShape(QFrame::NoFrame);
        const auto *release = static_cast<QMouseEvent *>(event);
        if (release->button() == Qt::LeftButton &&
            Label1->rect().contains(release->position().toPoint()))
            close(); // unloads: the pop-up deletes itself on close
        return true;
    }
    default:
        return false;
    }
}
