// Command words, fixed arguments and time-outs of the runtime protocol, shared by the request
// service, the calibration procedure and the simulator.
#pragma once

#include <cstdint>

// The two top bits of a command word give its kind: 00 read, 10 write, 11 command.
constexpr uint16_t CMD_KIND_MASK = 0xC000;
constexpr uint16_t CMD_WRITE_FLAG = 0x8000;
constexpr uint16_t CMD_COMMAND_FLAG = 0xC000;
// The register code carried by a read or write command word.
constexpr uint16_t CMD_CODE_MASK = 0x3FFF;

// Stops the motors before calibration data is touched.
constexpr uint16_t CMD_DISABLE = 0xC004;
constexpr uint16_t CMD_DISABLE_VALUE = 0x55AA;
// Stores the calibration result in the gimbal.
constexpr uint16_t CMD_SAVE = 0xC005;
constexpr uint16_t CMD_SAVE_VALUE = 0xA151;

// Time the service waits for one answer, per sending, in milliseconds.
constexpr uint32_t POLL_TIMEOUT_MS = 200;
constexpr uint32_t WRITE_TIMEOUT_MS = 100;
constexpr uint32_t COMMAND_TIMEOUT_MS = 3000;

// Command word that writes the register with `code`.
constexpr uint16_t writeCommand(uint16_t code)
{
    return uint16_t(code | CMD_WRITE_FLAG);
}
