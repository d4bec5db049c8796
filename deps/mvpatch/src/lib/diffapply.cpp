// Defines the apply side of the binary difference patch.
#include "diff.h"

#include "crc.h"
#include "log.h"
#include "lzmaio.h"

#include <cstring>
#include <string>

namespace mvpatch {

namespace {

void logError(const std::string &message)
{
    Log(message, LogLevel_ERROR);
}

// The three runs a patch body is made of.
struct PatchStreams {
    ReadStream control;
    ReadStream diff;
    ReadStream extra;
};

// Method 0 layout: three lengths, then the runs back to back. On success source points past them.
bool splitRawPayload(ReadStream *source, PatchStreams *streams)
{
    ReadStream cursor = *source;
    uint32_t lengths[3];
    for (uint32_t &length : lengths) {
        if (!cursor.ReadVarint32(&length)) {
            logError("Corrupt patch lengths");
            return false;
        }
    }
    const uint64_t total = uint64_t(lengths[0]) + lengths[1] + lengths[2];
    if (total > cursor.Remaining()) {
        logError("Corrupt patch lengths: " + std::to_string(total) + " bytes of runs but " +
                 std::to_string(cursor.Remaining()) + " left");
        return false;
    }
    const uint8_t *at = cursor.Current();
    streams->control.Init(at, lengths[0]);
    streams->diff.Init(at + lengths[0], lengths[1]);
    streams->extra.Init(at + lengths[0] + lengths[1], lengths[2]);
    (void)cursor.Skip(static_cast<size_t>(total)); // checked above
    *source = cursor;
    return true;
}

// The output buffer never overlaps the inputs (the new stream owns it), which lets the compiler
// vectorise this loop.
void addBytes(uint8_t *__restrict to, const uint8_t *__restrict diff, const uint8_t *__restrict from, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        to[i] = static_cast<uint8_t>(diff[i] + from[i]);
}

class Applier
{
public:
    Applier(const uint8_t *old, size_t oldLength, PatchStreams *streams, uint8_t *out, uint32_t newSize)
        : old_(old), oldLength_(oldLength), s_(streams), out_(out), newSize_(newSize)
    {
    }

    bool run();
    size_t produced() const { return produced_; }

private:
    const uint8_t *old_;
    size_t oldLength_;
    PatchStreams *s_;
    uint8_t *out_;
    uint32_t newSize_;
    size_t produced_ = 0;
};

bool Applier::run()
{
    // The old position is kept wider than the format's 32 bits so no seek sum can wrap.
    int64_t position = 0;
    while (produced_ < newSize_) {
        int32_t copy, extra, seek;
        if (!s_->control.ReadVarint32Signed(&copy) || !s_->control.ReadVarint32Signed(&extra) ||
            !s_->control.ReadVarint32Signed(&seek)) {
            logError("Corrupt patch reading control");
            return false;
        }
        const size_t room = newSize_ - produced_;
        if (copy < 0 || position < 0 || uint64_t(position) + uint64_t(copy) > oldLength_ ||
            size_t(copy) > s_->diff.Remaining() || size_t(copy) > room) {
            logError("Corrupt patch copy of " + std::to_string(copy) + " bytes at old position " +
                     std::to_string(position));
            return false;
        }
        addBytes(out_ + produced_, s_->diff.Current(), old_ + position, size_t(copy));
        produced_ += size_t(copy);
        (void)s_->diff.Skip(size_t(copy)); // checked above

        if (extra > 0 && size_t(extra) > newSize_ - produced_) {
            logError("Corrupt patch");
            return false;
        }
        if (extra < 0 || size_t(extra) > s_->extra.Remaining()) {
            logError("Corrupt patch extra of " + std::to_string(extra) + " bytes");
            return false;
        }
        if (extra > 0)
            std::memcpy(out_ + produced_, s_->extra.Current(), size_t(extra));
        produced_ += size_t(extra);
        (void)s_->extra.Skip(size_t(extra)); // checked above
        position += int64_t(copy) + seek;
    }
    return true;
}

} // namespace

bool ApplyDiff(ReadStream *old_stream, ReadStream *patch, WriteStream *new_stream, bool header)
{
    ReadStream cursor = *patch;
    uint32_t expectedCrc = 0;
    if (header) {
        char magic[8];
        if (!cursor.Read(magic, sizeof magic)) {
            logError("Truncated patch header");
            return false;
        }
        if (std::memcmp(magic, kDiffMagic, sizeof magic) != 0) {
            logError("Corrupt patch header");
            return false;
        }
        if (!cursor.ReadVarint32(&expectedCrc)) {
            logError("Could not read crc");
            return false;
        }
    }
    uint8_t method;
    if (!cursor.Read(&method, 1)) {
        logError("Could not read compression method");
        return false;
    }
    if (method > 2) {
        logError("Invalid compression method");
        return false;
    }
    uint32_t newSize;
    if (!cursor.ReadVarint32(&newSize)) {
        logError("Could not read new size");
        return false;
    }

    // Buffers for the decompressed runs of methods 1 and 2; freed on every path by their destructors.
    WriteStream blocks[3];
    PatchStreams streams;
    if (method == 1) {
        for (WriteStream &block : blocks) {
            if (!ReadLzma2(&cursor, &block))
                return false;
        }
        streams.control.Init(blocks[0]);
        streams.diff.Init(blocks[1]);
        streams.extra.Init(blocks[2]);
    } else if (method == 2) {
        if (!ReadLzma2(&cursor, &blocks[0]))
            return false;
        ReadStream payload(blocks[0]);
        if (!splitRawPayload(&payload, &streams))
            return false;
    } else if (!splitRawPayload(&cursor, &streams)) {
        return false;
    }

    // Every output byte comes from a diff or an extra byte, so a patch can never produce more than
    // those runs hold: reserving beyond that would only let a lying new size allocate gigabytes.
    const uint64_t producible = uint64_t(streams.diff.Remaining()) + streams.extra.Remaining();
    const size_t reserve = static_cast<size_t>(producible < newSize ? producible : newSize);
    if (!new_stream->Reserve(reserve)) {
        logError("Could not reserve " + std::to_string(reserve) + " bytes for the new output");
        return false;
    }
    const size_t base = new_stream->Length();
    Applier applier(old_stream->Current(), old_stream->Remaining(), &streams, new_stream->MutableBuffer() + base,
                    newSize);
    const bool applied = applier.run();
    // Partial output stays visible after a failure; the reservation covers all that was produced.
    if (!new_stream->Commit(applier.produced()) || !applied)
        return false;

    if (header && CalculateCrc(new_stream->Buffer() + base, newSize) != expectedCrc) {
        logError("crc mismatch");
        return false;
    }
    *patch = cursor;
    return true;
}

} // namespace mvpatch
