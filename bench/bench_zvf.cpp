// zvf grid reading and writing against zlib's own uncompress of the same
// records (the floor a reader cannot beat). Two volumes: 256^3 8-bit and
// 512 x 512 x 256 16-bit, CT-like (smooth structures plus noise).
//
// BM_ReadVsUncompress times zvfReadGrid and a plain uncompress loop over the
// file's records (already in memory, destination already allocated) in the
// same iteration and reports their ratio; the issue asks for at most 1.3.
#include "zvf.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Volume
{
    int nx, ny, nz, dtype;
    std::vector<unsigned char> data;
    std::string path;
    std::vector<std::pair<size_t, size_t>> records; // offset and length of each record's zlib data
    std::string bytes;                              // the whole file
};

std::vector<std::string>& madeFiles()
{
    static std::vector<std::string> files;
    return files;
}

uint32_t hash(uint32_t i)
{
    i ^= i >> 16;
    i *= 0x7feb352du;
    i ^= i >> 15;
    i *= 0x846ca68bu;
    i ^= i >> 16;
    return i;
}

Volume makeVolume(int nx, int ny, int nz, int dtype)
{
    Volume v{nx, ny, nz, dtype, {}, {}, {}, {}};
    const int size = zvfVoxelSize(dtype);
    v.data.resize(size_t(nx) * ny * nz * size);
    const float maxValue = dtype == zvfUChar ? 255.0f : 4095.0f;
    size_t i = 0;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x, ++i) {
                float X = (x - nx / 2.0f) / (nx / 2.0f), Y = (y - ny / 2.0f) / (ny / 2.0f),
                      Z = (z - nz / 2.0f) / (nz / 2.0f);
                float r = std::sqrt(X * X + Y * Y + Z * Z);
                float value = r > 0.9f ? 0.02f : r > 0.8f ? 0.8f : 0.3f + 0.1f * std::sin(6 * X) * std::cos(5 * Y);
                value += 0.01f * static_cast<float>(hash(static_cast<uint32_t>(i)) & 0xff) / 255.0f;
                float q = value * maxValue;
                if (size == 1) {
                    v.data[i] = static_cast<unsigned char>(q);
                } else {
                    uint16_t s = static_cast<uint16_t>(q);
                    std::memcpy(&v.data[i * 2], &s, 2);
                }
            }
    char name[] = "/tmp/bench_zvf_XXXXXX";
    int fd = mkstemp(name);
    close(fd);
    v.path = name;
    madeFiles().push_back(v.path);
    zvfHeader h = zvfCubicHeader(nx, ny, nz, dtype, 1);
    if (!zvfWriteGrid(v.path.c_str(), v.data.data(), &h))
        std::abort();
    FILE* f = std::fopen(v.path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    v.bytes.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(&v.bytes[0], 1, v.bytes.size(), f) != v.bytes.size())
        std::abort();
    std::fclose(f);
    size_t pos = v.bytes.find("#!last\n255\n") + 11 + size_t(nx) * ny;
    for (int r = 0; r < nz; ++r) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(&v.bytes[pos]);
        size_t L = (size_t(p[0]) << 24) | (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | p[3];
        v.records.emplace_back(pos + 4, L);
        pos += 4 + L;
    }
    return v;
}

Volume& volume8()
{
    static Volume v = makeVolume(256, 256, 256, zvfUChar);
    return v;
}

Volume& volume16()
{
    static Volume v = makeVolume(512, 512, 256, zvfUInt16);
    return v;
}

Volume& pick(int which) { return which == 8 ? volume8() : volume16(); }

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

void readOnce(const Volume& v)
{
    void* data = nullptr;
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    if (!zvfReadGrid(v.path.c_str(), &data, &h))
        std::abort();
    benchmark::DoNotOptimize(data);
    std::free(data);
    zvfFreeHeader(&h);
}

void uncompressOnce(const Volume& v, std::vector<unsigned char>& out)
{
    const size_t slice = size_t(v.nx) * v.ny * zvfVoxelSize(v.dtype);
    for (size_t r = 0; r < v.records.size(); ++r) {
        uLongf len = slice;
        if (uncompress(out.data() + r * slice, &len,
                       reinterpret_cast<const Bytef*>(v.bytes.data() + v.records[r].first),
                       v.records[r].second) != Z_OK)
            std::abort();
    }
    benchmark::DoNotOptimize(out.data());
}

void BM_ReadGrid(benchmark::State& state)
{
    Volume& v = pick(static_cast<int>(state.range(0)));
    for (auto _ : state)
        readOnce(v);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.data.size()));
}

void BM_Uncompress(benchmark::State& state)
{
    Volume& v = pick(static_cast<int>(state.range(0)));
    std::vector<unsigned char> out(v.data.size(), 1);
    for (auto _ : state)
        uncompressOnce(v, out);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.data.size()));
}

void BM_ReadVsUncompress(benchmark::State& state)
{
    Volume& v = pick(static_cast<int>(state.range(0)));
    std::vector<unsigned char> out(v.data.size(), 1);
    double readTime = 0, baseTime = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        readOnce(v);
        auto t1 = std::chrono::steady_clock::now();
        uncompressOnce(v, out);
        auto t2 = std::chrono::steady_clock::now();
        readTime += seconds(t0, t1);
        baseTime += seconds(t1, t2);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["read_ms"] = 1000 * readTime / n;
    state.counters["uncompress_ms"] = 1000 * baseTime / n;
    state.counters["ratio"] = readTime / baseTime;
}

void BM_WriteGrid(benchmark::State& state)
{
    Volume& v = pick(static_cast<int>(state.range(0)));
    std::string out = v.path + ".out";
    zvfHeader h = zvfCubicHeader(v.nx, v.ny, v.nz, v.dtype, 1);
    for (auto _ : state)
        if (!zvfWriteGrid(out.c_str(), v.data.data(), &h))
            std::abort();
    std::remove(out.c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(v.data.size()));
    state.counters["file_MB"] = static_cast<double>(v.bytes.size()) / 1e6;
}

BENCHMARK(BM_ReadGrid)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Uncompress)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadVsUncompress)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteGrid)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // remove the temporary files (only those the run made)
    for (const std::string& f : madeFiles())
        std::remove(f.c_str());
    return 0;
}
