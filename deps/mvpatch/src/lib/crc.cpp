// Defines the engine's 32-bit checksum on top of zlib's table-driven CRC-32.
#include "crc.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace mvpatch {

uint32_t CalculateCrc(const uint8_t *data, size_t length)
{
    return UpdateCrc(0xFFFFFFFFu, data, length);
}

uint32_t UpdateCrc(uint32_t crc, const uint8_t *data, size_t length)
{
    // zlib works on the finished (inverted) CRC-32; the engine keeps the raw register.
    uLong finished = ~crc;
    while (length > 0) {
        const size_t chunk = std::min<size_t>(length, std::numeric_limits<uInt>::max());
        finished = crc32(finished, data, static_cast<uInt>(chunk));
        data += chunk;
        length -= chunk;
    }
    return ~static_cast<uint32_t>(finished);
}

} // namespace mvpatch
