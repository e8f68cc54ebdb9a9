// A folder of numbered volumes read as time points: the files in the order
// of their numbers (not of their names), each time point its own file's
// voxels, the count in the text; other folders are no series.
#include "sample_volumes.h"
#include "test_support.h"
#include "volume_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The uchar sample with every value raised by add, as dir/name.
std::vector<unsigned char> writeShifted(const testsupport::TempDir& dir, const std::string& name, int add)
{
    SampleVolume v;
    EXPECT_TRUE(makeSampleVolume("types-uchar", &v));
    for (unsigned char& b : v.data)
        b = static_cast<unsigned char>(b + add);
    EXPECT_TRUE(writeSampleVolume(v, dir.file(name)));
    return v.data;
}

std::vector<unsigned char> voxels(const VolumeFile& f)
{
    const unsigned char* p = static_cast<const unsigned char*>(f.data);
    const size_t n = static_cast<size_t>(f.resolution[0]) * f.resolution[1] * f.resolution[2];
    return p ? std::vector<unsigned char>(p, p + n) : std::vector<unsigned char>();
}

} // namespace

TEST(TimeSeries, NumberedVolumesOfAFolderAreItsTimePoints)
{
    testsupport::TempDir dir;
    const std::vector<unsigned char> a = writeShifted(dir, "vol_9.zvf", 0);
    const std::vector<unsigned char> b = writeShifted(dir, "vol_10.zvf", 1);
    const std::vector<unsigned char> c = writeShifted(dir, "vol_8.zvf", 2);
    ASSERT_TRUE(testsupport::writeFile(dir.file("notes.txt"), "not a volume\n"));
    const std::vector<std::string> files = numberedVolumes(dir.path());
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], dir.file("vol_8.zvf"));
    EXPECT_EQ(files[1], dir.file("vol_9.zvf"));
    EXPECT_EQ(files[2], dir.file("vol_10.zvf"));

    VolumeFile f;
    std::string why;
    ASSERT_TRUE(readVolume(dir.path(), &f, &why)) << why;
    EXPECT_EQ(f.timePoints, 3u);
    EXPECT_TRUE(voxels(f) == c);
    EXPECT_NE(f.info.find("Time points:\t3, the first shown\n"), std::string::npos) << f.info;
    ASSERT_TRUE(readTimePoint(dir.path(), 2, &f, &why)) << why;
    EXPECT_TRUE(voxels(f) == b);
    EXPECT_EQ(f.resolution[0], 32);
    EXPECT_NE(f.info.find("Time points:\t3, the 3rd shown\n"), std::string::npos) << f.info;
    ASSERT_TRUE(readTimePoint(dir.path(), 1, &f, &why)) << why;
    EXPECT_TRUE(voxels(f) == a);
    EXPECT_FALSE(readTimePoint(dir.path(), 3, &f, &why));
    EXPECT_EQ(why, dir.path() + ": has 3 time points, not 4");
    EXPECT_EQ(f.data, nullptr);
}

TEST(TimeSeries, OtherFoldersAreNoSeries)
{
    testsupport::TempDir one, mixed, twice;
    writeShifted(one, "vol_000.zvf", 0);
    writeShifted(mixed, "vol_000.zvf", 0);
    writeShifted(mixed, "run_001.zvf", 0);
    writeShifted(twice, "vol_1.zvf", 0);
    writeShifted(twice, "vol_01.zvf", 0);
    EXPECT_TRUE(numberedVolumes(one.path()).empty());
    EXPECT_TRUE(numberedVolumes(mixed.path()).empty());
    EXPECT_TRUE(numberedVolumes(twice.path()).empty());
    EXPECT_TRUE(numberedVolumes(one.file("vol_000.zvf")).empty());
    EXPECT_EQ(timePointsLine(20, 0), "Time points:\t20, the first shown\n");
    EXPECT_EQ(timePointsLine(30, 20), "Time points:\t30, the 21st shown\n");
    EXPECT_EQ(timePointsLine(120, 111), "Time points:\t120, the 112th shown\n");
    EXPECT_EQ(timePointsLine(120, 101), "Time points:\t120, the 102nd shown\n");
}
