#include "contentdigest.h"

#include <sodium.h>

struct ContentDigest::State {
    crypto_generichash_state hash;
};

ContentDigest::ContentDigest() : state_(std::make_unique<State>())
{
    if (sodium_init() < 0)
        qFatal("libsodium cannot start");
    crypto_generichash_init(&state_->hash, nullptr, 0, kBytes);
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::add(const char *data, qint64 size)
{
    crypto_generichash_update(&state_->hash, reinterpret_cast<const unsigned char *>(data),
                              quint64(size));
}

QByteArray ContentDigest::result() const
{
    crypto_generichash_state copy = state_->hash;
    QByteArray digest(kBytes, Qt::Uninitialized);
    crypto_generichash_final(&copy, reinterpret_cast<unsigned char *>(digest.data()), kBytes);
    return digest;
}
