// Multi-band data loaded through the pipeline and drawn as "Multi Volume":
// pictures in which the weights pick bands.
#include "gl/render_fixture.h"

#include "histogram.h"
#include "load.h"
#include "multi_volume.h"
#include "sample_volumes.h"
#include "test_support.h"

#include <zvf.h>

namespace {

// 12^3 voxels (padded to 16 in the textures), six bands: band b is 200 in
// octant b (bit 0: x high, bit 1: y high, bit 2: z high), 0 elsewhere.
const int kN = 12;

bool inOctant(int b, int x, int y, int z)
{
    const int h = kN / 2;
    return (x >= h) == ((b & 1) != 0) && (y >= h) == ((b & 2) != 0) && (z >= h) == ((b & 4) != 0);
}

unsigned char octantValue(int b, int x, int y, int z)
{
    return inOctant(b, x, y, z) ? 200 : 0;
}

class RenderMultiVolume : public RenderSlicing
{
protected:
    void TearDown() override
    {
        if (volume.myMVolumeInfo)
            RELEASE(volume.myMVolumeInfo);
        volume.deleteTextures(true);
        histogram.release();
        RenderSlicing::TearDown();
    }

    std::string writeOctants()
    {
        std::vector<unsigned char> values;
        for (int b = 0; b < 6; ++b)
            for (int z = 0; z < kN; ++z)
                for (int y = 0; y < kN; ++y)
                    for (int x = 0; x < kN; ++x)
                        values.push_back(octantValue(b, x, y, z));
        const std::string path = dir.file("octants.zvf");
        EXPECT_EQ(zvfWriteCubGrid(path.c_str(), values.data(), kN, kN, kN, 6, zvfUChar, nullptr, 0), 1);
        return path;
    }

    // Weight 1 for band `only`, 0 for every other.
    static void weighOnly(int only)
    {
        std::vector<float> w(MultiVolumeInfo::kWeightCount, 0.0f);
        w[only] = 1.0f;
        volume.myMVolumeInfo->setWeights(w.data(), MultiVolumeInfo::kWeightCount - 1);
    }

    // Light (red) in each screen quadrant: [top left, top right, bottom left, bottom right].
    static std::vector<long> quadrants(const std::vector<unsigned char>& px)
    {
        std::vector<long> q(4, 0);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                q[(y >= kSize / 2) * 2 + (x >= kSize / 2)] += at(px, x, y).r;
        return q;
    }

    testsupport::TempDir dir;
};

// Opaque white from value 100 on: a band at 200 shows, 0 does not.
Rgba threshold(int i)
{
    return i >= 100 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0};
}

} // namespace

// One weight at 1, the rest at 0: only that band's octant shows. Seen from
// the front x runs right and y up; from the top x runs right and z down.
TEST_F(RenderMultiVolume, OneWeightShowsOnlyItsBandsOctant)
{
    ASSERT_TRUE(renderer->loadData(writeOctants()));
    ASSERT_NE(volume.myMVolumeInfo, nullptr);
    palette(threshold);
    renderer->setStyle(DRAW_MULTI_VOLUME);
    ASSERT_EQ(static_cast<int>(RenderMode::instance().getProgramSet()), 13);
    for (int b = 0; b < 6; ++b) {
        weighOnly(b);
        const int right = b & 1;
        struct View
        {
            const char* preset;
            int quadrant;
        } views[] = {{"front", (1 - ((b >> 1) & 1)) * 2 + right}, {"top", ((b >> 2) & 1) * 2 + right}};
        for (const View& view : views) {
            renderer->setView(view.preset, 0, 0);
            const std::vector<long> q = quadrants(frame());
            long all = 0;
            for (long v : q)
                all += v;
            EXPECT_GT(q[view.quadrant], 255L * 50) << "band " << b << " " << view.preset;
            EXPECT_GT(q[view.quadrant], all * 95 / 100) << "band " << b << " " << view.preset;
        }
    }
    // Every weight 0: nothing.
    std::vector<float> none(MultiVolumeInfo::kWeightCount, 0.0f);
    volume.myMVolumeInfo->setWeights(none.data(), 1);
    renderer->setView("front", 0, 0);
    EXPECT_EQ(coverage(frame()), 0);
}

// The bundled sample draws under "Multi Volume" with the default weights,
// and its band 0 and band 3 blobs lie on opposite sides.
TEST_F(RenderMultiVolume, SampleDrawsAndWeightsMoveTheBlob)
{
    SampleVolume sample;
    ASSERT_TRUE(makeSampleVolume("multiband", &sample));
    const std::string path = dir.file("multiband.zvf");
    ASSERT_TRUE(writeSampleVolume(sample, path));
    ASSERT_TRUE(renderer->loadData(path));
    ASSERT_NE(volume.myMVolumeInfo, nullptr);
    EXPECT_EQ(volume.myMVolumeInfo->getCount(), 2);
    EXPECT_EQ(volume.myMVolumeInfo->getTotal(), 5);
    palette([](int i) { return i >= 60 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0}; });
    renderer->setStyle(DRAW_MULTI_VOLUME);
    const int all = coverage(frame());
    EXPECT_GT(all, 100);

    long side[2][2] = {}; // [band 0, band 3][left, right]
    const int bands[2] = {0, 3};
    for (int i = 0; i < 2; ++i) {
        weighOnly(bands[i]);
        const std::vector<unsigned char> px = frame();
        EXPECT_LT(coverage(px), all);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                side[i][x >= kSize / 2] += at(px, x, y).r;
    }
    // Band 0 is centred at x = 73 of 96, band 3 at x = 23.
    EXPECT_GT(side[0][1], 10 * side[0][0] + 255);
    EXPECT_GT(side[1][0], 10 * side[1][1] + 255);
}
