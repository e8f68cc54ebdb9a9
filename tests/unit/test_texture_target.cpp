// The render target's arithmetic: power-of-two sizes, placement and copy
// rectangle, the reach of the dilation and the read-back rule.
#include "gen_texture.h"
#include "texture.h"

#include <gtest/gtest.h>

TEST(TextureTarget, RoundsUpToPowersOfTwo)
{
    const int cases[][2] = {{0, 1}, {1, 1}, {2, 2}, {3, 4}, {300, 512}, {512, 512}, {640, 1024}, {480, 512}};
    for (const auto& c : cases)
        EXPECT_EQ(nextPowerOfTwo(c[0]), c[1]) << c[0];
    TextureTarget t;
    t.setWindowSize(640, 480);
    EXPECT_EQ(t.texWidth, 1024);
    EXPECT_EQ(t.texHeight, 512);
}

TEST(TextureTarget, PlacementGrowsAboutTheCentreAndCopiesWhatLiesInside)
{
    struct Case
    {
        double x0, y0, x1, y1;                              // projected corners
        int rect[4], clip[2], copy[4];                      // x, y, w, h
    } cases[] = {
        {170.7, 140.2, 470.9, 340.5, {64, 112, 512, 256}, {0, 0}, {64, 112, 512, 256}},
        // Partly left of the window: the copy starts 40 texels in and stays in the texture.
        {-40, 100, 472, 228, {-40, 100, 512, 128}, {40, 0}, {0, 100, 472, 128}},
        // Larger than the window's power-of-two size: that size, centred.
        {-430, -210, 1070, 690, {-192, -16, 1024, 512}, {192, 16}, {0, 0, 640, 480}},
        // Partly right of the window: the copy ends at its edge.
        {600, 100, 700, 200, {586, 86, 128, 128}, {0, 0}, {586, 86, 54, 128}},
    };
    for (const Case& c : cases) {
        TextureTarget t;
        t.setWindowSize(640, 480);
        t.setProjected(c.x0, c.y0, c.x1, c.y1);
        t.fitRectangle();
        const int got[10] = {t.rectX, t.rectY, t.rectWidth, t.rectHeight, t.clipX, t.clipY,
                             t.copyX, t.copyY, t.copyWidth, t.copyHeight};
        const int want[10] = {c.rect[0], c.rect[1], c.rect[2], c.rect[3], c.clip[0], c.clip[1],
                              c.copy[0], c.copy[1], c.copy[2], c.copy[3]};
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(got[i], want[i]) << "corner x " << c.x0 << ", value " << i;
    }
}

TEST(TextureTarget, ReachFollowsIntensityAngleAndBoxDepthWithinBoxAndWindow)
{
    struct Case
    {
        float intensity;
        int angle, depth, boxW, boxH, winW, winH, reach;
        float decrement;
    } cases[] = {
        {1.0f, 15, 100, 200, 200, 640, 480, 26, 1.0f / 26},
        {0.5f, 15, 100, 200, 200, 640, 480, 13, 0.5f / 13},
        {1.0f, 45, 100, 200, 200, 640, 480, 100, 1.0f / 100},
        {1.0f, 15, 100, 10, 20, 640, 480, 20, 1.0f / 26},  // the box is smaller
        {1.0f, 15, 100, 200, 200, 20, 15, 20, 1.0f / 26},  // the window is smaller
        {1.0f, 15, 0, 200, 200, 640, 480, 0, 1.0f},        // a box of no depth
    };
    for (const Case& c : cases) {
        TextureTarget t;
        t.setWindowSize(c.winW, c.winH);
        t.boxDepth = c.depth;
        t.boxWidth = c.boxW;
        t.boxHeight = c.boxH;
        t.intensity = c.intensity;
        t.setAngle(c.angle);
        EXPECT_EQ(t.reach, c.reach) << c.angle << " " << c.depth << " " << c.boxW;
        EXPECT_FLOAT_EQ(t.decrement, c.decrement);
    }
}

TEST(TextureTarget, BoxOnScreenGivesTheDepthInPixels)
{
    TextureTarget t;
    t.setSpans(1.4f, 1.0f, 0.7f);
    const double window[8][2] = {{10.5, 20}, {110.9, 20}, {10.5, 80.2}, {110.9, 80.2},
                                 {30, 30}, {90, 30}, {30, 70}, {90, 70}};
    t.setBoxFromWindow(window);
    EXPECT_EQ(t.boxX, 10);
    EXPECT_EQ(t.boxY, 20);
    EXPECT_EQ(t.boxWidth, 100);
    EXPECT_EQ(t.boxHeight, 60);
    EXPECT_EQ(t.boxDepth, 50);
}

TEST(TextureTarget, ReadBackRedoesTheReachWithFullIntensityBelow255)
{
    TextureTarget t;
    t.setWindowSize(640, 480);
    t.boxDepth = t.boxWidth = t.boxHeight = 100;
    t.intensity = 0.5f;
    t.updateReach();
    ASSERT_EQ(t.reach, 13);
    t.takeBrightest(255); // full brightness: the reach of the paint cycle stands
    EXPECT_EQ(t.reach, 13);
    EXPECT_FLOAT_EQ(t.intensity, 1.0f);
    t.intensity = 0.5f;
    t.takeBrightest(128);
    EXPECT_EQ(t.reach, 26);
    EXPECT_FLOAT_EQ(t.intensity, 128.0f / 255.0f);
}
