// The arithmetic of streamed bricks: parts tiling the box, the voxels a part
// reads at each level with its border, level choice by pixel size, memory
// sizes and the least-recently-used cache under a budget.
#include "brick_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

PlanLevel level(int n, double span)
{
    PlanLevel l;
    for (int a = 0; a < 3; ++a) {
        l.resolution[a] = n;
        l.span[a] = span;
    }
    return l;
}

// The levels of a pyramid of n0 voxels, each half the one before (rounded
// up), spans as the stream gives them: the coarsest level's resolution
// times the factor.
std::vector<PlanLevel> pyramid(const int n0[3], int count)
{
    std::vector<PlanLevel> levels(static_cast<size_t>(count));
    for (int a = 0; a < 3; ++a) {
        int n = n0[a];
        for (int l = 0; l < count; ++l) {
            levels[static_cast<size_t>(l)].resolution[a] = n;
            n = (n + 1) / 2;
        }
        for (int l = 0; l < count; ++l)
            levels[static_cast<size_t>(l)].span[a] =
                static_cast<double>(levels.back().resolution[a]) * static_cast<double>(1 << (count - 1 - l));
    }
    return levels;
}

double volumeOf(const PlanPart& p)
{
    return (static_cast<double>(p.hi[0]) - p.lo[0]) * (static_cast<double>(p.hi[1]) - p.lo[1]) *
           (static_cast<double>(p.hi[2]) - p.lo[2]);
}

// Where a ray from `from` along `dir` enters the part (its parameter), or -1
// when it misses it.
double entry(const PlanPart& p, const double from[3], const double dir[3])
{
    double t0 = -1e300, t1 = 1e300;
    for (int a = 0; a < 3; ++a) {
        if (dir[a] == 0.0) {
            if (from[a] <= p.lo[a] || from[a] >= p.hi[a])
                return -1.0;
            continue;
        }
        double u = (p.lo[a] - from[a]) / dir[a], v = (p.hi[a] - from[a]) / dir[a];
        if (u > v)
            std::swap(u, v);
        t0 = std::max(t0, u);
        t1 = std::min(t1, v);
    }
    return t1 > t0 + 1e-9 && t1 > 0.0 ? std::max(t0, 0.0) : -1.0;
}

} // namespace

// 64 voxels in bricks of 16 texels: 5 parts per axis, cut at the centres of
// the shared voxels 15, 30, 45 and 60, the first and last reaching the faces.
TEST(BrickPlan, PartsTileTheBoxAtSharedVoxelCentres)
{
    const float extent[3] = {1.0f, 1.0f, 2.0f};
    const std::vector<PlanPart> parts = planParts(level(64, 64), 16, extent);
    ASSERT_EQ(parts.size(), 125u);
    const float cuts[6] = {0.0f, 15.5f, 30.5f, 45.5f, 60.5f, 64.0f};
    for (int k = 0; k < 5; ++k) {
        EXPECT_FLOAT_EQ(parts[static_cast<size_t>(k)].lo[0], cuts[k] / 64.0f - 0.5f);
        EXPECT_FLOAT_EQ(parts[static_cast<size_t>(k)].hi[0], cuts[k + 1] / 64.0f - 0.5f);
        // z: the fastest-changing index is x, then y, then z.
        EXPECT_FLOAT_EQ(parts[static_cast<size_t>(25 * k)].lo[2], (cuts[k] / 64.0f - 0.5f) * 2.0f);
    }
    EXPECT_FLOAT_EQ(parts[5].lo[1], 15.5f / 64.0f - 0.5f);
    // A finest level shorter than the box (an odd edge halved): the last part
    // still ends on the face.
    PlanLevel odd = level(63, 64);
    const std::vector<PlanPart> oddParts = planParts(odd, 16, extent);
    EXPECT_FLOAT_EQ(oddParts.back().hi[0], 0.5f);
    EXPECT_FLOAT_EQ(oddParts.back().hi[2], 1.0f);
}

