// Fuzzes decoding of the version server's Versions answer.
#include "updateserverclient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VersionQueryResult result;
    const int status = parseVersions(reinterpret_cast<const char *>(data), size, result);
    if (status != 0 && status != 2)
        std::abort();
    // Every distinct name has exactly one entry, and only names the message carried have one.
    if (result.channelVersions.size() > result.channelNames.size())
        std::abort();
    for (const auto &entry : result.channelVersions) {
        bool listed = false;
        for (const auto &name : result.channelNames)
            listed = listed || name == entry.first;
        if (!listed)
            std::abort();
    }
    return 0;
}
