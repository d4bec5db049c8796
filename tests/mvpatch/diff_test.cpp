// Tests of the binary difference patch: hand-built patches for every failure, and round trips.
#include "capturelog.h"
#include "crc.h"
#include "diff.h"
#include "lzmaio.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <vector>

namespace {

using mvpatch::ReadStream;
using mvpatch::WriteStream;

struct Triple {
    int32_t copy, extra, seek;
};

// Writes patches field by field, so each test can break exactly one thing.
struct PatchBuilder {
    bool header = false;
    std::string magic = "MVDIFF10";
    bool writeCrc = true;
    uint32_t crc = 0;
    int method = 0;
    bool writeSize = true;
    uint32_t newSize = 0;
    std::vector<Triple> triples;
    Bytes diff;
    Bytes extra;
    Bytes rawControl; // appended after the triples, for control bytes that are not whole triples
    // Method 0 lengths as written; negative means the true length.
    int64_t lengthOverride[3] = {-1, -1, -1};

    Bytes control() const
    {
        WriteStream s;
        for (const Triple &t : triples)
            EXPECT_TRUE(s.WriteVarint32Signed(t.copy) && s.WriteVarint32Signed(t.extra) &&
                        s.WriteVarint32Signed(t.seek));
        Bytes out(s.Buffer(), s.Buffer() + s.Length());
        out.insert(out.end(), rawControl.begin(), rawControl.end());
        return out;
    }

    Bytes rawPayload() const
    {
        const Bytes runs[3] = {control(), diff, extra};
        WriteStream s;
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(
                s.WriteVarint32(uint32_t(lengthOverride[i] >= 0 ? lengthOverride[i] : int64_t(runs[i].size()))));
        for (const Bytes &run : runs)
            EXPECT_TRUE(s.Write(run.data(), run.size()));
        return Bytes(s.Buffer(), s.Buffer() + s.Length());
    }

