// Declares the LZMA2 block: properties byte, size varint, raw LZMA2 stream.
#pragma once

#include "streams.h"

namespace mvpatch {

// Decodes one block from source onto the end of sink; on success source points past it.
[[nodiscard]] bool ReadLzma2(ReadStream *source, WriteStream *sink);
// Compresses the remaining bytes of source (which is then consumed) as one block.
[[nodiscard]] bool WriteLzma2(ReadStream *source, WriteStream *sink);
[[nodiscard]] bool WriteLzma2(const uint8_t *data, size_t length, WriteStream *sink);

} // namespace mvpatch
