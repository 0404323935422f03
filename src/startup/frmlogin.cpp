#include "frmlogin.h"

#include <QPointer>

namespace {
QPointer<frmLogin> g_login;
}

frmLogin::frmLogin(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    g_login = this;
}

frmLogin::~frmLogin() = default;

frmLogin *frmLogin::instance() { return g_login; }

void frmLogin::unloadIfLoaded() { delete g_login.data(); }
