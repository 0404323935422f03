#include "signedpayload.h"

#include "releasecomment.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <elf.h>

namespace payload
{

namespace
{
QString runMinisign(const QStringList &arguments)
{
    QProcess minisign;
    minisign.setProcessChannelMode(QProcess::MergedChannels);
    minisign.start(QStringLiteral("minisign"), arguments);
    if (!minisign.waitForStarted(10000))
        return QStringLiteral("minisign does not start: ") + minisign.errorString();
    minisign.closeWriteChannel();
    if (!minisign.waitForFinished(30000) || minisign.exitCode() != 0)
        return QStringLiteral("minisign failed: ") + QString::fromUtf8(minisign.readAll());
    return QString();
}
} // namespace

QByteArray program(qint64 size)
{
    QByteArray bytes = fileContents(QStringLiteral(VARNEL_PAYLOAD_PROGRAM));
    bytes += QByteArrayLiteral("\nVarnelpad test payload\n");
    for (qint64 i = 0; bytes.size() < size; ++i)
        bytes += char(i * 131 % 251);
    return bytes;
}

QByteArray forOtherMachine(QByteArray program)
{
    const quint16 machine = qFromLittleEndian<quint16>(program.constData() + 18);
    const quint16 other = machine == EM_X86_64 ? EM_AARCH64 : EM_X86_64;
    qToLittleEndian(other, program.data() + 18);
    return program;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString releaseComment(const QString &version)
{
    return QStringLiteral("varnelpad %1 %2 vlbook.exe").arg(version, release::architecture());
}

QString sign(const QString &file, const QString &secretKey, const QString &signatureFile,
             bool legacy, const QString &comment)
{
    QStringList arguments{
        QStringLiteral("-S"), QStringLiteral("-s"), secretKey, QStringLiteral("-m"), file,
        QStringLiteral("-x"), signatureFile};
    if (legacy)
        arguments << QStringLiteral("-l");
    if (comment != QLatin1String("-"))
        arguments << QStringLiteral("-t") << (comment.isEmpty() ? releaseComment() : comment);
    return runMinisign(arguments);
}

QString newKeyPair(const QString &folder)
{
    const QString secret = QDir(folder).filePath(QStringLiteral("other.sec"));
    const QString error = runMinisign(
        {QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-f"), QStringLiteral("-p"),
         QDir(folder).filePath(QStringLiteral("other.pub")), QStringLiteral("-s"), secret});
    return error.isEmpty() ? secret : QString();
}

} // namespace payload
