// Geometry of the slicing renderers: slice counts, index rounding, stack
// direction, front face, axis-aligned quads, the view-aligned cut and the
// share of the slices each brick draws.
#include "main_view.h"
#include "render_mode.h"
#include "slicing.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const float kUnit[8][3] = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f},
                           {-0.5f, 0.5f, -0.5f},  {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
                           {0.5f, 0.5f, 0.5f},    {-0.5f, 0.5f, 0.5f}};
const float kNormals[6][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};

void identity(float m[16])
{
    std::memset(m, 0, sizeof(float) * 16);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// Angle of a polygon point about the centre as the ordering measures it.
float angleAbout(const float c[2], const float p[3])
{
    return std::atan2(c[1] - p[1], c[0] - p[0]) + 3.14159265f;
}

} // namespace

TEST(SliceSchedule, CountsAndSteps)
{
    SliceSchedule s = sliceSchedule(64, SLICING_2D_STACKS);
    EXPECT_EQ(s.count, 64);
    EXPECT_FLOAT_EQ(s.step, 1.0f / 63.0f);
    s = sliceSchedule(64, SLICING_3D_OBJECT_ALIGNED);
    EXPECT_EQ(s.count, 64);
    // View-aligned slicing draws 1.8 times as many, truncated.
    s = sliceSchedule(64, SLICING_3D_VIEW_ALIGNED);
    EXPECT_EQ(s.count, 115);
    EXPECT_FLOAT_EQ(s.step, 1.0f / (63.0f * 1.8f));
    EXPECT_EQ(sliceSchedule(5, SLICING_3D_VIEW_ALIGNED).count, 9);
    EXPECT_EQ(sliceSchedule(2, SLICING_3D_VIEW_ALIGNED).count, 3);
    EXPECT_EQ(sliceSchedule(512, SLICING_3D_VIEW_ALIGNED).count, 921);
    EXPECT_EQ(sliceSchedule(2, SLICING_2D_STACKS).count, 2);
    EXPECT_FLOAT_EQ(sliceSchedule(2, SLICING_2D_STACKS).step, 1.0f);
}

TEST(SliceSchedule, FewerThanTwoSlicesDrawNone)
{
    for (int slicing : {SLICING_2D_STACKS, SLICING_3D_OBJECT_ALIGNED, SLICING_3D_VIEW_ALIGNED})
        for (int n : {1, 0, -5}) {
            const SliceSchedule s = sliceSchedule(n, slicing);
            EXPECT_EQ(s.count, 0) << n;
            EXPECT_TRUE(std::isfinite(s.step));
        }
}

TEST(SliceIndex, NearestRoundsHalvesUp)
{
    EXPECT_EQ(nearestIndex(0.0f), 0);
    EXPECT_EQ(nearestIndex(2.5f), 3);
    EXPECT_EQ(nearestIndex(2.49f), 2);
    EXPECT_EQ(nearestIndex(2.51f), 3);
    EXPECT_EQ(nearestIndex(3.0f), 3);
    EXPECT_EQ(nearestIndex(0.4f), 0);
}

TEST(SliceIndex, PositionsAreClampedToTheAxis)
{
    EXPECT_EQ(sliceIndexAt(0.0f, 10), 0);
    EXPECT_EQ(sliceIndexAt(1.0f, 10), 9);
    EXPECT_EQ(sliceIndexAt(0.5f, 10), 5); // 4.5 goes up
    EXPECT_EQ(sliceIndexAt(0.5f, 4), 2);  // 1.5 goes up
    EXPECT_EQ(sliceIndexAt(-0.3f, 10), 0);
    EXPECT_EQ(sliceIndexAt(1.7f, 10), 9);
    EXPECT_EQ(sliceIndexAt(NAN, 10), 0);
    // A stack of one slice: every position selects it.
    for (float a : {0.0f, 0.3f, 0.5f, 1.0f, 2.0f})
        EXPECT_EQ(sliceIndexAt(a, 1), 0);
    EXPECT_EQ(sliceIndexAt(0.5f, 0), 0);
}

