// The per-voxel passes on several threads give what one thread gives, byte
// for byte, on sizes that do not divide evenly; the gradient still reports
// its slices in order and stops at a cancel.
#include "empty_space.h"
#include "gen_texture.h"
#include "histogram.h"
#include "parallel.h"
#include "voxel_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, std::string>> g_seen;
int g_stopAt = -1;

bool recordReport(int percent, const char* message)
{
    g_seen.emplace_back(percent, message);
    return static_cast<int>(g_seen.size()) - 1 != g_stopAt;
}

// An odd-sized volume of noise over a smooth ramp.
template <typename T> std::vector<T> volumeOf(int nx, int ny, int nz, int channels, double scale)
{
    std::mt19937 random(7);
    std::vector<T> v(static_cast<size_t>(nx) * ny * nz * channels);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<T>((static_cast<double>(i % 977) + random() % 50) * scale);
    return v;
}

class ParallelPasses : public ::testing::Test
{
public:
    void TearDown() override
    {
        gradientThreads = 0;
        progressCallback = nullptr;
        g_seen.clear();
        g_stopAt = -1;
    }

    // Gradient and magnitude bytes of data with the given thread count.
    template <typename T>
    std::pair<std::vector<T>, std::vector<float>> passes(const std::vector<T>& data, int channels, GLenum type,
                                                          int threads, int calculation = 4)
    {
        gradientThreads = threads;
        std::vector<T> g(static_cast<size_t>(kX) * kY * kZ * 3, T(1));
        std::vector<float> m(static_cast<size_t>(kX) * kY * kZ, -1.0f);
        EXPECT_TRUE(computeGradient(g.data(), kX, kY, kZ, channels, data.data(), type, calculation));
        computeMagnitude(m.data(), kX, kY, kZ, g.data(), type);
        return {g, m};
    }

    static const int kX = 67, kY = 45, kZ = 31;
};

} // namespace

TEST(Slabs, EveryIndexOnceWhateverTheSplit)
{
    for (long count : {0L, 1L, 2L, 7L, 31L, 1000L})
        for (int threads : {1, 2, 3, 8})
            for (long minimum : {1L, 4L, 100L}) {
                std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
                for (auto& h : hits)
                    h = 0;
                std::atomic<int> maxSlab(-1);
                forEachSlab(
                    count,
                    [&](int slab, long begin, long end) {
                        for (long i = begin; i < end; ++i)
                            ++hits[static_cast<size_t>(i)];
                        if (slab > maxSlab)
                            maxSlab = slab;
                    },
                    threads, minimum);
                for (long i = 0; i < count; ++i)
                    ASSERT_EQ(hits[static_cast<size_t>(i)], 1) << count << " " << threads << " " << i;
                EXPECT_LT(maxSlab, threads);
                if (count > 0 && minimum > 1) {
                    EXPECT_LE(static_cast<long>(maxSlab) + 1, std::max(1L, count / minimum));
                }
            }
    EXPECT_GE(passThreads(), 1);
    EXPECT_EQ(passThreads(5), 5);
}

