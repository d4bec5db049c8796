// Defines the version-server client: its query URL, the Versions decoder and the library check.
#include "updateserverclient.h"

#include "UpdateMessage.pb.h"

#include <climits>

std::string versionServerUrl()
{
    return MV3_VERSION_QUERY_URL;
}

int parseVersions(const char *data, std::size_t length, VersionQueryResult &result)
{
    if (!data)
        return 1;
    // ParseFromArray takes an int size; a larger body cannot be one of our messages anyway.
    if (length > static_cast<std::size_t>(INT_MAX))
        return 2;
    com::morvane::update::Versions versions;
    if (!versions.ParseFromArray(data, static_cast<int>(length)))
        return 2;
    for (const auto &channel : versions.channels()) {
        result.channelNames.push_back(channel.name());
        result.channelVersions.emplace(channel.name(),
                                       std::make_pair(int(channel.version_number()), channel.version_string()));
    }
    return 0;
}

void verifyProtobufLibraryVersion()
{
    GOOGLE_PROTOBUF_VERIFY_VERSION;
}

void shutdownProtobufLibrary()
{
    google::protobuf::ShutdownProtobufLibrary();
}
