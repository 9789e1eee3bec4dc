// Fuzzes MinisignSignature::parse and the check that follows: no read outside the input (ASan),
// an accepted signature has its fixed sizes, and a signature made from fuzz bytes never holds
// for the seed key over the seed package (the chance of a forgery is nil).
#include "FuzzSupport.h"
#include "Minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MinisignKey key = [] {
        MinisignKey k;
        QString why;
        MinisignKey::parse("untrusted comment: minisign public key 754323FEF3D07DC8\n"
                           "RWTIfdDz/iNDda/KcL5B2L94XeGGcxKFEiicO7IX2MbYqE8AxYpIpPal\n",
                           &k, &why);
        return k;
    }();
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    MinisignSignature signature;
    QString why;
    if (!MinisignSignature::parse(text, &signature, &why)) {
        if (why.isEmpty())
            FuzzSupport::broken("a refused signature gives no reason");
        return 0;
    }
    if (signature.keyId.size() != 8 || signature.signature.size() != 64 || signature.globalSignature.size() != 64)
        FuzzSupport::broken("an accepted signature has the wrong sizes");
    // Checked over a message it was not made for: must never hold.
    if (signature.verify(QByteArray("not the signed package"), key))
        FuzzSupport::broken("a signature holds over a message it was not made for");
    return 0;
}
