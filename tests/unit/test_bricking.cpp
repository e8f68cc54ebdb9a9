// The brick record: build order, accessors, and the back-to-front sort
// under both projections.
#include "bricking.h"
#include "error_handling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// A brick whose placement moves the origin to (x, y, z).
Brick* brickAt(float x, float y, float z)
{
    Brick* aBrick = nullptr;
    GUARDED_NEW(aBrick, Brick);
    for (int e = 0; e < 16; ++e)
        aBrick->placement[e] = kIdentity[e];
    aBrick->placement[12] = x;
    aBrick->placement[13] = y;
    aBrick->placement[14] = z;
    return aBrick;
}

std::vector<int> order(const BrickInfo& info)
{
    return std::vector<int>(info.myIndices, info.myIndices + info.count);
}

class BrickRecord : public ::testing::Test
{
protected:
    void SetUp() override { baseline = g_garbageCollector.count(); }
    void TearDown() override { EXPECT_EQ(g_garbageCollector.count(), baseline); }
    uint32_t baseline = 0;
};

} // namespace

TEST_F(BrickRecord, AddKeepsBuildOrderAndAccessorsGuardTheRange)
{
    BrickInfo* info = nullptr;
    GUARDED_NEW(info, BrickInfo, 32);
    EXPECT_EQ(info->getCount(), 0);
    EXPECT_EQ(info->getBrickSize(), 32);
    EXPECT_EQ(info->getBrick(0), nullptr);
    std::vector<Brick*> made;
    // Past the first growth of the arrays.
    for (int i = 0; i < 70; ++i) {
        made.push_back(brickAt(static_cast<float>(i), 0, 0));
        info->addBrick(made.back());
    }
    ASSERT_EQ(info->getCount(), 70);
    for (int i = 0; i < 70; ++i) {
        EXPECT_EQ(info->getBrick(i), made[i]);
        EXPECT_EQ(info->myIndices[i], i);
    }
    EXPECT_EQ(info->getBrick(70), nullptr);
    EXPECT_EQ(info->getBrick(-1), nullptr);
    // After a sort, the next add puts the indices back in build order.
    info->sortBricks(kIdentity, kIdentity, false);
    EXPECT_NE(info->myIndices[0], 0);
    info->addBrick(brickAt(0, 0, 0));
    for (int i = 0; i < 71; ++i)
        EXPECT_EQ(info->myIndices[i], i);
    RELEASE(info); // bricks and arrays go with it
}

TEST_F(BrickRecord, OrthographicSortDrawsFarthestAlongMinusZFirst)
{
    BrickInfo info(32);
    info.addBrick(brickAt(0, 0, 0.5f));  // nearest
    info.addBrick(brickAt(0, 0, -0.5f)); // farthest
    info.addBrick(brickAt(5, 5, 0.0f));  // far sideways, but -z is all that counts
    info.sortBricks(kIdentity, kIdentity, false);
    EXPECT_EQ(order(info), (std::vector<int>{1, 2, 0}));
    // The camera's translation moves all alike; a rotation of 180 degrees
    // about y turns the order round.
    float camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -3, 1};
    info.sortBricks(kIdentity, camera, false);
    EXPECT_EQ(order(info), (std::vector<int>{1, 2, 0}));
    const float turn[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
    info.sortBricks(turn, camera, false);
    EXPECT_EQ(order(info), (std::vector<int>{0, 2, 1}));
}

TEST_F(BrickRecord, EqualDistancesComeInReverseBuildOrder)
{
    BrickInfo info(32);
    for (int i = 0; i < 4; ++i)
        info.addBrick(brickAt(static_cast<float>(i), 0, 0)); // all at z = 0
    info.sortBricks(kIdentity, kIdentity, false);
    EXPECT_EQ(order(info), (std::vector<int>{3, 2, 1, 0}));
    // Perspective: equal lengths tie as well.
    BrickInfo ring(32);
    ring.addBrick(brickAt(1, 0, 0));
    ring.addBrick(brickAt(0, 2, 0));
    ring.addBrick(brickAt(-1, 0, 0));
    ring.addBrick(brickAt(0, 0, -1));
    ring.sortBricks(kIdentity, kIdentity, true);
    EXPECT_EQ(order(ring), (std::vector<int>{1, 3, 2, 0}));
}

TEST_F(BrickRecord, PerspectiveSortUsesTheDistanceFromTheEye)
{
    // Camera 4 units back: brick 0 lies ahead but far to the side, brick 1
    // behind it on the axis. Along -z brick 1 is farther; by length brick 0 is.
    BrickInfo info(32);
    info.addBrick(brickAt(6, 0, 0.5f));
    info.addBrick(brickAt(0, 0, -1.0f));
    const float camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -4, 1};
    info.sortBricks(kIdentity, camera, true);
    EXPECT_EQ(order(info), (std::vector<int>{0, 1}));
    info.sortBricks(kIdentity, camera, false);
    EXPECT_EQ(order(info), (std::vector<int>{1, 0}));
}

TEST_F(BrickRecord, EmptyRecordSortsAndReleasesQuietly)
{
    BrickInfo info;
    info.sortBricks(kIdentity, kIdentity, true);
    info.deleteTextures();
    EXPECT_EQ(info.getCount(), 0);
    EXPECT_EQ(info.myIndices, nullptr);
}