    Bytes build() const
    {
        WriteStream s;
        if (header) {
            EXPECT_TRUE(s.Write(magic.data(), magic.size()));
            if (writeCrc) {
                EXPECT_TRUE(s.WriteVarint32(crc));
            }
        }
        if (method >= 0) {
            const uint8_t byte = uint8_t(method);
            EXPECT_TRUE(s.Write(&byte, 1));
        }
        if (!writeSize)
            return Bytes(s.Buffer(), s.Buffer() + s.Length());
        EXPECT_TRUE(s.WriteVarint32(newSize));
        if (method == 1) {
            for (const Bytes &run : {control(), diff, extra})
                EXPECT_TRUE(mvpatch::WriteLzma2(run.data(), run.size(), &s));
        } else if (method == 2) {
            const Bytes payload = rawPayload();
            EXPECT_TRUE(mvpatch::WriteLzma2(payload.data(), payload.size(), &s));
        } else if (method == 0) {
            const Bytes payload = rawPayload();
            EXPECT_TRUE(s.Write(payload.data(), payload.size()));
        }
        return Bytes(s.Buffer(), s.Buffer() + s.Length());
    }
};

struct ApplyResult {
    bool ok;
    Bytes output;
    size_t consumed; // patch bytes the apply moved past
    size_t capacity;
};

ApplyResult apply(const Bytes &old, const Bytes &patch, bool header)
{
    ReadStream oldStream(old.data(), old.size());
    ReadStream patchStream(patch.data(), patch.size());
    WriteStream out;
    ApplyResult r;
    r.ok = mvpatch::ApplyDiff(&oldStream, &patchStream, &out, header);
    r.output.assign(out.Buffer(), out.Buffer() + out.Length());
    r.consumed = size_t(patchStream.Current() - patchStream.Start());
    r.capacity = out.Capacity();
    EXPECT_EQ(oldStream.Current(), oldStream.Start()) << "the old input is read in place, not consumed";
    return r;
}

Bytes generate(const Bytes &old, const Bytes &neu, bool header, int method)
{
    ReadStream oldStream(old.data(), old.size());
    ReadStream newStream(neu.data(), neu.size());
    WriteStream patch;
    EXPECT_TRUE(mvpatch::GenerateDiff(&oldStream, &newStream, &patch, header, method));
    EXPECT_TRUE(oldStream.Empty());
    EXPECT_TRUE(newStream.Empty());
    return Bytes(patch.Buffer(), patch.Buffer() + patch.Length());
}

const Bytes kOld = {10, 20, 30, 40, 50, 60, 70, 80};

// A patch that turns kOld into {11, 22, 'x', 'y', 80}: copy two bytes with differences, insert
// two, seek to the last old byte and copy it unchanged.
PatchBuilder validPatch()
{
    PatchBuilder p;
    p.newSize = 5;
    p.triples = {{2, 2, 5}, {1, 0, 0}};
    p.diff = {1, 2, 0};
    p.extra = {'x', 'y'};
    return p;
}
const Bytes kExpected = {11, 22, 'x', 'y', 80};

// ---- Apply: the format's own cases ----

TEST(ApplyDiff, SameContentAppliesIdenticallyWithEveryMethodAndHeader)
{
    for (int method = 0; method <= 2; ++method) {
        for (bool header : {false, true}) {
            PatchBuilder p = validPatch();
            p.method = method;
            p.header = header;
            p.crc = mvpatch::CalculateCrc(kExpected.data(), kExpected.size());
            const Bytes patch = p.build();
            const ApplyResult r = apply(kOld, patch, header);
            EXPECT_TRUE(r.ok) << "method " << method << " header " << header;
            EXPECT_EQ(r.output, kExpected);
            EXPECT_EQ(r.consumed, patch.size());
        }
    }
}

TEST(ApplyDiff, EmptyOutputReadsNoTripleAndChecksNothingButCrcOfNothing)
{
    PatchBuilder p;
    p.header = true;
    p.crc = 0xFFFFFFFFu;
    p.rawControl = {0xFF}; // would be a broken varint if it were read
    EXPECT_TRUE(apply(kOld, p.build(), true).ok);
    p.crc = 0;
    CaptureLog log;
    EXPECT_FALSE(apply(kOld, p.build(), true).ok);
    EXPECT_TRUE(log.contains("crc mismatch")) << log.joined();
}

TEST(ApplyDiff, TripleWithOnlyExtraBytesInserts)
{
    PatchBuilder p;
    p.newSize = 5;
    p.triples = {{0, 5, 0}};
    p.extra = {1, 2, 3, 4, 5};
    const ApplyResult r = apply({}, p.build(), false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.output, Bytes({1, 2, 3, 4, 5}));
}

TEST(ApplyDiff, NegativeSeekAfterLastTripleIsNotAnError)
{
    PatchBuilder p;
    p.newSize = 2;
    p.triples = {{2, 0, -100}};
    p.diff = {0, 0};
    EXPECT_TRUE(apply(kOld, p.build(), false).ok);
}

TEST(ApplyDiff, LeftoverControlDiffAndExtraBytesAreIgnored)
{
    PatchBuilder p = validPatch();
    p.triples.push_back({1, 1, 0});
    p.diff.push_back(9);
    p.extra.push_back(9);
    p.rawControl = {0xFF, 0xFF};
    const ApplyResult r = apply(kOld, p.build(), false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.output, kExpected);
}

TEST(ApplyDiff, PatchCursorStopsRightAfterThePatch)
{
    for (int method = 0; method <= 2; ++method) {
        PatchBuilder p = validPatch();
        p.method = method;
        Bytes patch = p.build();
        const size_t length = patch.size();
        patch.insert(patch.end(), {7, 7, 7});
        const ApplyResult r = apply(kOld, patch, false);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.consumed, length) << "method " << method;
    }
}

TEST(ApplyDiff, OldInputStartsAtTheStreamsCurrentPosition)
{
    const Bytes old = {99, 99, 10, 20};
    ReadStream oldStream(old.data(), old.size());
    ASSERT_TRUE(oldStream.Skip(2));
    PatchBuilder p;
    p.newSize = 2;
    p.triples = {{2, 0, 0}};
    p.diff = {1, 1};
    const Bytes patch = p.build();
    ReadStream patchStream(patch.data(), patch.size());
    WriteStream out;
    ASSERT_TRUE(mvpatch::ApplyDiff(&oldStream, &patchStream, &out, false));
    EXPECT_EQ(Bytes(out.Buffer(), out.Buffer() + out.Length()), Bytes({11, 21}));
}

// ---- Apply: every way a patch can be broken, one flaw per case ----

