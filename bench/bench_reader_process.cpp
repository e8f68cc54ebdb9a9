// A 100 MB NIfTI file (512 x 512 x 200 shorts) read as the program reads it,
// in a child process that hands the volume back through a pipe, next to the
// same read in this process. The two alternate within each iteration, so
// the ratio compares runs under the same load; the figures are the best and
// the median of the iterations. Beside them for comparison: the same read
// in this process through ITK alone (which reads the voxels into a buffer
// of its own and copies them over), and a child that reads the voxels
// itself, in parts copied out of it while it reads on (as when the parent
// cannot read the file for it).
// Run once with nothing else held and once holding 2 GB, as the window
// does with a volume on screen.
#include "error_handling.h"
#include "load_foreign.h"
#include "reader_process.h"
#include "volume_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const int kX = 512, kY = 512, kZ = 200;

// A single-file NIfTI-1 of shorts: the 348-byte header, four bytes of no
// extension, the voxels.
bool writeNifti(const std::string& path)
{
    unsigned char header[352] = {};
    auto put16 = [&](size_t at, int16_t v) { std::memcpy(header + at, &v, 2); };
    auto put32 = [&](size_t at, int32_t v) { std::memcpy(header + at, &v, 4); };
    auto putF = [&](size_t at, float v) { std::memcpy(header + at, &v, 4); };
    put32(0, 348);
    const int16_t dims[8] = {3, kX, kY, kZ, 1, 1, 1, 1};
    for (int i = 0; i < 8; ++i)
        put16(40 + 2 * i, dims[i]);
    put16(70, 4);  // DT_INT16
    put16(72, 16); // bits per voxel
    for (int i = 0; i < 8; ++i)
        putF(76 + 4 * i, 1.0f);
    putF(108, 352.0f); // voxel offset
    std::memcpy(header + 344, "n+1", 4);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    std::vector<int16_t> plane(static_cast<size_t>(kX) * kY);
    for (int z = 0; ok && z < kZ; ++z) {
        for (size_t i = 0; i < plane.size(); ++i)
            plane[i] = static_cast<int16_t>((i * 7 + static_cast<size_t>(z) * 131) % 4000);
        ok = std::fwrite(plane.data(), sizeof(int16_t), plane.size(), f) == plane.size();
    }
    return std::fclose(f) == 0 && ok;
}

double secondsOf(const std::function<bool()>& read)
{
    const Clock::time_point t = Clock::now();
    if (!read())
        return -1.0;
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// The reads of the file as the program makes them; state.range(0) megabytes
// are allocated and touched first, as the window holds a volume and its
// textures when the next file is opened (a fork copies the page tables of
// what the parent holds).
void BM_ChildAgainstInProcess(benchmark::State& state)
{
    std::vector<char> held(static_cast<size_t>(state.range(0)) << 20);
    for (size_t i = 0; i < held.size(); i += 4096)
        held[i] = 1;
    const std::string path = "/tmp/glimra-bench-" + std::to_string(getpid()) + ".nii";
    if (!writeNifti(path)) {
        state.SkipWithError("cannot write the NIfTI file");
        return;
    }
    std::vector<double> inProcess, child, standby, throughItk, inParts;
    for (auto _ : state) {
        VolumeFile v;
        std::string why;
        const auto here = [&] { return importForeignVolume(path, &v, &why); };
        const auto there = [&] {
            return readInChild(
                path, [&](VolumeFile* out, std::string* w) { return importForeignVolume(path, out, w); }, &v, &why);
        };
        const ReadRequest read = [](const std::string& p, size_t t, VolumeFile* out, std::string* w) {
            return importForeignVolume(p, out, w, t);
        };
        inProcess.push_back(secondsOf(here));
        v.release();
        // As the window reads: its reader forked ahead, at idle.
        prepareReaderChild(read);
        standby.push_back(secondsOf([&] { return readInStandby(path, 0, read, &v, &why); }));
        v.release();
        child.push_back(secondsOf(there));
        v.release();
        setPlainNiftiReads(false);
        throughItk.push_back(secondsOf(here));
        setPlainNiftiReads(true);
        v.release();
        // Named another file, the parent leaves the reading to the child.
        inParts.push_back(secondsOf([&] {
            return readInChild(
                path + ".elsewhere",
                [&](VolumeFile* out, std::string* w) { return importForeignVolume(path, out, w); }, &v, &why);
        }));
        v.release();
    }
    std::remove(path.c_str());
    if (std::min({*std::min_element(inProcess.begin(), inProcess.end()),
                  *std::min_element(child.begin(), child.end()),
                  *std::min_element(standby.begin(), standby.end()),
                  *std::min_element(throughItk.begin(), throughItk.end()),
                  *std::min_element(inParts.begin(), inParts.end())}) < 0.0) {
        state.SkipWithError("a read failed");
        return;
    }
    std::sort(inProcess.begin(), inProcess.end());
    std::sort(child.begin(), child.end());
    std::sort(standby.begin(), standby.end());
    std::sort(throughItk.begin(), throughItk.end());
    std::sort(inParts.begin(), inParts.end());
    state.counters["child_in_parts_min_s"] = inParts.front();
    state.counters["child_in_parts_median_s"] = inParts[inParts.size() / 2];
    state.counters["itk_in_process_min_s"] = throughItk.front();
    state.counters["itk_in_process_median_s"] = throughItk[throughItk.size() / 2];
    state.counters["in_process_min_s"] = inProcess.front();
    state.counters["in_process_median_s"] = inProcess[inProcess.size() / 2];
    state.counters["child_min_s"] = child.front();
    state.counters["child_median_s"] = child[child.size() / 2];
    state.counters["child_over_in_process_min"] = child.front() / inProcess.front();
    state.counters["child_over_in_process_median"] = child[child.size() / 2] / inProcess[inProcess.size() / 2];
    state.counters["forked_ahead_min_s"] = standby.front();
    state.counters["forked_ahead_median_s"] = standby[standby.size() / 2];
    state.counters["forked_ahead_over_in_process_min"] = standby.front() / inProcess.front();
    state.counters["forked_ahead_over_in_process_median"] =
        standby[standby.size() / 2] / inProcess[inProcess.size() / 2];
}

} // namespace

BENCHMARK(BM_ChildAgainstInProcess)->Arg(0)->Arg(2048)->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