// The voxels a part reads: the voxel at or below its start, the one at or
// above its end; at level 1 the same part needs half as many, and the last
// part of a level that is not a power of two long ends with a zero texel.
TEST(BrickPlan, RegionsHoldTheirBorderVoxels)
{
    const float extent[3] = {1.0f, 1.0f, 1.0f};
    const std::vector<PlanPart> parts = planParts(level(64, 64), 16, extent);
    const PlanRegion first = planRegion(parts[0], level(64, 64), extent);
    EXPECT_EQ(first.first[0], 0);
    EXPECT_EQ(first.voxels[0], 16);
    EXPECT_EQ(first.texels[0], 16);
    const PlanRegion second = planRegion(parts[1], level(64, 64), extent);
    EXPECT_EQ(second.first[0], 15);
    EXPECT_EQ(second.voxels[0], 16);
    // Box point p lands on texel coordinate (u - first) / texels: the part's
    // start 15.5 is the centre of texel 0.
    EXPECT_FLOAT_EQ(parts[1].lo[0] * second.texScale[0] + second.texOffset[0], 0.5f / 16.0f);
    const PlanRegion last = planRegion(parts[4], level(64, 64), extent);
    EXPECT_EQ(last.first[0], 60);
    EXPECT_EQ(last.voxels[0], 4);
    EXPECT_EQ(last.texels[0], 4);
    EXPECT_FLOAT_EQ(parts[4].hi[0] * last.texScale[0] + last.texOffset[0], 1.0f);
    // Level 1: part 1 spans voxels 7.75 ... 15.25: voxels 7 to 15.
    const PlanRegion coarse = planRegion(parts[1], level(32, 32), extent);
    EXPECT_EQ(coarse.first[0], 7);
    EXPECT_EQ(coarse.voxels[0], 9);
    EXPECT_EQ(coarse.values(), 9u * 9u * 9u);
    // 48 voxels (no power of two) in bricks of 16: the last part reads to
    // voxel 47 and gets a zero texel after it.
    const std::vector<PlanPart> parts48 = planParts(level(48, 48), 16, extent);
    const PlanRegion end48 = planRegion(parts48.back(), level(48, 48), extent);
    EXPECT_EQ(end48.first[0] + end48.voxels[0], 48);
    EXPECT_EQ(end48.texels[0], end48.voxels[0] + 1);
    const PlanRegion start48 = planRegion(parts48.front(), level(48, 48), extent);
    EXPECT_EQ(start48.texels[0], start48.voxels[0]);
}

// An orthographic projection of [-1, 1] onto 200 pixels: 100 pixels per unit
// along x and y; a box of extent 1 in levels of 64, 32, 16 and 8 voxels has
// voxels of 1.6, 3.1, 6.3 and 12.5 pixels.
TEST(BrickPlan, CoarsestLevelWhoseVoxelFitsAPixel)
{
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float centre[3] = {0.2f, -0.1f, 0.3f};
    const double perUnit = pixelsPerUnit(identity, identity, 200, 200, centre);
    EXPECT_NEAR(perUnit, 100.0, 1e-3);
    // Behind the eye of a perspective projection: nothing.
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -0.2f, 0};
    const float behind[3] = {0.0f, 0.0f, 1.0f};
    EXPECT_EQ(pixelsPerUnit(identity, perspective, 200, 200, behind), 0.0);
    // In front, twice as far is half as large.
    const float near[3] = {0.0f, 0.0f, -1.0f};
    const float far[3] = {0.0f, 0.0f, -2.0f};
    EXPECT_NEAR(pixelsPerUnit(identity, perspective, 200, 200, near),
                2.0 * pixelsPerUnit(identity, perspective, 200, 200, far), 1e-2);

    const std::vector<PlanLevel> levels = {level(64, 64), level(32, 32), level(16, 16), level(8, 8)};
    const float extent[3] = {1.0f, 1.0f, 1.0f};
    EXPECT_EQ(chooseLevel(levels, extent, perUnit), 0);       // even level 0 is larger than a pixel
    EXPECT_EQ(chooseLevel(levels, extent, perUnit, 3.2), 1);  // 3.2 px allowed: level 1
    EXPECT_EQ(chooseLevel(levels, extent, perUnit / 2.0), 0); // level 0 is 0.8 px, level 1 1.6
    EXPECT_EQ(chooseLevel(levels, extent, perUnit / 2.0, 1.6), 1);
    EXPECT_EQ(chooseLevel(levels, extent, perUnit, 7.0), 2);
    EXPECT_EQ(chooseLevel(levels, extent, 1.0), 3);           // far away: the coarsest
    // The longest voxel side counts: a box twice as long along z.
    const float tall[3] = {1.0f, 1.0f, 2.0f};
    EXPECT_EQ(chooseLevel(levels, tall, 16.0), 1);
    EXPECT_EQ(chooseLevel(levels, extent, 16.0), 2);
}

