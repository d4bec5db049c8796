// Fuzzes unpacking a container from bytes written to a temporary file.
#include "container.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/mvpatch-fuzz-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    const std::string input = dir + "/in";
    const std::string output = dir + "/out";
    FILE *file = std::fopen(input.c_str(), "wb");
    if (!file)
        return 0;
    if (size)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
    (void)mvpatch::UnpackContainerFile(input, output);
    ::unlink(output.c_str());
    return 0;
}
