// Streamed pyramid bricks against the same data loaded whole: a 64^3
// phantom written as a three-level pyramid (64, 32, 16) and drawn through
// bricks of 16 texels under a budget of one brick equals the picture of
// level 0 as one volume; the natural level of an orthographic 64-pixel view
// (a voxel up to two pixels) is level 1 and equals the picture of level 1 as one volume; bricks not
// yet read draw from the coarsest level.
#include "render_fixture.h"
#include "test_support.h"
#include "unit/zarr_reference.h"

#include "brick_stream.h"
#include "sample_volumes.h"
#include "viewer.h"
#include "volume_slabs.h"
#include "zarr_pyramid.h"

#include <zvf.h>

#include <algorithm>
#include <atomic>

namespace {

class BrickStreamPicture : public RenderSlicing
{
protected:
    void expectStreamedEqualsLevel(const std::string& levelFile, double pixelsPerVoxel, int level, int nodes);
    // Writes the pyramid of the phantom and the zvf files of its levels 0 and 1.
    void SetUp() override
    {
        RenderSlicing::SetUp();
        const int size[3] = {64, 64, 64};
        SampleGrid grid;
        std::string why;
        ASSERT_TRUE(testsupport::writePhantomPyramid(dir.file("p.zarr"), size, VOXEL_UCHAR, 16, &why, &grid)) << why;
        std::vector<uint8_t> full(static_cast<size_t>(64) * 64 * 64);
        sampleSlices(grid, 0, 64, full.data(), 0);
        writeZvf("level0.zvf", full, 64, grid.spacing, 1.0f);
        writeZvf("level1.zvf", referenceHalf(full, 64, 64, 64), 32, grid.spacing, 2.0f);
    }

    // The n^3 voxels v with the grid's spacing times `times`.
    void writeZvf(const std::string& name, const std::vector<uint8_t>& v, int n, const float spacing[3], float times)
    {
        zvfHeader h = zvfCubicHeader(n, n, n, zvfUChar, 1);
        h.vtype = zvfRegular;
        h.px = spacing[0] * times;
        h.py = spacing[1] * times;
        h.pz = spacing[2] * times;
        ASSERT_EQ(zvfWriteGrid(dir.file(name).c_str(), v.data(), &h), 1);
        zvfFreeHeader(&h);
    }

    // Maximum intensity by ray casting, composite by 3-D texture VAS and OAS,
    // in an orthographic view at an angle. Bricks meet in the frame buffer's
    // maximum of colours, which is the colour of the maximum only where
    // every channel grows with the value: the palette of the maximum does.
    std::vector<std::vector<unsigned char>> pictures()
    {
        std::vector<std::vector<unsigned char>> out;
        palette([](int i) { return Rgba{i, i / 2, i / 3, i}; });
        renderer->setProjection(false);
        renderer->setView("front", 25, -35);
        renderer->setStyle(DRAW_RAY_CASTING);
        volume.setBlending(BLENDING_MAXIMUM);
        volume.setSampling(96);
        out.push_back(frame());
        volume.setBlending(BLENDING_COMPOSITE);
        palette([](int i) { return Rgba{i, i, 255 - i, i / 6}; });
        renderer->setStyle(DRAW_3D_TEXTURE_VAS);
        out.push_back(frame());
        renderer->setStyle(DRAW_3D_TEXTURE_OAS);
        out.push_back(frame());
        return out;
    }

