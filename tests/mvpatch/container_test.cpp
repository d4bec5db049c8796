// Tests of packing and unpacking the compressed file container.
#include "capturelog.h"
#include "container.h"
#include "crc.h"
#include "lzmaio.h"
#include "testfiles.h"

#include <gtest/gtest.h>

namespace mvpatch {
namespace {

struct ContainerFields {
    uint32_t magic = kContainerMagic;
    uint32_t crc = 0;
    uint32_t directive = kDirectivePlainLzma2;
};

Bytes buildContainer(const ContainerFields &fields, const Bytes &payload, const Bytes &trailer = {})
{
    WriteStream out;
    EXPECT_TRUE(out.WriteVarint32(fields.magic));
    EXPECT_TRUE(out.WriteVarint32(fields.crc));
    EXPECT_TRUE(out.WriteVarint32(fields.directive));
    EXPECT_TRUE(WriteLzma2(payload.data(), payload.size(), &out));
    EXPECT_TRUE(out.Write(trailer.data(), trailer.size()));
    return Bytes(out.Buffer(), out.Buffer() + out.Length());
}

Bytes streamSetImage(const std::vector<Bytes> &streams)
{
    WriteStreamSet set(streams.size());
    for (size_t i = 0; i < streams.size(); ++i)
        EXPECT_TRUE(set.stream(i)->Write(streams[i].data(), streams[i].size()));
    WriteStream out;
    EXPECT_TRUE(set.CopyTo(&out));
    return Bytes(out.Buffer(), out.Buffer() + out.Length());
}

class ContainerTest : public ::testing::Test
{
protected:
    // Unpacks and checks that a failure leaves the previous output file as it was.
    bool unpack(const Bytes &container)
    {
        writeFile(dir.file("in"), container);
        return UnpackContainerFile(dir.file("in"), dir.file("out"));
    }

    TempDir dir;
    CaptureLog log;
};

TEST_F(ContainerTest, PackUnpackRoundTrips)
{
    const std::vector<Bytes> inputs = {{'x'}, compressibleBytes(1 << 20), randomBytes(70000)};
    for (const Bytes &input : inputs) {
        writeFile(dir.file("source"), input);
        ASSERT_TRUE(PackContainerFile(dir.file("source"), dir.file("packed"), false)) << log.joined();
        ASSERT_TRUE(UnpackContainerFile(dir.file("packed"), dir.file("restored"))) << log.joined();
        EXPECT_EQ(readFile(dir.file("restored")), input);
    }
}

TEST_F(ContainerTest, EmptyInputPacksToValidContainer)
{
    writeFile(dir.file("empty"), {});
    ASSERT_TRUE(PackContainerFile(dir.file("empty"), dir.file("packed"), true)) << log.joined();
    const Bytes packed = readFile(dir.file("packed"));
    ASSERT_GE(packed.size(), 7u);
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 4), (Bytes{0xE9, 0xAE, 0xA8, 0x3F}));
    writeFile(dir.file("out"), {'o', 'l', 'd'});
    ASSERT_TRUE(UnpackContainerFile(dir.file("packed"), dir.file("out"))) << log.joined();
    EXPECT_TRUE(readFile(dir.file("out")).empty());
}

TEST_F(ContainerTest, MissingInputFailsToPack)
{
    EXPECT_FALSE(PackContainerFile(dir.file("nothing"), dir.file("packed"), false));
    EXPECT_TRUE(log.contains("could not open file"));
    EXPECT_FALSE(fileExists(dir.file("packed")));
}

TEST_F(ContainerTest, ExtraBytesAfterBlockAreIgnored)
{
    const Bytes payload = compressibleBytes(5000);
    ContainerFields fields;
    fields.crc = CalculateCrc(payload.data(), payload.size());
    ASSERT_TRUE(unpack(buildContainer(fields, payload, {1, 2, 3, 4})));
    EXPECT_EQ(readFile(dir.file("out")), payload);
}

struct MalformedCase {
    const char *name;
    Bytes container;
    const char *message;
};

