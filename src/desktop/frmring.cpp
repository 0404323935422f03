#include "frmring.h"

#include <QPointer>

FrmRing *FrmRing::showRing()
{
    static QPointer<FrmRing> ring;
    if (!ring)
        ring = new FrmRing;
    ring->show();
    return ring;
}

FrmRing::FrmRing(QWidget *parent) : QWidget(parent, Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(256, 158);
}
