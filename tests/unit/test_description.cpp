// Description files: parsing, the information text, raw data.
#include "error_handling.h"
#include "load_description.h"
#include "load_test_util.h"
#include "test_support.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char* const kExactLayout =
    "ObjectFileName: head.raw\n"
    "TaggedFileName: head.tag\n"
    "Resolution: 4 3 2\n"
    "SliceThickness: 1.0 1.0 2.0\n"
    "Format: USHORT\n"
    "NbrTags: 0\n"
    "ObjectType: TEXTURE_VOLUME_OBJECT\n"
    "ObjectModel: I\n"
    "GridType: EQUIDISTANT\n"
    "NbrChannels: 1\n";

class DescriptionTest : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        if (data)
            RELEASE_VOXELS(data);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    // Writes the description and a raw file of the given bytes, then reads it.
    bool read(const std::string& description, const std::string& raw, const std::string& rawName = "head.raw")
    {
        writeFile(dir.file("head.dat"), description);
        if (!raw.empty())
            writeFile(dir.file(rawName), raw);
        return readShaped(dir.file("head.dat"), &data, &type, v, info);
    }
    TempDir dir;
    Volume v;
    void* data = nullptr;
    GLenum type = 0;
    std::string info;
    uint32_t myBaseline = 0;
};

std::string bytes(size_t n, unsigned char start = 0)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(start + i);
    return s;
}

} // namespace

TEST_F(DescriptionTest, ExactLayoutGivesTheInformationText)
{
    ASSERT_TRUE(read(kExactLayout, bytes(48)));
    EXPECT_EQ(info, "ObjectFileName:\thead.raw\n"
                    "Resolution:\t4 3 2\n"
                    "SliceThickness:\t1.000000 1.000000 2.000000\n"
                    "Format:\t\tUSHORT\n"
                    "NbrChannels:\t\t1\n"
                    "Ratio:\t\t1.000000 0.750000 1.000000\n");
    EXPECT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_SHORT));
    EXPECT_EQ(v.resolution[0], 4);
    EXPECT_EQ(v.resolution[2], 2);
    EXPECT_EQ(v.nbrChannels, 1);
    EXPECT_FLOAT_EQ(v.extent[2], 1.0f);
    EXPECT_STREQ(g_garbageCollector.record(g_garbageCollector.count() - 1).name, "(*data)");
    // Raw bytes stay as in the file until conversion swaps them.
    EXPECT_EQ(std::memcmp(data, bytes(48).data(), 48), 0);
}

TEST_F(DescriptionTest, MissingNbrChannelsMeansOne)
{
    std::string d = kExactLayout;
    d.resize(d.find("NbrChannels"));
    v.nbrChannels = 3;
    ASSERT_TRUE(read(d, bytes(48)));
    EXPECT_EQ(v.nbrChannels, 1);
    EXPECT_NE(info.find("NbrChannels:\t\t1\n"), std::string::npos);
    // The key as the last word reads the same.
    RELEASE_VOXELS(data);
    ASSERT_TRUE(read(d + "NbrChannels:", bytes(48)));
    EXPECT_EQ(v.nbrChannels, 1);
}

TEST_F(DescriptionTest, OutOfRangeOrUnreadableChannelsRefused)
{
    for (const char* value : {"5", "0", "-1", "two", "Modality:"}) {
        LogCapture log;
        std::string d = kExactLayout;
        d.replace(d.find("NbrChannels: 1"), 14, std::string("NbrChannels: ") + value);
        v.nbrChannels = 3;
        info = "kept";
        EXPECT_FALSE(read(d, bytes(48))) << value;
        // A refused file changes neither the volume nor its text.
        EXPECT_EQ(v.nbrChannels, 3);
        EXPECT_EQ(data, nullptr);
        EXPECT_NE(log.text().find("Not supported number of channels in dataset\n"), std::string::npos);
        EXPECT_EQ(info, "kept");
    }
}

