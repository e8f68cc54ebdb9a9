// The shared 4 x 4 helpers behind the tracked matrices: inverse, product, transpose.
#include "mat4.h"

#include <gtest/gtest.h>

TEST(Mat4, InverseAndProduct)
{
    // Translation (1, 2, 3) after a scale by 2: the inverse undoes both.
    const float m[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    float inv[16];
    ASSERT_TRUE(matInvert(m, inv));
    float product[16];
    matMultiply(m, inv, product);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(product[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-6f) << i;
    EXPECT_FLOAT_EQ(inv[12], -0.5f);
    EXPECT_FLOAT_EQ(inv[0], 0.5f);
    const float singular[16] = {1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_FALSE(matInvert(singular, inv));
    EXPECT_FLOAT_EQ(inv[1], 2.0f);
    float t[16];
    matTranspose(m, t);
    EXPECT_FLOAT_EQ(t[3], 1.0f);
    EXPECT_FLOAT_EQ(t[12], 0.0f);
}
