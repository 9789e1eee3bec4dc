// Builds a journal record from what the update and calibration engines report as values.
#pragma once

#include "CalibrationOutcome.h"
#include "CatalogueReason.h"
#include "CheckedPackage.h"
#include "ChipInfo.h"
#include "JournalRecord.h"
#include "UpdateOutcome.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <optional>

// Whether the new firmware started after RUN, when a face checked it.
enum class BootCheck { NotChecked, Running, NoAnswer, Implausible, Cancelled };

// How an update attempt ended: by the engine with its outcome, or by the face around it.
struct UpdateEnding
{
    enum class Kind {
        Engine,          // the engine reported the end (`engine`)
        Cancelled,       // the user cancelled, or the face closed, before the engine's end
        PortLost,        // the adapter went away under the attempt
        PortUnavailable, // the port could not be opened; nothing was sent
        PackageRefused,  // the package's own check refused it, before it was sent (`refusal`)
        CatalogueRefused, // the catalogue gave no package for the listed chips (`catalogueRefusal`)
    };
    // Why a package was refused: its signature, or (a package fetched for listed chips) its form.
    enum class Refusal { Unsigned, SignatureInvalid, UntrustedKey, Invalid };

    Kind kind = Kind::Engine;
    // The engine's last end, also when the face ended the attempt: what the write came to.
    std::optional<UpdateOutcome> engine;
    Refusal refusal = Refusal::Unsigned;
    // Why the catalogue gave no package (None is recorded as a failed download).
    CatalogueReason catalogueRefusal = CatalogueReason::Signature;

    static UpdateEnding byEngine(const UpdateOutcome &outcome) { return {Kind::Engine, outcome}; }
    static UpdateEnding refused(Refusal why) { return {Kind::PackageRefused, std::nullopt, why}; }
    static UpdateEnding refusedByCatalogue(CatalogueReason why)
    {
        return {Kind::CatalogueRefused, std::nullopt, Refusal::Unsigned, why};
    }
};

// Follows one update attempt: the face feeds it the engine's values as they come and takes
// the record, once, when the attempt ended (and was checked, where it is checked).
class UpdateAttempt
{
public:
    UpdateAttempt() = default;
    // A new attempt on `port` (adapter `adapterSerial`) for product `productRow`.
    UpdateAttempt(const QString &port, const QString &adapterSerial, int productRow);

    bool isStarted() const { return !rec.id.isNull(); }
    // The package as the door let it through: its file name, size, SHA-256 and signature.
    void setPackage(const CheckedPackage &package);
    // The same from its size and SHA-256 (hex), for a package the door refused.
    void setPackage(const QString &path, qint64 size, const QString &sha256);
    // The package's signature as it was checked: its state's name and the key id.
    void setSignature(const QString &state, const QString &keyId);
    // The catalogue release the package was (or was to be) taken from.
    void setCatalogue(const CatalogueOrigin &origin);
    // The unit's own serial, scanned or given.
    void setUnitSerial(const QString &unitSerial) { rec.unitSerial = unitSerial; }
    void onChipsListed(const QList<chipInfo> &chips);
    void onStep(const UpdateOutcome &step);

    // The record of the attempt, ended as `ending` says and checked as `check` says.
    JournalRecord finish(const UpdateEnding &ending, BootCheck check = BootCheck::NotChecked) const;

    // The record's outcome word for an ending: the engine's reason, or the face's own end;
    // a written gimbal whose new firmware was seen silent or implausible is "not-running"; a
    // refused package is its signature's state ("unsigned", "signature-invalid",
    // "signature-untrusted-key") or "package-invalid"; a catalogue's refusal is its reason's
    // name (CatalogueReasons::name: "catalogue-signature", "package-digest", ...).
    static QString outcomeWord(const UpdateEnding &ending, BootCheck check = BootCheck::NotChecked);
    // "running", "no-answer", "implausible", "cancelled"; empty when not checked.
    static QString checkName(BootCheck check);

private:
    JournalRecord rec;
};

// How a calibration run ended: by the engine with its outcome, or by the face around it.
struct CalibrationEnding
{
    enum class Kind { Engine, Cancelled, NoAnswer, LinkLost, PortLost, PortUnavailable };

    Kind kind = Kind::Engine;
    // What the engine reported, when it did: the step reached and the faces taken.
    std::optional<CalibrationOutcome> engine;
};

namespace CalibrationAttempt {
// The record of a run begun as `begun` (JournalRecord::begin and its port), from its ending.
JournalRecord record(const JournalRecord &begun, const CalibrationEnding &ending);
// The record's outcome word for an ending.
QString outcomeWord(const CalibrationEnding &ending);
}

// How a check ended: by the engine with its outcome, or by the face around it.
struct CheckEnding
{
    enum class Kind { Engine, Cancelled, NoAnswer, PortLost, PortUnavailable };

    Kind kind = Kind::Engine;
    std::optional<CheckOutcome> engine;
};

namespace CheckAttempt {
// The record (kind check) of a check begun as `begun`, from its ending.
JournalRecord record(const JournalRecord &begun, const CheckEnding &ending);
QString outcomeWord(const CheckEnding &ending);
}

namespace JournalWords {
// Every outcome word a record can carry, each once, in a stable order: the engines' ends, the
// faces' own ends and the refused packages' words, all made by the outcomeWord functions above.
QStringList outcomes();
// The two kinds of failure. A refusal wrote nothing, because of the line's setup (its package,
// signature, catalogue or port) or its operator's cancel: the gimbal was not at fault. Every
// other word but "success" is the gimbal's failure (something was tried on it and failed).
QStringList refusals();
bool isRefusal(const QString &word);
}
