// The CPU stages of texture generation: power-of-two sizes, gradients and
// their encoding per type, magnitudes, stack slices and brick cubes.
#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, std::string>> g_reports;
int g_cancelAfter = -1; // report index that answers "cancel"

bool record(int percent, const char* message)
{
    g_reports.emplace_back(percent, message);
    return static_cast<int>(g_reports.size()) - 1 != g_cancelAfter;
}

// Gradient of one voxel (component a) in a 3-element-per-voxel buffer.
template <typename T> T at(const std::vector<T>& g, int nx, int ny, int x, int y, int z, int a)
{
    return g[((static_cast<size_t>(z) * ny + y) * nx + x) * 3 + a];
}

// A 3 x 3 x 3 volume of `fill` whose centre has the x neighbours left and right.
template <typename T> std::vector<T> centreVolume(T fill, T left, T right)
{
    std::vector<T> v(27, fill);
    v[13 - 1] = left;
    v[13 + 1] = right;
    return v;
}

template <typename T> T centreX(const std::vector<T>& data, GLenum type)
{
    std::vector<T> g(27 * 3, T(99));
    EXPECT_TRUE(computeGradient(g.data(), 3, 3, 3, 1, data.data(), type, 4));
    return at(g, 3, 3, 1, 1, 1, 0);
}

class ProgressSlot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_reports.clear();
        g_cancelAfter = -1;
    }
    void TearDown() override { progressCallback = nullptr; }
};

} // namespace

TEST(PowerOfTwo, EdgeValues)
{
    EXPECT_EQ(nextPowerOfTwo(-5), 1);
    EXPECT_EQ(nextPowerOfTwo(0), 1);
    EXPECT_EQ(nextPowerOfTwo(1), 1);
    EXPECT_EQ(nextPowerOfTwo(2), 2);
    EXPECT_EQ(nextPowerOfTwo(3), 4);
    EXPECT_EQ(nextPowerOfTwo(60), 64);
    EXPECT_EQ(nextPowerOfTwo(100), 128);
    EXPECT_EQ(nextPowerOfTwo(4095), 4096);
    EXPECT_EQ(nextPowerOfTwo(4096), 4096);
    EXPECT_EQ(nextPowerOfTwo(4097), 8192);
    EXPECT_EQ(nextPowerOfTwo(1 << 30), 1 << 30);
    EXPECT_EQ(nextPowerOfTwo((1 << 30) + 1), INT_MAX);
    EXPECT_EQ(nextPowerOfTwo(INT_MAX), INT_MAX);
}

TEST(Gradient, BiasPerType)
{
    // 128/255 of each unsigned range: an 8-bit texel holds every one as 128.
    EXPECT_EQ(gradientBias(GL_UNSIGNED_BYTE), 128.0);
    EXPECT_EQ(gradientBias(GL_UNSIGNED_SHORT), 32896.0);
    EXPECT_EQ(gradientBias(GL_UNSIGNED_INT), 2155905152.0);
    EXPECT_EQ(gradientBias(GL_FLOAT), 128.0 / 255.0);
    EXPECT_EQ(gradientBias(GL_BYTE), 0.0);
    EXPECT_EQ(gradientBias(GL_SHORT), 0.0);
    EXPECT_EQ(gradientBias(GL_INT), 0.0);
}

