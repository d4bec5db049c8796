// Declares the engine's byte primitives: read cursors, growable buffers, varints and stream sets.
#pragma once

#include <boost/noncopyable.hpp>
#include <cstddef>
#include <cstdint>

namespace mvpatch {

class WriteStream;

// A read cursor over bytes held elsewhere. A failed read leaves the cursor unmoved.
class ReadStream
{
public:
    ReadStream() = default;
    ReadStream(const uint8_t *data, size_t length) { Init(data, length); }
    // The cursor covers the bytes the stream holds now; it must not grow meanwhile.
    explicit ReadStream(const WriteStream &stream) { Init(stream); }

    void Init(const uint8_t *data, size_t length);
    void Init(const WriteStream &stream);

    [[nodiscard]] bool Read(void *dest, size_t count);
    [[nodiscard]] bool Skip(size_t count);
    [[nodiscard]] bool ReadVarint32(uint32_t *out);
    [[nodiscard]] bool ReadVarint32Signed(int32_t *out);

    const uint8_t *Start() const { return start_; }
    const uint8_t *Current() const { return current_; }
    const uint8_t *End() const { return end_; }
    size_t Remaining() const { return static_cast<size_t>(end_ - current_); }
    bool Empty() const { return current_ == end_; }

private:
    const uint8_t *start_ = nullptr;
    const uint8_t *current_ = nullptr;
    const uint8_t *end_ = nullptr;
};

// A growable heap buffer. Once an allocation fails the stream stays failed.
class WriteStream : private boost::noncopyable
{
public:
    WriteStream() = default;
    ~WriteStream();

    [[nodiscard]] bool Write(const void *data, size_t count);
    [[nodiscard]] bool WriteVarint32(uint32_t value);
    [[nodiscard]] bool WriteVarint32Signed(int32_t value);
    // A size that must fit in 32 bits; a larger one is a fatal assertion.
    [[nodiscard]] bool WriteSizeVarint32(size_t value);
    // Makes room for count more bytes: exactly max(length + count, 256), never shrinking.
    [[nodiscard]] bool Reserve(size_t count);
    // Moves other's bytes to the end of this stream; other is left empty.
    [[nodiscard]] bool Append(WriteStream *other);
    // Grows the length by count bytes whose content the caller writes through MutableBuffer().
    // Needs capacity reserved beforehand; fails otherwise.
    [[nodiscard]] bool Commit(size_t count);

    size_t Length() const { return length_; }
    const uint8_t *Buffer() const { return data_; }
    uint8_t *MutableBuffer() { return data_; }
    size_t Capacity() const { return failed() ? 0 : capacity_; }
    bool Failed() const { return failed(); }
    void Retire();

private:
    static constexpr size_t kFailed = ~static_cast<size_t>(0);
    bool failed() const { return capacity_ == kFailed; }
    bool grow(size_t needed, bool exact);
    void fail();

    uint8_t *data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

constexpr uint32_t kStreamSetVersion = 20090218;
constexpr size_t kMaxStreams = 10;

class WriteStreamSet : private boost::noncopyable
{
public:
    explicit WriteStreamSet(size_t count = kMaxStreams);

    WriteStream *stream(size_t index);
    size_t count() const { return count_; }
    // Serialises the set as an image onto the end of target, freeing each stream as it goes.
    [[nodiscard]] bool CopyTo(WriteStream *target);
    // Nests a whole set inside this one: lengths on stream 0, bodies on streams 0..count-1.
    [[nodiscard]] bool WriteSet(WriteStreamSet *inner);

private:
    WriteStream streams_[kMaxStreams];
    size_t count_;
};

class ReadStreamSet
{
public:
    ReadStreamSet();

    // Parses an image; the set borrows the bytes.
    [[nodiscard]] bool Init(const uint8_t *data, size_t length);
    [[nodiscard]] bool ReadSet(ReadStreamSet *inner);
    ReadStream *stream(size_t index);
    size_t count() const { return count_; }
    bool Empty() const;

private:
    ReadStream streams_[kMaxStreams];
    size_t count_;
};

} // namespace mvpatch
