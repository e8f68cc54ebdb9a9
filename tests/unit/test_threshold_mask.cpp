// Masks from thresholds: which values are inside, the type ranges, and the
// growth by a shell of voxels.
#include "threshold_mask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

size_t countSet(const std::vector<unsigned char>& m)
{
    size_t n = 0;
    for (unsigned char v : m)
        n += v == 255;
    return n;
}

} // namespace

// Both ends of the range are inside; values as stored, signed and float too.
TEST(ThresholdMask, ClosedRangeOfStoredValues)
{
    const int16_t shorts[] = {-32768, -611, -610, 0, 99, 100, 101, 32767};
    std::vector<unsigned char> out(8, 7);
    thresholdMask(shorts, VOXEL_SHORT, 8, -610, 100, out.data());
    EXPECT_EQ(out, (std::vector<unsigned char>{0, 0, 255, 255, 255, 255, 0, 0}));

    const float floats[] = {0.25f, 0.5f, NAN, 0.75f, 0.7500001f};
    out.assign(5, 7);
    thresholdMask(floats, VOXEL_FLOAT, 5, 0.5, 0.75, out.data());
    EXPECT_EQ(out, (std::vector<unsigned char>{0, 255, 0, 255, 0}));

    const uint32_t uints[] = {0u, 4000000000u, 4294967295u};
    out.assign(3, 7);
    thresholdMask(uints, VOXEL_UINT, 3, 4000000000.0, 4294967295.0, out.data());
    EXPECT_EQ(out, (std::vector<unsigned char>{0, 255, 255}));

    const int8_t chars[] = {-128, -1, 0, 127};
    out.assign(4, 7);
    thresholdMask(chars, VOXEL_CHAR, 4, -128, -1, out.data());
    EXPECT_EQ(out, (std::vector<unsigned char>{255, 255, 0, 0}));
}

TEST(ThresholdMask, TypeRanges)
{
    const struct { VoxelType type; double lo, hi; } cases[] = {
        {VOXEL_UCHAR, 0, 255},          {VOXEL_CHAR, -128, 127},
        {VOXEL_USHORT, 0, 65535},       {VOXEL_SHORT, -32768, 32767},
        {VOXEL_UINT, 0, 4294967295.0},  {VOXEL_INT, -2147483648.0, 2147483647.0},
    };
    for (const auto& c : cases) {
        double lo = 1, hi = 0;
        voxelTypeRange(c.type, &lo, &hi);
        EXPECT_EQ(lo, c.lo) << c.type;
        EXPECT_EQ(hi, c.hi) << c.type;
    }
    double lo = 0, hi = 0;
    voxelTypeRange(VOXEL_FLOAT, &lo, &hi);
    EXPECT_LT(lo, -1e38);
    EXPECT_GT(hi, 1e38);
}

// One voxel grown by 3: the 123 lattice points of the ball x^2+y^2+z^2 <= 9.
TEST(ThresholdMask, OneVoxelGrowsIntoABall)
{
    const int dims[3] = {11, 11, 11};
    std::vector<unsigned char> m(11 * 11 * 11, 0);
    auto at = [&](int x, int y, int z) -> unsigned char& { return m[(z * 11 + y) * 11 + x]; };
    at(5, 5, 5) = 1; // any non-zero value marks the voxel
    ASSERT_TRUE(growMask(m.data(), dims, 3));
    EXPECT_EQ(countSet(m), 123u);
    EXPECT_EQ(at(5, 5, 5), 255);
    EXPECT_EQ(at(8, 5, 5), 255);  // 9
    EXPECT_EQ(at(7, 7, 6), 255);  // 4 + 4 + 1
    EXPECT_EQ(at(7, 7, 7), 0);    // 12
    EXPECT_EQ(at(8, 6, 5), 0);    // 10
    EXPECT_EQ(at(5, 2, 5), 255);
    EXPECT_EQ(at(5, 5, 1), 0);
}

// A block grown by 1 gains exactly its face shell (edges and corners are
// sqrt(2) and sqrt(3) away); at the border the growth is cut off. Radius 0
// keeps the mask and writes 255 for every marked voxel.
TEST(ThresholdMask, BlockGainsItsShellAndStopsAtTheBorder)
{
    const int dims[3] = {12, 10, 8};
    std::vector<unsigned char> m(12 * 10 * 8, 0);
    auto idx = [](int x, int y, int z) { return (z * 10 + y) * 12 + x; };
    for (int z = 2; z < 5; ++z)
        for (int y = 3; y < 7; ++y)
            for (int x = 4; x < 9; ++x)
                m[idx(x, y, z)] = 9;
    std::vector<unsigned char> same = m;
    ASSERT_TRUE(growMask(same.data(), dims, 0));
    EXPECT_EQ(countSet(same), 5u * 4 * 3);

    ASSERT_TRUE(growMask(m.data(), dims, 1));
    // 5x4x3 block plus two faces of each pair: 2*(4*3) + 2*(5*3) + 2*(5*4)
    EXPECT_EQ(countSet(m), 60u + 24 + 30 + 40);
    EXPECT_EQ(m[idx(3, 3, 2)], 255);
    EXPECT_EQ(m[idx(3, 2, 2)], 0);

    // A voxel in a corner grown by 2 keeps the ball's one octant inside the
    // grid: (0,0,0), three (1,0,0), three (2,0,0), three (1,1,0), (1,1,1).
    std::vector<unsigned char> c(12 * 10 * 8, 0);
    c[0] = 255;
    ASSERT_TRUE(growMask(c.data(), dims, 2));
    EXPECT_EQ(countSet(c), 11u);
}

// Against the definition on scattered seeds: every voxel within the radius of
// a seed, and no other.
TEST(ThresholdMask, GrowthMatchesTheDistanceDefinition)
{
    const int dims[3] = {17, 13, 9};
    const int n = 17 * 13 * 9;
    std::vector<unsigned char> m(n, 0);
    std::srand(7);
    std::vector<int> seeds;
    for (int s = 0; s < 6; ++s) {
        const int i = std::rand() % n;
        m[i] = 1;
        seeds.push_back(i);
    }
    for (int radius : {1, 2, 4}) {
        std::vector<unsigned char> g = m;
        ASSERT_TRUE(growMask(g.data(), dims, radius));
        int wrong = 0;
        for (int i = 0; i < n; ++i) {
            const int x = i % 17, y = i / 17 % 13, z = i / (17 * 13);
            bool near = false;
            for (int s : seeds) {
                const int dx = x - s % 17, dy = y - s / 17 % 13, dz = z - s / (17 * 13);
                near |= dx * dx + dy * dy + dz * dz <= radius * radius;
            }
            wrong += (g[i] == 255) != near;
        }
        EXPECT_EQ(wrong, 0) << "radius " << radius;
    }
}

TEST(ThresholdMask, GrowthOutsideItsRangeIsRefused)
{
    const int dims[3] = {2, 2, 2};
    std::vector<unsigned char> m(8, 0);
    m[3] = 1;
    EXPECT_FALSE(growMask(m.data(), dims, -1));
    EXPECT_FALSE(growMask(m.data(), dims, kMaxMaskGrowth + 1));
    EXPECT_EQ(m[3], 1);
    EXPECT_TRUE(growMask(m.data(), dims, kMaxMaskGrowth));
    EXPECT_EQ(countSet(m), 8u);
}