struct BrokenPatch {
    const char *name;
    std::function<void(PatchBuilder *)> breakIt;
    const char *message; // expected log entry
};

class ApplyDiffRejects : public ::testing::TestWithParam<BrokenPatch>
{
};

TEST_P(ApplyDiffRejects, WithItsMessage)
{
    for (int method = 0; method <= 2; ++method) {
        PatchBuilder p = validPatch();
        p.method = method;
        p.crc = mvpatch::CalculateCrc(kExpected.data(), kExpected.size());
        GetParam().breakIt(&p);
        if (p.method != method && method != 0)
            continue; // the case is about the method byte itself; one run is enough
        CaptureLog log;
        const ApplyResult r = apply(kOld, p.build(), p.header);
        EXPECT_FALSE(r.ok) << "method " << method;
        EXPECT_TRUE(log.contains(GetParam().message)) << "method " << method << ":\n" << log.joined();
        EXPECT_LE(r.capacity, size_t(4096)) << "no allocation follows a claimed size";
    }
}

const BrokenPatch kBrokenPatches[] = {
    {"MagicDiffersInLastByte",
     [](PatchBuilder *p) {
         p->header = true;
         p->magic = "MVDIFF11";
     },
     "Corrupt patch header"},
    {"HeaderShorterThanMagic",
     [](PatchBuilder *p) {
         p->header = true;
         p->magic = "MVDIF";
         p->writeCrc = false;
         p->method = -1;
         p->writeSize = false;
     },
     "Truncated patch header"},
    {"CrcMissing",
     [](PatchBuilder *p) {
         p->header = true;
         p->writeCrc = false;
         p->method = -1;
         p->writeSize = false;
     },
     "Could not read crc"},
    {"CrcWrong",
     [](PatchBuilder *p) {
         p->header = true;
         p->crc ^= 1;
     },
     "crc mismatch"},
    {"MethodThree", [](PatchBuilder *p) { p->method = 3; }, "Invalid compression method"},
    {"MethodMissing",
     [](PatchBuilder *p) {
         p->method = -1;
         p->writeSize = false;
     },
     "Could not read compression method"},
    {"NewSizeMissing", [](PatchBuilder *p) { p->writeSize = false; }, "Could not read new size"},
    {"ControlEndsEarly", [](PatchBuilder *p) { p->triples.pop_back(); }, "Corrupt patch reading control"},
    {"ControlEndsInsideTriple",
     [](PatchBuilder *p) {
         p->triples.pop_back();
         p->rawControl = {2, 0};
     },
     "Corrupt patch reading control"},
    {"HugeDeclaredNewSize", [](PatchBuilder *p) { p->newSize = 0xFFFFFFFFu; }, "Corrupt patch reading control"},
    {"ExtraPastNewSize", [](PatchBuilder *p) { p->triples[0].extra = 4; }, "Corrupt patch"},
    {"NegativeExtra", [](PatchBuilder *p) { p->triples[0].extra = -1; }, "Corrupt patch extra of -1 bytes"},
    {"ExtraStreamShort", [](PatchBuilder *p) { p->extra.pop_back(); }, "Corrupt patch extra of 2 bytes"},
    {"CopyPastOldEnd", [](PatchBuilder *p) { p->triples[0].seek = 6; },
     "Corrupt patch copy of 1 bytes at old position 8"},
    {"NegativeCopy", [](PatchBuilder *p) { p->triples[1].copy = -1; },
     "Corrupt patch copy of -1 bytes at old position 7"},
    {"SeekBeforeOldStartFailsEvenAnEmptyCopy",
     [](PatchBuilder *p) {
         p->triples[0].seek = -3;
         p->triples[1].copy = 0;
         p->triples[1].extra = 1;
         p->extra.push_back('z');
     },
     "Corrupt patch copy of 0 bytes at old position -1"},
    {"CopyPastNewSize", [](PatchBuilder *p) { p->newSize = 1; }, "Corrupt patch copy of 2 bytes at old position 0"},
    {"DiffStreamShort", [](PatchBuilder *p) { p->diff.pop_back(); }, "Corrupt patch copy of 1 bytes at old position 7"},
    {"RunsPastPatchEnd",
     [](PatchBuilder *p) {
         if (p->method == 0)
             p->lengthOverride[2] = 3;
         else
             p->method = 0, p->lengthOverride[2] = 3; // lengths exist only in the raw layout
     },
     "Corrupt patch lengths: 12 bytes of runs but 11 left"},
    {"HugeRunLengths",
     [](PatchBuilder *p) {
         p->method = 0;
         p->lengthOverride[0] = 0xFFFFFFFFu;
         p->lengthOverride[1] = 0xFFFFFFFFu;
         p->lengthOverride[2] = 0xFFFFFFFFu;
     },
     "Corrupt patch lengths: 12884901885 bytes of runs but 11 left"},
};

