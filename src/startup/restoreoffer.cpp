#include "restoreoffer.h"

#include "store/database.h"

#include <QApplication>
#include <QMessageBox>

namespace varnel
{

namespace
{

const QString kRestoreTitle = QStringLiteral("Varnel提示");

} // namespace

bool RestoreOffer::offer(QWidget *parent, const QString &what, const QString &title)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<NotebookRestore::Copy> copy = NotebookRestore::newestGoodCopy();
    QApplication::restoreOverrideCursor();
    if (!copy) {
        QMessageBox::critical(parent, title, NotebookRestore::offerText(what, copy));
        return false;
    }
    QMessageBox box(QMessageBox::Question, title, NotebookRestore::offerText(what, copy),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("restoreOffer"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return false;
    return answer(parent, *copy, title);
}

bool RestoreOffer::offer(QWidget *parent, const DbError &error)
{
    return offer(parent, error.userText());
}

bool RestoreOffer::answer(QWidget *parent, const NotebookRestore::Copy &copy, const QString &title)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const NotebookRestore::Result result = NotebookRestore::restore(copy);
    QApplication::restoreOverrideCursor();
    if (result.restored)
        QMessageBox::information(parent, title, result.text);
    else
        QMessageBox::critical(parent, title, result.text);
    return result.restored;
}

void RestoreOffer::offerLater(const QString &what)
{
    const std::optional<NotebookRestore::Copy> copy = NotebookRestore::newestGoodCopy();
    auto *box = new QMessageBox(copy ? QMessageBox::Question : QMessageBox::Critical, kRestoreTitle,
                                NotebookRestore::offerText(what, copy),
                                copy ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box->setObjectName(QStringLiteral("restoreOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    if (copy) {
        box->setDefaultButton(QMessageBox::No);
        QObject::connect(box, &QMessageBox::finished, [copy](int button) {
            if (button == QMessageBox::Yes)
                answer(nullptr, *copy, kRestoreTitle);
        });
    }
    box->show();
}

} // namespace varnel