TEST(BrickPlan, MemorySizes)
{
    uint64_t bytes = 0;
    EXPECT_TRUE(parseMemorySize("512M", &bytes));
    EXPECT_EQ(bytes, 512ull << 20);
    EXPECT_TRUE(parseMemorySize("2G", &bytes));
    EXPECT_EQ(bytes, 2ull << 30);
    EXPECT_TRUE(parseMemorySize("2gb", &bytes));
    EXPECT_EQ(bytes, 2ull << 30);
    EXPECT_TRUE(parseMemorySize("0.5G", &bytes));
    EXPECT_EQ(bytes, 512ull << 20);
    EXPECT_TRUE(parseMemorySize("1500K", &bytes));
    EXPECT_EQ(bytes, 1500ull << 10);
    EXPECT_TRUE(parseMemorySize("3000000", &bytes));
    EXPECT_EQ(bytes, 3000000u);
    for (const char* bad : {"", "0", "0M", "-1G", "2X", "G", "2 G", "1e30", "12MBB"})
        EXPECT_FALSE(parseMemorySize(bad, &bytes)) << bad;
}

// A budget of 100 bytes: bricks of 40 fit two at a time; using one keeps it
// over the other; one larger than the budget stays alone.
TEST(BrickPlan, CacheEvictsTheLeastRecentlyUsedUnderItsBudget)
{
    BrickLru cache(100);
    const uint64_t a = BrickLru::key(0, 1), b = BrickLru::key(0, 2), c = BrickLru::key(1, 1);
    EXPECT_EQ(BrickLru::levelOf(c), 1);
    EXPECT_EQ(BrickLru::partOf(c), 1);
    EXPECT_NE(a, c);
    EXPECT_TRUE(cache.put(a, 40).empty());
    EXPECT_TRUE(cache.put(b, 40).empty());
    EXPECT_TRUE(cache.touch(a));
    EXPECT_EQ(cache.put(c, 40), std::vector<uint64_t>{b});
    EXPECT_EQ(cache.order(), (std::vector<uint64_t>{a, c}));
    EXPECT_EQ(cache.used(), 80u);
    EXPECT_FALSE(cache.touch(b));
    // The same key again replaces its bytes.
    EXPECT_TRUE(cache.put(a, 50).empty());
    EXPECT_EQ(cache.used(), 90u);
    EXPECT_EQ(cache.order(), (std::vector<uint64_t>{c, a}));
    // Larger than the budget: everything else goes, it stays.
    const uint64_t big = BrickLru::key(0, 9);
    EXPECT_EQ(cache.put(big, 500), (std::vector<uint64_t>{c, a}));
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_TRUE(cache.contains(big));
    EXPECT_TRUE(cache.drop(big));
    EXPECT_FALSE(cache.drop(big));
    EXPECT_EQ(cache.used(), 0u);
    // A smaller budget takes effect at the next put, or at once by a trim.
    cache.setBudget(10);
    EXPECT_TRUE(cache.put(a, 5).empty());
    EXPECT_EQ(cache.put(b, 6), std::vector<uint64_t>{a});
    EXPECT_TRUE(cache.trim().empty());
    EXPECT_TRUE(cache.put(c, 4).empty());
    cache.setBudget(5);
    EXPECT_EQ(cache.trim(), std::vector<uint64_t>{b});
    EXPECT_EQ(cache.used(), 4u);
    cache.setBudget(0);
    EXPECT_EQ(cache.trim(), std::vector<uint64_t>{c});
    EXPECT_EQ(cache.used(), 0u);
    EXPECT_TRUE(cache.trim().empty());
}

