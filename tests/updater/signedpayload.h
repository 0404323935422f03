#pragma once

#include <QByteArray>
#include <QString>

// Programs to serve as updates, and their signatures made with the minisign
// program, for the updater's tests.
namespace payload
{

// The test payload program (it prints "new program"), with a tail of its own
// that takes it to at least `size` bytes.
QByteArray program(qint64 size = 0);
// The same bytes with an ELF header that claims another architecture.
QByteArray forOtherMachine(QByteArray program);
bool writeFile(const QString &path, const QByteArray &bytes);
// The trusted comment of a release of `version` for this machine.
QString releaseComment(const QString &version = QStringLiteral("1.1.3"));
// Signs file with the secret key into signatureFile, with that trusted
// comment (empty: the release comment; "-": minisign's own); returns what
// minisign complained of, empty when it signed.
QString sign(const QString &file, const QString &secretKey, const QString &signatureFile,
             bool legacy = false, const QString &comment = QString());
// A new key pair in folder; returns the secret key's path.
QString newKeyPair(const QString &folder);

} // namespace payload
