// The simulated gimbal in its runtime role: answers 7-byte frames from its register model.
#pragma once

#include "DeviceRole.h"
#include "GimbalModel.h"
#include "StarsFrame.h"

// Answers only frames for its own slave address whose command it knows: reads of its ten
// registers, writes to them, and the two commands with their fixed arguments. Anything else
// gets no answer, as a real device would stay silent.
class RuntimeRole : public DeviceRole
{
public:
    explicit RuntimeRole(const GimbalSettings &settings);

    QByteArray receive(const QByteArray &hostBytes, qint64 nowMs) override;

    GimbalModel &model() { return gimbal; }

private:
    // The answer frame, or an empty array when the request gets none.
    QByteArray answer(const QByteArray &request);

    GimbalModel gimbal;
    StarsFrameParser frameParser;
};
