#pragma once

#include <QByteArray>

#include <memory>

// The BLAKE2b-512 digest of data given piece by piece (libsodium): what a
// prehashed minisign signature signs.
class ContentDigest
{
  public:
    static constexpr int kBytes = 64;

    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest &) = delete;
    ContentDigest &operator=(const ContentDigest &) = delete;

    void add(const char *data, qint64 size);
    // The digest of everything added so far.
    QByteArray result() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
