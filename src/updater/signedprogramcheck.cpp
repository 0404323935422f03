#include "signedprogramcheck.h"

#include "programcheck.h"
#include "releasecomment.h"
#include "smallfetch.h"
#include "stagedfile.h"

SignedProgramCheck::SignedProgramCheck(const QString &signatureUrl, const QByteArray &publicKey,
                                       const Expected &expected)
    : signatureUrl_(signatureUrl), key_(minisign::parsePublicKey(publicKey)), expected_(expected)
{
}

SignedProgramCheck::~SignedProgramCheck() = default;

void SignedProgramCheck::prepare(std::function<void(const QString &)> ready, int deadlineMs)
{
    signature_.reset();
    fetch_ = std::make_unique<SmallFetch>(signatureUrl_, deadlineMs);
    QObject::connect(fetch_.get(), &SmallFetch::finished, fetch_.get(),
                     [this, ready = std::move(ready)]() {
                         const QString refusal = signatureRefusal();
                         if (refusal.isEmpty())
                             signature_ = minisign::parseSignature(fetch_->body());
                         ready(refusal); // may drop this check
                     });
}

QString SignedProgramCheck::signatureRefusal() const
{
    if (!key_)
        return QStringLiteral("升级程序内置的公钥无效，无法确认升级文件来自Varnel");
    if (!fetch_->error().isEmpty())
        return QStringLiteral("没有取到升级文件的签名：") + fetch_->error();
    const QString refusal = minisign::verdictText(minisign::verifyComment(*key_, fetch_->body()));
    if (!refusal.isEmpty())
        return refusal;
    const std::optional<minisign::Signature> signature = minisign::parseSignature(fetch_->body());
    return release::refusal(QString::fromUtf8(signature->trustedComment), expected_.fileName,
                            expected_.installed);
}

qint64 SignedProgramCheck::bodyLimit(qint64 programLimit) const
{
    return signature_ && !signature_->prehashed ? std::min(programLimit, minisign::kLegacyLimit)
                                                : programLimit;
}

void SignedProgramCheck::check(StagedFile &body, Verdict verdict)
{
    if (!signature_ || !key_) {
        verdict(QStringLiteral("升级文件的签名还没有核对过"));
        return;
    }
    const QString problem = programcheck::problem(body.device());
    if (!problem.isEmpty()) {
        verdict(problem);
        return;
    }
    verdict(minisign::verdictText(
        minisign::verifyData(*key_, *signature_, body.device(), body.digest())));
}
