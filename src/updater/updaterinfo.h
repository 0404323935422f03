#pragma once

#include <QByteArray>
#include <QString>

class QApplication;

// Facts about the updater program.
namespace updater
{

QString appTitle();    // "Varnel升级"
QString captionText(); // "Varnel升级 v1.0.14更新"
QString siteUrl(const QString &path = QStringLiteral("/"));
// Where the detached signature of a download lies: beside it, ".minisig".
QString signatureUrl(const QString &downloadUrl);
// The minisign public key built into the program; every new program file
// must carry a signature made with its secret key.
QByteArray updatePublicKey();
// Why an update with publicKey may not come from url, in words; empty when
// it may. The demo key's secret half is public: an updater that trusts it
// takes updates only from this machine.
QString demoKeyRefusal(const QString &url, const QByteArray &publicKey);
// The bounds of one update (build settings).
qint64 maxProgramBytes();
int updateDeadlineMs();
qint64 minBytesPerSecond();
// Application-wide preparation before the window: Qt's own texts (the
// buttons of message boxes) in Chinese.
void prepareApplication(QApplication &app);

} // namespace updater
