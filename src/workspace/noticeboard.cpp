#include "noticeboard.h"

#include "base/appinfo.h"
#include "base/appwindows.h"
#include "clicklabel.h"
#include "formcontrols.h"
#include "noticepage.h"
#include "updatelaunch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>

using varnel::px;

namespace
{
constexpr int kNoticeTurnMs = 2000;

const QString kUnreachable = QStringLiteral("无法连接到Varnel网站，现在看不到升级信息。\n"
                                            "请检查网络连接，稍后再点“升级”。");

QString cut(const QString &text, int limit)
{
    return text.size() > limit ? text.left(limit - 1) + QChar(0x2026) : text;
}

QString helpText(const QString &keyName)
{
    const QString save = QStringLiteral("帮助：【F1】保存或修改");
    return keyName.isEmpty() ? save : save + QStringLiteral(" %1呼叫Varnel").arg(keyName);
}
} // namespace

NoticeBoard::NoticeBoard(QWidget *window) : QObject(window), window_(window)
{
    WebGet = new NoticePage(this);
    WebGet->setObjectName(QStringLiteral("WebGet"));
    source_ = [this](const QString &name) { return WebGet->value(name); };
    connect(WebGet, &NoticePage::loaded, this, [this] { siteAnswered(true); });
    connect(WebGet, &NoticePage::failed, this, [this] { siteAnswered(false); });
    createHelpLine();
    createUpdateBox();
    createTimers();
}

void NoticeBoard::createHelpLine()
{
    updateButton =
        varnel::makeButton(window_, "update", QStringLiteral("升级"), 120, 4920, 615, 320);
    connect(updateButton, &QPushButton::clicked, this, &NoticeBoard::update_Click);

    // The help line runs up to the count line.
    lab_key = varnel::makeClickLabel(window_, "lab_key", helpText(QStringLiteral("Ctrl+1")), 840,
                                     6195, 3330, 180);
    lab_key->resize(px(4920) - 4 - lab_key->x(), lab_key->height());
    line_ = lab_key->text();
    lab_key->setTextFormat(Qt::PlainText);
    lab_key->setStyleSheet(QStringLiteral("color: #0000FF;"));
    lab_key->setCursor(Qt::PointingHandCursor);
    connect(lab_key, &ClickLabel::hovered, this, [this] {
        QFont font = lab_key->font();
        font.setUnderline(true);
        lab_key->setFont(font);
    });
    connect(lab_key, &ClickLabel::clicked, this, &NoticeBoard::lab_key_Click);

    Text6 = new QLineEdit(varnel::siteUrl(), window_);
    Text6->setObjectName(QStringLiteral("Text6"));
    Text6->hide();
}

void NoticeBoard::createUpdateBox()
{
    UpdateBox = new QFrame(window_);
    UpdateBox->setObjectName(QStringLiteral("UpdateBox"));
    UpdateBox->setGeometry(window_->width() + 10, 0, px(6375), px(5295));
    UpdateBox->setStyleSheet(
        QStringLiteral("QFrame#UpdateBox { background: #FFFFE1; border: 1px solid #C9B458; }"));
    Label4 = new QLabel(QStringLiteral("Varnel最新升级信息"), UpdateBox);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(10, 8, UpdateBox->width() - 20, 18);
    Text7 = new QPlainTextEdit(UpdateBox);
    Text7->setObjectName(QStringLiteral("Text7"));
    Text7->setGeometry(10, 30, UpdateBox->width() - 20, UpdateBox->height() - 72);
    Text7->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text7->setReadOnly(true);
    const int buttonsTop = UpdateBox->height() - 34;
    UpdateNow = new QPushButton(QStringLiteral("马上升级"), UpdateBox);
    UpdateNow->setObjectName(QStringLiteral("UpdateNow"));
    UpdateNow->setGeometry(UpdateBox->width() - 190, buttonsTop, 80, 24);
    Later_update = new QPushButton(QStringLiteral("稍后升级"), UpdateBox);
    Later_update->setObjectName(QStringLiteral("Later_update"));
    Later_update->setGeometry(UpdateBox->width() - 100, buttonsTop, 80, 24);
    UpdateBox->hide();
    connect(UpdateNow, &QPushButton::clicked, this, &NoticeBoard::UpdateNow_Click);
    connect(Later_update, &QPushButton::clicked, this, &NoticeBoard::Later_update_Click);
}

// The three lines take turns, two seconds each: the timers share one
// period and first fire two, four and six seconds after the load.
void NoticeBoard::createTimers()
{
    auto make = [this](QTimer *&timer, const char *name, int line) {
        timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(name));
        timer->setInterval(kNoticeTurnMs * line);
        timer->start();
        connect(timer, &QTimer::timeout, this, [this, timer, line] {
            if (timer->interval() != kNoticeTurnMs * 3)
                timer->setInterval(kNoticeTurnMs * 3); // the first turn is over
            noticeTick(line);
        });
    };
    make(tim_gg1, "tim_gg1", 1);
    make(tim_gg2, "tim_gg2", 2);
    make(tim_gg3, "tim_gg3", 3);
}

