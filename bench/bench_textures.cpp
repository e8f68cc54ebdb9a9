// Stages of texture generation for a 256^3 8-bit volume on an offscreen
// context: padding (255^3 to 256^3), the 3-D upload, the gradient and
// magnitude passes and their uploads, and each 2-D stack (slices copied and
// uploaded), next to a memcpy of the same output bytes measured in the same
// iteration. Every figure is the best of the iterations (other processes on
// a shared machine only ever add time); the ratios compare figures of one run.
#include "error_handling.h"
#include "gen_texture.h"
#include "bench_support.h"
#include "gl_context.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const int kN = 256;

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Time of each progress report of the running generation.
std::vector<std::pair<int, Clock::time_point>> g_marks;
bool mark(int percent, const char*)
{
    g_marks.emplace_back(percent, Clock::now());
    return true;
}

void fill(unsigned char* p, int nx, int ny, int nz)
{
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                *p++ = static_cast<unsigned char>((x * x + y * 3 + z * 5 + (x ^ y ^ z)) & 0xFF);
}

struct Best
{
    double ms = 1e300;
    void add(double t) { ms = std::min(ms, t); }
};

void BM_TextureStages(benchmark::State& state)
{
    OffscreenContext ctx(16, 16);
    if (!readyForTextures(ctx, state))
        return;
    const size_t voxels = static_cast<size_t>(kN) * kN * kN;
    std::vector<unsigned char> volumeBytes(voxels);
    fill(volumeBytes.data(), kN, kN, kN);
    // Destinations written once before timing, as the memcpy's are.
    std::vector<unsigned char> gradient(voxels * 3, 1), copy(voxels * 3, 1);
    std::vector<float> magnitude(voxels, 1.0f);
    std::vector<unsigned char> small(static_cast<size_t>(kN - 1) * (kN - 1) * (kN - 1));
    fill(small.data(), kN - 1, kN - 1, kN - 1);

    Best memcpyGradient, memcpyStack, pad, upload3D, grad, mag, gradUpload, magUpload, stack[3], whole, xCopy;
    Best grad1, mag1; // the same passes on one thread, interleaved with the others
    const size_t sliceStride = static_cast<size_t>(kN) * kN + 64;
    std::vector<unsigned char> xStack(64 * sliceStride, 1);
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_3D, tex);
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        std::memcpy(copy.data(), gradient.data(), voxels * 3);
        benchmark::ClobberMemory();
        memcpyGradient.add(msSince(t));
        t = Clock::now();
        std::memcpy(copy.data(), volumeBytes.data(), voxels);
        benchmark::ClobberMemory();
        memcpyStack.add(msSince(t));

        {
            Volume v;
            v.resolution[0] = v.resolution[1] = v.resolution[2] = kN - 1;
            void* data = nullptr;
            GUARDED_VOXELS_AS(data, "tmpdata", small.size());
            std::memcpy(data, small.data(), small.size());
            t = Clock::now();
            padToPowerOfTwo(&data, GL_UNSIGNED_BYTE, v);
            pad.add(msSince(t));
            RELEASE_VOXELS(data);
        }

        // The x stack's transposition alone, 64 slices (4 MiB) at a time.
        {
            const int res[3] = {kN, kN, kN};
            t = Clock::now();
            for (int i = 0; i < kN; i += 64) {
                copyXStack(xStack.data(), sliceStride, i, 64, 0, kN, volumeBytes.data(), kN, kN, res, res, 1,
                           GL_UNSIGNED_BYTE);
                benchmark::ClobberMemory();
            }
            xCopy.add(msSince(t));
        }

        t = Clock::now();
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY8, kN, kN, kN, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                     volumeBytes.data());
        glFinish();
        upload3D.add(msSince(t));

        // Every core, then one thread.
        for (int threads : {0, 1}) {
            gradientThreads = threads;
            t = Clock::now();
            computeGradient(gradient.data(), kN, kN, kN, 1, volumeBytes.data(), GL_UNSIGNED_BYTE, 4);
            benchmark::ClobberMemory();
            (threads ? grad1 : grad).add(msSince(t));
            t = Clock::now();
            computeMagnitude(magnitude.data(), kN, kN, kN, gradient.data(), GL_UNSIGNED_BYTE);
            benchmark::ClobberMemory();
            (threads ? mag1 : mag).add(msSince(t));
        }
        gradientThreads = 0;
        t = Clock::now();
        glTexImage3D(GL_TEXTURE_3D, 0, GL_RGB, kN, kN, kN, 0, GL_RGB, GL_UNSIGNED_BYTE, gradient.data());
        glFinish();
        gradUpload.add(msSince(t));
        t = Clock::now();
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, kN, kN, kN, 0, GL_LUMINANCE, GL_FLOAT, magnitude.data());
        glFinish();
        magUpload.add(msSince(t));

        // The stacks through the real generation; its reports bracket them.
        {
            Volume v;
            v.resolution[0] = v.resolution[1] = v.resolution[2] = kN;
            void* data = nullptr;
            GUARDED_VOXELS_AS(data, "tmpdata", voxels);
            std::memcpy(data, volumeBytes.data(), voxels);
            g_marks.clear();
            t = Clock::now();
            generateTextures(&data, GL_UNSIGNED_BYTE, v, mark, false);
            glFinish();
            whole.add(msSince(t));
            if (g_marks.size() == 4)
                for (int s = 0; s < 3; ++s)
                    stack[s].add(std::chrono::duration<double, std::milli>(g_marks[s + 1].second -
                                                                             g_marks[s].second)
                                     .count());
            v.release();
            RELEASE_VOXELS(data);
        }
    }
    glDeleteTextures(1, &tex);
    state.counters["memcpy_48MB_ms"] = memcpyGradient.ms;
    state.counters["memcpy_16MB_ms"] = memcpyStack.ms;
    state.counters["pad_255_to_256_ms"] = pad.ms;
    state.counters["upload3D_ms"] = upload3D.ms;
    state.counters["gradient_ms"] = grad.ms;
    state.counters["gradient_x_memcpy"] = grad.ms / memcpyGradient.ms;
    state.counters["magnitude_ms"] = mag.ms;
    state.counters["gradient_1_thread_ms"] = grad1.ms;
    state.counters["magnitude_1_thread_ms"] = mag1.ms;
    state.counters["gradient_upload_ms"] = gradUpload.ms;
    state.counters["magnitude_upload_ms"] = magUpload.ms;
    const char* names[3] = {"x_stack", "y_stack", "z_stack"};
    for (int s = 0; s < 3; ++s) {
        state.counters[std::string(names[s]) + "_ms"] = stack[s].ms;
        state.counters[std::string(names[s]) + "_x_memcpy"] = stack[s].ms / memcpyStack.ms;
    }
    state.counters["x_stack_copy_only_ms"] = xCopy.ms;
    state.counters["generate_no_gradient_ms"] = whole.ms;
}

