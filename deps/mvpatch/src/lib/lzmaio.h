// Declares the LZMA2 block: properties byte, size varint, raw LZMA2 stream through its end marker.
#pragma once

#include "streams.h"

#include <functional>

namespace mvpatch {

// Decodes one block from source onto the end of sink in one call; on success source points past it.
[[nodiscard]] bool ReadLzma2(ReadStream *source, WriteStream *sink);

// Decodes one block chunk by chunk, handing each piece to consume (which may stop it by returning
// false), so the content never has to be held whole. On success source points past the block.
using Lzma2ChunkSink = std::function<bool(const uint8_t *data, size_t length)>;
[[nodiscard]] bool ReadLzma2Chunked(ReadStream *source, const Lzma2ChunkSink &consume);

// Compresses the remaining bytes of source (which is then consumed) as one block.
[[nodiscard]] bool WriteLzma2(ReadStream *source, WriteStream *sink);
// dictionaryLimit, when not 0, caps the window and with it the encoder's memory (about twelve
// times the window); difference payloads lose nothing with a small one.
[[nodiscard]] bool WriteLzma2(const uint8_t *data, size_t length, WriteStream *sink, uint32_t dictionaryLimit = 0);

} // namespace mvpatch
