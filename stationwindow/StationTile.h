// One adapter's tile on the station window: its port, the unit's serial, the gimbal's chips, the
// phase, and once the attempt ends a large PASS, FAIL or REFUSED that stays until the next gimbal.
#pragma once

#include <QFrame>
#include <QString>

class StationTile : public QFrame
{
    Q_OBJECT

public:
    // What the tile's last attempt came to; None while none has ended since the gimbal came.
    enum class Verdict { None, Pass, Fail, Refused };

    explicit StationTile(const QString &port, QWidget *parent = nullptr);

    QString port() const { return portName; }
    Verdict verdict() const { return shown; }
    // The unit serial shown (tied to the gimbal on this adapter); empty when none.
    QString unitSerial() const { return serial; }
    // The phase's words as shown ("waiting", "writing 42 %, 12 s left", ...).
    QString phaseText() const;
    // The failure's or refusal's outcome word ("write-failed", "signature-invalid"); empty otherwise.
    QString outcomeWord() const { return outcome; }

private:
    QString portName;
    Verdict shown = Verdict::None;
    QString serial;
    QString outcome;
};
