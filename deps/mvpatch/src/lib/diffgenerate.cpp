// Defines the create side of the binary difference patch: suffix-array matching and patch writing.
#include "diff.h"

#include "crc.h"
#include "log.h"
#include "lzmaio.h"
#include "sais.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace mvpatch {

namespace {

constexpr uint64_t kMaxInput = uint64_t(1) << 31;

// An exact match that starts a new alignment is only worth a control triple when it is long; short
// ones are mostly chance, and the literal coder handles them as well in the extra bytes.
constexpr int64_t kMinMatch = 12;
// An exact run this long under the current alignment is taken without looking for a better one.
constexpr int64_t kTrustedRun = 16;
// A new alignment must beat the current one by this many matching bytes over its exact run.
constexpr int64_t kSwitchMargin = 6;
// Extensions weigh a matching byte against a differing one. Differing bytes inside a copy are
// mostly small changes (moved addresses) that compress well, so a copy may be somewhat sparse
// before extra bytes become cheaper.
constexpr int64_t kMatchGain = 3;
constexpr int64_t kMismatchCost = 2;
// Copies shorter than kMinCopy, and those shorter than kShortCopy that move the old position by
// more than kFarJump against the copy before, are left to the extra bytes.
constexpr int64_t kMinCopy = 16;
constexpr int64_t kShortCopy = 64;
constexpr int64_t kFarJump = 1 << 16;
// How many equally long matches on each side of the found one are weighed, and up to which match
// length; beyond it the choice hardly matters and the comparisons would cost more.
constexpr int64_t kNearestWindow = 16;
constexpr int64_t kNearestMaxLength = 4096;
// Window of the LZMA2 blocks. Differences of aligned copies repeat at short range and compress as
// well or better in a small window; 256 KiB still serves long inserted text nearly as well as a
// large one, while the encoder's memory grows about twelvefold with the window.
constexpr uint32_t kDictionary = 256 << 10;

void logError(const char *message)
{
    Log(message, LogLevel_ERROR);
}

inline uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Length of the common prefix of a[0..limit) and b[0..limit).
inline int64_t commonPrefix(const uint8_t *a, const uint8_t *b, int64_t limit)
{
    int64_t i = 0;
    while (i + 8 <= limit) {
        const uint64_t x = load64(a + i) ^ load64(b + i);
        if (x != 0)
            return i + (__builtin_ctzll(x) >> 3);
        i += 8;
    }
    while (i < limit && a[i] == b[i])
        ++i;
    return i;
}

// A run of the new input that matches the old input exactly at old = new + offset.
struct Anchor {
    int64_t newPos;
    int64_t offset;
    int64_t length;
};

// A copy from the old input followed by extra bytes: one control triple.
struct Block {
    int64_t newPos;
    int64_t oldPos;
    int64_t copy;
    int64_t extra;
};

// Answers "does some 8-byte string of the old input occur here" with few false positives, so the
// suffix array is searched only where a long match can exist.
class GramFilter
{
public:
    bool build(const uint8_t *old, int64_t n)
    {
        bits_ = 10;
        while (bits_ < 36 && (int64_t(1) << bits_) < n * 4)
            ++bits_;
        words_.reset(new (std::nothrow) uint64_t[(size_t(1) << bits_) / 64]());
        if (!words_)
            return false;
        for (int64_t i = 0; i + 8 <= n; ++i) {
            const uint64_t h = hash(old + i);
            words_[h >> 6] |= uint64_t(1) << (h & 63);
        }
        return true;
    }
    bool mayOccur(const uint8_t *p) const
    {
        const uint64_t h = hash(p);
        return (words_[h >> 6] >> (h & 63)) & 1;
    }

private:
    uint64_t hash(const uint8_t *p) const { return (load64(p) * 0x9E3779B97F4A7C15ull) >> (64 - bits_); }

    int bits_ = 0;
    std::unique_ptr<uint64_t[]> words_;
};

class Matcher
{
public:
    Matcher(const uint8_t *old, int64_t n, const uint8_t *neu, int64_t m) : old_(old), n_(n), new_(neu), m_(m) {}

