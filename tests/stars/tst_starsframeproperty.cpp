// Property test of the frame parser: random streams with valid frames spliced in.
#include "StarsFrame.h"

#include <QTest>
#include <random>

namespace {

// An independent bitwise CRC-16/XMODEM, so the check of a delivered frame is not judged by
// the code under test.
uint16_t referenceCrc(const QByteArray &bytes)
{
    uint16_t crc = 0;
    for (char c : bytes) {
        crc ^= uint16_t(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

bool checkHolds(const QByteArray &frame)
{
    return frame.size() == 7
           && referenceCrc(frame.left(5)) == uint16_t((uint8_t(frame[5]) << 8) | uint8_t(frame[6]));
}

} // namespace

class StarsFramePropertyTest : public QObject
{
    Q_OBJECT

private slots:
    void splicedFramesSurviveNoiseAndNothingUncheckedIsDelivered()
    {
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> byte(0, 255);
        std::uniform_int_distribution<int> noiseLength(0, 24);
        std::uniform_int_distribution<int> chunkLength(1, 40);

        const int streams = 4000;
        qint64 spliced = 0;
        qint64 missed = 0;
        qint64 extra = 0;
        qint64 noiseBytes = 0;
        for (int s = 0; s < streams; ++s) {
            QByteArray stream;
            QList<QByteArray> frames;
            for (int f = 0; f < 10; ++f) {
                const int noise = noiseLength(random);
                for (int i = 0; i < noise; ++i)
                    stream.append(char(byte(random)));
                noiseBytes += noise;
                // Now and then a damaged frame: one bit flipped, which the check always catches.
                QByteArray frame = StarsFrame::encode(uint8_t(byte(random)), uint16_t(byte(random) << 8 | byte(random)),
                                                      uint16_t(byte(random) << 8 | byte(random)));
                if (f % 4 == 3) {
                    const int at = byte(random) % 7;
                    frame[at] = char(frame[at] ^ (1 << (byte(random) % 8)));
                    stream.append(frame);
                    noiseBytes += 7;
                    continue;
                }
                stream.append(frame);
                frames.append(frame);
            }

            // Fed in random chunks; the result must not depend on how the stream was cut.
            StarsFrameParser chunked;
            QList<QByteArray> delivered;
            for (qsizetype at = 0; at < stream.size();) {
                const qsizetype n = qMin<qsizetype>(chunkLength(random), stream.size() - at);
                delivered += chunked.feed(stream.mid(at, n));
                QVERIFY(chunked.buffered() <= 6);
                at += n;
            }
            StarsFrameParser whole;
            QCOMPARE(whole.feed(stream), delivered);

            for (const QByteArray &frame : delivered)
                QVERIFY2(checkHolds(frame), frame.toHex().constData());

            // Match spliced frames against deliveries in stream order; anything delivered that is
            // not a spliced frame is a window of noise whose check held by chance.
            qsizetype next = 0;
            int matched = 0;
            for (const QByteArray &frame : frames) {
                qsizetype at = next;
                while (at < delivered.size() && delivered.at(at) != frame)
                    ++at;
                if (at < delivered.size()) {
                    ++matched;
                    next = at + 1;
                }
            }
            spliced += frames.size();
            missed += frames.size() - matched;
            extra += delivered.size() - matched;
        }

        qInfo("spliced %lld, missed %lld, chance windows %lld over %lld noise bytes", spliced, missed, extra, noiseBytes);
        // A frame is only lost to a chance window that overlaps it, so losses never exceed those windows.
        QVERIFY(missed <= extra);
        // About one window in 65536 passes by chance; allow several times that.
        QVERIFY2(extra <= 5 + 8 * (noiseBytes + 6 * spliced) / 65536, qPrintable(QString::number(extra)));
    }
};

QTEST_MAIN(StarsFramePropertyTest)
#include "tst_starsframeproperty.moc"
