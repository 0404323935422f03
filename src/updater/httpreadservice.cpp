#include "httpreadservice.h"

#include "netreasons.h"
#include "stagedfile.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <optional>

struct HttpReadService::Read {
    QString key;
    QString target;
    QNetworkReply *reply = nullptr;
    std::shared_ptr<StagedFile> body;
    bool begun = false; // a 2xx answer's headers have arrived
    bool done = false;  // ended or cancelled: it reports nothing more
    qint64 total = 0;   // announced length, 0 while unknown
    qint64 maxBytes = 0;
    QString maxBytesReason;
    QTimer *watchdog = nullptr; // deadline and minimum rate
    // The notification that says every byte has arrived waits until the
    // read has really succeeded, so nobody hears "100%" of a failing read.
    std::optional<ReadState> held;
};

namespace
{
constexpr int kWatchMs = 1000;

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', bytes < (10 << 20) ? 1 : 0);
}

bool validAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}
} // namespace

HttpReadService::HttpReadService(QObject *parent)
    : ReadService(parent), net_(new QNetworkAccessManager(this))
{
}

HttpReadService::~HttpReadService()
{
    for (const auto &entry : reads_) {
        if (entry.second->reply)
            entry.second->reply->disconnect(this);
    }
}

bool HttpReadService::canRead(const QString &target)
{
    return validAddress(QUrl(target, QUrl::StrictMode));
}

