// Fuzzes MinisignKey::parse: no read outside the input (ASan), and an accepted key always has an
// 8-byte id and a 32-byte key that its own text, written back, would give again.
#include "FuzzSupport.h"
#include "Minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    MinisignKey key;
    QString why;
    if (!MinisignKey::parse(text, &key, &why)) {
        if (why.isEmpty())
            FuzzSupport::broken("a refused key gives no reason");
        return 0;
    }
    if (key.keyId.size() != 8 || key.publicKey.size() != 32 || key.idText().isEmpty() || key.idText().size() > 16)
        FuzzSupport::broken("an accepted key has the wrong sizes");
    MinisignKey again;
    const QByteArray line = (QByteArray("Ed") + key.keyId + key.publicKey).toBase64();
    if (!MinisignKey::parse(line, &again, &why) || again.keyId != key.keyId || again.publicKey != key.publicKey)
        FuzzSupport::broken("an accepted key does not read back");
    return 0;
}
