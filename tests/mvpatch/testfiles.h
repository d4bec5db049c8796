// Helpers for engine tests: a temporary directory and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/mvpatchXXXXXX");
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
        EXPECT_FALSE(path_.empty());
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

// Text-like data that compresses: words drawn from a small vocabulary.
inline Bytes compressibleBytes(size_t length, unsigned seed = 1)
{
    static const char *const words[] = {"update ", "client ", "version ", "patch ", "morvane ", "\n", "42 "};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(length);
    while (out.size() < length) {
        const char *word = words[rng() % 7];
        for (const char *p = word; *p && out.size() < length; ++p)
            out.push_back(static_cast<uint8_t>(*p));
    }
    return out;
}

inline Bytes randomBytes(size_t length, unsigned seed = 2)
{
    std::mt19937 rng(seed);
    Bytes out(length);
    for (uint8_t &b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}
