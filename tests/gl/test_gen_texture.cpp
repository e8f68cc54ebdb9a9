// Volume textures on an offscreen context: what glGetTexImage reads back
// from the 3-D texture, the 2-D stacks, the gradient and magnitude textures
// and the bricks; progress and cancel; the bricking decision.
#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "gl_context.h"
#include "histogram.h"
#include "load.h"
#include "test_support.h"
#include "unit/load_test_util.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<int, std::string>> Reports;

Reports g_reports;
std::string g_cancelAt; // message whose report answers "cancel"

bool recordProgress(int percent, const char* message)
{
    g_reports.emplace_back(percent, message);
    return g_cancelAt != message;
}

unsigned char voxelValue(int x, int y, int z)
{
    return static_cast<unsigned char>(1 + (x * 7 + y * 13 + z * 29) % 250);
}

class GenTexture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        savedInternal = textureInternalFormat;
        savedFormat = textureFormat;
        savedFilter = textureFilter;
        textureInternalFormat = GL_INTENSITY8;
        textureFormat = GL_LUMINANCE;
        g_reports.clear();
        g_cancelAt.clear();
        baseline = g_garbageCollector.count();
    }
    void TearDown() override
    {
        if (data)
            RELEASE_VOXELS(data);
        v.release();
        setTextureSizeLimits(0, 0);
        textureInternalFormat = savedInternal;
        textureFormat = savedFormat;
        textureFilter = savedFilter;
        EXPECT_EQ(progressCallback, nullptr);
        EXPECT_EQ(g_garbageCollector.count(), baseline);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    // An nx x ny x nz volume of `channels` bytes per voxel, channel c of
    // voxel (x, y, z) = voxelValue(x + 3c, y, z).
    void makeVolume(int nx, int ny, int nz, int channels = 1)
    {
        v.resolution[0] = nx;
        v.resolution[1] = ny;
        v.resolution[2] = nz;
        v.nbrChannels = channels;
        v.setBoxProportions(1, 1, 1);
        const size_t n = static_cast<size_t>(nx) * ny * nz * channels;
        GUARDED_VOXELS_AS(data, "tmpdata", n);
        unsigned char* p = bytes();
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x)
                    for (int c = 0; c < channels; ++c)
                        *p++ = voxelValue(x + 3 * c, y, z);
    }
    unsigned char* bytes() { return static_cast<unsigned char*>(data); }
    bool generate() { return generateTextures(&data, GL_UNSIGNED_BYTE, v, recordProgress, gradients); }

    static GLint level0(GLenum target, GLuint texture, GLenum what)
    {
        GLint value = -1;
        glBindTexture(target, texture);
        glGetTexLevelParameteriv(target, 0, what, &value);
        return value;
    }
    // Level 0 of a texture as `format` / `type`, `size` bytes a texel.
    static std::vector<unsigned char> read(GLenum target, GLuint texture, GLenum format, GLenum type, int size)
    {
        const size_t n = static_cast<size_t>(level0(target, texture, GL_TEXTURE_WIDTH)) *
                         level0(target, texture, GL_TEXTURE_HEIGHT) *
                         (target == GL_TEXTURE_3D ? level0(target, texture, GL_TEXTURE_DEPTH) : 1);
        std::vector<unsigned char> texels(n * size, 0xCD);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(target, 0, format, type, texels.data());
        return texels;
    }
    static std::vector<unsigned char> read2D(GLuint texture, GLenum format = GL_LUMINANCE, int size = 1)
    {
        return read(GL_TEXTURE_2D, texture, format, GL_UNSIGNED_BYTE, size);
    }
    bool logged(const LogCapture& log, const char* line) const
    {
        return log.text().find(line) != std::string::npos;
    }

    // Every texel of slice i of stack `axis` of a one-channel volume holds
    // its voxel, and zero outside the data.
    void expectStackSlice(int axis, int i)
    {
        const GLuint* names[3] = {v.tidx, v.tidy, v.tidz};
        const GLuint name = names[axis][i];
        const int w = level0(GL_TEXTURE_2D, name, GL_TEXTURE_WIDTH);
        const int h = level0(GL_TEXTURE_2D, name, GL_TEXTURE_HEIGHT);
        const std::vector<unsigned char> t = read2D(name);
        const int* r = v.resolution;
        int mismatches = 0;
        for (int tt = 0; tt < h; ++tt)
            for (int s = 0; s < w; ++s) {
                const int x = axis == 0 ? i : s;
                const int y = axis == 0 ? s : axis == 1 ? i : tt;
                const int z = axis == 2 ? i : tt;
                const bool inside = x < r[0] && y < r[1] && z < r[2];
                const unsigned char want = inside ? voxelValue(x, y, z) : 0;
                mismatches += t[static_cast<size_t>(tt) * w + s] != want;
            }
        EXPECT_EQ(mismatches, 0) << "axis " << axis << " slice " << i;
    }

    OffscreenContext ctx{16, 16};
    Volume v;
    void* data = nullptr;
    uint32_t baseline = 0;
    bool gradients = false; // build gradient and magnitude textures
    GLenum savedInternal = GL_INTENSITY;
    GLenum savedFormat = GL_LUMINANCE;
    float savedFilter = 9729.0f;
};

const Reports kStackReports = {{60, "Generating 2D textures (x stack)."},
                               {70, "Generating 2D textures (y stack)."},
                               {80, "Generating 2D textures (z stack)."},
                               {90, "Done."}};

} // namespace

