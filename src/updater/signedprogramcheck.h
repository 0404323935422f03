#pragma once

#include "bodycheck.h"
#include "minisign.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class SmallFetch;

// What a new program file has to pass before it replaces the old one: the
// plain checks (programcheck.h), then its detached minisign signature,
// fetched from signatureUrl as soon as the check is made, against the given
// public key (the one built into the updater).
class SignedProgramCheck : public BodyCheck
{
  public:
    SignedProgramCheck(const QString &signatureUrl, const QByteArray &publicKey);
    ~SignedProgramCheck() override;

    void check(StagedFile &body, Verdict verdict) override;

  private:
    void decide();

    std::unique_ptr<SmallFetch> fetch_;
    std::optional<minisign::PublicKey> key_;
    StagedFile *body_ = nullptr;
    Verdict verdict_; // set while the signature is still on its way
};