TEST(SliceIndex, StackDirectionFollowsTheFrontFace)
{
    // Faces 1, 4, 2 look from the positive side: index 0 is the far (negative) end.
    for (int f : {1, 2, 4}) {
        EXPECT_EQ(stackEntry(f, 0, 8), 0) << f;
        EXPECT_EQ(stackEntry(f, 7, 8), 7) << f;
    }
    for (int f : {0, 3, 5}) {
        EXPECT_EQ(stackEntry(f, 0, 8), 7) << f;
        EXPECT_EQ(stackEntry(f, 7, 8), 0) << f;
        EXPECT_EQ(stackEntry(f, 0, 1), 0) << f;
    }
    EXPECT_EQ(faceAxis(1), 0);
    EXPECT_EQ(faceAxis(3), 0);
    EXPECT_EQ(faceAxis(4), 1);
    EXPECT_EQ(faceAxis(5), 1);
    EXPECT_EQ(faceAxis(0), 2);
    EXPECT_EQ(faceAxis(2), 2);
}

TEST(FrontFace, LargestTurnedNormalWins)
{
    float m[16];
    identity(m);
    EXPECT_EQ(frontFaceFor(m, kNormals), 2);
    const struct
    {
        float angle, x, y, z;
        int front;
    } turns[] = {{180, 0, 1, 0, 0}, {90, 0, 1, 0, 3}, {-90, 0, 1, 0, 1}, {90, 1, 0, 0, 4}, {-90, 1, 0, 0, 5},
                 {30, 0, 1, 0, 2},  {60, 0, 1, 0, 3}};
    for (const auto& t : turns) {
        matRotation(t.angle, t.x, t.y, t.z, m);
        EXPECT_EQ(frontFaceFor(m, kNormals), t.front) << t.angle << " about " << t.x << t.y << t.z;
    }
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(oppositeFace(oppositeFace(f)), f);
    EXPECT_EQ(oppositeFace(0), 2);
    EXPECT_EQ(oppositeFace(1), 3);
    EXPECT_EQ(oppositeFace(4), 5);
}

TEST(FrontFace, FirstOfEqualFacesWins)
{
    float m[16];
    identity(m);
    // Normals of faces 2 and 3 both end at z = 0.5.
    m[2] = -0.5f;
    m[10] = 0.5f;
    EXPECT_EQ(frontFaceFor(m, kNormals), 2);
    m[2] = 0.5f;
    m[10] = -0.5f; // now faces 0 and 1
    EXPECT_EQ(frontFaceFor(m, kNormals), 0);
}

TEST(FrontFace, KeptWhileSwitchingIsOff)
{
    Volume v;
    matRotation(90, 0, 1, 0, v.rotation);
    v.switchSlices = false;
    v.chooseFrontFace();
    EXPECT_EQ(v.frontFace, 2);
    EXPECT_EQ(v.backFace, 0);
    v.switchSlices = true;
    v.chooseFrontFace();
    EXPECT_EQ(v.frontFace, 3);
    EXPECT_EQ(v.backFace, 1);
}

