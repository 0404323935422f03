#include "systemerror.h"

#include <cerrno>
#include <cstring>

namespace
{
QString meaning(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("磁盘是只读的");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("文件夹不存在");
    case EISDIR:
        return QStringLiteral("那里是一个文件夹");
    case ETXTBSY:
    case EBUSY:
        return QStringLiteral("文件正在使用");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    default:
        return QStringLiteral("系统错误");
    }
}
} // namespace

QString systemErrorText(int error)
{
    return QStringLiteral("%1（%2）")
        .arg(meaning(error), QString::fromLocal8Bit(std::strerror(error)));
}
