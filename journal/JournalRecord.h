// One attempt as the journal keeps it: an update, a calibration or a check, with its outcome as values.
#pragma once

#include "CatalogueOrigin.h"
#include "CheckOutcome.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <array>
#include <cstdint>

// One chip of an update, in listing order.
struct JournalChip
{
    int position = 0; // from 1, in listing order
    int address = 0;
    uint32_t cpuid = 0;
    uint32_t serial = 0;
    uint16_t hardware = 0;
    uint16_t boot = 0;
    int firmwareBefore = -1; // version times 100, from the listing; -1 unknown
    int firmwareAfter = -1;  // the image's version times 100; -1 when no image was matched
    // "written", "up-to-date", "failed" or "not-reached".
    QString result = QStringLiteral("not-reached");
};

struct JournalRecord
{
    // A check is the gimbal measured at rest on demand; a calibration's own check is part of
    // the calibration's record.
    enum class Kind { Update, Calibration, Check };

    // Every record.
    QUuid id;
    Kind kind = Kind::Update;
    QDateTime started; // UTC, milliseconds
    QDateTime ended;
    QString station;
    QString version;
    QString port;
    QString adapterSerial;
    // The unit's own serial as scanned from its label (or given with --unit-serial); empty when
    // none was given. When present it tells one gimbal from another in the report.
    QString unitSerial;
    int productRow = -1;
    // The engine's reason as a stable word ("success", "hardware-mismatch", "cancelled").
    QString outcome;
    int failedChip = 0;   // from 1; 0 when no chip is concerned
    QString failedStep;   // calibration: the step a failure ended at

    // An update.
    QString packageName;
    qint64 packageSize = -1;
    QString packageSha256;
    int packageArch = -1;
    QList<JournalChip> chips;
    int pagesWritten = 0;
    QString endCommand; // "run", "restart" or empty when neither was sent
    // The package's signature: "signed", "unsigned" (or empty when not known), and its key id.
    QString signature;
    QString signatureKey;
    // Whether the new firmware started after RUN, when it was checked: "running", "no-answer",
    // "implausible" or "cancelled"; empty when it was not checked. A check that found it silent
    // or implausible also makes the outcome "not-running".
    QString checkResult;
    // The catalogue release the package was taken from; unset for a package given as a file.
    CatalogueOrigin catalogue;

    // A calibration.
    QString stepReached;
    // The acceleration (g) each accepted face was taken at, face 1 first.
    QList<std::array<double, 3>> faces;
    bool saveAcknowledged = false;

    // A check, or a calibration's check after its save: each figure with its limits.
    QList<CheckMeasurement> measurements;

    static QString kindName(Kind kind);
    static bool kindFromName(const QString &name, Kind *kind);

    // A new record of `kind` started now: fresh id, start time, this program's version.
    static JournalRecord begin(Kind kind);
    // Now in UTC, to the millisecond: what the journal keeps of a time.
    static QDateTime now();

    // One JSON object: the fields a line's own software reads (see the README).
    QJsonObject toJson() const;
    // The faces as JSON ([[x, y, z], ...]), as the record's JSON and the journal's column hold them.
    QJsonArray facesJson() const;
    static QList<std::array<double, 3>> facesFromJson(const QJsonArray &list);
    static QString csvHeader();
    // One CSV line (without the line break), quoted where a spreadsheet needs it.
    QString toCsv() const;

    static QString hex32(uint32_t value) { return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper(); }
    static QString hex16(uint16_t value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }
    // "1.05" for 105; empty when unknown.
    static QString firmwareText(int firmware);
};
