#include "stagedfile.h"

#include "filesync.h"
#include "systemerror.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace
{
// The disk starts writing the body every this many bytes, so that the sync
// before the rename has little left to do.
constexpr qint64 kWriteBackBytes = 8 << 20;

QString stagingPrefix(const QFileInfo &destination)
{
    return QLatin1Char('.') + destination.fileName() + QLatin1Char('.');
}

QString stagingTemplate(const QString &destination)
{
    if (destination.isEmpty())
        return QDir::temp().filePath(QStringLiteral("varnel-download.XXXXXX.part"));
    const QFileInfo info(destination);
    return info.absoluteDir().filePath(stagingPrefix(info) + QStringLiteral("XXXXXX.part"));
}

QFileDevice::Permissions permissionsOf(int mode)
{
    QFileDevice::Permissions permissions;
    const std::pair<int, QFileDevice::Permission> bits[] = {
        {0400, QFileDevice::ReadOwner},  {0200, QFileDevice::WriteOwner},
        {0100, QFileDevice::ExeOwner},   {0040, QFileDevice::ReadGroup},
        {0020, QFileDevice::WriteGroup}, {0010, QFileDevice::ExeGroup},
        {0004, QFileDevice::ReadOther},  {0002, QFileDevice::WriteOther},
        {0001, QFileDevice::ExeOther}};
    for (const auto &[bit, permission] : bits) {
        if (mode & bit)
            permissions |= permission;
    }
    return permissions;
}
} // namespace

StagedFile::StagedFile(const QString &destination) : file_(stagingTemplate(destination))
{
    errno = 0;
    open_ = file_.open();
    if (!open_) {
        error_ = QStringLiteral("无法在“%1”建立临时文件：%2")
                     .arg(QFileInfo(file_.fileTemplate()).absolutePath(),
                          systemErrorText(errno ? errno : EIO));
        return;
    }
    filesync::markInUse(file_.handle());
}

StagedFile::~StagedFile() = default;

bool StagedFile::write(const QByteArray &bytes)
{
    if (!open_)
        return false;
    errno = 0;
    if (file_.write(bytes) != bytes.size()) {
        error_ = QStringLiteral("写入临时文件失败：") + systemErrorText(errno ? errno : EIO);
        return false;
    }
    written_ += bytes.size();
    digest_.add(bytes.constData(), bytes.size());
    if (written_ - writtenBack_ >= kWriteBackBytes)
        startWriteBack();
    return true;
}

void StagedFile::startWriteBack()
{
    if (!file_.flush())
        return; // the next write or the commit reports it
    filesync::startWriteBack(file_.handle(), writtenBack_, written_ - writtenBack_);
    writtenBack_ = written_;
}

bool StagedFile::commit(const QString &destination)
{
    if (!open_)
        return false;
    errno = 0;
    bool ok = file_.flush();
    int error = ok ? filesync::syncFile(file_.handle()) : (errno ? errno : EIO);
    if (error != 0) {
        error_ = QStringLiteral("无法把下载的文件写到磁盘上：") + systemErrorText(error);
        ok = false;
    }
    file_.close();
    open_ = false;
    errno = 0;
    if (ok && !file_.setPermissions(permissionsOf(filesync::replacementMode(destination)))) {
        error_ = QStringLiteral("无法设置文件权限：") + systemErrorText(errno ? errno : EPERM);
        ok = false;
    }
    if (ok && !rename(destination))
        ok = false;
    if (!ok) {
        file_.remove();
        return false;
    }
    file_.setAutoRemove(false); // the name now belongs to the destination
    // The rename itself reaches the disk with the folder. Should that fail,
    // the new file is in place all the same: nothing is left to undo.
    filesync::syncFolder(QFileInfo(destination).absolutePath());
    return true;
}

bool StagedFile::rename(const QString &destination)
{
    std::error_code ec;
    std::filesystem::rename(
        std::filesystem::path(QFile::encodeName(file_.fileName()).toStdString()),
        std::filesystem::path(QFile::encodeName(destination).toStdString()), ec);
    if (!ec)
        return true;
    error_ = QStringLiteral("无法替换“%1”：%2").arg(destination, systemErrorText(ec.value()));
    return false;
}

int StagedFile::removeLeftovers(const QString &destination)
{
    const QFileInfo info(destination);
    const QString prefix = stagingPrefix(info);
    QDir folder = info.absoluteDir();
    int removed = 0;
    const QStringList names = folder.entryList({prefix + QStringLiteral("*.part")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        // Only plain files are ours: a FIFO, socket or device of that name is
        // left alone, and never opened in a way that could wait.
        const QString path = folder.filePath(name);
        if (filesync::isRegularFile(path) && filesync::unused(path) && QFile::remove(path))
            ++removed;
    }
    return removed;
}
