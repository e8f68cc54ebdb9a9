// "Focus and Context" through the offscreen renderer. The data rises with z
// (grey 4 z, opaque), so a pixel's grey tells at which depth its ray began:
// the front (about 250) where nothing is cut, the mask's front (about 160)
// over the mask, in between on the dilated cone around it.
#include "gl/render_fixture.h"
#include "texture.h"

#include <algorithm>

namespace {

const int kLo = 24; // the mask: voxels kLo .. kHi - 1 on every axis
const int kHi = 40;

class FocusContext : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        ASSERT_TRUE(nv40Supported);
        volume.setSampling(64);
        upload(kSize, [](int, int, int z) { return static_cast<unsigned char>(4 * z); });
        std::vector<unsigned char> mask(static_cast<size_t>(kSize) * kSize * kSize, 0);
        for (int z = kLo; z < kHi; ++z)
            for (int y = kLo; y < kHi; ++y)
                for (int x = kLo; x < kHi; ++x)
                    mask[(static_cast<size_t>(z) * kSize + y) * kSize + x] = 255;
        glGenTextures(1, &volume.tidMask);
        glBindTexture(GL_TEXTURE_3D, volume.tidMask);
        parameters(GL_TEXTURE_3D);
        glTexImage3D(GL_TEXTURE_3D, 0, GL_INTENSITY8, kSize, kSize, kSize, 0, GL_LUMINANCE,
                     GL_UNSIGNED_BYTE, mask.data());
        ASSERT_TRUE(volume.createShiftTex());
        volume.isMask = true;
        renderer->setStyle(DRAW_FOCUS_CONTEXT);
        renderer->setClassification(CLASSIFICATION_PRE_INTEGRATION);
        // Entry (front f, back b) = opaque grey f: the first segment drawn shows its depth.
        std::vector<unsigned char> table(256 * 256 * 4);
        for (int b = 0; b < 256; ++b)
            for (int f = 0; f < 256; ++f) {
                unsigned char* e = &table[(static_cast<size_t>(b) * 256 + f) * 4];
                e[0] = e[1] = e[2] = static_cast<unsigned char>(f);
                e[3] = 255;
            }
        glGenTextures(1, &myPreint);
        glBindTexture(GL_TEXTURE_2D, myPreint);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
        setCgTableTextures(0, myPreint);
        renderer->view().renderTargetFollow();
        target().setEnabled(false);
    }
    void TearDown() override
    {
        if (myPreint)
            glDeleteTextures(1, &myPreint);
        RenderSlicing::TearDown();
    }

    static TextureTarget& target() { return *volume.shiftTex; }

    // The green channel of a 2-D texture, bottom row first.
    static std::vector<int> green(GLuint texture, int* w, int* h)
    {
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, h);
        std::vector<unsigned char> rgba(static_cast<size_t>(*w) * *h * 4);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        std::vector<int> g(static_cast<size_t>(*w) * *h);
        for (size_t i = 0; i < g.size(); ++i)
            g[i] = rgba[4 * i + 1];
        return g;
    }

    // The grey of a ray whose segments in front of cut depth c (0..1 of the
    // box) are dropped: the front sample of the first segment kept.
    static double greyAfterCut(double c)
    {
        const double dt = std::sqrt(3.0) / (63 * 2.2);
        const int k = std::max(1, static_cast<int>(std::ceil(c / dt - 1e-6)));
        const double u = (1.0 - (k - 0.5) * dt) * kSize - 0.5;
        return 4.0 * std::min(u, kSize - 1.0);
    }

    GLuint myPreint = 0;
};

// Pixels 17 .. 46 lie on the box (29.9 pixels wide about the centre); the
// mask covers 28 .. 35.
bool onBox(int x, int y)
{
    return x >= 18 && x <= 45 && y >= 18 && y <= 45;
}

TEST_F(FocusContext, EveryPixelStartsWhereTheDilatedImageCutsIt)
{
    target().setAngle(60);
    const auto px = frame();
    ASSERT_EQ(target().rectX, 0);
    ASSERT_EQ(target().rectWidth, kSize);
    int w = 0;
    int h = 0;
    const std::vector<int> cut = green(target().texture, &w, &h);
    EXPECT_NEAR(centre(px).g, 162, 6) << "the mask's front";
    // Outward from the mask the cut rises towards the front, ring by ring.
    for (int x = 36; x < 45; ++x)
        EXPECT_LE(at(px, x, 32).g, at(px, x + 1, 32).g) << x;
    EXPECT_GT(at(px, 45, 32).g - at(px, 36, 32).g, 30);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (onBox(x, y)) {
                EXPECT_NEAR(at(px, x, kSize - 1 - y).g, greyAfterCut(cut[y * w + x] / 255.0), 6)
                    << x << ", " << y << " cut " << cut[y * w + x];
            }
        }
}

