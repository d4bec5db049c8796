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

TEST(MvpatchTool, DiffAndApplyRoundTripWithEveryMethod)
{
    TempDir dir;
    const Bytes old = compressibleBytes(200000, 3);
    Bytes neu = old;
    neu.insert(neu.begin() + 1000, old.begin() + 5000, old.begin() + 9000);
    neu[150000] ^= 0xFF;
    writeFile(dir.file("old"), old);
    writeFile(dir.file("new"), neu);
    for (const std::string options : {"", "--method 0", "--method 1 --header", "--header --method 2"}) {
        EXPECT_EQ(
            runTool("diff " + dir.file("old") + " " + dir.file("new") + " " + dir.file("p") + " " + options).status, 0)
            << options;
        const std::string header = options.find("--header") != std::string::npos ? " --header" : "";
        EXPECT_EQ(runTool("apply " + dir.file("old") + " " + dir.file("p") + " " + dir.file("out") + header).status, 0)
            << options;
        EXPECT_EQ(readFile(dir.file("out")), neu) << options;
        ::unlink(dir.file("out").c_str());
    }
    // Empty files are valid inputs on both sides.
    writeFile(dir.file("empty"), {});
    EXPECT_EQ(runTool("diff " + dir.file("empty") + " " + dir.file("new") + " " + dir.file("p")).status, 0);
    EXPECT_EQ(runTool("apply " + dir.file("empty") + " " + dir.file("p") + " " + dir.file("out")).status, 0);
    EXPECT_EQ(readFile(dir.file("out")), neu);
    EXPECT_EQ(runTool("diff " + dir.file("old") + " " + dir.file("empty") + " " + dir.file("p")).status, 0);
    EXPECT_EQ(runTool("apply " + dir.file("old") + " " + dir.file("p") + " " + dir.file("out2")).status, 0);
    EXPECT_TRUE(fileExists(dir.file("out2")));
    EXPECT_TRUE(readFile(dir.file("out2")).empty());
}

TEST(MvpatchTool, FailedApplyLeavesNoOutputBehind)
{
    TempDir dir;
    writeFile(dir.file("old"), compressibleBytes(5000, 4));
    writeFile(dir.file("new"), compressibleBytes(6000, 5));
    ASSERT_EQ(runTool("diff " + dir.file("old") + " " + dir.file("new") + " " + dir.file("p") + " --header").status, 0);
    Bytes patch = readFile(dir.file("p"));
    patch[7] = '1'; // "MVDIFF11"
    writeFile(dir.file("bad"), patch);
    const Result result =
        runTool("apply " + dir.file("old") + " " + dir.file("bad") + " " + dir.file("out") + " --header");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("Corrupt patch header"), std::string::npos) << result.output;
    // Applied without the header flag the same bytes are misread and fail as well.
    EXPECT_EQ(runTool("apply " + dir.file("old") + " " + dir.file("p") + " " + dir.file("out")).status, 1);
    EXPECT_FALSE(fileExists(dir.file("out")));
    EXPECT_EQ(::system(("test -z \"$(ls " + dir.path() + " | grep part)\"").c_str()), 0) << "no temporary file left";
    for (const char *args : {"diff a b", "diff a b c --method 3", "apply a b c --method 1", "apply a b c --frob"})
        EXPECT_EQ(runTool(args).status, 2) << args;
}

} // namespace
