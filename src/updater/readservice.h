#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class BodyCheck;
class StagedFile;

// Status codes of a read, numbered like the URL-moniker bind states; 0 marks
// an error.
namespace ReadCode
{
enum : int {
    Error = 0,
    Connecting = 2,
    Redirecting = 3,
    BeginDownload = 4,
    Downloading = 5,
    EndDownload = 6,
    SendingRequest = 11,
};
} // namespace ReadCode

// One notification of a read.
struct ReadState {
    QString Key;          // the key the read was started with
    QString Target;       // the address being read
    qint64 BytesRead = 0; // received so far
    qint64 BytesMax = 0;  // total size; 0 while unknown
    QString Status;       // what happened, in words (the failure reason on code 0)
    int StatusCode = ReadCode::Error;
    // Code 6 only: the whole body, staged on disk next to its destination.
    std::shared_ptr<StagedFile> Data;
};

// How a read runs. Defaults apply to what the caller leaves alone.
struct AsyncReadOptions {
    QString stageBeside;           // the body goes to a temporary file beside this path
    int transferTimeoutMs = 30000; // a read that receives nothing for this long fails
    int maxRedirects = 10;         // redirects followed before the read fails
    qint64 bufferBytes = 1 << 20;  // at most this much of the body waits in memory
    qint64 maxBytes = 0;           // a longer body (announced or received) fails; 0: any
    QString maxBytesReason;        // why, when not the plain size (default texts)
    QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever); // the read fails then
    // A read that receives less than this many bytes per second, averaged
    // over each rateWindowMs from its start, fails; 0: any rate.
    qint64 minBytesPerSecond = 0;
    int rateWindowMs = 120000;
    // Asked by the Downloader before a body that has arrived takes its
    // destination's place; none: every whole body does.
    std::shared_ptr<BodyCheck> check;
};

// Why a read could not start.
namespace ReadStartCode
{
enum : int {
    BadAddress = 1, // not an http or https address
    KeyBusy = 2,    // a read with that key is still running
};
} // namespace ReadStartCode

struct ReadStartError {
    int code = 0;
    QString description;
};

// Reads addresses in the background and reports on the UI thread, one
// notification at a time: a notification that becomes due while another is
// being handled waits until that handler has returned.
class ReadService : public QObject
{
    Q_OBJECT
  public:
    using QObject::QObject;

    // Begins reading target and returns at once. Every started read ends
    // with exactly one ReadComplete (code 6 with the body, or code 0) unless
    // it is cancelled first.
    virtual std::optional<ReadStartError> StartRead(const QString &target, const QString &key,
                                                    const AsyncReadOptions &options) = 0;
    // Stops the read with that key; it reports nothing more and its staged
    // body is removed. False when no such read runs.
    virtual bool CancelRead(const QString &key) = 0;

  signals:
    void ReadProgress(const ReadState &state);
    void ReadComplete(const ReadState &state);
};
