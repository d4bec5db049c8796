// Benchmarks of the difference patch: suffix sorting, generation per method, and apply.
//
// By default the inputs are synthetic program-like bytes with scattered edits. Set
// MV3_DIFF_OLD and MV3_DIFF_NEW to two files to measure a real pair instead.
#include "diff.h"
#include "files.h"
#include "sais.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Code-like bytes: a vocabulary of short random "instructions" strung together with varying
// operand bytes, so matches are short and alignments must be followed through changes.
Bytes programLike(size_t length, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<Bytes> vocabulary(64);
    for (Bytes &word : vocabulary) {
        word.resize(2 + rng() % 5);
        for (uint8_t &b : word)
            b = uint8_t(rng());
    }
    Bytes out;
    out.reserve(length + 16);
    while (out.size() < length) {
        const Bytes &word = vocabulary[rng() % vocabulary.size()];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(uint8_t(rng() % 8));
    }
    out.resize(length);
    return out;
}

// The new side: insertions, deletions, a moved block and byte changes spread over the old one.
Bytes edited(const Bytes &old, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes neu = old;
    for (int i = 0; i < 200; ++i) {
        const size_t at = rng() % neu.size();
        switch (rng() % 3) {
        case 0: neu.insert(neu.begin() + long(at), size_t(rng() % 64), uint8_t(rng())); break;
        case 1: neu.erase(neu.begin() + long(at), neu.begin() + long(std::min(neu.size(), at + rng() % 64))); break;
        default: neu[at] ^= uint8_t(1 + rng() % 255);
        }
    }
    const size_t block = neu.size() / 10;
    Bytes moved(neu.begin(), neu.begin() + long(block));
    neu.erase(neu.begin(), neu.begin() + long(block));
    neu.insert(neu.end(), moved.begin(), moved.end());
    return neu;
}

struct Pair {
    Bytes old, neu;
};

const Pair &pair()
{
    static const Pair p = [] {
        Pair made;
        const char *oldPath = std::getenv("MV3_DIFF_OLD");
        const char *newPath = std::getenv("MV3_DIFF_NEW");
        if (oldPath && newPath) {
            mvpatch::MappedInputFile o(oldPath), n(newPath);
            if (o.IsMapped())
                made.old.assign(o.data(), o.data() + o.length());
            if (n.IsMapped())
                made.neu.assign(n.data(), n.data() + n.length());
        } else {
            made.old = programLike(4 << 20, 1);
            made.neu = edited(made.old, 2);
        }
        return made;
    }();
    return p;
}

Bytes generate(const Pair &p, int method)
{
    mvpatch::ReadStream o(p.old.data(), p.old.size()), n(p.neu.data(), p.neu.size());
    mvpatch::WriteStream patch;
    if (!mvpatch::GenerateDiff(&o, &n, &patch, true, method))
        return {};
    return Bytes(patch.Buffer(), patch.Buffer() + patch.Length());
}

void BM_SuffixArray(benchmark::State &state)
{
    const Bytes &text = pair().old;
    std::unique_ptr<int32_t[]> sa(new int32_t[text.size()]);
    for (auto _ : state) {
        if (!mvpatch::BuildSuffixArray(text.data(), int32_t(text.size()), sa.get()))
            state.SkipWithError("allocation failed");
        benchmark::DoNotOptimize(sa.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SuffixArray)->Unit(benchmark::kMillisecond);

void BM_GenerateDiff(benchmark::State &state)
{
    const Pair &p = pair();
    size_t size = 0;
    for (auto _ : state)
        size = generate(p, int(state.range(0))).size();
    state.counters["patch_bytes"] = double(size);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.neu.size()));
}
BENCHMARK(BM_GenerateDiff)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ApplyDiff(benchmark::State &state)
{
    const Pair &p = pair();
    const Bytes patch = generate(p, int(state.range(0)));
    for (auto _ : state) {
        mvpatch::ReadStream o(p.old.data(), p.old.size()), in(patch.data(), patch.size());
        mvpatch::WriteStream out;
        if (!mvpatch::ApplyDiff(&o, &in, &out, true) || out.Length() != p.neu.size())
            state.SkipWithError("apply failed");
        benchmark::DoNotOptimize(out.Buffer());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.neu.size()));
}
BENCHMARK(BM_ApplyDiff)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
