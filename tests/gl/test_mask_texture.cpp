// The mask texture a mask load leaves beside the data's textures, and a
// refused mask that must not touch them.
#include "error_handling.h"
#include "gen_texture.h"
#include "gl_context.h"
#include "histogram.h"
#include "load.h"
#include "test_support.h"
#include "unit/load_test_util.h"
#include "volume.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> texels(GLuint texture)
{
    GLint w = 0, h = 0, d = 0;
    glBindTexture(GL_TEXTURE_3D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &d);
    std::vector<unsigned char> t(static_cast<size_t>(w) * h * d, 0xCD);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, t.data());
    return t;
}

GLint parameter(GLuint texture, GLenum name)
{
    GLint value = 0;
    glBindTexture(GL_TEXTURE_3D, texture);
    glGetTexParameteriv(GL_TEXTURE_3D, name, &value);
    return value;
}

TEST(MaskTexture, HoldsTheMaskBytesAndLeavesTheData)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    const uint32_t baseline = g_garbageCollector.count();
    const GLenum savedInternal = textureInternalFormat, savedFormat = textureFormat;
    textureInternalFormat = GL_INTENSITY8;
    textureFormat = GL_LUMINANCE;
    ProgressRecorder recorder;

    testsupport::TempDir dir;
    // 5 x 3 x 2 voxels: the textures are padded to 8 x 4 x 2.
    std::vector<uint8_t> data(30);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(10 + i);
    std::vector<uint16_t> mask(30, 0);
    mask[0] = 4095; // 12-bit: stretched, then its top byte
    mask[29] = 2048;
    ASSERT_EQ(zvfWriteCubGrid(dir.file("d.zvf").c_str(), data.data(), 5, 3, 2, 1, zvfUChar, nullptr, 0), 1);
    ASSERT_EQ(zvfWriteCubGrid(dir.file("m.zvf").c_str(), mask.data(), 5, 3, 2, 1, zvfUInt16, nullptr, 0), 1);
    ASSERT_EQ(zvfWriteCubGrid(dir.file("other.zvf").c_str(), mask.data(), 5, 3, 1, 1, zvfUInt16, nullptr, 0), 1);

    Volume v;
    std::string info;
    ASSERT_TRUE(loadData(dir.file("d.zvf"), v, info));
    const GLuint dataTexture = v.tidVolume;
    ASSERT_NE(dataTexture, 0u);
    const std::vector<unsigned char> dataTexels = texels(dataTexture);

    ASSERT_TRUE(loadMask(dir.file("m.zvf"), v));
    ASSERT_NE(v.tidMask, 0u);
    std::vector<unsigned char> want(8 * 4 * 2, 0);
    want[0] = 255;
    want[(1 * 4 + 2) * 8 + 4] = 128; // voxel (4, 2, 1)
    EXPECT_EQ(texels(v.tidMask), want);
    for (GLenum p : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T,
                     GL_TEXTURE_WRAP_R})
        EXPECT_EQ(parameter(v.tidMask, p), parameter(dataTexture, p)) << p;
    EXPECT_EQ(v.tidVolume, dataTexture);
    EXPECT_EQ(texels(dataTexture), dataTexels);

    // A mask of another size: the warning; the mask read before and the data stay.
    const GLuint maskTexture = v.tidMask;
    EXPECT_FALSE(loadMask(dir.file("other.zvf"), v, recorder));
    EXPECT_EQ(recorder.boxes, (decltype(recorder.boxes){{"Incompatible mask resolution.", "Warning"}}));
    EXPECT_EQ(v.tidMask, maskTexture);
    EXPECT_EQ(texels(v.tidMask), want);
    EXPECT_EQ(v.tidVolume, dataTexture);
    EXPECT_EQ(texels(dataTexture), dataTexels);
    EXPECT_NE(v.tidz, nullptr);

    histogram.release();
    v.release();
    textureInternalFormat = savedInternal;
    textureFormat = savedFormat;
    EXPECT_EQ(g_garbageCollector.count(), baseline);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
