// The simulated gimbal in its runtime role.
#include "RuntimeRole.h"

#include "StarsCommands.h"

RuntimeRole::RuntimeRole(const GimbalSettings &settings)
    : gimbal(settings)
{
}

QByteArray RuntimeRole::receive(const QByteArray &hostBytes, qint64 nowMs)
{
    gimbal.advanceTo(nowMs);
    QByteArray out;
    for (const QByteArray &request : frameParser.feed(hostBytes))
        out += answer(request);
    return out;
}

QByteArray RuntimeRole::answer(const QByteArray &request)
{
    const uint8_t address = StarsFrame::address(request);
    if (address != gimbal.slaveAddress())
        return {};
    const uint16_t cmd = StarsFrame::command(request);
    const uint16_t value = StarsFrame::value(request);
    const uint16_t code = cmd & CMD_CODE_MASK;
    switch (cmd & CMD_KIND_MASK) {
    case 0:
        if (!gimbal.knowsRegister(code))
            return {};
        return StarsFrame::encode(address, cmd, gimbal.readRegister(code));
    case CMD_WRITE_FLAG:
        if (!gimbal.writeRegister(code, value))
            return {};
        trace(QStringLiteral("W %1 %2").arg(code, 4, 16, QLatin1Char('0')).arg(value, 4, 16, QLatin1Char('0')).toUpper());
        return StarsFrame::encode(address, cmd, value);
    case CMD_COMMAND_FLAG:
        if (!gimbal.runCommand(cmd, value))
            return {};
        trace(QStringLiteral("C %1 %2").arg(cmd, 4, 16, QLatin1Char('0')).arg(value, 4, 16, QLatin1Char('0')).toUpper());
        return StarsFrame::encode(address, cmd, value);
    default:
        return {};
    }
}
