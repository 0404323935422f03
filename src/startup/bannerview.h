#pragma once

#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace varnel
{

// A small read-only view of one web page: the page is fetched in the
// background and its text shown, as plain text, without scroll bars. What
// the site sends is not trusted: no markup takes effect, nothing it names
// (pictures, links) is fetched or opened. A page that cannot be fetched is
// replaced by a line that says so; nothing waits.
class BannerView : public QTextBrowser
{
    Q_OBJECT
  public:
    explicit BannerView(QWidget *parent = nullptr);
    ~BannerView() override;

    void navigate(const QUrl &page);
    QUrl page() const { return page_; }

    // The text of a page as it is shown: its markup dropped, at most
    // kMaxChars characters.
    static QString shownText(const QString &html);
    static constexpr int kMaxChars = 2000;

    // Text of a fetched page, decoded by its declared character set (GBK and
    // GB2312 read as GB18030), UTF-8 when it declares none.
    static QString decodePage(const QByteArray &body, const QByteArray &contentType);

  signals:
    // The page fetch ended: ok when its text is now shown.
    void pageFinished(bool ok);

  private:
    QNetworkReply *get(const QUrl &url);
    void onPageReply(QNetworkReply *reply);
    static QString failureText(QNetworkReply *reply);

    QNetworkAccessManager *network_;
    QUrl page_;
    QNetworkReply *pageReply_ = nullptr;
};

} // namespace varnel
