// Declares whole-file input by memory mapping and whole-file output.
#pragma once

#include <boost/noncopyable.hpp>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mvpatch {

// Maps a file read-only. A missing, unreadable or empty file leaves it unmapped.
class MappedInputFile : private boost::noncopyable
{
public:
    explicit MappedInputFile(const std::string &path);
    ~MappedInputFile();

    bool IsMapped() const { return data_ != nullptr; }
    const uint8_t *data() const { return data_; }
    size_t length() const { return length_; }

private:
    int fd_ = -1;
    const uint8_t *data_ = nullptr;
    size_t length_ = 0;
};

// Writes a file under a temporary name beside its destination and moves it into place only on
// Commit(), so a failed or abandoned write never touches the destination.
class ReplacementFile : private boost::noncopyable
{
public:
    explicit ReplacementFile(const std::string &path);
    ~ReplacementFile();

    bool IsOpen() const { return fd_ >= 0; }
    [[nodiscard]] bool Write(const uint8_t *data, size_t length);
    [[nodiscard]] bool Commit();

private:
    void discard();

    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
};

// Writes the bytes to path, truncating it; returns the number of bytes written.
size_t WriteWholeFile(const std::string &path, const uint8_t *data, size_t length);

} // namespace mvpatch
