#include "frmminbook.h"

#include "appinfo.h"

FrmMinBook::FrmMinBook(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmMinBook"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(varnel::versionText());
    setFixedSize(455, 418);
}
