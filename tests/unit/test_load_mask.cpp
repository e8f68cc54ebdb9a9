// Mask loading: the reduction to bytes, the readers' checks against the data,
// and damaged masks that must leave the loaded data alone.
#include "histogram.h"
#include "load.h"
#include "load_convert.h"
#include "load_test_util.h"
#include "test_support.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class MaskLoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        baseline = g_garbageCollector.count();
        const std::vector<uint16_t> values(24, 1000);
        ASSERT_EQ(zvfWriteCubGrid(dir.file("data.zvf").c_str(), values.data(), 4, 3, 2, 1, zvfUInt16, nullptr, 0), 1);
        ASSERT_TRUE(loadData(dir.file("data.zvf"), v, info));
    }
    void TearDown() override
    {
        histogram.release();
        v.release();
        EXPECT_EQ(gpProgressDlg, nullptr);
        EXPECT_EQ(g_garbageCollector.count(), baseline);
    }
    // What the pipeline hands the texture: read, converted, reduced.
    std::vector<uint8_t> maskBytes(const std::string& path, bool description)
    {
        void* data = nullptr;
        GLenum type = 0;
        int maxValue = 0;
        std::string scratch;
        EXPECT_TRUE(description ? readMaskFile(path, &data, &type, v) : readMaskFile(path, &data, &type, v));
        convertAndScale(data, &type, v.resolution, v.nbrChannels, scratch, description, &maxValue);
        EXPECT_TRUE(reduceMaskTo8Bit(&data, &type, v.resolution));
        EXPECT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_BYTE));
        const size_t n = size_t(v.resolution[0]) * v.resolution[1] * v.resolution[2];
        std::vector<uint8_t> bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + n);
        RELEASE_VOXELS(data);
        return bytes;
    }
    TempDir dir;
    Volume v;
    std::string info;
    uint32_t baseline = 0;
};

template <typename T> std::vector<uint8_t> reduced(GLenum type, std::vector<T> values)
{
    Volume v;
    v.resolution[0] = static_cast<int>(values.size());
    v.resolution[1] = v.resolution[2] = 1;
    void* data = nullptr;
    GUARDED_VOXELS_AS(data, "data", values.size() * sizeof(T));
    std::memcpy(data, values.data(), values.size() * sizeof(T));
    EXPECT_TRUE(reduceMaskTo8Bit(&data, &type, v.resolution));
    EXPECT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_BYTE));
    std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + values.size());
    RELEASE_VOXELS(data);
    return out;
}

TEST(MaskReduce, MostSignificantByteOrFloatTimes255)
{
    using B = std::vector<uint8_t>;
    EXPECT_EQ(reduced<uint8_t>(GL_UNSIGNED_BYTE, {0, 1, 255}), (B{0, 1, 255}));
    EXPECT_EQ(reduced<int8_t>(GL_BYTE, {0, 1, -1}), (B{0, 1, 255}));
    EXPECT_EQ(reduced<uint16_t>(GL_UNSIGNED_SHORT, {0x00FF, 0x0100, 0x8034, 0xFFFF}), (B{0, 1, 0x80, 255}));
    EXPECT_EQ(reduced<int16_t>(GL_SHORT, {0x00FF, -1, -32768}), (B{0, 255, 0x80}));
    EXPECT_EQ(reduced<uint32_t>(GL_UNSIGNED_INT, {0x00FFFFFF, 0x12345678, 0xFFFFFFFF}), (B{0, 0x12, 255}));
    EXPECT_EQ(reduced<int32_t>(GL_INT, {-1, 0x7F000000}), (B{255, 0x7F}));
    EXPECT_EQ(reduced<float>(GL_FLOAT, {0.0f, 0.5f, 0.999f, 1.0f, 7.0f, -0.5f, NAN}), (B{0, 127, 254, 255, 255, 0, 0}));
}

TEST(MaskReduce, UnknownTypeIsRefusedAndTheBufferKept)
{
    LogCapture log;
    Volume v;
    v.resolution[0] = v.resolution[1] = v.resolution[2] = 2;
    void* data = nullptr;
    GUARDED_VOXELS_AS(data, "data", 64);
    void* const before = data;
    GLenum type = GL_DOUBLE;
    EXPECT_FALSE(reduceMaskTo8Bit(&data, &type, v.resolution));
    EXPECT_EQ(data, before);
    EXPECT_NE(log.text().find("cannot be reduced to bytes"), std::string::npos);
    RELEASE_VOXELS(data);
}

