#pragma once

#include <QSet>
#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace varnel
{

// A small read-only view of one web page: the page and its pictures are
// fetched in the background and shown without scroll bars. A page that cannot
// be fetched leaves the view as it was; nothing is reported and nothing waits.
// Links open in the user's browser.
class BannerView : public QTextBrowser
{
    Q_OBJECT
  public:
    explicit BannerView(QWidget *parent = nullptr);
    ~BannerView() override;

    void navigate(const QUrl &page);
    QUrl page() const { return page_; }

    // Text of a fetched page, decoded by its declared character set (GBK and
    // GB2312 read as GB18030), UTF-8 when it declares none.
    static QString decodePage(const QByteArray &body, const QByteArray &contentType);

  signals:
    // The page fetch ended: ok when its text is now shown.
    void pageFinished(bool ok);

  protected:
    QVariant loadResource(int type, const QUrl &name) override;

  private:
    QNetworkReply *get(const QUrl &url);
    void onPageReply(QNetworkReply *reply);
    void onImageReply(QNetworkReply *reply, const QUrl &name);
    static bool succeeded(QNetworkReply *reply);

    QNetworkAccessManager *network_;
    QUrl page_;
    QNetworkReply *pageReply_ = nullptr;
    QSet<QUrl> requested_;
};

} // namespace varnel
