// Fuzzes the difference patch's apply side, with and without header, against a small old input.
#include "diff.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Input layout: one flag byte (bit 0: header), one byte giving the old input's length, the old
// input, then the patch. Keeping the old input in the data lets the fuzzer learn copies.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const bool header = data[0] & 1;
    size_t oldLength = data[1];
    data += 2;
    size -= 2;
    if (oldLength > size)
        oldLength = size;

    mvpatch::ReadStream old(data, oldLength);
    mvpatch::ReadStream patch(data + oldLength, size - oldLength);
    mvpatch::WriteStream out;
    const uint8_t *patchStart = patch.Current();
    const bool ok = mvpatch::ApplyDiff(&old, &patch, &out, header);
    if (old.Current() != data)
        std::abort(); // the old input is read in place
    if (ok) {
        if (patch.Current() < patchStart || patch.Current() > patch.End())
            std::abort();
    } else if (patch.Current() != patchStart) {
        std::abort(); // a failed apply leaves the patch cursor where it was
    }
    return 0;
}
