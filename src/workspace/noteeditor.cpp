#include "noteeditor.h"

#include "store/database.h"
#include "formcontrols.h"
#include "windowguard.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <limits>

using varnel::px;
namespace notestore = varnel::notestore;

namespace
{
const int kText2Small = 2040; // twips
const int kText2Large = 5160;
} // namespace

NoteEditor::NoteEditor(QWidget *window, Hooks hooks)
    : QObject(window), window_(window), hooks_(std::move(hooks))
{
    createBoxes();
    createButtons();
    createBubble();
}

void NoteEditor::createBoxes()
{
    Label1 = varnel::makeLabel(window_, "Label1", QStringLiteral("标  题"), 195, 600, 540, 180);
    Text1 = new QLineEdit(window_);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(px(840), px(600), px(3735), px(330));
    // A stored title may be longer than a line box takes by default; cut
    // short, it would be saved back cut short.
    Text1->setMaxLength(std::numeric_limits<int>::max());
    Text1->installEventFilter(this);

    Text4 = new QLineEdit(window_);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(px(4680), px(600), px(2055), px(330));
    Text4->setReadOnly(true);
    Text4->setFocusPolicy(Qt::ClickFocus); // shown only: Tab goes from the title to the body

    Label2 = varnel::makeLabel(window_, "Label2", QStringLiteral("内  容"), 195, 915, 540, 180);
    Text2 = new QPlainTextEdit(window_);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(px(840), px(960), px(5880), px(kText2Small));
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab goes on to the buttons; Ctrl+Tab types a tab character.
    Text2->setTabChangesFocus(true);
    Text2->installEventFilter(this);

    // Hidden: the loaded note's id.
    Text3 = new QLineEdit(window_);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->hide();
}

void NoteEditor::createButtons()
{
    using varnel::makeButton;
    cmd_add = makeButton(window_, "cmd_add", QStringLiteral("保存"), 120, 1560, 615, 320);
    Quxiao = makeButton(window_, "Quxiao", QStringLiteral("新建"), 120, 1560, 615, 320);
    cmd_edit = makeButton(window_, "cmd_edit", QStringLiteral("修改"), 120, 1920, 615, 320);
    cmd_del = makeButton(window_, "cmd_del", QStringLiteral("删除"), 120, 2280, 615, 320);
    cmd_change = makeButton(window_, "cmd_change", QStringLiteral("大窗"), 120, 2640, 615, 320);
    cmd_change2 = makeButton(window_, "cmd_change2", QStringLiteral("小窗"), 120, 2640, 615, 320);
    cmd_change2->hide();
    cmd_ok = makeButton(window_, "cmd_ok", QStringLiteral("完成"), 1440, 3120, 510, 300);
    connect(cmd_add, &QPushButton::clicked, this, [this] { cmd_add_Click(); });
    connect(Quxiao, &QPushButton::clicked, this, &NoteEditor::Quxiao_Click);
    connect(cmd_edit, &QPushButton::clicked, this, [this] { cmd_edit_Click(); });
    connect(cmd_del, &QPushButton::clicked, this, &NoteEditor::cmd_del_Click);
    connect(cmd_change, &QPushButton::clicked, this, &NoteEditor::cmd_change_Click);
    connect(cmd_change2, &QPushButton::clicked, this, &NoteEditor::cmd_change2_Click);
    connect(cmd_ok, &QPushButton::clicked, this, &NoteEditor::cmd_ok_Click);
}

void NoteEditor::createBubble()
{
    pao1 = new QFrame(window_);
    pao1->setObjectName(QStringLiteral("pao1"));
    pao1->setGeometry(px(2160), px(1680), px(2415), px(615));
    pao1->setStyleSheet(
        QStringLiteral("QFrame#pao1 { background: #FFFFE1; border: 1px solid #C9B458; }"));
    lab_pao1 = new QLabel(pao1);
    lab_pao1->setObjectName(QStringLiteral("lab_pao1"));
    lab_pao1->setGeometry(4, 4, pao1->width() - 8, pao1->height() - 8);
    lab_pao1->setAlignment(Qt::AlignCenter);

    tm_pao1 = new QTimer(this);
    tm_pao1->setObjectName(QStringLiteral("tm_pao1"));
    tm_pao1->setInterval(1000);
    tm_pao1->start();
    connect(tm_pao1, &QTimer::timeout, this, [this] {
        pao1->hide();
        tm_pao1->stop();
    });
}

void NoteEditor::hideBubble()
{
    pao1->hide();
}

