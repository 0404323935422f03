#include "bannerview.h"

#include <QDesktopServices>
#include <QImage>
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
// Breaking lines only between words costs time that grows with the square of
// the longest word: a page far larger than a banner, which may be one endless
// word of junk, is broken anywhere instead.
constexpr int kWrapAnywhereFrom = 64 * 1024; // characters

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
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QTextBrowser::anchorClicked, this,
            [this](const QUrl &link) { QDesktopServices::openUrl(page_.resolved(link)); });
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
    requested_.clear();
    QNetworkReply *reply = get(page);
    pageReply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onPageReply(reply); });
}

QNetworkReply *BannerView::get(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply *reply = network_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxBytes)
            reply->abort();
    });
    return reply;
}

bool BannerView::succeeded(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->error() == QNetworkReply::NoError && (status == 0 || status / 100 == 2);
}

void BannerView::onPageReply(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != pageReply_)
        return; // replaced by a later navigate
    pageReply_ = nullptr;
    if (!succeeded(reply)) {
        emit pageFinished(false);
        return;
    }
    const QByteArray body = reply->readAll();
    const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    document()->setMetaInformation(QTextDocument::DocumentUrl, page_.toString());
    const QString html = decodePage(body, type);
    setWordWrapMode(html.size() > kWrapAnywhereFrom ? QTextOption::WrapAnywhere
                                                    : QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHtml(html);
    emit pageFinished(true);
}

QVariant BannerView::loadResource(int type, const QUrl &name)
{
    const QUrl url = page_.resolved(name);
    const bool remote = url.scheme() == u"http" || url.scheme() == u"https";
    if (type != QTextDocument::ImageResource || !remote)
        return QTextBrowser::loadResource(type, name);
    if (!requested_.contains(url)) {
        requested_.insert(url);
        QNetworkReply *reply = get(url);
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, name] { onImageReply(reply, name); });
    }
    return {};
}

void BannerView::onImageReply(QNetworkReply *reply, const QUrl &name)
{
    reply->deleteLater();
    QImage image;
    if (!succeeded(reply) || !image.loadFromData(reply->readAll()))
        return;
    document()->addResource(QTextDocument::ImageResource, name, image);
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
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
