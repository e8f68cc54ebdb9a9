// The overlays' rules without a context: where they go, which axes and
// letters the marker takes, the bar's rows and ticks in data values, and the
// file that keeps their switches.
#include "data_scale.h"
#include "overlay_switches.h"
#include "test_support.h"
#include "view_overlay.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ViewOverlay, LayoutKeepsMarkerAndBarInTheLowerRightCorner)
{
    const OverlayLayout l = overlayLayout(640, 480);
    EXPECT_EQ(l.markerSize, 96);
    EXPECT_EQ(l.markerX, 640 - 8 - 96);
    EXPECT_EQ(l.markerY, 8);
    // The bar stands over the marker, centred on it, at most 256 rows.
    EXPECT_EQ(l.barX + l.barWidth / 2, l.markerX + l.markerSize / 2);
    EXPECT_GT(l.barY, l.markerY + l.markerSize);
    EXPECT_EQ(l.barHeight, 256);
    EXPECT_LE(l.barY + l.barHeight, 480 - 8);
    // A window too small for either gets nothing drawn, never a negative size.
    const OverlayLayout tiny = overlayLayout(10, 5);
    EXPECT_EQ(tiny.markerSize, 0);
    EXPECT_EQ(tiny.barHeight, 0);
}

TEST(ViewOverlay, MarkerAxesAndTheirLetters)
{
    MarkerAxis a[3];
    markerAxes(false, nullptr, a);
    EXPECT_EQ(a[0].plus, 'x');
    EXPECT_EQ(a[1].plus, 'y');
    EXPECT_EQ(a[2].plus, 'z');
    EXPECT_EQ(a[0].minus, 0);
    EXPECT_EQ(a[2].dir[2], 1.0f);
    EXPECT_EQ(a[0].colour[0], 255);
    EXPECT_EQ(a[0].colour[1], 0);

    // Data turned 30 degrees about superior, y running posterior: the
    // patient's left is row 0 of the directions, anterior row 1.
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    const float d[9] = {c, s, 0, s, -c, 0, 0, 0, 1};
    markerAxes(true, d, a);
    EXPECT_EQ(a[0].plus, 'L');
    EXPECT_EQ(a[0].minus, 'R');
    EXPECT_EQ(a[1].plus, 'A');
    EXPECT_EQ(a[1].minus, 'P');
    EXPECT_EQ(a[2].plus, 'S');
    EXPECT_EQ(a[2].minus, 'I');
    EXPECT_FLOAT_EQ(a[0].dir[0], c);
    EXPECT_FLOAT_EQ(a[0].dir[1], s);
    EXPECT_FLOAT_EQ(a[1].dir[1], -c);
    // A row of nothing (a damaged file) falls back to the data's own axis.
    const float broken[9] = {0, 0, 0, 0, 1, 0, 0, 0, 1};
    markerAxes(true, broken, a);
    EXPECT_EQ(a[0].dir[0], 1.0f);
    EXPECT_TRUE(std::isfinite(a[0].dir[1]));
}

TEST(ViewOverlay, BarRowsRunFromTheFirstEntryToTheLast)
{
    EXPECT_EQ(colourBarEntry(0, 256, 256), 0);
    EXPECT_EQ(colourBarEntry(255, 256, 256), 255);
    EXPECT_EQ(colourBarEntry(100, 256, 256), 100);
    EXPECT_EQ(colourBarEntry(0, 112, 4096), 0);
    EXPECT_EQ(colourBarEntry(111, 112, 4096), 4095);
    EXPECT_EQ(colourBarEntry(1, 112, 4096), 37); // 4095 / 111 = 36.9
    EXPECT_EQ(colourBarEntry(0, 1, 256), 0);
}

TEST(ViewOverlay, TicksInTheEditorsDataValues)
{
    // The table index itself: the ends and the round hundreds between.
    DataScale plain;
    std::vector<BarTick> t = colourBarTicks(plain, 256);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].text, "0");
    EXPECT_EQ(t[0].entry, 0.0);
    EXPECT_EQ(t[1].text, "255");
    EXPECT_EQ(t[1].entry, 255.0);
    EXPECT_EQ(t[2].text, "100");
    EXPECT_EQ(t[2].entry, 100.0);
    EXPECT_EQ(t[3].text, "200");

    // CT in Hounsfield units: -1024 ... 3056 in steps of 16.
    DataScale ct;
    ct.offset = -1024;
    ct.step = 16;
    ct.unit = "HU";
    ct.scaled = true;
    t = colourBarTicks(ct, 256);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].text, "-1024");
    EXPECT_EQ(t[1].text, "3056");
    EXPECT_EQ(t[2].text, "0");
    EXPECT_EQ(t[2].entry, 64.0);
    EXPECT_EQ(t[3].text, "2000");
    EXPECT_EQ(t[3].entry, 189.0);

    // A scale made for 256 entries drawn over a table of 4096.
    t = colourBarTicks(plain, 4096);
    EXPECT_EQ(t[1].text, "255");
    EXPECT_EQ(t[1].entry, 4095.0);
    EXPECT_NEAR(t[2].entry, 100.0 * 4095 / 255, 1e-9);

    // One value only: the ends, nothing between.
    DataScale flat;
    flat.step = 0;
    EXPECT_EQ(colourBarTicks(flat, 256).size(), 2u);
}

TEST(ViewOverlay, SwitchesKeptInTheirOwnFile)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("glimra-view.txt");
    OverlaySwitches s;
    EXPECT_TRUE(s.marker);
    EXPECT_FALSE(s.colourBar);
    EXPECT_FALSE(s.read(path)); // none yet: the defaults stay
    EXPECT_TRUE(s.marker);
    s.marker = false;
    s.colourBar = true;
    ASSERT_TRUE(s.write(path));
    EXPECT_EQ(testsupport::readFile(path), "Marker:\t0\r\nColourBar:\t1\r\n");
    OverlaySwitches back;
    ASSERT_TRUE(back.read(path));
    EXPECT_FALSE(back.marker);
    EXPECT_TRUE(back.colourBar);
    // Line feeds alone, lines it does not know and values other than 0 and 1.
    ASSERT_TRUE(testsupport::writeFile(path, "Other:\t1\nColourBar:\t7\nMarker:\t0\n"));
    OverlaySwitches mixed;
    ASSERT_TRUE(mixed.read(path));
    EXPECT_FALSE(mixed.marker);
    EXPECT_FALSE(mixed.colourBar);
}