    // The largest difference of a colour channel.
    static int largestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
    {
        int most = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (i % 4 != 3)
                most = std::max(most, std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i])));
        return most;
    }

    // The pictures of the pyramid streamed with the options set by `setup`,
    // the levels every brick drew from in the last picture and the reads.
    std::vector<std::vector<unsigned char>> streamed(const std::function<void(BrickStream&)>& setup,
                                                     std::vector<int>* levels, int* reads)
    {
        EXPECT_TRUE(renderer->loadData(dir.file("p.zarr")));
        BrickStream stream;
        std::string why;
        EXPECT_TRUE(stream.open(dir.file("p.zarr"), &why)) << why;
        EXPECT_EQ(stream.levels().size(), 3u);
        EXPECT_TRUE(stream.attach(volume, &why, 16)) << why;
        // 5^3 leaves, 3^3 nodes above them and 2^3 roots (level 2 the coarsest).
        EXPECT_EQ(stream.tree().leafCount(), 125);
        EXPECT_EQ(volume.myBrickInfo->getCount(), 125 + 27 + 8);
        setup(stream);
        const auto out = pictures();
        for (int p = 0; p < stream.tree().leafCount(); ++p)
            levels->push_back(stream.drawnLevel(p));
        *reads = stream.reads();
        if (stream.cache().budget() == 1) {
            EXPECT_EQ(stream.cache().size(), 1u);
        }
        myFault = stream.fault();
        return out;
    }

    // The stream of p.zarr attached to the volume with leaves of `texels`.
    void attachStream(BrickStream& stream, int texels)
    {
        std::string why;
        ASSERT_TRUE(stream.open(dir.file("p.zarr"), &why)) << why;
        ASSERT_TRUE(stream.attach(volume, &why, texels)) << why;
    }

    testsupport::TempDir dir;
    std::string myFault; // the stream's last fault in streamed
};

bool allAre(const std::vector<int>& levels, int level)
{
    return !levels.empty() && std::all_of(levels.begin(), levels.end(), [&](int l) { return l == level; });
}

// The pyramid streamed with a budget of one byte (every brick of every
// picture read: one kept at a time) where a voxel may span pixelsPerVoxel
// pixels, against the level file loaded whole: every leaf drawn from
// level by `nodes` nodes of the tree, the pictures equal within 2 levels
// (maximum intensity) and 8 (composite).
void BrickStreamPicture::expectStreamedEqualsLevel(const std::string& levelFile, double pixelsPerVoxel, int level,
                                                   int nodes)
{
    ASSERT_TRUE(renderer->loadData(dir.file(levelFile)));
    const auto whole = pictures();
    std::vector<int> levels;
    int reads = 0;
    const auto refined = streamed([pixelsPerVoxel](BrickStream& s) {
        s.setBudget(1);
        s.setWaiting(true);
        s.setPixelsPerVoxel(pixelsPerVoxel);
    }, &levels, &reads);
    EXPECT_TRUE(allAre(levels, level));
    EXPECT_EQ(reads, 3 * nodes);
    ASSERT_EQ(refined.size(), whole.size());
    EXPECT_GT(coverage(whole[0]), 800);
    EXPECT_LE(largestDifference(refined[0], whole[0]), 2);
    EXPECT_LE(largestDifference(refined[1], whole[1]), 8);
    EXPECT_LE(largestDifference(refined[2], whole[2]), 8);
}

} // namespace

TEST_F(BrickStreamPicture, RefinedPictureEqualsTheFinestLevelLoadedWhole)
{
    expectStreamedEqualsLevel("level0.zvf", 0.5, 0, 125);
}

// A voxel may span two pixels: in this view level 1's span more than one
// and at most two, level 2's more than two. The 27 nodes of depth 1 draw
// it, each read once per picture.
TEST_F(BrickStreamPicture, ViewNeedingLevelOneEqualsThatLevelLoadedWhole)
{
    expectStreamedEqualsLevel("level1.zvf", 2.0, 1, 27);
}

TEST_F(BrickStreamPicture, BricksNotReadDrawTheCoarsestLevel)
{
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    const auto coarse = pictures();
    std::vector<int> levels;
    int reads = 0;
    const auto waiting = streamed([](BrickStream& s) { s.setWaiting(false); }, &levels, &reads);
    EXPECT_TRUE(allAre(levels, 2));
    EXPECT_EQ(reads, 0);
    EXPECT_LE(largestDifference(waiting[0], coarse[0]), 2);
    EXPECT_LE(largestDifference(waiting[1], coarse[1]), 8);
    EXPECT_LE(largestDifference(waiting[2], coarse[2]), 8);
}

