// Declares the engine's 32-bit checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mvpatch {

// CRC-32 register without the final inversion (CRC-32/JAMCRC): "abc" gives 0xCADBBE3D.
uint32_t CalculateCrc(const uint8_t *data, size_t length);

} // namespace mvpatch

namespace mvpatch {

// Continues a checksum over more bytes: CalculateCrc(a + b) == UpdateCrc(CalculateCrc(a), b).
uint32_t UpdateCrc(uint32_t crc, const uint8_t *data, size_t length);

} // namespace mvpatch
