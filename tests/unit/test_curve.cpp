// Channel curves: evaluation, picking, editing, free-hand painting, repair.
#include "curve.h"
#include "error_handling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The curve invariants the editor relies on.
void expectInvariants(const Curve& c)
{
    ASSERT_GE(c.getCount(), 2);
    const CurvePoint* p = c.points();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0].x, 0.0f);
    EXPECT_EQ(p[c.getCount() - 1].x, static_cast<float>(c.getSize() - 1));
    for (int k = 0; k < c.getCount(); ++k) {
        EXPECT_GE(p[k].y, 0.0f);
        EXPECT_LE(p[k].y, 255.0f);
        EXPECT_EQ(p[k].z, 0.0f);
        if (k > 0) {
            EXPECT_LE(p[k - 1].x, p[k].x) << "point " << k;
        }
    }
}

void setPoints(Curve& c, std::initializer_list<CurvePoint> pts)
{
    c.setControlPoints(pts.begin(), static_cast<int>(pts.size()), "test points");
}

TEST(Curve, InitialStateIsTheRampWithTwoEndPoints)
{
    Curve c;
    EXPECT_EQ(c.getSize(), 256);
    EXPECT_EQ(c.getCount(), 2);
    EXPECT_EQ(c.getKind(), CURVE_LINEAR);
    EXPECT_EQ(c.getSelected(), -1);
    EXPECT_EQ(c.getViewCount(), 256);
    EXPECT_EQ(c.getViewWidth(), 256);
    // trunc(i / 256 * 255): 255 maps to 254 before the first evaluation.
    EXPECT_EQ(c.table()[0], 0);
    EXPECT_EQ(c.table()[1], 0);
    EXPECT_EQ(c.table()[2], 1);
    EXPECT_EQ(c.table()[255], 254);
    int x = -1, y = -1;
    ASSERT_TRUE(c.getPoint(1, x, y));
    EXPECT_EQ(x, 255);
    EXPECT_EQ(y, 255);
    EXPECT_FALSE(c.getPoint(2, x, y));
    EXPECT_FALSE(c.getPoint(-1, x, y));
}

TEST(Curve, FreshLinearCurveIsTheIdentityAnd4096EndsAt255)
{
    Curve c;
    c.evaluate();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(c.table()[i], i) << i;

    c.init(4096);
    c.evaluate();
    EXPECT_EQ(c.table()[0], 0);
    EXPECT_EQ(c.table()[4095], 255);
    for (int i = 1; i < 4096; ++i)
        ASSERT_LE(c.table()[i - 1], c.table()[i]) << i;
    // The single-precision running sum: entry i holds trunc of the sum of i slopes.
    float s = 0.0f;
    for (int j = 0; j < 4095; ++j) {
        ASSERT_EQ(c.table()[j], static_cast<int>(s)) << j;
        s += 255.0f / 4095.0f;
    }
}

TEST(Curve, LinearSegmentsThroughInteriorPoints)
{
    Curve c;
    setPoints(c, {{0, 0, 0}, {100, 200, 0}, {100, 50, 0}, {255, 255, 0}});
    c.evaluate();
    EXPECT_EQ(c.table()[50], 100);
    EXPECT_EQ(c.table()[99], 198);
    // Two points at x = 100: the second segment starts at 50.
    EXPECT_EQ(c.table()[100], 50);
    EXPECT_EQ(c.table()[101], static_cast<int>(50.0f + 205.0f / 155.0f));
    EXPECT_EQ(c.table()[255], 255);
}

TEST(Curve, BezierOfTheEndPointsIsTheIdentityAndBendsThroughItsPolygon)
{
    Curve c;
    c.setKind(CURVE_BEZIER);
    c.evaluate();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(c.table()[i], i) << i;

    setPoints(c, {{0, 0, 0}, {128, 255, 0}, {255, 0, 0}});
    c.evaluate();
    EXPECT_EQ(c.table()[0], 0);
    EXPECT_EQ(c.table()[255], 0);
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        const double y = 2 * t * (1 - t) * 255;
        ASSERT_NEAR(c.table()[i], y, 1.0) << i;
    }
}

TEST(Curve, PickingToleranceFollowsTheView)
{
    Curve c;
    // 256 entries in 256 pixels: hx = 3, hy = 3.
    EXPECT_EQ(c.findPoint(3, 3), 0);
    EXPECT_EQ(c.findPoint(4, 0), -1);
    EXPECT_EQ(c.findPoint(0, 4), -1);
    EXPECT_EQ(c.findPoint(252, 252), 1);
    EXPECT_EQ(c.getSelected(), -1); // findPoint does not pick

    c.init(4096);
    c.setView(0, 1024, 256); // 4 entries a pixel: hx = 12
    EXPECT_EQ(c.findPoint(12, 0), 0);
    EXPECT_EQ(c.findPoint(13, 0), -1);
    c.setView(0, 128, 256); // fewer entries than pixels: only the exact position
    EXPECT_EQ(c.findPoint(0, 2), 0);
    EXPECT_EQ(c.findPoint(1, 0), -1);
    c.setView(0, 4096, 0); // a collapsed editor does not divide by zero
    EXPECT_EQ(c.findPoint(0, 0), 0);
}