INSTANTIATE_TEST_SUITE_P(BadInput, ApplyDiffRejects, ::testing::ValuesIn(kBrokenPatches),
                         [](const ::testing::TestParamInfo<BrokenPatch> &info) { return info.param.name; });

TEST(ApplyDiff, CorruptCompressedBlockFailsWithTheBlockReadersMessage)
{
    for (int method : {1, 2}) {
        PatchBuilder p = validPatch();
        p.method = method;
        Bytes patch = p.build();
        patch.resize(patch.size() - 4); // cut into the last block's stream
        CaptureLog log;
        EXPECT_FALSE(apply(kOld, patch, false).ok);
        EXPECT_NE(log.joined().find("Error uncompressing data "), std::string::npos) << log.joined();
    }
}

// ---- Generate ----

TEST(GenerateDiff, RefusesInputsOf2GiBWithoutTouchingThem)
{
    const size_t huge = size_t(1) << 31;
    // Address space only: the size check must come before any byte is read.
    void *region = ::mmap(nullptr, huge, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(region, MAP_FAILED);
    const uint8_t *bytes = static_cast<const uint8_t *>(region);
    const Bytes small = {1, 2, 3};
    struct Case {
        ReadStream old, neu;
        const char *message;
    } cases[] = {
        {ReadStream(bytes, huge), ReadStream(small.data(), small.size()), " old stream too large"},
        {ReadStream(small.data(), small.size()), ReadStream(bytes, huge), " new stream too large"},
        {ReadStream(small.data(), small.size()), ReadStream(bytes, huge - 1), nullptr},
    };
    for (Case &c : cases) {
        if (!c.message)
            continue; // 2^31 - 1 is allowed, but generating it is a benchmark's job
        CaptureLog log;
        WriteStream patch;
        EXPECT_FALSE(mvpatch::GenerateDiff(&c.old, &c.neu, &patch, false, 0));
        EXPECT_TRUE(log.contains(c.message)) << log.joined();
        EXPECT_EQ(patch.Length(), 0u);
    }
    ::munmap(region, huge);
}

TEST(GenerateDiff, RejectsUnknownMethod)
{
    CaptureLog log;
    ReadStream old(kOld.data(), kOld.size()), neu(kExpected.data(), kExpected.size());
    WriteStream patch;
    EXPECT_FALSE(mvpatch::GenerateDiff(&old, &neu, &patch, false, 3));
    EXPECT_TRUE(log.contains("Invalid compression method"));
}

TEST(GenerateDiff, WritesTheDocumentedLayout)
{
    const Bytes old = compressibleBytes(5000, 3);
    Bytes neu = old;
    neu[100] ^= 0x55;
    const Bytes patch = generate(old, neu, true, 0);
    ASSERT_GT(patch.size(), 10u);
    EXPECT_EQ(std::string(patch.begin(), patch.begin() + 8), "MVDIFF10");
    ReadStream s(patch.data() + 8, patch.size() - 8);
    uint32_t crc, size, controlLength, diffLength, extraLength;
    uint8_t method;
    ASSERT_TRUE(s.ReadVarint32(&crc) && s.Read(&method, 1) && s.ReadVarint32(&size));
    EXPECT_EQ(crc, mvpatch::CalculateCrc(neu.data(), neu.size()));
    EXPECT_EQ(method, 0);
    EXPECT_EQ(size, neu.size());
    ASSERT_TRUE(s.ReadVarint32(&controlLength) && s.ReadVarint32(&diffLength) && s.ReadVarint32(&extraLength));
    EXPECT_EQ(uint64_t(diffLength) + extraLength, neu.size()) << "every new byte is a diff or an extra byte";
    EXPECT_EQ(s.Remaining(), uint64_t(controlLength) + diffLength + extraLength);
    EXPECT_EQ(diffLength, neu.size()) << "one changed byte keeps a single alignment";
    EXPECT_LE(controlLength, 5u) << "one triple of small numbers";
}

TEST(GenerateDiff, CompressedPayloadUsesASmallWindow)
{
    // The window bounds the encoder's memory when generating and the decoder's when applying.
    const Bytes old = randomBytes(1 << 20, 21);
    const Bytes neu = randomBytes(1 << 20, 22);
    const Bytes patch = generate(old, neu, false, 2);
    ReadStream s(patch.data(), patch.size());
    uint8_t method, properties;
    uint32_t size;
    ASSERT_TRUE(s.Read(&method, 1) && s.ReadVarint32(&size) && s.Read(&properties, 1));
    const uint64_t window = uint64_t(2 | (properties & 1)) << (properties / 2 + 11);
    EXPECT_EQ(window, 256u << 10);
}

// Edits applied to a base to give old and new inputs of realistic shapes.
struct Edit {
    const char *name;
    std::function<void(Bytes *old, Bytes *neu)> make;
};

Bytes slice(const Bytes &b, size_t from, size_t to)
{
    return Bytes(b.begin() + long(from), b.begin() + long(to));
}

// Program-like bytes: repeated instruction shapes with varying operands, so that exact matches
// are short and alignments must be followed through changes.
Bytes programLike(size_t length, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < length) {
        const uint8_t shapes[][3] = {{0x48, 0x8b, 0x45}, {0xe8, 0, 0}, {0x89, 0xc7, 0x31}, {0x0f, 0x84, 0}};
        const auto &shape = shapes[rng() % 4];
        out.insert(out.end(), shape, shape + 3);
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(rng() % 16));
    }
    out.resize(length);
    return out;
}

