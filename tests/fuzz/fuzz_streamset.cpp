// Fuzzes stream-set image parsing and nested-set extraction.
#include "streams.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    mvpatch::ReadStreamSet set;
    if (!set.Init(data, size))
        return 0;
    for (int i = 0; i < 12; ++i) {
        mvpatch::ReadStreamSet inner;
        if (!set.ReadSet(&inner))
            break;
        for (size_t s = 0; s < inner.count(); ++s) {
            mvpatch::ReadStream *stream = inner.stream(s);
            uint32_t value;
            while (stream->ReadVarint32(&value)) {
            }
        }
    }
    (void)set.Empty();
    return 0;
}