    bool prepare();
    bool findAnchors(std::vector<Anchor> *anchors) const;

private:
    // Longest exact match of new[i..) in the old input: its old position and length.
    void search(int64_t i, int64_t *pos, int64_t *length, int64_t *rank = nullptr) const;
    int64_t nearest(int64_t i, int64_t rank, int64_t length, int64_t offset, int64_t pos) const;
    int64_t suffixMatch(int64_t i, int64_t rank, int64_t skip) const;
    int64_t countMatches(int64_t i, int64_t offset, int64_t length) const;

    const uint8_t *old_;
    int64_t n_;
    const uint8_t *new_;
    int64_t m_;
    std::unique_ptr<int32_t[]> sa_;
    GramFilter filter_;
};

bool Matcher::prepare()
{
    if (n_ == 0)
        return true;
    sa_.reset(new (std::nothrow) int32_t[size_t(n_)]);
    return sa_ && BuildSuffixArray(old_, static_cast<int32_t>(n_), sa_.get()) && filter_.build(old_, n_);
}

int64_t Matcher::suffixMatch(int64_t i, int64_t rank, int64_t skip) const
{
    const int64_t start = sa_[rank];
    const int64_t limit = std::min(m_ - i, n_ - start);
    return skip + commonPrefix(new_ + i + skip, old_ + start + skip, limit - skip);
}

void Matcher::search(int64_t i, int64_t *pos, int64_t *length, int64_t *rank) const
{
    // Binary search for new[i..)'s place among the sorted suffixes. Every suffix between two
    // bounds shares at least the shorter of their common prefixes with the query, so comparisons
    // resume there instead of at the first byte.
    int64_t lo = 0, hi = n_ - 1;
    int64_t lcpLo = suffixMatch(i, lo, 0);
    int64_t lcpHi = suffixMatch(i, hi, 0);
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        const int64_t l = suffixMatch(i, mid, std::min(lcpLo, lcpHi));
        const int64_t start = sa_[mid];
        const bool suffixBelow = l < m_ - i && (start + l == n_ || old_[start + l] < new_[i + l]);
        if (suffixBelow) {
            lo = mid;
            lcpLo = l;
        } else {
            hi = mid;
            lcpHi = l;
        }
    }
    const bool takeLo = lcpLo >= lcpHi;
    *pos = sa_[takeLo ? lo : hi];
    *length = takeLo ? lcpLo : lcpHi;
    if (rank)
        *rank = takeLo ? lo : hi;
}

// Among the suffixes next to the found one that share its whole match, takes the one nearest to
// the current alignment: its seek is smaller and it is likelier to go on matching after the run.
int64_t Matcher::nearest(int64_t i, int64_t rank, int64_t length, int64_t offset, int64_t pos) const
{
    if (length > kNearestMaxLength)
        return pos;
    int64_t best = pos;
    int64_t bestDistance = std::abs(pos - i - offset);
    for (const int64_t step : {-1, 1}) {
        for (int64_t r = rank + step, k = 0; k < kNearestWindow && r >= 0 && r < n_; r += step, ++k) {
            const int64_t start = sa_[r];
            if (n_ - start < length || commonPrefix(new_ + i, old_ + start, length) < length)
                break;
            const int64_t distance = std::abs(start - i - offset);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = start;
            }
        }
    }
    return best;
}

int64_t Matcher::countMatches(int64_t i, int64_t offset, int64_t length) const
{
    const int64_t from = std::max(i, -offset);
    const int64_t to = std::min(i + length, n_ - offset);
    int64_t count = 0;
    for (int64_t j = from; j < to; ++j)
        count += new_[j] == old_[j + offset];
    return count;
}

