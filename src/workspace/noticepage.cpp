#include "noticepage.h"

// Placeholder until the reader is written: no page ever arrives.

NoticeForm parseNoticeForm(const QByteArray &, const QByteArray &) { return {}; }

NoticePage::NoticePage(QObject *parent) : QObject(parent) {}

NoticePage::~NoticePage() = default;

void NoticePage::navigate(const QUrl &url) { url_ = url; }

void NoticePage::refresh() {}

bool NoticePage::isLoading() const { return false; }

std::optional<QString> NoticePage::value(const QString &name) const
{
    if (!form_.found || !form_.values.contains(name))
        return std::nullopt;
    return form_.values.value(name);
}
