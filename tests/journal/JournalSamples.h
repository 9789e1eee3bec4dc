// Records for the journal's tests and benchmarks: an update of two chips, a calibration.
#pragma once

#include "JournalRecord.h"

namespace JournalSamples {

inline JournalRecord update(uint32_t cpuid = 0x5A3F0012, const QString &outcome = QStringLiteral("success"))
{
    JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Update);
    r.ended = r.started.addMSecs(41234);
    r.station = QStringLiteral("bench-1");
    r.port = QStringLiteral("/dev/ttyUSB0");
    r.adapterSerial = QStringLiteral("0001");
    r.productRow = 4;
    r.outcome = outcome;
    r.packageName = QStringLiteral("k5-1.05.ptz");
    r.packageSize = 123456;
    r.packageSha256 = QString(64, QLatin1Char('a'));
    r.packageArch = 0x0203;
    for (int k = 0; k < 2; ++k) {
        JournalChip chip;
        chip.position = k + 1;
        chip.address = k + 1;
        chip.cpuid = cpuid + uint32_t(k);
        chip.serial = 0x10000000u + cpuid + uint32_t(k);
        chip.hardware = uint16_t(0x0101 + k);
        chip.boot = 0x0100;
        chip.firmwareBefore = 104;
        chip.firmwareAfter = 105;
        chip.result = QStringLiteral("written");
        r.chips.append(chip);
    }
    r.pagesWritten = 480;
    r.signature = QStringLiteral("signed");
    r.signatureKey = QStringLiteral("754323FEF3D07DC8");
    r.endCommand = QStringLiteral("run");
    r.catalogue = {QStringLiteral("https://maker.example/k5/catalogue.json"), 42, QStringLiteral("1.05"), QStringLiteral("stable"),
                   QStringLiteral("k5-1.05.ptz")};
    return r;
}

inline JournalRecord calibration(const QString &outcome = QStringLiteral("success"))
{
    JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Calibration);
    r.ended = r.started.addMSecs(65000);
    r.station = QStringLiteral("bench-1");
    r.port = QStringLiteral("/dev/ttyUSB1");
    r.productRow = 2;
    r.outcome = outcome;
    r.stepReached = QStringLiteral("save");
    r.faces = {{1.0, 0.01, 0.02}, {-0.99, 0.0, 0.01}, {0.0, 1.01, 0.0}, {0.0, -1.0, 0.0}, {0.02, 0.0, 1.0}, {0.0, 0.0, -1.0}};
    r.saveAcknowledged = outcome == QLatin1String("success");
    return r;
}

// A check's five figures; `gyroBias` beyond 0.5 deg/s fails it.
inline QList<CheckMeasurement> measured(double gyroBias = 0.12)
{
    return {{QStringLiteral("accel_norm"), 1.004, 0.97, 1.03, QStringLiteral("g")},
            {QStringLiteral("accel_noise"), 0.0021, 0, 0.01, QStringLiteral("g")},
            {QStringLiteral("gyro_bias"), gyroBias, 0, 0.5, QStringLiteral("deg/s")},
            {QStringLiteral("gyro_noise"), 0.04, 0, 0.2, QStringLiteral("deg/s")},
            {QStringLiteral("tilt"), 1.5, 0, 10, QStringLiteral("deg")}};
}

// A calibration whose check after the save ran: passed, or failed on the gyroscope's bias.
inline JournalRecord checkedCalibration(bool passed = true)
{
    JournalRecord r = calibration(passed ? QStringLiteral("success") : QStringLiteral("check-failed"));
    r.saveAcknowledged = true;
    r.stepReached = QStringLiteral("check");
    if (!passed)
        r.failedStep = r.stepReached;
    r.measurements = measured(passed ? 0.12 : 0.83);
    return r;
}

// A check on demand.
inline JournalRecord check(const QString &outcome = QStringLiteral("success"), QList<CheckMeasurement> figures = measured())
{
    JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Check);
    r.ended = r.started.addMSecs(2600);
    r.station = QStringLiteral("bench-1");
    r.port = QStringLiteral("/dev/ttyUSB1");
    r.productRow = 2;
    r.outcome = outcome;
    r.measurements = figures;
    return r;
}

} // namespace JournalSamples
