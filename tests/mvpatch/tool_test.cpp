// Tests of the mvpatch command-line tool, run as a real child process.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace {

struct Result {
    int status;
    std::string output; // standard output and standard error together
};

Result runTool(const std::string &args)
{
    const std::string command = std::string(MVPATCH_TOOL) + " " + args + " 2>&1";
    FILE *pipe = ::popen(command.c_str(), "r");
    Result result{-1, {}};
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

TEST(MvpatchTool, PackUnpackAndCrc)
{
    TempDir dir;
    const Bytes input = compressibleBytes(100000);
    writeFile(dir.file("a"), input);
    EXPECT_EQ(runTool("pack " + dir.file("a") + " " + dir.file("a.pk")).status, 0);
    EXPECT_EQ(runTool("unpack " + dir.file("a.pk") + " " + dir.file("b")).status, 0);
    EXPECT_EQ(readFile(dir.file("b")), input);

    writeFile(dir.file("abc"), {'a', 'b', 'c'});
    const Result crc = runTool("crc " + dir.file("abc"));
    EXPECT_EQ(crc.status, 0);
    EXPECT_EQ(crc.output, "cadbbe3d\n");
    writeFile(dir.file("empty"), {});
    EXPECT_EQ(runTool("crc " + dir.file("empty")).output, "ffffffff\n");
}

TEST(MvpatchTool, FailureLogsEngineEntryAndExitsOne)
{
    TempDir dir;
    writeFile(dir.file("junk"), {1, 2, 3, 4, 5, 6, 7, 8});
    const Result result = runTool("unpack " + dir.file("junk") + " " + dir.file("out"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("|ERROR   |"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("not lzma file"), std::string::npos) << result.output;
    EXPECT_FALSE(fileExists(dir.file("out")));
    EXPECT_EQ(runTool("crc " + dir.file("missing")).status, 1);
}

TEST(MvpatchTool, UsageErrorsExitTwo)
{
    for (const char *args : {"", "frobnicate", "pack onlyone", "crc a b"})
        EXPECT_EQ(runTool(args).status, 2) << args;
    const Result help = runTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("unpack IN OUT"), std::string::npos);
}

} // namespace