TEST(Gradient, CentralDifferencesHalvedAwayFromZeroPlusBias)
{
    // 5 + 128 and -5 + 128.
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 10, 20), GL_UNSIGNED_BYTE), 133);
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 20, 10), GL_UNSIGNED_BYTE), 123);
    // Odd differences round away from zero, the same both ways: +-0.5 -> +-1, +-1.5 -> +-2.
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 11, 10), GL_UNSIGNED_BYTE), 127);
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 10, 11), GL_UNSIGNED_BYTE), 129);
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 13, 10), GL_UNSIGNED_BYTE), 126);
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 10, 13), GL_UNSIGNED_BYTE), 130);
    // The full 8-bit range is held to 127 both ways.
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 0, 255), GL_UNSIGNED_BYTE), 255);
    EXPECT_EQ(centreX<uint8_t>(centreVolume<uint8_t>(0, 255, 0), GL_UNSIGNED_BYTE), 1);
    // Signed types have no bias.
    EXPECT_EQ(centreX<int8_t>(centreVolume<int8_t>(0, -128, 127), GL_BYTE), 127);
    EXPECT_EQ(centreX<int8_t>(centreVolume<int8_t>(0, 127, -128), GL_BYTE), -127);
    EXPECT_EQ(centreX<int16_t>(centreVolume<int16_t>(0, 10, 20), GL_SHORT), 5);
    EXPECT_EQ(centreX<int16_t>(centreVolume<int16_t>(0, 20, 10), GL_SHORT), -5);
    EXPECT_EQ(centreX<int32_t>(centreVolume<int32_t>(0, -7, 8), GL_INT), 8);
    EXPECT_EQ(centreX<int32_t>(centreVolume<int32_t>(0, 8, -7), GL_INT), -8);
    // 16 bits about 128 x 257, held to 65535 - 32896 = 32639 both ways.
    EXPECT_EQ(centreX<uint16_t>(centreVolume<uint16_t>(0, 1000, 3000), GL_UNSIGNED_SHORT), 33896);
    EXPECT_EQ(centreX<uint16_t>(centreVolume<uint16_t>(0, 1003, 1000), GL_UNSIGNED_SHORT), 32894);
    EXPECT_EQ(centreX<uint16_t>(centreVolume<uint16_t>(0, 0, 65535), GL_UNSIGNED_SHORT), 65535);
    EXPECT_EQ(centreX<uint16_t>(centreVolume<uint16_t>(0, 65535, 0), GL_UNSIGNED_SHORT), 257);
    // Unsigned 32-bit, exact about 128 x 16843009.
    EXPECT_EQ(centreX<uint32_t>(centreVolume<uint32_t>(0, 0, 0), GL_UNSIGNED_INT), 2155905152u);
    EXPECT_EQ(centreX<uint32_t>(centreVolume<uint32_t>(0, 1, 2), GL_UNSIGNED_INT), 2155905153u);
    EXPECT_EQ(centreX<uint32_t>(centreVolume<uint32_t>(0, 0, 4294967295u), GL_UNSIGNED_INT), 4294967295u);
    EXPECT_EQ(centreX<uint32_t>(centreVolume<uint32_t>(0, 4294967295u, 0), GL_UNSIGNED_INT), 16843009u);
    // Floats in steps of 1/255 about 128/255: a half difference of 0.25 is 63.75 steps, 64.
    EXPECT_FLOAT_EQ(centreX<float>(centreVolume<float>(0, 0.25f, 0.75f), GL_FLOAT), 192.0f / 255.0f);
    EXPECT_FLOAT_EQ(centreX<float>(centreVolume<float>(0, 0.75f, 0.25f), GL_FLOAT), 64.0f / 255.0f);
    EXPECT_FLOAT_EQ(centreX<float>(centreVolume<float>(0, 0.0f, 6.0f), GL_FLOAT), 1.0f);
    EXPECT_FLOAT_EQ(centreX<float>(centreVolume<float>(0, 6.0f, 0.0f), GL_FLOAT), 1.0f / 255.0f);
    // Mirror-image neighbours give codes mirrored about the bias, in every type.
    for (int k = 1; k < 20; ++k) {
        const float a = static_cast<float>(k) / 255.0f, b = 0.3f * static_cast<float>(k) / 19.0f;
        const float up = centreX<float>(centreVolume<float>(0, b, a), GL_FLOAT) * 255.0f - 128.0f;
        const float down = centreX<float>(centreVolume<float>(0, a, b), GL_FLOAT) * 255.0f - 128.0f;
        EXPECT_NEAR(up, -down, 1e-4) << k;
        const int u16 = centreX<uint16_t>(centreVolume<uint16_t>(0, 7, static_cast<uint16_t>(7 + 37 * k)),
                                          GL_UNSIGNED_SHORT);
        const int d16 = centreX<uint16_t>(centreVolume<uint16_t>(0, static_cast<uint16_t>(7 + 37 * k), 7),
                                          GL_UNSIGNED_SHORT);
        EXPECT_EQ(u16 - 32896, 32896 - d16) << k;
    }
}

TEST(Gradient, AxesAndBoundaries)
{
    // v = x + 10 y + 100 z: differences of 2, 20 and 200 halve to 1, 10, 100.
    const int nx = 4, ny = 5, nz = 6;
    std::vector<int16_t> data(nx * ny * nz);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                data[(z * ny + y) * nx + x] = static_cast<int16_t>(x + 10 * y + 100 * z);
    std::vector<int16_t> g(data.size() * 3, 77);
    ASSERT_TRUE(computeGradient(g.data(), nx, ny, nz, 1, data.data(), GL_SHORT, 4));
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const bool boundary = x == 0 || y == 0 || z == 0 || x == nx - 1 || y == ny - 1 || z == nz - 1;
                EXPECT_EQ(at(g, nx, ny, x, y, z, 0), boundary ? 0 : 1);
                EXPECT_EQ(at(g, nx, ny, x, y, z, 1), boundary ? 0 : 10);
                EXPECT_EQ(at(g, nx, ny, x, y, z, 2), boundary ? 0 : 100);
            }
    // Volumes too thin for an interior hold the zero gradient everywhere.
    std::vector<uint8_t> thin(2 * 5 * 5, 9), out(2 * 5 * 5 * 3, 1);
    ASSERT_TRUE(computeGradient(out.data(), 2, 5, 5, 1, thin.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 128));
}