TEST_F(GenTexture, PadsTo256x256x128AndUploadsTheVoxelsWithZerosBeyond)
{
    makeVolume(256, 256, 100);
    const void* before = data;
    ASSERT_TRUE(generate());
    EXPECT_NE(data, before); // replaced by the padded copy
    EXPECT_FALSE(v.isBricking);
    EXPECT_EQ(v.resolution[2], 100);
    EXPECT_FLOAT_EQ(v.texScale3D[0], 1.0f);
    EXPECT_FLOAT_EQ(v.texScale3D[1], 1.0f);
    EXPECT_FLOAT_EQ(v.texScale3D[2], 0.78125f);
    ASSERT_NE(v.tidVolume, 0u);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_HEIGHT), 256);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_DEPTH), 128);
    const std::vector<unsigned char> t = read(GL_TEXTURE_3D, v.tidVolume, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    int mismatches = 0;
    for (int z = 0; z < 128; ++z)
        for (int y = 0; y < 256; y += 5)
            for (int x = 0; x < 256; x += 3)
                mismatches += t[(static_cast<size_t>(z) * 256 + y) * 256 + x] != (z < 100 ? voxelValue(x, y, z) : 0);
    EXPECT_EQ(mismatches, 0);
    // The padded buffer is what the loader frees; it holds the padded layout.
    EXPECT_EQ(bytes()[(static_cast<size_t>(99) * 256 + 255) * 256 + 255], voxelValue(255, 255, 99));
    EXPECT_EQ(bytes()[static_cast<size_t>(100) * 256 * 256], 0);
    EXPECT_EQ(g_reports, kStackReports);
}

TEST_F(GenTexture, StacksOf100x60x30HaveTheirSizesScalesAndVoxels)
{
    makeVolume(100, 60, 30);
    ASSERT_TRUE(generate());
    EXPECT_FLOAT_EQ(v.texScale2D[0], 0.78125f);
    EXPECT_FLOAT_EQ(v.texScale2D[1], 0.9375f);
    EXPECT_FLOAT_EQ(v.texScale2D[2], 0.9375f);
    const GLuint* names[3] = {v.tidx, v.tidy, v.tidz};
    const int sizes[3][2] = {{64, 32}, {128, 32}, {128, 64}};
    for (int axis = 0; axis < 3; ++axis) {
        ASSERT_NE(names[axis], nullptr);
        for (int i = 0; i < v.resolution[axis]; ++i) {
            EXPECT_EQ(level0(GL_TEXTURE_2D, names[axis][i], GL_TEXTURE_WIDTH), sizes[axis][0]) << axis;
            EXPECT_EQ(level0(GL_TEXTURE_2D, names[axis][i], GL_TEXTURE_HEIGHT), sizes[axis][1]) << axis;
        }
        for (int i : {0, 1, v.resolution[axis] / 2, v.resolution[axis] - 1})
            expectStackSlice(axis, i);
    }
    // The 2-D stacks get the filter and wrap of every volume texture.
    glBindTexture(GL_TEXTURE_2D, v.tidy[7]);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
}

TEST_F(GenTexture, BrickedVolumesBuildTheSameStacksFromTheUnpaddedBuffer)
{
    setTextureSizeLimits(0, 64); // 100 pads to 128: beyond this 3-D limit
    makeVolume(100, 60, 30);
    const void* before = data;
    ASSERT_TRUE(generate());
    EXPECT_TRUE(v.isBricking);
    EXPECT_EQ(data, before); // no padded copy when bricking
    EXPECT_EQ(v.tidVolume, 0u);
    ASSERT_NE(v.myBrickInfo, nullptr);
    EXPECT_EQ(v.myBrickInfo->getCount(), 4 * 2 * 1);
    for (int axis = 0; axis < 3; ++axis)
        for (int i : {0, v.resolution[axis] / 3, v.resolution[axis] - 1})
            expectStackSlice(axis, i);
    EXPECT_FLOAT_EQ(v.texScale2D[0], 0.78125f);
}

TEST_F(GenTexture, TwoChannelVolumesUploadTwoElementsPerTexel)
{
    textureInternalFormat = GL_LUMINANCE8_ALPHA8;
    textureFormat = GL_LUMINANCE_ALPHA;
    makeVolume(5, 3, 2, 2);
    ASSERT_TRUE(generate());
    const std::vector<unsigned char> t = read(GL_TEXTURE_3D, v.tidVolume, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 2);
    ASSERT_EQ(t.size(), 8u * 4 * 2 * 2);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                for (int c = 0; c < 2; ++c) {
                    const bool inside = x < 5 && y < 3;
                    EXPECT_EQ(t[((static_cast<size_t>(z) * 4 + y) * 8 + x) * 2 + c],
                              inside ? voxelValue(x + 3 * c, y, z) : 0);
                }
    // Slice x = 4 of the x stack: 4 x 2 texels (s = y, t = z) of two elements.
    const std::vector<unsigned char> sx = read2D(v.tidx[4], GL_LUMINANCE_ALPHA, 2);
    ASSERT_EQ(sx.size(), 4u * 2 * 2);
    for (int t2 = 0; t2 < 2; ++t2)
        for (int s = 0; s < 4; ++s)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(sx[(static_cast<size_t>(t2) * 4 + s) * 2 + c], s < 3 ? voxelValue(4 + 3 * c, s, t2) : 0);
    // Slice y = 2 of the y stack: 8 x 2 texels (s = x, t = z).
    const std::vector<unsigned char> sy = read2D(v.tidy[2], GL_LUMINANCE_ALPHA, 2);
    ASSERT_EQ(sy.size(), 8u * 2 * 2);
    for (int t2 = 0; t2 < 2; ++t2)
        for (int s = 0; s < 8; ++s)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(sy[(static_cast<size_t>(t2) * 8 + s) * 2 + c], s < 5 ? voxelValue(s + 3 * c, 2, t2) : 0);
    // Slice z = 1 of the z stack: 8 x 4 texels (s = x, t = y).
    const std::vector<unsigned char> sz = read2D(v.tidz[1], GL_LUMINANCE_ALPHA, 2);
    ASSERT_EQ(sz.size(), 8u * 4 * 2);
    for (int t2 = 0; t2 < 4; ++t2)
        for (int s = 0; s < 8; ++s)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(sz[(static_cast<size_t>(t2) * 8 + s) * 2 + c],
                          s < 5 && t2 < 3 ? voxelValue(s + 3 * c, t2, 1) : 0);
}

