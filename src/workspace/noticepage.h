#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// The named controls of form "formsg" of a notice page: input values,
// textarea texts, selected options. found is false when the page has no such form.
struct NoticeForm {
    bool found = false;
    QHash<QString, QString> values;
};

// Reads form "formsg" out of a page body. contentType is the HTTP header
// (its charset wins over the page's meta); GB2312/GBK pages are decoded.
NoticeForm parseNoticeForm(const QByteArray &body, const QByteArray &contentType = {});

// The notice page of the product site, fetched in the background. While no
// page is loaded (before the first answer, while reloading, after a failure)
// every value is missing.
class NoticePage : public QObject {
    Q_OBJECT
public:
    explicit NoticePage(QObject *parent = nullptr);
    ~NoticePage() override;

    void navigate(const QUrl &url); // starts loading; the old page is gone
    void refresh();                 // loads the last address again
    bool isLoading() const;

    // The value of control `name` of form "formsg", or nothing.
    std::optional<QString> value(const QString &name) const;

signals:
    void loaded(); // a page (with or without the form) has arrived

private:
    QNetworkAccessManager *net_ = nullptr;
    QNetworkReply *reply_ = nullptr;
    QUrl url_;
    NoticeForm form_;
};
