// The allocation registry under a bricked volume: a 4096 x 256 x 256 8-bit
// volume makes 10,773 bricks (133 x 9 x 9, neighbours sharing a voxel), each
// registered when it is built and removed when the volume is released. BM_BrickedVolume builds the bricks on an
// offscreen context (copy and upload included) and releases them;
// BM_BrickRegistry replays the same registry traffic without GL (the brick
// record, every brick and the record's growing arrays), which is the
// registry's share of the first. Figures are the best of the iterations.
#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "bench_support.h"
#include "gl_context.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
const int kResolution[3] = {4096, 256, 256};
const int kBricks = bricksAlong(4096, 32) * bricksAlong(256, 32) * bricksAlong(256, 32);

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Best
{
    double ms = 1e300;
    void add(double t) { ms = std::min(ms, t); }
};

// What the brick builder and the release ask of the registry, nothing else.
double replayBrickRegistry()
{
    const Clock::time_point t = Clock::now();
    BrickInfo* info = nullptr;
    GUARDED_NEW_AS(info, "volume_in->myBrickInfo", BrickInfo, 32);
    for (int b = 0; b < kBricks; ++b) {
        Brick* aBrick = nullptr;
        GUARDED_NEW(aBrick, Brick);
        info->addBrick(aBrick);
    }
    RELEASE(info);
    return msSince(t);
}

void BM_BrickRegistry(benchmark::State& state)
{
    const uint32_t before = g_garbageCollector.count();
    Best best;
    for (auto _ : state)
        best.add(replayBrickRegistry());
    state.counters["registry_ms"] = best.ms;
    state.counters["left_over"] = static_cast<double>(g_garbageCollector.count() - before);
}
BENCHMARK(BM_BrickRegistry)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_BrickedVolume(benchmark::State& state)
{
    OffscreenContext ctx(16, 16);
    if (!readyForTextures(ctx, state))
        return;
    const size_t voxels = static_cast<size_t>(kResolution[0]) * kResolution[1] * kResolution[2];
    void* data = nullptr;
    GUARDED_VOXELS_AS(data, "tmpdata", voxels);
    if (!data) {
        state.SkipWithError("no memory for the volume");
        return;
    }
    unsigned char* p = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < voxels; ++i)
        p[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);

    Best build, release, registry;
    for (auto _ : state) {
        Volume v;
        for (int a = 0; a < 3; ++a)
            v.resolution[a] = kResolution[a];
        v.nbrChannels = 1;
        v.setBoxProportions(1, 1, 1);
        v.isBricking = true;
        Clock::time_point t = Clock::now();
        buildBricks(data, GL_UNSIGNED_BYTE, v, nullptr, nullptr);
        glFinish();
        build.add(msSince(t));
        if (!v.myBrickInfo || v.myBrickInfo->getCount() != kBricks) {
            state.SkipWithError("the bricks were not built");
            break;
        }
        t = Clock::now();
        v.release();
        glFinish();
        release.add(msSince(t));
        registry.add(replayBrickRegistry());
    }
    RELEASE_VOXELS(data);
    state.counters["build_ms"] = build.ms;
    state.counters["release_ms"] = release.ms;
    state.counters["registry_ms"] = registry.ms;
    state.counters["registry_share"] = registry.ms / (build.ms + release.ms);
}
BENCHMARK(BM_BrickedVolume)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
