#include "support/KeyedDigest.h"

#include <QtEndian>
#include <cerrno>
#include <sys/random.h>

// The whole library inline: its one-shot functions are small, and inlined they need no
// shared object at run time.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

KeyedDigest FromHash(XXH128_hash_t hash) {
    return {hash.low64, hash.high64};
}

} // namespace

QByteArray KeyedDigest::Bytes() const {
    QByteArray bytes(16, Qt::Uninitialized);
    qToLittleEndian<quint64>(low, bytes.data());
    qToLittleEndian<quint64>(high, bytes.data() + 8);
    return bytes;
}

bool KeyedDigest::FromBytes(QByteArrayView bytes, KeyedDigest& out) {
    if (bytes.size() != 16)
        return false;
    out.low = qFromLittleEndian<quint64>(bytes.data());
    out.high = qFromLittleEndian<quint64>(bytes.data() + 8);
    return true;
}

KeyedHasher::KeyedHasher(QByteArrayView seed) {
    static_assert(std::tuple_size_v<decltype(m_secret)> == XXH3_SECRET_DEFAULT_SIZE);
    // An empty seed is allowed by the function only as a null pointer with a zero length.
    XXH3_generateSecret(m_secret.data(), m_secret.size(), seed.isEmpty() ? "" : seed.data(),
                        size_t(seed.size()));
}

KeyedDigest KeyedHasher::Of(QByteArrayView bytes) const {
    return FromHash(XXH3_128bits_withSecret(bytes.data(), size_t(bytes.size()), m_secret.data(),
                                            m_secret.size()));
}

KeyedDigest KeyedHasher::OfParts(std::initializer_list<QByteArrayView> parts) const {
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_128bits_reset_withSecret(&state, m_secret.data(), m_secret.size());
    for (const QByteArrayView part : parts) {
        char length[8];
        qToLittleEndian<quint64>(quint64(part.size()), length);
        XXH3_128bits_update(&state, length, sizeof length);
        XXH3_128bits_update(&state, part.data(), size_t(part.size()));
    }
    return FromHash(XXH3_128bits_digest(&state));
}

QByteArray KeyedHasher::NewSeed() {
    QByteArray seed(kSeedSize, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < seed.size()) {
        const ssize_t got = ::getrandom(seed.data() + filled, size_t(seed.size() - filled), 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        filled += got;
    }
    return seed;
}

quint64 Checksum64(QByteArrayView first, QByteArrayView second) {
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_64bits_reset(&state);
    XXH3_64bits_update(&state, first.data(), size_t(first.size()));
    XXH3_64bits_update(&state, second.data(), size_t(second.size()));
    return XXH3_64bits_digest(&state);
}
