// Builds a journal record from what the update and calibration engines report as values.
#pragma once

#include "CalibrationOutcome.h"
#include "ChipInfo.h"
#include "JournalRecord.h"
#include "UpdateOutcome.h"

#include <QByteArray>
#include <QList>

// Follows one update attempt: the face feeds it the engine's values as they come and takes
// the record once the attempt ended.
class UpdateAttempt
{
public:
    UpdateAttempt() = default;
    // A new attempt on `port` (adapter `adapterSerial`) for product `productRow`.
    UpdateAttempt(const QString &port, const QString &adapterSerial, int productRow);

    bool isStarted() const { return !rec.id.isNull(); }
    // The package as it was read: its file name, and its bytes for the size and SHA-256.
    void setPackage(const QString &path, const QByteArray &bytes);
    // The package's signature as it was checked: its state's name and the key id.
    void setSignature(const QString &state, const QString &keyId);
    void onChipsListed(const QList<chipInfo> &chips);
    void onStep(const UpdateOutcome &step);
    // The end: the outcome's reason and chip; a port that went away or a cancel from the
    // face is passed as `reasonOverride` ("port-lost", "cancelled").
    JournalRecord finish(const UpdateOutcome &end, const QString &reasonOverride = QString());
    // An attempt that ended before the engine reported anything of its own (port refused).
    JournalRecord finish(const QString &reason);

private:
    JournalRecord rec;
};

namespace CalibrationAttempt {
// The record of a run that began at `started`, from its outcome.
JournalRecord record(const JournalRecord &begun, const CalibrationOutcome &outcome);
}