TEST(AxisAlignedQuad, RunsFromBackFaceToFrontFace)
{
    float q[4][3];
    // Face 2: z from -0.5 to +0.5, corners 4, 5, 6, 7.
    axisAlignedQuad(kUnit, 2, 0.0f, q);
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(q[k][0], kUnit[4 + k][0]);
        EXPECT_FLOAT_EQ(q[k][1], kUnit[4 + k][1]);
        EXPECT_FLOAT_EQ(q[k][2], -0.5f);
    }
    axisAlignedQuad(kUnit, 2, 1.0f, q);
    EXPECT_FLOAT_EQ(q[0][2], 0.5f);
    // Face 0: z from +0.5 to -0.5, corners 0, 1, 2, 3.
    axisAlignedQuad(kUnit, 0, 0.0f, q);
    EXPECT_FLOAT_EQ(q[2][2], 0.5f);
    EXPECT_FLOAT_EQ(q[2][0], 0.5f);
    EXPECT_FLOAT_EQ(q[2][1], 0.5f);
    axisAlignedQuad(kUnit, 0, 0.75f, q);
    EXPECT_FLOAT_EQ(q[0][2], -0.25f);
    // Face 1: x from -0.5 to +0.5; face 3 the other way.
    axisAlignedQuad(kUnit, 1, 0.25f, q);
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(q[k][0], -0.25f);
    EXPECT_FLOAT_EQ(q[1][1], 0.5f); // corner 2
    EXPECT_FLOAT_EQ(q[2][2], 0.5f); // corner 6
    axisAlignedQuad(kUnit, 3, 0.25f, q);
    EXPECT_FLOAT_EQ(q[0][0], 0.25f);
    // Faces 4 and 5: y.
    axisAlignedQuad(kUnit, 4, 0.0f, q);
    EXPECT_FLOAT_EQ(q[0][1], -0.5f);
    EXPECT_FLOAT_EQ(q[0][0], -0.5f); // corner 3
    axisAlignedQuad(kUnit, 5, 0.0f, q);
    EXPECT_FLOAT_EQ(q[3][1], 0.5f);
    EXPECT_FLOAT_EQ(q[3][2], 0.5f); // corner 4
}

TEST(AxisAlignedQuad, FollowsTheBoxProportions)
{
    Volume v;
    v.resolution[0] = 256;
    v.resolution[1] = 128;
    v.resolution[2] = 64;
    v.setBoxProportions(1, 1, 1);
    v.frontFace = 4;
    v.axisAlignedQuad(0.5f);
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(v.quad[k][1], 0.0f);
        EXPECT_FLOAT_EQ(std::fabs(v.quad[k][0]), 0.5f);
        EXPECT_FLOAT_EQ(std::fabs(v.quad[k][2]), 0.125f);
    }
    v.frontFace = 5;
    v.axisAlignedQuad(0.0f);
    EXPECT_FLOAT_EQ(v.quad[0][1], 0.25f);
}

TEST(AxisAlignedQuad, TextureRangePerAxis)
{
    const float scale[3] = {0.25f, 0.5f, 0.75f};
    float r[2];
    for (int f : {1, 3}) {
        stackTextureRange(scale, f, r);
        EXPECT_FLOAT_EQ(r[0], 0.5f);
        EXPECT_FLOAT_EQ(r[1], 0.75f);
    }
    for (int f : {4, 5}) {
        stackTextureRange(scale, f, r);
        EXPECT_FLOAT_EQ(r[0], 0.25f);
        EXPECT_FLOAT_EQ(r[1], 0.75f);
    }
    for (int f : {0, 2}) {
        stackTextureRange(scale, f, r);
        EXPECT_FLOAT_EQ(r[0], 0.25f);
        EXPECT_FLOAT_EQ(r[1], 0.5f);
    }
}

TEST(ViewAlignedCut, SquareThroughTheUnrotatedBox)
{
    float m[16];
    identity(m);
    float p[6][3];
    ASSERT_EQ(viewAlignedCut(m, kUnit, 0.0f, p), 4);
    // Counter-clockwise from the (+, +) corner.
    const float expected[4][2] = {{0.5f, 0.5f}, {-0.5f, 0.5f}, {-0.5f, -0.5f}, {0.5f, -0.5f}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(p[k][0], expected[k][0]) << k;
        EXPECT_FLOAT_EQ(p[k][1], expected[k][1]) << k;
        EXPECT_FLOAT_EQ(p[k][2], 0.0f);
    }
    // A plane in a face finds its four corners once each.
    EXPECT_EQ(viewAlignedCut(m, kUnit, 0.5f, p), 4);
    EXPECT_EQ(viewAlignedCut(m, kUnit, -0.5f, p), 4);
    // Beyond the box: nothing.
    EXPECT_EQ(viewAlignedCut(m, kUnit, 0.51f, p), 0);
    EXPECT_EQ(viewAlignedCut(m, kUnit, -0.9f, p), 0);
}