// Reading on worker threads: the first frame waits for nothing and draws
// every brick from the coarsest level; each later frame uploads at most 8
// of the bricks read since, until the picture equals the one that waited
// for every brick.
TEST_F(BrickStreamPicture, WorkersRefineThePictureFrameByFrame)
{
    ASSERT_TRUE(renderer->loadData(dir.file("level0.zvf")));
    const auto whole = pictures();
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    const auto coarse = pictures();
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 16));
    stream.setPixelsPerVoxel(0.5);
    std::atomic<int> arrivals{0};
    stream.startWorkers([&arrivals] { ++arrivals; }, 2, 8, 0);
    const std::vector<unsigned char> first = frame(); // the style and palette of the last picture
    EXPECT_LE(largestDifference(first, coarse[2]), 8);
    EXPECT_TRUE(stream.pending());
    int frames = 1;
    std::vector<int> finest;
    while (stream.pending() && frames < 100) {
        stream.waitForReads();
        frame();
        ++frames;
        finest.push_back(static_cast<int>(std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0)));
    }
    EXPECT_FALSE(stream.pending());
    EXPECT_EQ(arrivals.load(), 125);
    EXPECT_EQ(stream.reads(), 125);
    // 8 more bricks at level 0 each frame, 125 after 16 frames.
    ASSERT_GE(finest.size(), 16u);
    EXPECT_EQ(finest[0], 8);
    EXPECT_EQ(finest[1], 16);
    EXPECT_EQ(finest[15], 125);
    EXPECT_LE(largestDifference(frame(), whole[2]), 8);
}

// Uploads limited by bytes: one brick a frame, and more within 1 MB (the
// 125 leaves hold 343 KB): the workers read them all before the second
// frame, which uploads them all.
TEST_F(BrickStreamPicture, FrameUploadsSmallBricksWithinItsBytes)
{
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 16));
    stream.setPixelsPerVoxel(0.5);
    stream.startWorkers([] {}, 2, 1, 1u << 20);
    renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    frame();
    EXPECT_EQ(std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0), 0);
    stream.waitForReads();
    frame();
    EXPECT_EQ(std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0), 125);
    EXPECT_EQ(stream.reads(), 125);
    EXPECT_FALSE(stream.pending());
}

// A view that wants level 0 under a budget its bricks do not fit in
// together, but level 1's do: the stream draws as many bricks at level 0
// as fit and the rest at level 1, reading each brick once, instead of
// bricks pushing each other out of the cache for ever.
TEST_F(BrickStreamPicture, ViewOverTheBudgetDrawsTheLevelThatFits)
{
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 16));
    const uint64_t budget = 300u << 10;
    stream.setBudget(budget);
    stream.setPixelsPerVoxel(0.5);
    stream.startWorkers([] {}, 2, 8, 0);
    pictures();
    int frames = 0;
    for (; stream.pending() && frames < 100; ++frames) {
        stream.waitForReads();
        frame();
    }
    EXPECT_FALSE(stream.pending());
    const long finest = std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0);
    EXPECT_GT(finest, 0);
    EXPECT_LT(finest, 125);
    EXPECT_EQ(std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 1), 125 - finest);
    EXPECT_EQ(stream.reads(), 125);
    EXPECT_EQ(stream.cache().size(), 125u);
    EXPECT_LE(stream.cache().used(), budget);
}

// Zoomed in on the centre: the bricks outside the view are drawn from the
// coarsest level and never read, those in it from level 0.
TEST_F(BrickStreamPicture, BricksOutsideTheViewAreNotRead)
{
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 16));
    stream.setWaiting(true);
    renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    renderer->setProjection(false);
    renderer->setView("front", 0, 0);
    const float scale = volume.orthoScale;
    volume.orthoScale = scale * 6;
    frame();
    volume.orthoScale = scale;
    const long outside = std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 2);
    EXPECT_GT(outside, 0);
    EXPECT_EQ(std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0), 125 - outside);
    EXPECT_EQ(stream.reads(), 125 - outside);
}

