// The memory a load will hold, against what there is.
#include "memory_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

const uint64_t kMB = 1024 * 1024;

LoadShape cube(int n, int readBytes, bool stacks, bool gradients, int channels = 1)
{
    LoadShape s;
    s.resolution[0] = s.resolution[1] = s.resolution[2] = n;
    s.readBytes = readBytes;
    s.channels = channels;
    s.stacks = stacks;
    s.gradients = gradients;
    return s;
}

} // namespace

TEST(MemoryBudget, EstimatesFollowTheStagesOfALoad)
{
    // 512^3 bytes: the kept copy and the texture; the stacks add three
    // copies, the gradients their two textures (4 bytes and 1 per voxel).
    EXPECT_EQ(estimateLoad(cube(512, 1, false, false)).data, 128 * kMB);
    EXPECT_EQ(estimateLoad(cube(512, 1, false, false)).peak, 256 * kMB);
    EXPECT_EQ(estimateLoad(cube(512, 1, true, false)).peak, 640 * kMB);
    EXPECT_EQ(estimateLoad(cube(512, 1, false, true)).peak, (256 + 640) * kMB);
    // Floats become shorts in their own buffer: the read 64 MB are the peak.
    EXPECT_EQ(estimateLoad(cube(256, 4, false, false)).peak, 64 * kMB);
    // Padded to powers of two: 100^3 shorts become 128^3 in the copy and
    // texture; the read values and the padded copy side by side come first
    // for floats.
    const LoadEstimate odd = estimateLoad(cube(100, 2, false, false));
    EXPECT_EQ(odd.data, 2000000u);
    EXPECT_EQ(odd.peak, 2u * 128 * 128 * 128 * 2);
    EXPECT_EQ(estimateLoad(cube(100, 8, false, false)).peak, 8000000u + 128 * 128 * 128 * 2);
    // Four channels take four times as much.
    EXPECT_EQ(estimateLoad(cube(256, 1, false, false, 4)).peak, 4 * estimateLoad(cube(256, 1, false, false)).peak);
    // Sizes past any memory saturate instead of wrapping round.
    LoadShape huge = cube(1 << 30, 8, true, true, 4);
    EXPECT_EQ(estimateLoad(huge).peak, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(estimateLoad(LoadShape()).data, 0u);
}

TEST(MemoryBudget, TheBudgetIsTheSmallerOfWhatThereIsAndTheLimit)
{
    const uint64_t available = availableMemory();
    ASSERT_GT(available, 0u) << "/proc/meminfo has MemAvailable";
    setLoadMemoryLimit(0);
    EXPECT_GT(loadMemoryBudget(), 0u);
    setLoadMemoryLimit(300 * kMB);
    EXPECT_EQ(loadMemoryBudget(), 300 * kMB);
    setLoadMemoryLimit(std::numeric_limits<uint64_t>::max());
    EXPECT_LT(loadMemoryBudget(), std::numeric_limits<uint64_t>::max());
    setLoadMemoryLimit(0);
}

TEST(MemoryBudget, TheRefusalNamesTheFileAndBothSizes)
{
    LoadEstimate e;
    e.data = 128 * kMB;
    e.peak = 640 * kMB + 1;
    EXPECT_EQ(memoryRefusal("/data/ball.dat", e, 400 * kMB),
              "/data/ball.dat: opening it needs about 641 MB (the voxels take 128 MB), more than the 400 MB at hand.");
}
