#pragma once

#include "bodycheck.h"
#include "minisign.h"

#include <QByteArray>
#include <QString>
#include <QVersionNumber>

#include <functional>
#include <memory>
#include <optional>

class SmallFetch;

// What a new program file has to pass before it replaces the old one. The
// detached minisign signature comes first (prepare()): fetched from
// signatureUrl, checked against the given public key (the one built into the
// updater), and its trusted comment (releasecomment.h) has to name this
// product, this machine's architecture, the file being fetched and a version
// newer than `installed`. Only then is the body worth fetching; once it has
// arrived, check() runs the plain checks (programcheck.h) and the signature
// of the data.
class SignedProgramCheck : public BodyCheck
{
  public:
    struct Expected {
        QString fileName;         // as the trusted comment names it: "vlbook.exe"
        QVersionNumber installed; // the version to be replaced
    };
    SignedProgramCheck(const QString &signatureUrl, const QByteArray &publicKey,
                       const Expected &expected);
    ~SignedProgramCheck() override;

    // Fetches and checks the signature; ready is called once, on the UI
    // thread, with an empty text when the body may be fetched, otherwise
    // with why not. Nothing is called when the check goes away first.
    void prepare(std::function<void(const QString &refusal)> ready, int deadlineMs = 120000);
    // The largest body the signature can vouch for.
    qint64 bodyLimit(qint64 programLimit) const;

    void check(StagedFile &body, Verdict verdict) override;

  private:
    QString signatureRefusal() const;

    QString signatureUrl_;
    std::optional<minisign::PublicKey> key_;
    Expected expected_;
    std::unique_ptr<SmallFetch> fetch_;
    std::optional<minisign::Signature> signature_; // once it has passed prepare()
};
