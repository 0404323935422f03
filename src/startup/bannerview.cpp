#include "bannerview.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>

namespace varnel
{

namespace
{

constexpr int kTransferTimeoutMs = 20000;
constexpr qint64 kMaxBytes = 4 * 1024 * 1024; // a banner, not a download

QByteArray charsetOf(const QByteArray &contentType)
{
    static const QRegularExpression re(QStringLiteral(R"(charset\s*=\s*"?([A-Za-z0-9._:-]+))"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto match = re.match(QString::fromLatin1(contentType));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QStringDecoder decoderNamed(QByteArray name)
{
    name = name.trimmed().toLower();
    if (name == "gbk" || name == "gb2312" || name == "x-gbk" || name == "cp936")
        name = "GB18030";
    return QStringDecoder(name.constData());
}

} // namespace

BannerView::BannerView(QWidget *parent)
    : QTextBrowser(parent), network_(new QNetworkAccessManager(this))
{
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setAcceptRichText(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

BannerView::~BannerView()
{
    // Replies in flight go first, while their handlers still have a whole view.
    delete network_;
}

void BannerView::navigate(const QUrl &page)
{
    if (pageReply_)
        pageReply_->abort();
    page_ = page;
    QNetworkRequest request(page);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = network_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxBytes)
            reply->abort();
    });
    pageReply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onPageReply(reply); });
}

// Empty when the page has come.
QString BannerView::failureText(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0 && status / 100 != 2)
        return QStringLiteral("Varnel网站暂时打不开（HTTP %1），网站的消息现在看不到。")
            .arg(status);
    if (reply->error() != QNetworkReply::NoError)
        return QStringLiteral("无法连接到Varnel网站，网站的消息现在看不到。");
    return QString();
}

void BannerView::onPageReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != pageReply_)
        return; // replaced by a later navigate
    pageReply_ = nullptr;
    if (const QString failure = failureText(reply); !failure.isEmpty()) {
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setPlainText(failure);
        emit pageFinished(false);
        return;
    }
    const QByteArray body = reply->readAll();
    const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    const QString text = shownText(decodePage(body, type));
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setPlainText(text);
    emit pageFinished(true);
}

QString BannerView::shownText(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    QString text = document.toPlainText().trimmed();
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    if (text.size() > kMaxChars)
        text = text.left(kMaxChars - 1) + QChar(0x2026);
    return text;
}

QString BannerView::decodePage(const QByteArray &body, const QByteArray &contentType)
{
    const QByteArray declared = charsetOf(contentType);
    if (!declared.isEmpty()) {
        QStringDecoder decoder = decoderNamed(declared);
        if (decoder.isValid())
            return decoder.decode(body);
    }
    static const QRegularExpression meta(
        QStringLiteral(R"(<meta[^>]+charset\s*=\s*["']?([A-Za-z0-9._:-]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = meta.match(QString::fromLatin1(body.left(4096)));
    if (match.hasMatch()) {
        QStringDecoder decoder = decoderNamed(match.captured(1).toLatin1());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

} // namespace varnel
