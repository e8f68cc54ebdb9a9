// Table entries and data values: the load's conversion run backwards for
// every kind of data, Hounsfield units where the file names them, and the
// round trip of a value shown for an entry back to that entry.
#include "data_scale.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every entry's value, formatted as the editor shows it, parses back to the entry.
void expectRoundTrip(const DataScale& s, const char* what)
{
    for (int e = 0; e < s.tableSize; ++e) {
        int back = -1;
        ASSERT_TRUE(s.parse(s.format(s.value(e)), &back)) << what << " " << e;
        ASSERT_EQ(back, e) << what << " " << s.format(s.value(e));
        ASSERT_EQ(s.entryOf(s.value(e)), e) << what;
    }
}

} // namespace

TEST(DataScale, EntriesToValuesForEveryKindOfData)
{
    // 8-bit: the table index; signed bytes shifted by 128.
    DataScale s = dataScaleOf(VOXEL_UCHAR, 0, 255, 256, "");
    EXPECT_EQ(s.value(200), 200.0);
    EXPECT_FALSE(s.scaled);
    EXPECT_EQ(s.unit, "");
    expectRoundTrip(s, "uchar");
    s = dataScaleOf(VOXEL_CHAR, -128, 127, 256, "");
    EXPECT_EQ(s.value(0), -128.0);
    EXPECT_EQ(s.value(128), 0.0);
    expectRoundTrip(s, "char");

    // 16-bit above 4095: unchanged, 16 values a bin.
    s = dataScaleOf(VOXEL_USHORT, 0, 22526, 4096, "");
    EXPECT_EQ(s.value(100), 1600.0);
    EXPECT_EQ(s.entryOf(1607), 100);
    EXPECT_EQ(s.entryOf(1608), 101);
    EXPECT_EQ(s.entryOf(-50), 0);
    EXPECT_EQ(s.entryOf(1e9), 4095);
    expectRoundTrip(s, "ushort");

    // 12-bit: value = min + 4095 * (16 e / 65535); 4095 lands in the last bin.
    s = dataScaleOf(VOXEL_USHORT, 10, 3000, 4096, "");
    EXPECT_NEAR(s.value(0), 10.0, 1e-9);
    EXPECT_NEAR(s.value(4096), 10.0 + 4095.0 * 65536.0 / 65535.0, 1e-9);
    EXPECT_EQ(s.entryOf(10 + 2048), 2048); // stored 32775, bin 2048
    expectRoundTrip(s, "12-bit");

    // Signed 16-bit from -1000 to 3000: -1000 is entry 0, 3000 the end.
    s = dataScaleOf(VOXEL_SHORT, -1000, 3000, 4096, "");
    EXPECT_EQ(s.value(0), -1000.0);
    EXPECT_NEAR(s.value(4096), 3000.0, 0.1);
    EXPECT_EQ(s.entryOf(1000), 2048); // 2047.97, nearest 2048
    expectRoundTrip(s, "short");

    // 32-bit and float data: min ... max over the 4096 bins.
    s = dataScaleOf(VOXEL_INT, -5, 4091, 4096, "");
    EXPECT_NEAR(s.value(2048), -5.0 + 4096.0 * 2048.0 * 1048576.0 / 4294967295.0, 1e-6);
    expectRoundTrip(s, "int");
    s = dataScaleOf(VOXEL_FLOAT, 2.0, 6.0, 4096, "");
    EXPECT_NEAR(s.value(4095), 6.0, 1e-12);
    EXPECT_NEAR(s.value(2047.5), 4.0, 1e-12);
    EXPECT_EQ(s.format(s.value(1)), "2.0010");
    expectRoundTrip(s, "float");

    // A table kept at 256 entries for 16-bit data: 16 bins an entry.
    s = dataScaleOf(VOXEL_USHORT, 0, 65535, 256, "");
    EXPECT_EQ(s.value(1), 256.0);
    expectRoundTrip(s, "ushort in 256");
}

TEST(DataScale, HounsfieldUnitsWhereTheFileNamesThem)
{
    // A CT series (values rescaled by the reader): HU as they are.
    DataScale s = dataScaleOf(VOXEL_SHORT, -1024, 3071, 4096, "Format:\t\tDICOM\nModality:\tCT\n");
    EXPECT_TRUE(s.hounsfield());
    EXPECT_NEAR(s.value(1024), 0.0, 0.5);
    expectRoundTrip(s, "CT");
    // The zvf type of Hounsfield units.
    s = dataScaleOf(VOXEL_SHORT, -1000, 3095, 4096, "Data type:\tzvfIntHUType\n");
    EXPECT_TRUE(s.hounsfield());
    EXPECT_EQ(s.value(0), -1000.0);
    // Values stored as HU + 1024 (the bundled phantom's comment).
    s = dataScaleOf(VOXEL_USHORT, 10, 2300, 4096,
                    "Comment:\nCT-like head phantom, values are Hounsfield units + 1024\n");
    EXPECT_TRUE(s.hounsfield());
    EXPECT_NEAR(s.value(0), 10.0 - 1024.0, 1e-9);
    EXPECT_EQ(s.entryOf(-1014 + 1500), s.entryOf(486));
    // MR: no unit.
    s = dataScaleOf(VOXEL_SHORT, 0, 900, 4096, "Modality:\tMR\n");
    EXPECT_FALSE(s.hounsfield());
}

TEST(DataScale, TypedTextParsesOrIsRefused)
{
    const DataScale s = dataScaleOf(VOXEL_USHORT, 0, 22526, 4096, "");
    int e = -1;
    EXPECT_TRUE(s.parse(" 1600 ", &e));
    EXPECT_EQ(e, 100);
    EXPECT_TRUE(s.parse("1607.9", &e));
    EXPECT_EQ(e, 100);
    EXPECT_TRUE(s.parse("1608", &e));
    EXPECT_EQ(e, 101);
    EXPECT_TRUE(s.parse("-32", &e));
    EXPECT_EQ(e, -2);
    EXPECT_FALSE(s.parse("", &e));
    EXPECT_FALSE(s.parse("12x", &e));
    EXPECT_FALSE(s.parse("nan", &e));
}
