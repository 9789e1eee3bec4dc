// After an update: does the new firmware run? The runtime link on the same port must come up
// and give readings that make sense.
#pragma once

#include "Attempts.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>

class RuntimeSession;

// Opens the port in the runtime protocol and waits, up to its time-out, until the link is up
// and each of the six sensor values (three accelerations, three rates) has been answered; the
// gimbal lies still, so the acceleration modulus must be 1 g give or take 0.1. The values are
// taken from the service's answers, never from the process-wide register table, which several
// checks at once would share.
class FirmwareCheck : public QObject
{
    Q_OBJECT

public:
    // Running, NoAnswer, Implausible or Cancelled: the values a record keeps.
    using Result = BootCheck;
    // How long a new firmware gets to start and answer.
    static constexpr int DefaultTimeoutMs = 10000;

    FirmwareCheck(const QString &portName, int productRow, int timeoutMs, QObject *parent = nullptr);
    ~FirmwareCheck() override;

    void start();
    // Ends the check now (Ctrl-C, adapter pulled out): Cancelled.
    void cancel();

    // The verdict on one set of answers: raw counts of accX, accY, accZ, gyroX, gyroY, gyroZ.
    static Result judge(const std::array<int16_t, 6> &values, double *accelerationG = nullptr);

signals:
    void finished(BootCheck result, double accelerationG);

private:
    void onAnswer(int index, quint16 value);
    void end(Result result, double accelerationG = 0);

    QString port;
    int row;
    QTimer deadline;
    RuntimeSession *session = nullptr;
    std::array<int16_t, 6> values{};
    unsigned answered = 0; // one bit per value
    bool linkUp = false;
    bool done = false;
};
