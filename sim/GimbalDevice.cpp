// The simulated gimbal as a byte-stream device.
#include "GimbalDevice.h"

#include <algorithm>

namespace {

// GET_INFO in either addressing mode: code 0x01, or address * 16 + 1.
bool isBootloaderProbe(const QByteArray &payload)
{
    return payload.size() == 2 && payload[1] == 0 && (uint8_t(payload[0]) & 0x0F) == 0x01;
}

} // namespace

GimbalDevice::GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, QObject *parent)
    : GimbalDevice(gimbal, line, RoleSettings{}, parent)
{
}

GimbalDevice::GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, const RoleSettings &roles,
                           QObject *parent)
    : QObject(parent)
    , runtime(gimbal)
    , boot(roles.bootloader)
    , activeRole(roles.role == RoleSettings::Bootloader ? static_cast<DeviceRole *>(&boot) : &runtime)
    , autoRole(roles.role == RoleSettings::Auto)
    , afterRun(autoRole && roles.afterRun == RoleSettings::NewFirmware::None ? RoleSettings::NewFirmware::Starts : roles.afterRun)
    , bootDelayMs(std::max(0, roles.bootDelayMs))
    , bootTimer(this)
    , strayTimer(this)
    , faults(line.seed)
    , pacer(this)
    , silentDevice(line.silent)
    , replyDelayMs(std::max(0, roles.bootloader.replyDelayMs))
{
    faults.setDropRate(line.dropRate);
    faults.setCorruptRate(line.corruptRate);
    pacer.setEnabled(line.pace);
    clock.start();
    runtime.setTraceSink([this](const QString &text) { emit traceLine(text); });
    boot.setTraceSink([this](const QString &text) { emit traceLine(text); });
    bootTimer.setSingleShot(true);
    connect(&bootTimer, &QTimer::timeout, this, &GimbalDevice::enterBootloader);
    connect(&pacer, &OutputPacer::bytesOut, this, &GimbalDevice::sendBytes);
    connect(&strayTimer, &QTimer::timeout, this, &GimbalDevice::sendStrayBytes);
    if (line.strayEveryMs > 0)
        strayTimer.start(line.strayEveryMs);
}

void GimbalDevice::unplug()
{
    unplugged = true;
    pacer.drop();
    bootTimer.stop();
    emit traceLine(QStringLiteral("POWER off"));
}

void GimbalDevice::plugIn()
{
    unplugged = false;
    inputFreeNs = 0;
    if (activeRole == &boot) {
        boot.restart();
        bootBusyUntilNs = 0;
    }
    emit traceLine(QStringLiteral("POWER on"));
}

void GimbalDevice::receiveBytes(QByteArray bytes)
{
    if (unplugged)
        return;
    receivedCount += bytes.size();
    // The host's bytes queue on the line: each arrives one byte time after the one before.
    // Unpaced, the line takes no time.
    const qint64 byteNs = pacer.isEnabled() ? OutputPacer::ByteNanoseconds : 0;
    const qint64 startNs = std::max(pacer.nowNs(), inputFreeNs);
    inputFreeNs = startNs + bytes.size() * byteNs;
    // A silent device is one that is switched off or unplugged: it does not even listen.
    if (silentDevice)
        return;
    if (activeRole == &boot)
        receiveInBootloader(bytes, startNs, byteNs);
    else
        receiveInRuntime(bytes);
}

void GimbalDevice::receiveInRuntime(const QByteArray &bytes)
{
    if (autoRole && !bootTimer.isActive()) {
        for (const QByteArray &payload : probeWatch.feed(bytes)) {
            if (isBootloaderProbe(payload)) {
                bootTimer.start(bootDelayMs);
                break;
            }
        }
    }
    const QByteArray answer = runtime.receive(bytes, clock.elapsed());
    if (!answer.isEmpty())
        pacer.send(faults.apply(answer), bytes.size());
}

void GimbalDevice::receiveInBootloader(const QByteArray &bytes, qint64 firstByteStartNs, qint64 byteNs)
{
    qsizetype consumed = 0;
    const bool leavesOnRun = afterRun != RoleSettings::NewFirmware::None;
    const QList<BootloaderReply> replies = boot.take(bytes, leavesOnRun, &consumed, firstByteStartNs, byteNs);
    for (const BootloaderReply &reply : replies) {
        // A request is taken in when its last byte has arrived and the chip is free; a page
        // write keeps the chip busy before it answers.
        const qint64 arrivedNs = firstByteStartNs + reply.requestEnd * byteNs;
        const qint64 readyNs = std::max(arrivedNs, bootBusyUntilNs) + qint64(reply.busyMs) * 1000000;
        bootBusyUntilNs = readyNs;
        // A slow bootloader answers late without being busy: later requests overlap.
        if (!reply.frame.isEmpty())
            pacer.sendAt(faults.apply(reply.frame), readyNs + qint64(replyDelayMs) * 1000000);
    }
    if (leavesOnRun && !replies.isEmpty() && replies.last().run) {
        if (afterRun == RoleSettings::NewFirmware::Silent) {
            silentDevice = true;
            emit traceLine(QStringLiteral("ROLE silent"));
            return;
        }
        if (afterRun == RoleSettings::NewFirmware::Nonsense)
            runtime.model().imu().setOrientation(Vector3{0, 0, 3});
        // The new firmware starts; whatever followed RUN in this chunk is for it.
        activeRole = &runtime;
        probeWatch.reset();
        emit traceLine(QStringLiteral("ROLE runtime"));
        if (consumed < bytes.size())
            receiveInRuntime(bytes.mid(consumed));
    }
}

void GimbalDevice::sendStrayBytes()
{
    // Queued behind the answers already on their way, so noise never lands inside a frame.
    pacer.sendAt(faults.strayBytes(), pacer.nowNs());
}

void GimbalDevice::enterBootloader()
{
    if (activeRole == &boot)
        return;
    boot.restart();
    bootBusyUntilNs = 0;
    activeRole = &boot;
    emit traceLine(QStringLiteral("ROLE bootloader"));
}