// One pass over the new input: follow the current alignment while it holds, and where it breaks
// look up the longest exact match. Every lookup that finds a long match skips past it, so the
// scan stays near linear apart from the lookups' logarithm.
bool Matcher::findAnchors(std::vector<Anchor> *anchors) const
{
    if (n_ == 0)
        return true;
    bool aligned = false;
    int64_t offset = 0;
    int64_t i = 0;
    while (i < m_) {
        if (aligned) {
            const int64_t o = i + offset;
            if (o >= 0 && o < n_ && new_[i] == old_[o]) {
                const int64_t run = commonPrefix(new_ + i, old_ + o, std::min(m_ - i, n_ - o));
                if (run >= kTrustedRun) {
                    i += run;
                    continue;
                }
            }
        }
        if (m_ - i < kMinMatch || !filter_.mayOccur(new_ + i) || !filter_.mayOccur(new_ + i + kMinMatch - 8)) {
            ++i;
            continue;
        }
        int64_t pos, length, rank;
        search(i, &pos, &length, &rank);
        if (length < kMinMatch) {
            ++i;
            continue;
        }
        if (aligned)
            pos = nearest(i, rank, length, offset, pos);
        const int64_t found = pos - i;
        if (aligned && found != offset && countMatches(i, offset, length) + kSwitchMargin >= length) {
            // The current alignment is nearly as good over this whole run; stay with it.
            i += length;
            continue;
        }
        if (!aligned || found != offset)
            anchors->push_back({i, found, length});
        aligned = true;
        offset = found;
        i += length;
    }
    return true;
}

// Grows each anchor forward and the next one backward over approximate matches, keeping the
// extension with the best balance of matching over differing bytes, then splits any overlap
// where the two alignments' matches balance best. What neither covers becomes extra bytes.
class BlockBuilder
{
public:
    BlockBuilder(const uint8_t *old, int64_t n, const uint8_t *neu, int64_t m) : old_(old), n_(n), new_(neu), m_(m) {}

    void build(const std::vector<Anchor> &anchors, std::vector<Block> *blocks) const;

private:
    bool same(int64_t j, int64_t offset) const { return new_[j] == old_[j + offset]; }
    int64_t extendForward(const Anchor &a, int64_t limit) const;
    int64_t extendBackward(const Anchor &a, int64_t limit) const;
    int64_t splitOverlap(int64_t from, int64_t to, int64_t leftOffset, int64_t rightOffset) const;

    const uint8_t *old_;
    int64_t n_;
    const uint8_t *new_;
    int64_t m_;
};

int64_t BlockBuilder::extendForward(const Anchor &a, int64_t limit) const
{
    limit = std::min(limit, n_ - a.offset);
    int64_t score = 0, best = 0;
    int64_t end = a.newPos + a.length;
    for (int64_t j = end; j < limit; ++j) {
        score += same(j, a.offset) ? kMatchGain : -kMismatchCost;
        if (score > best) {
            best = score;
            end = j + 1;
        }
    }
    return end;
}

int64_t BlockBuilder::extendBackward(const Anchor &a, int64_t limit) const
{
    limit = std::max(limit, -a.offset);
    int64_t score = 0, best = 0;
    int64_t begin = a.newPos;
    for (int64_t j = a.newPos - 1; j >= limit; --j) {
        score += same(j, a.offset) ? kMatchGain : -kMismatchCost;
        if (score > best) {
            best = score;
            begin = j;
        }
    }
    return begin;
}

int64_t BlockBuilder::splitOverlap(int64_t from, int64_t to, int64_t leftOffset, int64_t rightOffset) const
{
    int64_t score = 0, best = 0, split = from;
    for (int64_t j = from; j < to; ++j) {
        score += int64_t(same(j, leftOffset)) - int64_t(same(j, rightOffset));
        if (score > best) {
            best = score;
            split = j + 1;
        }
    }
    return split;
}

// A triple costs a few bytes, and one that jumps far costs most, since its seek is large and
// unpredictable. A short copy that needs such a jump saves less than that: its bytes are cheaper
// as extra bytes, which the compressor codes in context.
void dropCostlyBlocks(std::vector<Block> *blocks)
{
    std::vector<Block> kept;
    for (const Block &b : *blocks) {
        if (b.copy < kMinCopy)
            continue;
        if (b.copy < kShortCopy && !kept.empty()) {
            const int64_t jump = (b.oldPos - b.newPos) - (kept.back().oldPos - kept.back().newPos);
            if (jump > kFarJump || jump < -kFarJump)
                continue;
        }
        kept.push_back(b);
    }
    blocks->swap(kept);
}

