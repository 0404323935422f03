#include "downloader.h"

#include "bodycheck.h"
#include "httpreadservice.h"
#include "stagedfile.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

Downloader::Downloader(QObject *parent) : Downloader(new HttpReadService, parent) {}

Downloader::Downloader(ReadService *service, QObject *parent) : QObject(parent), service_(service)
{
    service_->setParent(this);
    connect(service_, &ReadService::ReadProgress, this, &Downloader::onReadProgress);
    connect(service_, &ReadService::ReadComplete, this, &Downloader::onReadComplete);
    resetLists();
}

Downloader::~Downloader()
{
    if (SaveFiles.size() > 1)
        CancelAllDownload();
}

void Downloader::resetLists()
{
    SaveFiles = QStringList{QString()};
    FileStatus = QList<quint8>{0};
    ++batch_;
    dropChecks();
}

// A check may be the caller of the verdict that ends the batch, so the
// checks are let go once the handling of the current notification is over.
void Downloader::dropChecks()
{
    if (checks_.isEmpty())
        return;
    QMetaObject::invokeMethod(
        this, [retired = std::move(checks_)]() {}, Qt::QueuedConnection);
    checks_.clear();
}

bool Downloader::BeginDownload(const QString &url, const QString &saveFile,
                               const AsyncReadOptions &options)
{
    AsyncReadOptions effective = options;
    if (effective.stageBeside.isEmpty())
        effective.stageBeside = saveFile;
    if (const auto error = service_->StartRead(url, saveFile, effective)) {
        showError(error->code, Operation::BeginDownload, error->description);
        return false;
    }
    if (SaveFiles.size() == 1)
        reasons_.clear(); // a new batch
    reasons_.remove(saveFile);
    if (options.check)
        checks_.insert(saveFile, options.check);
    else
        checks_.remove(saveFile);
    SaveFiles.append(saveFile);
    FileStatus.append(kRunning);
    return true;
}

bool Downloader::CancelAllDownload()
{
    for (qsizetype i = 1; i < SaveFiles.size(); ++i)
        service_->CancelRead(SaveFiles.at(i)); // a read that has ended: nothing to do
    resetLists();
    return true;
}

void Downloader::onReadProgress(const ReadState &state)
{
    if (state.BytesMax != 0)
        emit DownloadProgress(state.BytesRead, state.BytesMax, state.Key);
    else if (state.StatusCode == ReadCode::Downloading && state.BytesRead > 0)
        emit DownloadReceived(state.BytesRead, state.Key);
    if (state.StatusCode == ReadCode::Error) {
        // A cancelled read reports nothing more, so the download ends here.
        service_->CancelRead(state.Key);
        failed(state.Key, state.Status);
        storeStatus(state.Key, ReadCode::Error);
        CheckAllComplete();
    }
}

void Downloader::onReadComplete(const ReadState &state)
{
    const std::shared_ptr<BodyCheck> check = checks_.value(state.Key);
    if (state.StatusCode == ReadCode::EndDownload && check && state.Data) {
        // The download stays running until the check has spoken.
        QPointer<Downloader> self(this);
        const quint64 batch = batch_;
        check->check(*state.Data, [self, batch, state](const QString &refusal) {
            if (self && self->batch_ == batch)
                self->finishCompletion(state, refusal);
        });
        return;
    }
    finishCompletion(state, QString());
}

void Downloader::finishCompletion(const ReadState &state, const QString &refusal)
{
    int code = state.StatusCode;
    if (code == ReadCode::EndDownload) {
        if (!refusal.isEmpty()) {
            code = ReadCode::Error;
            failed(state.Key, refusal);
        } else if (saveBody(state)) {
            emit DownloadComplete(state.BytesMax, state.Key);
        } else {
            code = ReadCode::Error;
            failed(state.Key, reasons_.value(state.Key));
        }
    } else if (code == ReadCode::Error) {
        service_->CancelRead(state.Key);
        failed(state.Key, state.Status);
    }
    storeStatus(state.Key, code);
    CheckAllComplete();
}

bool Downloader::saveBody(const ReadState &state)
{
    if (!state.Data) {
        reasons_.insert(state.Key, QStringLiteral("没有收到下载内容"));
        return false;
    }
    if (!state.Data->commit(state.Key)) {
        reasons_.insert(state.Key, state.Data->errorString());
        return false;
    }
    return true;
}

void Downloader::failed(const QString &saveFile, const QString &reason)
{
    reasons_.insert(saveFile, reason.isEmpty() ? QStringLiteral("下载失败") : reason);
    emit DownloadError(saveFile);
}

// The entry of a read is the first one with its key that still runs; a key
// that matches nothing running falls back to its first entry.
void Downloader::storeStatus(const QString &saveFile, int code)
{
    qsizetype match = -1;
    for (qsizetype i = 1; i < SaveFiles.size(); ++i) {
        if (SaveFiles.at(i) != saveFile)
            continue;
        if (FileStatus.at(i) == kRunning) {
            match = i;
            break;
        }
        if (match < 0)
            match = i;
    }
    if (match > 0)
        FileStatus[match] = quint8(code);
}

void Downloader::CheckAllComplete()
{
    QStringList notDownloaded{QString()};
    for (qsizetype i = 1; i < FileStatus.size(); ++i) {
        if (FileStatus.at(i) == ReadCode::Error)
            notDownloaded.append(SaveFiles.at(i));
        else if (FileStatus.at(i) != ReadCode::EndDownload)
            return;
    }
    CancelAllDownload();
    emit DownloadAllComplete(notDownloaded);
}

QString Downloader::errorText(int code, Operation operation, const QString &description)
{
    const QString where = operation == Operation::BeginDownload
                              ? QStringLiteral(":错误在调用 BeginDownload().")
                              : QStringLiteral(":错误在调用\u3000SizeIt().");
    return QString::number(code) + where + QStringLiteral("\r\n\r\n错误描述: ") + description;
}

void Downloader::showError(int code, Operation operation, const QString &description)
{
    QMessageBox::critical(qobject_cast<QWidget *>(parent()), QStringLiteral("错误"),
                          errorText(code, operation, description));
}
