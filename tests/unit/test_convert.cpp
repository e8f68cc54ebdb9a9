// Conversion and scaling of voxel buffers, and the channel expansion.
#include "error_handling.h"
#include "load_convert.h"
#include "volume.h"
#include "voxel_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A registered buffer holding the given values, as the readers hand them out.
template <typename T> void* makeBuffer(const std::vector<T>& values)
{
    void* data = nullptr;
    GUARDED_VOXELS_AS(data, "(*data)", values.size() * sizeof(T));
    std::memcpy(data, values.data(), values.size() * sizeof(T));
    return data;
}

template <typename T> std::vector<T> contents(const void* data, size_t n)
{
    std::vector<T> v(n);
    std::memcpy(v.data(), data, n * sizeof(T));
    return v;
}

void setLine(Volume& v, int n, int channels = 1)
{
    v.resolution[0] = n;
    v.resolution[1] = 1;
    v.resolution[2] = 1;
    v.nbrChannels = channels;
}

struct ConvertCase
{
    std::string info;
    GLenum type;
    int maxValue = 0;
};

template <typename T>
ConvertCase convert(void* data, GLenum type, int n, bool isDescription = false, int channels = 1)
{
    Volume v;
    setLine(v, n, channels);
    ConvertCase c;
    c.type = type;
    convertAndScale(data, &c.type, v.resolution, v.nbrChannels, c.info, isDescription, &c.maxValue);
    return c;
}

template <typename T> T swapped(T v)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i)
        std::swap(b[i], b[sizeof(T) - 1 - i]);
    std::memcpy(&v, b, sizeof(T));
    return v;
}

class ConvertTest : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        for (void*& d : myBuffers)
            if (d)
                RELEASE_VOXELS(d);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    template <typename T> void* buffer(const std::vector<T>& values)
    {
        myBuffers.push_back(makeBuffer(values));
        return myBuffers.back();
    }
    std::vector<void*> myBuffers;
    uint32_t myBaseline = 0;
};

} // namespace

// Bytes are never swapped, whatever the file's byte order, and their range
// is shown as that of wider values is.
TEST_F(ConvertTest, UnsignedBytesUnchangedWithTheirRange)
{
    void* d = buffer<uint8_t>({0, 7, 255});
    const ConvertCase c = convert<uint8_t>(d, GL_UNSIGNED_BYTE, 3, true);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t255.000000\nMinimal value:\t0.000000\n");
    EXPECT_EQ(c.type, static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(c.maxValue, 256);
    EXPECT_EQ(contents<uint8_t>(d, 3), (std::vector<uint8_t>{0, 7, 255}));
}

TEST_F(ConvertTest, SignedBytesShiftToUnsigned)
{
    void* d = buffer<int8_t>({-128, 0, 127, -1});
    const ConvertCase c = convert<int8_t>(d, GL_BYTE, 4);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t127.000000\nMinimal value:\t-128.000000\n");
    EXPECT_EQ(c.type, static_cast<GLenum>(GL_UNSIGNED_BYTE));
    EXPECT_EQ(c.maxValue, 256);
    EXPECT_EQ(contents<uint8_t>(d, 4), (std::vector<uint8_t>{0, 128, 255, 127}));
}

TEST_F(ConvertTest, TwelveBitDataStretchedWithDivisor4095)
{
    void* d = buffer<uint16_t>({0, 2048, 4095, 1});
    const ConvertCase c = convert<uint16_t>(d, GL_UNSIGNED_SHORT, 4);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t4095.000000\nMinimal value:\t0.000000\n"
                      "Data was scaled\t\n");
    EXPECT_EQ(c.type, static_cast<GLenum>(GL_UNSIGNED_SHORT));
    EXPECT_EQ(c.maxValue, 4096);
    EXPECT_EQ(contents<uint16_t>(d, 4), (std::vector<uint16_t>{0, 32775, 65535, 16}));
}

