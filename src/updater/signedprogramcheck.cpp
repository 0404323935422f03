#include "signedprogramcheck.h"

#include "programcheck.h"
#include "smallfetch.h"
#include "stagedfile.h"

SignedProgramCheck::SignedProgramCheck(const QString &signatureUrl, const QByteArray &publicKey)
    : fetch_(std::make_unique<SmallFetch>(signatureUrl)), key_(minisign::parsePublicKey(publicKey))
{
    QObject::connect(fetch_.get(), &SmallFetch::finished, fetch_.get(), [this]() {
        if (verdict_)
            decide();
    });
}

SignedProgramCheck::~SignedProgramCheck() = default;

void SignedProgramCheck::check(StagedFile &body, Verdict verdict)
{
    const QString problem = programcheck::problem(body.device());
    if (!problem.isEmpty()) {
        verdict(problem);
        return;
    }
    body_ = &body;
    verdict_ = std::move(verdict);
    if (fetch_->isFinished())
        decide();
}

void SignedProgramCheck::decide()
{
    QString refusal;
    if (!key_) {
        refusal = QStringLiteral("升级程序内置的公钥无效，无法确认升级文件来自Varnel");
    } else if (!fetch_->error().isEmpty()) {
        refusal = QStringLiteral("没有取到升级文件的签名：") + fetch_->error();
    } else {
        refusal = minisign::verdictText(
            minisign::verify(*key_, fetch_->body(), body_->device(), body_->digest()));
    }
    // The verdict may end the batch, and with it this check.
    const Verdict verdict = std::move(verdict_);
    verdict_ = nullptr;
    verdict(refusal);
}