const Edit kEdits[] = {
    {"RandomUnrelated",
     [](Bytes *o, Bytes *n) {
         *o = randomBytes(20000, 1);
         *n = randomBytes(15000, 2);
     }},
    {"Identical",
     [](Bytes *o, Bytes *n) {
         *o = compressibleBytes(30000, 4);
         *n = *o;
     }},
    {"EmptyOld",
     [](Bytes *o, Bytes *n) {
         o->clear();
         *n = compressibleBytes(3000, 5);
     }},
    {"EmptyNew",
     [](Bytes *o, Bytes *n) {
         *o = compressibleBytes(3000, 6);
         n->clear();
     }},
    {"BothEmpty",
     [](Bytes *o, Bytes *n) {
         o->clear();
         n->clear();
     }},
    {"TinyInputs",
     [](Bytes *o, Bytes *n) {
         *o = {1};
         *n = {2, 1};
     }},
    {"Insertions",
     [](Bytes *o, Bytes *n) {
         *o = programLike(60000, 7);
         *n = *o;
         const Bytes fresh = randomBytes(700, 8);
         for (size_t at : {50000, 31000, 17, 0})
             n->insert(n->begin() + long(at), fresh.begin(), fresh.begin() + long(at % 600 + 50));
     }},
    {"Deletions",
     [](Bytes *o, Bytes *n) {
         *o = programLike(60000, 9);
         *n = *o;
         for (size_t at : {55000, 30000, 2000, 0})
             n->erase(n->begin() + long(at), n->begin() + long(at + 333));
     }},
    {"MovedBlocks",
     [](Bytes *o, Bytes *n) {
         *o = programLike(80000, 10);
         const Bytes &b = *o;
         *n = slice(b, 60000, 80000);
         const Bytes mid = slice(b, 20000, 60000), head = slice(b, 0, 20000);
         n->insert(n->end(), head.begin(), head.end());
         n->insert(n->end(), mid.begin(), mid.end());
         n->insert(n->end(), head.begin(), head.begin() + 5000); // and a block copied twice
     }},
    {"BytewiseChanges",
     [](Bytes *o, Bytes *n) {
         *o = programLike(70000, 11);
         *n = *o;
         std::mt19937 rng(12);
         for (int i = 0; i < 900; ++i)
             (*n)[rng() % n->size()] += uint8_t(1 + rng() % 3);
     }},
    {"ShiftedPointers",
     [](Bytes *o, Bytes *n) {
         *o = programLike(70000, 13);
         *n = *o;
         n->insert(n->begin() + 35000, 64, 0x90);
         for (size_t i = 1; i + 1 < n->size(); i += 7)
             if ((*n)[i - 1] == 0xe8)
                 (*n)[i] += 64; // relative calls across the insertion change
     }},
    {"LongRuns",
     [](Bytes *o, Bytes *n) {
         *o = Bytes(50000, 0);
         *n = Bytes(70000, 0);
         (*n)[40000] = 1;
     }},
    {"PeriodicText",
     [](Bytes *o, Bytes *n) {
         for (int i = 0; i < 4000; ++i)
             o->insert(o->end(), {'a', 'b', 'c', 'a', 'b'});
         *n = *o;
         n->insert(n->begin() + 9999, {'c', 'c'});
     }},
};

