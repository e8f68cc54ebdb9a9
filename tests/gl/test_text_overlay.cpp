// The frame-rate text: a real face through fontconfig and FreeType, drawn as
// bitmaps and read back.
#include "gl_context.h"
#include "includegl.h"
#include "text_overlay.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

struct Box
{
    int count = 0;
    int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
};

// Pixels of exactly (r, g, b) and their bounding box, bottom row first.
Box findColour(const std::vector<unsigned char>& px, int w, int h, int r, int g, int b)
{
    Box box;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            if (p[0] == r && p[1] == g && p[2] == b) {
                ++box.count;
                box.minX = std::min(box.minX, x);
                box.maxX = std::max(box.maxX, x);
                box.minY = std::min(box.minY, y);
                box.maxY = std::max(box.maxY, y);
            }
        }
    return box;
}

class TextOverlayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        glViewport(0, 0, 640, 480);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    std::vector<unsigned char> pixels()
    {
        std::vector<unsigned char> px(640 * 480 * 4);
        ctx.readPixels(px.data());
        return px;
    }
    OffscreenContext ctx{640, 480};
};

TEST(FontLookup, ArialResolvesToAScalableFace)
{
    int index = -1;
    const std::string file = resolveFontFile("Arial", &index);
    ASSERT_FALSE(file.empty());
    EXPECT_GE(index, 0);
    EXPECT_TRUE(resolveFontFile(nullptr).empty());
}

TEST_F(TextOverlayTest, FrameRateTextIsMagentaAtTenTen)
{
    TextOverlay font(10, 10, 1, 0, 1, 16, "Arial", nullptr);
    ASSERT_TRUE(font.ready()) << font.fontFile();
    EXPECT_TRUE(font.visible);
    EXPECT_TRUE(glIsList(font.listBase));
    EXPECT_TRUE(glIsList(font.listBase + 95));
    font.draw("fps: 00.00");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const Box b = findColour(pixels(), 640, 480, 255, 0, 255);
    ASSERT_GT(b.count, 60);
    // Starts at the raster position; 'p' reaches below the base line.
    EXPECT_GE(b.minX, 9);
    EXPECT_LE(b.minX, 13);
    EXPECT_GE(b.minY, 4);
    EXPECT_LT(b.minY, 10);
    // Bold 16-pixel digits: about 11 or 12 pixels above the base line.
    EXPECT_GE(b.maxY, 19);
    EXPECT_LE(b.maxY, 26);
    // Ten characters of a proportional face at 16 pixels.
    EXPECT_GT(b.maxX - b.minX, 50);
    EXPECT_LT(b.maxX - b.minX, 110);
    // The matrices are back as they were.
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

TEST_F(TextOverlayTest, HiddenOrNullTextDrawsNothing)
{
    TextOverlay font(10, 10, 1, 0, 1, 16, "Arial", nullptr);
    ASSERT_TRUE(font.ready());
    font.toggleVisibility();
    EXPECT_FALSE(font.visible);
    font.draw("fps: 00.00");
    font.toggleVisibility();
    font.draw(nullptr);
    EXPECT_EQ(findColour(pixels(), 640, 480, 255, 0, 255).count, 0);
}

TEST_F(TextOverlayTest, PositionIsInAFixed640By480SpaceWhateverTheViewport)
{
    // A 320 x 240 viewport halves everything: (100, 100) lands near (50, 50).
    glViewport(0, 0, 320, 240);
    TextOverlay font(100, 100, 0, 1, 0, 16, "Arial", nullptr);
    ASSERT_TRUE(font.ready());
    font.draw("H");
    const Box b = findColour(pixels(), 640, 480, 0, 255, 0);
    ASSERT_GT(b.count, 10);
    EXPECT_GE(b.minX, 49);
    EXPECT_LE(b.minX, 53);
    EXPECT_GE(b.minY, 49);
    EXPECT_LE(b.minY, 51);
}

TEST_F(TextOverlayTest, DestroyDeletesTheLists)
{
    GLuint base = 0;
    {
        TextOverlay font(10, 10, 1, 0, 1, 16, "Arial", nullptr);
        ASSERT_TRUE(font.ready());
        base = font.listBase;
    }
    EXPECT_FALSE(glIsList(base));
    EXPECT_FALSE(glIsList(base + 95));
}

} // namespace