// In perspective, the eye near the box and off its centre, a voxel
// spanning up to 3 pixels: the nodes near the eye need level 0, those
// farther level 1, those outside the view nothing. Every leaf is drawn once by one node; a node is
// read only when drawn finer than the coarsest level, leaves only where the
// view needs level 0.
TEST_F(BrickStreamPicture, ZoomedViewRefinesOnlyWhereItNeeds)
{
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 16));
    stream.setWaiting(true);
    stream.setPixelsPerVoxel(3.0);
    renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    renderer->setProjection(true);
    renderer->setView("front", 20, -30);
    const float distance = volume.distance;
    volume.pan[0] = 0.15f;
    volume.distance = -1.2f;
    frame();
    volume.pan[0] = 0.0f;
    volume.distance = distance;
    const PlanTree& tree = stream.tree();
    std::vector<int> leaves(static_cast<size_t>(tree.leafCount()), 0);
    int read = 0;
    std::vector<int> drawnAt(3, 0); // nodes drawn per level
    for (int n : stream.drawnNodes()) {
        const PlanNode& node = tree.nodes[static_cast<size_t>(n)];
        const int level = stream.drawnLevel(tree.leaf(node.firstLeaf[0], node.firstLeaf[1], node.firstLeaf[2]));
        ASSERT_GE(level, node.depth);
        ++drawnAt[static_cast<size_t>(level)];
        read += level < 2 ? 1 : 0;
        for (int z = node.firstLeaf[2]; z < node.endLeaf[2]; ++z)
            for (int y = node.firstLeaf[1]; y < node.endLeaf[1]; ++y)
                for (int x = node.firstLeaf[0]; x < node.endLeaf[0]; ++x) {
                    ++leaves[static_cast<size_t>(tree.leaf(x, y, z))];
                    EXPECT_EQ(stream.drawnLevel(tree.leaf(x, y, z)), level);
                }
    }
    EXPECT_TRUE(std::all_of(leaves.begin(), leaves.end(), [](int k) { return k == 1; }));
    EXPECT_GT(drawnAt[0], 0);
    EXPECT_GT(drawnAt[1], 0);
    EXPECT_GT(drawnAt[2], 0);
    const long finest = std::count(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), 0);
    EXPECT_EQ(finest, drawnAt[0]);
    EXPECT_LT(finest, 125 / 2);
    EXPECT_LT(stream.drawnNodes().size(), 125u);
    EXPECT_EQ(stream.reads(), read);
    EXPECT_LT(read, 125 / 2);
}

// Leaves of 32 (3 per axis, 2 nodes of depth 1, one root at level 2): a
// view that needs level 1 draws the 8 nodes of depth 1, one that needs the
// coarsest level the root alone, from the volume's own texture, unread.
TEST_F(BrickStreamPicture, CoarseViewDrawsFewBricks)
{
    ASSERT_TRUE(renderer->loadData(dir.file("level1.zvf")));
    const auto level1 = pictures();
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    const auto coarse = pictures();
    BrickStream stream;
    ASSERT_NO_FATAL_FAILURE(attachStream(stream, 32));
    EXPECT_EQ(volume.myBrickInfo->getCount(), 27 + 8 + 1);
    ASSERT_EQ(stream.tree().roots, std::vector<int>{35});
    stream.setWaiting(true);
    stream.setPixelsPerVoxel(8.0);
    const auto root = pictures();
    EXPECT_EQ(stream.drawnNodes(), std::vector<int>{35});
    EXPECT_EQ(volume.myBrickInfo->drawn, 1);
    EXPECT_EQ(stream.reads(), 0);
    EXPECT_TRUE(std::all_of(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), [](int l) { return l == 2; }));
    for (size_t i = 0; i < root.size(); ++i)
        EXPECT_LE(largestDifference(root[i], coarse[i]), i == 0 ? 2 : 8);
    stream.setPixelsPerVoxel(2.0);
    const auto refined = pictures();
    EXPECT_EQ(stream.drawnNodes().size(), 8u);
    EXPECT_EQ(volume.myBrickInfo->drawn, 8);
    EXPECT_TRUE(std::all_of(stream.drawnLevelsBegin(), stream.drawnLevelsEnd(), [](int l) { return l == 1; }));
    EXPECT_EQ(stream.reads(), 8); // kept under the default budget: read once for the three pictures
    for (size_t i = 0; i < refined.size(); ++i)
        EXPECT_LE(largestDifference(refined[i], level1[i]), i == 0 ? 2 : 8);
}