TEST(ViewAlignedCut, EdgeOrCornerContactLeavesThePolygon)
{
    float p[6][3];
    for (auto& point : p)
        for (float& c : point)
            c = 7.0f;
    float m[16];
    identity(m);
    // z' = 0.5 (z - x): the edge of corners 4 and 7 is nearest, at 0.5.
    m[2] = -0.5f;
    m[10] = 0.5f;
    EXPECT_EQ(viewAlignedCut(m, kUnit, 0.5f, p), 2);
    EXPECT_FLOAT_EQ(p[0][0], 7.0f);
    // z' = 0.25 (x + y + z): only corner 6 at 0.375.
    identity(m);
    m[2] = m[6] = m[10] = 0.25f;
    EXPECT_EQ(viewAlignedCut(m, kUnit, 0.375f, p), 1);
    EXPECT_FLOAT_EQ(p[0][0], 7.0f);
    // Through the middle the same tilt cuts a hexagon.
    EXPECT_EQ(viewAlignedCut(m, kUnit, 0.0f, p), 6);
}

TEST(ViewAlignedCut, HexagonOfTheTurnedCubeLiesInThePlaneInAngularOrder)
{
    // The cube's diagonal along the view: a regular hexagon through the middle.
    float a[16], b[16], m[16];
    matRotation(45.0f, 0, 1, 0, a);
    matRotation(35.26439f, 1, 0, 0, b);
    matMultiply(b, a, m);
    float p[6][3];
    for (float d : {0.0f, 0.1f, -0.2f}) {
        ASSERT_EQ(viewAlignedCut(m, kUnit, d, p), 6) << d;
        float c[2] = {0, 0};
        for (auto& point : p) {
            EXPECT_NEAR(point[2], d, 1e-5f);
            c[0] += point[0] / 6;
            c[1] += point[1] / 6;
        }
        for (int k = 1; k < 6; ++k)
            EXPECT_LT(angleAbout(c, p[k - 1]), angleAbout(c, p[k])) << d << " " << k;
    }
    // Near the corner the cut is a triangle, past it nothing.
    const float corner = std::sqrt(3.0f) / 2.0f;
    EXPECT_EQ(viewAlignedCut(m, kUnit, corner - 0.05f, p), 3);
    EXPECT_EQ(viewAlignedCut(m, kUnit, corner + 0.01f, p), 0);
}

TEST(ViewAlignedCut, OrderingIsASelectionThatSwaps)
{
    // About the centre (0, 0): (-2, 0) has angle pi, both (1, 0) points 2 pi.
    // The smallest moves to the front by a swap; of the two equal ones the
    // one found first in the remaining list wins.
    float pts[3][3] = {{1, 0, 1}, {1, 0, 2}, {-2, 0, 0}};
    orderByAngle(pts, 3);
    EXPECT_FLOAT_EQ(pts[0][0], -2.0f);
    EXPECT_FLOAT_EQ(pts[1][2], 2.0f);
    EXPECT_FLOAT_EQ(pts[2][2], 1.0f);
}

TEST(ViewAlignedCut, RecordKeepsCountAndPolygon)
{
    Volume v;
    identity(v.rotation);
    v.viewAlignedPolygon(0.25f);
    EXPECT_EQ(v.slicePolygonCount, 4);
    EXPECT_FLOAT_EQ(v.slicePolygon[0][2], 0.25f);
    v.viewAlignedPolygon(2.0f);
    EXPECT_EQ(v.slicePolygonCount, 0);
    EXPECT_FLOAT_EQ(v.slicePolygon[0][2], 0.25f); // left as it was
}