TEST_F(MaskLoad, SixteenBitAndFloatMasksBecomeBytes)
{
    // 12-bit values are stretched first: 4095 ends as 255.
    std::vector<uint16_t> twelve(24, 0);
    twelve[1] = 4095;
    twelve[23] = 2048;
    ASSERT_EQ(zvfWriteCubGrid(dir.file("m16.zvf").c_str(), twelve.data(), 4, 3, 2, 1, zvfUInt16, nullptr, 0), 1);
    std::vector<uint8_t> want(24, 0);
    want[1] = 255;
    want[23] = 128;
    EXPECT_EQ(maskBytes(dir.file("m16.zvf"), false), want);
    // Raw floats are big-endian; conversion maps min ... max to 0 ... 1.
    std::string raw;
    for (int i = 0; i < 24; ++i) {
        const float f = i == 5 ? 4.0f : i == 6 ? 1.0f : 0.0f;
        uint32_t u;
        std::memcpy(&u, &f, 4);
        for (int s = 24; s >= 0; s -= 8)
            raw += static_cast<char>(u >> s);
    }
    ASSERT_TRUE(writeFile(dir.file("mf.raw"), raw));
    ASSERT_TRUE(writeFile(dir.file("mf.dat"), "ObjectFileName: mf.raw\nResolution: 4 3 2\nSliceThickness: 1 1 1\n"
                                              "Format: FLOAT\nNbrChannels: 7\n"));
    want.assign(24, 0);
    want[5] = 255;
    want[6] = 63;
    EXPECT_EQ(maskBytes(dir.file("mf.dat"), true), want);
}