void NoticeBoard::setSource(Source source)
{
    source_ = std::move(source);
    pageIsSource_ = false;
    site_ = Site::Answered; // the source stands for the page
}

bool NoticeBoard::isWebAddress(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

void NoticeBoard::siteAnswered(bool reached)
{
    if (!pageIsSource_)
        return;
    site_ = reached ? Site::Answered : Site::Unreachable;
    if (!UpdateBox->isVisible())
        return;
    showUpdateInfo();
    if (updateWanted_)
        UpdateNow_Click();
}

void NoticeBoard::navigate()
{
    if (pageIsSource_)
        site_ = Site::Loading;
    WebGet->navigate(QUrl(varnel::siteUrl(QStringLiteral("/update.asp"))));
}

std::optional<QString> NoticeBoard::value(const QString &name) const
{
    return source_ ? source_(name) : std::nullopt;
}

void NoticeBoard::noticeTick(int line)
{
    const std::optional<QString> text = value(QStringLiteral("gg%1").arg(line));
    if (!text)
        return; // no page yet: the help line stays
    noticeShown_ = true;
    showLine(cut(*text, kMaxLineChars));
    if (const std::optional<QString> url = value(QStringLiteral("ggurl%1").arg(line)))
        Text6->setText(cut(*url, 2048));
}

void NoticeBoard::setHelpLineEnd(int right)
{
    lab_key->resize(std::max(right - lab_key->x(), 0), lab_key->height());
    showLine(line_);
}

void NoticeBoard::setHotKey(const QString &keyName)
{
    if (!noticeShown_)
        showLine(helpText(keyName));
}

// A line wider than the help line ends in "…"; the whole line is its tooltip.
void NoticeBoard::showLine(const QString &text)
{
    line_ = text;
    const QString shown =
        lab_key->fontMetrics().elidedText(text, Qt::ElideRight, lab_key->width() - 2);
    lab_key->setText(shown);
    // A tooltip would take markup as such: the line goes in as plain text.
    lab_key->setToolTip(shown == text ? QString() : Qt::convertFromPlainText(text));
}

// Anything but a web address (a local file, a script, a program) opens nothing.
void NoticeBoard::lab_key_Click()
{
    if (isWebAddress(Text6->text()))
        QDesktopServices::openUrl(QUrl(Text6->text().trimmed(), QUrl::StrictMode));
}

void NoticeBoard::update_Click()
{
    UpdateBox->move(px(240), px(600));
    UpdateBox->show();
    UpdateBox->raise();
    showUpdateInfo();
    if (value(QStringLiteral("update_vl")) || site_ == Site::Unreachable) {
        if (pageIsSource_)
            site_ = Site::Loading;
        WebGet->refresh(); // a site that was down may be back at the next look
    }
}

// The page's update text; when the site could not be reached, a line that
// says so.
void NoticeBoard::showUpdateInfo()
{
    if (const std::optional<QString> info = value(QStringLiteral("update_vl")))
        Text7->setPlainText(cut(*info, kMaxInfoChars));
    else if (site_ == Site::Unreachable)
        Text7->setPlainText(kUnreachable);
}

void NoticeBoard::UpdateNow_Click()
{
    const std::optional<QString> ver = value(QStringLiteral("ver"));
    updateWanted_ = false;
    if (!ver && site_ == Site::Loading) {
        updateWanted_ = true; // decided when the page is back
        return;
    }
    if (!ver && site_ == Site::Unreachable) {
        QMessageBox::information(window_, QStringLiteral("Varnel提示"),
                                 QStringLiteral("无法连接到Varnel网站，现在不能检查有没有新版本。\n"
                                                "请检查网络连接，稍后再试。"));
        return;
    }
    const std::optional<qint64> page = ver ? varnel::UpdateLaunch::pageVersion(*ver) : std::nullopt;
    if (!page)
        return; // no page, or no number on it
    if (*page <= varnel::versionNumber()) {
        QMessageBox::information(window_, QStringLiteral("Varnel提示"),
                                 QStringLiteral("Varnel已经是最高版本,此时不需要升级"));
        return;
    }
    const QString program = varnel::UpdateLaunch::updaterPath();
    if (!varnel::UpdateLaunch::start(program)) {
        QMessageBox::critical(window_, QStringLiteral("Varnel升级"),
                              QStringLiteral("无法启动升级程序：\n%1\nVarnel 将继续运行。")
                                  .arg(QDir::toNativeSeparators(program)));
        return;
    }
    if (varnel::AppWindows *windows = varnel::AppWindows::current())
        windows->delIcon();
    varnel::UpdateLaunch::quit();
}

void NoticeBoard::Later_update_Click()
{
    updateWanted_ = false;
    UpdateBox->hide();
}
