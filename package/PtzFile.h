// The `.ptz` firmware package: checks and splits a package held in memory, and builds one.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>

// One image record of a package: the firmware for one chip.
struct ptzImage
{
    uint32_t length = 0;   // whole record: data length + 10
    uint16_t hardware = 0; // hardware code of the chip it is for
    uint16_t firmware = 0; // version times 100
    QByteArray data;       // image bytes as stored (padding included)
    uint16_t crc = 0;      // CRC-16 of data
};

// A parsed package header with its images, in file order.
struct ptzHeader
{
    QByteArray flag = QByteArrayLiteral("PTZ");
    uint8_t format = 1;
    uint32_t size = 18; // header (16) + package CRC (2) + records
    uint16_t count = 0;
    uint16_t boot = 0;
    uint16_t arch = 0;
    uint16_t pack = 0;
    QList<ptzImage> images;
    uint16_t crc = 0;
};

// Does no file input or output: callers hand in and take out whole packages as bytes.
// Used by one thread at a time.
class PtzFile : public QObject
{
    Q_OBJECT

public:
    // Which of the package's own checks refused it.
    enum class Flaw {
        None,
        HeaderFlag, // does not begin with "PTZ"
        Size,       // sizes or the image count do not agree with the bytes
        Crc,        // the package CRC does not match its bytes
    };

    explicit PtzFile(QObject *parent = nullptr);

    // Checks and parses a whole package. On false the previous state is left untouched and
    // flaw() says which check refused it.
    // Every accepted package has exactly `count` images, each lying inside the input.
    bool unpack(const QByteArray &bytes);
    // Why the last unpack() refused; None after an accepted one.
    Flaw flaw() const { return lastFlaw; }
    // The check's name as every tool shows it ("file check crc error"); empty for None.
    static QString flawName(Flaw flaw);

    const ptzHeader &header() const;

    // Appends one image, padded with 0xFF to a multiple of 16 bytes; false for empty bytes.
    bool addImage(uint16_t hardware, uint16_t firmware, const QByteArray &bytes);

    // Stores the four codes in the header and returns the complete package bytes.
    QByteArray build(uint8_t format, uint16_t boot, uint16_t arch, uint16_t pack);

private:
    bool refuse(Flaw flaw);

    ptzHeader head;
    Flaw lastFlaw = Flaw::None;
};
