// Fuzzes the LZMA2 block reader, one-call and chunked, which must agree.
#include "lzmaio.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    mvpatch::ReadStream whole(data, size);
    mvpatch::WriteStream out;
    const bool ok = mvpatch::ReadLzma2(&whole, &out);

    mvpatch::ReadStream chunked(data, size);
    std::vector<uint8_t> pieces;
    const bool chunkedOk = mvpatch::ReadLzma2Chunked(&chunked, [&](const uint8_t *p, size_t n) {
        if (pieces.size() + n > (64u << 20))
            return false; // keep the fuzzer's memory bounded
        pieces.insert(pieces.end(), p, p + n);
        return true;
    });
    if (ok && chunkedOk) {
        if (pieces.size() != out.Length() || std::memcmp(pieces.data(), out.Buffer(), pieces.size()) != 0 ||
            whole.Current() != chunked.Current())
            std::abort();
    }
    return 0;
}