// Leaves of 256 until there would be more than 32768 of them: 2048^3 has
// 9^3, 8192^3 33^3 of 256 (too many) and 17^3 of 512; 65536 x 64 x 64 257
// of 256, 129 of 512.
TEST(BrickPlan, LeafSizeKeepsTheLeavesFew)
{
    EXPECT_EQ(planLeafTexels(level(2048, 2048)), 256);
    EXPECT_EQ(planLeafTexels(level(8192, 8192)), 512);
    EXPECT_EQ(planLeafTexels(level(64, 64)), 256);
    PlanLevel thin = level(64, 64);
    thin.resolution[0] = 65536;
    EXPECT_EQ(planLeafTexels(thin), 256);
    EXPECT_EQ(planLeafTexels(thin, 256, 200), 512);
    EXPECT_EQ(planLeafTexels(level(1 << 30, 1 << 30)), 4096);
}

// Bricks of 64, 8 and 1 bytes at levels 0, 1 and 2 (level 3 the coarsest,
// loaded whole): the finest bricks go coarser one at a time, the least on
// screen first, until the bricks fit the budget with room for those in
// flight.
TEST(BrickPlan, LevelsGoCoarserFinestAndSmallestFirstUntilTheyFitTheBudget)
{
    const auto bytes = [](int level, int) { return uint64_t{64} >> (3 * level); };
    const std::vector<int> wanted = {0, 0, 1};
    const std::vector<double> priority = {2.0, 1.0, 5.0};
    uint64_t largest = 99;
    using L = std::vector<int>;
    // 64 + 64 + 8.
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 136, 0, bytes, &largest), (L{0, 0, 1}));
    EXPECT_EQ(largest, 64u);
    // Part 1 (less on screen than part 0) first: 64 + 8 + 8.
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 135, 0, bytes, &largest), (L{0, 1, 1}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 80, 0, bytes), (L{0, 1, 1}));
    // Then part 0: 8 + 8 + 8; then the level-1 parts by priority.
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 79, 0, bytes, &largest), (L{1, 1, 1}));
    EXPECT_EQ(largest, 8u);
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 23, 0, bytes), (L{1, 2, 1}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 10, 0, bytes), (L{2, 2, 1}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 3, 0, bytes), (L{2, 2, 2}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 0, 0, bytes, &largest), (L{3, 3, 3}));
    EXPECT_EQ(largest, 0u);
    // Room for two more of the largest: 64 + 8 + 8 + 2 x 64 = 208.
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 208, 2, bytes), (L{0, 1, 1}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 3, 207, 2, bytes), (L{1, 1, 1}));
    // Nothing to fit; levels beyond the coarsest are the coarsest.
    EXPECT_TRUE(levelsWithinBudget({}, {}, 3, 0, 4, bytes).empty());
    EXPECT_EQ(levelsWithinBudget({3, 7}, {}, 3, 0, 4, bytes), (L{3, 3}));
    EXPECT_EQ(levelsWithinBudget(wanted, priority, 0, 0, 4, bytes), (L{0, 0, 0}));
}

// A part is left out only when all its corners lie beyond one face of the
// view volume: beside it in an orthographic view, beside it or behind the
// eye in perspective; a part across a face or around the eye stays.
TEST(BrickPlan, PartsOutsideTheViewAreKnown)
{
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    auto in = [](const float* mv, const float* proj, std::array<float, 3> lo, std::array<float, 3> hi) {
        return partInView(mv, proj, lo.data(), hi.data());
    };
    // Orthographic, x and y from -1 to 1.
    EXPECT_TRUE(in(identity, identity, {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}));
    EXPECT_TRUE(in(identity, identity, {0.9f, 0, 0}, {1.5f, 0.1f, 0.1f}));
    EXPECT_FALSE(in(identity, identity, {1.1f, 0, 0}, {1.5f, 0.1f, 0.1f}));
    EXPECT_FALSE(in(identity, identity, {0, -3, 0}, {0.1f, -1.01f, 0.1f}));
    EXPECT_TRUE(in(identity, identity, {-5, -5, 0}, {5, 5, 0.1f})); // around the whole view
    // Perspective, 90 degrees, near 1, far 100, the eye 5 units in front of
    // the box's centre.
    const float n = 1, f = 100;
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, (f + n) / (n - f), -1, 0, 0, 2 * f * n / (n - f), 0};
    float back[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};
    EXPECT_TRUE(in(back, perspective, {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}));
    EXPECT_FALSE(in(back, perspective, {6, 0, 0}, {7, 1, 1}));     // beside: x > w = 5
    EXPECT_TRUE(in(back, perspective, {4, 0, 0}, {7, 1, 1}));      // across the edge
    EXPECT_FALSE(in(back, perspective, {-1, -1, 6}, {1, 1, 7}));   // behind the eye
    EXPECT_TRUE(in(back, perspective, {-1, -1, -1}, {1, 1, 7}));   // around the eye
}

