#include "frmmain.h"

#include "downloader.h"
#include "httpreadservice.h"
#include "listcells.h"
#include "listwatcher.h"
#include "netreasons.h"
#include "progresstext.h"
#include "releasecomment.h"
#include "signedprogramcheck.h"
#include "smallfetch.h"
#include "stagedfile.h"
#include "twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

namespace
{

constexpr int kKeyRole = Qt::UserRole;
enum Column { ColProgram, ColBar, ColPercent, ColRemaining, ColStatus };

const QString kConnecting = QStringLiteral("连接中...");
const QString kUpdating = QStringLiteral("更新");
const QString kDone = QStringLiteral("升级完毕");
const QString kFailed = QStringLiteral("更新错误");
const QString kProgramFile = QStringLiteral("Varnelpad");

QString barStyle(const frmMain::BarColor &color)
{
    return QStringLiteral("QProgressBar { background-color: rgb(0, 0, 0); border: none; }"
                          "QProgressBar::chunk { background-color: rgb(%1, %2, %3); }")
        .arg(color.red)
        .arg(color.green)
        .arg(color.blue);
}
} // namespace

frmMain::frmMain(QWidget *parent)
    : frmMain(updater::siteUrl(QStringLiteral("/update/vlbook.exe")),
              QCoreApplication::applicationDirPath(), updater::updatePublicKey(), parent)
{
}

frmMain::frmMain(const QString &downloadUrl, const QString &programFolder,
                 const QByteArray &publicKey, QWidget *parent)
    : QWidget(parent), downloadUrl_(downloadUrl), programFolder_(programFolder),
      publicKey_(publicKey)
{
    // Downloads of earlier runs that were killed before they could clean up.
    StagedFile::removeLeftovers(QDir(programFolder_).filePath(kProgramFile));
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(updater::captionText());
    setMinimumSize(px(4500), px(2250));
    resize(px(8400), px(3600));
    createList();
    createButtons();
    createEngine();
    lstDownload->clear();
    LoadAllColors();
}

frmMain::~frmMain() = default;

void frmMain::createList()
{
    lstDownload = new QTreeWidget(this);
    lstDownload->setObjectName(QStringLiteral("lstDownload"));
    lstDownload->setRootIsDecorated(false);
    lstDownload->setUniformRowHeights(true);
    lstDownload->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstDownload->setIconSize(SmallImages::size());
    lstDownload->setHeaderLabels({QStringLiteral("程序"), QStringLiteral("状态"),
                                  QStringLiteral("进度"), QStringLiteral("剩余"),
                                  QStringLiteral("状态")});
    const int widths[] = {2400, 1800, 900, 1200, 1200};
    for (int column = 0; column < 5; ++column)
        lstDownload->setColumnWidth(column, px(widths[column]));
    lstDownload->header()->setSectionsClickable(true);
    connect(lstDownload->header(), &QHeaderView::sectionClicked, this,
            &frmMain::lstDownload_ColumnClick);

    // Bar 0 exists from the start, out of sight until a row takes it.
    QProgressBar *first = new QProgressBar(this);
    first->setObjectName(QStringLiteral("ProgressBar1_0"));
    first->setRange(0, 100);
    first->setTextVisible(false);
    first->setGeometry(-px(30000), -px(30000), px(1500), px(150));
    first->installEventFilter(this);
    ProgressBar1.append(first);

    Subclass1 = new ListWatcher(this);
    Subclass1->setObjectName(QStringLiteral("Subclass1"));
    connect(Subclass1, &ListWatcher::ListChanged, this, &frmMain::PositionProgressBars);
}