TEST_F(MaskLoad, DamagedMasksFailAndLeaveTheData)
{
    const std::vector<uint8_t> bytes(24 * 42, 1);
    zvfWriteCubGrid(dir.file("small.zvf").c_str(), bytes.data(), 4, 3, 1, 1, zvfUChar, nullptr, 0);
    zvfWriteCubGrid(dir.file("double.zvf").c_str(), bytes.data(), 4, 3, 2, 1, zvfDouble, nullptr, 0);
    zvfWriteCubGrid(dir.file("bands.zvf").c_str(), bytes.data(), 4, 3, 2, 42, zvfUChar, nullptr, 0);
    zvfWriteCubGrid(dir.file("ok.zvf").c_str(), bytes.data(), 4, 3, 2, 1, zvfUChar, nullptr, 0);
    const std::string whole = testsupport::readFile(dir.file("ok.zvf"));
    writeFile(dir.file("cut.zvf"), whole.substr(0, whole.size() - 6));
    writeFile(dir.file("junk.zvf"), "P5 not a volume");
    const std::string dat = "ObjectFileName: ok.raw\nSliceThickness: 1 1 1\nFormat: UCHAR\nResolution: ";
    writeFile(dir.file("big.dat"), dat + "2147483647 2147483647 2147483647\n");
    writeFile(dir.file("neg.dat"), dat + "-4 3 2\n");
    writeFile(dir.file("noraw.dat"), dat + "4 3 2\n");
    writeFile(dir.file("noformat.dat"), "ObjectFileName: ok.raw\nResolution: 4 3 2\n");
    const struct
    {
        const char* file;
        bool warning;    // "Incompatible mask resolution." shown
        const char* log; // what the log says otherwise
    } cases[] = {
        {"small.zvf", true, ""},
        {"big.dat", true, ""},
        {"double.zvf", false, "double.zvf: voxel type zvfDouble is not supported\n"},
        {"bands.zvf", false, "bands.zvf: 42 bands is not a mask\n"},
        {"cut.zvf", false, "cut.zvf: the voxels cannot be read"},
        {"junk.zvf", false, "zvfReadHeader failed\n"},
        {"neg.dat", false, "neg.dat: value of \"Resolution:\" is unreadable\n"},
        {"noformat.dat", false, "noformat.dat: key \"Format:\" is missing\n"},
        {"noraw.dat", false, "noraw.dat: the raw file "},
        {"none.dat", false, "none.dat: cannot be opened"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        LogCapture log;
        ProgressRecorder rec;
        EXPECT_FALSE(loadMask(dir.file(c.file), v, rec));
        if (c.warning)
            EXPECT_EQ(rec.boxes, (decltype(rec.boxes){{"Incompatible mask resolution.", "Warning"}}));
        else
            EXPECT_NE(log.text().find(c.log), std::string::npos) << log.text();
        EXPECT_EQ(rec.record.updates.back(), std::make_pair(100, std::string("Failed.")));
        EXPECT_EQ(rec.record.closed, 1);
        EXPECT_EQ(std::vector<int>(v.resolution, v.resolution + 3), (std::vector<int>{4, 3, 2}));
        EXPECT_EQ(v.nbrChannels, 1);
        EXPECT_EQ(v.tidMask, 0u);
    }
}

// A mask over data of 2000 x 2000 x 1000 voxels whose raw file holds one
// byte: refused with both sizes, nothing allocated.
TEST_F(MaskLoad, DeclarationFarBeyondTheRawFileIsRefused)
{
    writeFile(dir.file("huge.dat"), "ObjectFileName: one.raw\nResolution: 2000 2000 1000\nFormat: UCHAR\n");
    writeFile(dir.file("one.raw"), "x");
    const int resolution[3] = {v.resolution[0], v.resolution[1], v.resolution[2]};
    v.resolution[0] = 2000;
    v.resolution[1] = 2000;
    v.resolution[2] = 1000;
    LogCapture log;
    void* data = nullptr;
    GLenum type = 0;
    failNextGuardedAllocations(1);
    EXPECT_FALSE(readMaskFile(dir.file("huge.dat"), &data, &type, v));
    const bool stillArmed = guardedAllocationShouldFail();
    failNextGuardedAllocations(0);
    std::copy(resolution, resolution + 3, v.resolution);
    EXPECT_TRUE(stillArmed);
    EXPECT_EQ(data, nullptr);
    EXPECT_NE(log.text().find("huge.dat: 4000000000 bytes declared, raw file \"one.raw\" has 1\n"), std::string::npos)
        << log.text();
}

TEST_F(MaskLoad, OnlyOverOneChannelData)
{
    v.nbrChannels = 4;
    LogCapture log;
    EXPECT_FALSE(loadMask(dir.file("anything.zvf"), v));
    EXPECT_NE(log.text().find("A mask needs data of one channel.\n"), std::string::npos);
}

TEST_F(MaskLoad, HeadsqAboveAThreshold)
{
    SKIP_WITHOUT_DATA();
    const std::string raw = testsupport::readFile(testsupport::dataDir() + "/headsq_64x64x93_int16.raw");
    ASSERT_EQ(raw.size(), 64u * 64 * 93 * 2);
    std::string swapped(raw.size(), '\0'), mask(raw.size() / 2, '\0');
    size_t marked = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        swapped[2 * i] = raw[2 * i + 1];
        swapped[2 * i + 1] = raw[2 * i];
        const unsigned value = static_cast<uint8_t>(raw[2 * i]) | static_cast<uint8_t>(raw[2 * i + 1]) << 8;
        mask[i] = value > 1500 ? 1 : 0;
        marked += value > 1500;
    }
    ASSERT_GT(marked, 1000u);
    writeFile(dir.file("h.raw"), swapped);
    writeFile(dir.file("m.raw"), mask);
    const std::string keys = "\nResolution: 64 64 93\nSliceThickness: 3.2 3.2 1.5\nFormat: ";
    writeFile(dir.file("h.dat"), "ObjectFileName: h.raw" + keys + "USHORT\n");
    writeFile(dir.file("m.dat"), "ObjectFileName: m.raw" + keys + "UCHAR\n");
    ASSERT_TRUE(loadData(dir.file("h.dat"), v, info));
    LogCapture log;
    ProgressRecorder rec;
    EXPECT_TRUE(loadMask(dir.file("m.dat"), v, rec));
    EXPECT_EQ(log.text(), "=========== LOG start ===========\n");
    EXPECT_TRUE(rec.boxes.empty());
    // 0 and 1 stay 0 and 1.
    const std::vector<uint8_t> bytes = maskBytes(dir.file("m.dat"), true);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 1), static_cast<long>(marked));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(bytes.size() - marked));
}

} // namespace
