// Micro-benchmarks of the engine checksum, varints and LZMA2 blocks.
#include "crc.h"
#include "lzmaio.h"
#include "streams.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> randomBytes(size_t length)
{
    std::mt19937 rng(7);
    std::vector<uint8_t> out(length);
    for (uint8_t &b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

void BM_CalculateCrc(benchmark::State &state)
{
    const std::vector<uint8_t> data = randomBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(mvpatch::CalculateCrc(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CalculateCrc)->Arg(64 << 10)->Arg(16 << 20);

void BM_VarintRoundTrip(benchmark::State &state)
{
    std::mt19937 rng(3);
    std::vector<uint32_t> values(1 << 16);
    for (uint32_t &v : values)
        v = rng() >> (rng() % 32);
    for (auto _ : state) {
        mvpatch::WriteStream out;
        for (uint32_t v : values)
            benchmark::DoNotOptimize(out.WriteVarint32(v));
        mvpatch::ReadStream in(out);
        uint32_t v;
        while (in.ReadVarint32(&v))
            benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_VarintRoundTrip);

void BM_ReadLzma2(benchmark::State &state)
{
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    std::mt19937 rng(5);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>((i % 97) < 60 ? i % 13 : rng());
    mvpatch::WriteStream packed;
    if (!mvpatch::WriteLzma2(data.data(), data.size(), &packed))
        state.SkipWithError("compression failed");
    for (auto _ : state) {
        mvpatch::ReadStream in(packed);
        mvpatch::WriteStream out;
        benchmark::DoNotOptimize(mvpatch::ReadLzma2(&in, &out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReadLzma2)->Arg(4 << 20);

} // namespace
