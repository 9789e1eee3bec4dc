// The process-wide table of the ten gimbal registers that the runtime service polls.
#pragma once

#include <atomic>
#include <cstdint>

// One polled register: its code in the current profile and the last value read.
// The cells are read and written whole from several threads without a lock.
struct RegisterEntry
{
    std::atomic<uint16_t> code{0};
    std::atomic<uint16_t> value{0};
    // How many answers have been stored in `value`: a reader that must not take one reading
    // twice (the calibration's check) compares it, since an answer may repeat the last value.
    std::atomic<uint32_t> answers{0};

    // Stores an answer: the value first, then the count, so a reader that saw the count move
    // also sees the value.
    void storeAnswer(uint16_t answer)
    {
        value.store(answer);
        answers.fetch_add(1);
    }

    // The value as the signed 16-bit number the sensor registers carry.
    int16_t signedValue() const { return int16_t(value.load()); }
};

enum RegisterIndex {
    accX = 0,
    accY,
    accZ,
    gyroX,
    gyroY,
    gyroZ,
    workMode,
    calibCommand,
    calibStatus,
    motion,
    RegisterCount
};

extern RegisterEntry registerTable[RegisterCount];

// A register profile: the slave address and the ten codes of one product family.
struct RegisterProfile
{
    uint8_t slaveAddress;
    uint16_t codes[RegisterCount];
};

constexpr int RegisterProfileCount = 3;

// Profile `profile` (0, 1 or 2), or nullptr for any other number.
const RegisterProfile *registerProfile(int profile);

// Sets every value of the table to 0 (codes are kept).
void clearRegisterValues();
