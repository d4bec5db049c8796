// Defines suffix array construction by induced sorting, with the suffix array as workspace.
#include "sais.h"

#include <algorithm>
#include <memory>
#include <new>

namespace mvpatch {

namespace {

constexpr int32_t kEmpty = -1;

// One bit per suffix: set when the suffix is S-type (smaller than the suffix after it). The text
// is taken to end in a virtual sentinel smaller than every character, so the last suffix is L-type.
class SuffixTypes
{
public:
    bool allocate(int32_t n)
    {
        words_.reset(new (std::nothrow) uint64_t[size_t(n) / 64 + 1]());
        return words_ != nullptr;
    }
    bool isS(int32_t i) const { return (words_[size_t(i) >> 6] >> (i & 63)) & 1; }
    void setS(int32_t i) { words_[size_t(i) >> 6] |= uint64_t(1) << (i & 63); }
    // Leftmost S: an S-type suffix right after an L-type one.
    bool isLms(int32_t i) const { return i > 0 && isS(i) && !isS(i - 1); }

private:
    std::unique_ptr<uint64_t[]> words_;
};

// Fills bucket[c] with the first slot (heads) or one past the last slot (tails) of character c.
template <typename Char> void findBuckets(const Char *t, int32_t n, int32_t *bucket, int32_t k, bool tails)
{
    std::fill(bucket, bucket + k, 0);
    for (int32_t i = 0; i < n; ++i)
        ++bucket[t[i]];
    int32_t sum = 0;
    for (int32_t c = 0; c < k; ++c) {
        const int32_t count = bucket[c];
        sum += count;
        bucket[c] = tails ? sum : sum - count;
    }
}

// From LMS suffixes sitting at their buckets' tails, sorts the L-type suffixes left to right and
// then all S-type suffixes right to left.
template <typename Char>
void induce(const Char *t, int32_t *sa, int32_t n, int32_t *bucket, int32_t k, const SuffixTypes &types)
{
    findBuckets(t, n, bucket, k, false);
    // The virtual sentinel sorts first, so the last suffix, induced from it, opens its bucket.
    sa[bucket[t[n - 1]]++] = n - 1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t j = sa[i] - 1;
        if (j >= 0 && !types.isS(j))
            sa[bucket[t[j]]++] = j;
    }
    findBuckets(t, n, bucket, k, true);
    for (int32_t i = n - 1; i >= 0; --i) {
        const int32_t j = sa[i] - 1;
        if (j >= 0 && types.isS(j))
            sa[--bucket[t[j]]] = j;
    }
}

template <typename Char>
bool equalLmsSubstrings(const Char *t, const SuffixTypes &types, int32_t a, int32_t b, int32_t length)
{
    for (int32_t i = 0; i <= length; ++i) {
        if (t[a + i] != t[b + i] || types.isS(a + i) != types.isS(b + i))
            return false;
    }
    return true;
}

// Sorts the suffixes of t (characters in [0, k)) into sa.
template <typename Char> bool sortSuffixes(const Char *t, int32_t *sa, int32_t n, int32_t k)
{
    if (n <= 1) {
        if (n == 1)
            sa[0] = 0;
        return true;
    }
    SuffixTypes types;
    std::unique_ptr<int32_t[]> bucket(new (std::nothrow) int32_t[size_t(k)]);
    if (!bucket || !types.allocate(n))
        return false;
    for (int32_t i = n - 2; i >= 0; --i) {
        if (t[i] < t[i + 1] || (t[i] == t[i + 1] && types.isS(i + 1)))
            types.setS(i);
    }

    // Stage 1: sort the LMS substrings by one induction pass from unsorted LMS positions.
    std::fill(sa, sa + n, kEmpty);
    findBuckets(t, n, bucket.get(), k, true);
    for (int32_t i = 1; i < n; ++i) {
        if (types.isLms(i))
            sa[--bucket[t[i]]] = i;
    }
    induce(t, sa, n, bucket.get(), k, types);

    // Gather the sorted LMS positions at the front, then name equal substrings alike. Names go to
    // sa[n1 + pos / 2], which is free and unique because LMS positions are at least two apart.
    int32_t n1 = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (types.isLms(sa[i]))
            sa[n1++] = sa[i];
    }
    std::fill(sa + n1, sa + n, kEmpty);
    int32_t names = 0;
    int32_t previous = -1;
    int32_t previousLength = 0;
    for (int32_t r = 0; r < n1; ++r) {
        const int32_t pos = sa[r];
        int32_t end = pos + 1;
        while (end < n && !types.isLms(end))
            ++end;
        // A substring that runs into the sentinel is unlike any other.
        const int32_t length = end < n ? end - pos : -1;
        const bool same = previous >= 0 && length >= 0 && length == previousLength &&
                          equalLmsSubstrings(t, types, pos, previous, length);
        if (!same)
            ++names;
        previous = pos;
        previousLength = length;
        sa[n1 + pos / 2] = names - 1;
    }
    int32_t *reduced = sa + n - n1;
    for (int32_t i = n - 1, j = n - 1; i >= n1; --i) {
        if (sa[i] != kEmpty)
            sa[j--] = sa[i];
    }

    // Stage 2: order the LMS suffixes, recursing while names repeat.
    if (names < n1) {
        if (!sortSuffixes<int32_t>(reduced, sa, n1, names))
            return false;
    } else {
        for (int32_t i = 0; i < n1; ++i)
            sa[reduced[i]] = i;
    }

    // Stage 3: map back to text positions, seed the buckets' tails in order and induce the rest.
    for (int32_t i = 1, j = 0; i < n; ++i) {
        if (types.isLms(i))
            reduced[j++] = i;
    }
    for (int32_t i = 0; i < n1; ++i)
        sa[i] = reduced[sa[i]];
    std::fill(sa + n1, sa + n, kEmpty);
    findBuckets(t, n, bucket.get(), k, true);
    for (int32_t i = n1 - 1; i >= 0; --i) {
        const int32_t j = sa[i];
        sa[i] = kEmpty;
        sa[--bucket[t[j]]] = j;
    }
    induce(t, sa, n, bucket.get(), k, types);
    return true;
}

} // namespace

bool BuildSuffixArray(const uint8_t *text, int32_t length, int32_t *sa)
{
    return length >= 0 && sortSuffixes<uint8_t>(text, sa, length, 256);
}

} // namespace mvpatch