// Trees of leaves of 16 and 128 texels over pyramids of even, odd and
// uneven sizes: the leaves are planParts' parts; at every depth the nodes
// cover each leaf once and fill the box; children cover their parent's
// leaves and part exactly; a node's region at the level of its depth is a
// leaf's size, one texel more above the leaves (its faces fall between
// that level's voxel centres).
TEST(BrickPlan, TreeNodesTileTheBoxAtEveryDepth)
{
    const int sizes[5][3] = {{64, 64, 64}, {100, 100, 100}, {2048, 2048, 2048}, {33, 70, 129}, {300, 20, 1}};
    const float extent[3] = {1.0f, 0.8f, 1.3f};
    for (const auto& size : sizes)
        for (int texels : {16, 128}) {
            if (size[0] > 1000 && texels < 100)
                continue; // 137^3 leaves: slow, and nothing new
            SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + "x" + std::to_string(size[2]) +
                         " in " + std::to_string(texels));
            const std::vector<PlanLevel> levels = pyramid(size, 5);
            const PlanTree tree = planTree(levels[0], texels, extent, 4);
            const std::vector<PlanPart> parts = planParts(levels[0], texels, extent);
            ASSERT_EQ(tree.leafCount(), static_cast<int>(parts.size()));
            ASSERT_FALSE(tree.roots.empty());
            const int top = tree.nodes[static_cast<size_t>(tree.roots[0])].depth;
            EXPECT_EQ(tree.roots.back() + 1, static_cast<int>(tree.nodes.size()));
            EXPECT_TRUE(top == 4 || tree.roots.size() == 1);
            const double box = static_cast<double>(extent[0]) * extent[1] * extent[2];
            std::vector<std::vector<int>> covered(static_cast<size_t>(top + 1),
                                                  std::vector<int>(parts.size(), 0));
            std::vector<double> filled(static_cast<size_t>(top + 1), 0.0);
            for (size_t n = 0; n < tree.nodes.size(); ++n) {
                const PlanNode& node = tree.nodes[n];
                if (n < parts.size()) {
                    EXPECT_EQ(node.depth, 0);
                    EXPECT_TRUE(node.children.empty());
                    for (int a = 0; a < 3; ++a) {
                        EXPECT_EQ(node.part.lo[a], parts[n].lo[a]);
                        EXPECT_EQ(node.part.hi[a], parts[n].hi[a]);
                    }
                }
                filled[static_cast<size_t>(node.depth)] += volumeOf(node.part);
                for (int z = node.firstLeaf[2]; z < node.endLeaf[2]; ++z)
                    for (int y = node.firstLeaf[1]; y < node.endLeaf[1]; ++y)
                        for (int x = node.firstLeaf[0]; x < node.endLeaf[0]; ++x)
                            ++covered[static_cast<size_t>(node.depth)][static_cast<size_t>(tree.leaf(x, y, z))];
                const PlanPart& first = parts[static_cast<size_t>(tree.leaf(node.firstLeaf[0], node.firstLeaf[1],
                                                                            node.firstLeaf[2]))];
                const PlanPart& last = parts[static_cast<size_t>(
                    tree.leaf(node.endLeaf[0] - 1, node.endLeaf[1] - 1, node.endLeaf[2] - 1))];
                double children = 0.0;
                int childLeaves = 0;
                for (int c : node.children) {
                    const PlanNode& child = tree.nodes[static_cast<size_t>(c)];
                    EXPECT_EQ(child.depth, node.depth - 1);
                    children += volumeOf(child.part);
                    childLeaves += (child.endLeaf[0] - child.firstLeaf[0]) * (child.endLeaf[1] - child.firstLeaf[1]) *
                                   (child.endLeaf[2] - child.firstLeaf[2]);
                    for (int a = 0; a < 3; ++a) {
                        EXPECT_GE(child.firstLeaf[a], node.firstLeaf[a]);
                        EXPECT_LE(child.endLeaf[a], node.endLeaf[a]);
                        EXPECT_GE(child.part.lo[a], node.part.lo[a]);
                        EXPECT_LE(child.part.hi[a], node.part.hi[a]);
                    }
                }
                const int leaves = (node.endLeaf[0] - node.firstLeaf[0]) * (node.endLeaf[1] - node.firstLeaf[1]) *
                                   (node.endLeaf[2] - node.firstLeaf[2]);
                if (node.depth > 0) {
                    EXPECT_LE(node.children.size(), 8u);
                    EXPECT_EQ(childLeaves, leaves);
                    EXPECT_NEAR(children, volumeOf(node.part), 1e-6 * box);
                }
                for (int a = 0; a < 3; ++a) {
                    EXPECT_EQ(node.part.lo[a], first.lo[a]);
                    EXPECT_EQ(node.part.hi[a], last.hi[a]);
                    EXPECT_LE(node.endLeaf[a] - node.firstLeaf[a], 1 << node.depth);
                }
                const PlanRegion r = planRegion(node.part, levels[static_cast<size_t>(node.depth)], extent);
                for (int a = 0; a < 3; ++a)
                    EXPECT_LE(r.texels[a], texels + (node.depth > 0 ? 1 : 0)) << "node " << n << " axis " << a;
            }
            for (int d = 0; d <= top; ++d) {
                EXPECT_NEAR(filled[static_cast<size_t>(d)], box, 1e-6 * box);
                const auto& c = covered[static_cast<size_t>(d)];
                EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](int k) { return k == 1; })) << "depth " << d;
            }
        }
}