void BlockBuilder::build(const std::vector<Anchor> &anchors, std::vector<Block> *blocks) const
{
    int64_t previousEnd = 0;
    for (size_t k = 0; k < anchors.size(); ++k) {
        const Anchor &a = anchors[k];
        const int64_t floor = k == 0 ? 0 : anchors[k - 1].newPos + anchors[k - 1].length;
        const int64_t ceiling = k + 1 < anchors.size() ? anchors[k + 1].newPos : m_;
        int64_t begin = extendBackward(a, floor);
        if (k > 0 && begin < previousEnd) {
            Block &left = blocks->back();
            begin = splitOverlap(begin, previousEnd, left.oldPos - left.newPos, a.offset);
            left.copy = begin - left.newPos;
        }
        const int64_t end = extendForward(a, ceiling);
        blocks->push_back({begin, begin + a.offset, end - begin, 0});
        previousEnd = end;
    }
    dropCostlyBlocks(blocks);
    for (size_t k = 0; k < blocks->size(); ++k) {
        Block &b = (*blocks)[k];
        const int64_t next = k + 1 < blocks->size() ? (*blocks)[k + 1].newPos : m_;
        b.extra = next - (b.newPos + b.copy);
    }
}

struct Triple {
    int32_t copy;
    int32_t extra;
    int32_t seek;
};

// Turns blocks into control triples; new bytes before the first block are extra bytes of a
// leading triple that copies nothing.
std::vector<Triple> makeTriples(const std::vector<Block> &blocks, int64_t m)
{
    std::vector<Triple> triples;
    const int64_t firstNew = blocks.empty() ? m : blocks.front().newPos;
    const int64_t firstOld = blocks.empty() ? 0 : blocks.front().oldPos;
    if (firstNew > 0 || firstOld > 0)
        triples.push_back({0, int32_t(firstNew), int32_t(firstOld)});
    for (size_t k = 0; k < blocks.size(); ++k) {
        const Block &b = blocks[k];
        const int64_t oldAfter = b.oldPos + b.copy;
        const int64_t nextOld = k + 1 < blocks.size() ? blocks[k + 1].oldPos : oldAfter;
        triples.push_back({int32_t(b.copy), int32_t(b.extra), int32_t(nextOld - oldAfter)});
    }
    return triples;
}

// The three runs, written separately so each caller can lay them out as its method needs.
struct Runs {
    WriteStream control;
    uint64_t diffLength = 0;
    uint64_t extraLength = 0;
};

bool writeControl(const std::vector<Triple> &triples, Runs *runs)
{
    for (const Triple &t : triples) {
        if (!runs->control.WriteVarint32Signed(t.copy) || !runs->control.WriteVarint32Signed(t.extra) ||
            !runs->control.WriteVarint32Signed(t.seek))
            return false;
    }
    return true;
}

void fillRuns(const std::vector<Block> &blocks, const uint8_t *old, const uint8_t *neu, int64_t m, uint8_t *diff,
              uint8_t *extra)
{
    const int64_t firstNew = blocks.empty() ? m : blocks.front().newPos;
    if (firstNew > 0) // an empty new input may have no address at all
        std::memcpy(extra, neu, size_t(firstNew));
    extra += firstNew;
    for (const Block &b : blocks) {
        const uint8_t *from = old + b.oldPos;
        const uint8_t *to = neu + b.newPos;
        for (int64_t j = 0; j < b.copy; ++j)
            diff[j] = static_cast<uint8_t>(to[j] - from[j]);
        diff += b.copy;
        std::memcpy(extra, to + b.copy, size_t(b.extra));
        extra += b.extra;
    }
}

