// Defines the engine's byte primitives: read cursors, growable buffers, varints and stream sets.
#include "streams.h"

#include "log.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace mvpatch {

namespace {

constexpr size_t kMinimumCapacity = 256;
constexpr size_t kMaxVarint32Bytes = 5;

} // namespace

// ---- ReadStream ----

void ReadStream::Init(const uint8_t *data, size_t length)
{
    start_ = current_ = data;
    end_ = data + length;
}

void ReadStream::Init(const WriteStream &stream)
{
    Init(stream.Buffer(), stream.Length());
}

bool ReadStream::Read(void *dest, size_t count)
{
    if (count > Remaining())
        return false;
    if (count != 0)
        std::memcpy(dest, current_, count);
    current_ += count;
    return true;
}

bool ReadStream::Skip(size_t count)
{
    if (count > Remaining())
        return false;
    current_ += count;
    return true;
}

bool ReadStream::ReadVarint32(uint32_t *out)
{
    uint32_t value = 0;
    const uint8_t *p = current_;
    for (size_t i = 0; i < kMaxVarint32Bytes; ++i) {
        if (p == end_)
            return false;
        const uint8_t byte = *p++;
        // The fifth byte is shifted in 32-bit arithmetic: its upper bits fall off.
        value |= static_cast<uint32_t>(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) {
            *out = value;
            current_ = p;
            return true;
        }
    }
    return false;
}

bool ReadStream::ReadVarint32Signed(int32_t *out)
{
    uint32_t zigzag;
    if (!ReadVarint32(&zigzag))
        return false;
    *out = static_cast<int32_t>((zigzag >> 1) ^ (0u - (zigzag & 1u)));
    return true;
}

// ---- WriteStream ----

WriteStream::~WriteStream()
{
    Retire();
}

void WriteStream::Retire()
{
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
    capacity_ = 0;
}

void WriteStream::fail()
{
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
    capacity_ = kFailed;
}

bool WriteStream::grow(size_t needed, bool exact)
{
    size_t capacity;
    if (exact) {
        capacity = needed < kMinimumCapacity ? kMinimumCapacity : needed;
    } else {
        capacity = capacity_ == 0 ? kMinimumCapacity : capacity_;
        while (capacity < needed) {
            if (capacity > std::numeric_limits<size_t>::max() / 2) {
                capacity = std::numeric_limits<size_t>::max() - 1; // the all-ones value marks failure
                break;
            }
            capacity *= 2;
        }
    }
    // realloc would copy the same bytes; malloc+memcpy keeps the old buffer valid until the copy is done.
    uint8_t *fresh = static_cast<uint8_t *>(std::malloc(capacity));
    if (!fresh) {
        fail();
        return false;
    }
    if (length_ != 0)
        std::memcpy(fresh, data_, length_);
    std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
    return true;
}

bool WriteStream::Write(const void *data, size_t count)
{
    if (failed())
        return false;
    if (count == 0)
        return true;
    if (count > std::numeric_limits<size_t>::max() - 1 - length_)
        return false;
    const size_t needed = length_ + count;
    if (needed > capacity_ && !grow(needed, false))
        return false;
    std::memcpy(data_ + length_, data, count);
    length_ = needed;
    return true;
}

