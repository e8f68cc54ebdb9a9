#include "gl_context.h"
#include "includegl.h"

#include <gtest/gtest.h>
#include <vector>

TEST(OffscreenContext, ClearsAndReadsBack)
{
    OffscreenContext ctx(64, 32);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<unsigned char> px(64 * 32 * 4);
    ctx.readPixels(px.data());
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[(31 * 64 + 63) * 4 + 2], 255);
}

TEST(OffscreenContext, IsCompatibilityProfileWithFixedFunction)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    std::vector<unsigned char> px(16 * 16 * 4);
    ctx.readPixels(px.data());
    EXPECT_EQ(px[(8 * 16 + 8) * 4 + 1], 255);
    EXPECT_EQ(px[(8 * 16 + 8) * 4 + 0], 0);
}
