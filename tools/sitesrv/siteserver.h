#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// Runs the demo site / HTTP test server (sitesrv.py) as a child process on
// 127.0.0.1 for tests and benchmarks. The server watches its parent and
// stops by itself when this process is gone; the destructor stops it at once.
class SiteServer
{
  public:
    struct Options {
        int port = 0;          // 0: a free port
        QString download;      // the file served as /update/vlbook.exe
        QString signature;     // the file served as /update/vlbook.exe.minisig
        QString signKey;       // without signature: sign the download with this key
        QStringList faults;    // "PATH=KIND" for the fixed paths
        int idleSeconds = 120; // the server ends after this long without a request
        QString signVersion;   // the version signKey's signatures claim (default 1.1.3)
        // Also serve over TLS (on tlsPort()) with this certificate chain and key.
        QString tlsCert;
        QString tlsKey;
    };

    SiteServer();
    explicit SiteServer(const Options &options);
    ~SiteServer();
    SiteServer(const SiteServer &) = delete;
    SiteServer &operator=(const SiteServer &) = delete;

    bool ok() const { return port_ > 0; }
    QString error() const { return error_; }
    int port() const { return port_; }
    QString url(const QString &pathAndQuery) const;
    int tlsPort() const { return tlsPort_; }
    // The same over TLS; the certificate names 127.0.0.1.
    QString tlsUrl(const QString &pathAndQuery) const;

    // Switches a fixed path ("/update.asp", "/update/vlbook.exe") to a kind of
    // misbehaviour ("404", "500", "short", "slow", "paced", "redirect", "close", "gzip",
    // "unsized", or some joined with "+") or back to normal ("none"). Returns
    // once the server has taken it.
    bool setFault(const QString &path, const QString &kind);
    // Serves the page at `path` ("/update.asp") with form control `name`
    // holding `value`; a null value gives the page its own value back.
    bool setFormValue(const QString &path, const QString &name, const QString &value);
    // Every fault and every replaced value back to normal, the counts of
    // hits() back to 0.
    bool reset();
    // How often a fixed path was requested so far (-1: no answer).
    int hits(const QString &path);

    // A port on 127.0.0.1 where nothing listens: connections are refused.
    static int unusedPort();
    // The bytes /t/ok?size=n sends.
    static QByteArray pattern(qint64 size);
    // The demo site's update signing key pair: the secret key file (for
    // Options::signKey and minisign) and the public key's base64 line.
    static QString demoSecretKey();
    static QByteArray demoPublicKey();

  private:
    // Sends a control request ("/control/...") and says whether it was
    // taken; `body` receives the answer's body.
    bool control(const QByteArray &pathAndQuery, QByteArray *body = nullptr);

    QProcess process_;
    int port_ = 0;
    int tlsPort_ = 0;
    QString error_;
};
