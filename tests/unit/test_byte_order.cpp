// Byte order of raw description data: the stated order, the smoothness rule
// on public scans and on synthetic data, the log line, the values that come
// out of the description reader and the conversion, and refused values.
#include "byte_order.h"
#include "load_convert.h"
#include "load_description.h"
#include "load_test_util.h"
#include "test_support.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char* const kGuessLine = "Raw data read as little-endian (smoother than big-endian).";

// n values of T from f(i), stored in the given byte order.
template <typename T, typename F> std::string stored(size_t n, bool littleEndian, F f)
{
    std::string s(n * sizeof(T), '\0');
    for (size_t i = 0; i < n; ++i) {
        const T v = static_cast<T>(f(i));
        unsigned char b[sizeof(T)];
        std::memcpy(b, &v, sizeof v);
        // This machine stores little-endian; big-endian reverses.
        for (size_t k = 0; k < sizeof(T); ++k)
            s[i * sizeof(T) + k] = static_cast<char>(littleEndian ? b[k] : b[sizeof(T) - 1 - k]);
    }
    return s;
}

bool guess(const std::string& raw, GLenum type, int x, int y, int z, int channels = 1)
{
    const int res[3] = {x, y, z};
    return looksLittleEndian(raw.data(), type, res, channels);
}

class ByteOrderLoad : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        if (data)
            RELEASE_VOXELS(data);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    // readDescription, then the conversion's information text after it.
    bool load(const std::string& datPath)
    {
        info.clear();
        if (!readShaped(datPath, &data, &type, v, info))
            return false;
        int maxValue = 0;
        convertAndScale(data, &type, v.resolution, v.nbrChannels, info, true, &maxValue);
        return true;
    }
    // A description of a public raw file, linked beside it in the temp dir.
    std::string describe(const std::string& raw, const char* resolution, const char* format)
    {
        const std::string source = testsupport::dataDir() + "/" + raw;
        EXPECT_EQ(::symlink(source.c_str(), dir.file(raw).c_str()), 0);
        const std::string dat = dir.file(raw + ".dat");
        writeFile(dat, "ObjectFileName: " + raw + "\nResolution: " + resolution +
                           "\nSliceThickness: 1 1 1\nFormat: " + format + "\n");
        return dat;
    }
    TempDir dir;
    Volume v;
    void* data = nullptr;
    GLenum type = 0;
    std::string info;
    uint32_t myBaseline = 0;
};

} // namespace

// Smooth ramps stored either way, of every 16- and 32-bit type and with
// several channels: the order they were stored in is found. Noise, constant
// data and bytes stay big-endian, and so do values whose low byte is zero
// (read either way the same picture, only scaled).
TEST(ByteOrderGuess, SyntheticData)
{
    const int x = 40, y = 6, z = 5;
    const size_t n = size_t(x) * y * z;
    auto ramp = [&](size_t i) { return 300.0 + 7.0 * double(i % x) + 3.0 * double(i / x % y); };
    for (bool little : {true, false}) {
        EXPECT_EQ(guess(stored<uint16_t>(n, little, ramp), GL_UNSIGNED_SHORT, x, y, z), little);
        EXPECT_EQ(guess(stored<int16_t>(n, little, [&](size_t i) { return ramp(i) - 600; }), GL_SHORT, x, y, z),
                  little);
        EXPECT_EQ(guess(stored<uint32_t>(n, little, ramp), GL_UNSIGNED_INT, x, y, z), little);
        EXPECT_EQ(guess(stored<int32_t>(n, little, [&](size_t i) { return -ramp(i); }), GL_INT, x, y, z), little);
        EXPECT_EQ(guess(stored<float>(n, little, [&](size_t i) { return ramp(i) / 1000.0; }), GL_FLOAT, x, y, z),
                  little);
        // Three channels of one voxel side by side: each compared with its own kind.
        EXPECT_EQ(guess(stored<uint16_t>(n * 3, little,
                                         [&](size_t i) { return i % 3 == 1 ? 60000.0 : ramp(i / 3); }),
                        GL_UNSIGNED_SHORT, x, y, z, 3),
                  little);
    }
    std::srand(11);
    auto noise = [](size_t) { return double(std::rand() % 65536); };
    EXPECT_FALSE(guess(stored<uint16_t>(n, true, noise), GL_UNSIGNED_SHORT, x, y, z));
    EXPECT_FALSE(guess(stored<uint32_t>(n, true, [](size_t) { return double(std::rand()); }), GL_UNSIGNED_INT, x, y, z));
    EXPECT_FALSE(guess(stored<uint16_t>(n, true, [](size_t) { return 5.0; }), GL_UNSIGNED_SHORT, x, y, z));
    EXPECT_FALSE(guess(stored<uint16_t>(n, false, [&](size_t i) { return 256.0 * (int(ramp(i)) % 200); }),
                       GL_UNSIGNED_SHORT, x, y, z));
    EXPECT_FALSE(guess(stored<uint8_t>(n, true, [](size_t i) { return double(i % 256); }), GL_UNSIGNED_BYTE, x, y, z));
    // Rows of one voxel have no neighbours along x.
    EXPECT_FALSE(guess(stored<uint16_t>(30, true, [](size_t i) { return double(i); }), GL_UNSIGNED_SHORT, 1, 6, 5));
}

