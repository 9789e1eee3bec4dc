// One role the simulated gimbal can answer in: its runtime firmware or its bootloader.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// A role turns host bytes into answer bytes. It does its own framing, so roles with
// different frame formats can sit behind the same byte stream.
class DeviceRole
{
public:
    using TraceSink = std::function<void(const QString &line)>;

    virtual ~DeviceRole() = default;

    // Takes bytes from the host at device time `nowMs` (milliseconds, never going back)
    // and returns the bytes the device answers with, possibly none.
    virtual QByteArray receive(const QByteArray &hostBytes, qint64 nowMs) = 0;

    // Receives one line per answered request that changes the device (the runtime role leaves
    // reads out; the bootloader role traces every request).
    void setTraceSink(TraceSink sink) { traceSink = std::move(sink); }

protected:
    void trace(const QString &line) const
    {
        if (traceSink)
            traceSink(line);
    }

private:
    TraceSink traceSink;
};
