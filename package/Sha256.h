// SHA-256 with OpenSSL's libcrypto, which uses the processor's SHA instructions where it has
// them (several times faster than libsodium's or Qt's on such a processor): one-shot, in steps,
// and bound to the bytes it was computed over.
#pragma once

#include <QByteArray>

#include <memory>

class QIODevice;

// A digest computed in steps: add() every piece in order, then result().
class Sha256
{
public:
    static constexpr int Size = 32;

    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const char *data, qsizetype size);
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    // The 32-byte digest of everything added since the start (or the last result()), after
    // which it starts again. Empty when libcrypto failed: no digest rather than a wrong one.
    QByteArray result();

    // The 32-byte digest of `bytes` (empty when libcrypto failed).
    static QByteArray of(const QByteArray &bytes);

private:
    struct Context;
    std::unique_ptr<Context> context;
};

// Bytes together with their SHA-256. Only this class and HashingBuffer make one, each from the
// very bytes it hashed, so a digest carried here always belongs to the bytes beside it.
class HashedBytes
{
public:
    HashedBytes() = default;
    // Hashes `bytes` once.
    static HashedBytes of(QByteArray bytes);

    const QByteArray &bytes() const { return data; }
    // 32 bytes; empty when no digest could be made.
    const QByteArray &sha256() const { return digest; }
    qsizetype size() const { return data.size(); }

private:
    friend class HashingBuffer;
    QByteArray data;
    QByteArray digest;
};

// Bytes gathered piece by piece (a download), each piece hashed as it arrives, so that the
// digest is ready as soon as the last byte is and the bytes are held once.
class HashingBuffer
{
public:
    // Room for `size` bytes, so that a long body is not moved while it grows.
    void reserve(qsizetype size) { data.reserve(size); }
    // Reads at most `most` bytes of what `device` has waiting straight onto the end; returns
    // how many were read (0 when none waited), or -1 when the device failed.
    qint64 readFrom(QIODevice *device, qint64 most);
    qsizetype size() const { return data.size(); }
    // What was gathered so far.
    QByteArrayView view() const { return data; }
    // Everything gathered with its digest; the buffer starts again empty.
    HashedBytes take();
    void clear();

private:
    QByteArray data;
    Sha256 hash;
};
