// The load pipeline: progress, cancel, failures, the zvf reader, real data sets.
#include "error_handling.h"
#include "histogram.h"
#include "load.h"
#include "load_test_util.h"
#include "test_support.h"
#include "transfer_function.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using testsupport::TempDir;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

typedef std::vector<std::pair<int, std::string>> Updates;

const Updates kDataUpdates = {{2, "Loading data."},          {9, "Scaling data."},
                              {12, "Converting data."},      {15, "Generating histogram."},
                              {20, "Generating 3D textures."}, {99, "Done."}};

class LoadTest : public ::testing::Test
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
    // A zvf file of one 16-bit band, 4 x 3 x 2, spacing 1 1 2, two comments.
    std::string writeSmallZvf(const std::vector<uint16_t>& values)
    {
        zvfHeader h = zvfCubicHeader(4, 3, 2, zvfUInt16, 1);
        h.vtype = zvfRegular;
        h.pz = 2.0f;
        zvfAddHdrComment(&h, "first comment");
        zvfAddHdrComment(&h, "second");
        const std::string path = dir.file("small.zvf");
        EXPECT_EQ(zvfWriteGrid(path.c_str(), values.data(), &h), 1);
        zvfFreeHeader(&h);
        return path;
    }
    TempDir dir;
    Volume v;
    std::string info;
    uint32_t myBaseline = 0;
};

std::vector<uint16_t> ramp(int n, int step)
{
    std::vector<uint16_t> r(n);
    for (int i = 0; i < n; ++i)
        r[i] = static_cast<uint16_t>(i * step);
    return r;
}

const char* const kDescription = "ObjectFileName: d.raw\n"
                                 "TaggedFileName: ---\n"
                                 "Resolution: 4 3 2\n"
                                 "SliceThickness: 1.0 1.0 2.0\n"
                                 "Format: USHORT\n"
                                 "NbrTags: 0\n"
                                 "ObjectType: TEXTURE_VOLUME_OBJECT\n"
                                 "ObjectModel: I\n"
                                 "GridType: EQUIDISTANT\n"
                                 "NbrChannels: 1\n";

// Big-endian 16-bit raw bytes of the values.
std::string bigEndian16(const std::vector<uint16_t>& values)
{
    std::string s;
    for (uint16_t x : values) {
        s += static_cast<char>(x >> 8);
        s += static_cast<char>(x & 0xFF);
    }
    return s;
}

} // namespace

TEST(LoadNames, FormatOfAPath)
{
    EXPECT_EQ(detectFormat("a.zvf"), FileFormat::Zvf);
    EXPECT_EQ(detectFormat(".zvf"), FileFormat::Zvf);
    EXPECT_EQ(detectFormat("dir.x/b.zvf"), FileFormat::Zvf);
    // Any case: a volume copied from a system that writes upper-case names.
    EXPECT_EQ(detectFormat("A.ZVF"), FileFormat::Zvf);
    EXPECT_EQ(detectFormat("a.Zvf"), FileFormat::Zvf);
    EXPECT_EQ(detectFormat("no/such/zvf"), FileFormat::Description);
    EXPECT_EQ(detectFormat("a.zvf.dat"), FileFormat::Description);
    EXPECT_EQ(detectFormat(""), FileFormat::Description);
    EXPECT_EQ(detectFormat("head.nii.gz"), FileFormat::Foreign);
    EXPECT_EQ(detectFormat("HEAD.NRRD"), FileFormat::Foreign);
    // Every folder is a DICOM series; one without DICOM files is refused by the import.
    EXPECT_EQ(detectFormat("."), FileFormat::Foreign);
}

TEST_F(LoadTest, ZvfInformationTextAndProgress)
{
    const std::string path = writeSmallZvf(ramp(24, 100)); // 0 ... 2300: 12-bit data
    ProgressRecorder rec;
    ASSERT_TRUE(loadData(path, v, info, rec));
    EXPECT_EQ(info, "Data file name:\tsmall.zvf\n"
                    "Resolution:\t4 3 2\n"
                    "Ratio:\t\t1.000000 0.750000 1.000000\n"
                    "Data type:\tzvfUInt16Type\n"
                    "Grid type:\t\tzvfRegular\n"
                    "Units:\t\tzvfUmm\n"
                    "Endian type:\tzvfLittleEndian\n"
                    "Number of bands:\t1\n"
                    "Comment:\n"
                    "first comment\n"
                    "second\n"
                    "Swap Data:\tNO\n"
                    "Maximal value:\t2300.000000\n"
                    "Minimal value:\t0.000000\n"
                    "Data was scaled\t\n");
    EXPECT_EQ(rec.record.updates, kDataUpdates);
    EXPECT_EQ(rec.record.opened, 1);
    EXPECT_EQ(rec.record.closed, 1);
    EXPECT_EQ(v.resolution[0], 4);
    EXPECT_EQ(v.nbrChannels, 1);
    // 100 * i stretched: trunc(65535 * (100 i / 4095)) / 16 gives the bins.
    ASSERT_EQ(histogram.getBins(), 4096);
    std::vector<int> counts(4096, 0);
    for (int i = 0; i < 24; ++i)
        ++counts[static_cast<int>(std::trunc(65535.0 * static_cast<float>(100.0 * i / 4095.0))) / 16];
    const int top = *std::max_element(counts.begin() + 1, counts.end());
    for (int b = 0; b < 4096; ++b)
        ASSERT_FLOAT_EQ(histogram.getHist()[b], counts[b] * 255.0f / top) << b;
}