TEST(Curve, PressOnTheLastPointPicksItAndDraggingChangesOnlyItsValue)
{
    Curve c;
    EXPECT_TRUE(c.hitTest(255, 255));
    EXPECT_EQ(c.getSelected(), 1);
    c.drag(100, 128);
    int x, y;
    ASSERT_TRUE(c.getPoint(1, x, y));
    EXPECT_EQ(x, 255);
    EXPECT_EQ(y, 128);
    // The first point stays at x 0; y is clamped.
    EXPECT_TRUE(c.hitTest(0, 0));
    c.drag(40, 300);
    ASSERT_TRUE(c.getPoint(0, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 255);
    // A miss clears the pick, so a drag does nothing.
    EXPECT_FALSE(c.hitTest(128, 0));
    EXPECT_EQ(c.getSelected(), -1);
    c.drag(10, 10);
    ASSERT_TRUE(c.getPoint(0, x, y));
    EXPECT_EQ(y, 255);
    // Positions outside the table are ignored.
    EXPECT_TRUE(c.hitTest(0, 255));
    c.drag(256, 0);
    c.drag(-1, 0);
    ASSERT_TRUE(c.getPoint(0, x, y));
    EXPECT_EQ(y, 255);
}

TEST(Curve, AddDragAndDeleteInteriorPoints)
{
    Curve c;
    c.addPoint(100, 50);
    EXPECT_EQ(c.getCount(), 3);
    EXPECT_EQ(c.getSelected(), -1); // the new point is not picked
    c.addPoint(50, 20);
    c.addPoint(0, 10); // at x 0: after the first point
    EXPECT_EQ(c.getCount(), 5);
    int x, y;
    ASSERT_TRUE(c.getPoint(1, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 10);
    ASSERT_TRUE(c.getPoint(2, x, y));
    EXPECT_EQ(x, 50);
    ASSERT_TRUE(c.getPoint(3, x, y));
    EXPECT_EQ(x, 100);
    // Out of range: ignored.
    c.addPoint(256, 10);
    c.addPoint(10, 256);
    c.addPoint(-1, 10);
    c.addPoint(10, -1);
    EXPECT_EQ(c.getCount(), 5);

    // Dragging past the right neighbour leaves the point where it was.
    ASSERT_TRUE(c.hitTest(50, 20));
    c.drag(150, 99);
    ASSERT_TRUE(c.getPoint(2, x, y));
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 20);
    c.drag(100, 99); // the neighbour's x itself is allowed
    ASSERT_TRUE(c.getPoint(2, x, y));
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 99);

    c.deleteSelected();
    EXPECT_EQ(c.getCount(), 4);
    EXPECT_EQ(c.getSelected(), -1);
    c.deleteSelected(); // nothing picked
    EXPECT_EQ(c.getCount(), 4);
    expectInvariants(c);
}

TEST(Curve, EndPointsAndTheLastTwoPointsAreNotDeleted)
{
    Curve c;
    ASSERT_TRUE(c.hitTest(0, 0));
    c.deleteSelected();
    ASSERT_TRUE(c.hitTest(255, 255));
    c.deleteSelected();
    EXPECT_EQ(c.getCount(), 2);
    c.addPoint(100, 100);
    c.setKind(CURVE_FREE);
    ASSERT_TRUE(c.hitTest(100, 100));
    c.deleteSelected(); // not for the free kind
    EXPECT_EQ(c.getCount(), 3);
}

TEST(Curve, TypedPoints)
{
    Curve c;
    c.addPoint(100, 100);
    int x = 150, y = 300;
    EXPECT_TRUE(c.setPoint(1, x, y));
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 255); // clamped, and the caller sees it
    // Beyond the right neighbour: refused, the current coordinates come back.
    x = 256;
    y = 7;
    EXPECT_FALSE(c.setPoint(1, x, y));
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 255);
    // End points keep their x.
    x = 77;
    y = -5;
    EXPECT_TRUE(c.setPoint(2, x, y));
    EXPECT_EQ(x, 255);
    EXPECT_EQ(y, 0);
    int gx, gy;
    ASSERT_TRUE(c.getPoint(2, gx, gy));
    EXPECT_EQ(gx, 255);
    EXPECT_EQ(gy, 0);
    x = y = 0;
    EXPECT_FALSE(c.setPoint(3, x, y));
    EXPECT_FALSE(c.setPoint(-1, x, y));
    expectInvariants(c);
}