TEST_F(DescriptionTest, FourChannelsStayInterleaved)
{
    std::string d = kExactLayout;
    d.replace(d.find("NbrChannels: 1"), 14, "NbrChannels: 4");
    d.replace(d.find("USHORT"), 6, "UCHAR");
    ASSERT_TRUE(read(d, bytes(96)));
    EXPECT_EQ(v.nbrChannels, 4);
    EXPECT_NE(info.find("NbrChannels:\t\t4\n"), std::string::npos);
    EXPECT_EQ(std::memcmp(data, bytes(96).data(), 96), 0);
}

TEST_F(DescriptionTest, TwoAndThreeChannelsBecomeFour)
{
    std::string d = kExactLayout;
    d.replace(d.find("NbrChannels: 1"), 14, "NbrChannels: 2");
    d.replace(d.find("Resolution: 4 3 2"), 17, "Resolution: 1 1 1");
    d.replace(d.find("USHORT"), 6, "UCHAR");
    ASSERT_TRUE(read(d, std::string("\x0a\x14", 2)));
    EXPECT_EQ(v.nbrChannels, 4);
    // (10, 20, 0) with the average rule: 10.
    const unsigned char expected[4] = {10, 20, 0, 10};
    EXPECT_EQ(std::memcmp(data, expected, 4), 0);
}