// 64 voxels in leaves of 16 under 8 roots (level 2 the coarsest): 5 leaves,
// 3 nodes of depth 1 and 2 roots per axis. A view that wants level 0 only
// at the centre leaf (2, 2, 2) and level 2 elsewhere draws that leaf at 0,
// its 7 siblings at 2, its parent's 7 siblings at 2 and the other 7 roots
// at 2; one that wants level 0 everywhere draws the 125 leaves, one that
// wants level 1 the 27 nodes of depth 1, and one that wants level 2 the 8
// roots.
TEST(BrickPlan, CutReplacesNodesWantedFinerByTheirChildren)
{
    const float extent[3] = {1.0f, 1.0f, 1.0f};
    const PlanTree tree = planTree(level(64, 64), 16, extent, 2);
    ASSERT_EQ(tree.nodes.size(), 125u + 27u + 8u);
    ASSERT_EQ(tree.roots.size(), 8u);
    auto count = [](const std::vector<int>& cut, int level) {
        return std::count(cut.begin(), cut.end(), level);
    };
    for (int want = 0; want <= 2; ++want) {
        const std::vector<int> cut = planCut(tree, [want](int) { return want; });
        EXPECT_EQ(count(cut, want), (std::array<long, 3>{125, 27, 8})[static_cast<size_t>(want)]);
        EXPECT_EQ(count(cut, -1), 160 - count(cut, want));
    }
    const int centre = tree.leaf(2, 2, 2);
    auto holdsCentre = [&](int n) {
        const PlanNode& node = tree.nodes[static_cast<size_t>(n)];
        for (int a = 0; a < 3; ++a)
            if (node.firstLeaf[a] > 2 || node.endLeaf[a] <= 2)
                return false;
        return true;
    };
    std::vector<int> asked;
    const std::vector<int> cut = planCut(tree, [&](int n) {
        asked.push_back(n);
        return holdsCentre(n) ? 0 : 2;
    });
    EXPECT_EQ(asked.size(), 8u + 8u + 8u); // the roots, one root's children, one child's
    EXPECT_EQ(count(cut, 0), 1);
    EXPECT_EQ(cut[static_cast<size_t>(centre)], 0);
    EXPECT_EQ(count(cut, 2), 21);
    int leaves = 0;
    for (size_t n = 0; n < cut.size(); ++n)
        if (cut[n] >= 0) {
            const PlanNode& node = tree.nodes[n];
            leaves += (node.endLeaf[0] - node.firstLeaf[0]) * (node.endLeaf[1] - node.firstLeaf[1]) *
                      (node.endLeaf[2] - node.firstLeaf[2]);
        }
    EXPECT_EQ(leaves, 125);
}