TEST(Curve, FreeHandPaintingWritesOneEntryPerPixel)
{
    Curve c;
    c.setKind(CURVE_FREE);
    std::memset(c.table(), 0, 256);
    c.addPoint(10, 50);
    EXPECT_EQ(c.table()[10], 50);
    EXPECT_EQ(c.table()[11], 0);
    c.drag(14, 90); // slope 10: entries 10..13
    EXPECT_EQ(c.table()[10], 50);
    EXPECT_EQ(c.table()[11], 60);
    EXPECT_EQ(c.table()[12], 70);
    EXPECT_EQ(c.table()[13], 80);
    EXPECT_EQ(c.table()[14], 0);
    c.drag(14, 120); // no motion: the entry under the pen
    EXPECT_EQ(c.table()[14], 120);
    c.drag(10, 80); // backwards: entries 10..13 on the line from 120 down to 80
    EXPECT_EQ(c.table()[10], 80);
    EXPECT_EQ(c.table()[11], 90);
    EXPECT_EQ(c.table()[12], 100);
    EXPECT_EQ(c.table()[13], 110);
    c.drag(5, 400); // y clamped
    EXPECT_EQ(c.table()[5], 255);
    // evaluate keeps the painting
    c.evaluate();
    EXPECT_EQ(c.table()[12], 100);
    // Switching back re-evaluates from the points.
    c.setKind(CURVE_LINEAR);
    c.evaluate();
    EXPECT_EQ(c.table()[12], 12);
}

TEST(Curve, FreeHandWritesOneEntryAStepWithFewerEntriesThanPixels)
{
    // A zoomed or widened editor (fewer entries than pixels) still paints:
    // one entry a step, every entry between the press and the drag.
    Curve c;
    c.setKind(CURVE_FREE);
    std::memset(c.table(), 0, 256);
    c.setView(0, 128, 256);
    c.addPoint(10, 50);
    c.drag(20, 60);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(c.table()[i], i >= 10 && i < 20 ? 50 + (i - 10) : 0) << i;
    // Two entries a pixel: each step writes two entries.
    c.init(512);
    c.setKind(CURVE_FREE);
    std::memset(c.table(), 0, 512);
    c.setView(0, 512, 256);
    c.addPoint(10, 50);
    EXPECT_EQ(c.table()[10], 50);
    EXPECT_EQ(c.table()[11], 50);
    c.drag(12, 70);
    EXPECT_EQ(c.table()[12], 60);
    EXPECT_EQ(c.table()[13], 60);
    // Strokes past the end of the table stop at the last entry.
    c.addPoint(511, 9);
    EXPECT_EQ(c.table()[511], 9);
}

TEST(Curve, ResetAndReinitKeepTheKind)
{
    Curve c;
    c.setKind(CURVE_BEZIER);
    c.addPoint(10, 10);
    c.reset();
    EXPECT_EQ(c.getKind(), CURVE_BEZIER);
    EXPECT_EQ(c.getCount(), 2);
    EXPECT_EQ(c.table()[255], 254);
    c.reinit(4096);
    EXPECT_EQ(c.getKind(), CURVE_BEZIER);
    EXPECT_EQ(c.getSize(), 4096);
    int x, y;
    ASSERT_TRUE(c.getPoint(1, x, y));
    EXPECT_EQ(x, 4095);
    c.init(300);
    EXPECT_EQ(c.getKind(), CURVE_LINEAR);
}

TEST(Curve, ControlPointsAreRepairedToKeepTheInvariants)
{
    Curve c;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    setPoints(c, {{300, 10, 5}, {-20, 400, 0}, {100, -3, 0}, {50, nan, 0}, {nan, 40, 0}});
    expectInvariants(c);
    EXPECT_EQ(c.getCount(), 5);
    c.evaluate();

    setPoints(c, {{12, 99, 0}});
    expectInvariants(c);
    EXPECT_EQ(c.getCount(), 2);
    EXPECT_EQ(c.points()[0].y, 99.0f);
    EXPECT_EQ(c.points()[1].y, 99.0f);

    setPoints(c, {});
    expectInvariants(c);
    c.evaluate();
    EXPECT_EQ(c.table()[255], 255);
}

TEST(Curve, RegistersItsArraysAndReleasesThem)
{
    const uint32_t before = g_garbageCollector.count();
    {
        Curve c;
        ASSERT_EQ(g_garbageCollector.count(), before + 2);
        EXPECT_STREQ(g_garbageCollector.record(before).name, "curve");
        EXPECT_STREQ(g_garbageCollector.record(before + 1).name, "curve_points");
        c.addPoint(5, 5);
        c.setKind(CURVE_BEZIER);
        c.evaluate();
        EXPECT_EQ(g_garbageCollector.count(), before + 2);
        EXPECT_STREQ(g_garbageCollector.record(before + 1).name, "p");
    }
    EXPECT_EQ(g_garbageCollector.count(), before);
}

TEST(Curve, FailedAllocationsLeaveAUsableCurve)
{
    Curve c;
    failNextGuardedAllocations(1);
    c.addPoint(10, 10); // the new array fails: nothing changes
    EXPECT_EQ(c.getCount(), 2);
    failNextGuardedAllocations(2);
    c.init(512);
    c.evaluate();
    c.addPoint(1, 1);
    c.drag(1, 1);
    EXPECT_FALSE(c.hitTest(0, 0));
    c.init(256);
    EXPECT_EQ(c.getCount(), 2);
}

} // namespace
