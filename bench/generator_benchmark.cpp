// Bytes per second of generator data and of random data into a buffer that stays in the
// processor's cache.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/run/lcg.h"
#include "core/run/random.h"

static void generator_fill(benchmark::State& state) {
    const auto chunks = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> buffer(chunks * kChunkBytes);
    uint32_t x = 12345;
    for (auto _ : state) {
        lcg_fill(x, buffer.data(), chunks);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(generator_fill)->Arg(1)->Arg(64)->Arg(256);

static void generator_reference(benchmark::State& state) {
    std::vector<uint8_t> buffer(64 * kChunkBytes);
    uint32_t x = 12345;
    for (auto _ : state) {
        lcg_fill_reference(x, buffer.data(), 64);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(generator_reference);

static void random_fill(benchmark::State& state) {
    const auto chunks = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> buffer(chunks * kChunkBytes);
    RandomLanes lanes = random_lanes(12345, 1, 0);
    for (auto _ : state) {
        random_fill(lanes, buffer.data(), chunks);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(random_fill)->Arg(1)->Arg(64)->Arg(256);

static void random_fill_paths(benchmark::State& state) {
    const auto path = random_fill_paths().at(static_cast<size_t>(state.range(0)));
    state.SetLabel(path.name);
    std::vector<uint8_t> buffer(64 * kChunkBytes);
    RandomLanes lanes = random_lanes(12345, 1, 0);
    for (auto _ : state) {
        path.run(lanes, buffer.data(), 64);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}
BENCHMARK(random_fill_paths)->DenseRange(0, static_cast<int64_t>(random_fill_paths().size()) - 1);

BENCHMARK_MAIN();