TEST_F(ParallelPasses, GradientsAndMagnitudesEqualOneThreadForEveryType)
{
    const auto bytes = volumeOf<uint8_t>(kX, kY, kZ, 1, 0.25);
    const auto one8 = passes(bytes, 1, GL_UNSIGNED_BYTE, 1);
    for (int threads : {2, 3, 7}) {
        const auto many = passes(bytes, 1, GL_UNSIGNED_BYTE, threads);
        EXPECT_TRUE(many.first == one8.first) << threads;
        EXPECT_EQ(std::memcmp(many.second.data(), one8.second.data(), many.second.size() * sizeof(float)), 0)
            << threads;
    }
    const auto shorts = volumeOf<uint16_t>(kX, kY, kZ, 1, 60.0);
    const auto one16 = passes(shorts, 1, GL_UNSIGNED_SHORT, 1);
    const auto many16 = passes(shorts, 1, GL_UNSIGNED_SHORT, 3);
    EXPECT_TRUE(many16.first == one16.first);
    EXPECT_EQ(std::memcmp(many16.second.data(), one16.second.data(), one16.second.size() * sizeof(float)), 0);
    const auto floats = volumeOf<float>(kX, kY, kZ, 1, 0.001);
    const auto oneF = passes(floats, 1, GL_FLOAT, 1);
    const auto manyF = passes(floats, 1, GL_FLOAT, 3);
    EXPECT_EQ(std::memcmp(manyF.first.data(), oneF.first.data(), oneF.first.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(manyF.second.data(), oneF.second.data(), oneF.second.size() * sizeof(float)), 0);
    // Four channels: one named channel, and the mean of all.
    const auto rgba = volumeOf<uint8_t>(kX, kY, kZ, 4, 0.2);
    for (int calculation : {2, 4}) {
        const auto one = passes(rgba, 4, GL_UNSIGNED_BYTE, 1, calculation);
        const auto many = passes(rgba, 4, GL_UNSIGNED_BYTE, 3, calculation);
        EXPECT_TRUE(many.first == one.first) << calculation;
        EXPECT_EQ(std::memcmp(many.second.data(), one.second.data(), one.second.size() * sizeof(float)), 0);
    }
}

TEST_F(ParallelPasses, GradientReportsInOrderAndStopsAtTheCancel)
{
    const auto bytes = volumeOf<uint8_t>(kX, kY, kZ, 1, 0.25);
    std::vector<uint8_t> g(static_cast<size_t>(kX) * kY * kZ * 3);
    gradientThreads = 1;
    progressCallback = recordReport;
    ASSERT_TRUE(computeGradient(g.data(), kX, kY, kZ, 1, bytes.data(), GL_UNSIGNED_BYTE, 4));
    const auto oneThread = g_seen;
    ASSERT_EQ(oneThread.size(), static_cast<size_t>(kZ - 2));
    for (int threads : {2, 3}) {
        g_seen.clear();
        gradientThreads = threads;
        progressCallback = recordReport;
        ASSERT_TRUE(computeGradient(g.data(), kX, kY, kZ, 1, bytes.data(), GL_UNSIGNED_BYTE, 4));
        EXPECT_EQ(g_seen, oneThread) << threads;
    }
    g_seen.clear();
    g_stopAt = 4;
    gradientThreads = 3;
    progressCallback = recordReport;
    EXPECT_FALSE(computeGradient(g.data(), kX, kY, kZ, 1, bytes.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(g_seen.size(), 5u);
    EXPECT_EQ(progressCallback, nullptr);
}

// The histogram against a plain count: large enough to be split on any
// machine with more than one core.
TEST_F(ParallelPasses, HistogramEqualsAPlainCount)
{
    const int nx = 128, ny = 128, nz = 41;
    const auto shorts = volumeOf<uint16_t>(nx, ny, nz, 1, 61.0);
    std::vector<uint64_t> counts(4096, 0);
    for (uint16_t v : shorts)
        ++counts[v >> 4];
    uint64_t top = 0;
    for (int b = 1; b < 4096; ++b)
        top = std::max(top, counts[b]);
    Histogram h;
    h.compute(shorts.data(), nx, ny, nz, 1, GL_UNSIGNED_SHORT);
    ASSERT_EQ(h.getBins(), 4096);
    EXPECT_EQ(h.getMaxCount(), static_cast<float>(top));
    for (int b = 0; b < 4096; ++b)
        ASSERT_EQ(h.getHist()[b], static_cast<float>(static_cast<double>(counts[b]) / top * 255.0)) << b;
    h.release();
}

// The empty-space cells against a plain computation: each cell's range over
// its voxels, then joined with its neighbours'. The cell layers go to the
// cores in slabs.
TEST_F(ParallelPasses, SkipGridEqualsAPlainComputation)
{
    const int nx = 67, ny = 45, nz = 131, stride[2] = {70, 47};
    std::vector<uint16_t> data(static_cast<size_t>(stride[0]) * stride[1] * nz, 0);
    std::mt19937 random(3);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                data[(static_cast<size_t>(z) * stride[1] + y) * stride[0] + x] =
                    static_cast<uint16_t>((x * y + z * 97 + random() % 300) % 65536);
    SkipGrid grid;
    const int res[3] = {nx, ny, nz};
    ASSERT_TRUE(skipGridBuild(grid, data.data(), GL_UNSIGNED_SHORT, 1, res, stride));
    const int C = SkipGrid::kCellSize;
    const int cells[3] = {(nx + C - 1) / C, (ny + C - 1) / C, (nz + C - 1) / C};
    ASSERT_EQ(grid.cells[2], cells[2]);
    const size_t count = static_cast<size_t>(cells[0]) * cells[1] * cells[2];
    std::vector<float> lo(count, 2.0f), hi(count, -1.0f);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const float v = data[(static_cast<size_t>(z) * stride[1] + y) * stride[0] + x] / 65535.0f;
                const size_t c = (static_cast<size_t>(z / C) * cells[1] + y / C) * cells[0] + x / C;
                lo[c] = std::min(lo[c], v);
                hi[c] = std::max(hi[c], v);
            }
    for (int z = 0; z < cells[2]; ++z)
        for (int y = 0; y < cells[1]; ++y)
            for (int x = 0; x < cells[0]; ++x) {
                float a = 2.0f, b = -1.0f;
                for (int k = std::max(z - 1, 0); k <= std::min(z + 1, cells[2] - 1); ++k)
                    for (int j = std::max(y - 1, 0); j <= std::min(y + 1, cells[1] - 1); ++j)
                        for (int i = std::max(x - 1, 0); i <= std::min(x + 1, cells[0] - 1); ++i) {
                            const size_t n = (static_cast<size_t>(k) * cells[1] + j) * cells[0] + i;
                            a = std::min(a, lo[n]);
                            b = std::max(b, hi[n]);
                        }
                const size_t m = (static_cast<size_t>(z) * cells[1] + y) * cells[0] + x;
                ASSERT_EQ(grid.lo[m], a) << x << " " << y << " " << z;
                ASSERT_EQ(grid.hi[m], b) << x << " " << y << " " << z;
            }
}

// Lengths of gradients worked out here from the stored components, each
// decoded as twice its distance from the bias.
template <typename T> std::vector<float> lengthsOf(const std::vector<T>& g, GLenum type)
{
    const float bias = static_cast<float>(gradientBias(type));
    std::vector<float> lengths(g.size() / 3);
    for (size_t i = 0; i < lengths.size(); ++i) {
        float sum = 0.0f;
        for (int a = 0; a < 3; ++a) {
            const float d = 2.0f * (static_cast<float>(g[3 * i + a]) - bias);
            sum += d * d;
        }
        lengths[i] = std::sqrt(sum);
    }
    return lengths;
}

// The textures' slab pass against the whole one: gradients as RGBA a few
// planes at a time (the last slab short) keep their three components and are
// opaque, reported plane by plane in order; the largest length, found without
// the gradients, is the one the whole pass divides by; the magnitude bytes
// are the whole pass's values as an 8-bit texel holds them.
template <typename T> void checkSlabPass(ParallelPasses& test, GLenum type, double scale, T opaque)
{
    const int kX = 67, kY = 45, kZ = 31;
    const auto data = volumeOf<T>(kX, kY, kZ, 1, scale);
    const auto whole = test.passes(data, 1, type, 0);
    const size_t n = static_cast<size_t>(kX) * kY * kZ, plane = static_cast<size_t>(kX) * kY;
    const std::vector<float> lengths = lengthsOf(whole.first, type);
    for (int threads : {1, 2, 3}) {
        gradientThreads = threads;
        SCOPED_TRACE(threads);
        const float largest = largestGradientLength(kX, kY, kZ, 1, data.data(), type, 4);
        EXPECT_EQ(largest, *std::max_element(lengths.begin(), lengths.end()));
        std::vector<T> rgba(4 * n, T(7));
        std::vector<unsigned char> bytes(n, 7);
        g_seen.clear();
        progressCallback = recordReport;
        for (int z = 0; z < kZ; z += 4) {
            const int count = std::min(4, kZ - z);
            ASSERT_TRUE(computeGradientRGBA(rgba.data() + 4 * z * plane, bytes.data() + z * plane, largest, z,
                                            z + count, kX, kY, kZ, 1, data.data(), type, 4));
        }
        progressCallback = nullptr;
        ASSERT_EQ(g_seen.size(), static_cast<size_t>(kZ - 2));
        EXPECT_EQ(g_seen.front().first, 21); // plane 1 of 31
        EXPECT_EQ(g_seen.back().first, 57);  // plane 29
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(rgba[4 * i], whole.first[3 * i]) << i;
            ASSERT_EQ(rgba[4 * i + 1], whole.first[3 * i + 1]) << i;
            ASSERT_EQ(rgba[4 * i + 2], whole.first[3 * i + 2]) << i;
            ASSERT_EQ(rgba[4 * i + 3], opaque) << i;
            const float x = whole.second[i];
            const int want = x >= 1.0f ? 255 : static_cast<int>(std::nearbyint(std::max(0.0f, x) * 255.0f));
            ASSERT_EQ(bytes[i], want) << i << " " << x;
        }
    }
}

TEST_F(ParallelPasses, TextureSlabPassEqualsTheWholePass)
{
    checkSlabPass<uint8_t>(*this, GL_UNSIGNED_BYTE, 0.25, 255);
    checkSlabPass<int8_t>(*this, GL_BYTE, 0.12, 127);
    checkSlabPass<uint16_t>(*this, GL_UNSIGNED_SHORT, 60.0, 65535);
    checkSlabPass<float>(*this, GL_FLOAT, 0.01, 1.0f);
}

// A flat volume: the boundary holds the zero gradient as the interior does,
// so the largest length is 0, every length and magnitude byte too, and the
// RGBA texels are the zero code, opaque.
TEST_F(ParallelPasses, LengthsOfAFlatVolume)
{
    const std::vector<uint8_t> flat(8 * 8 * 8, 128);
    const float largest = largestGradientLength(8, 8, 8, 1, flat.data(), GL_UNSIGNED_BYTE, 4);
    EXPECT_EQ(largest, 0.0f);
    std::vector<uint8_t> rgba(4 * 8 * 8 * 8);
    std::vector<unsigned char> bytes(8 * 8 * 8, 9);
    ASSERT_TRUE(computeGradientRGBA(rgba.data(), bytes.data(), largest, 0, 8, 8, 8, 8, 1, flat.data(),
                                    GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(bytes, std::vector<unsigned char>(bytes.size(), 0));
    for (size_t i = 0; i < rgba.size(); ++i)
        ASSERT_EQ(rgba[i], i % 4 == 3 ? 255 : 128) << i;
}
