#pragma once

#include <QString>

class QNetworkReply;

// Why an HTTP request failed, in Chinese words; the system's or server's own
// text follows in brackets where it adds something.
namespace netreasons
{

// A reply that ended with a network error (no HTTP answer to speak of).
QString networkError(QNetworkReply *reply);
// A final HTTP status other than 2xx.
QString httpStatus(QNetworkReply *reply);
// The status code of the reply, 0 while none has arrived.
int statusCode(QNetworkReply *reply);
// A text from the server as it may be shown: one line, at most `limit`
// characters ("…" marks a cut).
QString shortened(const QString &text, int limit = 120);

} // namespace netreasons