void frmMain::createButtons()
{
    cmdDownload = new QPushButton(QStringLiteral("开始升级"), this);
    cmdDownload->setObjectName(QStringLiteral("cmdDownload"));
    cmdDownload->setDefault(true);
    connect(cmdDownload, &QPushButton::clicked, this, &frmMain::cmdDownload_Click);
    cmdExit = new QPushButton(QStringLiteral("网站下载新版Varnel"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    cmdDownload->setFocus();
}

void frmMain::createEngine()
{
    Downloader1 = new Downloader(this);
    Downloader1->setObjectName(QStringLiteral("Downloader1"));
    connect(Downloader1, &Downloader::DownloadProgress, this,
            &frmMain::Downloader1_DownloadProgress);
    connect(Downloader1, &Downloader::DownloadReceived, this,
            &frmMain::Downloader1_DownloadReceived);
    connect(Downloader1, &Downloader::DownloadError, this, &frmMain::Downloader1_DownloadError);
    connect(Downloader1, &Downloader::DownloadComplete, this,
            &frmMain::Downloader1_DownloadComplete);
    connect(Downloader1, &Downloader::DownloadAllComplete, this,
            &frmMain::Downloader1_DownloadAllComplete);
}

// The list fills the window but for a strip at the bottom that holds the
// two buttons.
void frmMain::layoutControls()
{
    const int listWidth = width() - px(10);
    const int listHeight = height() - px(700);
    if (listWidth > 0 && listHeight > 0) {
        lstDownload->setGeometry(px(10), px(10), listWidth, listHeight);
        PositionProgressBars();
    }
    const int buttonTop = height() - px(570);
    cmdDownload->setGeometry(px(120), buttonTop, px(1650), px(420));
    cmdExit->setGeometry(px(1890), buttonTop, px(2400), px(420));
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (updateRunning())
        failed_ = true; // cancelled: the old program stays, and that is no success
    pending_.clear();
    Downloader1->CancelAllDownload();
    QWidget::closeEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const qsizetype index = ProgressBar1.indexOf(qobject_cast<QProgressBar *>(watched));
        if (index >= 0)
            ProgressBar1_MouseDown(int(index));
    }
    return QWidget::eventFilter(watched, event);
}

// --- bar colours ------------------------------------------------------------

void frmMain::LoadAllColors()
{
    LoadColor(255, 204, 51, 0);
    LoadColor(20, 226, 54, 1);
    LoadColor(0, 255, 255, 2);
    LoadColor(120, 120, 255, 3);
    LoadColor(0, 255, 0, 4);
    LoadColor(255, 255, 0, 5);
    LoadColor(255, 0, 255, 6);
    LoadColor(71, 214, 102, 7);
    LoadColor(255, 204, 51, 8);
    LoadColor(255, 204, 51, 9);
}

void frmMain::LoadColor(qint16 vR, qint16 vG, qint16 vB, qint16 index)
{
    if (index < 0 || index >= qint16(BarColors.size()))
        return;
    BarColors[size_t(index)] = {vR, vG, vB};
}

void frmMain::IncrementColorIndex()
{
    colorIndex_ = colorIndex_ == 7 ? 0 : colorIndex_ + 1;
}

// --- rows and bars ------------------------------------------------------------

void frmMain::DownloadaFile(const QString &vCaption, const QString &vURL, const QString &vFileName)
{
    const QString saveFile = QDir(programFolder_).filePath(vFileName);
    AddDownloadRow(vURL, saveFile, QLatin1Char(' ') + vCaption);
}

void frmMain::AddDownloadRow(const QString &vURL, const QString &saveFile, const QString &rowText)
{
    auto *row = new QTreeWidgetItem(lstDownload);
    row->setData(ColProgram, kKeyRole, saveFile);
    row->setText(ColProgram, rowText);
    row->setIcon(ColProgram, images_.icon(SmallImages::Connecting));
    row->setText(ColBar, QStringLiteral(" "));
    row->setText(ColPercent, QStringLiteral(" "));
    row->setText(ColRemaining, QStringLiteral(" "));
    row->setText(ColStatus, kConnecting);
    if (!HttpReadService::canRead(vURL)) {
        Downloader1->BeginDownload(vURL, saveFile); // refuses it, with the engine's box
        refusedStart(row);
        return;
    }
    if (const QString refusal = updater::demoKeyRefusal(vURL, publicKey_); !refusal.isEmpty()) {
        refuseBeforeBody(saveFile, refusal);
        return;
    }
    if (deadline_.isForever())
        deadline_ = QDeadlineTimer(updater::updateDeadlineMs());
    const SignedProgramCheck::Expected expected{QUrl(vURL).fileName(),
                                                release::installedVersion(saveFile)};
    auto check =
        std::make_shared<SignedProgramCheck>(updater::signatureUrl(vURL), publicKey_, expected);
    pending_.insert(saveFile, check);
    check->prepare(
        [this, vURL, saveFile](const QString &refusal) { startBody(vURL, saveFile, refusal); },
        int(qMin<qint64>(deadline_.remainingTime(), SmallFetch::kDeadlineMs)));
}

// The signature has been fetched and checked: the body follows, or the
// download ends here.
void frmMain::startBody(const QString &vURL, const QString &saveFile, const QString &refusal)
{
    const std::shared_ptr<SignedProgramCheck> check = pending_.take(saveFile);
    if (!check)
        return;
    // Called from inside the check's own fetch: it goes once that is over.
    QTimer::singleShot(0, this, [check]() {});
    if (!refusal.isEmpty()) {
        refuseBeforeBody(saveFile, refusal);
        return;
    }
    AsyncReadOptions options;
    options.check = check;
    options.maxBytes = check->bodyLimit(updater::maxProgramBytes());
    if (options.maxBytes < updater::maxProgramBytes())
        options.maxBytesReason = minisign::verdictText(minisign::Verdict::LegacyTooLarge);
    options.deadline = deadline_;
    options.minBytesPerSecond = updater::minBytesPerSecond();
    if (!Downloader1->BeginDownload(vURL, saveFile, options)) {
        if (QTreeWidgetItem *row = rowOf(saveFile))
            refusedStart(row);
    }
}

// Nothing of the body was fetched: the row turns red and the closing box
// says why.
void frmMain::refuseBeforeBody(const QString &saveFile, const QString &reason)
{
    failed_ = true;
    reasons_.append(reason);
    int index = 0;
    if (rowOf(saveFile, &index))
        markRowFailed(index);
    if (updateRunning())
        return; // other downloads still run; the batch's end has its box
    cmdDownload->setEnabled(true);
    showEndBox(reasons_);
    close();
}

bool frmMain::updateRunning() const
{
    return !pending_.isEmpty() || Downloader1->saveFiles().size() > 1;
}

// The engine has told why in its box; the row says it failed and the update
// can be started again.
void frmMain::refusedStart(QTreeWidgetItem *row)
{
    failed_ = true;
    markRowFailed(lstDownload->indexOfTopLevelItem(row));
    cmdDownload->setEnabled(true);
}

QProgressBar *frmMain::newProgressBar()
{
    auto *bar = new QProgressBar(lstDownload->viewport());
    bar->setObjectName(QStringLiteral("ProgressBar1_%1").arg(ProgressBar1.size()));
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    bar->setStyleSheet(barStyle(BarColors.at(size_t(colorIndex_))));
    bar->installEventFilter(this);
    IncrementColorIndex();
    return bar;
}

void frmMain::AttachProgressBars()
{
    for (int i = 0; i < lstDownload->topLevelItemCount(); ++i) {
        if (i >= ProgressBar1.size())
            ProgressBar1.append(newProgressBar());
        QProgressBar *bar = ProgressBar1.at(i);
        if (bar->parentWidget() != lstDownload->viewport())
            bar->setParent(lstDownload->viewport());
    }
    PositionProgressBars();
    Subclass1->setTargetWindow(lstDownload);
}

void frmMain::PositionProgressBars()
{
    // Cells are measured from the top of the header; the bars live in the
    // viewport below it.
    const QPoint viewportOrigin =
        lstDownload->viewport()->geometry().topLeft() - lstDownload->contentsRect().topLeft();
    for (int i = 0; i < ProgressBar1.size(); ++i) {
        QRect cell;
        if (ProgressBar1.at(i)->parentWidget() != lstDownload->viewport() ||
            !GetListSubItemRect(lstDownload, i, ColBar, cell))
            return;
        const BarPlacement placement = barPlacement(cell);
        ProgressBar1.at(i)->setGeometry(placement.geometry.translated(-viewportOrigin));
        ProgressBar1.at(i)->setVisible(placement.visible);
    }
}

void frmMain::setRowIcon(int row, int image)
{
    lstDownload->topLevelItem(row)->setIcon(ColProgram, images_.icon(image));
}

// --- handlers -----------------------------------------------------------------

void frmMain::cmdDownload_Click()
{
    cmdDownload->setEnabled(false);
    failed_ = false;
    reasons_.clear();
    pending_.clear();
    deadline_ = QDeadlineTimer(updater::updateDeadlineMs());
    lstDownload->clear();
    for (int i = 0; i < ProgressBar1.size(); ++i)
        showBarValue(i, 0);
    DownloadaFile(QStringLiteral("Varnel主程序升级"), downloadUrl_, kProgramFile);
    AttachProgressBars();
}

void frmMain::cmdExit_Click()
{
    QDesktopServices::openUrl(QUrl(updater::siteUrl()));
}

void frmMain::lstDownload_ColumnClick(int column)
{
    QMessageBox::information(this, updater::appTitle(),
                             QString::number(lstDownload->columnWidth(column)));
}

void frmMain::ProgressBar1_MouseDown(int index)
{
    lstDownload->setFocus();
    if (lstDownload->selectionBehavior() == QAbstractItemView::SelectRows)
        lstDownload->setCurrentItem(lstDownload->topLevelItem(index));
}

QTreeWidgetItem *frmMain::rowOf(const QString &saveFile, int *index) const
{
    for (int i = 0; i < lstDownload->topLevelItemCount(); ++i) {
        if (lstDownload->topLevelItem(i)->data(ColProgram, kKeyRole).toString() == saveFile) {
            if (index)
                *index = i;
            return lstDownload->topLevelItem(i);
        }
    }
    return nullptr;
}

// A bar left alone repaints only once its value has moved by a few pixels'
// worth; the row's bar is to show what its text says at every step.
void frmMain::showBarValue(int row, int value)
{
    if (row >= ProgressBar1.size())
        return;
    QProgressBar *bar = ProgressBar1.at(row);
    bar->setRange(0, 100);
    bar->setValue(value);
    bar->update();
}

void frmMain::Downloader1_DownloadProgress(qint64 curBytes, qint64 maxBytes,
                                           const QString &saveFile)
{
    for (int i = 0; i < lstDownload->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = lstDownload->topLevelItem(i);
        if (row->data(ColProgram, kKeyRole).toString() != saveFile)
            continue;
        row->setText(ColPercent, progresstext::percent(curBytes, maxBytes));
        row->setText(ColRemaining, progresstext::remaining(maxBytes - curBytes));
        showBarValue(i, progresstext::percentValue(curBytes, maxBytes));
        markRowUpdating(i); // "升级完毕" waits for the file to be checked and in place
    }
}

void frmMain::markRowUpdating(int index)
{
    QTreeWidgetItem *row = lstDownload->topLevelItem(index);
    if (row->text(ColStatus) != kUpdating) {
        row->setText(ColStatus, kUpdating);
        setRowIcon(index, SmallImages::Downloading);
    }
}

void frmMain::markRowFailed(int index)
{
    QTreeWidgetItem *row = lstDownload->topLevelItem(index);
    row->setText(ColStatus, kFailed);
    setRowIcon(index, SmallImages::Failed);
    row->setForeground(ColProgram, QColor(255, 0, 0));
    row->setForeground(ColStatus, QColor(255, 0, 0));
    if (index < ProgressBar1.size() && ProgressBar1.at(index)->maximum() == 0)
        showBarValue(index, 0); // no busy bar for a download that has ended
}

// Without a size there is no share to show: the bytes so far and a busy bar.
void frmMain::Downloader1_DownloadReceived(qint64 curBytes, const QString &saveFile)
{
    for (int i = 0; i < lstDownload->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = lstDownload->topLevelItem(i);
        if (row->data(ColProgram, kKeyRole).toString() != saveFile)
            continue;
        row->setText(ColPercent, progresstext::received(curBytes));
        row->setText(ColRemaining, progresstext::unknownSize());
        if (i < ProgressBar1.size())
            ProgressBar1.at(i)->setRange(0, 0);
        markRowUpdating(i);
    }
}

// The congratulation waits until the new file has passed its checks and
// taken the program's place on the disk: all bytes having arrived is not yet
// an update.
void frmMain::Downloader1_DownloadComplete(qint64, const QString &saveFile)
{
    int index = 0;
    QTreeWidgetItem *row = rowOf(saveFile, &index);
    if (!row)
        return;
    row->setText(ColPercent, progresstext::percent(1, 1));
    row->setText(ColRemaining, progresstext::remaining(0));
    row->setText(ColStatus, kDone);
    setRowIcon(index, SmallImages::Finished);
    showBarValue(index, 100);
    QMessageBox box(QMessageBox::NoIcon, updater::appTitle(), QStringLiteral("恭喜你，升级完成！"),
                    QMessageBox::Ok, this);
    box.exec();
}

void frmMain::Downloader1_DownloadError(const QString &saveFile)
{
    failed_ = true;
    if (const QString reason = Downloader1->failureReason(saveFile); !reasons_.contains(reason))
        reasons_.append(reason);
    for (int i = 0; i < lstDownload->topLevelItemCount(); ++i) {
        if (lstDownload->topLevelItem(i)->data(ColProgram, kKeyRole).toString() == saveFile)
            markRowFailed(i);
    }
}

void frmMain::Downloader1_DownloadAllComplete(const QStringList &fileNotDownload)
{
    if (!pending_.isEmpty())
        return; // signatures are still on their way: the update is not over
    for (qsizetype i = 1; i < fileNotDownload.size(); ++i) {
        const QString reason = Downloader1->failureReason(fileNotDownload.at(i));
        if (!reasons_.contains(reason))
            reasons_.append(reason);
    }
    if (!reasons_.isEmpty())
        failed_ = true;
    cmdDownload->setEnabled(true);
    showEndBox(reasons_);
    close();
}

// A good update ends with "Varnel升级完毕"; a failed one says so and that the
// old program is still there, with the reasons (each one line, cut short).
void frmMain::showEndBox(const QStringList &reasons)
{
    if (reasons.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Varnel提示"), QStringLiteral("Varnel升级完毕"));
        return;
    }
    QStringList lines;
    for (const QString &reason : reasons)
        lines.append(netreasons::shortened(reason, 300));
    lines.removeDuplicates();
    QMessageBox::critical(this, QStringLiteral("Varnel提示"),
                          QStringLiteral("Varnel升级失败，原来的程序没有改动。\n\n原因：") +
                              lines.join(QLatin1Char('\n')));
}
