#include "minisign.h"

#include "contentdigest.h"

#include <QList>

#include <sodium.h>

#include <cstring>

namespace minisign
{

namespace
{
constexpr int kSignatureBytes = crypto_sign_BYTES;
constexpr qint64 kChunk = 1 << 20;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<QByteArray> decode(const QByteArray &base64, qsizetype size)
{
    const auto result =
        QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size)
        return std::nullopt;
    return result.decoded;
}

// Callers have checked the size already; the check here also tells the
// compiler so.
template <size_t N> void copyInto(std::array<unsigned char, N> &to, const QByteArray &from, int at)
{
    if (from.size() >= at + qsizetype(N))
        std::memcpy(to.data(), from.constData() + at, N);
}

// The whole data (plain signatures) or its BLAKE2b-512 hash (prehashed ones).
std::optional<QByteArray> signedMessage(QIODevice &data, bool prehashed)
{
    if (!data.seek(0))
        return std::nullopt;
    if (!prehashed) {
        QByteArray all = data.readAll();
        return data.atEnd() ? std::optional<QByteArray>(all) : std::nullopt;
    }
    ContentDigest digest;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = data.read(chunk.data(), kChunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        digest.add(chunk.constData(), n);
    }
    return digest.result();
}

bool signatureHolds(const unsigned char *signature, const QByteArray &message, const PublicKey &key)
{
    return crypto_sign_verify_detached(signature,
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       quint64(message.size()), key.key.data()) == 0;
}
} // namespace

std::optional<PublicKey> parsePublicKey(const QByteArray &base64)
{
    const auto bytes = decode(base64, 2 + 8 + 32);
    if (!bytes || !bytes->startsWith("Ed"))
        return std::nullopt;
    PublicKey key;
    copyInto(key.keyId, *bytes, 2);
    copyInto(key.key, *bytes, 10);
    return key;
}

// The four lines of a .minisig file: untrusted comment, signature, trusted
// comment, signature of signature and trusted comment.
std::optional<Signature> parseSignature(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    static const QByteArray kUntrusted = "untrusted comment: ";
    static const QByteArray kTrusted = "trusted comment: ";
    if (lines.size() < 4 || !lines.at(0).startsWith(kUntrusted) ||
        !lines.at(2).startsWith(kTrusted))
        return std::nullopt;
    const auto body = decode(lines.at(1), 2 + 8 + kSignatureBytes);
    const auto global = decode(lines.at(3), kSignatureBytes);
    if (!body || !global)
        return std::nullopt;
    Signature signature;
    const QByteArray algorithm = body->left(2);
    if (algorithm != "Ed" && algorithm != "ED")
        return std::nullopt;
    signature.prehashed = algorithm == "ED";
    copyInto(signature.keyId, *body, 2);
    copyInto(signature.signature, *body, 10);
    signature.trustedComment = lines.at(2).mid(kTrusted.size());
    copyInto(signature.commentSignature, *global, 0);
    return signature;
}

Verdict verifyComment(const PublicKey &key, const QByteArray &signatureText)
{
    if (!sodiumReady())
        return Verdict::Unreadable;
    const std::optional<Signature> signature = parseSignature(signatureText);
    if (!signature)
        return Verdict::Malformed;
    if (signature->keyId != key.keyId)
        return Verdict::OtherKey;
    const QByteArray global =
        QByteArray(reinterpret_cast<const char *>(signature->signature.data()), kSignatureBytes) +
        signature->trustedComment;
    if (!signatureHolds(signature->commentSignature.data(), global, key))
        return Verdict::BadComment;
    return Verdict::Good;
}

Verdict verifyData(const PublicKey &key, const Signature &signature, QIODevice &data,
                   const QByteArray &digest)
{
    if (!sodiumReady())
        return Verdict::Unreadable;
    if (!signature.prehashed && data.size() > kLegacyLimit)
        return Verdict::LegacyTooLarge;
    const std::optional<QByteArray> message =
        signature.prehashed && digest.size() == ContentDigest::kBytes
            ? digest
            : signedMessage(data, signature.prehashed);
    if (!message)
        return Verdict::Unreadable;
    if (!signatureHolds(signature.signature.data(), *message, key))
        return Verdict::BadSignature;
    return Verdict::Good;
}

Verdict verify(const PublicKey &key, const QByteArray &signatureText, QIODevice &data,
               const QByteArray &digest)
{
    const std::optional<Signature> signature = parseSignature(signatureText);
    if (!signature)
        return Verdict::Malformed;
    if (signature->keyId != key.keyId)
        return Verdict::OtherKey;
    const Verdict dataVerdict = verifyData(key, *signature, data, digest);
    if (dataVerdict != Verdict::Good)
        return dataVerdict;
    return verifyComment(key, signatureText);
}

QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Good:
        return QString();
    case Verdict::Malformed:
        return QStringLiteral("升级文件的签名无法识别，不能确认文件来自Varnel");
    case Verdict::OtherKey:
        return QStringLiteral("升级文件不是用Varnel的发布密钥签名的");
    case Verdict::BadSignature:
        return QStringLiteral("升级文件与它的签名不符，可能在签名之后被改动过");
    case Verdict::BadComment:
        return QStringLiteral("升级文件的签名被改动过");
    case Verdict::Unreadable:
        return QStringLiteral("无法读取下载的文件来校验签名");
    case Verdict::LegacyTooLarge:
        return QStringLiteral("升级文件用的是旧式签名，这种签名只能用于很小的文件（1 MB 以下）");
    }
    return QString();
}

} // namespace minisign
