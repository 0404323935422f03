#include "stagedfile.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace
{
QString stagingTemplate(const QString &destination)
{
    if (destination.isEmpty())
        return QDir::temp().filePath(QStringLiteral("varnel-download.XXXXXX.part"));
    const QFileInfo info(destination);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() +
                                       QStringLiteral(".XXXXXX.part"));
}

constexpr QFileDevice::Permissions kExecutable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
} // namespace

StagedFile::StagedFile(const QString &destination) : file_(stagingTemplate(destination))
{
    open_ = file_.open();
    if (!open_)
        error_ = QStringLiteral("无法在“%1”建立临时文件：%2")
                     .arg(QFileInfo(file_.fileTemplate()).absolutePath(), file_.errorString());
}

StagedFile::~StagedFile() = default;

bool StagedFile::write(const QByteArray &bytes)
{
    if (!open_)
        return false;
    if (file_.write(bytes) != bytes.size()) {
        error_ = QStringLiteral("写入临时文件失败：") + file_.errorString();
        return false;
    }
    written_ += bytes.size();
    return true;
}

bool StagedFile::commit(const QString &destination)
{
    if (!open_)
        return false;
    // No fsync: the rename replaces the file as a whole either way, and
    // filesystems such as ext4 write a file's data before a rename that
    // replaces another; waiting for the disk would double the time taken.
    bool ok = file_.flush();
    if (!ok)
        error_ = QStringLiteral("写入临时文件失败：") + file_.errorString();
    file_.close();
    open_ = false;
    if (ok && !file_.setPermissions(kExecutable)) {
        error_ = QStringLiteral("无法设置文件权限：") + file_.errorString();
        ok = false;
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(
            std::filesystem::path(QFile::encodeName(file_.fileName()).toStdString()),
            std::filesystem::path(QFile::encodeName(destination).toStdString()), ec);
        if (ec) {
            error_ = QStringLiteral("无法替换“%1”：%2")
                         .arg(destination, QString::fromLocal8Bit(ec.message()));
            ok = false;
        }
    }
    if (ok)
        file_.setAutoRemove(false); // the name now belongs to the destination
    else
        file_.remove();
    return ok;
}
