#include "smallfetch.h"

#include "netreasons.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

SmallFetch::SmallFetch(const QString &url, int deadlineMs, QObject *parent)
    : QObject(parent), net_(new QNetworkAccessManager(this))
{
    QTimer::singleShot(std::max(deadlineMs, 0), this, [this, deadlineMs]() {
        end(QStringLiteral("服务器在 %1 秒内没有发完这个小文件").arg((deadlineMs + 999) / 1000));
    });
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    reply_ = net_->get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, [this]() {
        const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
        if (netreasons::statusCode(reply_) / 100 == 2 && length.isValid() &&
            length.toLongLong() > kLimit)
            end(QStringLiteral("服务器发来的文件太大"));
    });
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kLimit)
            end(QStringLiteral("服务器发来的文件太大"));
    });
    connect(reply_, &QNetworkReply::finished, this, &SmallFetch::onFinished);
}

SmallFetch::~SmallFetch()
{
    if (reply_)
        reply_->disconnect(this);
}

void SmallFetch::onFinished()
{
    const int status = netreasons::statusCode(reply_);
    if (status >= 300)
        end(netreasons::httpStatus(reply_));
    else if (reply_->error() != QNetworkReply::NoError)
        end(netreasons::networkError(reply_));
    else
        end(QString());
}

void SmallFetch::end(const QString &error)
{
    if (finished_)
        return;
    finished_ = true;
    error_ = error;
    if (error.isEmpty()) {
        body_ = reply_->readAll();
        if (body_.size() > kLimit) {
            body_.clear();
            error_ = QStringLiteral("服务器发来的文件太大");
        }
    }
    reply_->disconnect(this);
    reply_->deleteLater(); // possibly inside one of its own signals
    reply_ = nullptr;
    emit finished();
}
