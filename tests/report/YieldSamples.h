// A line's day worked out by hand, for the yield report's test and its HTML test: gimbals that
// pass first time, on a second attempt, never, or pass and then fail; attempts with no chip;
// refusals of the line's (an unsigned package, a port that could not be opened);
// failed checks; days across local midnight (in UTC+8); three stations; a chip written with
// firmware its record does not name; calibrations, their checks and checks on demand.
#pragma once

#include "JournalRecord.h"

#include <QList>

namespace YieldSamples {

inline JournalRecord attempt(const char *startUtc, int seconds, const char *station, const char *outcome, const char *check,
                             QList<uint32_t> cpuids, const char *chipResult = "written", int firmware = 105)
{
    JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Update);
    r.started = QDateTime::fromString(QString::fromLatin1(startUtc), Qt::ISODate).toUTC();
    r.ended = r.started.addSecs(seconds);
    r.station = QString::fromLatin1(station);
    r.outcome = QString::fromLatin1(outcome);
    r.checkResult = QString::fromLatin1(check);
    r.packageName = QStringLiteral("k5-1.05.ptz");
    for (uint32_t cpuid : cpuids) {
        JournalChip c;
        c.position = int(r.chips.size()) + 1;
        c.cpuid = cpuid;
        c.firmwareBefore = 103;
        c.firmwareAfter = firmware;
        c.result = QString::fromLatin1(chipResult);
        r.chips.append(c);
    }
    return r;
}

inline JournalRecord calibration(const char *startUtc, const char *outcome, const char *failedStep)
{
    JournalRecord r = JournalRecord::begin(JournalRecord::Kind::Calibration);
    r.started = QDateTime::fromString(QString::fromLatin1(startUtc), Qt::ISODate).toUTC();
    r.ended = r.started.addSecs(90);
    r.station = QStringLiteral("s1");
    r.outcome = QString::fromLatin1(outcome);
    r.failedStep = QString::fromLatin1(failedStep);
    return r;
}

// A calibration whose check after the save measured `accelNorm`, `accelNoise` and `gyroBias`
// (limits 0.97-1.03 g, at most 0.01 g, at most `gyroHigh` deg/s).
inline JournalRecord checkedCalibration(const char *startUtc, const char *outcome, double accelNorm, double accelNoise, double gyroBias,
                                        double gyroHigh = 0.5)
{
    JournalRecord r = calibration(startUtc, outcome, outcome == QLatin1String("success") ? "" : "check");
    r.measurements = {{QStringLiteral("accel_norm"), accelNorm, 0.97, 1.03, QStringLiteral("g")},
                      {QStringLiteral("accel_noise"), accelNoise, 0, 0.01, QStringLiteral("g")},
                      {QStringLiteral("gyro_bias"), gyroBias, 0, gyroHigh, QStringLiteral("deg/s")}};
    return r;
}

// A check on demand; only one that passed measured anything.
inline JournalRecord check(const char *startUtc, const char *outcome)
{
    JournalRecord r = checkedCalibration(startUtc, outcome, 1.0, 0.002, 0.2);
    r.kind = JournalRecord::Kind::Check;
    r.failedStep.clear();
    if (r.outcome != QLatin1String("success"))
        r.measurements.clear();
    return r;
}

// Gimbals A (0x100, 0x101), B, C, D, E, F; local days are UTC+8.
inline QList<JournalRecord> line()
{
    return {
        attempt("2026-11-30T10:00:00Z", 35, "s1", "write-failed", "", {0x100, 0x101}, "failed"),  // A, 11-30
        attempt("2026-12-01T01:00:00Z", 40, "s1", "success", "", {0x100, 0x101}, "written", 104), // A passes
        attempt("2026-12-01T02:00:00Z", 30, "s1", "write-failed", "", {0x200, 0x201}, "failed"),  // B
        attempt("2026-12-01T03:00:00Z", 50, "s2", "success", "", {0x200, 0x201}),                 // B, second time
        attempt("2026-12-01T05:00:00Z", 5, "s1", "no-bootloader", "", {}),                        // no chip listed
        attempt("2026-12-01T06:10:00Z", 35, "s3", "success", "", {0x700}, "written", -1),         // F passes, firmware unknown
        attempt("2026-12-01T06:40:00Z", 60, "s3", "write-failed", "", {0x700}, "failed"),         // F then fails: failed
        attempt("2026-12-01T15:50:00Z", 10, "s1", "hardware-mismatch", "", {0x300}, "not-reached"), // C, 23:50 local
        attempt("2026-12-01T16:10:00Z", 20, "s2", "write-failed", "", {0x300}, "failed"),          // C, 00:10 next day
        attempt("2026-12-01T16:20:00Z", 0, "s2", "unsigned", "", {0x400, 0x401}, "not-reached"),  // D refused: the line's
        attempt("2026-12-01T16:30:00Z", 60, "s2", "not-running", "no-answer", {0x400, 0x401}),     // D, silent
        attempt("2026-12-01T17:00:00Z", 70, "s2", "success", "running", {0x400, 0x401}),          // D runs
        // E: an older program's record of a failed check kept as "success": not a pass.
        attempt("2026-12-01T18:00:00Z", 45, "s2", "success", "no-answer", {0x500}),
        attempt("2026-12-01T19:00:00Z", 0, "s2", "port-unavailable", "", {}),
        calibration("2026-11-30T09:00:00Z", "port-lost", ""),
        calibration("2026-12-01T04:00:00Z", "success", ""),
        calibration("2026-12-01T06:00:00Z", "step-failed", "solve"),
        // Checks after calibration: one passed, one failed on the gyroscope's bias (the line had
        // widened its limit meanwhile); on demand, one passed, one never kept still and one
        // cancelled (the line's, no check of the gimbal).
        checkedCalibration("2026-12-01T08:00:00Z", "check-failed", 0.98, 0.003, 0.8, 0.6),
        checkedCalibration("2026-12-01T07:00:00Z", "success", 1.01, 0.002, 0.1),
        check("2026-12-01T09:00:00Z", "success"),
        check("2026-12-01T09:10:00Z", "not-still"),
        check("2026-12-01T09:20:00Z", "cancelled"),
    };
}

} // namespace YieldSamples