bool writeRawPayload(const Runs &runs, const std::vector<Block> &blocks, const uint8_t *old, const uint8_t *neu,
                     int64_t m, WriteStream *out)
{
    if (!out->WriteSizeVarint32(runs.control.Length()) || !out->WriteSizeVarint32(runs.diffLength) ||
        !out->WriteSizeVarint32(runs.extraLength) || !out->Write(runs.control.Buffer(), runs.control.Length()) ||
        !out->Reserve(size_t(m)))
        return false;
    uint8_t *diff = out->MutableBuffer() + out->Length();
    fillRuns(blocks, old, neu, m, diff, diff + runs.diffLength);
    return out->Commit(size_t(m));
}

bool writeBlockPayload(Runs *runs, const std::vector<Block> &blocks, const uint8_t *old, const uint8_t *neu, int64_t m,
                       WriteStream *out)
{
    WriteStream diff, extra;
    if (!diff.Reserve(runs->diffLength) || !extra.Reserve(runs->extraLength))
        return false;
    fillRuns(blocks, old, neu, m, diff.MutableBuffer(), extra.MutableBuffer());
    if (!diff.Commit(runs->diffLength) || !extra.Commit(runs->extraLength))
        return false;
    return WriteLzma2(runs->control.Buffer(), runs->control.Length(), out, kDictionary) &&
           WriteLzma2(diff.Buffer(), diff.Length(), out, kDictionary) &&
           WriteLzma2(extra.Buffer(), extra.Length(), out, kDictionary);
}

bool generate(const uint8_t *old, int64_t n, const uint8_t *neu, int64_t m, WriteStream *patch, bool header, int method)
{
    std::vector<Anchor> anchors;
    {
        Matcher matcher(old, n, neu, m);
        if (!matcher.prepare() || !matcher.findAnchors(&anchors)) {
            logError("Could not allocate the suffix array");
            return false;
        }
    } // the suffix array is no longer needed once the anchors are known
    std::vector<Block> blocks;
    BlockBuilder(old, n, neu, m).build(anchors, &blocks);

    Runs runs;
    for (const Block &b : blocks)
        runs.diffLength += uint64_t(b.copy);
    runs.extraLength = uint64_t(m) - runs.diffLength;
    if (!writeControl(makeTriples(blocks, m), &runs))
        return false;

    if (header) {
        if (!patch->Write(kDiffMagic, sizeof kDiffMagic) || !patch->WriteVarint32(CalculateCrc(neu, size_t(m))))
            return false;
    }
    const uint8_t methodByte = static_cast<uint8_t>(method);
    if (!patch->Write(&methodByte, 1) || !patch->WriteSizeVarint32(size_t(m)))
        return false;
    switch (method) {
    case 0: return writeRawPayload(runs, blocks, old, neu, m, patch);
    case 1: return writeBlockPayload(&runs, blocks, old, neu, m, patch);
    default: {
        WriteStream payload;
        return writeRawPayload(runs, blocks, old, neu, m, &payload) &&
               WriteLzma2(payload.Buffer(), payload.Length(), patch, kDictionary);
    }
    }
}

} // namespace

bool GenerateDiff(ReadStream *old_stream, ReadStream *new_stream, WriteStream *patch, bool header, int method)
{
    const uint8_t *old = old_stream->Current();
    const uint8_t *neu = new_stream->Current();
    const size_t n = old_stream->Remaining();
    const size_t m = new_stream->Remaining();
    if (n >= kMaxInput) {
        logError(" old stream too large");
        return false;
    }
    if (m >= kMaxInput) {
        logError(" new stream too large");
        return false;
    }
    if (!old_stream->Skip(n)) {
        logError("error in old_stream size");
        return false;
    }
    if (!new_stream->Skip(m)) {
        logError("error in new_stream size");
        return false;
    }
    if (method < 0 || method > 2) {
        logError("Invalid compression method");
        return false;
    }
    bool generated = false;
    try {
        generated = generate(old, int64_t(n), neu, int64_t(m), patch, header, method);
    } catch (const std::bad_alloc &) {
        logError("Out of memory generating a difference patch");
        return false;
    }
    // The stream's own failures are silent; name them once here.
    if (!generated && patch->Failed())
        logError("Could not allocate the difference patch");
    return generated;
}

} // namespace mvpatch