TEST_F(ConvertTest, TwelveBitDataKeepsProportionsAboveMinimum)
{
    // The divisor is 4095, not the range: 100 ... 1100 maps to 0 ... 16003.
    void* d = buffer<uint16_t>({100, 1100});
    convert<uint16_t>(d, GL_UNSIGNED_SHORT, 2);
    EXPECT_EQ(contents<uint16_t>(d, 2), (std::vector<uint16_t>{0, 16003}));
}

TEST_F(ConvertTest, FullSixteenBitDataUnchanged)
{
    void* d = buffer<uint16_t>({0, 4096, 17});
    const ConvertCase c = convert<uint16_t>(d, GL_UNSIGNED_SHORT, 3);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t4096.000000\nMinimal value:\t0.000000\n");
    EXPECT_EQ(contents<uint16_t>(d, 3), (std::vector<uint16_t>{0, 4096, 17}));
}

TEST_F(ConvertTest, SignedShortRangeToUnsigned)
{
    void* d = buffer<int16_t>({-1000, 3000, 1000});
    const ConvertCase c = convert<int16_t>(d, GL_SHORT, 3);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t3000.000000\nMinimal value:\t-1000.000000\n"
                      "Data was scaled\t\n");
    EXPECT_EQ(c.type, static_cast<GLenum>(GL_UNSIGNED_SHORT));
    // 1000 is half way: trunc(65535 * 0.5) = 32767.
    EXPECT_EQ(contents<uint16_t>(d, 3), (std::vector<uint16_t>{0, 65535, 32767}));
}

TEST_F(ConvertTest, ThirtyTwoBitTypesScaleToFullUnsignedRange)
{
    void* s = buffer<int32_t>({-5, 5, 0});
    const ConvertCase cs = convert<int32_t>(s, GL_INT, 3);
    EXPECT_EQ(cs.type, static_cast<GLenum>(GL_UNSIGNED_INT));
    EXPECT_EQ(cs.maxValue, 4096);
    EXPECT_EQ(contents<uint32_t>(s, 3), (std::vector<uint32_t>{0, 4294967295u, 2147483647u}));

    void* u = buffer<uint32_t>({10, 4000000000u});
    const ConvertCase cu = convert<uint32_t>(u, GL_UNSIGNED_INT, 2);
    EXPECT_EQ(cu.info, "Swap Data:\tNO\nMaximal value:\t4000000000.000000\nMinimal value:\t10.000000\n"
                       "Data was scaled\t\n");
    EXPECT_EQ(contents<uint32_t>(u, 2), (std::vector<uint32_t>{0, 4294967295u}));
}

TEST_F(ConvertTest, FloatNormalised)
{
    void* d = buffer<float>({2.0f, 6.0f, 4.0f});
    const ConvertCase c = convert<float>(d, GL_FLOAT, 3);
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t6.000000\nMinimal value:\t2.000000\n"
                      "Data was scaled\t\n");
    EXPECT_EQ(c.type, static_cast<GLenum>(GL_FLOAT));
    EXPECT_EQ(contents<float>(d, 3), (std::vector<float>{0.0f, 1.0f, 0.5f}));
}