TEST_F(FocusContext, TheConeFallsByTheDecrementPerRing)
{
    target().setAngle(60);
    frame();
    int w = 0;
    int h = 0;
    const std::vector<int> v = green(target().texture, &w, &h);
    const int top = *std::max_element(v.begin(), v.end());
    EXPECT_NEAR(top, 92, 3); // the mask's front, 0.36 of the box deep
    std::vector<std::pair<int, int>> silhouette;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (v[y * w + x] == top)
                silhouette.push_back({x, y});
    ASSERT_EQ(silhouette.size(), 64u);
    const double step = 255.0 * target().decrement;
    ASSERT_GT(target().reach, 10);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int d = 1 << 20;
            for (const auto& s : silhouette)
                d = std::min(d, std::max(std::abs(x - s.first), std::abs(y - s.second)));
            const double want = d > target().reach ? 0.0 : std::max(0.0, top - d * step);
            EXPECT_NEAR(v[y * w + x], want, 1.0 + 0.5 * d) << x << ", " << y;
        }
}

TEST_F(FocusContext, NoPassesLeaveTheCopiedSilhouette)
{
    target().setAngle(0);
    const auto px = frame();
    EXPECT_EQ(target().reach, 0);
    int w = 0;
    int h = 0;
    const std::vector<int> v = green(target().texture, &w, &h);
    const int top = *std::max_element(v.begin(), v.end());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= 28 && x <= 35 && y >= 28 && y <= 35;
            EXPECT_EQ(v[y * w + x], inside ? top : 0) << x << ", " << y;
        }
    // Right beside the mask nothing is cut.
    EXPECT_NEAR(at(px, 36, 32).g, 250, 4);
    EXPECT_NEAR(at(px, 35, 32).g, 162, 6);
}

TEST_F(FocusContext, HighlightColoursExactlyTheMasksPixelsRed)
{
    const auto plain = frame();
    target().setEnabled(true);
    const auto red = frame();
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const Rgba a = at(plain, x, y);
            const Rgba b = at(red, x, y);
            if (x >= 28 && x <= 35 && y >= 28 && y <= 35) {
                EXPECT_TRUE(b.r >= 250 && b.g <= 4 && b.b <= 4) << x << ", " << y << ": " << b.r
                                                                << " " << b.g << " " << b.b;
            } else {
                EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << x << ", " << y;
            }
        }
}

TEST_F(FocusContext, HighlightLeavesTheTransferFunctionTexturesAsTheyWere)
{
    setCgTableTextures(0, 0);
    target().setEnabled(true);
    for (int classification : {CLASSIFICATION_POST, CLASSIFICATION_PRE_INTEGRATION}) {
        renderer->setClassification(classification);
        const GLuint textures[2] = {transfer->getPaletteTexture(), transfer->getPreintTexture()};
        std::vector<unsigned char> rgbaBefore[2];
        int w = 0;
        int h = 0;
        for (int i = 0; i < 2; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
            rgbaBefore[i].resize(static_cast<size_t>(w) * h * 4);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgbaBefore[i].data());
        }
        const auto px = frame();
        EXPECT_EQ(centre(px).r, 255) << "the highlight ran, classification " << classification;
        for (int i = 0; i < 2; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            std::vector<unsigned char> after(rgbaBefore[i].size());
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, after.data());
            EXPECT_TRUE(after == rgbaBefore[i]) << "texture " << i << ", classification " << classification;
        }
    }
}

// The passes draw with programs of their own: the render mode the menus set
// (style, slicing, program set) is the same after every frame.
TEST_F(FocusContext, FramesLeaveTheRenderModeAsTheMenusSetIt)
{
    target().setEnabled(true);
    RenderMode& mode = RenderMode::instance();
    for (int classification : {CLASSIFICATION_POST, CLASSIFICATION_PRE_INTEGRATION}) {
        renderer->setClassification(classification);
        const RenderMode before = mode;
        const auto px = frame();
        EXPECT_GT(coverage(px), 0);
        EXPECT_EQ(mode.getDrawStyle(), before.getDrawStyle());
        EXPECT_EQ(mode.getSlicing(), before.getSlicing());
        EXPECT_EQ(mode.getProgramSet(), before.getProgramSet());
    }
}

TEST_F(FocusContext, WithoutAMaskNothingIsDrawn)
{
    volume.isMask = false;
    EXPECT_EQ(coverage(frame()), 0);
}

} // namespace
