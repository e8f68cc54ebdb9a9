// Clip-plane records and slots. The set is never initialised here, so it
// makes no OpenGL calls.
#include "error_handling.h"
#include "main_view.h"
#include "plane.h"

#include <gtest/gtest.h>

namespace {

float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Which side of the plane a point in the plane's frame is on.
bool kept(const ClipPlane& p, float x, float y, float z)
{
    return p.equation[0] * x + p.equation[1] * y + p.equation[2] * z + p.equation[3] >= 0;
}

TEST(ClipPlane, NewPlaneKeepsUpperHalfAndOutlineAroundTheBox)
{
    ClipPlane p(kIdentity);
    EXPECT_TRUE(p.visible);
    EXPECT_FALSE(p.rotating);
    EXPECT_FALSE(p.translating);
    EXPECT_EQ(p.offset, 0.0f);
    EXPECT_DOUBLE_EQ(p.equation[0], 0);
    EXPECT_DOUBLE_EQ(p.equation[1], 1);
    EXPECT_DOUBLE_EQ(p.equation[2], 0);
    EXPECT_DOUBLE_EQ(p.equation[3], 0);
    EXPECT_TRUE(kept(p, 0, 0.1f, 0));
    EXPECT_FALSE(kept(p, 0, -0.1f, 0));
    const float corners[4][3] = {{-0.6f, 0, -0.6f}, {0.6f, 0, -0.6f}, {0.6f, 0, 0.6f}, {-0.6f, 0, 0.6f}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_FLOAT_EQ(p.corners[i][k], corners[i][k]);
}

TEST(ClipPlane, InvertTwiceRestores)
{
    ClipPlane p(kIdentity);
    p.invert();
    EXPECT_DOUBLE_EQ(p.equation[1], -1);
    EXPECT_TRUE(kept(p, 0, -0.1f, 0));
    EXPECT_FALSE(kept(p, 0, 0.1f, 0));
    p.invert();
    EXPECT_DOUBLE_EQ(p.equation[1], 1);
    EXPECT_TRUE(kept(p, 0, 0.1f, 0));
}

TEST(ClipPlane, TranslateThenInvertThenTranslate)
{
    ClipPlane p(kIdentity);
    p.translate(0.2f);
    EXPECT_NEAR(p.equation[3], -0.2, 1e-6);
    EXPECT_TRUE(kept(p, 0, 0.25f, 0));
    EXPECT_FALSE(kept(p, 0, 0.15f, 0));
    for (const float* c : p.corners)
        EXPECT_FLOAT_EQ(c[1], 0.2f);

    p.invert();
    EXPECT_DOUBLE_EQ(p.equation[1], -1);
    EXPECT_NEAR(p.equation[3], 0.2, 1e-6);
    p.translate(0.1f);
    EXPECT_NEAR(p.equation[3], 0.3, 1e-6);
    EXPECT_TRUE(kept(p, 0, 0.29f, 0));
    EXPECT_FALSE(kept(p, 0, 0.31f, 0));
    for (const float* c : p.corners)
        EXPECT_FLOAT_EQ(c[1], 0.3f);
}

class ClipPlaneSlots : public ::testing::Test
{
protected:
    void TearDown() override
    {
        set.removeAll();
        EXPECT_EQ(set.count, 0);
    }
    ClipPlaneSet set;
};

TEST_F(ClipPlaneSlots, SixSlotsThenNothing)
{
    EXPECT_EQ(set.maximum, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(set.add(kIdentity), i);
    EXPECT_EQ(set.count, 6);
    EXPECT_EQ(set.add(kIdentity), -1);
    EXPECT_EQ(set.count, 6);
}

TEST_F(ClipPlaneSlots, DeletedSlotIsReusedFirst)
{
    for (int i = 0; i < 4; ++i)
        set.add(kIdentity);
    set.del(3);
    EXPECT_EQ(set.count, 3);
    EXPECT_NE(set.plane(1), nullptr);
    EXPECT_NE(set.plane(2), nullptr);
    EXPECT_EQ(set.plane(3), nullptr);
    EXPECT_NE(set.plane(4), nullptr);
    EXPECT_EQ(set.add(kIdentity), 2); // slot index 2 is plane 3
    EXPECT_NE(set.plane(3), nullptr);
    EXPECT_EQ(set.count, 4);
}

TEST_F(ClipPlaneSlots, OutOfRangeAndEmptyNumbersAreIgnored)
{
    set.add(kIdentity);
    set.del(0);
    set.del(7);
    set.del(-1);
    set.del(2); // empty slot: the count stays
    EXPECT_EQ(set.count, 1);
    set.invert(5);
    set.invert(0);
    set.setMatrix(kIdentity, 9);
    EXPECT_FALSE(set.toggleRotating(4));
    EXPECT_EQ(set.rotatingCount, 0);
    EXPECT_EQ(set.plane(7), nullptr);
    EXPECT_EQ(set.plane(0), nullptr);
}

TEST_F(ClipPlaneSlots, RotateTurnsAllPlanesWhenNoneHasAMode)
{
    set.add(kIdentity);
    set.add(kIdentity);
    float R[16];
    matRotation(90, 0, 1, 0, R);
    set.rotate(R);
    for (int n = 1; n <= 2; ++n)
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(set.plane(n)->matrix[i], R[i], 1e-6) << n << " " << i;
}

TEST_F(ClipPlaneSlots, RotateTurnsOnlyPlanesInRotateMode)
{
    set.add(kIdentity);
    set.add(kIdentity);
    set.add(kIdentity);
    EXPECT_TRUE(set.toggleRotating(2));
    EXPECT_EQ(set.rotatingCount, 1);
    float R[16];
    matRotation(30, 1, 0, 0, R);
    set.rotate(R);
    set.rotate(R);
    float R2[16];
    matMultiply(R, R, R2);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(set.plane(2)->matrix[i], R2[i], 1e-6);
        EXPECT_FLOAT_EQ(set.plane(1)->matrix[i], kIdentity[i]);
        EXPECT_FLOAT_EQ(set.plane(3)->matrix[i], kIdentity[i]);
    }
    EXPECT_FALSE(set.toggleRotating(2));
    EXPECT_EQ(set.rotatingCount, 0);
}

TEST_F(ClipPlaneSlots, TranslateModeAloneStopsTheOthersRotating)
{
    set.add(kIdentity);
    set.add(kIdentity);
    EXPECT_TRUE(set.toggleTranslating(1));
    EXPECT_EQ(set.translatingCount, 1);
    float R[16];
    matRotation(45, 0, 0, 1, R);
    set.rotate(R);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(set.plane(1)->matrix[i], kIdentity[i]);
        EXPECT_FLOAT_EQ(set.plane(2)->matrix[i], kIdentity[i]);
    }
    set.toggleTranslating(1);
}

TEST_F(ClipPlaneSlots, SetMatrixAllRealignsEveryPlane)
{
    set.add(kIdentity);
    set.add(kIdentity);
    float R[16];
    matRotation(-90, 1, 0, 0, R);
    set.setMatrixAll(R);
    for (int n = 1; n <= 2; ++n)
        for (int i = 0; i < 16; ++i)
            EXPECT_FLOAT_EQ(set.plane(n)->matrix[i], R[i]);
}

TEST_F(ClipPlaneSlots, PlanesAreRegisteredAndReleased)
{
    const uint32_t before = g_garbageCollector.count();
    set.add(kIdentity);
    ASSERT_EQ(g_garbageCollector.count(), before + 1);
    EXPECT_STREQ(g_garbageCollector.record(before).name, "pole[i]");
    set.del(1);
    EXPECT_EQ(g_garbageCollector.count(), before);
}

TEST_F(ClipPlaneSlots, FailedAllocationAddsNothing)
{
    failNextGuardedAllocations(1);
    const uint32_t before = g_garbageCollector.count();
    EXPECT_EQ(set.add(kIdentity), -1);
    EXPECT_EQ(set.count, 0);
    g_garbageCollector.remove(nullptr); // the failed result was registered
    EXPECT_EQ(g_garbageCollector.count(), before);
}

} // namespace