// The measure on rows with known answers. 0x0100 0x01FF 0x0203 read
// big-endian are 256 511 515 (steps 255 and 4), little-endian 1 65281 770.
// Bytes that are always zero are left out: 0 2 4 6 reads the same either way.
TEST(ByteOrderGuess, RoughnessOfKnownRows)
{
    const int res[3] = {3, 1, 1};
    const std::string row = stored<uint16_t>(3, false, [](size_t i) { return i == 0 ? 0x100 : i == 1 ? 0x1FF : 0x203; });
    EXPECT_DOUBLE_EQ(rawRoughness(row.data(), GL_UNSIGNED_SHORT, res, 1, false), 129.5);
    EXPECT_DOUBLE_EQ(rawRoughness(row.data(), GL_UNSIGNED_SHORT, res, 1, true), 64895.5);
    // Signed: 0xFF00 0xFFFF read big-endian are -256 and -1.
    const std::string negative = stored<int16_t>(2, false, [](size_t i) { return i == 0 ? -256 : -1; });
    const int two[3] = {2, 1, 1};
    EXPECT_DOUBLE_EQ(rawRoughness(negative.data(), GL_SHORT, two, 1, false), 255.0);
    const std::string even = stored<uint16_t>(4, false, [](size_t i) { return 2.0 * double(i); });
    const int four[3] = {4, 1, 1};
    EXPECT_DOUBLE_EQ(rawRoughness(even.data(), GL_UNSIGNED_SHORT, four, 1, false), 2.0);
    EXPECT_DOUBLE_EQ(rawRoughness(even.data(), GL_UNSIGNED_SHORT, four, 1, true), 2.0);
    // Floats 1.0 2.0 are 3F800000 40000000: without their zero bytes 3F80
    // 4000 big-endian (a step of 128), 803F 0040 little-endian.
    const std::string floats = stored<float>(2, false, [](size_t i) { return i ? 2.0 : 1.0; });
    EXPECT_DOUBLE_EQ(rawRoughness(floats.data(), GL_FLOAT, two, 1, false), 128.0);
    EXPECT_DOUBLE_EQ(rawRoughness(floats.data(), GL_FLOAT, two, 1, true), double(0x803F - 0x40));
}

// The public scans: three little-endian, one big-endian (SOURCES.md).
TEST(ByteOrderGuess, PublicScans)
{
    SKIP_WITHOUT_DATA();
    const struct { const char* file; int x, y, z; GLenum type; bool little; } cases[] = {
        {"walnut.raw", 128, 96, 114, GL_UNSIGNED_SHORT, true},
        {"headsq_64x64x93_int16.raw", 64, 64, 93, GL_SHORT, true},
        {"example4d_vol0_128x96x24_int16.raw", 128, 96, 24, GL_SHORT, true},
        {"anatomical_33x41x25_int16_be.raw", 33, 41, 25, GL_SHORT, false},
    };
    for (const auto& c : cases) {
        const std::string raw = testsupport::readFile(testsupport::dataDir() + "/" + c.file);
        ASSERT_EQ(raw.size(), size_t(c.x) * c.y * c.z * 2) << c.file;
        EXPECT_EQ(guess(raw, c.type, c.x, c.y, c.z), c.little) << c.file;
    }
}