std::vector<MalformedCase> malformedCases()
{
    const Bytes payload = compressibleBytes(3000);
    const uint32_t crc = CalculateCrc(payload.data(), payload.size());
    ContainerFields wrongCrc;
    wrongCrc.crc = crc + 1;
    ContainerFields wrongMagic;
    wrongMagic.magic = kContainerMagic + 1;
    wrongMagic.crc = crc;
    ContainerFields directive3;
    directive3.crc = crc;
    directive3.directive = 3;
    ContainerFields directive2;
    directive2.directive = kDirectiveDisAndDiff;
    Bytes truncated = buildContainer(ContainerFields{kContainerMagic, crc, 1}, payload);
    truncated.resize(truncated.size() - 3);

    return {
        {"Empty", {}, "could not open lzma file"},
        {"OnlyMagic", {0xE9, 0xAE, 0xA8, 0x3F}, "could not read lzma header"},
        {"WrongMagic", buildContainer(wrongMagic, payload), "not lzma file"},
        {"UnknownDirective", buildContainer(directive3, payload), "Unknown preprocessing dirrective"},
        {"CrcOffByOne", buildContainer(wrongCrc, payload), "crc mismatch"},
        {"TruncatedBlock", truncated, "could not decompress file"},
        {"DisAndDiffNotASet", buildContainer(directive2, payload), "could not init dif_and_dis set"},
        {"DisAndDiffOneStream", buildContainer(directive2, streamSetImage({{1, 2}})), "dis_and_diff too small"},
        {"DisAndDiffBadProgramSet", buildContainer(directive2, streamSetImage({{1, 2}, {3}})),
         "could not init program_source set"},
        {"DisAndDiffProgram", buildContainer(directive2, streamSetImage({streamSetImage({{}}), {3}})),
         "could not read encoded program"},
    };
}

class ContainerMalformed : public ContainerTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(ContainerMalformed, FailsWithMessageAndLeavesOutputUntouched)
{
    const Bytes previous = {'k', 'e', 'e', 'p'};
    writeFile(dir.file("out"), previous);
    EXPECT_FALSE(unpack(GetParam().container));
    EXPECT_TRUE(log.contains(GetParam().message)) << log.joined();
    for (LogLevel level : log.levels)
        EXPECT_EQ(level, LogLevel_ERROR);
    EXPECT_EQ(readFile(dir.file("out")), previous);
    // No temporary output is left beside the target either.
    const int leftovers = std::system(("ls '" + dir.path() + "' | grep -q part").c_str());
    EXPECT_NE(leftovers, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ContainerMalformed, ::testing::ValuesIn(malformedCases()),
                         [](const ::testing::TestParamInfo<MalformedCase> &info) { return info.param.name; });

TEST_F(ContainerTest, FailedUnpackCreatesNoOutput)
{
    EXPECT_FALSE(unpack({0xE9, 0xAE, 0xA8, 0x3F, 0, 3}));
    EXPECT_FALSE(fileExists(dir.file("out")));
}

TEST_F(ContainerTest, UnwritableOutputIsReported)
{
    const Bytes payload = {'a'};
    ContainerFields fields;
    fields.crc = CalculateCrc(payload.data(), payload.size());
    writeFile(dir.file("in"), buildContainer(fields, payload));
    EXPECT_FALSE(UnpackContainerFile(dir.file("in"), dir.file("no-such-dir/out")));
    EXPECT_TRUE(log.contains("could not write output file"));
}

TEST(ExecutableTypeName, NamesKnownKindsAndUnknownOthers)
{
    EXPECT_STREQ(ExecutableTypeName(5), "ELF_64_X64");
    EXPECT_STREQ(ExecutableTypeName(2), "EXE_ELF_32_X86");
    EXPECT_STREQ(ExecutableTypeName(0), "UNKNOWN");
    EXPECT_STREQ(ExecutableTypeName(99), "UNKNOWN");
}

} // namespace
} // namespace mvpatch