TEST(Gradient, ChannelChoiceAndTheMeanHalfDifference)
{
    // Two channels: channel 0 differences 10 (-> 133), channel 1 differences 1 (-> 129).
    const int n = 27;
    std::vector<uint8_t> data(n * 2, 0);
    data[(13 - 1) * 2] = 10;
    data[(13 + 1) * 2] = 20;
    data[(13 - 1) * 2 + 1] = 50;
    data[(13 + 1) * 2 + 1] = 51;
    std::vector<uint8_t> g(n * 3);
    ASSERT_TRUE(computeGradient(g.data(), 3, 3, 3, 2, data.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(at(g, 3, 3, 1, 1, 1, 0), 128 + 3); // (10 + 1) / 4 = 2.75, rounded
    EXPECT_EQ(at(g, 3, 3, 1, 1, 1, 1), 128);
    ASSERT_TRUE(computeGradient(g.data(), 3, 3, 3, 2, data.data(), GL_UNSIGNED_BYTE, 0));
    EXPECT_EQ(at(g, 3, 3, 1, 1, 1, 0), 133);
    ASSERT_TRUE(computeGradient(g.data(), 3, 3, 3, 2, data.data(), GL_UNSIGNED_BYTE, 1));
    EXPECT_EQ(at(g, 3, 3, 1, 1, 1, 0), 129);
    // A channel the voxels do not have counts as "all channels".
    ASSERT_TRUE(computeGradient(g.data(), 3, 3, 3, 2, data.data(), GL_UNSIGNED_BYTE, 3));
    EXPECT_EQ(at(g, 3, 3, 1, 1, 1, 0), 131);
    // Negative means round away from zero too: (-10 + 0) / 4 = -2.5 -> -3.
    std::vector<int16_t> s(n * 2, 0);
    s[(13 - 1) * 2] = 20;
    s[(13 + 1) * 2] = 10;
    std::vector<int16_t> gs(n * 3);
    ASSERT_TRUE(computeGradient(gs.data(), 3, 3, 3, 2, s.data(), GL_SHORT, 4));
    EXPECT_EQ(at(gs, 3, 3, 1, 1, 1, 0), -3);
    // Four channels, channel 3 chosen.
    std::vector<uint8_t> four(n * 4, 0);
    four[(13 - 1) * 4 + 3] = 0;
    four[(13 + 1) * 4 + 3] = 200;
    std::vector<uint8_t> g4(n * 3);
    ASSERT_TRUE(computeGradient(g4.data(), 3, 3, 3, 4, four.data(), GL_UNSIGNED_BYTE, 3));
    EXPECT_EQ(at(g4, 3, 3, 1, 1, 1, 0), 228);
    ASSERT_TRUE(computeGradient(g4.data(), 3, 3, 3, 4, four.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(at(g4, 3, 3, 1, 1, 1, 0), 128 + 25); // 200 / 8
}

TEST_F(ProgressSlot, GradientReportsEveryInteriorSliceAndStopsOnCancel)
{
    const int nx = 3, ny = 3, nz = 7;
    std::vector<uint8_t> data(nx * ny * nz, 5), g(nx * ny * nz * 3);
    progressCallback = record;
    ASSERT_TRUE(computeGradient(g.data(), nx, ny, nz, 1, data.data(), GL_UNSIGNED_BYTE, 4));
    const std::vector<std::pair<int, std::string>> want = {
        {25, "Generating gradient."}, {31, "Generating gradient."}, {37, "Generating gradient."},
        {42, "Generating gradient."}, {48, "Generating gradient."}};
    EXPECT_EQ(g_reports, want);
    g_reports.clear();
    g_cancelAfter = 1;
    EXPECT_FALSE(computeGradient(g.data(), nx, ny, nz, 1, data.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(g_reports.size(), 2u);
    EXPECT_EQ(progressCallback, nullptr);
}

TEST(Magnitude, ConstantVolumeHasNoLengthAnywhere)
{
    // The boundary holds the zero gradient as the interior does: every
    // length is 0, unsigned and signed data alike, with nothing to divide by.
    const int n = 4;
    std::vector<uint8_t> data(n * n * n, 77), g(n * n * n * 3);
    ASSERT_TRUE(computeGradient(g.data(), n, n, n, 1, data.data(), GL_UNSIGNED_BYTE, 4));
    EXPECT_EQ(g, std::vector<uint8_t>(g.size(), 128));
    std::vector<float> m(n * n * n, -1.0f);
    computeMagnitude(m.data(), n, n, n, g.data(), GL_UNSIGNED_BYTE);
    EXPECT_EQ(m, std::vector<float>(m.size(), 0.0f));
    std::vector<int8_t> sd(n * n * n, 3), sg(n * n * n * 3);
    ASSERT_TRUE(computeGradient(sg.data(), n, n, n, 1, sd.data(), GL_BYTE, 4));
    computeMagnitude(m.data(), n, n, n, sg.data(), GL_BYTE);
    EXPECT_EQ(m, std::vector<float>(m.size(), 0.0f));
}

TEST(Magnitude, LengthsRelativeToTheLargest)
{
    // Two voxels around the float bias that decode (2 (c - bias)) to
    // (3, 4, 0) and (6, 8, 0): lengths 5 and 10.
    const float b = static_cast<float>(gradientBias(GL_FLOAT));
    const float g[6] = {b + 1.5f, b + 2.0f, b, b + 3.0f, b + 4.0f, b};
    float m[2];
    computeMagnitude(m, 2, 1, 1, g, GL_FLOAT);
    EXPECT_FLOAT_EQ(m[1], 1.0f);
    EXPECT_FLOAT_EQ(m[0], 0.5f);
}

TEST(StackSlices, SizesAndTexels)
{
    const int padded[3] = {128, 64, 32};
    int w = 0, h = 0;
    stackSliceSize(0, padded, &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(64, 32));
    stackSliceSize(1, padded, &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(128, 32));
    stackSliceSize(2, padded, &w, &h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(128, 64));

    // 3 x 2 x 2 voxels of two 16-bit channels, value 1000 z + 100 y + 10 x + c.
    const int res[3] = {3, 2, 2}, pad[3] = {4, 2, 2};
    std::vector<uint16_t> src(3 * 2 * 2 * 2);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int c = 0; c < 2; ++c)
                    src[((z * 2 + y) * 3 + x) * 2 + c] = static_cast<uint16_t>(1000 * z + 100 * y + 10 * x + c);
    std::vector<uint16_t> slice(4 * 2 * 2, 0xFFFF);
    copyStackSlice(slice.data(), 0, 2, src.data(), 3, 2, res, pad, 2, GL_UNSIGNED_SHORT);
    EXPECT_EQ(slice.size(), 16u);
    // x stack, slice 2: 2 x 2 texels (s = y, t = z); the rest stays zero.
    EXPECT_EQ(std::vector<uint16_t>(slice.begin(), slice.begin() + 8),
              (std::vector<uint16_t>{20, 21, 120, 121, 1020, 1021, 1120, 1121}));
    EXPECT_EQ(slice[8], 0xFFFF); // outside this slice's 2 x 2 x 2 elements
    copyStackSlice(slice.data(), 1, 1, src.data(), 3, 2, res, pad, 2, GL_UNSIGNED_SHORT);
    EXPECT_EQ(slice, (std::vector<uint16_t>{100, 101, 110, 111, 120, 121, 0, 0, 1100, 1101, 1110, 1111, 1120,
                                             1121, 0, 0}));
    copyStackSlice(slice.data(), 2, 1, src.data(), 3, 2, res, pad, 2, GL_UNSIGNED_SHORT);
    EXPECT_EQ(slice, (std::vector<uint16_t>{1000, 1001, 1010, 1011, 1020, 1021, 0, 0, 1100, 1101, 1110, 1111, 1120,
                                             1121, 0, 0}));
}

TEST(Bricks, CubeCopyFillsTheRestWithZeros)
{
    // 5 x 3 x 2 voxels of 3 one-byte elements in cubes of 4: the cube from
    // voxel (4, 0, 0) on holds x = 4 only.
    const int res[3] = {5, 3, 2};
    std::vector<uint8_t> src(5 * 3 * 2 * 3);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<uint8_t>(i + 1);
    std::vector<uint8_t> cube(4 * 4 * 4 * 3, 0xEE);
    const int four[3] = {4, 4, 4};
    const int from4[3] = {4, 0, 0};
    copyBrick(cube.data(), four, from4, src.data(), res, 3, 1);
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            for (int c = 0; c < 4; ++c)
                for (int e = 0; e < 3; ++e) {
                    const bool inside = c == 0 && b < 3 && a < 2;
                    const size_t from = ((static_cast<size_t>(a) * 3 + b) * 5 + 4) * 3 + e;
                    EXPECT_EQ(cube[((a * 4 + b) * 4 + c) * 3 + e], inside ? src[from] : 0) << a << b << c << e;
                }
    // Floats through the byte copy keep their bits.
    const float f[8] = {1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f};
    const int r2[3] = {2, 2, 2};
    float fc[8] = {};
    const int two[3] = {2, 2, 2};
    const int origin[3] = {0, 0, 0};
    copyBrick(fc, two, origin, f, r2, 1, sizeof(float));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(fc[i], f[i]);
    // Bricks of 4 x 2 x 1 (thin sides keep their own sizes): the one from
    // (4, 2, 1) of 6 x 3 x 2 voxels holds x = 4, 5 of row y = 2 of slice z = 1.
    const int res6[3] = {6, 3, 2};
    const int flat[3] = {4, 2, 1};
    std::vector<uint8_t> v6(6 * 3 * 2);
    for (size_t i = 0; i < v6.size(); ++i)
        v6[i] = static_cast<uint8_t>(i + 1);
    std::vector<uint8_t> small(4 * 2 * 1, 0xEE);
    const int from421[3] = {4, 2, 1};
    copyBrick(small.data(), flat, from421, v6.data(), res6, 1, 1);
    EXPECT_EQ(small, (std::vector<uint8_t>{v6[(1 * 3 + 2) * 6 + 4], v6[(1 * 3 + 2) * 6 + 5], 0, 0, 0, 0, 0, 0}));
}

TEST(Bricks, ThinSidesKeepThePowerOfTwoOfTheirOwnTexture)
{
    const int cases[][2] = {{1, 1}, {2, 2}, {3, 4}, {8, 8}, {9, 16}, {31, 32}, {32, 32}, {33, 32}, {4096, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(brickTexels(c[0], 32), c[1]) << c[0];
}

// The layout along one axis, for every length from 1 to 300 in bricks of 32
// and 4 texels: the parts tile 0 ... n in order; neighbours share a voxel;
// every point of a part filters from texels the brick holds (the half voxel
// at the box's faces clamps or meets the zero texel as a single texture
// would); the last brick ends in a zero texel exactly when a single texture
// would end in padding; and every brick is needed.
TEST(Bricks, SpansTileTheAxisAndShareOneVoxel)
{
    for (int size : {4, 32})
        for (int n = 1; n <= 300; ++n) {
            const int texels = brickTexels(n, size);
            const int count = bricksAlong(n, texels);
            const bool padded = (n & (n - 1)) != 0;
            ASSERT_GE(count, 1) << n;
            float end = 0.0f;
            for (int b = 0; b < count; ++b) {
                const BrickSpan s = brickSpan(b, n, texels);
                const std::string what = std::to_string(n) + "/" + std::to_string(texels) + " #" + std::to_string(b);
                EXPECT_EQ(s.lo, end) << what;
                EXPECT_LT(s.lo, s.hi) << what;
                end = s.hi;
                EXPECT_GE(s.first, 0) << what;
                EXPECT_EQ(s.voxels, std::min(texels, n - s.first)) << what;
                // Filtering at u reads the voxels around u - 0.5; inside the
                // texture but for the half voxels at the box's faces.
                EXPECT_GE(s.lo - 0.5f, b == 0 ? -0.5f : static_cast<float>(s.first)) << what;
                EXPECT_LE(s.hi - 0.5f, b == count - 1 ? static_cast<float>(n) - 0.5f
                                                      : static_cast<float>(s.first + s.voxels - 1))
                    << what;
                // It starts with its neighbour's last voxel; the last of a
                // power of two starts earlier, to end full.
                if (b > 0 && (b < count - 1 || padded)) {
                    EXPECT_EQ(static_cast<float>(s.first) + 0.5f, s.lo) << what;
                }
                if (b == count - 1) {
                    EXPECT_EQ(s.first + s.voxels, n) << what;
                    EXPECT_TRUE(count == 1 || (s.voxels < texels) == padded) << what;
                }
            }
            EXPECT_EQ(end, static_cast<float>(n)) << n;
            // One brick fewer would not reach the end with its texels.
            EXPECT_TRUE(count == 1 || n > (count - 2) * (texels - 1) + texels - (padded ? 1 : 0)) << n;
        }
}

TEST(Bricks, SpansOfKnownAxes)
{
    struct Case
    {
        int n, index, count, first, voxels;
        float lo, hi;
    } cases[] = {
        {40, 0, 2, 0, 32, 0.0f, 31.5f},     // a full brick and
        {40, 1, 2, 31, 9, 31.5f, 40.0f},    // one from the shared voxel 31 on
        {160, 5, 6, 155, 5, 155.5f, 160.0f}, // six bricks of 31 new voxels
        {64, 2, 3, 32, 32, 62.5f, 64.0f},   // a power of two: the last ends full
        {63, 2, 3, 62, 1, 62.5f, 63.0f},    // one less: a zero texel after voxel 62
        {20, 0, 1, 0, 20, 0.0f, 20.0f},     // thin: one brick, textures of 32
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bricksAlong(c.n, brickTexels(c.n, 32)), c.count) << c.n;
        const BrickSpan s = brickSpan(c.index, c.n, brickTexels(c.n, 32));
        EXPECT_EQ(s.first, c.first) << c.n << " " << c.index;
        EXPECT_EQ(s.voxels, c.voxels) << c.n << " " << c.index;
        EXPECT_EQ(s.lo, c.lo) << c.n << " " << c.index;
        EXPECT_EQ(s.hi, c.hi) << c.n << " " << c.index;
    }
    EXPECT_EQ(bricksAlong(4096, 32), 133);
    EXPECT_EQ(bricksAlong(4100, 32), 133);
}

// 160 x 64 x 20 voxels, box extents (1, 0.4, 0.125), textures of 32 x 32 x 32:
// brick (1, 2, 0) draws x from the centre of voxel 31 to that of voxel 62,
// y from the centre of voxel 32 (its texture ends full with row 63) to the
// box's face, z through the whole box; each box point maps to its own voxel
// in the brick's textures, and the placement maps the proxy box onto the part.
TEST(Bricks, PlaceBrickMapsBoxPointsToTheirVoxels)
{
    const int texels[3] = {32, 32, 32};
    const int res[3] = {160, 64, 20};
    const float extent[3] = {1.0f, 0.4f, 0.125f};
    Brick b;
    placeBrick(b, 1, 2, 0, texels, res, extent);
    const float lo[3] = {31.5f / 160 - 0.5f, (62.5f / 64 - 0.5f) * 0.4f, -0.0625f};
    const float hi[3] = {62.5f / 160 - 0.5f, 0.2f, 0.0625f};
    const int first[3] = {31, 32, 0};
    for (int a = 0; a < 3; ++a) {
        EXPECT_FLOAT_EQ(b.lo[a], lo[a]) << a;
        EXPECT_FLOAT_EQ(b.hi[a], hi[a]) << a;
        EXPECT_FLOAT_EQ(b.placement[5 * a], (hi[a] - lo[a]) / extent[a]) << a;
        EXPECT_FLOAT_EQ(b.placement[12 + a], (hi[a] + lo[a]) / 2) << a;
        // The centre of voxel u: box point (u + 0.5) / n - 0.5 of the extent,
        // texel centre (u - first + 0.5) / texels.
        for (int u : {first[a], first[a] + 7, first[a] + 31}) {
            const float p = ((static_cast<float>(u) + 0.5f) / static_cast<float>(res[a]) - 0.5f) * extent[a];
            EXPECT_NEAR(p * b.texScale[a] + b.texOffset[a], (static_cast<float>(u - first[a]) + 0.5f) / 32, 1e-6)
                << a << " " << u;
        }
    }
    EXPECT_EQ(b.placement[15], 1.0f);
    EXPECT_EQ(b.placement[1], 0.0f);
    // The corners in the box's order: a corner below the centre takes lo.
    const float box[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                             {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    float corners[8][3];
    brickCorners(b, box, corners);
    EXPECT_EQ(corners[0][0], b.lo[0]);
    EXPECT_EQ(corners[6][1], b.hi[1]);
    EXPECT_EQ(corners[5][2], b.hi[2]);
    EXPECT_EQ(corners[3][1], b.hi[1]);
    EXPECT_EQ(corners[3][2], b.lo[2]);
}

TEST(Gradient, LongRowsMatchTheFormulaForEveryType)
{
    // Rows long enough for the vectorized row kernels, odd length for their tails.
    const int nx = 77, ny = 4, nz = 3;
    const size_t n = static_cast<size_t>(nx) * ny * nz;
    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1664525u + 1013904223u; };
    std::vector<uint8_t> u8(n);
    std::vector<int16_t> s16(n);
    std::vector<float> f32(n);
    for (size_t i = 0; i < n; ++i) {
        u8[i] = static_cast<uint8_t>(next() >> 24);
        s16[i] = static_cast<int16_t>(next() >> 16);
        f32[i] = static_cast<float>(next() >> 8) / 16777216.0f * 10.0f;
    }
    std::vector<uint8_t> g8(n * 3);
    std::vector<int16_t> g16(n * 3);
    std::vector<float> gf(n * 3);
    ASSERT_TRUE(computeGradient(g8.data(), nx, ny, nz, 1, u8.data(), GL_UNSIGNED_BYTE, 4));
    ASSERT_TRUE(computeGradient(g16.data(), nx, ny, nz, 1, s16.data(), GL_SHORT, 4));
    ASSERT_TRUE(computeGradient(gf.data(), nx, ny, nz, 1, f32.data(), GL_FLOAT, 4));
    const size_t step[3] = {1, static_cast<size_t>(nx), static_cast<size_t>(nx) * ny};
    int mismatches = 0;
    for (int z = 1; z < nz - 1; ++z)
        for (int y = 1; y < ny - 1; ++y)
            for (int x = 1; x < nx - 1; ++x) {
                const size_t i = (static_cast<size_t>(z) * ny + y) * nx + x;
                for (int a = 0; a < 3; ++a) {
                    // Half differences rounded half away from zero, held to
                    // 127 (bytes), 32767 (signed shorts), 127 steps of 1/255 (floats).
                    auto held = [](double h, double reach) { return std::min(std::max(h, -reach), reach); };
                    const double d8 = 128 + held(std::round((u8[i + step[a]] - u8[i - step[a]]) / 2.0), 127);
                    const double d16 = held(std::round((s16[i + step[a]] - s16[i - step[a]]) / 2.0), 32767);
                    const float steps = std::round((f32[i + step[a]] - f32[i - step[a]]) / 2.0f * 255.0f);
                    const float df = (128.0f + static_cast<float>(held(steps, 127))) / 255.0f;
                    mismatches += g8[i * 3 + a] != static_cast<uint8_t>(d8);
                    mismatches += g16[i * 3 + a] != static_cast<int16_t>(d16);
                    mismatches += gf[i * 3 + a] != df;
                }
            }
    EXPECT_EQ(mismatches, 0);
    // Magnitudes of the same gradients against the formula.
    std::vector<float> m(n);
    computeMagnitude(m.data(), nx, ny, nz, g8.data(), GL_UNSIGNED_BYTE);
    float largest = 0.0f;
    std::vector<float> want(n);
    for (size_t i = 0; i < n; ++i) {
        float sum = 0.0f;
        for (int a = 0; a < 3; ++a) {
            const float d = 2.0f * (static_cast<float>(g8[i * 3 + a]) - 128.0f);
            sum += d * d;
        }
        want[i] = std::sqrt(sum);
        largest = std::max(largest, want[i]);
    }
    for (size_t i = 0; i < n; ++i)
        ASSERT_FLOAT_EQ(m[i], want[i] / largest) << i;
}

TEST(StackSlices, WholeXStackBatchesEqualSingleSlices)
{
    // 48 x 40 x 5 voxels, padded 64 x 64 x 8: full 16 x 16 tiles and a
    // remainder of 8 rows; once from the padded layout, once unpadded. The
    // batch is written in two row ranges into slices spaced wider than
    // their size; the gaps stay untouched.
    const int res[3] = {48, 40, 5}, pad[3] = {64, 64, 8};
    std::vector<uint8_t> unpadded(48 * 40 * 5), padded(64 * 64 * 8, 0);
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 48; ++x) {
                const uint8_t value = static_cast<uint8_t>(1 + (x * 5 + y * 11 + z * 17) % 253);
                unpadded[(z * 40 + y) * 48 + x] = value;
                padded[(z * 64 + y) * 64 + x] = value;
            }
    const size_t slice = 64 * 8, stride = slice + 7;
    for (int source = 0; source < 2; ++source) {
        const uint8_t* src = source ? unpadded.data() : padded.data();
        const int rowLength = source ? 48 : 64, sliceRows = source ? 40 : 64;
        std::vector<uint8_t> batch(32 * stride, 0xAB), single(slice);
        copyXStack(batch.data(), stride, 16, 32, 3, 8, src, rowLength, sliceRows, res, pad, 1, GL_UNSIGNED_BYTE);
        copyXStack(batch.data(), stride, 16, 32, 0, 3, src, rowLength, sliceRows, res, pad, 1, GL_UNSIGNED_BYTE);
        for (int b = 0; b < 32; ++b) {
            copyStackSlice(single.data(), 0, 16 + b, src, rowLength, sliceRows, res, pad, 1, GL_UNSIGNED_BYTE);
            for (int t = 0; t < 8; ++t)
                for (int s = 0; s < 64; ++s) {
                    const uint8_t want = (s < 40 && t < 5) ? unpadded[(t * 40 + s) * 48 + 16 + b] : 0;
                    ASSERT_EQ(single[t * 64 + s], want) << source << " " << b << " " << s << " " << t;
                    ASSERT_EQ(batch[b * stride + t * 64 + s], want) << source << " " << b << " " << s << " " << t;
                }
            for (size_t gap = slice; gap < stride; ++gap)
                ASSERT_EQ(batch[b * stride + gap], 0xAB) << b;
        }
    }
}

TEST(StackSlices, XStackRowRangesOfTwoChannelShorts)
{
    // The element-wise path: 3 x 2 x 3 voxels of two 16-bit channels,
    // padded 4 x 2 x 4; rows 1 ... 3 of slices 1 and 2 only.
    const int res[3] = {3, 2, 3}, pad[3] = {4, 2, 4};
    std::vector<uint16_t> src(3 * 2 * 3 * 2);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<uint16_t>(1000 + i);
    const size_t slice = 2 * 4 * 2, stride = slice + 2;
    std::vector<uint16_t> out(2 * stride, 0xFFFF);
    copyXStack(out.data(), stride, 1, 2, 1, 4, src.data(), 3, 2, res, pad, 2, GL_UNSIGNED_SHORT);
    for (int b = 0; b < 2; ++b)
        for (int t = 0; t < 4; ++t)
            for (int s = 0; s < 2; ++s)
                for (int c = 0; c < 2; ++c) {
                    const uint16_t got = out[b * stride + (t * 2 + s) * 2 + c];
                    if (t == 0)
                        EXPECT_EQ(got, 0xFFFF) << "row 0 is not in the range";
                    else if (t < 3)
                        EXPECT_EQ(got, src[((t * 2 + s) * 3 + 1 + b) * 2 + c]) << b << s << t << c;
                    else
                        EXPECT_EQ(got, 0) << "row 3 lies beyond the data";
                }
}

namespace {

// copyXStack of a 37 x 45 x 7 volume of `ch` channels of T against the
// voxels themselves: slices 3 ... 31 (a count no block size divides), two
// row ranges, slices 5 elements further apart than their size.
template <typename T>
void expectXStackOf(GLenum glType, int ch)
{
    const int res[3] = {37, 45, 7}, pad[3] = {64, 64, 8};
    const size_t n = static_cast<size_t>(37) * 45 * 7 * ch;
    std::vector<T> src(n);
    for (size_t i = 0; i < n; ++i)
        src[i] = static_cast<T>(1 + (i * 7919) % 251);
    const size_t slice = static_cast<size_t>(64) * 8 * ch, stride = slice + 5;
    const int first = 3, count = 29;
    std::vector<T> out(count * stride, static_cast<T>(77));
    copyXStack(out.data(), stride, first, count, 0, 5, src.data(), 37, 45, res, pad, ch, glType);
    copyXStack(out.data(), stride, first, count, 5, 8, src.data(), 37, 45, res, pad, ch, glType);
    int mismatches = 0;
    for (int b = 0; b < count; ++b) {
        for (int t = 0; t < 8; ++t)
            for (int s = 0; s < 64; ++s)
                for (int c = 0; c < ch; ++c) {
                    const T want = s < 45 && t < 7 ? src[((static_cast<size_t>(t) * 45 + s) * 37 + first + b) * ch + c]
                                                   : static_cast<T>(0);
                    mismatches += out[b * stride + (static_cast<size_t>(t) * 64 + s) * ch + c] != want;
                }
        for (size_t gap = slice; gap < stride; ++gap)
            mismatches += out[b * stride + gap] != static_cast<T>(77);
    }
    EXPECT_EQ(mismatches, 0) << "glType " << glType << ", " << ch << " channels";
}

} // namespace

TEST(StackSlices, XStackOfEveryVoxelSize)
{
    // Voxels of 1, 2 and 4 bytes go through register blocks, the others
    // element by element; every one must give the same texels.
    expectXStackOf<uint8_t>(GL_UNSIGNED_BYTE, 1);
    expectXStackOf<uint8_t>(GL_UNSIGNED_BYTE, 2);
    expectXStackOf<uint8_t>(GL_UNSIGNED_BYTE, 3);
    expectXStackOf<uint8_t>(GL_UNSIGNED_BYTE, 4);
    expectXStackOf<uint16_t>(GL_UNSIGNED_SHORT, 1);
    expectXStackOf<uint16_t>(GL_UNSIGNED_SHORT, 2);
    expectXStackOf<int16_t>(GL_SHORT, 3);
    expectXStackOf<float>(GL_FLOAT, 1);
    expectXStackOf<uint32_t>(GL_UNSIGNED_INT, 2);
}