TEST_F(LoadTest, DescriptionInformationTextAndTransferFunction)
{
    writeFile(dir.file("d.dat"), kDescription);
    writeFile(dir.file("d.raw"), bigEndian16(ramp(24, 1000)));
    ProgressRecorder rec;
    TransferFunction tf(256, TransferFunction::NoGL());
    transfer = &tf;
    textureFormat = GL_RGBA;
    const bool ok = loadData(dir.file("d.dat"), v, info, rec);
    transfer = nullptr;
    ASSERT_TRUE(ok);
    EXPECT_EQ(info, "ObjectFileName:\td.raw\n"
                    "Resolution:\t4 3 2\n"
                    "SliceThickness:\t1.000000 1.000000 2.000000\n"
                    "Format:\t\tUSHORT\n"
                    "NbrChannels:\t\t1\n"
                    "Ratio:\t\t1.000000 0.750000 1.000000\n"
                    "Swap Data:\tYES\n"
                    "Maximal value:\t23000.000000\n"
                    "Minimal value:\t0.000000\n");
    // The transfer function chose one-channel 16-bit textures and 4096 entries.
    EXPECT_EQ(tf.getTableSize(), 4096);
    EXPECT_EQ(textureFormat, static_cast<GLenum>(GL_LUMINANCE));
    EXPECT_EQ(textureInternalFormat, static_cast<GLenum>(GL_INTENSITY16));
    EXPECT_EQ(rec.tableSizes, std::vector<int>{4096});
    // Unscaled 16-bit data: value 1000 i lands in bin 1000 i / 16.
    EXPECT_FLOAT_EQ(histogram.getHist()[23000 / 16], 255.0f);
    EXPECT_FLOAT_EQ(histogram.getHist()[1000 / 16], 255.0f);
}

TEST_F(LoadTest, CancelAtEachStepLeavesNothingBehind)
{
    writeFile(dir.file("d.dat"), kDescription);
    writeFile(dir.file("d.raw"), bigEndian16(ramp(24, 7)));
    const bool expected[6] = {true, false, false, false, false, true}; // 2 and 99 ignore a cancel
    for (int step = 0; step < 6; ++step) {
        ProgressRecorder rec;
        rec.record.cancelAt = step;
        histogram.release();
        EXPECT_EQ(loadData(dir.file("d.dat"), v, info, rec), expected[step]) << step;
        EXPECT_EQ(gpProgressDlg, nullptr);
        EXPECT_EQ(rec.record.opened, 1);
        EXPECT_EQ(rec.record.closed, 1);
        const size_t n = expected[step] ? 6 : static_cast<size_t>(step + 1);
        EXPECT_EQ(rec.record.updates, Updates(kDataUpdates.begin(), kDataUpdates.begin() + n)) << step;
        // The histogram exists from step 12 on.
        EXPECT_EQ(histogram.getHist() != nullptr, step >= 4 || expected[step]) << step;
        histogram.release();
        EXPECT_EQ(g_garbageCollector.count(), myBaseline) << step;
    }
}

TEST_F(LoadTest, ReportProgressClosesTheDialogOnCancel)
{
    ProgressRecorder rec;
    rec.record.cancelAt = 1;
    writeFile(dir.file("d.dat"), kDescription);
    writeFile(dir.file("d.raw"), bigEndian16(ramp(24, 7)));
    // A dialog of our own, as a load would have it.
    EXPECT_TRUE(reportProgress(50, "x")); // no dialog: goes on
    gpProgressDlg = new RecordingDialog(&rec.record);
    g_garbageCollector.add(gpProgressDlg, __FILE__, __LINE__, "gpProgressDlg");
    EXPECT_TRUE(reportProgress(30, "Creating bricking structure."));
    EXPECT_FALSE(reportProgress(60, "Creating bricking structure."));
    EXPECT_EQ(gpProgressDlg, nullptr);
    EXPECT_EQ(rec.record.closed, 1);
}

