#pragma once

#include <QString>

#include <functional>

class StagedFile;

// Decides whether a body that has arrived whole may take its destination's
// place (AsyncReadOptions::check).
class BodyCheck
{
  public:
    // Empty: accepted; otherwise why not, in words.
    using Verdict = std::function<void(const QString &reason)>;

    virtual ~BodyCheck() = default;
    // Looks at body and calls verdict exactly once, at once or later on the
    // UI thread, unless the check is dropped first. body stays valid until
    // then.
    virtual void check(StagedFile &body, Verdict verdict) = 0;
};