// 12-bit values (the phantom as Hounsfield units + 1024): the load stretches
// the coarsest level by its smallest value, the bricks are stretched alike,
// and the refined picture equals level 0 loaded whole.
TEST_F(BrickStreamPicture, TwelveBitBricksStretchAsTheLoadDoes)
{
    const int size[3] = {64, 64, 64};
    SampleGrid grid;
    std::string why;
    ASSERT_TRUE(testsupport::writePhantomPyramid(dir.file("u.zarr"), size, VOXEL_USHORT, 16, &why, &grid)) << why;
    std::vector<uint16_t> full(static_cast<size_t>(64) * 64 * 64);
    sampleSlices(grid, 0, 64, reinterpret_cast<unsigned char*>(full.data()), 0);
    EXPECT_LE(*std::max_element(full.begin(), full.end()), 4095);
    zvfHeader h = zvfCubicHeader(64, 64, 64, zvfUInt16, 1);
    h.vtype = zvfRegular;
    h.px = grid.spacing[0];
    h.py = grid.spacing[1];
    h.pz = grid.spacing[2];
    ASSERT_EQ(zvfWriteGrid(dir.file("u0.zvf").c_str(), full.data(), &h), 1);
    zvfFreeHeader(&h);

    ASSERT_TRUE(renderer->loadData(dir.file("u0.zvf")));
    const auto whole = pictures();
    ASSERT_TRUE(renderer->loadData(dir.file("u.zarr")));
    const auto coarse = pictures();
    BrickStream stream;
    ASSERT_TRUE(stream.open(dir.file("u.zarr"), &why)) << why;
    ASSERT_TRUE(stream.attach(volume, &why, 16)) << why;
    stream.setWaiting(true);
    stream.setPixelsPerVoxel(0.5);
    const auto refined = pictures();
    EXPECT_GT(coverage(whole[1]), 500);
    EXPECT_GT(largestDifference(coarse[1], whole[1]), 8); // the coarsest level alone is another picture
    EXPECT_LE(largestDifference(refined[0], whole[0]), 2);
    EXPECT_LE(largestDifference(refined[1], whole[1]), 8);
    EXPECT_LE(largestDifference(refined[2], whole[2]), 8);
}

namespace {

// Counts the repaints asked for from the workers' threads.
struct RepaintCounter : ViewerObserver
{
    std::atomic<int> later{0};
    void repaintLater() override { ++later; }
};

} // namespace

// The viewer streams a pyramid it opens: under the budget it was given, its
// workers asking for a repaint per brick read, refusing the styles that
// cannot stream; a drag draws one level coarser; opening another file ends
// the stream.
TEST_F(BrickStreamPicture, ViewerStreamsThePyramidItOpens)
{
    RepaintCounter counter;
    Viewer& viewer = renderer->viewer();
    viewer.setObserver(counter);
    viewer.streamPyramids(true, false);
    viewer.setBrickBudget(64u << 20);
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    BrickStream* stream = viewer.pyramidStream();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->cache().budget(), 64u << 20);
    EXPECT_EQ(viewer.whyUnavailable(DRAW_2D_TEXTURE, CLASSIFICATION_POST),
              "the 2-D stacks need every slice of the volume whole; a pyramid streams 3-D bricks");
    EXPECT_EQ(viewer.whyUnavailable(DRAW_RAY_CASTING, CLASSIFICATION_POST), "");
    stream->setPixelsPerVoxel(2.0);
    pictures();
    for (int frames = 0; stream->pending() && frames < 100; ++frames) {
        stream->waitForReads();
        frame();
    }
    EXPECT_FALSE(stream->pending());
    EXPECT_TRUE(std::all_of(stream->drawnLevelsBegin(), stream->drawnLevelsEnd(), [](int l) { return l == 1; }));
    EXPECT_EQ(counter.later.load(), stream->reads());
    EXPECT_GT(stream->reads(), 0);
    volume.interacting = true;
    frame();
    volume.interacting = false;
    EXPECT_TRUE(std::all_of(stream->drawnLevelsBegin(), stream->drawnLevelsEnd(), [](int l) { return l == 2; }));

    ASSERT_TRUE(renderer->loadData(dir.file("level0.zvf")));
    EXPECT_EQ(viewer.pyramidStream(), nullptr);
    EXPECT_FALSE(volume.isBricking);
    EXPECT_EQ(volume.myBrickInfo, nullptr);
    EXPECT_EQ(viewer.whyUnavailable(DRAW_2D_TEXTURE, CLASSIFICATION_POST), "");
    viewer.setObserver(ViewerObserver::quiet());
}

