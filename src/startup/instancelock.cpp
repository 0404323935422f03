#include "instancelock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <memory>

#include <unistd.h>

namespace varnel
{

namespace
{

std::unique_ptr<QLockFile> &heldLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

// XDG_RUNTIME_DIR when it names a usable folder; otherwise a per-user name in
// the temporary folder keeps different users apart.
QString lockFolder(QString *userTag)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo info(runtime);
    if (!runtime.isEmpty() && info.isAbsolute() && info.isDir() && info.isWritable())
        return runtime;
    *userTag = QStringLiteral("-u%1").arg(::getuid());
    return QDir::tempPath();
}

QString programKey()
{
    QString program = QCoreApplication::applicationFilePath();
    const QString canonical = QFileInfo(program).canonicalFilePath();
    if (!canonical.isEmpty())
        program = canonical;
    const QByteArray hash =
        QCryptographicHash::hash(program.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QString::fromLatin1(hash.left(16));
}

} // namespace

QString InstanceLock::path()
{
    QString userTag;
    const QString folder = lockFolder(&userTag);
    return QDir(folder).filePath(QStringLiteral("Varnelpad%1-%2.lock").arg(userTag, programKey()));
}

bool InstanceLock::acquire()
{
    if (heldLock())
        return true;
    auto lock = std::make_unique<QLockFile>(path());
    // Only a dead owner makes a lock stale, never its age: a copy may run for weeks.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        heldLock() = std::move(lock);
        return true;
    }
    return lock->error() != QLockFile::LockFailedError;
}

void InstanceLock::release()
{
    heldLock().reset();
}

bool InstanceLock::isHeld()
{
    return heldLock() != nullptr;
}

} // namespace varnel
