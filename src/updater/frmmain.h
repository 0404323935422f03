#pragma once

#include "smallimages.h"
#include "updaterinfo.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class Downloader;
class ListWatcher;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class SignedProgramCheck;

// The updater's window: one row per download with a progress bar laid over
// the row's second cell, a button that starts the update and one that opens
// the product site. Each download fetches its signature first and fetches
// the body only when the signature names a newer release of this program
// for this machine; the body replaces its file only once it has passed the
// program checks and its signature holds against the built-in public key.
// The window closes itself once the batch has ended and the user has read
// the closing box; a start the engine refuses can be tried again. Closing
// the window while an update runs cancels it, and counts as a failure.
class frmMain : public QWidget
{
    Q_OBJECT
  public:
    // Fetches the site's "/update/vlbook.exe" into the program's own folder.
    explicit frmMain(QWidget *parent = nullptr);
    // Fetches downloadUrl into programFolder instead, checked against publicKey.
    frmMain(const QString &downloadUrl, const QString &programFolder,
            const QByteArray &publicKey = updater::updatePublicKey(), QWidget *parent = nullptr);
    ~frmMain() override;

    // The last update tried here failed (or its start was refused).
    bool updateFailed() const { return failed_; }

    void DownloadaFile(const QString &vCaption, const QString &vURL, const QString &vFileName);

    struct BarColor {
        qint16 red = 0;
        qint16 green = 0;
        qint16 blue = 0;
    };
    void LoadAllColors();
    void LoadColor(qint16 vR, qint16 vG, qint16 vB, qint16 index);
    void IncrementColorIndex();
    qint16 ColorIndex() const { return colorIndex_; }
    BarColor barColor(int index) const { return BarColors.at(size_t(index)); }

  protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    friend class TestUpdaterWindow;

    void createList();
    void createButtons();
    void createEngine();
    void layoutControls();

    void AddDownloadRow(const QString &vURL, const QString &saveFile, const QString &rowText);
    void AttachProgressBars();
    void PositionProgressBars();
    QProgressBar *newProgressBar();
    void setRowIcon(int row, int image);
    QTreeWidgetItem *rowOf(const QString &saveFile, int *index = nullptr) const;
    void showBarValue(int row, int value);
    void refusedStart(QTreeWidgetItem *row);
    void startBody(const QString &vURL, const QString &saveFile, const QString &refusal);
    void refuseBeforeBody(const QString &saveFile, const QString &reason);
    bool updateRunning() const;
    void markRowUpdating(int index);
    void markRowFailed(int index);

    void cmdDownload_Click();
    void cmdExit_Click();
    void lstDownload_ColumnClick(int column);
    void ProgressBar1_MouseDown(int index);
    void Downloader1_DownloadProgress(qint64 curBytes, qint64 maxBytes, const QString &saveFile);
    void Downloader1_DownloadReceived(qint64 curBytes, const QString &saveFile);
    void Downloader1_DownloadError(const QString &saveFile);
    void Downloader1_DownloadComplete(qint64 maxBytes, const QString &saveFile);
    void Downloader1_DownloadAllComplete(const QStringList &fileNotDownload);
    void showEndBox(const QStringList &reasons);

    QString downloadUrl_;
    QString programFolder_;
    QByteArray publicKey_;
    bool failed_ = false;
    QDeadlineTimer deadline_{QDeadlineTimer::Forever}; // of the whole update
    // Signatures being fetched, by destination, before their bodies start.
    QHash<QString, std::shared_ptr<SignedProgramCheck>> pending_;
    QStringList reasons_; // why downloads of this update failed
    QTreeWidget *lstDownload = nullptr;
    SmallImages images_;
    QList<QProgressBar *> ProgressBar1;
    QPushButton *cmdDownload = nullptr;
    QPushButton *cmdExit = nullptr;
    Downloader *Downloader1 = nullptr;
    ListWatcher *Subclass1 = nullptr;
    std::array<BarColor, 10> BarColors{};
    qint16 colorIndex_ = 0;
};