TEST_F(ConvertTest, ConstantDataBecomeZerosWithoutDividingByZero)
{
    void* s = buffer<int16_t>({-7, -7});
    convert<int16_t>(s, GL_SHORT, 2);
    EXPECT_EQ(contents<uint16_t>(s, 2), (std::vector<uint16_t>{0, 0}));
    void* i = buffer<int32_t>({9, 9});
    convert<int32_t>(i, GL_INT, 2);
    EXPECT_EQ(contents<uint32_t>(i, 2), (std::vector<uint32_t>{0, 0}));
    void* f = buffer<float>({3.5f, 3.5f});
    const ConvertCase c = convert<float>(f, GL_FLOAT, 2);
    EXPECT_EQ(contents<float>(f, 2), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(c.info, "Swap Data:\tNO\nMaximal value:\t3.500000\nMinimal value:\t3.500000\n"
                      "Data was scaled\t\n");
}

TEST_F(ConvertTest, DescriptionDataAreByteSwappedBeforeTheScan)
{
    // Raw bytes 0x01 0x02 are the value 0x0102 = 258.
    const unsigned char raw[4] = {0x01, 0x02, 0x10, 0x00};
    void* d = nullptr;
    GUARDED_VOXELS_AS(d, "(*data)", 4);
    myBuffers.push_back(d);
    std::memcpy(d, raw, 4);
    const ConvertCase c = convert<uint16_t>(d, GL_UNSIGNED_SHORT, 2, true);
    EXPECT_EQ(c.info, "Swap Data:\tYES\nMaximal value:\t4096.000000\nMinimal value:\t258.000000\n");
    EXPECT_EQ(contents<uint16_t>(d, 2), (std::vector<uint16_t>{258, 4096}));

    void* f = buffer<float>({swapped(1.0f), swapped(3.0f)});
    convert<float>(f, GL_FLOAT, 2, true);
    EXPECT_EQ(contents<float>(f, 2), (std::vector<float>{0.0f, 1.0f}));

    void* i = buffer<int32_t>({swapped<int32_t>(-2), swapped<int32_t>(2)});
    const ConvertCase ci = convert<int32_t>(i, GL_INT, 2, true);
    EXPECT_NE(ci.info.find("Minimal value:\t-2.000000\n"), std::string::npos);
}

TEST_F(ConvertTest, ZvfDataAreNeverSwapped)
{
    void* d = buffer<uint16_t>({0x0102, 0x1000});
    convert<uint16_t>(d, GL_UNSIGNED_SHORT, 2, false);
    EXPECT_EQ(contents<uint16_t>(d, 2), (std::vector<uint16_t>{0x0102, 0x1000}));
}

TEST_F(ConvertTest, AllChannelsAreConverted)
{
    void* d = buffer<int8_t>({-128, 1, 2, 3});
    convert<int8_t>(d, GL_BYTE, 1, false, 4);
    EXPECT_EQ(contents<uint8_t>(d, 4), (std::vector<uint8_t>{0, 129, 130, 131}));
}

TEST_F(ConvertTest, ThirdChannelIsZero)
{
    Volume v;
    setLine(v, 2, 2);
    void* d = makeBuffer<uint16_t>({1, 2, 3, 4});
    ASSERT_TRUE(addThirdChannel(&d, GL_UNSIGNED_SHORT, v.resolution, &v.nbrChannels));
    myBuffers.push_back(d);
    EXPECT_EQ(v.nbrChannels, 3);
    EXPECT_EQ(contents<uint16_t>(d, 6), (std::vector<uint16_t>{1, 2, 0, 3, 4, 0}));
    EXPECT_STREQ(g_garbageCollector.record(g_garbageCollector.count() - 1).name, "tmpdata");
}

TEST_F(ConvertTest, AlphaRulesOnUnsignedBytes)
{
    const int expected[3][2] = {{255, 0}, {23, 0}, {40, 0}}; // rules 0, 1, 2 for (10,20,40), (0,0,0)
    for (int rule = 0; rule < 3; ++rule) {
        Volume v;
        setLine(v, 2, 3);
        v.setAlphaCalculation(rule);
        void* d = makeBuffer<uint8_t>({10, 20, 40, 0, 0, 0});
        ASSERT_TRUE(addAlphaChannel(&d, GL_UNSIGNED_BYTE, v.resolution, &v.nbrChannels, v.alphaCalculation));
        myBuffers.push_back(d);
        EXPECT_EQ(v.nbrChannels, 4);
        EXPECT_EQ(contents<uint8_t>(d, 8),
                  (std::vector<uint8_t>{10, 20, 40, static_cast<uint8_t>(expected[rule][0]), 0, 0, 0,
                                        static_cast<uint8_t>(expected[rule][1])}))
            << "rule " << rule;
    }
}

TEST_F(ConvertTest, AlphaRulesPerType)
{
    Volume v;
    setLine(v, 1, 3);
    v.setAlphaCalculation(0);
    void* s = makeBuffer<int16_t>({0, -3, 0});
    ASSERT_TRUE(addAlphaChannel(&s, GL_SHORT, v.resolution, &v.nbrChannels, v.alphaCalculation));
    myBuffers.push_back(s);
    EXPECT_EQ(contents<int16_t>(s, 4)[3], 32767);

    setLine(v, 1, 3);
    v.setAlphaCalculation(1);
    void* i = makeBuffer<int32_t>({-10, -20, -40});
    ASSERT_TRUE(addAlphaChannel(&i, GL_INT, v.resolution, &v.nbrChannels, v.alphaCalculation));
    myBuffers.push_back(i);
    EXPECT_EQ(contents<int32_t>(i, 4)[3], -23);

    setLine(v, 1, 3);
    v.setAlphaCalculation(2);
    void* f = makeBuffer<float>({0.25f, 0.75f, 0.5f});
    ASSERT_TRUE(addAlphaChannel(&f, GL_FLOAT, v.resolution, &v.nbrChannels, v.alphaCalculation));
    myBuffers.push_back(f);
    EXPECT_EQ(contents<float>(f, 4)[3], 0.75f);

    setLine(v, 1, 3);
    v.setAlphaCalculation(0);
    void* u = makeBuffer<uint32_t>({0, 0, 1});
    ASSERT_TRUE(addAlphaChannel(&u, GL_UNSIGNED_INT, v.resolution, &v.nbrChannels, v.alphaCalculation));
    myBuffers.push_back(u);
    EXPECT_EQ(contents<uint32_t>(u, 4)[3], 4294967295u);
}

TEST_F(ConvertTest, AlphaOfSwappedValuesIsComputedOnTheirRealValues)
{
    // Raw description data are most significant byte first until conversion.
    Volume v;
    setLine(v, 1, 3);
    v.setAlphaCalculation(2);
    void* d = makeBuffer<uint16_t>({swapped<uint16_t>(0x0100), swapped<uint16_t>(0x00FF), 0});
    ASSERT_TRUE(addAlphaChannel(&d, GL_UNSIGNED_SHORT, v.resolution, &v.nbrChannels, v.alphaCalculation, true));
    myBuffers.push_back(d);
    EXPECT_EQ(contents<uint16_t>(d, 4)[3], swapped<uint16_t>(0x0100));
}

TEST_F(ConvertTest, AlphaOnlyForThreeChannels)
{
    Volume v;
    setLine(v, 1, 4);
    void* d = buffer<uint8_t>({1, 2, 3, 4});
    void* before = d;
    EXPECT_TRUE(addAlphaChannel(&d, GL_UNSIGNED_BYTE, v.resolution, &v.nbrChannels, v.alphaCalculation));
    EXPECT_EQ(d, before);
    EXPECT_EQ(v.nbrChannels, 4);
}

TEST_F(ConvertTest, FailedChannelAllocationKeepsTheBuffer)
{
    Volume v;
    setLine(v, 1, 2);
    void* d = buffer<uint8_t>({1, 2});
    failNextGuardedAllocations(1);
    EXPECT_FALSE(addThirdChannel(&myBuffers.back(), GL_UNSIGNED_BYTE, v.resolution, &v.nbrChannels));
    EXPECT_EQ(myBuffers.back(), d);
    EXPECT_EQ(v.nbrChannels, 2);
}

TEST(ConvertHelpers, TypeMaximum)
{
    EXPECT_EQ(typeMaximum(GL_BYTE), 127.0);
    EXPECT_EQ(typeMaximum(GL_UNSIGNED_BYTE), 255.0);
    EXPECT_EQ(typeMaximum(GL_SHORT), 32767.0);
    EXPECT_EQ(typeMaximum(GL_UNSIGNED_SHORT), 65535.0);
    EXPECT_EQ(typeMaximum(GL_INT), 2147483647.0);
    EXPECT_EQ(typeMaximum(GL_UNSIGNED_INT), 4294967295.0);
    EXPECT_EQ(typeMaximum(GL_FLOAT), 1.0);
}
