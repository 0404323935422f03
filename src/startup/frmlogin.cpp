#include "frmlogin.h"

#include "base/appinfo.h"
#include "base/appwindows.h"
#include "bannerview.h"
#include "store/database.h"
#include "gpublic.h"
#include "scramble.h"
#include "settingsrow.h"
#include "windowunload.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

using namespace varnel;

namespace
{

QPointer<frmLogin> g_login;

} // namespace

frmLogin::frmLogin(AppWindows *windows, QWidget *parent)
    : QWidget(parent), windows_(windows), BSE1(this)
{
    setAttribute(Qt::WA_DeleteOnClose);
    noteHomeLoop(this);
    setWindowTitle(QStringLiteral("用户登陆"));
    setFixedSize(twips(0, 0, 5625, 2775).size());
    createControls();
    Form_Load();
    g_login = this;
}

frmLogin::~frmLogin() = default;

frmLogin *frmLogin::instance()
{
    return isUnloading(g_login) ? nullptr : g_login.data();
}

void frmLogin::unloadIfLoaded()
{
    unloadWhenIdle(g_login);
}

void frmLogin::createControls()
{
    // Created in tab order: the password box comes first.
    txtPass = new QLineEdit(this);
    txtPass->setObjectName(QStringLiteral("txtPass"));
    txtPass->setEchoMode(QLineEdit::Password);
    txtPass->setGeometry(twips(1440, 240, 1335, 300));
    connect(txtPass, &QLineEdit::returnPressed, this, &frmLogin::txtPass_Enter);

    OK = new QPushButton(QStringLiteral("登录"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(twips(2880, 230, 615, 300));
    connect(OK, &QPushButton::clicked, this, &frmLogin::OK_Click);

    Command1 = new QPushButton(QStringLiteral("免费注册会员"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(3600, 240, 1815, 300));
    connect(Command1, &QPushButton::clicked, this, &frmLogin::Command1_Click);

    Label3 = new QLabel(QStringLiteral("请输入开机密码"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twips(120, 240, 1260, 225));

    brwWebBrowser = new BannerView(this);
    brwWebBrowser->setObjectName(QStringLiteral("brwWebBrowser"));
    brwWebBrowser->setGeometry(twips(120, 720, 5385, 1935));
    brwWebBrowser->setFocusPolicy(Qt::NoFocus);
}

void frmLogin::Form_Load()
{
    BSE1.setSkinLevel(1);
    BSE1.prepare();
    BSE1.apply();
    setWindowTitle(versionText());
    txtPass->setFocus();
}

void frmLogin::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!bannerRequested_) { // the banner loads once per load of the window
        bannerRequested_ = true;
        brwWebBrowser->navigate(QUrl(siteUrl(QStringLiteral("/Varnelsoft.html"))));
    }
}

void frmLogin::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted() && !loggedIn_)
        emit closedWithoutLogin();
}

void frmLogin::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, formBackground());
}

void frmLogin::OK_Click()
{
    checkPassword(true);
}

void frmLogin::txtPass_Enter()
{
    checkPassword(false);
}

void frmLogin::Command1_Click()
{
    QDesktopServices::openUrl(QUrl(siteUrl(QStringLiteral("/r.php"))));
}

void frmLogin::checkPassword(bool trayShown)
{
    QString stored;
    try {
        const auto row = readSettingsRow();
        if (!row)
            throw DbError(DbError::Failed, 0, missingSettingsRowText());
        stored = storedPasswordOf(row->pass);
    } catch (const DbError &e) {
        showDbError(this, e);
        return;
    }
    // Exact comparison: whatever the settings window stored, spaces included,
    // can be typed here again.
    if (!PasswordMatches(txtPass->text(), stored)) {
        txtPass->setFocus();
        QMessageBox::warning(this, QStringLiteral("错误提示"), QStringLiteral("密码错误！"));
        return;
    }
    loggedIn_ = true;
    AppWindows *windows = windows_ ? windows_ : AppWindows::current();
    const QPointer<frmLogin> self(this);
    if (windows) {
        windows->showMainWindow();
        windows->loadTray(trayShown);
    }
    if (self)
        close();
}
