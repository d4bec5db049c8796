// Tests of read cursors, write buffers, varints and stream sets.
#include "capturelog.h"
#include "streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

// Lets the failed-allocation tests see a null return under AddressSanitizer too.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace mvpatch {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes contents(const WriteStream &stream)
{
    return Bytes(stream.Buffer(), stream.Buffer() + stream.Length());
}

struct VarintCase {
    Bytes bytes;
    bool ok;
    uint32_t value;
};

class VarintRead : public ::testing::TestWithParam<VarintCase> {};

TEST_P(VarintRead, DecodesOrFailsWithoutMoving)
{
    const VarintCase &c = GetParam();
    ReadStream stream(c.bytes.data(), c.bytes.size());
    uint32_t value = 12345;
    EXPECT_EQ(stream.ReadVarint32(&value), c.ok);
    if (c.ok) {
        EXPECT_EQ(value, c.value);
        EXPECT_TRUE(stream.Empty());
    } else {
        EXPECT_EQ(value, 12345u);
        EXPECT_EQ(stream.Current(), stream.Start());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, VarintRead,
                         ::testing::Values(VarintCase{{0x00}, true, 0}, VarintCase{{0x7F}, true, 127},
                                           VarintCase{{0x80, 0x01}, true, 128}, VarintCase{{0xAC, 0x02}, true, 300},
                                           VarintCase{{0x80, 0x00}, true, 0}, // non-minimal is accepted
                                           VarintCase{{0x80, 0x80, 0x80, 0x80, 0x10}, true, 0},
                                           VarintCase{{0xFF, 0xFF, 0xFF, 0xFF, 0x0F}, true, 0xFFFFFFFF},
                                           VarintCase{{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, true, 0xFFFFFFFF},
                                           VarintCase{{0x80, 0x80, 0x80, 0x80, 0x80}, false, 0},
                                           VarintCase{{0x80, 0x80}, false, 0}, VarintCase{{}, false, 0}));

TEST(Varint, RoundTripsUnsignedAndSignedExtremes)
{
    const uint32_t unsignedValues[] = {0, 1, 127, 128, 16383, 16384, 0x0FFFFFFF, 0x10000000, 0xFFFFFFFF};
    const int32_t signedValues[] = {0, 1, -1, 63, -64, 64, -65, std::numeric_limits<int32_t>::max(),
                                    std::numeric_limits<int32_t>::min()};
    WriteStream out;
    for (uint32_t v : unsignedValues)
        ASSERT_TRUE(out.WriteVarint32(v));
    for (int32_t v : signedValues)
        ASSERT_TRUE(out.WriteVarint32Signed(v));
    ReadStream in(out);
    for (uint32_t v : unsignedValues) {
        uint32_t got;
        ASSERT_TRUE(in.ReadVarint32(&got));
        EXPECT_EQ(got, v);
    }
    for (int32_t v : signedValues) {
        int32_t got;
        ASSERT_TRUE(in.ReadVarint32Signed(&got));
        EXPECT_EQ(got, v);
    }
    EXPECT_TRUE(in.Empty());
}

TEST(Varint, KnownEncodings)
{
    WriteStream out;
    ASSERT_TRUE(out.WriteVarint32(300));
    ASSERT_TRUE(out.WriteVarint32Signed(-1));
    ASSERT_TRUE(out.WriteVarint32Signed(1));
    ASSERT_TRUE(out.WriteVarint32(20090218));
    EXPECT_EQ(contents(out), (Bytes{0xAC, 0x02, 0x01, 0x02, 0xEA, 0x9A, 0xCA, 0x09}));
}

TEST(VarintDeathTest, SizeBeyond32BitsIsFatal)
{
    EXPECT_EXIT(
        {
            WriteStream out;
            (void)out.WriteSizeVarint32(size_t(1) << 32);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(ReadStream, ShortReadAndSkipLeaveCursor)
{
    const uint8_t data[] = {1, 2, 3};
    ReadStream stream(data, sizeof data);
    uint8_t out[4] = {};
    EXPECT_FALSE(stream.Read(out, 4));
    EXPECT_FALSE(stream.Skip(4));
    EXPECT_EQ(stream.Remaining(), 3u);
    EXPECT_TRUE(stream.Read(out, 2));
    EXPECT_EQ(out[1], 2);
    EXPECT_TRUE(stream.Skip(1));
    EXPECT_TRUE(stream.Empty());
}

TEST(WriteStream, GrowsByDoublingFrom256AndReservesExactly)
{
    WriteStream out;
    const uint8_t byte = 7;
    ASSERT_TRUE(out.Write(&byte, 1));
    EXPECT_EQ(out.Capacity(), 256u);
    std::vector<uint8_t> block(300, 1);
    ASSERT_TRUE(out.Write(block.data(), block.size()));
    EXPECT_EQ(out.Capacity(), 512u);
    ASSERT_TRUE(out.Reserve(1000));
    EXPECT_EQ(out.Capacity(), 1301u);
    ASSERT_TRUE(out.Reserve(10)); // never shrinks
    EXPECT_EQ(out.Capacity(), 1301u);
    EXPECT_EQ(out.Length(), 301u);
    EXPECT_EQ(out.Buffer()[0], 7);

    WriteStream reserved;
    ASSERT_TRUE(reserved.Reserve(3));
    EXPECT_EQ(reserved.Capacity(), 256u);
}

TEST(WriteStream, FailedAllocationSticks)
{
    WriteStream out;
    const uint8_t byte = 1;
    ASSERT_TRUE(out.Write(&byte, 1));
    EXPECT_FALSE(out.Reserve(std::numeric_limits<size_t>::max() / 2));
    EXPECT_TRUE(out.Failed());
    EXPECT_EQ(out.Length(), 0u);
    EXPECT_FALSE(out.Write(&byte, 1));
    EXPECT_FALSE(out.Write(&byte, 0));
    EXPECT_FALSE(out.Reserve(1));
}

TEST(WriteStream, LengthOverflowFailsWithoutDamage)
{
    WriteStream out;
    const uint8_t byte = 1;
    ASSERT_TRUE(out.Write(&byte, 1));
    EXPECT_FALSE(out.Write(&byte, std::numeric_limits<size_t>::max()));
    EXPECT_FALSE(out.Failed());
    EXPECT_EQ(out.Length(), 1u);
}

TEST(WriteStream, AppendMovesBytesAndEmptiesSource)
{
    WriteStream a, b;
    ASSERT_TRUE(a.Write("ab", 2));
    ASSERT_TRUE(b.Write("cd", 2));
    ASSERT_TRUE(a.Append(&b));
    EXPECT_EQ(contents(a), (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(b.Length(), 0u);
    EXPECT_EQ(b.Capacity(), 0u);
    EXPECT_EQ(b.Buffer(), nullptr);
    a.Retire();
    EXPECT_EQ(a.Length(), 0u);
    EXPECT_EQ(a.Capacity(), 0u);
}

TEST(WriteStream, CommitNeedsReservedRoom)
{
    WriteStream out;
    EXPECT_FALSE(out.Commit(1));
    ASSERT_TRUE(out.Reserve(4));
    std::memcpy(out.MutableBuffer(), "wxyz", 4);
    ASSERT_TRUE(out.Commit(4));
    EXPECT_EQ(contents(out), (Bytes{'w', 'x', 'y', 'z'}));
    EXPECT_FALSE(out.Commit(253));
}

Bytes image(const std::vector<Bytes> &streams)
{
    WriteStreamSet set(streams.size());
    for (size_t i = 0; i < streams.size(); ++i)
        EXPECT_TRUE(set.stream(i)->Write(streams[i].data(), streams[i].size()));
    WriteStream out;
    EXPECT_TRUE(set.CopyTo(&out));
    return contents(out);
}

TEST(StreamSet, ImageRoundTripsAndFreesSources)
{
    WriteStreamSet set(3);
    ASSERT_TRUE(set.stream(0)->Write("abc", 3));
    ASSERT_TRUE(set.stream(2)->Write("z", 1));
    WriteStream out;
    ASSERT_TRUE(set.CopyTo(&out));
    EXPECT_EQ(contents(out), (Bytes{0xEA, 0x9A, 0xCA, 0x09, 3, 3, 0, 1, 'a', 'b', 'c', 'z'}));
    EXPECT_EQ(set.stream(0)->Length(), 0u);

    ReadStreamSet read;
    ASSERT_TRUE(read.Init(out.Buffer(), out.Length()));
    ASSERT_EQ(read.count(), 3u);
    EXPECT_EQ(read.stream(0)->Remaining(), 3u);
    EXPECT_EQ(read.stream(1)->Remaining(), 0u);
    EXPECT_EQ(*read.stream(2)->Current(), 'z');
    EXPECT_FALSE(read.Empty());
}

TEST(StreamSet, MalformedImagesAreRejected)
{
    const Bytes good = image({{1, 2}, {3}});
    Bytes trailing = good;
    trailing.push_back(0);
    const Bytes missing(good.begin(), good.end() - 1);
    Bytes badVersion = good;
    badVersion[0] ^= 1;
    const Bytes countTooLarge = {0xEA, 0x9A, 0xCA, 0x09, 11};
    const Bytes truncatedLengths = {0xEA, 0x9A, 0xCA, 0x09, 2, 1};
    const Bytes hugeLength = {0xEA, 0x9A, 0xCA, 0x09, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F};

    for (const Bytes &bad : {trailing, missing, badVersion, countTooLarge, truncatedLengths, hugeLength}) {
        ReadStreamSet set;
        EXPECT_FALSE(set.Init(bad.data(), bad.size()));
        EXPECT_EQ(set.count(), 0u);
    }
    ReadStreamSet set;
    EXPECT_TRUE(set.Init(good.data(), good.size()));
}

TEST(StreamSet, CountZeroIsAnEmptySet)
{
    const Bytes empty = {0xEA, 0x9A, 0xCA, 0x09, 0};
    ReadStreamSet set;
    ASSERT_TRUE(set.Init(empty.data(), empty.size()));
    EXPECT_EQ(set.count(), 0u);
    EXPECT_TRUE(set.Empty());
}

TEST(StreamSet, NestedSetCountsUpToHighestNonEmptyStream)
{
    WriteStreamSet inner;
    ASSERT_TRUE(inner.stream(3)->Write("q", 1));
    WriteStreamSet outer;
    ASSERT_TRUE(outer.WriteSet(&inner));
    EXPECT_EQ(contents(*outer.stream(0)), (Bytes{4, 0, 0, 0, 1}));
    EXPECT_EQ(contents(*outer.stream(3)), (Bytes{'q'}));

    WriteStream out;
    ASSERT_TRUE(outer.CopyTo(&out));
    ReadStreamSet read;
    ASSERT_TRUE(read.Init(out.Buffer(), out.Length()));
    ReadStreamSet back;
    ASSERT_TRUE(read.ReadSet(&back));
    EXPECT_EQ(back.count(), 10u);
    EXPECT_EQ(back.stream(3)->Remaining(), 1u);
    EXPECT_EQ(*back.stream(3)->Current(), 'q');
    EXPECT_TRUE(read.Empty());
    EXPECT_FALSE(read.ReadSet(&back)); // stream 0 is consumed
}

TEST(StreamSet, TwoNestedSetsComeBackInOrder)
{
    WriteStreamSet first, second, outer;
    ASSERT_TRUE(first.stream(0)->Write("AA", 2));
    ASSERT_TRUE(first.stream(1)->Write("B", 1));
    ASSERT_TRUE(second.stream(1)->Write("CCC", 3));
    ASSERT_TRUE(outer.WriteSet(&first));
    ASSERT_TRUE(outer.WriteSet(&second));
    WriteStream out;
    ASSERT_TRUE(outer.CopyTo(&out));

    ReadStreamSet read, a, b;
    ASSERT_TRUE(read.Init(out.Buffer(), out.Length()));
    ASSERT_TRUE(read.ReadSet(&a));
    ASSERT_TRUE(read.ReadSet(&b));
    EXPECT_EQ(a.stream(0)->Remaining(), 2u);
    EXPECT_EQ(a.stream(1)->Remaining(), 1u);
    EXPECT_EQ(b.stream(0)->Remaining(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(b.stream(1)->Current()), 3), "CCC");
}

TEST(StreamSet, NestedLengthPastOuterStreamFails)
{
    // Inner count 2 claims 5 bytes in outer stream 1, which holds 1.
    const Bytes bad = image({{2, 0, 5}, {9}});
    ReadStreamSet read, inner;
    ASSERT_TRUE(read.Init(bad.data(), bad.size()));
    EXPECT_FALSE(read.ReadSet(&inner));
    const Bytes tooMany = image({{11}});
    ASSERT_TRUE(read.Init(tooMany.data(), tooMany.size()));
    EXPECT_FALSE(read.ReadSet(&inner));
}

} // namespace
} // namespace mvpatch