// A stated order wins over the rule and logs nothing; a guess of
// little-endian is logged once.
TEST(ByteOrderGuess, StatedOrderWinsAndGuessIsLogged)
{
    const int res[3] = {40, 6, 5};
    const std::string little = stored<uint16_t>(1200, true, [](size_t i) { return double(i % 40) * 9.0; });
    std::srand(3);
    const std::string noise = stored<uint16_t>(1200, true, [](size_t) { return double(std::rand() % 65536); });
    LogCapture log;
    EXPECT_FALSE(readRawAsLittleEndian(RawByteOrder::Big, little.data(), GL_UNSIGNED_SHORT, res, 1));
    EXPECT_TRUE(readRawAsLittleEndian(RawByteOrder::Little, noise.data(), GL_UNSIGNED_SHORT, res, 1));
    EXPECT_FALSE(readRawAsLittleEndian(RawByteOrder::Unstated, noise.data(), GL_UNSIGNED_SHORT, res, 1));
    EXPECT_EQ(log.text().find(kGuessLine), std::string::npos);
    EXPECT_TRUE(readRawAsLittleEndian(RawByteOrder::Unstated, little.data(), GL_UNSIGNED_SHORT, res, 1));
    const std::string text = log.text();
    const size_t at = text.find(kGuessLine);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.find(kGuessLine, at + 1), std::string::npos);
}

// "ByteOrder:" and "Endianness:" in any case; any other value is refused
// naming the key.
TEST(ByteOrderParse, KeysAndValues)
{
    const std::string head = "ObjectFileName: a.raw\nResolution: 2 2 2\nFormat: USHORT\n";
    const struct { const char* line; DescriptionError error; RawByteOrder order; const char* key; } cases[] = {
        {"", DescriptionError::None, RawByteOrder::Unstated, ""},
        {"ByteOrder: little\n", DescriptionError::None, RawByteOrder::Little, ""},
        {"byteorder:\tBIG\n", DescriptionError::None, RawByteOrder::Big, ""},
        {"Endianness: Little\n", DescriptionError::None, RawByteOrder::Little, ""},
        {"ENDIANNESS:big\n", DescriptionError::None, RawByteOrder::Big, ""},
        {"ByteOrder: middle\n", DescriptionError::BadByteOrder, RawByteOrder::Unstated, "ByteOrder:"},
        {"ByteOrder: little-endian\n", DescriptionError::BadByteOrder, RawByteOrder::Unstated, "ByteOrder:"},
        {"Endianness:\n", DescriptionError::BadByteOrder, RawByteOrder::Unstated, "Endianness:"},
    };
    for (const auto& c : cases) {
        Description d;
        std::string key = "?";
        EXPECT_EQ(parseDescription(head + c.line, &d, &key), c.error) << c.line;
        EXPECT_EQ(d.byteOrder, c.order) << c.line;
        EXPECT_EQ(key, c.key) << c.line;
    }
}

// walnut.dat says nothing of its order: read little-endian, it is the walnut
// (largest value 22526, as the source's own description has it), and the log
// says why.
TEST_F(ByteOrderLoad, WalnutReadsLittleEndian)
{
    SKIP_WITHOUT_DATA();
    LogCapture log;
    ASSERT_TRUE(load(testsupport::dataDir() + "/walnut.dat"));
    EXPECT_NE(log.text().find(kGuessLine), std::string::npos);
    EXPECT_NE(info.find("Swap Data:\tYES\nMaximal value:\t22526.000000\nMinimal value:\t0.000000\n"),
              std::string::npos)
        << info;
    // The picture of the nut: shell in the middle of the middle slice, air in the corner.
    const uint16_t* values = static_cast<const uint16_t*>(data);
    EXPECT_EQ(values[(57 * 96 + 48) * 128 + 64], 5353);
    EXPECT_EQ(values[0], 192);
}

