// The simulated gimbal as a byte-stream device: host bytes in, answer bytes out, with faults.
#pragma once

#include "LineFaults.h"
#include "OutputPacer.h"
#include "RuntimeRole.h"

#include <QElapsedTimer>
#include <QObject>

struct LineSettings
{
    bool silent = false;
    double dropRate = 0;
    double corruptRate = 0;
    quint32 seed = 1;
    bool pace = true; // 115200-baud timing of the answers
};

// Usable in-process (wire receiveBytes/sendBytes to a link) or behind a pseudo-terminal.
// Lives in one thread; its setters are called from that thread.
class GimbalDevice : public QObject
{
    Q_OBJECT

public:
    GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, QObject *parent = nullptr);

    // The runtime firmware's state: orientation, shaking, ready, solve failure.
    GimbalModel &model() { return runtime.model(); }

    void setSilent(bool silent) { silentDevice = silent; }
    bool isSilent() const { return silentDevice; }
    void setDropRate(double rate) { faults.setDropRate(rate); }
    void setCorruptRate(double rate) { faults.setCorruptRate(rate); }
    void setPacing(bool enabled) { pacer.setEnabled(enabled); }

    // Bytes received from the host so far (a silent device counts them too).
    qint64 bytesReceived() const { return receivedCount; }
    qint64 deviceTimeMs() const { return clock.elapsed(); }

public slots:
    void receiveBytes(QByteArray bytes);

signals:
    void sendBytes(QByteArray bytes);
    // "W 0009 0002" for an answered register write, "C C005 A151" for an answered command.
    void traceLine(QString line);

private:
    RuntimeRole runtime;
    DeviceRole *activeRole = &runtime; // the bootloader role will be a second choice here
    LineFaults faults;
    OutputPacer pacer;
    QElapsedTimer clock;
    bool silentDevice;
    qint64 receivedCount = 0;
};
