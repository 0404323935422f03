#include "frmmmxg.h"

#include "autostart.h"
#include "store/database.h"
#include "gpublic.h"
#include "scramble.h"
#include "settingsrow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

using namespace varnel;

namespace
{

const QString kAutostartTitle = QStringLiteral("Varnel软件");

} // namespace

frmMMXG::frmMMXG(QWidget *parent) : QDialog(parent), autostart_(Autostart::create()), BSE1(this)
{
    setWindowTitle(QStringLiteral("Varnel设置"));
    prepareWhiteMask(this); // the autostart buttons mask its white parts
    setFixedSize(twips(0, 0, 3240, 2160).size());
    createControls();
    Form_Load();
}

frmMMXG::~frmMMXG() = default;

void frmMMXG::createControls()
{
    createPasswordControls();
    createAutostartControls();
}

void frmMMXG::createPasswordControls()
{
    const QString captions[2] = {QStringLiteral("新  密  码"), QStringLiteral("确定密码")};
    const int tops[2] = {150, 630};
    for (int i = 0; i < 2; ++i) {
        Label1[i] = new QLabel(captions[i], this);
        Label1[i]->setObjectName(QStringLiteral("Label1_%1").arg(i));
        Label1[i]->setGeometry(twips(120, tops[i], 855, 255));
    }
    txtXMM = new QLineEdit(this);
    txtXMM->setObjectName(QStringLiteral("txtXMM"));
    txtXMM->setEchoMode(QLineEdit::Password);
    txtXMM->setGeometry(twips(1080, 120, 1935, 345));

    txtQDMM = new QLineEdit(this);
    txtQDMM->setObjectName(QStringLiteral("txtQDMM"));
    txtQDMM->setEchoMode(QLineEdit::Password);
    txtQDMM->setGeometry(twips(1080, 600, 1935, 345));

    cmdQDXG = new QPushButton(QStringLiteral("密码修改"), this);
    cmdQDXG->setObjectName(QStringLiteral("cmdQDXG"));
    cmdQDXG->setGeometry(twips(1080, 1080, 1095, 375));
    cmdQDXG->setAutoDefault(false);
    connect(cmdQDXG, &QPushButton::clicked, this, &frmMMXG::cmdQDXG_Click);
}

void frmMMXG::createAutostartControls()
{
    Label2 = new QLabel(QStringLiteral("开机自动开启"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips(120, 1680, 1080, 225));

    // Two boxes on one spot: the user sees one box whose tick is the state.
    Command1 = new QCheckBox(this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setChecked(false);
    Command1->setGeometry(twips(1240, 1680, 188, 220));
    connect(Command1, &QCheckBox::clicked, this, &frmMMXG::Command1_Click);

    Command2 = new QCheckBox(this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setChecked(true);
    Command2->setGeometry(twips(1240, 1680, 188, 220));
    connect(Command2, &QCheckBox::clicked, this, &frmMMXG::Command2_Click);
}

void frmMMXG::Form_Load()
{
    bool on = false;
    try {
        const auto row = readSettingsRow();
        if (!row)
            throw DbError(DbError::Failed, 0, missingSettingsRowText());
        on = startModeOf(row->autoStart) == 1;
    } catch (const DbError &e) {
        showDbError(this, e);
        // Without the settings there is nothing this window can show or change.
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    }
    showAutostartState(on);
    BSE1.setSkinLevel(1);
    BSE1.prepare();
    BSE1.apply();
    // The design spot is a little narrower than the skinned box: grow it to
    // the right so that the box is drawn whole.
    for (QCheckBox *box : {Command1, Command2})
        box->resize(box->size().expandedTo(box->sizeHint()));
}

void frmMMXG::showAutostartState(bool on)
{
    Command1->setChecked(false);
    Command2->setChecked(true);
    Command1->setVisible(!on);
    Command2->setVisible(on);
}

void frmMMXG::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, formBackground());
}

void frmMMXG::cmdQDXG_Click()
{
    if (txtXMM->text() != txtQDMM->text()) {
        QMessageBox::warning(this, QStringLiteral("提示"),
                             QStringLiteral("两次输入的密码不一致！"));
        txtXMM->clear();
        txtQDMM->clear();
        txtXMM->setFocus();
        return;
    }
    try {
        writeSettingsField(QStringLiteral("pass"), ScramblePassword(txtXMM->text()));
    } catch (const DbError &e) {
        showDbError(this, e);
        return;
    }
    QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("密码修改成功！"));
    accept();
}

void frmMMXG::Command1_Click()
{
    if (!switchAutostart(true)) {
        showAutostartState(false);
        return;
    }
    maskWhitePixels(this);
    QMessageBox::warning(this, kAutostartTitle, QStringLiteral("Varnel软件开机启动已设置成功！"));
    accept();
}

void frmMMXG::Command2_Click()
{
    if (!switchAutostart(false)) {
        showAutostartState(true);
        return;
    }
    maskWhitePixels(this);
    QMessageBox::warning(this, kAutostartTitle, QStringLiteral("Varnel软件开机启动已取消！"));
    accept();
}

bool frmMMXG::switchAutostart(bool on)
{
    // The logon entry first: when it cannot be written, auto is left alone.
    const QString program = QCoreApplication::applicationFilePath();
    QString reason;
    const bool written =
        on ? autostart_->enable(program, &reason) : autostart_->disable(program, &reason);
    if (!written) {
        QMessageBox::critical(
            this, kAutostartTitle,
            QStringLiteral("Varnel软件开机启动%1失败！\n\n无法写入开机启动项：\n%2"
                           "\n\n原因：%3")
                .arg(on ? QStringLiteral("设置") : QStringLiteral("取消"), autostart_->location(),
                     reason));
        return false;
    }
    try {
        const QVariant stored = writeSettingsField(QStringLiteral("auto"), on ? 1 : 0);
        showAutostartState(startModeOf(stored) == 1);
    } catch (const DbError &e) {
        // Put the entry back so that it agrees with the unchanged auto column.
        QString ignored;
        if (on)
            autostart_->disable(program, &ignored);
        else
            autostart_->enable(program, &ignored);
        showDbError(this, e);
        return false;
    }
    return true;
}