// The first shaded style after a load: the gradient and magnitude textures
// built from the kept voxels (what buildDeferredTextures does then), next to
// a memcpy of the volume and the driver's allocation of the two textures
// (which the switch cannot avoid). GLIMRA_BENCH_SWITCH_N sets the edge (256 unless
// set; 512 is the size users open).
void BM_ShadedSwitch(benchmark::State& state)
{
    OffscreenContext ctx(16, 16);
    if (!readyForTextures(ctx, state))
        return;
    const char* edge = std::getenv("GLIMRA_BENCH_SWITCH_N");
    const int n = edge ? std::max(8, std::atoi(edge)) : kN;
    const size_t voxels = static_cast<size_t>(n) * n * n;
    std::vector<unsigned char> volumeBytes(voxels), copy(voxels, 1);
    fill(volumeBytes.data(), n, n, n);
    Best memcpyVolume, gradientOnly, build, allocation;
    std::vector<unsigned char> gradient(voxels * 3, 1);
    for (auto _ : state) {
        Clock::time_point t = Clock::now();
        std::memcpy(copy.data(), volumeBytes.data(), voxels);
        benchmark::ClobberMemory();
        memcpyVolume.add(msSince(t));
        t = Clock::now();
        computeGradient(gradient.data(), n, n, n, 1, volumeBytes.data(), GL_UNSIGNED_BYTE, 4);
        benchmark::ClobberMemory();
        gradientOnly.add(msSince(t));
        // What the driver takes to allocate the two textures alone.
        {
            GLuint names[2] = {0, 0};
            glGenTextures(2, names);
            t = Clock::now();
            glBindTexture(GL_TEXTURE_3D, names[0]);
            glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, n, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_3D, names[1]);
            glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, n, n, n, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, nullptr);
            glFinish();
            allocation.add(msSince(t));
            glDeleteTextures(2, names);
        }

        Volume v;
        v.resolution[0] = v.resolution[1] = v.resolution[2] = n;
        void* data = nullptr;
        GUARDED_VOXELS_AS(data, "tmpdata", voxels);
        std::memcpy(data, volumeBytes.data(), voxels);
        TexturePlan plan;
        plan.stacks = false;
        plan.laterGradients = true;
        generateTextures(&data, GL_UNSIGNED_BYTE, v, nullptr, plan);
        glFinish();
        t = Clock::now();
        buildDeferredTextures(v, false, true, nullptr);
        glFinish();
        build.add(msSince(t));
        v.release();
        if (data)
            RELEASE_VOXELS(data);
    }
    state.counters["edge"] = n;
    state.counters["memcpy_volume_ms"] = memcpyVolume.ms;
    state.counters["gradient_pass_ms"] = gradientOnly.ms;
    state.counters["gradient_pass_x_memcpy"] = gradientOnly.ms / memcpyVolume.ms;
    state.counters["switch_ms"] = build.ms;
    state.counters["switch_x_memcpy"] = build.ms / memcpyVolume.ms;
    state.counters["driver_allocation_ms"] = allocation.ms;
}

} // namespace

BENCHMARK(BM_TextureStages)->Iterations(12)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShadedSwitch)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