void NoteEditor::setState(State state)
{
    const bool blank = state == State::Blank;
    cmd_add->setEnabled(blank);
    cmd_add->setVisible(blank);
    Quxiao->setEnabled(!blank);
    Quxiao->setVisible(!blank);
    cmd_edit->setEnabled(!blank);
    cmd_del->setEnabled(!blank);
    cmd_ok->setEnabled(state == State::Loaded);
    Text4->setVisible(!blank);
}

void NoteEditor::clear()
{
    Text1->clear();
    Text2->clear();
    Text3->clear();
    Text4->clear();
}

// The body as typed. The plain-text form of the box would turn no-break
// spaces into spaces and line separators into line breaks; only the
// paragraph breaks between the box's lines are turned back into line breaks.
QString NoteEditor::body() const
{
    return Text2->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

qint64 NoteEditor::noteId() const
{
    // A blank editor holds no note, even while its boxes are being emptied.
    return cmd_add->isEnabled() ? 0 : varnel::numericValue(Text3->text());
}

bool NoteEditor::open(const varnel::NoteRow &row)
{
    QString text;
    if (!varnel::guarded(window_, [&] { text = notestore::body(row.bookid); })) {
        // The note before must not stay in the boxes: 删除 would act on it.
        clear();
        setState(State::Blank);
        return false;
    }
    Text1->setText(row.title);
    Text1->setCursorPosition(0); // a long title shows its beginning
    Text2->setPlainText(text);
    Text3->setText(QString::number(row.bookid));
    Text4->setText(varnel::shownTime(row.time));
    setState(State::Loaded);
    return true;
}

bool NoteEditor::cmd_add_Click()
{
    return varnel::guarded(window_, [this] {
        notestore::addNote(Text1->text(), body(), hooks_.category());
        clear();
        hooks_.relist();
    });
}

void NoteEditor::Quxiao_Click()
{
    setState(State::Blank);
    hooks_.clearSearch(); // a search box that held text lists again
    clear();
}

bool NoteEditor::cmd_edit_Click()
{
    return varnel::guarded(window_, [this] {
        notestore::changeNote(Text3->text(), Text1->text(), body(), hooks_.category());
        setState(State::Changed);
        hooks_.relist();
    });
}

void NoteEditor::cmd_ok_Click()
{
    varnel::guarded(window_, [this] {
        notestore::finishNote(Text3->text());
        setState(State::Blank);
        hooks_.relist();
        clear();
    });
}

void NoteEditor::cmd_del_Click()
{
    if (QMessageBox::information(window_, QStringLiteral("提示"), QStringLiteral("确认要删除吗?"),
                                 QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (Text3->text().isEmpty()) {
        QMessageBox::information(window_, QStringLiteral("Varnel提示"),
                                 QStringLiteral("请选中列表中的内容再删除"));
        return;
    }
    varnel::guarded(window_, [this] {
        notestore::deleteNote(Text3->text());
        clear();
        setState(State::Blank);
        hooks_.relist();
    });
}

void NoteEditor::cmd_change_Click()
{
    Text2->resize(Text2->width(), std::min(px(kText2Large), lowest_ - Text2->y()));
    Text2->raise();
    cmd_change->hide();
    cmd_change2->show();
}

void NoteEditor::cmd_change2_Click()
{
    Text2->resize(Text2->width(), px(kText2Small));
    cmd_change->show();
    cmd_change2->hide();
}

void NoteEditor::keyUp(QKeyEvent *event)
{
    if (event->key() != Qt::Key_F1 || event->isAutoRepeat())
        return;
    saveOrChange();
}

void NoteEditor::newNote()
{
    if (Quxiao->isEnabled())
        Quxiao_Click();
    focusTitle();
}

void NoteEditor::deleteLoaded()
{
    if (cmd_del->isEnabled())
        cmd_del_Click();
}

void NoteEditor::focusTitle()
{
    Text1->setFocus(Qt::ShortcutFocusReason);
}

void NoteEditor::saveOrChange()
{
    if (cmd_add->isEnabled()) {
        if (cmd_add_Click())
            showSavedBubble(QStringLiteral("新建内容已保存！"));
    } else if (cmd_edit_Click()) {
        showSavedBubble(QStringLiteral("内容修改成功！"));
    }
}

void NoteEditor::showSavedBubble(const QString &text)
{
    tm_pao1->start();
    pao1->show();
    pao1->raise();
    lab_pao1->setText(text);
}

bool NoteEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text2 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
            Text2->insertPlainText(QStringLiteral("\t"));
            return true;
        }
    }
    if (event->type() == QEvent::KeyRelease && (watched == Text1 || watched == Text2))
        keyUp(static_cast<QKeyEvent *>(event)); // may have unloaded the window
    return false;
}
