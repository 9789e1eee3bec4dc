// One adapter's tile on the station window: its port, the unit's serial, the gimbal's chips, the
// phase, and once the attempt ends a large PASS, FAIL or REFUSED that stays until the next gimbal.
#pragma once

#include <QFrame>
#include <QString>

class QLabel;

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
    bool isPicked() const { return picked; }

    // A new gimbal on the adapter: the last verdict, serial and chips go.
    void beginGimbal();
    void setUnitSerial(const QString &unitSerial);
    void setChips(const QString &chips);
    void setPhase(const QString &words);
    // The write's percent, large where the verdict will be.
    void showProgress(int percent);
    // The attempt ended: `outcome` is the record's word ("success" for a pass).
    void conclude(Verdict verdict, const QString &outcome, const QString &words);
    // The adapter was pulled out; the verdict stays until the next gimbal.
    void setUnplugged();
    // Picked for the next scan (a visible mark).
    void setPicked(bool picked);

    // The verdict for a record's outcome word: success passes, a refusal (nothing written, the
    // line's setup or a cancel) is refused, anything else fails the gimbal.
    static Verdict verdictOf(const QString &outcome);
    // The outcome in words an operator reads.
    static QString outcomeWords(const QString &outcome);

signals:
    void clicked(const QString &port);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showVerdict();

    QString portName;
    Verdict shown = Verdict::None;
    QString serial;
    QString outcome;
    bool picked = false;
    QLabel *portLabel;
    QLabel *serialLabel;
    QLabel *chipsLabel;
    QLabel *phaseLabel;
    QLabel *verdictLabel;
    QLabel *reasonLabel;
};
