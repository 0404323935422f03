#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
template <typename T> class QFutureWatcher;

// The named controls of form "formsg" of a notice page: input values,
// textarea texts, selected options. found is false when the page has no such form.
struct NoticeForm {
    bool found = false;
    QHash<QString, QString> values;
};

// Reads form "formsg" out of a page body. contentType is the HTTP header
// (its charset wins over the page's meta); GB2312/GBK pages are decoded.
NoticeForm parseNoticeForm(const QByteArray &body, const QByteArray &contentType = {});

// The page's text: the charset of contentType, else the one a <meta> of the
// page declares, else UTF-8. GB2312 and GBK are read as GB18030.
QString decodePage(const QByteArray &body, const QByteArray &contentType = {});

// The notice page of the product site, fetched in the background. While no
// page is loaded (before the first answer, while reloading, after a failure)
// every value is missing.
class NoticePage : public QObject
{
    Q_OBJECT
  public:
    explicit NoticePage(QObject *parent = nullptr);
    ~NoticePage() override;

    void navigate(const QUrl &url); // starts loading; the old page is gone
    void refresh();                 // loads the last address again
    bool isLoading() const;

    // The value of control `name` of form "formsg", or nothing.
    std::optional<QString> value(const QString &name) const;

    static constexpr qint64 kMaxPageBytes = 32 << 20; // a larger page counts as a failure
    static constexpr int kTimeoutMs = 30000;          // so long without data: a failure
    static constexpr int kDeadlineMs = 60000;         // so long in all: a failure

  signals:
    void loaded(); // a page (with or without the form) has arrived
    void failed(); // the site could not be reached or did not answer with a page

  private:
    void onFinished();
    void parseInBackground(const QByteArray &body, const QByteArray &contentType);
    void onParsed();
    void dropReply();
    void dropParse();

    QNetworkAccessManager *net_ = nullptr;
    QNetworkReply *reply_ = nullptr;
    QUrl url_;
    NoticeForm form_;
    // The parse of the page that arrived last, a child of this: a newer
    // navigation or the end of this drops it with whatever it would bring.
    QFutureWatcher<NoticeForm> *parse_ = nullptr;
};
