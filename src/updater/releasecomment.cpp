#include "releasecomment.h"

#include "netreasons.h"
#include "varnel_config.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <string_view>

std::optional<ReleaseComment> ReleaseComment::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        R"(^([a-z0-9_-]+) ([0-9]{1,5}(?:\.[0-9]{1,5}){0,3}) ([A-Za-z0-9_-]+) ([^\s/\\]+)$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return ReleaseComment{match.captured(1), QVersionNumber::fromString(match.captured(2)),
                          match.captured(3), match.captured(4)};
}

QString ReleaseComment::toString() const
{
    return QStringList{product, version.toString(), architecture, fileName}.join(QLatin1Char(' '));
}

namespace release
{

QString architecture()
{
#if defined(__x86_64__)
    return QStringLiteral("x86_64");
#elif defined(__aarch64__)
    return QStringLiteral("aarch64");
#elif defined(__i386__)
    return QStringLiteral("i686");
#elif defined(__arm__)
    return QStringLiteral("armv7l");
#elif defined(__riscv)
    return QStringLiteral("riscv64");
#elif defined(__powerpc64__)
    return QStringLiteral("ppc64le");
#elif defined(__s390x__)
    return QStringLiteral("s390x");
#else
#error "the updater does not know this machine's architecture name"
#endif
}

QString refusal(const QString &commentText, const QString &fileName,
                const QVersionNumber &installed)
{
    const std::optional<ReleaseComment> comment = ReleaseComment::parse(commentText);
    if (!comment)
        return QStringLiteral(
                   "升级文件的签名没有按规定说明它是哪个程序的哪个版本（签名里写的是“%1”）")
            .arg(netreasons::shortened(commentText, 80));
    if (comment->product != kProduct)
        return QStringLiteral("升级文件是另一个程序“%1”的，不是Varnelpad").arg(comment->product);
    if (comment->architecture != architecture())
        return QStringLiteral("升级文件是为 %1 电脑发布的，这台电脑是 %2")
            .arg(comment->architecture, architecture());
    if (comment->fileName != fileName)
        return QStringLiteral("签名是文件“%1”的，不是要下载的“%2”")
            .arg(comment->fileName, fileName);
    if (comment->version <= installed)
        return QStringLiteral("网站上的 %1 是旧版本，不比现在的 %2 新，不能用它替换")
            .arg(comment->version.toString(), installed.toString());
    return QString();
}

QVersionNumber builtVersion()
{
    return QVersionNumber::fromString(QStringLiteral(VARNEL_PROGRAM_VERSION));
}

QVersionNumber installedVersion(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return builtVersion();
    const uchar *bytes = file.map(0, file.size());
    if (!bytes)
        return builtVersion();
    const std::string_view all(reinterpret_cast<const char *>(bytes), size_t(file.size()));
    constexpr std::string_view prefix = VARNEL_VERSION_STAMP_PREFIX;
    const auto at = std::search(all.begin(), all.end(),
                                std::boyer_moore_horspool_searcher(prefix.begin(), prefix.end()));
    QVersionNumber found;
    if (at != all.end()) {
        const std::string_view rest = all.substr(size_t(at - all.begin()) + prefix.size(), 32);
        const size_t length = rest.find_first_not_of("0123456789.");
        found = QVersionNumber::fromString(
            QLatin1String(rest.data(), qsizetype(length == rest.npos ? rest.size() : length)));
    }
    file.unmap(const_cast<uchar *>(bytes));
    return found.isNull() ? builtVersion() : found;
}

} // namespace release
