// The bootloader's command numbers and their codes in the two addressing modes.
#pragma once

#include <cstdint>

namespace BootloaderCommand {

// Command numbers, used in multi-chip codes as (address * 16) + number.
enum Number : uint8_t { GET_INFO = 1, WRITE_PAGE = 2, READ_CRC = 3, NEXT = 4, RUN = 6, RESTART = 7 };

// Reply time-outs in milliseconds.
constexpr uint64_t GetInfoTimeoutMs = 500;
constexpr uint64_t WritePageTimeoutMs = 2000;
constexpr uint64_t ReadCrcTimeoutMs = 500;
constexpr uint64_t NextTimeoutMs = 500;

// Single-address mode has one fixed code per command; multi-chip mode puts the chip's address
// (1 to 15) in the high nibble.
constexpr uint8_t code(Number command, bool multiChip, int address)
{
    if (multiChip)
        return uint8_t(address * 16 + command);
    switch (command) {
    case GET_INFO: return 0x01;
    case WRITE_PAGE: return 0x02;
    case READ_CRC: return 0x03;
    case NEXT: return 0x20;
    case RUN: return 0x22;
    case RESTART: return 0x23;
    }
    return 0;
}

} // namespace BootloaderCommand
