// Histogram computation for every element type.
#include "error_handling.h"
#include "histogram.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class HistogramTest : public ::testing::Test
{
protected:
    void SetUp() override { myBaseline = g_garbageCollector.count(); }
    void TearDown() override
    {
        h.release();
        EXPECT_EQ(h.getHist(), nullptr);
        EXPECT_EQ(g_garbageCollector.count(), myBaseline);
    }
    Histogram h;
    uint32_t myBaseline = 0;
};

} // namespace

TEST_F(HistogramTest, EightBitFullestNonZeroBinIs255)
{
    std::vector<uint8_t> d(100, 0);
    for (int i = 0; i < 10; ++i)
        d[i * 7] = 7;
    h.compute(d.data(), 10, 5, 2, 1, GL_UNSIGNED_BYTE);
    ASSERT_NE(h.getHist(), nullptr);
    EXPECT_EQ(h.getBins(), 256);
    EXPECT_EQ(h.getMaxCount(), 10.0f);
    EXPECT_FLOAT_EQ(h.getHist()[7], 255.0f);
    EXPECT_FLOAT_EQ(h.getHist()[0], 255.0f * 90 / 10);
    EXPECT_EQ(h.getHist()[8], 0.0f);
    EXPECT_STREQ(g_garbageCollector.record(g_garbageCollector.count() - 1).name, "histogram.hist");
}

TEST_F(HistogramTest, SixteenBitBinsAreSixteenValuesWide)
{
    std::vector<uint16_t> d;
    for (int v = 0; v < 32; ++v)
        d.push_back(static_cast<uint16_t>(v));
    d.push_back(65535);
    h.compute(d.data(), 33, 1, 1, 1, GL_UNSIGNED_SHORT);
    EXPECT_EQ(h.getBins(), 4096);
    EXPECT_EQ(h.getMaxCount(), 16.0f);
    EXPECT_FLOAT_EQ(h.getHist()[0], 255.0f);
    EXPECT_FLOAT_EQ(h.getHist()[1], 255.0f);
    EXPECT_FLOAT_EQ(h.getHist()[4095], 255.0f / 16);
    EXPECT_EQ(h.getHist()[2], 0.0f);
}

TEST_F(HistogramTest, ThirtyTwoBitAndFloatBins)
{
    const std::vector<uint32_t> u = {0, (1u << 20) - 1, 1u << 20, 4294967295u, 4294967295u};
    h.compute(u.data(), 5, 1, 1, 1, GL_UNSIGNED_INT);
    EXPECT_EQ(h.getBins(), 4096);
    EXPECT_EQ(h.getMaxCount(), 2.0f);
    EXPECT_FLOAT_EQ(h.getHist()[0], 255.0f);
    EXPECT_FLOAT_EQ(h.getHist()[1], 127.5f);
    EXPECT_FLOAT_EQ(h.getHist()[4095], 255.0f);

    const std::vector<float> f = {0.0f, 1.0f, 0.5f, 1.0f / 4095.0f + 1e-6f};
    h.compute(f.data(), 2, 2, 1, 1, GL_FLOAT);
    EXPECT_EQ(h.getHist()[4095], 255.0f);
    EXPECT_EQ(h.getHist()[2047], 255.0f);
    EXPECT_EQ(h.getHist()[1], 255.0f);
}

TEST_F(HistogramTest, AllChannelsCountAndSignedTypesStayInRange)
{
    const std::vector<uint8_t> d = {1, 2, 3, 4, 1, 2, 3, 4};
    h.compute(d.data(), 2, 1, 1, 4, GL_UNSIGNED_BYTE);
    EXPECT_EQ(h.getMaxCount(), 2.0f);
    const std::vector<int16_t> s = {-1, -32768, 5};
    h.compute(s.data(), 3, 1, 1, 1, GL_SHORT);
    EXPECT_EQ(h.getBins(), 4096);
    EXPECT_FLOAT_EQ(h.getHist()[4095], 255.0f);
    EXPECT_FLOAT_EQ(h.getHist()[2048], 255.0f);
    const std::vector<float> bad = {-3.0f, 7.0f};
    h.compute(bad.data(), 2, 1, 1, 1, GL_FLOAT);
    EXPECT_FLOAT_EQ(h.getHist()[4095], 255.0f);
}

TEST_F(HistogramTest, OnlyBinZeroFilledIsNotDividedByZero)
{
    const std::vector<uint8_t> d(64, 0);
    h.compute(d.data(), 4, 4, 4, 1, GL_UNSIGNED_BYTE);
    EXPECT_EQ(h.getMaxCount(), 0.0f);
    EXPECT_EQ(h.getHist()[0], 255.0f);
    for (int b = 1; b < 256; ++b)
        ASSERT_EQ(h.getHist()[b], 0.0f);
}

TEST_F(HistogramTest, RecomputeReplacesAndUnknownTypeCountsBytes)
{
    const std::vector<uint16_t> d = {100, 200};
    h.compute(d.data(), 2, 1, 1, 1, GL_UNSIGNED_SHORT);
    const uint32_t registered = g_garbageCollector.count();
    h.compute(d.data(), 4, 1, 1, 1, 0x1234);
    EXPECT_EQ(g_garbageCollector.count(), registered);
    EXPECT_EQ(h.getBins(), 256);
    EXPECT_FLOAT_EQ(h.getHist()[100], 255.0f);
}

TEST_F(HistogramTest, FailedAllocationLeavesNoArray)
{
    const std::vector<uint8_t> d = {1};
    failNextGuardedAllocations(1);
    h.compute(d.data(), 1, 1, 1, 1, GL_UNSIGNED_BYTE);
    EXPECT_EQ(h.getHist(), nullptr);
    h.draw(100, 0, 10); // nothing to draw, no GL call
}

TEST_F(HistogramTest, HeightScale)
{
    h.setHeightScale(0.5f);
    EXPECT_EQ(h.getHeightScale(), 0.5f);
}
