#include "histogram.h"

#include "error_handling.h"
#include "parallel.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

Histogram histogram;

namespace {

// Bin of one value: the top bits of the unsigned pattern for integers (signed
// data never arrive after conversion; their bit patterns keep the index in
// range if they do), floor(v * 4095) for floats in 0 ... 1.
template <typename T> inline uint32_t binOf(T v)
{
    if constexpr (std::is_floating_point_v<T>) {
        const float s = v * 4095.0f;
        if (!(s > 0.0f))
            return 0;
        return s >= 4095.0f ? 4095u : static_cast<uint32_t>(s);
    } else {
        using U = std::make_unsigned_t<T>;
        const U u = static_cast<U>(v);
        if constexpr (sizeof(T) == 1)
            return u;
        else if constexpr (sizeof(T) == 2)
            return u >> 4;
        else
            return u >> 20;
    }
}

// Counts in kTables interleaved tables of 16-bit counters: runs of one value
// (the background) do not serialise on one counter, and the tables stay in
// the first-level cache even for 4096 bins. The small counters are added into
// exact 64-bit totals before they can overflow.
template <typename T> void countValues(const T* p, size_t n, int bins, std::vector<uint64_t>& total)
{
    constexpr int kTables = 4;
    std::vector<uint16_t> c(kTables * static_cast<size_t>(bins), 0);
    uint16_t* c0 = c.data();
    uint16_t* c1 = c0 + bins;
    uint16_t* c2 = c1 + bins;
    uint16_t* c3 = c2 + bins;
    const size_t chunk = kTables * 65000; // at most 65003 counts per table and chunk
    size_t i = 0;
    while (i < n) {
        const size_t end = n - i > chunk ? i + chunk : n;
        for (; i + kTables <= end; i += kTables) {
            ++c0[binOf(p[i])];
            ++c1[binOf(p[i + 1])];
            ++c2[binOf(p[i + 2])];
            ++c3[binOf(p[i + 3])];
        }
        for (; i < end; ++i)
            ++c0[binOf(p[i])];
        for (int b = 0; b < bins; ++b) {
            total[b] += uint64_t(c0[b]) + c1[b] + c2[b] + c3[b];
            c0[b] = c1[b] = c2[b] = c3[b] = 0;
        }
    }
}

} // namespace

void Histogram::compute(const void* data, int x, int y, int z, int channels, GLenum type)
{
    if (hist)
        RELEASE_ARRAY(hist);
    maxCount = 0.0f;
    myCounts.clear();
    const bool known = isVoxelType(type);
    const int size = known ? bytesOfVoxelType(type) : 1;
    bins = (size == 1) ? 256 : 4096;
    GUARDED_ARRAY_AS(hist, "histogram.hist", float, bins);
    if (!hist) {
        g_garbageCollector.remove(hist); // nothing to release later
        return;
    }
    std::memset(hist, 0, sizeof(float) * bins);

    const int resolution[3] = {x, y, z};
    size_t n = 0;
    if (!data || !voxelCount(resolution, channels, size, &n, nullptr))
        return;

    // One table of counts per slab of values, added up after: exact
    // integers, the same whatever the split.
    std::vector<std::vector<uint64_t>> slabCounts(static_cast<size_t>(passThreads()),
                                                  std::vector<uint64_t>(bins, 0));
    forEachSlab(
        static_cast<long>(n),
        [&](int slab, long begin, long end) {
            std::vector<uint64_t>& c = slabCounts[static_cast<size_t>(slab)];
            const size_t count = static_cast<size_t>(end - begin);
            if (!known) {
                countValues(static_cast<const uint8_t*>(data) + begin, count, bins, c);
                return;
            }
            dispatchVoxelType(type, [&](auto tag) {
                using T = typename decltype(tag)::type;
                countValues(static_cast<const T*>(data) + begin, count, bins, c);
            });
        },
        0, 1L << 18);
    std::vector<uint64_t> counts(bins, 0);
    for (const std::vector<uint64_t>& c : slabCounts)
        for (int b = 0; b < bins; ++b)
            counts[b] += c[b];

    myCounts = counts;
    uint64_t top = 0;
    for (int b = 1; b < bins; ++b)
        top = counts[b] > top ? counts[b] : top;
    maxCount = static_cast<float>(top);
    // With bins 1 and up empty there is nothing to scale against but bin 0:
    // it is drawn full height instead of dividing by zero.
    const double divisor = top ? static_cast<double>(top) : static_cast<double>(counts[0]);
    if (divisor <= 0.0)
        return;
    for (int b = 0; b < bins; ++b)
        hist[b] = static_cast<float>(static_cast<double>(counts[b]) / divisor * 255.0);
}

void Histogram::draw(int width, float first, float count) const
{
    if (!hist)
        return;
    if (!(count > 0.0f) || !(first >= 0.0f) || first > 1e9f || count > 1e9f)
        return;
    const int f = static_cast<int>(first);
    int n = static_cast<int>(count);
    const float step = static_cast<float>(width) / count;
    if (n > bins)
        n = bins;
    if (f + n > bins)
        return;
    glColor3f(0.5f, 0.5f, 0.5f);
    glBegin(GL_LINES);
    for (int i = 0; i < n; ++i) {
        const float px = i * step;
        glVertex2f(px, 10.0f);
        glVertex2f(px, height(f + i) * heightScale + 10.0f);
    }
    glEnd();
}

float Histogram::height(int b) const
{
    if (!hist || b < 0 || b >= bins)
        return 0.0f;
    if (!myLogarithmic || myCounts.size() != static_cast<size_t>(bins))
        return hist[b];
    const double top = maxCount > 0.0f ? maxCount : static_cast<double>(myCounts[0]);
    if (!(top > 0.0))
        return 0.0f;
    return static_cast<float>(std::log1p(static_cast<double>(myCounts[b])) / std::log1p(top) * 255.0);
}

void Histogram::release()
{
    if (hist)
        RELEASE_ARRAY(hist);
    bins = 0;
    maxCount = 0.0f;
    myCounts.clear();
}
