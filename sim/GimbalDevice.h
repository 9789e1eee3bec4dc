// The simulated gimbal as a byte-stream device: host bytes in, answer bytes out, with faults.
#pragma once

#include "BootloaderFrame.h"
#include "BootloaderRole.h"
#include "LineFaults.h"
#include "OutputPacer.h"
#include "RuntimeRole.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

struct LineSettings
{
    bool silent = false;
    double dropRate = 0;
    double corruptRate = 0;
    quint32 seed = 1;
    bool pace = true; // 115200-baud timing of the answers
    int strayEveryMs = 0; // stray bytes between the answers this often (0: never)
};

// Which role the device answers in. Auto starts in the runtime role, enters the bootloader
// `bootDelayMs` after the first bootloader probe (as a user who power-cycles the gimbal into
// its bootloader while the host asks) and returns to the runtime role after RUN.
struct RoleSettings
{
    enum Role { Runtime, Bootloader, Auto };
    Role role = Runtime;
    int bootDelayMs = 2000;
    // What follows RUN in the bootloader role: the bootloader stays (None, the default), or
    // the new firmware starts, never answers, or answers with readings no gimbal at rest
    // gives (3 g). Role Auto always starts it.
    enum class NewFirmware { None, Starts, Silent, Nonsense };
    NewFirmware afterRun = NewFirmware::None;
    BootloaderSettings bootloader;
};

// Usable in-process (wire receiveBytes/sendBytes to a link) or behind a pseudo-terminal.
// Lives in one thread; its setters are called from that thread.
class GimbalDevice : public QObject
{
    Q_OBJECT

public:
    GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, QObject *parent = nullptr);
    GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, const RoleSettings &roles,
                 QObject *parent = nullptr);

    // The runtime firmware's state: orientation, shaking, ready, solve failure.
    GimbalModel &model() { return runtime.model(); }
    // The bootloader's chips and their flash (present in every role choice).
    BootloaderRole *bootloader() { return &boot; }
    bool inBootloader() const { return activeRole == &boot; }

    void setSilent(bool silent) { silentDevice = silent; }
    bool isSilent() const { return silentDevice; }
    void setDropRate(double rate) { faults.setDropRate(rate); }
    void setCorruptRate(double rate) { faults.setCorruptRate(rate); }
    void setPacing(bool enabled) { pacer.setEnabled(enabled); }

    // The adapter was pulled out: the gimbal loses its power and its line. Answers on their
    // way are lost and nothing is heard until plugIn().
    void unplug();
    // The adapter was plugged in: the gimbal powers up. One in its bootloader (an update cut
    // short leaves no firmware to start) boots into it again, its first chip answering.
    void plugIn();

    // Bytes received from the host so far (a silent device counts them too).
    qint64 bytesReceived() const { return receivedCount; }
    qint64 deviceTimeMs() const { return clock.elapsed(); }

public slots:
    void receiveBytes(QByteArray bytes);

signals:
    void sendBytes(QByteArray bytes);
    // "W 0009 0002" for an answered register write, "C C005 A151" for an answered command,
    // "B ..." for a bootloader request, "ROLE bootloader" / "ROLE runtime" for a role change, "POWER off" / "POWER on" for unplug()
    // and plugIn().
    void traceLine(QString line);

private:
    void receiveInRuntime(const QByteArray &bytes);
    void receiveInBootloader(const QByteArray &bytes, qint64 firstByteStartNs, qint64 byteNs);
    void enterBootloader();
    void sendStrayBytes();

    RuntimeRole runtime;
    BootloaderRole boot;
    DeviceRole *activeRole;
    bool autoRole;
    RoleSettings::NewFirmware afterRun;
    int bootDelayMs;
    QTimer bootTimer;
    QTimer strayTimer;
    BootloaderFrameParser probeWatch{BootloaderFrame::ToDevice};
    LineFaults faults;
    OutputPacer pacer;
    QElapsedTimer clock;
    bool silentDevice;
    bool unplugged = false;
    int replyDelayMs = 0;
    qint64 receivedCount = 0;
    qint64 inputFreeNs = 0;   // when the host's last byte so far has crossed the line
    qint64 bootBusyUntilNs = 0; // when the bootloader finishes the work already asked of it
};