// The cut's draw order, checked along rays: every ray meets the nodes it
// crosses in the reverse of the order (the farthest drawn first), for
// orthographic views from several directions and eyes near and inside the
// box.
TEST(BrickPlan, CutOrderDrawsTheFarthestFirst)
{
    const float extent[3] = {1.0f, 1.2f, 0.9f};
    const PlanTree tree = planTree(level(100, 100), 16, extent, 3);
    const int centre = tree.leaf(3, 2, 4);
    auto holds = [&](int n, int leaf) {
        const PlanNode& node = tree.nodes[static_cast<size_t>(n)];
        const PlanNode& l = tree.nodes[static_cast<size_t>(leaf)];
        for (int a = 0; a < 3; ++a)
            if (node.firstLeaf[a] > l.firstLeaf[a] || node.endLeaf[a] <= l.firstLeaf[a])
                return false;
        return true;
    };
    // Level 0 at one leaf, 1 around it, 3 elsewhere: nodes of every depth.
    const std::vector<int> cut = planCut(tree, [&](int n) {
        return holds(n, centre) ? 0 : (holds(n, tree.leaf(2, 2, 4)) || holds(n, tree.leaf(4, 3, 4)) ? 1 : 3);
    });
    std::vector<int> rank(cut.size(), -1);
    const double eyes[6][4] = {{0, 0, 1, 0}, {1, 0.3, -0.7, 0}, {-0.2, -1, 0.4, 0},
                               {0.9, 1.1, 1.4, 1}, {0.05, -0.1, 0.1, 1}, {-2, 0.2, -0.3, 1}};
    for (const auto& e : eyes) {
        double eye[3];
        for (int a = 0; a < 3; ++a)
            eye[a] = e[3] > 0 ? e[a] : 1e9 * e[a];
        const std::vector<int> order = planCutOrder(tree, cut, eye);
        ASSERT_EQ(order.size(), static_cast<size_t>(cut.size() - std::count(cut.begin(), cut.end(), -1)));
        for (size_t i = 0; i < order.size(); ++i)
            rank[static_cast<size_t>(order[i])] = static_cast<int>(i);
        int crossings = 0;
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j) {
                // A ray from the eye (or from far along the direction) through a point of the box.
                const double at[3] = {(i + 0.37) / 40.0 - 0.5, (j + 0.61) / 40.0 - 0.5, ((i * 7 + j * 3) % 40) / 40.0 - 0.5};
                double from[3], dir[3];
                for (int a = 0; a < 3; ++a) {
                    const double p = at[a] * extent[a];
                    from[a] = e[3] > 0 ? eye[a] : p + 10.0 * e[a];
                    dir[a] = e[3] > 0 ? p - eye[a] : -e[a];
                }
                std::vector<std::pair<double, int>> met;
                for (int n : order) {
                    const double t = entry(tree.nodes[static_cast<size_t>(n)].part, from, dir);
                    if (t >= 0.0)
                        met.emplace_back(t, n);
                }
                std::sort(met.begin(), met.end());
                for (size_t k = 1; k < met.size(); ++k) {
                    ++crossings;
                    EXPECT_GT(rank[static_cast<size_t>(met[k - 1].second)], rank[static_cast<size_t>(met[k].second)]);
                }
            }
        EXPECT_GT(crossings, 1000);
    }
}
