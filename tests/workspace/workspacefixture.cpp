#include "workspacefixture.h"

#include "store/datalayer.h"
#include "store/search/notesearch.h"

#include "store/database.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

FakeWindows::FakeWindows()
{
    setCurrent(this);
}

FakeWindows::~FakeWindows()
{
    delete main.data();
    if (current() == this)
        setCurrent(nullptr);
}

void FakeWindows::showMainWindow()
{
    if (!main)
        main = new FrmMinBook;
    main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
    main->show();
}

void FakeWindows::unloadMainWindow()
{
    delete main.data();
}

UrlSink::UrlSink(const QString &scheme) : scheme_(scheme)
{
    QDesktopServices::setUrlHandler(scheme_, this, "open");
}

UrlSink::~UrlSink()
{
    QDesktopServices::unsetUrlHandler(scheme_);
}

FrmMinBook *Workspace::show()
{
    // The search index builds in the background from the moment the database
    // opens; the tests search it once it is ready, as a user normally does.
    try {
        varnel::OpenDb();
        varnel::CloseDb();
        varnel::DataLayer::current().search().waitUntilReady(5000);
    } catch (const varnel::DbError &) {
    }
    windows.showMainWindow();
    if (windows.main && !QTest::qWaitForWindowExposed(windows.main))
        qWarning("the main window was not exposed");
    return windows.main;
}

QAction *Workspace::action(const char *name) const
{
    return windows.main ? windows.main->findChild<QAction *>(QString::fromLatin1(name)) : nullptr;
}

QStringList Workspace::titles() const
{
    QStringList out;
    const QAbstractItemModel *model = list()->model();
    for (int r = 0; model && r < model->rowCount(); ++r)
        out.append(model->index(r, 1).data().toString());
    return out;
}

int Workspace::rows() const
{
    return list()->model() ? list()->model()->rowCount() : 0;
}

bool Workspace::clickRow(int row) const
{
    QTableView *view = list();
    const QModelIndex index = view->model()->index(row, 1);
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    if (!rect.isValid())
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    return true;
}

bool Workspace::clickRow(const QString &title) const
{
    const int row = titles().indexOf(title);
    return row >= 0 && clickRow(row);
}

QTreeWidgetItem *Workspace::node(const QString &key) const
{
    QTreeWidget *t = tree();
    QList<QTreeWidgetItem *> pending;
    for (int i = 0; i < t->topLevelItemCount(); ++i)
        pending.append(t->topLevelItem(i));
    while (!pending.isEmpty()) {
        QTreeWidgetItem *item = pending.takeFirst();
        if (item->data(0, Qt::UserRole).toString() == key)
            return item;
        for (int i = 0; i < item->childCount(); ++i)
            pending.append(item->child(i));
    }
    return nullptr;
}

bool Workspace::clickNode(const QString &key) const
{
    QTreeWidgetItem *item = node(key);
    if (!item)
        return false;
    tree()->scrollToItem(item);
    const QRect rect = tree()->visualItemRect(item);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
    return true;
}

qint64 addNote(const QString &title, const QString &body, qint64 category, int done,
               const QString &time)
{
    varnel::OpenDb();
    if (time.isEmpty()) {
        varnel::DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 分类, 处理) values (?1, ?2, ?3, ?4)"),
            {title, body, category, done});
    } else {
        varnel::DbConn->Execute(
            QStringLiteral("insert into 企业日记 (标题, 内容, 分类, 处理, 时间) "
                           "values (?1, ?2, ?3, ?4, ?5)"),
            {title, body, category, done, time});
    }
    varnel::DbRs->Open(QStringLiteral("select max(bookid) from 企业日记"), *varnel::DbConn,
                       varnel::RsMode::Read);
    const qint64 id = varnel::DbRs->Field(0).toLongLong();
    varnel::CloseDb();
    return id;
}

void addCategory(qint64 id, qint64 bh, const QString &name)
{
    varnel::OpenDb();
    varnel::DbConn->Execute(QStringLiteral("insert into 分类 (id, bh, mc) values (?1, ?2, ?3)"),
                            {id, bh, name});
    varnel::CloseDb();
}

QVariant sqlValue(const QString &sql, const QVariantList &params)
{
    varnel::OpenDb();
    varnel::DbRs->Open(sql, *varnel::DbConn, varnel::RsMode::Read, params);
    const QVariant value = varnel::DbRs->Eof() ? QVariant() : varnel::DbRs->Field(0);
    varnel::CloseDb();
    return value;
}

QColor pictureColour(const QIcon &icon)
{
    if (icon.isNull())
        return {};
    const QImage image = icon.pixmap(16, 16).toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

DialogCatcher::DialogCatcher()
{
    qApp->installEventFilter(this);
}

DialogCatcher::~DialogCatcher()
{
    qApp->removeEventFilter(this);
}

bool DialogCatcher::eventFilter(QObject *watched, QEvent *event)
{
    auto *dialog = qobject_cast<QDialog *>(watched);
    if (dialog && event->type() == QEvent::Show) {
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            seen.append(box->text());
        else
            seen.append(dialog->windowTitle());
        QTimer::singleShot(0, dialog, &QDialog::reject);
    }
    return false;
}

void exportMustFail(const Workspace &ws, QString *text)
{
    DialogAnswerer answers;
    answers.answerMessage(QMessageBox::Ok);
    QTest::mouseClick(ws.button("cmd_out"), Qt::LeftButton);
    QCOMPARE(answers.seen().size(), 1);
    *text = answers.last().text;
    QCOMPARE(answers.last().icon, int(QMessageBox::Critical));
    QVERIFY2(!text->contains(QStringLiteral("已导出")), qPrintable(*text));
    QVERIFY(ws.files.opened.isEmpty());
}