struct RoundTrip {
    Edit edit;
    int method;
    bool header;
};

class GenerateDiffRoundTrip : public ::testing::TestWithParam<RoundTrip>
{
};

TEST_P(GenerateDiffRoundTrip, AppliesBackToTheNewInputDeterministically)
{
    Bytes old, neu;
    GetParam().edit.make(&old, &neu);
    const Bytes patch = generate(old, neu, GetParam().header, GetParam().method);
    CaptureLog log;
    const ApplyResult r = apply(old, patch, GetParam().header);
    ASSERT_TRUE(r.ok) << log.joined();
    EXPECT_TRUE(r.output == neu);
    EXPECT_EQ(r.consumed, patch.size());
    EXPECT_EQ(generate(old, neu, GetParam().header, GetParam().method), patch) << "generation is deterministic";
}

std::vector<RoundTrip> roundTrips()
{
    std::vector<RoundTrip> all;
    for (const Edit &edit : kEdits)
        for (int method = 0; method <= 2; ++method)
            for (bool header : {false, true})
                all.push_back({edit, method, header});
    return all;
}

INSTANTIATE_TEST_SUITE_P(Edits, GenerateDiffRoundTrip, ::testing::ValuesIn(roundTrips()),
                         [](const ::testing::TestParamInfo<RoundTrip> &info) {
                             return std::string(info.param.edit.name) + "_Method" + std::to_string(info.param.method) +
                                    (info.param.header ? "_Header" : "");
                         });

TEST(GenerateDiff, RandomEditsRoundTrip)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 60; ++round) {
        Bytes old = round % 2 ? programLike(rng() % 20000, rng()) : randomBytes(rng() % 20000, rng());
        Bytes neu = old;
        const int edits = int(rng() % 20);
        for (int e = 0; e < edits && !neu.empty(); ++e) {
            const size_t at = rng() % neu.size();
            const size_t length = std::min<size_t>(rng() % 500, neu.size() - at);
            switch (rng() % 4) {
            case 0: neu.erase(neu.begin() + long(at), neu.begin() + long(at + length)); break;
            case 1: {
                const Bytes fresh = randomBytes(length, rng());
                neu.insert(neu.begin() + long(at), fresh.begin(), fresh.end());
                break;
            }
            case 2: {
                const size_t from = rng() % old.size();
                const size_t n = std::min(length, old.size() - from);
                neu.insert(neu.begin() + long(at), old.begin() + long(from), old.begin() + long(from + n));
                break;
            }
            default: neu[at] = uint8_t(rng());
            }
        }
        const int method = int(rng() % 3);
        const bool header = rng() % 2;
        const Bytes patch = generate(old, neu, header, method);
        const ApplyResult r = apply(old, patch, header);
        ASSERT_TRUE(r.ok) << "round " << round;
        ASSERT_TRUE(r.output == neu) << "round " << round;
    }
}

TEST(GenerateDiff, SmallEditsGiveSmallPatches)
{
    Bytes old, neu;
    kEdits[6].make(&old, &neu); // insertions
    const Bytes patch = generate(old, neu, false, 2);
    // The inserted bytes are random (about 1.3 KB); the rest should cost little.
    EXPECT_LT(patch.size(), 2000u);
    kEdits[1].make(&old, &neu); // identical
    EXPECT_LT(generate(old, neu, true, 2).size(), 120u);
}

} // namespace
