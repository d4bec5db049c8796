// The mvpatch command-line tool: packs, unpacks and checksums files with the patch engine.
#include "container.h"
#include "crc.h"
#include "files.h"
#include "log.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Engine entries go to standard error, one formatted entry per line.
class StderrLog : public LogBase
{
public:
    void flush(bool) override { std::fflush(stderr); }
    void close() override {}
    bool write(const std::string &, LogLevel, const std::string &, int, const std::string &,
               const std::string &entry) override
    {
        return std::fprintf(stderr, "%s\n", entry.c_str()) >= 0;
    }
};

using Arguments = std::vector<std::string>;

struct Command {
    const char *name;
    const char *usage;
    const char *summary;
    int (*run)(const Arguments &args); // returns an exit status, or kExitUsage for bad arguments
};

int runPack(const Arguments &args)
{
    if (args.size() != 2)
        return kExitUsage;
    return mvpatch::PackContainerFile(args[0], args[1], false) ? kExitSuccess : kExitFailure;
}

int runUnpack(const Arguments &args)
{
    if (args.size() != 2)
        return kExitUsage;
    return mvpatch::UnpackContainerFile(args[0], args[1]) ? kExitSuccess : kExitFailure;
}

int runCrc(const Arguments &args)
{
    if (args.size() != 1)
        return kExitUsage;
    mvpatch::MappedInputFile file(args[0]);
    if (!file.IsMapped()) {
        // An empty file cannot be mapped but has a checksum all the same.
        std::FILE *probe = std::fopen(args[0].c_str(), "rb");
        const bool empty = probe && std::fgetc(probe) == EOF && !std::ferror(probe);
        if (probe)
            std::fclose(probe);
        if (!empty) {
            std::fprintf(stderr, "mvpatch: cannot read %s\n", args[0].c_str());
            return kExitFailure;
        }
    }
    std::printf("%08x\n", mvpatch::CalculateCrc(file.data(), file.length()));
    return kExitSuccess;
}

const Command kCommands[] = {
    {"pack", "pack IN OUT", "pack IN into the container file OUT", runPack},
    {"unpack", "unpack IN OUT", "restore the file held by the container IN into OUT", runUnpack},
    {"crc", "crc FILE", "print the engine checksum of FILE as 8 hex digits", runCrc},
};

void printUsage(std::FILE *to)
{
    std::fprintf(to, "usage: mvpatch COMMAND ARGS...\n\ncommands:\n");
    for (const Command &command : kCommands)
        std::fprintf(to, "  %-34s %s\n", command.usage, command.summary);
    std::fprintf(to, "\nexit status: 0 success, 1 failure, 2 usage error\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return kExitSuccess;
    }
    for (const Command &command : kCommands) {
        if (name != command.name)
            continue;
        const Arguments args(argv + 2, argv + argc);
        for (const std::string &arg : args) {
            if (arg == "--help" || arg == "-h") {
                std::printf("usage: mvpatch %s\n%s\n", command.usage, command.summary);
                return kExitSuccess;
            }
        }
        StderrLog log;
        const int status = command.run(args);
        if (status == kExitUsage)
            std::fprintf(stderr, "usage: mvpatch %s\n", command.usage);
        return status;
    }
    std::fprintf(stderr, "mvpatch: unknown command '%s'\n", name.c_str());
    printUsage(stderr);
    return kExitUsage;
}
