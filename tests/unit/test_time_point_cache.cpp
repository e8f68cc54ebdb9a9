// Time points kept in memory: exact copies out, the budget held, the least
// recently used dropped first, nothing registered left behind.
#include "error_handling.h"
#include "time_point_cache.h"
#include "voxel_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A 4 x 3 x 2 volume of shorts whose values start at first, with its own
// information text and two bands laid one after the other.
void makeFile(VolumeFile* f, int first)
{
    f->release();
    f->type = VOXEL_SHORT;
    f->resolution[0] = 4;
    f->resolution[1] = 3;
    f->resolution[2] = 2;
    f->spacing[2] = 2.5f;
    f->bands = 2;
    f->bandMajor = true;
    f->bigEndianValues = true;
    f->timePoints = 5;
    f->info = "t " + std::to_string(first) + "\n";
    f->ratioAt = 2;
    GUARDED_VOXELS_AS(f->data, "tmpdata", 96);
    for (int i = 0; i < 48; ++i)
        static_cast<int16_t*>(f->data)[i] = static_cast<int16_t>(first + i);
}

void expectSame(const VolumeFile& a, const VolumeFile& b)
{
    ASSERT_TRUE(a.data && b.data);
    EXPECT_NE(a.data, b.data);
    EXPECT_EQ(std::memcmp(a.data, b.data, 96), 0);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.resolution[2], b.resolution[2]);
    EXPECT_EQ(a.spacing[2], b.spacing[2]);
    EXPECT_EQ(a.bands, b.bands);
    EXPECT_EQ(a.bandMajor, b.bandMajor);
    EXPECT_EQ(a.bigEndianValues, b.bigEndianValues);
    EXPECT_EQ(a.timePoints, b.timePoints);
    EXPECT_EQ(a.info, b.info);
    EXPECT_EQ(a.ratioAt, b.ratioAt);
}

} // namespace

TEST(TimePointCache, KeepsExactCopiesWithinItsBudgetDroppingTheLeastRecentlyUsed)
{
    const uint32_t before = g_garbageCollector.count();
    {
        VolumeFile f, out;
        makeFile(&f, 0);
        EXPECT_EQ(voxelBytesOf(f), 96u);
        TimePointCache cache(3 * 96);
        for (int t = 0; t < 3; ++t) {
            makeFile(&f, 100 * t);
            cache.keep("/d/a.nii", static_cast<size_t>(t), f);
        }
        EXPECT_EQ(cache.count(), 3u);
        EXPECT_EQ(cache.bytes(), 288u);
        // A copy comes out; the kept one stays for the next time.
        makeFile(&f, 0);
        ASSERT_TRUE(cache.get("/d/a.nii", 0, &out));
        expectSame(out, f);
        ASSERT_TRUE(cache.get("/d/a.nii", 0, &out));
        // Another file's time point 0 is not this one's.
        EXPECT_FALSE(cache.get("/d/b.nii", 0, &out));
        EXPECT_EQ(out.data, nullptr);
        // A fourth drops time point 1, the least recently used (0 was asked for).
        makeFile(&f, 300);
        cache.keep("/d/a.nii", 3, f);
        EXPECT_EQ(cache.count(), 3u);
        EXPECT_FALSE(cache.get("/d/a.nii", 1, &out));
        EXPECT_TRUE(cache.get("/d/a.nii", 2, &out));
        EXPECT_TRUE(cache.get("/d/a.nii", 0, &out));
        // Kept again, a time point replaces its older copy.
        makeFile(&f, 7);
        cache.keep("/d/a.nii", 0, f);
        EXPECT_EQ(cache.count(), 3u);
        ASSERT_TRUE(cache.get("/d/a.nii", 0, &out));
        expectSame(out, f);
        // A smaller budget drops from the least recently used end.
        cache.setBudget(96 + 95);
        EXPECT_EQ(cache.count(), 1u);
        EXPECT_TRUE(cache.get("/d/a.nii", 0, &out));
        // One larger than the budget is not kept; nor a record without voxels.
        cache.setBudget(95);
        EXPECT_EQ(cache.count(), 0u);
        cache.keep("/d/a.nii", 4, f);
        EXPECT_EQ(cache.count(), 0u);
        cache.setBudget(1000);
        VolumeFile empty;
        cache.keep("/d/a.nii", 4, empty);
        EXPECT_EQ(cache.count(), 0u);
        cache.keep("/d/a.nii", 4, f);
        cache.clear();
        EXPECT_EQ(cache.count(), 0u);
        EXPECT_EQ(cache.bytes(), 0u);
        cache.keep("/d/a.nii", 4, f);
    }
    EXPECT_EQ(g_garbageCollector.count(), before);
}
