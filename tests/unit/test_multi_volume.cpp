// Multi-band data: the band record, the packing of bands into RGBA texels,
// and the loader behind the zvf reader (no context: texture names stay 0).
#include "error_handling.h"
#include "histogram.h"
#include "load.h"
#include "load_test_util.h"
#include "multi_volume.h"
#include "test_support.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::TempDir;

namespace {

const char* const kLimit = "Maximal allowed number of textures ( 10 ) for multi volume is reached!";

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class MultiVolumeLoad : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        histogram.release();
        v.release();
        EXPECT_EQ(gpProgressDlg, nullptr);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    // 3 x 2 x 1 voxels of unsigned bytes: band 0 all 7, every other band 200.
    std::string writeBands(int bands)
    {
        std::vector<unsigned char> values(static_cast<size_t>(6) * bands, 200);
        for (int i = 0; i < 6; ++i)
            values[i] = 7;
        const std::string path = dir.file("bands" + std::to_string(bands) + ".zvf");
        EXPECT_EQ(zvfWriteCubGrid(path.c_str(), values.data(), 3, 2, 1, bands, zvfUChar, nullptr, 0), 1);
        return path;
    }
    TempDir dir;
    Volume v;
    std::string info;
    uint32_t myBaseline = 0;
};

} // namespace

// 3 x 2 x 1 voxels padded to 4 x 2 x 1: value 10 * band + voxel.
TEST(PackBands, BandsGoToChannelsAndPaddingStaysZero)
{
    const int res[3] = {3, 2, 1}, padded[3] = {4, 2, 1};
    std::vector<unsigned char> bands(6 * 6);
    for (int b = 0; b < 6; ++b)
        for (int i = 0; i < 6; ++i)
            bands[b * 6 + i] = static_cast<unsigned char>(10 * b + i);

    struct Case
    {
        int first, count;
    } cases[] = {{1, 4}, {5, 1}, {0, 2}};
    for (const Case& c : cases) {
        std::vector<unsigned char> out(4 * 2 * 4, 0);
        packBands(bands.data(), res, padded, c.first, c.count, 4, out.data());
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                for (int m = 0; m < 4; ++m) {
                    const int expected = (x < 3 && m < c.count) ? 10 * (c.first + m) + y * 3 + x : 0;
                    EXPECT_EQ(out[(y * 4 + x) * 4 + m], expected)
                        << "first " << c.first << " x " << x << " y " << y << " channel " << m;
                }
    }
}

// Band counts from five to beyond the limit: textures, bands held, weights
// and how often the limit is logged; band 0 always goes on alone.
TEST_F(MultiVolumeLoad, GroupsBandsFourToATextureUpToTen)
{
    struct Case
    {
        int bands, count, total, usedWeights, limitLines;
    } cases[] = {
        {5, 1, 4, 5, 0},     // one full texture, no rest
        {6, 2, 5, 9, 0},     // bands 1-4, band 5 alone
        {9, 2, 8, 9, 0},     // two full textures
        {41, 10, 40, 41, 1}, // exactly the limit: said once after the tenth
        {42, 10, 40, 41, 2}, // and again for the refused rest
        {45, 10, 40, 41, 1}, // an eleventh full group is never made
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bands);
        LogCapture log;
        ASSERT_TRUE(loadData(writeBands(c.bands), v, info));
        ASSERT_NE(v.myMVolumeInfo, nullptr);
        const MultiVolumeInfo& mv = *v.myMVolumeInfo;
        EXPECT_EQ(mv.getCount(), c.count);
        EXPECT_EQ(mv.getTotal(), c.total);
        EXPECT_EQ(mv.getUsedWeights(), c.usedWeights);
        for (int i = 0; i < MultiVolumeInfo::kWeightCount; ++i)
            EXPECT_EQ(mv.getWeights()[i], i < c.usedWeights ? 1.0f : 0.0f) << i;
        EXPECT_EQ(occurrences(log.text(), kLimit), c.limitLines);
        EXPECT_EQ(v.nbrChannels, 1);
        // The histogram saw band 0 (7) and none of the others (200).
        ASSERT_NE(histogram.getHist(), nullptr);
        EXPECT_EQ(histogram.getHist()[7], 255.0f);
        EXPECT_EQ(histogram.getHist()[200], 0.0f);
    }
    // The next ordinary load drops the record.
    ASSERT_TRUE(loadData(writeBands(1), v, info));
    EXPECT_EQ(v.myMVolumeInfo, nullptr);
}

// One report per texture between reading (2) and scaling (9); a cancel
// there, or at any later step of the load, leaves no record.
TEST_F(MultiVolumeLoad, ReportsEachTextureAndCancelLeavesNoRecord)
{
    for (int cancelAt : {-1, 1, 2, 3, 4, 6}) {
        ProgressRecorder rec;
        rec.record.cancelAt = cancelAt;
        EXPECT_EQ(loadData(writeBands(6), v, info, rec), cancelAt < 0);
        EXPECT_EQ(v.myMVolumeInfo != nullptr, cancelAt < 0);
        const std::vector<std::pair<int, std::string>> expected = {
            {2, "Loading data."}, {5, "Generating 3D textures."}, {8, "Generating 3D textures."}};
        const size_t n = cancelAt < 0 ? 3 : cancelAt + 1;
        ASSERT_GE(rec.record.updates.size(), n);
        for (size_t i = 0; i < n && i < expected.size(); ++i)
            EXPECT_EQ(rec.record.updates[i], expected[i]) << i;
        EXPECT_EQ(rec.record.closed, 1);
    }
}

// Without memory for the record the loader fails and leaves the voxels to
// the caller as they were.
TEST_F(MultiVolumeLoad, NoRecordLeavesTheVoxelsAlone)
{
    void* data = nullptr;
    GUARDED_VOXELS_AS(data, "tmpdata", 6 * 6);
    ASSERT_NE(data, nullptr);
    static_cast<unsigned char*>(data)[0] = 42;
    v.resolution[0] = 3;
    v.resolution[1] = 2;
    v.resolution[2] = 1;
    v.nbrChannels = 6;
    void* const before = data;
    failNextGuardedAllocations(1);
    EXPECT_FALSE(loadMultiVolume(&data, GL_UNSIGNED_BYTE, v));
    EXPECT_EQ(data, before);
    EXPECT_EQ(static_cast<unsigned char*>(data)[0], 42);
    EXPECT_EQ(v.nbrChannels, 6);
    EXPECT_EQ(v.myMVolumeInfo, nullptr);
    RELEASE_VOXELS(data);
}
