// Bricked volumes on an offscreen context: the allocation registry around a
// bricked load and its release.
#include "bricking.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "gl_context.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Entry
{
    const void* pointer;
    std::string name;
    int line;
    bool operator==(const Entry& o) const { return pointer == o.pointer && name == o.name && line == o.line; }
};

std::vector<Entry> registryEntries()
{
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i) {
        const AllocationRecord& r = g_garbageCollector.record(i);
        entries.push_back({r.pointer, r.name, r.line});
    }
    return entries;
}

int countNamed(const char* name)
{
    int n = 0;
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i)
        n += std::strcmp(g_garbageCollector.record(i).name, name) == 0;
    return n;
}

// 129 x 2 x 1 bricks: the registry holds every brick while the volume lives,
// and after the release exactly the entries it held before, in their order,
// with one made while the bricks lived kept behind them.
TEST(BrickRegistry, BackToItsEntriesAfterABrickedVolumeIsReleased)
{
    OffscreenContext ctx(16, 16);
    ASSERT_TRUE(ctx.ok()) << ctx.error();
    int early[2] = {0, 0};
    g_garbageCollector.add(&early[0], __FILE__, 1, "early[0]");
    g_garbageCollector.add(&early[1], __FILE__, 2, "early[1]");
    std::vector<Entry> expected = registryEntries();

    Volume v;
    v.resolution[0] = 4100;
    v.resolution[1] = 40;
    v.resolution[2] = 8;
    v.nbrChannels = 1;
    v.setBoxProportions(1, 1, 1);
    v.isBricking = true;
    std::vector<unsigned char> data(4100 * 40 * 8, 7);
    const int bricksBefore = countNamed("aBrick");
    buildBricks(data.data(), GL_UNSIGNED_BYTE, v, nullptr, nullptr);
    ASSERT_NE(v.myBrickInfo, nullptr);
    ASSERT_EQ(v.myBrickInfo->getCount(), 258);
    EXPECT_EQ(countNamed("aBrick") - bricksBefore, 258);
    // The record and its brick, order and distance arrays.
    EXPECT_EQ(g_garbageCollector.count(), expected.size() + 258 + 4);

    int late = 0;
    g_garbageCollector.add(&late, __FILE__, 3, "late");
    expected.push_back({&late, "late", 3});
    v.release();
    EXPECT_EQ(registryEntries(), expected);

    g_garbageCollector.remove(&late);
    g_garbageCollector.remove(&early[1]);
    g_garbageCollector.remove(&early[0]);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
