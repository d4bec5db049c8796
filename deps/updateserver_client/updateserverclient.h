// Declares the version-server client: its query URL, the Versions decoder and the library check.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct VersionQueryResult {
    // Every channel name in message order, repeats included.
    std::vector<std::string> channelNames;
    // One entry per distinct name; the first channel of a repeated name wins.
    std::map<std::string, std::pair<int, std::string>> channelVersions;
};

// The version server's query URL, fixed at build time.
std::string versionServerUrl();

// 0 after filling result, 1 for null data, 2 when the bytes are not one complete Versions message.
int parseVersions(const char *data, std::size_t length, VersionQueryResult &result);

// Aborts when the linked protocol-buffer library cannot read the generated classes.
void verifyProtobufLibraryVersion();
void shutdownProtobufLibrary();
