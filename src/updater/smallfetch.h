#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches one small file (a signature) over HTTP into memory, following
// redirects. Starts when constructed; finished() comes once, on the UI
// thread, with either the body or the reason it could not be had. A body
// longer than kLimit, or a fetch that takes longer than deadlineMs in all,
// is a failure.
class SmallFetch : public QObject
{
    Q_OBJECT
  public:
    static constexpr qint64 kLimit = 16 * 1024; // a longer body is no small file
    static constexpr int kTimeoutMs = 30000;    // so long without a byte: a failure
    static constexpr int kDeadlineMs = 120000;

    explicit SmallFetch(const QString &url, int deadlineMs = kDeadlineMs,
                        QObject *parent = nullptr);
    ~SmallFetch() override;

    bool isFinished() const { return finished_; }
    QByteArray body() const { return body_; }
    QString error() const { return error_; } // in words; empty on success

  signals:
    void finished();

  private:
    void onFinished();
    void end(const QString &error);

    QNetworkAccessManager *net_;
    QNetworkReply *reply_ = nullptr;
    QByteArray body_;
    QString error_;
    bool finished_ = false;
};