TEST_F(LoadTest, FailingReadersShowFailedAndFreeEverything)
{
    writeFile(dir.file("d.dat"), kDescription); // no raw file
    // 4 GB declared over a raw file of one byte.
    writeFile(dir.file("huge.dat"), "ObjectFileName: one.raw\nResolution: 2000 2000 1000\nFormat: UCHAR\n");
    writeFile(dir.file("one.raw"), "x");
    writeFile(dir.file("bad.zvf"), "P5\n# not a zvf header\n1 1\n255\nx");
    std::string truncated = readFile(writeSmallZvf(ramp(24, 1)));
    truncated.resize(truncated.size() - 20);
    writeFile(dir.file("short.zvf"), truncated);
    for (const char* name : {"d.dat", "missing.dat", "huge.dat", "bad.zvf", "short.zvf", "missing.zvf"}) {
        LogCapture log;
        ProgressRecorder rec;
        EXPECT_FALSE(loadData(dir.file(name), v, info, rec)) << name;
        ASSERT_FALSE(rec.record.updates.empty());
        EXPECT_EQ(rec.record.updates.back(), std::make_pair(100, std::string("Failed."))) << name;
        EXPECT_EQ(rec.record.closed, 1);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline) << name;
        if (std::string(name) == "bad.zvf" || std::string(name) == "missing.zvf") {
            const std::string text = log.text();
            EXPECT_NE(text.find("zvfReadHeader failed\n"), std::string::npos) << text;
            EXPECT_NE(text.find(zvfErrorText[zvfLastError]), std::string::npos) << text;
        }
    }
}

TEST_F(LoadTest, FailedDialogAllocationStillLoads)
{
    writeFile(dir.file("d.dat"), kDescription);
    writeFile(dir.file("d.raw"), bigEndian16(ramp(24, 7)));
    failNextGuardedAllocations(1);
    EXPECT_TRUE(loadData(dir.file("d.dat"), v, info));
    // The failed dialog allocation was registered as a null entry, like any other.
    g_garbageCollector.remove(nullptr);
}

TEST_F(LoadTest, ZvfBandsAreInterleavedAndThreeBecomeFour)
{
    const int n = 2 * 2 * 1;
    std::vector<uint8_t> planar(3 * n);
    for (int b = 0; b < 3; ++b)
        for (int i = 0; i < n; ++i)
            planar[b * n + i] = static_cast<uint8_t>(10 * (b + 1) + i);
    const std::string path = dir.file("rgb.zvf");
    ASSERT_EQ(zvfWriteCubGrid(path.c_str(), planar.data(), 2, 2, 1, 3, zvfUChar, nullptr, 0), 1);
    void* data = nullptr;
    GLenum type = 0;
    v.setAlphaCalculation(2);
    ASSERT_TRUE(readShaped(path, &data, &type, v, info));
    EXPECT_EQ(v.nbrChannels, 4);
    EXPECT_NE(info.find("Number of bands:\t3\n"), std::string::npos);
    const uint8_t expected[16] = {10, 20, 30, 30, 11, 21, 31, 31, 12, 22, 32, 32, 13, 23, 33, 33};
    EXPECT_EQ(std::memcmp(data, expected, 16), 0);
    RELEASE_VOXELS(data);
}

TEST_F(LoadTest, ZvfTwoSixteenBitBandsInterleaved)
{
    const std::vector<uint16_t> planar = {1, 2, 1000, 2000};
    const std::string path = dir.file("two.zvf");
    ASSERT_EQ(zvfWriteCubGrid(path.c_str(), planar.data(), 2, 1, 1, 2, zvfUInt16, nullptr, 0), 1);
    void* data = nullptr;
    GLenum type = 0;
    ASSERT_TRUE(readShaped(path, &data, &type, v, info));
    EXPECT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_SHORT));
    EXPECT_EQ(v.nbrChannels, 4);
    uint16_t got[8];
    std::memcpy(got, data, sizeof got);
    // (1, 1000, 0, avg 333), (2, 2000, 0, avg 667)
    const uint16_t expected[8] = {1, 1000, 0, 333, 2, 2000, 0, 667};
    EXPECT_EQ(std::memcmp(got, expected, sizeof got), 0);
    RELEASE_VOXELS(data);
}

TEST_F(LoadTest, MoreThanFourBands)
{
    const std::vector<uint16_t> wide(6 * 4, 1);
    ASSERT_EQ(zvfWriteCubGrid(dir.file("w16.zvf").c_str(), wide.data(), 2, 2, 1, 6, zvfUInt16, nullptr, 0), 1);
    ASSERT_EQ(zvfWriteCubGrid(dir.file("w8.zvf").c_str(), wide.data(), 2, 2, 1, 6, zvfUChar, nullptr, 0), 1);
    {
        LogCapture log;
        EXPECT_FALSE(loadData(dir.file("w16.zvf"), v, info));
        const std::string text = log.text();
        const size_t a = text.find("Multi volume detected.\n");
        ASSERT_NE(a, std::string::npos);
        EXPECT_NE(text.find("Not supported data type for multi volume.\n", a), std::string::npos);
    }
    // Bytes go to the multi-volume loader: band 0 is the volume, the other
    // five make the band textures.
    EXPECT_TRUE(loadData(dir.file("w8.zvf"), v, info));
    EXPECT_EQ(v.nbrChannels, 1);
    EXPECT_NE(v.myMVolumeInfo, nullptr);
}