// The budget follows the viewer while a pyramid streams: lowered, the
// least recently drawn bricks go at the next frame and draw coarser; the
// status line names it; a saved style that cannot stream gives way.
TEST_F(BrickStreamPicture, LoweredBudgetDropsBricksAtTheNextFrame)
{
    Viewer& viewer = renderer->viewer();
    viewer.streamPyramids(true, true);
    viewer.setBrickBudget(64u << 20);
    EXPECT_EQ(viewer.brickBudget(), 64u << 20);
    EXPECT_EQ(viewer.pyramidStatus(), "");
    RenderMode::instance().setDrawStyle(DRAW_LIGHT2);
    ASSERT_TRUE(renderer->loadData(dir.file("p.zarr")));
    EXPECT_TRUE(viewer.pyramidOnScreen());
    EXPECT_TRUE(viewer.fallBack());
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_3D_TEXTURE_VAS);
    EXPECT_FALSE(viewer.fallBack());
    BrickStream* stream = viewer.pyramidStream();
    ASSERT_NE(stream, nullptr);
    stream->setPixelsPerVoxel(2.0);
    renderer->setProjection(false);
    renderer->setView("front", 25, -35);
    frame();
    const size_t kept = stream->cache().size();
    EXPECT_GT(kept, 0u);
    EXPECT_TRUE(std::all_of(stream->drawnLevelsBegin(), stream->drawnLevelsEnd(), [](int l) { return l == 1; }));
    EXPECT_EQ(viewer.pyramidStatus(), "Pyramid: \"3D Texture OAS\", \"3D Texture VAS\" and \"Ray Casting\" "
                                      "stream its bricks, within 64 MB; the other styles are greyed out.");

    // Nothing read in the paint cycle from here on: what the cache lost
    // draws from the coarsest level.
    stream->setWaiting(false);
    viewer.setBrickBudget(1);
    EXPECT_EQ(stream->budget(), 1u);
    EXPECT_EQ(stream->cache().budget(), 1u);
    EXPECT_EQ(stream->cache().size(), kept); // until the next frame
    frame();
    EXPECT_EQ(stream->cache().size(), 0u);
    EXPECT_TRUE(std::all_of(stream->drawnLevelsBegin(), stream->drawnLevelsEnd(), [](int l) { return l == 2; }));
    EXPECT_EQ(viewer.pyramidStatus(), "Pyramid: \"3D Texture OAS\", \"3D Texture VAS\" and \"Ray Casting\" "
                                      "stream its bricks, within 1 MB; the other styles are greyed out.");

    ASSERT_TRUE(renderer->loadData(dir.file("level0.zvf")));
    EXPECT_FALSE(viewer.pyramidOnScreen());
    EXPECT_EQ(viewer.pyramidStatus(), "");
    EXPECT_EQ(viewer.brickBudget(), 1u);
}

// A damaged chunk (level 0's chunk 2, 2, 2: voxels 32 ... 47 along each
// axis) fails the reads of the 2 x 2 x 2 bricks that cover it: they draw
// from the coarsest level, not read again, and the fault names the file.
TEST_F(BrickStreamPicture, DamagedChunkDrawsCoarser)
{
    const std::string chunk = dir.file("p.zarr/0/2/2/2");
    {
        FILE* f = std::fopen(chunk.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("not a chunk", f);
        std::fclose(f);
    }
    std::vector<int> levels;
    int reads = 0;
    streamed([](BrickStream& s) {
        s.setBudget(64u << 20);
        s.setWaiting(true);
        s.setPixelsPerVoxel(0.5);
    }, &levels, &reads);
    EXPECT_EQ(std::count(levels.begin(), levels.end(), 2), 8);
    EXPECT_EQ(std::count(levels.begin(), levels.end(), 0), 117);
    // Read once each: three pictures, the good bricks kept, the bad ones not tried again.
    EXPECT_EQ(reads, 117);
    EXPECT_NE(myFault.find("p.zarr/0/2/2/2"), std::string::npos) << myFault;
}
