// Tests of suffix array construction against a plain comparison sort.
#include "sais.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<int32_t> naiveSuffixArray(const Bytes &text)
{
    std::vector<int32_t> sa(text.size());
    std::iota(sa.begin(), sa.end(), 0);
    std::sort(sa.begin(), sa.end(), [&](int32_t a, int32_t b) {
        return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
    });
    return sa;
}

std::vector<int32_t> suffixArray(const Bytes &text)
{
    std::vector<int32_t> sa(text.size(), -7);
    EXPECT_TRUE(mvpatch::BuildSuffixArray(text.data(), int32_t(text.size()), sa.data()));
    return sa;
}

Bytes fromString(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

// Shapes that drive the recursion deep or hit its corner cases: repeats, periods, runs, the
// largest byte values, and texts whose last suffix is the smallest or largest.
TEST(SuffixArray, MatchesComparisonSortOnAwkwardTexts)
{
    std::vector<Bytes> texts = {
        {},
        {0},
        {255, 255},
        fromString("banana"),
        fromString("mississippi"),
        fromString("abracadabra"),
        fromString("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"),
        fromString("abababababababababababababababa"),
        fromString("abcabcabcabcabcabcabcabcabcabcab"),
        fromString("zyxwvutsrqponmlkjihgfedcba"),
        fromString("abcdefghijklmnopqrstuvwxyz"),
        {0, 0, 0, 255, 0, 0, 0, 255, 0},
    };
    Bytes fibonacci = {'a'}, previous = {'b'};
    while (fibonacci.size() < 3000) {
        Bytes next = fibonacci;
        next.insert(next.end(), previous.begin(), previous.end());
        previous = fibonacci;
        fibonacci = next;
    }
    texts.push_back(fibonacci);
    for (const Bytes &text : texts)
        EXPECT_EQ(suffixArray(text), naiveSuffixArray(text)) << std::string(text.begin(), text.end());
}

TEST(SuffixArray, MatchesComparisonSortOnRandomTextsOfSmallAlphabets)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 3000; ++round) {
        const size_t length = rng() % 300;
        const unsigned alphabet = round % 5 == 0 ? 256 : 1 + rng() % 4;
        Bytes text(length);
        for (uint8_t &c : text)
            c = uint8_t(rng() % alphabet);
        ASSERT_EQ(suffixArray(text), naiveSuffixArray(text)) << "round " << round;
    }
}

TEST(SuffixArray, LargeTextIsSorted)
{
    Bytes text = compressibleBytes(1 << 20, 9);
    const std::vector<int32_t> sa = suffixArray(text);
    std::vector<bool> seen(text.size());
    for (int32_t s : sa) {
        ASSERT_GE(s, 0);
        ASSERT_FALSE(seen[size_t(s)]);
        seen[size_t(s)] = true;
    }
    for (size_t i = 1; i < sa.size(); ++i) {
        const int32_t a = sa[i - 1], b = sa[i];
        const size_t common =
            std::mismatch(text.begin() + a, text.end(), text.begin() + b, text.end()).first - (text.begin() + a);
        // Either a is a proper prefix of b, or they differ at `common` with a's byte smaller.
        ASSERT_TRUE(size_t(a) + common == text.size() ||
                    (size_t(b) + common < text.size() && text[size_t(a) + common] < text[size_t(b) + common]))
            << "at rank " << i;
    }
}

} // namespace
