// The histogram drawn as grey vertical lines, read back from an offscreen target.
#include "error_handling.h"
#include "gl_context.h"
#include "histogram.h"
#include "includegl.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int kW = 64, kH = 300;

void setUpView()
{
    glViewport(0, 0, kW, kH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kW, 0, kH, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.5f, 0.0f, 0.0f); // lines through pixel centres
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

int red(const std::vector<unsigned char>& px, int x, int y)
{
    return px[(y * kW + x) * 4];
}

} // namespace

TEST(HistogramDraw, BinsAsGreyLinesScaledByHeight)
{
    OffscreenContext ctx(kW, kH);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    // Bin 7: 10 values (255 high), bin 3: 5 values (127.5 high), the rest 0.
    std::vector<uint8_t> data(15, 7);
    for (int i = 0; i < 5; ++i)
        data[i] = 3;
    Histogram h;
    h.compute(data.data(), 15, 1, 1, 1, GL_UNSIGNED_BYTE);
    h.setHeightScale(0.5f);
    setUpView();
    h.draw(kW, 0.0f, 64.0f);
    std::vector<unsigned char> px(kW * kH * 4);
    ctx.readPixels(px.data());
    EXPECT_NEAR(red(px, 7, 100), 128, 1);    // 10 ... 137.5
    EXPECT_NEAR(px[(100 * kW + 7) * 4 + 1], 128, 1);
    EXPECT_EQ(red(px, 7, 145), 0);
    EXPECT_EQ(red(px, 7, 5), 0);             // lines start at 10
    EXPECT_NEAR(red(px, 3, 50), 128, 1);     // 10 ... 73.75
    EXPECT_EQ(red(px, 3, 80), 0);
    EXPECT_EQ(red(px, 5, 50), 0);
    EXPECT_EQ(red(px, 8, 100), 0);

    // Starting at bin 3 with 32 bins over the width: two pixels per bin.
    setUpView();
    h.draw(kW, 3.0f, 32.0f);
    ctx.readPixels(px.data());
    EXPECT_NEAR(red(px, 0, 50), 128, 1);  // bin 3
    EXPECT_NEAR(red(px, 8, 100), 128, 1); // bin 7 at 4 * 2
    EXPECT_EQ(red(px, 14, 100), 0);
    h.release();
}

TEST(HistogramDraw, RangeBeyondTheBinsDrawsNothing)
{
    OffscreenContext ctx(kW, kH);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    std::vector<uint16_t> data(4096);
    for (int i = 0; i < 4096; ++i)
        data[i] = static_cast<uint16_t>(i * 16);
    Histogram h;
    h.compute(data.data(), 64, 64, 1, 1, GL_UNSIGNED_SHORT);
    setUpView();
    h.draw(kW, 4000.0f, 200.0f);
    std::vector<unsigned char> px(kW * kH * 4);
    ctx.readPixels(px.data());
    for (size_t i = 0; i < px.size(); i += 4)
        ASSERT_EQ(px[i], 0) << i / 4;
    // The last 64 bins fit: all 255 high.
    setUpView();
    h.draw(kW, 4032.0f, 64.0f);
    ctx.readPixels(px.data());
    EXPECT_NEAR(red(px, 63, 200), 128, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    h.release();
}
