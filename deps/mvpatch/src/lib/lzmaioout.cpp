// Defines the write side of the LZMA2 block on liblzma's raw LZMA2 encoder.
#include "lzmaio.h"

#include "log.h"

#include <lzma.h>

#include <algorithm>

namespace mvpatch {

namespace {

constexpr uint32_t kMinimumDictionary = 4096;
constexpr size_t kOutputSlack = 64 * 1024;

// Level 9, but a dictionary beyond the input's size would only cost memory.
bool encoderOptions(size_t inputLength, uint32_t dictionaryLimit, lzma_options_lzma *options)
{
    if (lzma_lzma_preset(options, 9) != 0)
        return false;
    uint64_t wanted = std::max<uint64_t>(inputLength, kMinimumDictionary);
    if (dictionaryLimit != 0)
        wanted = std::min<uint64_t>(wanted, std::max(dictionaryLimit, kMinimumDictionary));
    if (wanted < options->dict_size)
        options->dict_size = static_cast<uint32_t>(wanted);
    return true;
}

} // namespace

bool WriteLzma2(const uint8_t *data, size_t length, WriteStream *sink, uint32_t dictionaryLimit)
{
    lzma_options_lzma options;
    if (!encoderOptions(length, dictionaryLimit, &options)) {
        Log("Error Lzma2Enc_SetProps", LogLevel_ERROR);
        return false;
    }
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    uint8_t properties = 0;
    if (lzma_properties_encode(&filters[0], &properties) != LZMA_OK) {
        Log("Error Lzma2Enc_SetProps", LogLevel_ERROR);
        return false;
    }

    lzma_stream encoder = LZMA_STREAM_INIT;
    const lzma_ret created = lzma_raw_encoder(&encoder, filters);
    if (created == LZMA_MEM_ERROR) {
        // Allocation failure of the encoder itself is fatal, as it is for every engine allocation here.
        LogAssertionFailure("encHandle", "../../../../deps/mvpatch/src/lib/lzmaioout", __LINE__);
    }
    if (created != LZMA_OK) {
        Log("Error Lzma2Enc_SetProps", LogLevel_ERROR);
        return false;
    }

    bool ok = sink->Write(&properties, 1) && sink->WriteSizeVarint32(length);
    encoder.next_in = data;
    encoder.avail_in = length;
    while (ok) {
        // Keep doubling headroom so a large output is not copied once per slack-sized step.
        const size_t headroom = std::max(kOutputSlack, sink->Length());
        if (sink->Capacity() - sink->Length() < kOutputSlack && !sink->Reserve(headroom)) {
            ok = false;
            break;
        }
        const size_t before = sink->Capacity() - sink->Length();
        encoder.next_out = sink->MutableBuffer() + sink->Length();
        encoder.avail_out = before;
        const lzma_ret result = lzma_code(&encoder, LZMA_FINISH);
        if (!sink->Commit(before - encoder.avail_out)) {
            ok = false;
            break;
        }
        if (result == LZMA_STREAM_END)
            break;
        if (result != LZMA_OK) {
            Log("Error Lzma2Enc_Encode", LogLevel_ERROR);
            ok = false;
        }
    }
    lzma_end(&encoder);
    return ok;
}

bool WriteLzma2(ReadStream *source, WriteStream *sink)
{
    const size_t length = source->Remaining();
    if (!WriteLzma2(source->Current(), length, sink))
        return false;
    return source->Skip(length);
}

} // namespace mvpatch
