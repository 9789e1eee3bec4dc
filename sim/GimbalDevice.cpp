// The simulated gimbal as a byte-stream device.
#include "GimbalDevice.h"

GimbalDevice::GimbalDevice(const GimbalSettings &gimbal, const LineSettings &line, QObject *parent)
    : QObject(parent)
    , runtime(gimbal)
    , faults(line.seed)
    , pacer(this)
    , silentDevice(line.silent)
{
    faults.setDropRate(line.dropRate);
    faults.setCorruptRate(line.corruptRate);
    pacer.setEnabled(line.pace);
    clock.start();
    runtime.setTraceSink([this](const QString &text) { emit traceLine(text); });
    connect(&pacer, &OutputPacer::bytesOut, this, &GimbalDevice::sendBytes);
}

void GimbalDevice::receiveBytes(QByteArray bytes)
{
    receivedCount += bytes.size();
    // A silent device is one that is switched off or unplugged: it does not even listen.
    if (silentDevice)
        return;
    const QByteArray answer = activeRole->receive(bytes, clock.elapsed());
    if (!answer.isEmpty())
        pacer.send(faults.apply(answer), bytes.size());
}
