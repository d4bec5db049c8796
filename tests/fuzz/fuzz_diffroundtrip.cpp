// Fuzzes difference generation: the patch applies back to the new input and generation is repeatable.
#include "diff.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Input layout: one byte choosing method (value % 3) and header (bit 7), two bytes giving the old
// input's length, the old input, then the new input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const int method = (data[0] & 0x7F) % 3;
    const bool header = data[0] & 0x80;
    size_t oldLength = size_t(data[1]) | size_t(data[2]) << 8;
    data += 3;
    size -= 3;
    if (oldLength > size)
        oldLength = size;

    mvpatch::WriteStream patches[2];
    for (mvpatch::WriteStream &patch : patches) {
        mvpatch::ReadStream old(data, oldLength), neu(data + oldLength, size - oldLength);
        if (!mvpatch::GenerateDiff(&old, &neu, &patch, header, method))
            std::abort();
    }
    if (patches[0].Length() != patches[1].Length() ||
        std::memcmp(patches[0].Buffer(), patches[1].Buffer(), patches[0].Length()) != 0)
        std::abort();

    mvpatch::ReadStream old(data, oldLength), patch(patches[0]);
    mvpatch::WriteStream out;
    if (!mvpatch::ApplyDiff(&old, &patch, &out, header) || !patch.Empty())
        std::abort();
    const size_t newLength = size - oldLength;
    if (out.Length() != newLength || (newLength && std::memcmp(out.Buffer(), data + oldLength, newLength) != 0))
        std::abort();
    return 0;
}
