// Tests of the LZMA2 block and the engine checksum.
#include "capturelog.h"
#include "crc.h"
#include "lzmaio.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace mvpatch {
namespace {

uint32_t crcOf(const char *text)
{
    return CalculateCrc(reinterpret_cast<const uint8_t *>(text), std::strlen(text));
}

TEST(Crc, KnownValues)
{
    EXPECT_EQ(crcOf(""), 0xFFFFFFFFu);
    EXPECT_EQ(crcOf("abc"), 0xCADBBE3Du);
    EXPECT_EQ(crcOf("123456789"), 0x340BC6D9u);
}

TEST(Crc, UpdateContinuesAcrossPieces)
{
    const Bytes data = randomBytes(100000);
    const uint32_t whole = CalculateCrc(data.data(), data.size());
    uint32_t crc = CalculateCrc(nullptr, 0);
    for (size_t offset = 0; offset < data.size(); offset += 777)
        crc = UpdateCrc(crc, data.data() + offset, std::min<size_t>(777, data.size() - offset));
    EXPECT_EQ(crc, whole);
}

TEST(Lzma2Block, RoundTripsBackToBackBlocksFromOneCursor)
{
    const Bytes first = compressibleBytes(200000);
    const Bytes second = randomBytes(5000);
    WriteStream packed;
    ASSERT_TRUE(WriteLzma2(first.data(), first.size(), &packed));
    ReadStream secondSource(second.data(), second.size());
    ASSERT_TRUE(WriteLzma2(&secondSource, &packed));
    EXPECT_TRUE(secondSource.Empty());
    ASSERT_TRUE(WriteLzma2(nullptr, 0, &packed));
    EXPECT_LT(packed.Length(), first.size() / 4 + second.size() + 200);

    ReadStream in(packed);
    WriteStream a, b, c;
    ASSERT_TRUE(ReadLzma2(&in, &a));
    ASSERT_TRUE(ReadLzma2(&in, &b));
    ASSERT_TRUE(ReadLzma2(&in, &c));
    EXPECT_TRUE(in.Empty());
    EXPECT_EQ(Bytes(a.Buffer(), a.Buffer() + a.Length()), first);
    EXPECT_EQ(Bytes(b.Buffer(), b.Buffer() + b.Length()), second);
    EXPECT_EQ(c.Length(), 0u);
}

TEST(Lzma2Block, ChunkedReadMatchesOneCallRead)
{
    const Bytes data = compressibleBytes(3 << 20);
    WriteStream packed;
    ASSERT_TRUE(WriteLzma2(data.data(), data.size(), &packed));
    ASSERT_TRUE(packed.Write("tail", 4));
    ReadStream in(packed);
    Bytes out;
    ASSERT_TRUE(ReadLzma2Chunked(&in, [&](const uint8_t *chunk, size_t length) {
        out.insert(out.end(), chunk, chunk + length);
        return true;
    }));
    EXPECT_EQ(out, data);
    EXPECT_EQ(in.Remaining(), 4u);
}

// Rewrites the size varint of a block that holds "hello world".
Bytes blockWithDeclaredSize(uint32_t size)
{
    const char *text = "hello world";
    WriteStream packed;
    EXPECT_TRUE(WriteLzma2(reinterpret_cast<const uint8_t *>(text), 11, &packed));
    WriteStream out;
    EXPECT_TRUE(out.Write(packed.Buffer(), 1));
    EXPECT_TRUE(out.WriteVarint32(size));
    EXPECT_TRUE(out.Write(packed.Buffer() + 2, packed.Length() - 2)); // 11 takes one varint byte
    return Bytes(out.Buffer(), out.Buffer() + out.Length());
}

TEST(Lzma2Block, DeclaredSizeMismatchFailsWithoutMovingCursor)
{
    for (uint32_t size : {12u, 10u, 0u, 0xFFFFFFu}) {
        const Bytes block = blockWithDeclaredSize(size);
        CaptureLog log;
        ReadStream in(block.data(), block.size());
        WriteStream out;
        EXPECT_FALSE(ReadLzma2(&in, &out)) << size;
        EXPECT_EQ(in.Current(), in.Start());
        ASSERT_FALSE(log.messages.empty());
        EXPECT_EQ(log.messages.back().rfind("Error uncompressing data ", 0), 0u) << log.joined();

        ReadStream again(block.data(), block.size());
        EXPECT_FALSE(ReadLzma2Chunked(&again, [](const uint8_t *, size_t) { return true; })) << size;
    }
    const Bytes good = blockWithDeclaredSize(11);
    ReadStream in(good.data(), good.size());
    WriteStream out;
    EXPECT_TRUE(ReadLzma2(&in, &out));
}

TEST(Lzma2Block, TruncatedHeadersAndBodiesFail)
{
    struct Case {
        Bytes bytes;
        const char *message;
    };
    const Bytes good = blockWithDeclaredSize(11);
    const Case cases[] = {
        {{}, "Error read LZMA2 properties"},
        {{good[0]}, "Error read LZMA2 unpack size"},
        {{good[0], 0x80}, "Error read LZMA2 unpack size"},
        {Bytes(good.begin(), good.end() - 1), nullptr},
        {{41, 11, 0x01, 0x00}, nullptr}, // properties byte out of range
    };
    for (const Case &c : cases) {
        CaptureLog log;
        ReadStream in(c.bytes.data(), c.bytes.size());
        WriteStream out;
        EXPECT_FALSE(ReadLzma2(&in, &out));
        ASSERT_FALSE(log.messages.empty());
        if (c.message)
            EXPECT_EQ(log.messages.back(), c.message);
        else
            EXPECT_EQ(log.messages.back().rfind("Error uncompressing data ", 0), 0u) << log.joined();
    }
}

TEST(Lzma2Block, FailedSinkIsRefused)
{
    const Bytes good = blockWithDeclaredSize(11);
    WriteStream out;
    ASSERT_FALSE(out.Reserve(std::numeric_limits<size_t>::max() / 2));
    CaptureLog log;
    ReadStream in(good.data(), good.size());
    EXPECT_FALSE(ReadLzma2(&in, &out));
    EXPECT_TRUE(log.contains("unable to allocate sink space"));
}

TEST(Lzma2Block, SmallInputUsesSmallDictionary)
{
    WriteStream packed;
    const uint8_t byte = 'x';
    ASSERT_TRUE(WriteLzma2(&byte, 1, &packed));
    EXPECT_EQ(packed.Buffer()[0], 0); // 4 KiB dictionary code
}

} // namespace
} // namespace mvpatch
