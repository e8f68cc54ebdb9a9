// Textures a load leaves to first use: the 2-D stacks and the gradients are
// built when a style first draws with them, once, from the one kept copy of
// the voxels, and equal what a load builds at once, texel for texel and in
// the picture.
#include "gen_texture.h"
#include "render_fixture.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "unit/load_test_util.h"
#include "viewer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> texels3D(GLuint texture, GLenum format, GLenum type, size_t bytes)
{
    std::vector<unsigned char> out(bytes);
    glBindTexture(GL_TEXTURE_3D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_3D, 0, format, type, out.data());
    return out;
}

std::vector<unsigned char> texels2D(GLuint texture)
{
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<unsigned char> out(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

// What the textures of a load hold, read back.
struct Textures
{
    std::vector<unsigned char> gradient, magnitude, stackX, stackY, stackZ;
};

class DeferredTextures : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        reportTo(recorder);
        SampleVolume v;
        data = dir.file("data.zvf");
        ASSERT_TRUE(makeSampleVolume("phantom", &v) && writeSampleVolume(v, data));
    }

    // Loads with style drawing (its textures built at once), then shows
    // style; the picture and the textures.
    std::vector<unsigned char> loadThenDraw(int loadStyle, int style, Textures* t)
    {
        // View-aligned slices for the shaded styles in both orders.
        RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_VAS);
        RenderMode::instance().setDrawStyle(loadStyle);
        EXPECT_TRUE(renderer->loadData(data));
        renderer->setStyle(style);
        renderer->renderFrame();
        renderer->renderFrame();
        const std::vector<unsigned char> picture = renderer->pixels();
        if (t) {
            const size_t voxels = 256u * 256u * 128u; // the phantom padded
            t->gradient = texels3D(volume.tidGradient, GL_RGB, GL_UNSIGNED_SHORT, voxels * 3 * 2);
            t->magnitude = texels3D(volume.tidMagnitude, GL_LUMINANCE, GL_FLOAT, voxels * 4);
            t->stackX = texels2D(volume.tidx[80]);
            t->stackY = texels2D(volume.tidy[17]);
            t->stackZ = texels2D(volume.tidz[64]);
        }
        return picture;
    }

    int updatesSaying(const char* message) const
    {
        return static_cast<int>(std::count_if(recorder.record.updates.begin(), recorder.record.updates.end(),
                                              [&](const std::pair<int, std::string>& u) {
                                                  return u.second == message;
                                              }));
    }

    ProgressRecorder recorder;
    testsupport::TempDir dir;
    std::string data;
};

} // namespace

TEST_F(DeferredTextures, BuiltOnFirstUseOnceAndOnlyForTheStylesThatReadThem)
{
    RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_VAS);
    ASSERT_TRUE(renderer->loadData(data));
    // "3D Texture VAS" reads neither: both wait, with the voxels kept for them.
    EXPECT_TRUE(volume.stacksPending);
    EXPECT_TRUE(volume.gradientsPending);
    EXPECT_NE(volume.derivedSource, nullptr);
    EXPECT_EQ(updatesSaying("Generating gradient."), 0);
    EXPECT_EQ(updatesSaying("Generating 2D textures (x stack)."), 0);

    renderer->setStyle(DRAW_RAY_CASTING);
    EXPECT_TRUE(volume.gradientsPending) << "the ray caster reads no gradient";
    renderer->setStyle(DRAW_LIGHT_GRADMAG);
    EXPECT_FALSE(volume.gradientsPending);
    EXPECT_EQ(updatesSaying("Generating gradient."), 126); // the interior slices of 128
    renderer->setStyle(DRAW_LIGHT2);
    renderer->renderFrame();
    EXPECT_EQ(updatesSaying("Generating gradient."), 126) << "built once";
    EXPECT_TRUE(volume.stacksPending);

    renderer->setStyle(DRAW_2D_TEXTURE);
    EXPECT_FALSE(volume.stacksPending);
    EXPECT_EQ(updatesSaying("Generating 2D textures (x stack)."), 1);
    // Nothing pending: the kept voxels are gone.
    EXPECT_EQ(volume.derivedSource, nullptr);
}

TEST_F(DeferredTextures, EqualWhatTheLoadBuildsAtOnce)
{
    for (int style : {DRAW_LIGHT_GRADMAG, DRAW_LIGHT2, DRAW_NORMAL_TEXTURE}) {
        Textures now, later;
        const auto atOnce = loadThenDraw(style, style, &now);
        EXPECT_FALSE(volume.gradientsPending);
        const auto deferred = loadThenDraw(DRAW_3D_TEXTURE_VAS, style, &later);
        EXPECT_GT(std::count_if(atOnce.begin(), atOnce.end(), [](unsigned char c) { return c > 10; }), 1000)
            << "a picture to compare";
        EXPECT_TRUE(deferred == atOnce) << drawStyleLabel(style);
        EXPECT_TRUE(later.gradient == now.gradient) << style;
        EXPECT_TRUE(later.magnitude == now.magnitude) << style;
    }
    Textures now, later;
    const auto atOnce = loadThenDraw(DRAW_2D_TEXTURE, DRAW_2D_MULTI_TEXTURE, &now);
    const auto deferred = loadThenDraw(DRAW_3D_TEXTURE_OAS, DRAW_2D_MULTI_TEXTURE, &later);
    EXPECT_TRUE(deferred == atOnce);
    EXPECT_TRUE(later.stackX == now.stackX);
    EXPECT_TRUE(later.stackY == now.stackY);
    EXPECT_TRUE(later.stackZ == now.stackZ);
}

TEST_F(DeferredTextures, APaintBuildsWhatTheStyleChosenBehindTheActionsNeeds)
{
    RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_VAS);
    ASSERT_TRUE(renderer->loadData(data));
    // Set on the render mode directly: the first paint builds the stacks.
    RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
    renderer->renderFrame();
    EXPECT_FALSE(volume.stacksPending);
    EXPECT_TRUE(volume.gradientsPending);
}

TEST_F(DeferredTextures, ACancelledBuildKeepsTheStyleThatWasDrawing)
{
    RenderMode::instance().setDrawStyle(DRAW_3D_TEXTURE_VAS);
    ASSERT_TRUE(renderer->loadData(data));
    recorder.record = ProgressRecord();
    recorder.record.cancelAt = 3;
    renderer->setStyle(DRAW_LIGHT_GRADMAG);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_3D_TEXTURE_VAS);
    EXPECT_TRUE(volume.gradientsPending);
    EXPECT_NE(volume.derivedSource, nullptr);
    EXPECT_EQ(recorder.record.opened, recorder.record.closed);
    // Asked again without a cancel, it is built.
    recorder.record.cancelAt = -1;
    renderer->setStyle(DRAW_LIGHT_GRADMAG);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_LIGHT_GRADMAG);
    EXPECT_FALSE(volume.gradientsPending);
}