TEST_F(GenTexture, LargeXStacksComeOutWholeFromEveryBatch)
{
    // Several megabytes of x stack: gathered in batches by two threads,
    // with the batch edges on the source's cache lines.
    makeVolume(200, 150, 90);
    ASSERT_TRUE(generate());
    ASSERT_NE(v.tidx, nullptr);
    for (int i = 0; i < 200; ++i)
        expectStackSlice(0, i);
    expectStackSlice(1, 149);
    expectStackSlice(2, 89);
}

TEST_F(GenTexture, LargeTwoChannelXStacksKeepTheirElementsTogether)
{
    textureInternalFormat = GL_LUMINANCE8_ALPHA8;
    textureFormat = GL_LUMINANCE_ALPHA;
    makeVolume(130, 100, 70, 2);
    ASSERT_TRUE(generate());
    ASSERT_NE(v.tidx, nullptr);
    int mismatches = 0;
    for (int x = 0; x < 130; ++x) {
        const std::vector<unsigned char> t = read2D(v.tidx[x], GL_LUMINANCE_ALPHA, 2);
        ASSERT_EQ(t.size(), 128u * 128 * 2);
        for (int z = 0; z < 128; ++z)
            for (int y = 0; y < 128; ++y)
                for (int c = 0; c < 2; ++c) {
                    const unsigned char want = y < 100 && z < 70 ? voxelValue(x + 3 * c, y, z) : 0;
                    mismatches += t[(static_cast<size_t>(z) * 128 + y) * 2 + c] != want;
                }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(GenTexture, RowsOfOneByteAreReadTightly)
{
    // One-voxel-wide rows: every stack texture row is a single byte.
    makeVolume(1, 3, 5);
    ASSERT_TRUE(generate());
    for (int axis = 0; axis < 3; ++axis)
        for (int i = 0; i < v.resolution[axis]; ++i)
            expectStackSlice(axis, i);
    const std::vector<unsigned char> t = read(GL_TEXTURE_3D, v.tidVolume, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    ASSERT_EQ(t.size(), 1u * 4 * 8);
    EXPECT_EQ(t[4 * 4 + 2], voxelValue(0, 2, 4));
    EXPECT_EQ(t[4 * 4 + 3], 0);
}

// The gradients the textures of a padded volume hold: those of the data's
// voxels (res of them, at the start of the padded grid pad at data), the
// zero gradient in the padding; as bytes of type's elements.
std::vector<unsigned char> gradientsInPaddedGrid(const void* data, const int res[3], const int pad[3], GLenum type)
{
    const size_t element = type == GL_UNSIGNED_SHORT ? 2 : 1;
    const size_t voxel = element * 3;
    std::vector<unsigned char> dense(static_cast<size_t>(res[0]) * res[1] * res[2] * element);
    for (int z = 0; z < res[2]; ++z)
        for (int y = 0; y < res[1]; ++y)
            std::memcpy(&dense[(static_cast<size_t>(z) * res[1] + y) * res[0] * element],
                        static_cast<const unsigned char*>(data) +
                            (static_cast<size_t>(z) * pad[1] + y) * pad[0] * element,
                        static_cast<size_t>(res[0]) * element);
    std::vector<unsigned char> g(dense.size() * 3);
    EXPECT_TRUE(computeGradient(g.data(), res[0], res[1], res[2], 1, dense.data(), type, 4));
    unsigned char zero[12];
    zeroGradientTexel(type, zero);
    std::vector<unsigned char> out(static_cast<size_t>(pad[0]) * pad[1] * pad[2] * voxel);
    for (size_t i = 0; i < out.size(); i += voxel)
        std::memcpy(&out[i], zero, voxel);
    for (int z = 0; z < res[2]; ++z)
        for (int y = 0; y < res[1]; ++y)
            std::memcpy(&out[(static_cast<size_t>(z) * pad[1] + y) * pad[0] * voxel],
                        &g[(static_cast<size_t>(z) * res[1] + y) * res[0] * voxel], static_cast<size_t>(res[0]) * voxel);
    return out;
}

TEST_F(GenTexture, GradientAndMagnitudeTexturesHoldTheComputedValues)
{
    gradients = true;
    makeVolume(6, 5, 4);
    // x neighbours 10 and 20 around (2, 2, 2), 20 and 10 around (3, 2, 2).
    unsigned char* p = bytes();
    const size_t at = (2 * 5 + 2) * 6;
    p[at + 1] = 10;
    p[at + 3] = 20;
    p[at + 2] = 20;
    p[at + 4] = 10;
    ASSERT_TRUE(generate());
    ASSERT_NE(v.tidGradient, 0u);
    ASSERT_NE(v.tidMagnitude, 0u);
    EXPECT_TRUE(glIsTexture(v.tidMagnitude));
    // The gradients of the 6 x 5 x 4 data in the padded 8 x 8 x 4 grid: the
    // data's last voxels are its boundary, not neighbours of the padding.
    const int res[3] = {6, 5, 4};
    const int pad[3] = {8, 8, 4};
    const std::vector<unsigned char> expected = gradientsInPaddedGrid(data, res, pad, GL_UNSIGNED_BYTE);
    const std::vector<unsigned char> g = read(GL_TEXTURE_3D, v.tidGradient, GL_RGB, GL_UNSIGNED_BYTE, 3);
    ASSERT_EQ(g, expected);
    EXPECT_EQ(g[((2 * 8 + 2) * 8 + 2) * 3], 133);
    EXPECT_EQ(g[((2 * 8 + 2) * 8 + 3) * 3], 123);
    std::vector<float> magnitude(8 * 8 * 4);
    computeMagnitude(magnitude.data(), 8, 8, 4, expected.data(), GL_UNSIGNED_BYTE);
    const std::vector<unsigned char> m = read(GL_TEXTURE_3D, v.tidMagnitude, GL_LUMINANCE, GL_FLOAT, 4);
    ASSERT_EQ(m.size(), magnitude.size() * 4);
    const float* mf = reinterpret_cast<const float*>(m.data());
    for (size_t i = 0; i < magnitude.size(); ++i)
        ASSERT_NEAR(mf[i], magnitude[i], 1.0f / 255.0f + 1e-6f) << i;
    // Boundary voxels hold the zero gradient, 128 in every component, and no length.
    EXPECT_EQ(std::vector<unsigned char>(g.begin(), g.begin() + 3), std::vector<unsigned char>(3, 128));
    EXPECT_FLOAT_EQ(mf[0], 0.0f);
    EXPECT_FLOAT_EQ(*std::max_element(mf, mf + magnitude.size()), 1.0f);
    // A gradient report after every interior slice of the padded volume.
    Reports want = {{30, "Generating gradient."}, {40, "Generating gradient."}};
    want.insert(want.end(), kStackReports.begin(), kStackReports.end());
    EXPECT_EQ(g_reports, want);
}

// The magnitude texture is filled with bytes computed here; they must be
// what the driver itself makes of the float lengths it used to be given.
// 8-bit data (looked up) and 16-bit data (computed), over several upload
// slabs (64 x 128 texels: 256 planes a slab of 8 MiB for the 16-bit RGBA).
TEST_F(GenTexture, MagnitudeBytesEqualTheDriversConversionOfTheLengths)
{
    gradients = true;
    for (GLenum type : {static_cast<GLenum>(GL_UNSIGNED_BYTE), static_cast<GLenum>(GL_UNSIGNED_SHORT)}) {
        SCOPED_TRACE(type);
        const int nx = 64, ny = 128, nz = type == GL_UNSIGNED_SHORT ? 300 : 20;
        const size_t n = static_cast<size_t>(nx) * ny * nz, element = type == GL_UNSIGNED_SHORT ? 2 : 1;
        v.resolution[0] = nx;
        v.resolution[1] = ny;
        v.resolution[2] = nz;
        v.nbrChannels = 1;
        v.setBoxProportions(1, 1, 1);
        GUARDED_VOXELS_AS(data, "tmpdata", n * element);
        for (size_t i = 0; i < n; ++i) {
            const unsigned value = static_cast<unsigned>((i * 2654435761u) >> 7) % 4099u + (i % 37) * 211u;
            if (element == 2)
                static_cast<uint16_t*>(data)[i] = static_cast<uint16_t>(value * 13u);
            else
                bytes()[i] = static_cast<unsigned char>(value);
        }
        ASSERT_TRUE(generateTextures(&data, type, v, recordProgress, gradients));
        ASSERT_FALSE(v.isBricking);
        const int padded[3] = {nx, ny, nextPowerOfTwo(nz)};
        const size_t voxels = static_cast<size_t>(padded[0]) * padded[1] * padded[2];
        const int res[3] = {nx, ny, nz};
        const std::vector<unsigned char> gradient = gradientsInPaddedGrid(data, res, padded, type);
        std::vector<float> lengths(voxels);
        computeMagnitude(lengths.data(), padded[0], padded[1], padded[2], gradient.data(), type);
        GLuint reference = 0;
        glGenTextures(1, &reference);
        glBindTexture(GL_TEXTURE_3D, reference);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY, padded[0], padded[1], padded[2], 0, GL_LUMINANCE, GL_FLOAT,
                     lengths.data());
        const std::vector<unsigned char> want = read(GL_TEXTURE_3D, reference, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
        glDeleteTextures(1, &reference);
        const std::vector<unsigned char> got = read(GL_TEXTURE_3D, v.tidMagnitude, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
        ASSERT_EQ(got.size(), voxels);
        size_t differing = 0, middle = 0;
        for (size_t i = 0; i < voxels; ++i) {
            differing += got[i] != want[i];
            middle += got[i] > 0 && got[i] < 255;
        }
        EXPECT_EQ(differing, 0u);
        EXPECT_GT(middle, voxels / 4); // lengths of every size, not only 0 and 1
        // The gradient texture holds the gradients, 16-bit ones at 8 bits.
        const std::vector<unsigned char> g = read(GL_TEXTURE_3D, v.tidGradient, GL_RGB, GL_UNSIGNED_BYTE, 3);
        for (size_t i = 0; i < voxels * 3; i += 997) {
            const double stored = element == 2 ? reinterpret_cast<const uint16_t*>(gradient.data())[i] / 257.0
                                               : gradient[i];
            ASSERT_NEAR(g[i], stored, 0.5) << i;
        }
        v.release();
        RELEASE_VOXELS(data);
    }
}

// The same data as bytes, as 16-bit values (x 257) and as floats (/ 255)
// give the same 8-bit gradient texels: every type stores a zero gradient as
// 128/255 of its range, which the texel holds as 128 (the boundary voxels
// show it), and rounds half differences the same way. Floats, whose
// differences of k / 255 carry rounding, may land on the other side of a
// half step.
TEST_F(GenTexture, GradientTexelsAgreeForEveryDataType)
{
    gradients = true;
    const int n = 8;
    const size_t count = static_cast<size_t>(n) * n * n;
    auto value = [](size_t i) {
        const int x = static_cast<int>(i % n), y = static_cast<int>(i / n % n), z = static_cast<int>(i / n / n);
        return (37 * x * x + 11 * y + 5 * z * z + 3 * x * y * z) % 256;
    };
    std::vector<unsigned char> texels[3];
    const GLenum types[3] = {GL_UNSIGNED_BYTE, GL_UNSIGNED_SHORT, GL_FLOAT};
    for (int t = 0; t < 3; ++t) {
        v.resolution[0] = v.resolution[1] = v.resolution[2] = n;
        v.nbrChannels = 1;
        v.setBoxProportions(1, 1, 1);
        GUARDED_VOXELS_AS(data, "tmpdata", count * (t == 0 ? 1 : t == 1 ? 2 : 4));
        for (size_t i = 0; i < count; ++i) {
            if (t == 0)
                bytes()[i] = static_cast<unsigned char>(value(i));
            else if (t == 1)
                static_cast<uint16_t*>(data)[i] = static_cast<uint16_t>(value(i) * 257);
            else
                static_cast<float*>(data)[i] = static_cast<float>(value(i)) / 255.0f;
        }
        ASSERT_TRUE(generateTextures(&data, types[t], v, recordProgress, gradients));
        texels[t] = read(GL_TEXTURE_3D, v.tidGradient, GL_RGB, GL_UNSIGNED_BYTE, 3);
        ASSERT_EQ(texels[t].size(), count * 3);
        v.release();
        RELEASE_VOXELS(data);
    }
    int boundary = 0, sixteen = 0, floats = 0, halfSteps = 0;
    for (size_t i = 0; i < count * 3; ++i) {
        if (i / 3 % n == 0)
            boundary += texels[0][i] != 128 || texels[1][i] != 128 || texels[2][i] != 128;
        sixteen += texels[1][i] != texels[0][i];
        floats += std::abs(texels[2][i] - texels[0][i]) > 1;
        halfSteps += texels[2][i] != texels[0][i];
    }
    EXPECT_EQ(boundary, 0);
    EXPECT_EQ(sixteen, 0);
    EXPECT_EQ(floats, 0);
    EXPECT_LT(halfSteps, static_cast<int>(count * 3 / 4)) << "most float texels equal the bytes'";
}

TEST_F(GenTexture, MagnitudeTextureGoesWithTheDataNotWithTheMask)
{
    gradients = true;
    makeVolume(8, 8, 8);
    ASSERT_TRUE(generate());
    const GLuint magnitude = v.tidMagnitude;
    ASSERT_NE(magnitude, 0u);
    void* mask = nullptr;
    GUARDED_VOXELS_AS(mask, "mask", 8 * 8 * 8);
    ASSERT_TRUE(generateMaskTexture(&mask, GL_UNSIGNED_BYTE, v, recordProgress));
    ASSERT_NE(v.tidMask, 0u);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidMask, GL_TEXTURE_DEPTH), 8);
    v.deleteTextures(false);
    EXPECT_EQ(v.tidMask, 0u);
    EXPECT_EQ(v.tidMagnitude, magnitude);
    EXPECT_TRUE(glIsTexture(magnitude));
    EXPECT_TRUE(glIsTexture(v.tidVolume));
    ASSERT_NE(v.tidz, nullptr);
    v.deleteTextures(true);
    EXPECT_EQ(v.tidMagnitude, 0u);
    EXPECT_FALSE(glIsTexture(magnitude));
    RELEASE_VOXELS(mask);
}

TEST_F(GenTexture, MaskTexturePadsAndKeepsTheDataScale)
{
    makeVolume(100, 60, 30);
    ASSERT_TRUE(generate());
    v.texScale3D[0] = 0.5f; // a mask does not touch it
    void* mask = nullptr;
    GUARDED_VOXELS_AS(mask, "mask", 100 * 60 * 30);
    static_cast<unsigned char*>(mask)[(29 * 60 + 59) * 100 + 99] = 255;
    ASSERT_TRUE(generateMaskTexture(&mask, GL_UNSIGNED_BYTE, v, recordProgress));
    EXPECT_FLOAT_EQ(v.texScale3D[0], 0.5f);
    const std::vector<unsigned char> t = read(GL_TEXTURE_3D, v.tidMask, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    ASSERT_EQ(t.size(), 128u * 64 * 32);
    EXPECT_EQ(t[(29 * 64 + 59) * 128 + 99], 255);
    EXPECT_EQ(t[(29 * 64 + 59) * 128 + 100], 0);
    RELEASE_VOXELS(mask);
}

TEST_F(GenTexture, NoGradientsWithoutTheShadedPrograms)
{
    makeVolume(8, 8, 8);
    ASSERT_TRUE(generate());
    EXPECT_NE(v.tidVolume, 0u);
    EXPECT_TRUE(glIsTexture(v.tidGradient)); // an object the release will find
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidGradient, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(v.tidMagnitude, 0u);
    EXPECT_EQ(g_reports, kStackReports);
    // Bricked: every brick without gradient and magnitude textures.
    RELEASE_VOXELS(data);
    v.deleteTextures(true);
    setTextureSizeLimits(0, 4);
    makeVolume(40, 8, 8);
    ASSERT_TRUE(generate());
    ASSERT_TRUE(v.isBricking);
    ASSERT_NE(v.myBrickInfo, nullptr);
    ASSERT_EQ(v.myBrickInfo->getCount(), 2);
    for (int b = 0; b < 2; ++b) {
        EXPECT_NE(v.myBrickInfo->getBrick(b)->texData, 0u);
        EXPECT_EQ(v.myBrickInfo->getBrick(b)->texGradient, 0u);
        EXPECT_EQ(v.myBrickInfo->getBrick(b)->texMagnitude, 0u);
    }
}

TEST_F(GenTexture, BrickingFrom4096VoxelsOrBeyondThe3DLimit)
{
    {
        LogCapture log;
        makeVolume(4096, 16, 16);
        ASSERT_TRUE(generate());
        EXPECT_TRUE(v.isBricking);
        EXPECT_TRUE(logged(log, "Bricking enabled\n"));
        EXPECT_TRUE(logged(log, "overlapping enabled\n"));
        EXPECT_EQ(v.myBrickInfo->getCount(), 133); // 31 new voxels a brick
    }
    RELEASE_VOXELS(data);
    v.deleteTextures(true);
    {
        // A driver whose 3-D limit holds 4096 takes 4095 voxels in one texture.
        LogCapture log;
        setTextureSizeLimits(0, 4096);
        makeVolume(4095, 16, 16);
        ASSERT_TRUE(generate());
        while (glGetError() != GL_NO_ERROR) { // Mesa itself stops at 2048
        }
        EXPECT_FALSE(v.isBricking);
        EXPECT_EQ(v.myBrickInfo, nullptr); // the bricks of the last load went
        EXPECT_FALSE(logged(log, "Bricking enabled"));
        EXPECT_FLOAT_EQ(v.texScale3D[0], 4095.0f / 4096.0f);
    }
    RELEASE_VOXELS(data);
    v.deleteTextures(true);
    {
        // Mesa's own limit of 2048: the padded 4096 does not fit, so bricks.
        LogCapture log;
        setTextureSizeLimits(0, 0);
        ASSERT_LT(max3DTextureSize(), 4096);
        makeVolume(4095, 16, 16);
        ASSERT_TRUE(generate());
        EXPECT_TRUE(v.isBricking);
        EXPECT_TRUE(logged(log, "Bricking enabled\n"));
        EXPECT_EQ(v.tidVolume, 0u);
        EXPECT_EQ(v.myBrickInfo->getCount(), 133);
        EXPECT_FLOAT_EQ(v.texScale3D[0], 1.0f);
    }
}

TEST_F(GenTexture, BricksOf4100x64x33PlacedZMajorSharingTheirBorderVoxels)
{
    makeVolume(4100, 64, 33);
    v.setBoxProportions(1, 1, 1);
    ASSERT_TRUE(generate());
    ASSERT_TRUE(v.isBricking);
    const BrickInfo* info = v.myBrickInfo;
    ASSERT_NE(info, nullptr);
    // 31 new voxels a brick: 133 along x, 3 along y (64 voxels), 2 along z.
    ASSERT_EQ(info->getCount(), 133 * 3 * 2);
    EXPECT_EQ(info->getBrickSize(), 32);
    EXPECT_EQ(info->getBrick(798), nullptr);
    EXPECT_EQ(info->getBrick(-1), nullptr);
    // Build order: x fastest, then y, then z; parts and texture maps follow.
    const int size[3] = {32, 32, 32};
    for (int n : {0, 1, 132, 133, 399, 797}) {
        const int k = n % 133, j = (n / 133) % 3, i = n / 399;
        Brick want;
        placeBrick(want, k, j, i, size, v.resolution, v.extent);
        const Brick* b = info->getBrick(n);
        ASSERT_NE(b, nullptr);
        for (int e = 0; e < 16; ++e)
            EXPECT_FLOAT_EQ(b->placement[e], want.placement[e]) << n << " " << e;
        for (int a = 0; a < 3; ++a) {
            EXPECT_FLOAT_EQ(b->lo[a], want.lo[a]) << n << " " << a;
            EXPECT_FLOAT_EQ(b->texOffset[a], want.texOffset[a]) << n << " " << a;
        }
    }
    EXPECT_EQ(info->getBrick(1)->lo[0], info->getBrick(0)->hi[0]);
    EXPECT_EQ(info->getBrick(1)->lo[1], info->getBrick(0)->lo[1]);

    auto texels = [&](int n) {
        return read(GL_TEXTURE_3D, info->getBrick(n)->texData, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    };
    // Count of texels (x, y, z) of brick n that do not hold want(x, y, z).
    auto mismatches = [&](int n, const std::function<int(int, int, int)>& want) {
        const std::vector<unsigned char> t = texels(n);
        int count = t.size() == 32u * 32 * 32 ? 0 : 1;
        for (int z = 0; count == 0 && z < 32; ++z)
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                    count += t[(z * 32 + y) * 32 + x] != want(x, y, z);
        return count;
    };
    // Brick 1 starts with the last voxel column of brick 0.
    EXPECT_EQ(mismatches(1, [](int x, int y, int z) { return voxelValue(31 + x, y, z); }), 0);
    // The last along x: voxels 4092 ... 4099, then zeros as the padding of a
    // single texture would be.
    EXPECT_EQ(mismatches(132, [](int x, int y, int z) { return x < 8 ? voxelValue(4092 + x, y, z) : 0; }), 0);
    // The last along y ends full, at the end of 64 rows, as a single texture would.
    EXPECT_EQ(mismatches(266, [](int x, int y, int z) { return voxelValue(x, 32 + y, z); }), 0);
    // The top one along z holds slices 31 and 32.
    EXPECT_EQ(mismatches(399 + 5, [](int x, int y, int z) { return z < 2 ? voxelValue(5 * 31 + x, y, 31 + z) : 0; }),
              0);
}

TEST_F(GenTexture, BrickGradientsKeepTheDataElementType)
{
    gradients = true;
    setTextureSizeLimits(0, 16);
    // 16-bit voxels: a gradient voxel is three 16-bit elements.
    v.resolution[0] = 40;
    v.resolution[1] = 6;
    v.resolution[2] = 5;
    v.nbrChannels = 1;
    v.setBoxProportions(1, 1, 1);
    GUARDED_VOXELS_AS(data, "tmpdata", 40 * 6 * 5 * 2);
    uint16_t* p = static_cast<uint16_t*>(data);
    for (int i = 0; i < 40 * 6 * 5; ++i)
        p[i] = static_cast<uint16_t>((i % 40) * 1000);
    textureInternalFormat = GL_INTENSITY16;
    ASSERT_TRUE(generateTextures(&data, GL_UNSIGNED_SHORT, v, recordProgress, gradients));
    ASSERT_TRUE(v.isBricking);
    ASSERT_EQ(v.myBrickInfo->getCount(), 2);
    std::vector<uint16_t> gradient(40 * 6 * 5 * 3);
    ASSERT_TRUE(computeGradient(gradient.data(), 40, 6, 5, 1, data, GL_UNSIGNED_SHORT, 4));
    const Brick* second = v.myBrickInfo->getBrick(1);
    ASSERT_NE(second->texGradient, 0u);
    ASSERT_NE(second->texMagnitude, 0u);
    // The unsized GL_RGB may keep 8 bits a component: compare at that precision.
    const std::vector<unsigned char> g = read(GL_TEXTURE_3D, second->texGradient, GL_RGB, GL_UNSIGNED_BYTE, 3);
    // Voxel (33, 2, 3) of the volume is (2, 2, 3) of the second brick, which
    // starts with the first brick's last voxel x = 31; its textures are
    // 32 x 8 x 8 (the thin sides padded as a whole texture would be).
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(g[((3 * 8 + 2) * 32 + 2) * 3 + a], gradient[((3 * 6 + 2) * 40 + 33) * 3 + a] / 257.0, 1.0)
            << a;
    EXPECT_EQ(gradient[((3 * 6 + 2) * 40 + 33) * 3], 32896 + 1000);
    EXPECT_NEAR(g[((3 * 8 + 2) * 32 + 0) * 3], gradient[((3 * 6 + 2) * 40 + 31) * 3] / 257.0, 1.0); // shared
    EXPECT_EQ(g[((3 * 8 + 2) * 32 + 9) * 3], 128); // beyond x = 39: the zero gradient
    EXPECT_NEAR(g[((3 * 8 + 2) * 32 + 7) * 3], 33896 / 257.0, 1.0); // x = 38
    EXPECT_EQ(g[((3 * 8 + 2) * 32 + 8) * 3], 128); // x = 39: the volume's boundary, the zero gradient
    // The shared voxel x = 31: the last of the first brick, the first of the
    // second, in the gradient and the magnitude textures alike.
    const Brick* first = v.myBrickInfo->getBrick(0);
    const std::vector<unsigned char> g0 = read(GL_TEXTURE_3D, first->texGradient, GL_RGB, GL_UNSIGNED_BYTE, 3);
    const std::vector<unsigned char> m0 = read(GL_TEXTURE_3D, first->texMagnitude, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    const std::vector<unsigned char> m1 = read(GL_TEXTURE_3D, second->texMagnitude, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1);
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 6; ++y) {
            const size_t shared1 = (static_cast<size_t>(z) * 8 + y) * 32;
            const size_t shared0 = shared1 + 31;
            for (int a = 0; a < 3; ++a)
                EXPECT_EQ(g0[shared0 * 3 + a], g[shared1 * 3 + a]) << y << " " << z;
            EXPECT_EQ(m0[shared0], m1[shared1]) << y << " " << z;
        }
    EXPECT_GT(m1[(3 * 8 + 2) * 32], 0);
    const Reports tail = {{60, "Creating bricking structure."}, {60, "Generating 2D textures (x stack)."}};
    ASSERT_GE(g_reports.size(), 5u);
    EXPECT_EQ(g_reports.front(), std::make_pair(28, std::string("Generating gradient.")));
    EXPECT_EQ(Reports(g_reports.end() - 5, g_reports.end() - 3), tail);
}

TEST_F(GenTexture, CancelAtTheXStackKeepsThe3DTextureAndMakesNoStacks)
{
    makeVolume(16, 8, 4);
    g_cancelAt = "Generating 2D textures (x stack).";
    EXPECT_FALSE(generate());
    EXPECT_EQ(g_reports, Reports(kStackReports.begin(), kStackReports.begin() + 1));
    EXPECT_EQ(progressCallback, nullptr);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_WIDTH), 16);
    const GLuint* names[3] = {v.tidx, v.tidy, v.tidz};
    for (int axis = 0; axis < 3; ++axis) {
        ASSERT_NE(names[axis], nullptr); // the names exist, without images
        for (int i = 0; i < v.resolution[axis]; ++i)
            EXPECT_EQ(level0(GL_TEXTURE_2D, names[axis][i], GL_TEXTURE_WIDTH), 0);
    }
}

TEST_F(GenTexture, CancelAtTheZStackLeavesXAndYBuiltAndZEmpty)
{
    makeVolume(16, 8, 4);
    g_cancelAt = "Generating 2D textures (z stack).";
    EXPECT_FALSE(generate());
    EXPECT_EQ(g_reports, Reports(kStackReports.begin(), kStackReports.begin() + 3));
    for (int i = 0; i < 16; ++i)
        expectStackSlice(0, i);
    for (int i = 0; i < 8; ++i)
        expectStackSlice(1, i);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(level0(GL_TEXTURE_2D, v.tidz[i], GL_TEXTURE_WIDTH), 0);
}

TEST_F(GenTexture, CancelDuringTheGradientStopsBeforeTheStacks)
{
    gradients = true;
    makeVolume(16, 8, 8);
    g_cancelAt = "Generating gradient.";
    EXPECT_FALSE(generate());
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0], std::make_pair(25, std::string("Generating gradient.")));
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_WIDTH), 16);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidGradient, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(level0(GL_TEXTURE_2D, v.tidx[0], GL_TEXTURE_WIDTH), 0);
}

