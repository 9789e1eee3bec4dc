// SHA-256 through OpenSSL's EVP interface.
#include "Sha256.h"

#include <QIODevice>

#include <openssl/evp.h>

struct Sha256::Context
{
    EVP_MD_CTX *md = EVP_MD_CTX_new();
    bool ok = md && EVP_DigestInit_ex(md, EVP_sha256(), nullptr) == 1;

    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;

void Sha256::add(const char *data, qsizetype size)
{
    if (context->ok && size > 0)
        context->ok = EVP_DigestUpdate(context->md, data, size_t(size)) == 1;
}

QByteArray Sha256::result()
{
    QByteArray digest(Size, Qt::Uninitialized);
    unsigned int length = 0;
    const bool ok = context->ok && EVP_DigestFinal_ex(context->md, reinterpret_cast<unsigned char *>(digest.data()), &length) == 1
                    && length == unsigned(Size);
    context->ok = context->md && EVP_DigestInit_ex(context->md, EVP_sha256(), nullptr) == 1;
    return ok ? digest : QByteArray();
}

QByteArray Sha256::of(const QByteArray &bytes)
{
    Sha256 hash;
    hash.add(bytes);
    return hash.result();
}

HashedBytes HashedBytes::of(QByteArray bytes)
{
    HashedBytes hashed;
    hashed.digest = Sha256::of(bytes);
    hashed.data = std::move(bytes);
    return hashed;
}

qint64 HashingBuffer::readFrom(QIODevice *device, qint64 most)
{
    const qint64 wanted = qMin(device->bytesAvailable(), most);
    if (wanted <= 0)
        return 0;
    const qsizetype start = data.size();
    data.resize(start + wanted);
    const qint64 got = device->read(data.data() + start, wanted);
    data.resize(start + qMax<qint64>(got, 0));
    hash.add(data.constData() + start, data.size() - start);
    return got;
}

HashedBytes HashingBuffer::take()
{
    HashedBytes hashed;
    hashed.digest = hash.result();
    hashed.data = std::move(data);
    data = QByteArray();
    return hashed;
}

void HashingBuffer::clear()
{
    data = QByteArray();
    hash.result();
}