// Parts of a box from -0.5 to 0.5 split at -0.1 and 0.2: every slice, on a
// shared face, on the box's faces or past them, belongs to exactly one part.
TEST(SliceInPart, EverySliceBelongsToOnePart)
{
    const float cuts[4] = {-0.5f, -0.1f, 0.2f, 0.5f};
    for (float at : {-0.7f, -0.5f, -0.3f, -0.1f, 0.0f, 0.2f, 0.3f, 0.5f, 0.6f}) {
        int owners = 0;
        int owner = -1;
        for (int p = 0; p < 3; ++p)
            if (sliceInPart(at, cuts[p], cuts[p + 1], -0.5f, 0.5f)) {
                ++owners;
                owner = p;
            }
        EXPECT_EQ(owners, 1) << at;
        // A shared face belongs to the part above it.
        if (at == -0.1f || at == 0.2f) {
            EXPECT_EQ(cuts[owner], at);
        }
    }
    // One part for the whole box takes everything.
    EXPECT_TRUE(sliceInPart(0.5f, -0.5f, 0.5f, -0.5f, 0.5f));
    EXPECT_TRUE(sliceInPart(-9.0f, -0.5f, 0.5f, -0.5f, 0.5f));
}

TEST(SliceInPart, DepthRangeOfTurnedCorners)
{
    float m[16];
    identity(m);
    float range[2];
    rotatedDepthRange(m, kUnit, range);
    EXPECT_FLOAT_EQ(range[0], -0.5f);
    EXPECT_FLOAT_EQ(range[1], 0.5f);
    // The cube's diagonal along the view: corners 0 and 6 at -+sqrt(3) / 2.
    float a[16], b[16];
    matRotation(45.0f, 0, 1, 0, a);
    matRotation(35.26439f, 1, 0, 0, b);
    matMultiply(b, a, m);
    rotatedDepthRange(m, kUnit, range);
    EXPECT_NEAR(range[0], -std::sqrt(3.0f) / 2.0f, 1e-5f);
    EXPECT_NEAR(range[1], std::sqrt(3.0f) / 2.0f, 1e-5f);
}

// The candidate slices of a part: those whose place lies in it (placed as the
// renderer places them, adding step after step), with one spare on each side,
// in either direction along the axis; none of a part beyond the slices.
TEST(SliceInPart, CandidateSlicesCoverThePart)
{
    SliceSchedule s;
    s.count = 11;
    s.step = 0.1f;
    int range[2];
    slicesWithin(-0.1f, 0.2f, -0.5f, 0.5f, s, range);
    EXPECT_EQ(range[0], 3);
    EXPECT_EQ(range[1], 8);
    slicesWithin(-0.1f, 0.2f, 0.5f, -0.5f, s, range);
    EXPECT_EQ(range[0], 2);
    EXPECT_EQ(range[1], 7);
    slicesWithin(-3.0f, -2.0f, -0.5f, 0.5f, s, range);
    EXPECT_GT(range[0], range[1]);
    slicesWithin(-3.0f, 3.0f, -0.5f, 0.5f, s, range);
    EXPECT_EQ(range[0], 0);
    EXPECT_EQ(range[1], 10);
    // 181 slices over a diagonal of 1.7: parts of every size and place.
    const SliceSchedule many = sliceSchedule(100, SLICING_3D_VIEW_ALIGNED);
    const float from = -0.85f;
    const float to = 0.85f;
    for (int p = 0; p < 40; ++p) {
        const float lo = from + 0.04f * static_cast<float>(p);
        const float hi = lo + 0.013f * static_cast<float>(p % 7 + 1);
        slicesWithin(lo, hi, from, to, many, range);
        float a = 0.0f;
        for (int i = 0; i < many.count; ++i, a += many.step) {
            const float place = from + a * (to - from);
            if (place >= lo && place <= hi) {
                EXPECT_GE(i, range[0]) << p;
                EXPECT_LE(i, range[1]) << p;
            }
        }
    }
}
