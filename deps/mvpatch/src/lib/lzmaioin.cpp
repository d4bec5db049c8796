// Defines the read side of the LZMA2 block on liblzma's raw LZMA2 decoder.
#include "lzmaio.h"

#include "log.h"

#include <lzma.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace mvpatch {

namespace {

constexpr uint32_t kMinimumDictionary = 4096;
constexpr size_t kChunkSize = 1 << 20;
// LZMA2 cannot expand one input byte into more than about 7500 output bytes (a saturated rep-match
// costs a third of a bit per 273 bytes), so a declared size far beyond that is a lie that would
// only make us allocate for it.
constexpr uint64_t kMaxExpansion = 16384;
constexpr uint64_t kExpansionSlack = 64 * 1024;

struct BlockHeader {
    uint8_t properties = 0;
    uint32_t size = 0;
};

bool readHeader(ReadStream *source, BlockHeader *header)
{
    if (!source->Read(&header->properties, 1)) {
        Log("Error read LZMA2 properties", LogLevel_ERROR);
        return false;
    }
    if (!source->ReadVarint32(&header->size)) {
        Log("Error read LZMA2 unpack size", LogLevel_ERROR);
        return false;
    }
    return true;
}

void logDecodeError(int code)
{
    Log("Error uncompressing data " + std::to_string(code), LogLevel_ERROR);
}

bool isPlausibleSize(const BlockHeader &header, const ReadStream &body)
{
    if (header.size <= body.Remaining() * kMaxExpansion + kExpansionSlack)
        return true;
    logDecodeError(LZMA_DATA_ERROR);
    return false;
}

struct FilterOptionsDeleter {
    void operator()(void *options) const { std::free(options); }
};

// The decoder needs no window larger than the content, whatever the properties byte claims;
// capping it keeps a hostile header from asking for gigabytes.
bool decoderFilters(const BlockHeader &header, lzma_filter filters[2],
                    std::unique_ptr<void, FilterOptionsDeleter> *options)
{
    filters[0].id = LZMA_FILTER_LZMA2;
    filters[0].options = nullptr;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    const lzma_ret result = lzma_properties_decode(&filters[0], nullptr, &header.properties, 1);
    if (result != LZMA_OK) {
        logDecodeError(result);
        return false;
    }
    options->reset(filters[0].options);
    auto *lzma = static_cast<lzma_options_lzma *>(filters[0].options);
    lzma->dict_size = std::min(lzma->dict_size, std::max(header.size, kMinimumDictionary));
    return true;
}

} // namespace

bool ReadLzma2(ReadStream *source, WriteStream *sink)
{
    ReadStream cursor = *source;
    BlockHeader header;
    if (!readHeader(&cursor, &header) || !isPlausibleSize(header, cursor))
        return false;
    if (sink->Failed() || !sink->Reserve(header.size)) {
        Log("unable to allocate sink space", LogLevel_ERROR);
        return false;
    }
    lzma_filter filters[2];
    std::unique_ptr<void, FilterOptionsDeleter> options;
    if (!decoderFilters(header, filters, &options))
        return false;

    size_t consumed = 0;
    size_t produced = 0;
    lzma_ret result = lzma_raw_buffer_decode(filters, nullptr, cursor.Current(), &consumed, cursor.Remaining(),
                                             sink->MutableBuffer() + sink->Length(), &produced, header.size);
    // A block that ends before the declared size reports success with a short output.
    if (result == LZMA_OK && produced != header.size)
        result = LZMA_DATA_ERROR;
    if (result != LZMA_OK) {
        logDecodeError(result);
        return false;
    }
    if (!sink->Commit(produced) || !cursor.Skip(consumed))
        return false;
    *source = cursor;
    return true;
}

bool ReadLzma2Chunked(ReadStream *source, const Lzma2ChunkSink &consume)
{
    ReadStream cursor = *source;
    BlockHeader header;
    if (!readHeader(&cursor, &header) || !isPlausibleSize(header, cursor))
        return false;
    lzma_filter filters[2];
    std::unique_ptr<void, FilterOptionsDeleter> options;
    if (!decoderFilters(header, filters, &options))
        return false;

    lzma_stream decoder = LZMA_STREAM_INIT;
    lzma_ret result = lzma_raw_decoder(&decoder, filters);
    if (result != LZMA_OK) {
        logDecodeError(result);
        return false;
    }
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunkSize]);
    if (!chunk) {
        lzma_end(&decoder);
        Log("unable to allocate sink space", LogLevel_ERROR);
        return false;
    }

    decoder.next_in = cursor.Current();
    decoder.avail_in = cursor.Remaining();
    uint64_t produced = 0;
    bool ok = true;
    while (ok) {
        // One byte of room beyond the declared size lets the decoder reveal excess data.
        const size_t room = static_cast<size_t>(std::min<uint64_t>(kChunkSize, header.size - produced + 1));
        decoder.next_out = chunk.get();
        decoder.avail_out = room;
        result = lzma_code(&decoder, LZMA_FINISH);
        const size_t got = room - decoder.avail_out;
        if (got > header.size - produced) {
            result = LZMA_DATA_ERROR;
        } else if (got > 0) {
            produced += got;
            if (!consume(chunk.get(), got))
                ok = false;
        }
        if (!ok)
            break;
        if (result == LZMA_STREAM_END) {
            if (produced != header.size) {
                logDecodeError(LZMA_DATA_ERROR);
                ok = false;
            }
            break;
        }
        if (result != LZMA_OK) {
            logDecodeError(result);
            ok = false;
        }
    }
    const size_t consumed = cursor.Remaining() - decoder.avail_in;
    lzma_end(&decoder);
    if (!ok || !cursor.Skip(consumed))
        return false;
    *source = cursor;
    return true;
}

} // namespace mvpatch
