#pragma once

// What the tests of the notes window share: a provisioned program folder, a
// stand-in for the program's window host, the window itself and a few helpers.

#include "base/appwindows.h"
#include "dialogs.h"
#include "frmminbook.h"
#include "testfolder.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QUrl>

#include <functional>
#include <memory>
#include <utility>

// Stands in for the program's window host: builds the main window on show,
// and says whether a hidden window could be brought back.
class FakeWindows : public varnel::AppWindows
{
  public:
    FakeWindows();
    ~FakeWindows() override;

    void showMainWindow() override;
    void unloadMainWindow() override;
    bool isMainWindowLoaded() const override { return !main.isNull(); }
    void loadTray(bool) override {}
    void delIcon() override { ++iconsRemoved; }
    bool trayIconShown() const override { return tray; }
    bool hotKeyActive() const override { return hotKey; }
    QString hotKeyName() const override { return keyName; }
    // keyOnRetry: the program holding the key has let it go meanwhile.
    // answerLater: the desktop answers the retry only at settle().
    void retryHotKey() override
    {
        ++retries;
        pending = answerLater;
        if (!answerLater)
            hotKey = hotKey || keyOnRetry;
    }
    bool hotKeyPending() const override { return pending; }
    void whenHotKeySettled(const std::function<void()> &then, int) override
    {
        if (pending)
            settled_ = then;
        else
            then();
    }
    void settle()
    {
        pending = false;
        hotKey = hotKey || keyOnRetry;
        if (settled_)
            std::exchange(settled_, nullptr)();
    }

    QPointer<FrmMinBook> main;
    bool tray = true;
    bool hotKey = true;
    QString keyName = QStringLiteral("Ctrl+1");
    bool keyOnRetry = false;
    bool answerLater = false;
    bool pending = false;
    int iconsRemoved = 0;
    int retries = 0;

  private:
    std::function<void()> settled_;
};

// Records the addresses the window asks the desktop to open.
class UrlSink : public QObject
{
    Q_OBJECT
  public:
    explicit UrlSink(const QString &scheme);
    ~UrlSink() override;
    QList<QUrl> opened;

  public slots:
    void open(const QUrl &url) { opened.append(url); }

  private:
    QString scheme_;
};

// A window on a fresh database. Rows added before show() are there at load.
struct Workspace {
    TestFolder folder;
    FakeWindows windows;
    UrlSink files{QStringLiteral("file")};
    UrlSink pages{QStringLiteral("http")};

    FrmMinBook *show(); // loads (or reloads) and shows the main window
    FrmMinBook *window() const { return windows.main; }

    template <typename T> T *get(const char *name) const
    {
        return windows.main ? windows.main->findChild<T *>(QString::fromLatin1(name)) : nullptr;
    }
    QLineEdit *edit(const char *name) const { return get<QLineEdit>(name); }
    QPushButton *button(const char *name) const { return get<QPushButton>(name); }
    QLabel *label(const char *name) const { return get<QLabel>(name); }
    QTableView *list() const { return get<QTableView>("ListView1"); }
    QTreeWidget *tree() const { return get<QTreeWidget>("trv"); }
    QAction *action(const char *name) const;

    // The list as shown: titles in row order.
    QStringList titles() const;
    int rows() const;
    // Clicks the list row with this title (the way the user does).
    bool clickRow(const QString &title) const;
    bool clickRow(int row) const;
    // Clicks a node of the tree by its key ("boot", "K_3").
    bool clickNode(const QString &key) const;
    QTreeWidgetItem *node(const QString &key) const;
};

// Adds a note straight to the database; returns its bookid.
qint64 addNote(const QString &title, const QString &body, qint64 category = 0, int done = 0,
               const QString &time = QString());
void addCategory(qint64 id, qint64 bh, const QString &name);
QVariant sqlValue(const QString &sql, const QVariantList &params = {});

// Clicks "导出" where the export has to fail: one critical box that does not
// claim success, and no editor opened. The box's text goes to `text`; check
// QTest::currentTestFailed() afterwards.
void exportMustFail(const Workspace &ws, QString *text);

// The colour a list or tree picture is drawn in.
QColor pictureColour(const QIcon &icon);

// While it lives, every dialog that opens is noted and closed at once: for
// checking that an action asks nothing.
class DialogCatcher : public QObject
{
  public:
    DialogCatcher();
    ~DialogCatcher() override;
    QStringList seen; // the dialogs' texts
  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