// headsq is stored little-endian, the anatomical scan big-endian: each comes
// out with its known range; a stated order overrides the rule.
TEST_F(ByteOrderLoad, HeadsqAndAnatomicalScans)
{
    SKIP_WITHOUT_DATA();
    {
        LogCapture log;
        ASSERT_TRUE(load(describe("headsq_64x64x93_int16.raw", "64 64 93", "SHORT")));
        EXPECT_NE(log.text().find(kGuessLine), std::string::npos);
        EXPECT_NE(info.find("Maximal value:\t3926.000000\nMinimal value:\t0.000000\n"), std::string::npos) << info;
        RELEASE_VOXELS(data);
    }
    {
        LogCapture log;
        ASSERT_TRUE(load(describe("anatomical_33x41x25_int16_be.raw", "33 41 25", "SHORT")));
        EXPECT_EQ(log.text().find(kGuessLine), std::string::npos);
        EXPECT_NE(info.find("Maximal value:\t30393.000000\nMinimal value:\t-610.000000\n"), std::string::npos)
            << info;
        RELEASE_VOXELS(data);
    }
    // Told otherwise, the reader obeys: walnut big-endian reads as noise up to 65364.
    writeFile(dir.file("walnut.dat"),
              "ObjectFileName: walnut.raw\nResolution: 128 96 114\nFormat: USHORT\nByteOrder: big\n");
    ASSERT_EQ(::symlink((testsupport::dataDir() + "/walnut.raw").c_str(), dir.file("walnut.raw").c_str()), 0);
    LogCapture log;
    ASSERT_TRUE(load(dir.file("walnut.dat")));
    EXPECT_EQ(log.text().find(kGuessLine), std::string::npos);
    EXPECT_NE(info.find("Maximal value:\t65364.000000\n"), std::string::npos) << info;
}

// Synthetic files: a little-endian ramp is found, noise stays big-endian
// (bytes 0x01 0x02 are 0x0102), a stated little order reads noise that way,
// and a bad value is refused with the key in the log.
TEST_F(ByteOrderLoad, SyntheticFilesAndRefusedValue)
{
    const std::string dat = "ObjectFileName: r.raw\nResolution: 16 4 2\nFormat: USHORT\n";
    writeFile(dir.file("r.raw"), stored<uint16_t>(128, true, [](size_t i) { return 1000.0 + double(i % 16); }));
    writeFile(dir.file("r.dat"), dat);
    ASSERT_TRUE(load(dir.file("r.dat")));
    EXPECT_NE(info.find("Maximal value:\t1015.000000\nMinimal value:\t1000.000000\n"), std::string::npos) << info;
    RELEASE_VOXELS(data);

    std::srand(5);
    std::string noise = stored<uint16_t>(128, true, [](size_t) { return double(std::rand() % 65536); });
    noise[0] = 1;
    noise[1] = 2;
    writeFile(dir.file("r.raw"), noise);
    {
        LogCapture log;
        ASSERT_TRUE(readShaped(dir.file("r.dat"), &data, &type, v, info));
        EXPECT_EQ(log.text().find(kGuessLine), std::string::npos);
        // Still most significant byte first for the conversion.
        EXPECT_EQ(static_cast<unsigned char*>(data)[0], 1);
        RELEASE_VOXELS(data);
    }
    writeFile(dir.file("r.dat"), dat + "Endianness: little\n");
    ASSERT_TRUE(readShaped(dir.file("r.dat"), &data, &type, v, info));
    EXPECT_EQ(static_cast<unsigned char*>(data)[0], 2);
    RELEASE_VOXELS(data);

    writeFile(dir.file("r.dat"), dat + "ByteOrder: native\n");
    LogCapture log;
    EXPECT_FALSE(readShaped(dir.file("r.dat"), &data, &type, v, info));
    EXPECT_NE(log.text().find("Description file: \"ByteOrder:\" must be little or big"), std::string::npos)
        << log.text();
}
