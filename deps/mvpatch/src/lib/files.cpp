// Defines whole-file input by memory mapping and whole-file output.
#include "files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mvpatch {

MappedInputFile::MappedInputFile(const std::string &path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    struct stat status;
    if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return;
    void *map = ::mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ, MAP_SHARED, fd_, 0);
    if (map == MAP_FAILED)
        return;
    data_ = static_cast<const uint8_t *>(map);
    length_ = static_cast<size_t>(status.st_size);
}

MappedInputFile::~MappedInputFile()
{
    if (data_)
        ::munmap(const_cast<uint8_t *>(data_), length_);
    if (fd_ >= 0)
        ::close(fd_);
}

size_t WriteWholeFile(const std::string &path, const uint8_t *data, size_t length)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const size_t written = length == 0 ? 0 : std::fwrite(data, 1, length, file);
    // A failing close means the bytes may not have reached the file.
    if (std::fclose(file) != 0)
        return 0;
    return written;
}

} // namespace mvpatch

namespace mvpatch {

namespace {

std::atomic<unsigned> g_replacementCounter{0};

} // namespace

ReplacementFile::ReplacementFile(const std::string &path) : path_(path)
{
    // O_EXCL with a fresh name keeps default permissions (0666 less the umask) without touching the umask.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporaryPath_ = path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(g_replacementCounter++);
        fd_ = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
}

ReplacementFile::~ReplacementFile()
{
    discard();
}

void ReplacementFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temporaryPath_.c_str());
    }
}

bool ReplacementFile::Write(const uint8_t *data, size_t length)
{
    while (fd_ >= 0 && length > 0) {
        const ssize_t written = ::write(fd_, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return fd_ >= 0;
}

bool ReplacementFile::Commit()
{
    if (fd_ < 0)
        return false;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed || ::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        ::unlink(temporaryPath_.c_str());
        return false;
    }
    return true;
}

} // namespace mvpatch
