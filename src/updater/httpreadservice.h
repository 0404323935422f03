#pragma once

#include "readservice.h"

#include <QList>

#include <map>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Reads http and https addresses with QNetworkAccessManager. The body streams
// into a file staged beside AsyncReadOptions::stageBeside; only a complete
// 2xx answer ends with code 6. Any other status, a network error, a body
// shorter than announced, a body longer than the options allow, a read that
// passes its deadline or falls below its minimum rate, or a write failure
// ends with code 0 and the reason in Status; the staged file is then gone.
// Redirects are followed.
class HttpReadService : public ReadService
{
    Q_OBJECT
  public:
    explicit HttpReadService(QObject *parent = nullptr);
    ~HttpReadService() override;

    // Whether StartRead takes this address (an http or https one with a host).
    static bool canRead(const QString &target);

    std::optional<ReadStartError> StartRead(const QString &target, const QString &key,
                                            const AsyncReadOptions &options) override;
    bool CancelRead(const QString &key) override;

  private:
    struct Read;
    using ReadPtr = std::shared_ptr<Read>;

    void connectReply(const ReadPtr &read);
    void onReadyRead(const ReadPtr &read);
    void onProgress(const ReadPtr &read, qint64 received, qint64 total);
    void onFinished(const ReadPtr &read);
    bool checkStatus(const ReadPtr &read);
    bool withinLimit(const ReadPtr &read, qint64 more);
    void watch(const ReadPtr &read, const AsyncReadOptions &options);
    void fail(const ReadPtr &read, const QString &reason);
    void succeed(const ReadPtr &read);
    void progress(const ReadPtr &read, int code, const QString &status);
    void detach(ReadPtr read);
    void notify(bool complete, const ReadState &state);

    QNetworkAccessManager *net_;
    std::map<QString, ReadPtr> reads_; // the reads still running, by key
    QList<std::pair<bool, ReadState>> pending_;
    bool delivering_ = false;
};
