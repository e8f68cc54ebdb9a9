// Stages of a data load for a 256^3 8-bit and a 512 x 512 x 256 16-bit (12-bit
// valued) zvf file: bare inflate of the slice records, the zvf reader,
// conversion, histogram, and the whole pipeline. Each iteration measures all
// stages on the same file, so the ratio (read + convert + histogram) / inflate
// compares numbers of one run. Every figure is the best of the iterations.
#include "error_handling.h"
#include "histogram.h"
#include "load.h"
#include "load_convert.h"
#include "volume.h"
#include "volume_file.h"
#include "voxel_buffer.h"

#include <zvf.h>
#include <zlib.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Wall and processor time of one stage: on a shared machine the processor
// time of this thread is the steadier figure.
struct Stopwatch
{
    Clock::time_point wall;
    double cpu;
    void start()
    {
        wall = Clock::now();
        cpu = cpuMs();
    }
    static double cpuMs()
    {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
    }
    double wallMs() const { return std::chrono::duration<double, std::milli>(Clock::now() - wall).count(); }
    double cpuMsSince() const { return cpuMs() - cpu; }
};

// Best (smallest) time of each stage over the iterations: other processes
// on a shared machine only ever add time.
struct Totals
{
    double wall = 1e300, cpu = 1e300;
    void add(const Stopwatch& w)
    {
        wall = std::min(wall, w.wallMs());
        cpu = std::min(cpu, w.cpuMsSince());
    }
};

// A CT-like volume: a few overlapping ellipsoids of different densities over
// a background, with a little noise so that it compresses like scanned data.
std::string makeFile(int nx, int ny, int nz, int dtype)
{
    const std::string path = "/tmp/glimra-bench-" + std::to_string(nx) + "x" + std::to_string(ny) +
                             "x" + std::to_string(nz) + "-" + std::to_string(dtype) + ".zvf";
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        return path;
    }
    const bool wide = dtype == zvfUInt16;
    const double top = wide ? 4095.0 : 255.0;
    std::vector<unsigned char> bytes(size_t(nx) * ny * nz * (wide ? 2 : 1));
    uint32_t seed = 12345;
    size_t i = 0;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x, ++i) {
                const double u = (x + 0.5) / nx - 0.5, v = (y + 0.5) / ny - 0.5, w = (z + 0.5) / nz - 0.5;
                double d = 0.0;
                const double r = u * u / 0.16 + v * v / 0.2 + w * w / 0.18;
                if (r < 1.0)
                    d = 0.3 + 0.1 * std::sin(20 * u) * std::cos(15 * v);
                if (r > 0.85 && r < 1.0)
                    d = 0.9;
                if ((u - 0.1) * (u - 0.1) + v * v + w * w < 0.01)
                    d = 0.6;
                seed = seed * 1664525u + 1013904223u;
                const double noise = (r < 1.0) ? ((seed >> 24) / 255.0 - 0.5) * 0.02 : 0.0;
                double val = (d + noise) * top;
                val = val < 0 ? 0 : (val > top ? top : val);
                if (wide) {
                    const uint16_t s = static_cast<uint16_t>(val);
                    std::memcpy(&bytes[2 * i], &s, 2);
                } else {
                    bytes[i] = static_cast<unsigned char>(val);
                }
            }
    if (!zvfWriteCubGrid(path.c_str(), bytes.data(), nx, ny, nz, 1, dtype, nullptr, 0))
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return path;
}

// The compressed records of a file in memory, and the size of each slice.
struct Records
{
    std::vector<std::vector<unsigned char>> records;
    unsigned long sliceBytes = 0;
};

Records loadRecords(const std::string& path)
{
    Records r;
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    FILE* f = zvfReadHeader(path.c_str(), &h);
    if (!f)
        return r;
    r.sliceBytes = static_cast<unsigned long>(h.vdim[0]) * h.vdim[1] * zvfVoxelSize(h.dtype);
    for (int s = 0; s < h.vdim[2] * h.nbands; ++s) {
        unsigned long length = 0;
        if (!ReadLong(f, &length))
            break;
        std::vector<unsigned char> rec(length);
        if (std::fread(rec.data(), 1, length, f) != length)
            break;
        r.records.push_back(std::move(rec));
    }
    std::fclose(f);
    zvfFreeHeader(&h);
    return r;
}

void BM_LoadStages(benchmark::State& state, int nx, int ny, int nz, int dtype)
{
    const std::string path = makeFile(nx, ny, nz, dtype);
    const Records recs = loadRecords(path);
    std::vector<unsigned char> inflated(recs.sliceBytes * recs.records.size());
    Totals inflateT, readT, convertT, histT, loadT;
    for (auto _ : state) {
        const Clock::time_point begin = Clock::now();
        Stopwatch w;
        w.start();
        for (size_t s = 0; s < recs.records.size(); ++s) {
            uLongf out = recs.sliceBytes;
            uncompress(&inflated[s * recs.sliceBytes], &out, recs.records[s].data(),
                       static_cast<uLong>(recs.records[s].size()));
        }
        inflateT.add(w);
        benchmark::DoNotOptimize(inflated.data());

        Volume v;
        std::string info;
        void* data = nullptr;
        GLenum type = 0;
        w.start();
        VolumeFile file;
        std::string why;
        readVolume(path, &file, &why);
        handOverVolumeFile(file, v, info);
        data = file.data;
        type = file.type;
        file.data = nullptr;
        readT.add(w);
        int maxValue = 0;
        w.start();
        convertAndScale(data, &type, v.resolution, v.nbrChannels, info, false, &maxValue);
        convertT.add(w);
        w.start();
        histogram.compute(data, v.resolution[0], v.resolution[1], v.resolution[2], v.nbrChannels, type);
        histT.add(w);
        RELEASE_VOXELS(data);
        histogram.release();

        w.start();
        loadData(path, v, info);
        loadT.add(w);
        histogram.release();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    }
    state.counters["inflate_ms"] = inflateT.wall;
    state.counters["read_ms"] = readT.wall;
    state.counters["convert_ms"] = convertT.wall;
    state.counters["histogram_ms"] = histT.wall;
    state.counters["loadData_ms"] = loadT.wall;
    state.counters["ratio"] = (readT.wall + convertT.wall + histT.wall) / inflateT.wall;
    state.counters["cpu_inflate_ms"] = inflateT.cpu;
    state.counters["cpu_read_ms"] = readT.cpu;
    state.counters["cpu_convert_ms"] = convertT.cpu;
    state.counters["cpu_histogram_ms"] = histT.cpu;
    state.counters["cpu_ratio"] = (readT.cpu + convertT.cpu + histT.cpu) / inflateT.cpu;
}

BENCHMARK_CAPTURE(BM_LoadStages, u8_256cubed, 256, 256, 256, zvfUChar)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK_CAPTURE(BM_LoadStages, u16_512x512x256, 512, 512, 256, zvfUInt16)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

} // namespace

BENCHMARK_MAIN();
