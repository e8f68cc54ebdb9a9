// The transfer function's textures on an offscreen context: what glGetTexImage
// reads back equals the tables after every upload.
#include "gl_context.h"
#include "includegl.h"
#include "render_mode.h"
#include "transfer_function.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class TransferUpload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClass = RenderMode::instance().getClassification();
        savedFilter = textureFilter;
    }
    void TearDown() override
    {
        RenderMode::instance().setClassification(savedClass);
        textureFilter = savedFilter;
    }

    static std::vector<unsigned char> readTexture(GLuint texture, int width, int height)
    {
        std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 0xCD);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static GLint level0(GLuint texture, GLenum what)
    {
        GLint v = -1;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &v);
        return v;
    }
    static void expectTextureEquals(GLuint texture, int width, int height, const unsigned char* table)
    {
        ASSERT_EQ(level0(texture, GL_TEXTURE_WIDTH), width);
        ASSERT_EQ(level0(texture, GL_TEXTURE_HEIGHT), height);
        const std::vector<unsigned char> got = readTexture(texture, width, height);
        ASSERT_EQ(std::memcmp(got.data(), table, got.size()), 0);
    }

    int savedClass = 1;
    float savedFilter = 9729.0f;
};

TEST_F(TransferUpload, ConstructionCreatesBothTexturesFromTheTables)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    textureFilter = 9728.0f;
    TransferFunction tf(256);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ASSERT_NE(tf.getPaletteTexture(), 0u);
    ASSERT_NE(tf.getPreintTexture(), 0u);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    EXPECT_EQ(tf.getMaxTextureSize(), max);
    const bool palettes = isExtensionSupported("GL_EXT_paletted_texture") &&
                          isExtensionSupported("GL_EXT_shared_texture_palette");
    EXPECT_EQ(tf.isPaletted(), palettes);
    if (!palettes) {
        EXPECT_EQ(RenderMode::instance().getClassification(), CLASSIFICATION_POST);
    }

    expectTextureEquals(tf.getPaletteTexture(), 256, 1, tf.getPalette());
    expectTextureEquals(tf.getPreintTexture(), 256, 256, tf.getPreintTable());
    GLint v = 0;
    glBindTexture(GL_TEXTURE_2D, tf.getPreintTexture());
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
    EXPECT_EQ(v, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &v);
    EXPECT_EQ(v, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &v);
    EXPECT_EQ(v, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
    EXPECT_EQ(v, GL_CLAMP_TO_EDGE);
}

TEST_F(TransferUpload, UploadFollowsTheClassification)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    TransferFunction tf(256);
    const CurvePoint tent[3] = {{0, 0, 0}, {100, 255, 0}, {255, 30, 0}};
    tf.curve(CHANNEL_ALPHA).setControlPoints(tent, 3, "test");
    tf.curve(CHANNEL_RED).setKind(CURVE_BEZIER);
    tf.curve(CHANNEL_RED).setControlPoints(tent, 3, "test");
    tf.refreshCurves();

    RenderMode::instance().setClassification(CLASSIFICATION_POST);
    tf.build(true);
    tf.upload();
    expectTextureEquals(tf.getPaletteTexture(), 256, 1, tf.getPalette());
    EXPECT_EQ(tf.getPalette()[4 * 100 + 3], 255);

    // Pre-integration: only the pre-integration texture changes.
    const std::vector<unsigned char> paletteBefore = readTexture(tf.getPaletteTexture(), 256, 1);
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    tf.build(true);
    tf.upload();
    expectTextureEquals(tf.getPreintTexture(), 256, 256, tf.getPreintTable());
    EXPECT_EQ(readTexture(tf.getPaletteTexture(), 256, 1), paletteBefore);

    // A partial rebuild and upload after a drag.
    tf.hitTest(100, 255);
    tf.drag(120, 40);
    tf.build(false);
    tf.upload();
    expectTextureEquals(tf.getPreintTexture(), 256, 256, tf.getPreintTable());

    // Pre-classification without palettes uploads nothing.
    if (!tf.isPaletted()) {
        RenderMode::instance().setClassification(CLASSIFICATION_PRE);
        const std::vector<unsigned char> preintBefore = readTexture(tf.getPreintTexture(), 256, 256);
        tf.resetAll();
        tf.refreshCurves();
        tf.build(true);
        tf.upload();
        EXPECT_EQ(readTexture(tf.getPreintTexture(), 256, 256), preintBefore);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TransferUpload, UploadToAnotherPairOfTextures)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    TransferFunction tf(256);
    GLuint mine[2] = {0, 0};
    glGenTextures(2, mine);
    RenderMode::instance().setClassification(CLASSIFICATION_POST);
    tf.uploadTo(mine[0], mine[1]);
    expectTextureEquals(mine[0], 256, 1, tf.getPalette());
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    tf.build(true);
    tf.uploadTo(mine[0], mine[1]);
    expectTextureEquals(mine[1], 256, 256, tf.getPreintTable());
    glDeleteTextures(2, mine);
}

TEST_F(TransferUpload, ResizeTo4096BuildsTheLargeTablesForTheUpload)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    TransferFunction tf(256);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    if (max < 4096)
        GTEST_SKIP() << "GL_MAX_TEXTURE_SIZE " << max;
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    ASSERT_TRUE(tf.resize(4096));
    ASSERT_EQ(tf.getTableSize(), 4096);
    tf.upload();
    EXPECT_EQ(tf.getPreintTable()[(static_cast<size_t>(4095) * 4096 + 4095) * 4], 255);
    expectTextureEquals(tf.getPreintTexture(), 4096, 4096, tf.getPreintTable());
    RenderMode::instance().setClassification(CLASSIFICATION_POST);
    tf.build(true);
    tf.upload();
    expectTextureEquals(tf.getPaletteTexture(), 4096, 1, tf.getPalette());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TransferUpload, ResizeBeyondTheDriverLimitKeeps256)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    TransferFunction tf(256);
    tf.resize(512);
    ASSERT_EQ(tf.getTableSize(), 512);
    tf.resize(tf.getMaxTextureSize() * 2);
    EXPECT_EQ(tf.getTableSize(), 256);
    EXPECT_EQ(tf.curve(0).getSize(), 256);
    RenderMode::instance().setClassification(CLASSIFICATION_POST);
    tf.upload();
    expectTextureEquals(tf.getPaletteTexture(), 256, 1, tf.getPalette());
}

TEST_F(TransferUpload, IndexShiftGoesBackToZero)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    TransferFunction tf(256);
    glPixelTransferi(GL_INDEX_SHIFT, 3);
    tf.resetIndexShift();
    GLint shift = -1;
    glGetIntegerv(GL_INDEX_SHIFT, &shift);
    EXPECT_EQ(shift, 0);
}

} // namespace
