#include "siteserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace
{
constexpr int kPatternPeriod = 251;
constexpr int kStartTimeoutMs = 20000;
} // namespace

SiteServer::SiteServer() : SiteServer(Options{}) {}

SiteServer::SiteServer(const Options &options)
{
    QStringList args{QStringLiteral(VARNEL_SITESRV_SCRIPT), QStringLiteral("--port"),
                     QString::number(options.port),         QStringLiteral("--root"),
                     QStringLiteral(VARNEL_SITE_DIR),       QStringLiteral("--idle"),
                     QString::number(options.idleSeconds)};
    if (!options.download.isEmpty())
        args << QStringLiteral("--download") << options.download;
    if (!options.signature.isEmpty())
        args << QStringLiteral("--signature") << options.signature;
    if (!options.signKey.isEmpty())
        args << QStringLiteral("--sign-key") << options.signKey;
    if (!options.signVersion.isEmpty())
        args << QStringLiteral("--sign-version") << options.signVersion;
    if (!options.tlsCert.isEmpty())
        args << QStringLiteral("--tls-cert") << options.tlsCert << QStringLiteral("--tls-key")
             << options.tlsKey;
    for (const QString &fault : options.faults)
        args << QStringLiteral("--fault") << fault;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("python3"), args);
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        error_ = QStringLiteral("python3 did not start: ") + process_.errorString();
        return;
    }
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() == QProcess::Running)
        process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray line = process_.readLine().trimmed();
    if (line.startsWith("PORT "))
        port_ = line.mid(5).toInt();
    else
        error_ = QStringLiteral("site server did not start: ") + QString::fromUtf8(line);
    if (port_ <= 0 || options.tlsCert.isEmpty())
        return;
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() == QProcess::Running)
        process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    const QByteArray tls = process_.readLine().trimmed();
    if (tls.startsWith("TLSPORT ")) {
        tlsPort_ = tls.mid(8).toInt();
    } else {
        port_ = 0;
        error_ = QStringLiteral("site server has no TLS port: ") + QString::fromUtf8(tls);
    }
}

QString SiteServer::tlsUrl(const QString &pathAndQuery) const
{
    return QStringLiteral("https://127.0.0.1:%1%2").arg(tlsPort_).arg(pathAndQuery);
}

SiteServer::~SiteServer()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString SiteServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(pathAndQuery);
}

bool SiteServer::setFault(const QString &path, const QString &kind)
{
    return control("/control/fault?path=" + QUrl::toPercentEncoding(path) +
                   "&kind=" + QUrl::toPercentEncoding(kind));
}

bool SiteServer::setFormValue(const QString &path, const QString &name, const QString &value)
{
    QByteArray query = "/control/value?path=" + QUrl::toPercentEncoding(path) +
                       "&name=" + QUrl::toPercentEncoding(name);
    if (!value.isNull())
        query += "&value=" + QUrl::toPercentEncoding(value);
    return control(query);
}

bool SiteServer::reset()
{
    return control("/control/reset");
}

int SiteServer::hits(const QString &path)
{
    QByteArray body;
    if (!control("/control/hits?path=" + QUrl::toPercentEncoding(path), &body))
        return -1;
    bool ok = false;
    const int count = body.trimmed().toInt(&ok);
    return ok ? count : -1;
}

bool SiteServer::control(const QByteArray &query, QByteArray *body)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port_));
    if (!socket.waitForConnected(5000))
        return false;
    socket.write("GET " + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    if (body)
        *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.startsWith("HTTP/1.0 200") || answer.startsWith("HTTP/1.1 200");
}

int SiteServer::unusedPort()
{
    // Take a free port from the system and give it back: nothing listens
    // there afterwards.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 1;
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QByteArray SiteServer::pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char(i % kPatternPeriod);
    return bytes;
}

QString SiteServer::demoSecretKey()
{
    return QStringLiteral(VARNEL_SITESRV_DIR "/demo-update-key.sec");
}

QByteArray SiteServer::demoPublicKey()
{
    QFile file(QStringLiteral(VARNEL_SITESRV_DIR "/demo-update-key.pub"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll().split('\n').value(1).trimmed();
}
