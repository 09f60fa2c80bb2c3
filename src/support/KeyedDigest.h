#pragma once
// Keyed digests of file contents for the result cache: XXH3-128 under a secret of the user's,
// about 10 GB/s, so that hashing a whole site costs milliseconds. Not a cryptographic hash;
// the secret is what keeps someone who plants pages in a tree from making two pages with one
// digest, since he cannot compute any digest without it.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <array>
#include <initializer_list>

struct KeyedDigest {
    quint64 low = 0;
    quint64 high = 0;

    bool operator==(const KeyedDigest&) const = default;
    // 16 bytes, little-endian, low half first.
    QByteArray Bytes() const;
    // From 16 bytes as Bytes() gives them; false (and `out` untouched) for any other length.
    static bool FromBytes(QByteArrayView bytes, KeyedDigest& out);
};

class KeyedHasher {
public:
    // How many bytes of seed material a new secret takes (any length works; this is what is
    // generated).
    static constexpr qsizetype kSeedSize = 32;

    // The secret is derived from `seed` (the user's random bytes): the same seed gives the same
    // digests, another seed other ones.
    explicit KeyedHasher(QByteArrayView seed);

    KeyedDigest Of(QByteArrayView bytes) const;
    // The digest of the parts one after the other, each with its length before it, so that
    // ("ab", "c") and ("a", "bc") differ.
    KeyedDigest OfParts(std::initializer_list<QByteArrayView> parts) const;

    // Fresh seed material from the system's random source; empty when it gives none.
    static QByteArray NewSeed();

private:
    alignas(64) std::array<unsigned char, 192> m_secret{};
};

// A plain (unkeyed) 64-bit checksum of `first` followed by `second`, for telling damaged
// stored bytes from sound ones.
quint64 Checksum64(QByteArrayView first, QByteArrayView second = {});
