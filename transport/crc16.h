// CRC-16/XMODEM shared by the runtime frames, the bootloader frames and the firmware package.
#pragma once

#include <cstdint>

// Shifts one message byte into the CRC register (augmented form: the result of a
// whole block only appears after two zero bytes have been shifted in).
uint16_t crc16Update(uint16_t crc, uint8_t byte);

// CRC-16/XMODEM of `length` bytes: polynomial 0x1021, initial value 0, no reflection.
// `data` is not read when `length` is 0.
uint16_t crc16(const uint8_t *data, uint32_t length);