std::optional<ReadStartError> HttpReadService::StartRead(const QString &target, const QString &key,
                                                         const AsyncReadOptions &options)
{
    const QUrl url(target, QUrl::StrictMode);
    if (!validAddress(url))
        return ReadStartError{ReadStartCode::BadAddress, QStringLiteral("下载地址无效：") + target};
    if (reads_.count(key))
        return ReadStartError{ReadStartCode::KeyBusy,
                              QStringLiteral("“%1”正在下载，不能同时再下载一次").arg(key)};

    auto read = std::make_shared<Read>();
    read->key = key;
    read->target = target;
    read->body = std::make_shared<StagedFile>(options.stageBeside);
    const std::weak_ptr<Read> weak = read;
    if (!read->body->isOpen()) {
        // Nothing can be saved: the read fails before any network traffic.
        reads_[key] = read;
        QMetaObject::invokeMethod(
            this,
            [this, weak]() {
                if (const ReadPtr r = weak.lock(); r && !r->done)
                    fail(r, r->body->errorString());
            },
            Qt::QueuedConnection);
        return std::nullopt;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(options.maxRedirects);
    request.setTransferTimeout(options.transferTimeoutMs);
    // The body is saved as sent: no transparent decompression, so the
    // announced length is the length of what lands in the file.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    read->reply = net_->get(request);
    read->reply->setReadBufferSize(options.bufferBytes);
    read->maxBytes = options.maxBytes;
    read->maxBytesReason = options.maxBytesReason;
    reads_[key] = read;
    connectReply(read);
    watch(read, options);
    QMetaObject::invokeMethod(
        this,
        [this, weak]() {
            if (const ReadPtr r = weak.lock(); r && !r->done)
                progress(r, ReadCode::SendingRequest, QStringLiteral("正在发送请求"));
        },
        Qt::QueuedConnection);
    return std::nullopt;
}

bool HttpReadService::CancelRead(const QString &key)
{
    const qsizetype queued = pending_.removeIf(
        [&key](const std::pair<bool, ReadState> &n) { return n.second.Key == key; });
    const auto it = reads_.find(key);
    if (it == reads_.end())
        return queued > 0;
    detach(it->second); // its staged body goes with the last reference
    return true;
}

// Takes a read out of the running ones; its reply says nothing more and goes
// away (deleting a reply stops its transfer; aborting it could happen inside
// one of its own signals, which it does not allow).
void HttpReadService::detach(ReadPtr read) // a copy: the map's own may go
{
    read->done = true;
    if (read->watchdog) { // possibly inside its own timeout
        read->watchdog->stop();
        read->watchdog->deleteLater();
        read->watchdog = nullptr;
    }
    const auto it = reads_.find(read->key);
    if (it != reads_.end() && it->second == read)
        reads_.erase(it);
    if (read->reply) {
        read->reply->disconnect(this);
        read->reply->deleteLater();
    }
}

void HttpReadService::connectReply(const ReadPtr &read)
{
    QNetworkReply *reply = read->reply;
    const std::weak_ptr<Read> weak = read;
    // Runs f with the read while it is still running.
    const auto with = [weak](auto f) {
        return [weak, f](auto &&...args) {
            if (const ReadPtr r = weak.lock(); r && !r->done)
                f(r, args...);
        };
    };
    connect(reply, &QNetworkReply::socketStartedConnecting, this, with([this](const ReadPtr &r) {
                progress(r, ReadCode::Connecting, QStringLiteral("正在连接"));
            }));
    connect(reply, &QNetworkReply::redirected, this, with([this](const ReadPtr &r, const QUrl &to) {
                progress(r, ReadCode::Redirecting, QStringLiteral("重定向到 ") + to.toString());
            }));
    connect(reply, &QNetworkReply::metaDataChanged, this,
            with([this](const ReadPtr &r) { checkStatus(r); }));
    connect(reply, &QNetworkReply::readyRead, this,
            with([this](const ReadPtr &r) { onReadyRead(r); }));
    connect(reply, &QNetworkReply::downloadProgress, this,
            with([this](const ReadPtr &r, qint64 received, qint64 total) {
                onProgress(r, received, total);
            }));
    connect(reply, &QNetworkReply::finished, this,
            with([this](const ReadPtr &r) { onFinished(r); }));
}

// True once the answer is a 2xx whose body is ours; fails the read on a
// final status other than 2xx. The read may have ended when this returns.
bool HttpReadService::checkStatus(const ReadPtr &read)
{
    const int status = netreasons::statusCode(read->reply);
    if (status == 0 || (status >= 300 && status < 400))
        return false; // no answer yet, or a redirect being followed
    if (status < 200 || status >= 300) {
        fail(read, netreasons::httpStatus(read->reply));
        return false;
    }
    const QByteArray encoding = read->reply->rawHeader("Content-Encoding").trimmed();
    if (!encoding.isEmpty() && encoding.compare("identity", Qt::CaseInsensitive) != 0) {
        fail(read, QStringLiteral("服务器把文件压缩成“%1”格式发送，下载的内容不能直接使用")
                       .arg(QString::fromLatin1(encoding)));
        return false;
    }
    if (!read->begun) {
        read->begun = true;
        const QVariant length = read->reply->header(QNetworkRequest::ContentLengthHeader);
        read->total = length.isValid() ? length.toLongLong() : 0;
        if (read->maxBytes > 0 && read->total > read->maxBytes) {
            fail(read,
                 !read->maxBytesReason.isEmpty()
                     ? read->maxBytesReason
                     : QStringLiteral("服务器要发来的文件太大（%1 MB），超过了允许的上限（%2 MB）")
                           .arg(megabytes(read->total), megabytes(read->maxBytes)));
            return false;
        }
        progress(read, ReadCode::BeginDownload, QStringLiteral("开始下载"));
    }
    return true;
}

// False (and the read failed) when `more` bytes would take the body past
// its limit.
bool HttpReadService::withinLimit(const ReadPtr &read, qint64 more)
{
    if (read->maxBytes <= 0 || read->body->size() + more <= read->maxBytes)
        return true;
    fail(read, !read->maxBytesReason.isEmpty()
                   ? read->maxBytesReason
                   : QStringLiteral("服务器发来的数据超过了允许的上限（%1 MB），已停止下载")
                         .arg(megabytes(read->maxBytes)));
    return false;
}

// Once a second: past the deadline, or fewer bytes in the last rate window
// than the minimum rate asks for, the read fails.
void HttpReadService::watch(const ReadPtr &read, const AsyncReadOptions &options)
{
    if (options.deadline.isForever() && options.minBytesPerSecond <= 0)
        return;
    read->watchdog = new QTimer(this);
    read->watchdog->setInterval(kWatchMs);
    const std::weak_ptr<Read> weak = read;
    auto window = std::make_shared<std::pair<QDeadlineTimer, qint64>>(
        QDeadlineTimer(options.rateWindowMs), 0);
    connect(read->watchdog, &QTimer::timeout, this,
            [this, weak, window, deadline = options.deadline, minRate = options.minBytesPerSecond,
             windowMs = options.rateWindowMs]() {
                const ReadPtr r = weak.lock();
                if (!r || r->done)
                    return;
                if (deadline.hasExpired()) {
                    fail(r, QStringLiteral("下载超过了规定的时间还没有完成，已停止"
                                           "（服务器发得太慢，或有意拖延）"));
                    return;
                }
                if (minRate <= 0 || !window->first.hasExpired())
                    return;
                const qint64 received = r->body->size() - window->second;
                if (received * 1000 < minRate * windowMs) {
                    fail(r, QStringLiteral("下载太慢：%1 秒内只收到 %2 字节，每秒至少要 %3 字节")
                                .arg(windowMs / 1000)
                                .arg(received)
                                .arg(minRate));
                    return;
                }
                *window = {QDeadlineTimer(windowMs), r->body->size()};
            });
    read->watchdog->start();
}

void HttpReadService::onReadyRead(const ReadPtr &read)
{
    const bool ours = read->begun || checkStatus(read);
    if (read->done)
        return;
    const QByteArray bytes = read->reply->readAll();
    if (!ours || !withinLimit(read, bytes.size()))
        return;
    if (!read->body->write(bytes))
        fail(read, read->body->errorString());
}

void HttpReadService::onProgress(const ReadPtr &read, qint64 received, qint64 total)
{
    if (!read->begun)
        return;
    ReadState state;
    state.Key = read->key;
    state.Target = read->target;
    state.BytesRead = received;
    state.BytesMax = qMax<qint64>(total, 0);
    state.Status = QStringLiteral("正在下载");
    state.StatusCode = ReadCode::Downloading;
    if (total > 0 && received >= total) {
        read->held = state;
        return;
    }
    notify(false, state);
}

void HttpReadService::onFinished(const ReadPtr &read)
{
    QNetworkReply *reply = read->reply;
    if (reply->error() != QNetworkReply::NoError && netreasons::statusCode(reply) < 400) {
        fail(read, netreasons::networkError(reply));
        return;
    }
    const bool ours = checkStatus(read);
    if (read->done)
        return;
    if (!ours) {
        fail(read, QStringLiteral("服务器没有给出下载的文件"));
        return;
    }
    const QByteArray rest = reply->readAll();
    if (!withinLimit(read, rest.size()))
        return;
    if (!read->body->write(rest)) {
        fail(read, read->body->errorString());
        return;
    }
    if (read->total > 0 && read->body->size() != read->total) {
        fail(read, QStringLiteral("下载的数据不完整（收到 %1 字节，应为 %2 字节）")
                       .arg(read->body->size())
                       .arg(read->total));
        return;
    }
    succeed(read);
}

void HttpReadService::fail(const ReadPtr &read, const QString &reason)
{
    detach(read);
    ReadState state;
    state.Key = read->key;
    state.Target = read->target;
    state.BytesRead = read->body->size();
    state.BytesMax = read->total;
    state.Status = reason;
    state.StatusCode = ReadCode::Error;
    read->body.reset(); // the staged body is dropped now
    notify(true, state);
}

void HttpReadService::succeed(const ReadPtr &read)
{
    detach(read);
    ReadState state;
    state.Key = read->key;
    state.Target = read->target;
    state.BytesRead = read->body->size();
    state.BytesMax = read->total > 0 ? read->total : read->body->size();
    state.Status = QStringLiteral("下载完成");
    state.StatusCode = ReadCode::EndDownload;
    state.Data = std::move(read->body);
    if (read->held)
        notify(false, *read->held);
    notify(true, state);
}

void HttpReadService::progress(const ReadPtr &read, int code, const QString &status)
{
    ReadState state;
    state.Key = read->key;
    state.Target = read->target;
    state.Status = status;
    state.StatusCode = code;
    notify(false, state);
}

// Delivers notifications one at a time: one that becomes due while a
// handler runs (say, inside a message box it shows) waits for it to return.
void HttpReadService::notify(bool complete, const ReadState &state)
{
    pending_.append({complete, state});
    if (delivering_)
        return;
    delivering_ = true;
    QPointer<HttpReadService> self(this);
    while (!pending_.isEmpty()) {
        const auto [isComplete, next] = pending_.takeFirst();
        if (isComplete)
            emit ReadComplete(next);
        else
            emit ReadProgress(next);
        if (!self)
            return;
    }
    delivering_ = false;
}
