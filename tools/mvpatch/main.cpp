// The mvpatch command-line tool: packs, unpacks, checksums and differences files with the patch engine.
#include "container.h"
#include "crc.h"
#include "diff.h"
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

// Maps an input file; an empty file cannot be mapped but is a valid input all the same.
bool openInput(const std::string &path, const mvpatch::MappedInputFile &file)
{
    if (file.IsMapped())
        return true;
    std::FILE *probe = std::fopen(path.c_str(), "rb");
    const bool empty = probe && std::fgetc(probe) == EOF && !std::ferror(probe);
    if (probe)
        std::fclose(probe);
    if (!empty)
        std::fprintf(stderr, "mvpatch: cannot read %s\n", path.c_str());
    return empty;
}

int runCrc(const Arguments &args)
{
    if (args.size() != 1)
        return kExitUsage;
    mvpatch::MappedInputFile file(args[0]);
    if (!openInput(args[0], file))
        return kExitFailure;
    std::printf("%08x\n", mvpatch::CalculateCrc(file.data(), file.length()));
    return kExitSuccess;
}

// Splits the positional arguments from "--header" and "--method N".
bool parseDiffOptions(const Arguments &args, Arguments *paths, bool *header, int *method)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--header") {
            *header = true;
        } else if (args[i] == "--method" && method && i + 1 < args.size() && args[i + 1].size() == 1 &&
                   args[i + 1][0] >= '0' && args[i + 1][0] <= '2') {
            *method = args[++i][0] - '0';
        } else if (args[i].rfind("--", 0) == 0) {
            return false;
        } else {
            paths->push_back(args[i]);
        }
    }
    return paths->size() == 3;
}

// Writes the result beside its destination and moves it into place only when complete.
int writeOutput(const std::string &path, const mvpatch::WriteStream &bytes)
{
    mvpatch::ReplacementFile output(path);
    if (!output.IsOpen() || !output.Write(bytes.Buffer(), bytes.Length()) || !output.Commit()) {
        std::fprintf(stderr, "mvpatch: cannot write %s\n", path.c_str());
        return kExitFailure;
    }
    return kExitSuccess;
}

int runDiff(const Arguments &args)
{
    Arguments paths;
    bool header = false;
    int method = 2;
    if (!parseDiffOptions(args, &paths, &header, &method))
        return kExitUsage;
    mvpatch::MappedInputFile oldFile(paths[0]), newFile(paths[1]);
    if (!openInput(paths[0], oldFile) || !openInput(paths[1], newFile))
        return kExitFailure;
    mvpatch::ReadStream oldStream(oldFile.data(), oldFile.length());
    mvpatch::ReadStream newStream(newFile.data(), newFile.length());
    mvpatch::WriteStream patch;
    if (!mvpatch::GenerateDiff(&oldStream, &newStream, &patch, header, method))
        return kExitFailure;
    return writeOutput(paths[2], patch);
}

int runApply(const Arguments &args)
{
    Arguments paths;
    bool header = false;
    if (!parseDiffOptions(args, &paths, &header, nullptr))
        return kExitUsage;
    mvpatch::MappedInputFile oldFile(paths[0]), patchFile(paths[1]);
    if (!openInput(paths[0], oldFile) || !openInput(paths[1], patchFile))
        return kExitFailure;
    mvpatch::ReadStream oldStream(oldFile.data(), oldFile.length());
    mvpatch::ReadStream patchStream(patchFile.data(), patchFile.length());
    mvpatch::WriteStream output;
    if (!mvpatch::ApplyDiff(&oldStream, &patchStream, &output, header))
        return kExitFailure;
    return writeOutput(paths[2], output);
}

const Command kCommands[] = {
    {"pack", "pack IN OUT", "pack IN into the container file OUT", runPack},
    {"unpack", "unpack IN OUT", "restore the file held by the container IN into OUT", runUnpack},
    {"crc", "crc FILE", "print the engine checksum of FILE as 8 hex digits", runCrc},
    {"diff", "diff OLD NEW PATCH [--method 0|1|2] [--header]",
     "write a difference patch turning OLD into NEW (default method 2)", runDiff},
    {"apply", "apply OLD PATCH NEW [--header]", "apply a difference patch to OLD, writing NEW", runApply},
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