TEST_F(GenTexture, CancelAtTheBrickingReportBuildsNoBricks)
{
    setTextureSizeLimits(0, 8);
    makeVolume(16, 8, 8);
    g_cancelAt = "Creating bricking structure.";
    EXPECT_FALSE(generate());
    EXPECT_TRUE(v.isBricking);
    EXPECT_EQ(v.myBrickInfo, nullptr);
    EXPECT_EQ(g_reports, Reports({{60, "Creating bricking structure."}}));
}

TEST_F(GenTexture, ApplyFilterReachesEveryVolumeTexture)
{
    gradients = true;
    makeVolume(8, 4, 4);
    ASSERT_TRUE(generate());
    textureFilter = static_cast<float>(GL_NEAREST);
    applyFilter(v);
    auto filterOf = [](GLenum target, GLuint name, GLenum which) {
        GLint value = 0;
        glBindTexture(target, name);
        glGetTexParameteriv(target, which, &value);
        return value;
    };
    for (GLuint name : {v.tidVolume, v.tidGradient, v.tidMagnitude}) {
        EXPECT_EQ(filterOf(GL_TEXTURE_3D, name, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
        EXPECT_EQ(filterOf(GL_TEXTURE_3D, name, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    }
    for (GLuint name : {v.tidx[7], v.tidy[3], v.tidz[0]})
        EXPECT_EQ(filterOf(GL_TEXTURE_2D, name, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(filterOf(GL_TEXTURE_2D, v.tidx[7], GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
}

TEST_F(GenTexture, LoadDataOnAContextLeavesTexturesAndNoBuffers)
{
    testsupport::TempDir dir;
    zvfHeader h = zvfCubicHeader(20, 10, 6, zvfUChar, 1);
    std::vector<unsigned char> values(20 * 10 * 6);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<unsigned char>(i * 3);
    const std::string path = dir.file("v.zvf");
    ASSERT_EQ(zvfWriteGrid(path.c_str(), values.data(), &h), 1);
    zvfFreeHeader(&h);
    ProgressRecorder rec;
    std::string info;
    ASSERT_TRUE(loadData(path, v, info, rec));
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_WIDTH), 32);
    EXPECT_EQ(level0(GL_TEXTURE_3D, v.tidVolume, GL_TEXTURE_DEPTH), 8);
    EXPECT_EQ(level0(GL_TEXTURE_2D, v.tidz[5], GL_TEXTURE_HEIGHT), 16);
    const Reports tail = {{60, "Generating 2D textures (x stack)."},
                                                           {70, "Generating 2D textures (y stack)."},
                                                           {80, "Generating 2D textures (z stack)."},
                                                           {90, "Done."},
                                                           {99, "Done."}};
    ASSERT_GE(rec.record.updates.size(), tail.size());
    EXPECT_EQ(Reports(rec.record.updates.end() - 5, rec.record.updates.end()), tail);
    // Only the textures and the histogram remain; the registry balances
    // without the histogram.
    histogram.release();
}