TEST_F(DescriptionTest, LowerCaseFormatReadsBytes)
{
    std::string d = kExactLayout;
    d.replace(d.find("USHORT"), 6, "ushort");
    ASSERT_TRUE(read(d, bytes(48)));
    EXPECT_EQ(type, static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_NE(info.find("Format:\t\tushort\n"), std::string::npos);
}

TEST_F(DescriptionTest, ShortRawFileLeavesZerosLongOneReadsOnlyTheDescribedBytes)
{
    {
        LogCapture log;
        ASSERT_TRUE(read(kExactLayout, bytes(10, 1)));
        const unsigned char* p = static_cast<const unsigned char*>(data);
        EXPECT_EQ(p[9], 10);
        for (int i = 10; i < 48; ++i)
            ASSERT_EQ(p[i], 0) << i;
        const std::string text = log.text();
        const std::string line = "Description file: raw file \"head.raw\" lacks 38 of 48 bytes; they read as 0\n";
        ASSERT_GE(text.size(), line.size());
        EXPECT_EQ(text.substr(text.size() - line.size()), line);
    }
    RELEASE_VOXELS(data);
    LogCapture log;
    const size_t before = log.text().size();
    ASSERT_TRUE(read(kExactLayout, bytes(1000, 1)));
    EXPECT_EQ(std::memcmp(data, bytes(48, 1).data(), 48), 0);
    EXPECT_EQ(log.text().size(), before);
}

// 63 bytes naming a raw file of one byte declare 4 GB: refused with both
// sizes before any memory is asked for (an allocation would take the
// failure armed here).
TEST_F(DescriptionTest, DeclarationFarBeyondTheRawFileIsRefusedWithoutAllocating)
{
    const std::string description = "ObjectFileName: a.raw\nResolution: 2000 2000 1000\nFormat: UCHAR\n";
    ASSERT_EQ(description.size(), 63u);
    LogCapture log;
    failNextGuardedAllocations(1);
    EXPECT_FALSE(read(description, "x", "a.raw"));
    const bool stillArmed = guardedAllocationShouldFail();
    failNextGuardedAllocations(0);
    EXPECT_TRUE(stillArmed);
    EXPECT_EQ(data, nullptr);
    const std::string text = log.text();
    const std::string line = "Description file: 4000000000 bytes declared, raw file \"a.raw\" has 1\n";
    ASSERT_GE(text.size(), line.size());
    EXPECT_EQ(text.substr(text.size() - line.size()), line);
    EXPECT_EQ(text.find("Allocating memory FAILED!"), std::string::npos);
}

// A raw file may lack as many bytes as it holds, or 1 MiB where that is
// more; one byte beyond is refused.
TEST_F(DescriptionTest, RawFileBacksWhatItCouldHoldWithTheMargin)
{
    const uint64_t mib = uint64_t(1) << 20;
    EXPECT_TRUE(rawFileBacks(mib, 0));
    EXPECT_FALSE(rawFileBacks(mib + 1, 0));
    EXPECT_TRUE(rawFileBacks(4 * mib, 2 * mib));
    EXPECT_FALSE(rawFileBacks(4 * mib + 1, 2 * mib));
    EXPECT_TRUE(rawFileBacks(48, 1000));
    EXPECT_FALSE(rawFileBacks(uint64_t(4000000000), 1));
    const struct
    {
        const char* resolution;
        size_t raw;
        bool loads;
    } cases[] = {
        {"1048576 1 1", 0, true},
        {"1048577 1 1", 0, false},
        {"4194304 1 1", 2 * mib, true},
        {"4194305 1 1", 2 * mib, false},
    };
    for (const auto& c : cases) {
        LogCapture log;
        const std::string d = std::string("ObjectFileName: m.raw\nResolution: ") + c.resolution + "\nFormat: UCHAR\n";
        writeFile(dir.file("m.raw"), std::string(c.raw, '\x05'));
        EXPECT_EQ(read(d, "", "m.raw"), c.loads) << c.resolution;
        const std::string text = log.text();
        if (c.loads) {
            ASSERT_NE(data, nullptr);
            EXPECT_NE(text.find("lacks "), std::string::npos) << text;
            const unsigned char* p = static_cast<const unsigned char*>(data);
            EXPECT_EQ(p[0], c.raw ? 5 : 0);
            EXPECT_EQ(p[c.raw ? c.raw - 1 : 0], c.raw ? 5 : 0);
            EXPECT_EQ(p[c.raw], 0);
            RELEASE_VOXELS(data);
        } else {
            EXPECT_EQ(data, nullptr);
            EXPECT_NE(text.find(" bytes declared, raw file \"m.raw\" has " + std::to_string(c.raw) + "\n"),
                      std::string::npos)
                << text;
        }
    }
}

TEST_F(DescriptionTest, RawFileRelativeToTheDescriptionsDirectory)
{
    std::string d = kExactLayout;
    d.replace(d.find("head.raw"), 8, "sub/r.raw");
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_TRUE(read(d, bytes(48, 3), "sub/r.raw"));
    EXPECT_EQ(static_cast<unsigned char*>(data)[0], 3);
    EXPECT_EQ(rawFilePath("a/b/c.dat", "x.raw"), "a/b/x.raw");
    EXPECT_EQ(rawFilePath("/c.dat", "x.raw"), "/x.raw");
    EXPECT_EQ(rawFilePath("c.dat", "x.raw"), "x.raw");
}

TEST_F(DescriptionTest, DescriptionWithoutDirectoryReadsFromTheWorkingDirectory)
{
    writeFile(dir.file("plain.dat"), kExactLayout);
    writeFile(dir.file("head.raw"), bytes(48, 5));
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const bool ok = readShaped("plain.dat", &data, &type, v, info);
    ASSERT_EQ(::chdir(saved), 0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(static_cast<unsigned char*>(data)[0], 5);
}

TEST_F(DescriptionTest, MissingFilesFailWithoutMessage)
{
    LogCapture log;
    const size_t before = log.text().size();
    EXPECT_FALSE(readShaped(dir.file("none.dat"), &data, &type, v, info));
    EXPECT_EQ(data, nullptr);
    // The raw file is missing: it is opened before anything is allocated.
    EXPECT_FALSE(read(kExactLayout, ""));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(log.text().size(), before);
}

TEST_F(DescriptionTest, DialectsReadByKeyName)
{
    // Comments, tabs, extra keys, keys left out, no final line end.
    const std::string d = "# a comment line\n"
                          "  # an indented one\n"
                          "Modality:\tCT\n"
                          "Format:\t\t  UCHAR\n"
                          "ObjectFileName:\thead.raw\n"
                          "TimeStep: 0\n"
                          "Unit: mm\n"
                          "Resolution:\t  2 2 2";
    ASSERT_TRUE(read(d, bytes(8)));
    EXPECT_EQ(info, "ObjectFileName:\thead.raw\n"
                    "Resolution:\t2 2 2\n"
                    "SliceThickness:\t1.000000 1.000000 1.000000\n"
                    "Format:\t\tUCHAR\n"
                    "NbrChannels:\t\t1\n"
                    "Ratio:\t\t1.000000 1.000000 1.000000\n");
}

TEST_F(DescriptionTest, ExtraKeysBeforeNbrChannels)
{
    std::string d = kExactLayout;
    d.insert(d.find("NbrChannels"), "Modality: unknown\nTimeStep: 0\nUnit: mm\n");
    d.replace(d.find("NbrChannels: 1"), 14, "NbrChannels:\t4");
    ASSERT_TRUE(read(d, bytes(192)));
    EXPECT_EQ(v.nbrChannels, 4);
}

TEST_F(DescriptionTest, RequiredKeysAndBadValuesRefused)
{
    struct Case
    {
        const char* from;
        const char* to;
        const char* message;
    } cases[] = {
        {"ObjectFileName: head.raw\n", "", "Description file: key \"ObjectFileName:\" is missing\n"},
        {"Resolution: 4 3 2\n", "", "Description file: key \"Resolution:\" is missing\n"},
        {"Format: USHORT\n", "", "Description file: key \"Format:\" is missing\n"},
        {"Resolution: 4 3 2", "Resolution: 4 3", "Description file: value of \"Resolution:\" is unreadable\n"},
        {"Resolution: 4 3 2", "Resolution: 4 0 2", "Description file: value of \"Resolution:\" is unreadable\n"},
        {"Resolution: 4 3 2", "Resolution: 4 3 x2", "Description file: value of \"Resolution:\" is unreadable\n"},
        {"SliceThickness: 1.0 1.0 2.0", "SliceThickness: 1.0 nan 2.0",
         "Description file: value of \"SliceThickness:\" is unreadable\n"},
        {"Resolution: 4 3 2", "Resolution: 2147483647 2147483647 2147483647",
         "Description file: the volume is too large\n"},
        {"head.raw", nullptr, "Description file: word after \"ObjectFileName:\" is too long\n"},
    };
    const std::string longWord(kMaxDescriptionWord + 1, 'a');
    cases[8].to = longWord.c_str();
    for (const Case& c : cases) {
        LogCapture log;
        std::string d = kExactLayout;
        d.replace(d.find(c.from), std::strlen(c.from), c.to);
        EXPECT_FALSE(read(d, bytes(48))) << c.to;
        EXPECT_EQ(data, nullptr) << c.to;
        EXPECT_NE(log.text().find(c.message), std::string::npos) << log.text();
    }
}

TEST_F(DescriptionTest, LongestWordAccepted)
{
    // A file name of the longest word, in a directory (one path component
    // cannot be that long).
    const std::string name = std::string(200, 'r') + "/" + std::string(kMaxDescriptionWord - 201, 's');
    ASSERT_EQ(name.size(), 259u);
    ASSERT_EQ(::mkdir(dir.file(std::string(200, 'r')).c_str(), 0755), 0);
    std::string d = kExactLayout;
    d.replace(d.find("head.raw"), 8, name);
    ASSERT_TRUE(read(d, bytes(48), name));
}

TEST(DescriptionParse, KeyWrittenAgainstItsValue)
{
    Description d;
    std::string key;
    ASSERT_EQ(parseDescription("ObjectFileName:a.raw Resolution:3 4 5 Format:FLOAT", &d, &key),
              DescriptionError::None);
    EXPECT_EQ(d.objectFileName, "a.raw");
    EXPECT_EQ(d.resolution[2], 5);
    EXPECT_EQ(d.format, "FLOAT");
    EXPECT_EQ(d.nbrChannels, 1);
}

// The text read is the file's bytes, NULs and all, up to the first MiB,
// whatever the size relative to the reader's chunks.
TEST(DescriptionText, FileBytesUpToTheFirstMiB)
{
    TempDir dir;
    const size_t mib = size_t(1) << 20;
    for (size_t size : {size_t(0), size_t(5), size_t(4095), size_t(4096), size_t(4097), mib - 1, mib,
                        mib + 1, mib + 5000}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
        const std::string path = dir.file("d" + std::to_string(size) + ".dat");
        ASSERT_TRUE(writeFile(path, bytes));
        std::string text = "left over";
        ASSERT_TRUE(readDescriptionText(path, &text));
        EXPECT_EQ(text, bytes.substr(0, mib)) << size;
    }
    std::string text;
    EXPECT_FALSE(readDescriptionText(dir.file("absent.dat"), &text));
}
