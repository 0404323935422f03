#pragma once

#include "readservice.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

// Downloads any number of files at once through a ReadService and reports
// them by their destination path. Each file reaches its destination only
// whole and only once its BodyCheck (if any) has accepted it: the body is
// staged beside it and renamed over it (executable, on the disk), so a
// failed download leaves the old file as it was. The batch ends when every
// started download has succeeded or failed; DownloadAllComplete then lists
// the failed ones after an empty placeholder at index 0.
class Downloader : public QObject
{
    Q_OBJECT
  public:
    explicit Downloader(QObject *parent = nullptr);    // reads over HTTP
    Downloader(ReadService *service, QObject *parent); // takes the service over
    ~Downloader() override;

    // Starts fetching url into saveFile. When the read cannot start, shows
    // the "错误" box, records nothing and returns false.
    bool BeginDownload(const QString &url, const QString &saveFile,
                       const AsyncReadOptions &options = {});
    // Stops every read without reporting it and empties the batch.
    bool CancelAllDownload();

    // The batch as it stands: index 0 is the placeholder ("" and 0);
    // status 255 = running, 6 = saved, 0 = failed, else the code that arrived.
    QStringList saveFiles() const { return SaveFiles; }
    QList<quint8> fileStatus() const { return FileStatus; }
    // Why the last download into saveFile failed, in words; empty when it
    // did not. Kept until the next batch starts.
    QString failureReason(const QString &saveFile) const { return reasons_.value(saveFile); }

    enum class Operation { BeginDownload, SizeIt };
    // The text of the "错误" box.
    static QString errorText(int code, Operation operation, const QString &description);

    static constexpr quint8 kRunning = 255;

  signals:
    void DownloadProgress(qint64 curBytes, qint64 maxBytes, const QString &saveFile);
    // Bytes arrived for a download whose size the server did not say.
    void DownloadReceived(qint64 curBytes, const QString &saveFile);
    void DownloadError(const QString &saveFile);
    void DownloadComplete(qint64 maxBytes, const QString &saveFile);
    void DownloadAllComplete(const QStringList &fileNotDownload);

  private:
    void onReadProgress(const ReadState &state);
    void onReadComplete(const ReadState &state);
    void finishCompletion(const ReadState &state, const QString &refusal);
    bool saveBody(const ReadState &state);
    void failed(const QString &saveFile, const QString &reason);
    void storeStatus(const QString &saveFile, int code);
    void CheckAllComplete();
    void showError(int code, Operation operation, const QString &description);
    void resetLists();
    void dropChecks();

    ReadService *service_;
    QStringList SaveFiles;
    QList<quint8> FileStatus;
    QHash<QString, QString> reasons_;
    QHash<QString, std::shared_ptr<BodyCheck>> checks_; // of the running downloads
    quint64 batch_ = 0; // counts the resets: a verdict for an earlier batch is void
};
