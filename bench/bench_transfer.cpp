// Transfer-function table builds against writing the table's bytes once.
//
// The 4096-entry pre-integration build of all four channels should stay
// within three times BM_Memset/4096 (the same 64 MB set once).
#include "render_mode.h"
#include "transfer_function.h"
#include "transfer_preint.h"
#include "volume.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void setUp(TransferFunction& tf)
{
    // A table with bends in every channel, so no channel is trivial.
    const float last = static_cast<float>(tf.getTableSize() - 1);
    for (int c = 0; c < 4; ++c) {
        const CurvePoint pts[4] = {{0, 10.0f * c, 0}, {last * 0.3f, 250, 0}, {last * 0.6f, 20, 0},
                                   {last, 200, 0}};
        tf.curve(c).setControlPoints(pts, 4, "bench points");
    }
    tf.refreshCurves();
}

void BM_PreintBuild(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const PreintKernel kernel = static_cast<PreintKernel>(state.range(1));
    setPreintKernel(kernel);
    if (kernel != PreintKernel::Auto && activePreintKernel() != kernel) {
        state.SkipWithError("kernel not available");
        return;
    }
    TransferFunction tf(n, TransferFunction::NoGL{});
    setUp(tf);
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    for (auto _ : state) {
        tf.build(true);
        benchmark::DoNotOptimize(tf.getPreintTable());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n) * n * 4);
    setPreintKernel(PreintKernel::Auto);
}

void BM_PreintBuildAlpha(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TransferFunction tf(n, TransferFunction::NoGL{});
    setUp(tf);
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    for (auto _ : state) {
        tf.build(false); // only the alpha channel, as while dragging
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(n) * n * 4);
}

void BM_Memset(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const size_t bytes = static_cast<size_t>(n) * n * 4;
    std::vector<unsigned char> table(bytes, 1); // touched once before timing
    int value = 0;
    for (auto _ : state) {
        std::memset(table.data(), ++value & 0xFF, bytes);
        benchmark::DoNotOptimize(table.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_PaletteBuild(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TransferFunction tf(n, TransferFunction::NoGL{});
    setUp(tf);
    RenderMode::instance().setClassification(CLASSIFICATION_POST);
    for (auto _ : state) {
        tf.refreshCurves();
        tf.build(true);
        benchmark::ClobberMemory();
    }
}

const int64_t kAuto = static_cast<int64_t>(PreintKernel::Auto);
const int64_t kScalar = static_cast<int64_t>(PreintKernel::Scalar);
const int64_t kAvx2 = static_cast<int64_t>(PreintKernel::Avx2);
const int64_t kAvx512 = static_cast<int64_t>(PreintKernel::Avx512);

} // namespace

BENCHMARK(BM_Memset)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreintBuild)
    ->ArgNames({"n", "kernel"})
    ->Args({256, kAuto})
    ->Args({4096, kAuto})
    ->Args({4096, kAvx512})
    ->Args({4096, kAvx2})
    ->Args({4096, kScalar})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreintBuildAlpha)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaletteBuild)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
