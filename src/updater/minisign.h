#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <array>
#include <optional>

// Detached Ed25519 signatures in minisign's format, checked with libsodium.
// A public key is the base64 line of a minisign public key file; a signature
// is the whole text of a .minisig file. Both the plain ("Ed") and the
// prehashed ("ED", BLAKE2b-512) kinds are accepted, and the trusted comment
// has to carry its own valid signature as well.
namespace minisign
{

struct PublicKey {
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> key{};
};

// Nothing when the text is not a minisign Ed25519 public key.
std::optional<PublicKey> parsePublicKey(const QByteArray &base64);

enum class Verdict {
    Good,
    Malformed,     // not a minisign signature
    OtherKey,      // made with a key whose id is not ours
    BadSignature,  // the data is not what was signed
    BadComment,    // the trusted comment was changed after signing
    Unreadable,    // the data could not be read
    LegacyTooLarge // a plain ("Ed") signature of more than kLegacyLimit bytes
};

// A plain signature signs the whole data, which has to be held in memory
// to check it: larger data needs the prehashed kind.
constexpr qint64 kLegacyLimit = 1 << 20;

struct Signature {
    bool prehashed = false;
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 64> signature{};
    QByteArray trustedComment;
    std::array<unsigned char, 64> commentSignature{};
};

// Nothing when the text is not a .minisig file.
std::optional<Signature> parseSignature(const QByteArray &text);
// The part of the check that needs no data: the key and the trusted comment
// (Good, Malformed, OtherKey or BadComment).
Verdict verifyComment(const PublicKey &key, const QByteArray &signatureText);
// The data against a signature whose comment has passed verifyComment.
Verdict verifyData(const PublicKey &key, const Signature &signature, QIODevice &data,
                   const QByteArray &digest = QByteArray());

// Checks the data of `data` from its start to its end against the signature
// text. `data` is read from position 0; it has to be open for reading.
// digest, when given, is the data's ContentDigest: a prehashed signature
// then needs no reading of the data.
Verdict verify(const PublicKey &key, const QByteArray &signatureText, QIODevice &data,
               const QByteArray &digest = QByteArray());

// The verdict as the user reads it (Chinese); empty for Good.
QString verdictText(Verdict verdict);

} // namespace minisign
