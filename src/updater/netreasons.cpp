#include "netreasons.h"

#include <QNetworkReply>

namespace netreasons
{

namespace
{
// A redirect to an address that cannot be read names the scheme it was sent
// to, not the one it came from.
QString unsupportedAddress(QNetworkReply *reply)
{
    QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (!target.isValid() && !reply->rawHeader("Location").isEmpty())
        target = reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
    if (target.isValid() && !target.scheme().isEmpty())
        return QStringLiteral("服务器把下载转到了不支持的地址（%1）")
            .arg(shortened(target.scheme(), 20));
    return QStringLiteral("不支持这种下载地址（%1）").arg(shortened(reply->url().scheme(), 20));
}
} // namespace

QString networkError(QNetworkReply *reply)
{
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("无法连接到服务器（连接被拒绝）");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务器提前断开了连接");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer timeout
        return QStringLiteral("服务器长时间没有响应");
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("重定向次数过多");
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("不安全的重定向");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("无法建立安全连接，服务器的证书不可信或不属于这个网站（%1）")
            .arg(shortened(reply->errorString()));
    case QNetworkReply::ProtocolUnknownError:
        return unsupportedAddress(reply);
    default:
        return QStringLiteral("网络错误（%1）").arg(shortened(reply->errorString()));
    }
}

QString shortened(const QString &text, int limit)
{
    QString line = text.simplified();
    if (line.size() > limit)
        line = line.left(limit - 1) + QChar(0x2026);
    return line;
}

int statusCode(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString httpStatus(QNetworkReply *reply)
{
    const int status = statusCode(reply);
    QString what;
    if (status == 404 || status == 410)
        what = QStringLiteral("服务器上找不到这个文件");
    else if (status == 401 || status == 403)
        what = QStringLiteral("服务器拒绝提供这个文件");
    else if (status >= 500)
        what = QStringLiteral("服务器出错");
    else
        what = QStringLiteral("服务器没有给出这个文件");
    const QString phrase =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    return QStringLiteral("%1（HTTP %2%3）")
        .arg(what)
        .arg(status)
        .arg(phrase.isEmpty() ? QString() : QLatin1Char(' ') + shortened(phrase, 60));
}

} // namespace netreasons
