// SHA-256 in steps: whatever way the bytes are cut into pieces, the digest is the one-shot one
// and the standard's; a buffer's digest is over exactly the bytes it hands on.
#include "Sha256.h"

#include <QBuffer>
#include <QtTest>

class Sha256Test : public QObject
{
    Q_OBJECT

private slots:
    void piecesGiveTheWholeDigest_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("cuts"); // piece sizes, repeated until the bytes run out
        QTest::newRow("empty") << 0 << QList<int>{1};
        QTest::newRow("one piece") << 1000 << QList<int>{1000};
        QTest::newRow("byte by byte") << 131 << QList<int>{1};
        QTest::newRow("empty pieces between") << 200 << QList<int>{0, 7, 0, 0, 64};
        QTest::newRow("across block ends") << 4099 << QList<int>{63, 1, 65, 127, 129};
        QTest::newRow("odd sizes") << 100003 << QList<int>{4097, 3, 16383};
    }
    void piecesGiveTheWholeDigest()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, cuts);
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 131) ^ (i >> 7));
        const QByteArray whole = Sha256::of(bytes);
        QCOMPARE(whole, QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));

        Sha256 hash;
        HashingBuffer buffer;
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        for (int at = 0, k = 0; at < size; ++k) {
            const int piece = qMin(cuts[k % cuts.size()], size - at);
            hash.add(bytes.constData() + at, piece);
            QCOMPARE(buffer.readFrom(&device, piece), qint64(piece));
            at += piece;
        }
        QCOMPARE(buffer.readFrom(&device, 10), qint64(0)); // nothing more waits
        QCOMPARE(hash.result(), whole);
        const HashedBytes taken = buffer.take();
        QCOMPARE(taken.bytes(), bytes);
        QCOMPARE(taken.sha256(), whole);
        QCOMPARE(HashedBytes::of(bytes).sha256(), whole);

        // Each result starts the next digest afresh, and an emptied buffer holds nothing of before.
        hash.add("abc", 3);
        QCOMPARE(hash.result().toHex(), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QCOMPARE(hash.result().toHex(), QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QVERIFY(device.seek(0));
        buffer.readFrom(&device, 3);
        buffer.clear();
        QCOMPARE(buffer.take().sha256(), Sha256::of({}));
    }
};

QTEST_APPLESS_MAIN(Sha256Test)
#include "tst_sha256.moc"