bool WriteStream::WriteVarint32(uint32_t value)
{
    uint8_t bytes[kMaxVarint32Bytes];
    size_t count = 0;
    while (value >= 0x80) {
        bytes[count++] = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    bytes[count++] = static_cast<uint8_t>(value);
    return Write(bytes, count);
}

bool WriteStream::WriteVarint32Signed(int32_t value)
{
    const uint32_t u = static_cast<uint32_t>(value);
    return WriteVarint32(value >= 0 ? u << 1 : ~(u << 1));
}

bool WriteStream::WriteSizeVarint32(size_t value)
{
    const uint32_t narrowed_value = static_cast<uint32_t>(value);
    if (value != narrowed_value)
        LogAssertionFailure("value == narrowed_value", "../../../../deps/mvpatch/src/lib/streams", 209);
    return WriteVarint32(narrowed_value);
}

bool WriteStream::Reserve(size_t count)
{
    if (failed())
        return false;
    if (count > std::numeric_limits<size_t>::max() - 1 - length_)
        return false;
    const size_t needed = length_ + count;
    if (needed <= capacity_ && capacity_ != 0)
        return true;
    return grow(needed, true);
}

bool WriteStream::Commit(size_t count)
{
    if (failed() || count > capacity_ - length_)
        return false;
    length_ += count;
    return true;
}

bool WriteStream::Append(WriteStream *other)
{
    if (!Write(other->data_, other->length_))
        return false;
    other->Retire();
    return true;
}

// ---- Stream sets ----

WriteStreamSet::WriteStreamSet(size_t count) : count_(count)
{
    if (count_ > kMaxStreams)
        LogAssertionFailure("count <= kMaxStreams", "../../../../deps/mvpatch/src/lib/streams", __LINE__);
}

WriteStream *WriteStreamSet::stream(size_t index)
{
    if (index >= count_)
        LogAssertionFailure("index < count_", "../../../../deps/mvpatch/src/lib/streams", __LINE__);
    return &streams_[index];
}

bool WriteStreamSet::CopyTo(WriteStream *target)
{
    if (!target->WriteVarint32(kStreamSetVersion) || !target->WriteSizeVarint32(count_))
        return false;
    size_t total = 0;
    for (size_t i = 0; i < count_; ++i) {
        if (!target->WriteSizeVarint32(streams_[i].Length()))
            return false;
        total += streams_[i].Length();
    }
    if (!target->Reserve(total))
        return false;
    for (size_t i = 0; i < count_; ++i) {
        if (!target->Append(&streams_[i]))
            return false;
    }
    return true;
}

bool WriteStreamSet::WriteSet(WriteStreamSet *inner)
{
    size_t count = 0;
    for (size_t i = 0; i < inner->count_; ++i) {
        if (inner->streams_[i].Length() != 0)
            count = i + 1;
    }
    if (count > count_)
        return false;
    if (!streams_[0].WriteSizeVarint32(count))
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (!streams_[0].WriteSizeVarint32(inner->streams_[i].Length()))
            return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!streams_[i].Append(&inner->streams_[i]))
            return false;
    }
    return true;
}

ReadStreamSet::ReadStreamSet() : count_(kMaxStreams) {}

ReadStream *ReadStreamSet::stream(size_t index)
{
    if (index >= count_)
        LogAssertionFailure("index < count_", "../../../../deps/mvpatch/src/lib/streams", __LINE__);
    return &streams_[index];
}

bool ReadStreamSet::Init(const uint8_t *data, size_t length)
{
    // Until the whole image checks out the set has no usable streams.
    count_ = 0;
    for (ReadStream &s : streams_)
        s = ReadStream();

    ReadStream image(data, length);
    uint32_t version, count;
    if (!image.ReadVarint32(&version) || version != kStreamSetVersion)
        return false;
    if (!image.ReadVarint32(&count) || count > kMaxStreams)
        return false;
    uint32_t lengths[kMaxStreams];
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!image.ReadVarint32(&lengths[i]))
            return false;
        total += lengths[i];
    }
    if (total != image.Remaining())
        return false;

    const uint8_t *body = image.Current();
    for (uint32_t i = 0; i < count; ++i) {
        streams_[i].Init(body, lengths[i]);
        body += lengths[i];
    }
    count_ = count;
    return true;
}

bool ReadStreamSet::ReadSet(ReadStreamSet *inner)
{
    if (count_ == 0)
        return false;
    ReadStream header = streams_[0];
    uint32_t count;
    if (!header.ReadVarint32(&count) || count > kMaxStreams || count > count_)
        return false;
    uint32_t lengths[kMaxStreams];
    for (uint32_t i = 0; i < count; ++i) {
        if (!header.ReadVarint32(&lengths[i]))
            return false;
    }
    // Stream 0's bodies follow its header, so check it against what is left after the lengths.
    for (uint32_t i = 0; i < count; ++i) {
        const ReadStream &outer = i == 0 ? header : streams_[i];
        if (lengths[i] > outer.Remaining())
            return false;
    }

    streams_[0] = header;
    inner->count_ = kMaxStreams;
    for (size_t i = 0; i < kMaxStreams; ++i) {
        if (i < count) {
            inner->streams_[i].Init(streams_[i].Current(), lengths[i]);
            (void)streams_[i].Skip(lengths[i]); // checked above
        } else {
            inner->streams_[i] = ReadStream();
        }
    }
    return true;
}

bool ReadStreamSet::Empty() const
{
    for (size_t i = 0; i < count_; ++i) {
        if (!streams_[i].Empty())
            return false;
    }
    return true;
}

} // namespace mvpatch
