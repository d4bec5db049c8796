// Declares the binary difference patch: control triples, diff bytes and extra bytes.
#pragma once

#include "streams.h"

namespace mvpatch {

// Opens a patch written with header, followed by the new output's checksum.
constexpr char kDiffMagic[8] = {'M', 'V', 'D', 'I', 'F', 'F', '1', '0'};

// Appends the output of patch applied to old's remaining bytes onto new_stream.
[[nodiscard]] bool ApplyDiff(ReadStream *old_stream, ReadStream *patch, WriteStream *new_stream, bool header);

// Writes a patch that turns old's remaining bytes into new's remaining bytes (both are consumed).
// method: 0 raw, 1 three LZMA2 blocks, 2 one LZMA2 block around the raw payload.
[[nodiscard]] bool GenerateDiff(ReadStream *old_stream, ReadStream *new_stream, WriteStream *patch, bool header,
                                int method);

} // namespace mvpatch
