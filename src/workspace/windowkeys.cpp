#include "windowkeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

WindowKeys::WindowKeys(QWidget *window, Actions actions) : QObject(window)
{
    const struct {
        QKeySequence key;
        std::function<void()> action;
    } keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_S), std::move(actions.save)},
                {QKeySequence(Qt::CTRL | Qt::Key_N), std::move(actions.newNote)},
                {QKeySequence(Qt::CTRL | Qt::Key_F), std::move(actions.search)},
                {QKeySequence(Qt::Key_Escape), std::move(actions.hide)}};
    for (const auto &key : keys) {
        auto *shortcut = new QShortcut(key.key, window);
        connect(shortcut, &QShortcut::activated, this, key.action);
    }
    describe(window);
}

void WindowKeys::describe(QWidget *window)
{
    const struct {
        const char *name;
        const char *tip;
    } tips[] = {{"cmd_add", "保存新内容（F1 或 Ctrl+S）"},
                {"cmd_edit", "保存修改（F1 或 Ctrl+S）"},
                {"Quxiao", "新建一条（Ctrl+N）"},
                {"cmd_del", "删除选中的一条（在列表中按 Delete）"},
                {"txtCZ", "查找（Ctrl+F）"},
                {"Lab_hide", "隐藏到托盘（Esc）"}};
    for (const auto &tip : tips)
        if (auto *widget = window->findChild<QWidget *>(QString::fromLatin1(tip.name)))
            widget->setToolTip(QString::fromUtf8(tip.tip));
}
