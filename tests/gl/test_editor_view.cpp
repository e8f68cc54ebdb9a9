// The transfer-function editor's picture on an offscreen context: layer
// order, colours and positions of histogram, lookup table, grid, hulls,
// curves and points, at the default view and zoomed in.
#include "editor_view.h"
#include "gl_context.h"
#include "histogram.h"
#include "includegl.h"
#include "render_mode.h"
#include "transfer_function.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

const int kSize = 276;

class EditorPicture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClass = RenderMode::instance().getClassification();
        RenderMode::instance().setClassification(CLASSIFICATION_POST);
        ctx.reset(new OffscreenContext(kSize, kSize));
        ASSERT_TRUE(ctx->ok()) << ctx->error();
        tf.reset(new TransferFunction(256, TransferFunction::NoGL{}));
        // Red flat at 200, green the ramp, blue flat at 0, alpha the ramp.
        flat(CHANNEL_RED, 200);
        flat(CHANNEL_BLUE, 0);
        tf->refreshCurves();
        tf->build(true);
        tf->setView(-10, 276, 276); // what the window sets for the default view
        view.setupGL(tf.get());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    void TearDown() override
    {
        histogram.release();
        RenderMode::instance().setClassification(savedClass);
    }
    void flat(int c, float y)
    {
        const CurvePoint pts[2] = {{0, y, 0}, {255, y, 0}};
        tf->curve(c).setControlPoints(pts, 2, "test points");
    }
    void draw()
    {
        view.drawScene(tf.get(), histogram);
        px.assign(kSize * kSize * 4, 0);
        ctx->readPixels(px.data());
    }
    const unsigned char* at(int x, int y) const { return &px[(static_cast<size_t>(y) * kSize + x) * 4]; }
    bool is(int x, int y, int r, int g, int b, int tolerance = 0) const
    {
        const unsigned char* p = at(x, y);
        return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance &&
               std::abs(p[2] - b) <= tolerance;
    }
    bool grey(int x, int y, int v) const { return is(x, y, v, v, v, 1); }
    // 8-bit data: `count` voxels of each value.
    void histogramOf(std::initializer_list<std::pair<int, int>> bins)
    {
        std::vector<uint8_t> data;
        for (const auto& b : bins)
            data.insert(data.end(), b.second, static_cast<uint8_t>(b.first));
        histogram.compute(data.data(), static_cast<int>(data.size()), 1, 1, 1, GL_UNSIGNED_BYTE);
    }

    std::unique_ptr<OffscreenContext> ctx;
    std::unique_ptr<TransferFunction> tf;
    EditorView view;
    Histogram histogram;
    std::vector<unsigned char> px;
    int savedClass = 1;
};

TEST_F(EditorPicture, LayersColoursAndPositionsOfTheDefaultView)
{
    // Bin 70 holds 10 values (255 high), bin 150 five (127.5 high).
    histogramOf({{0, 3}, {70, 10}, {150, 5}});
    draw();
    EXPECT_TRUE(is(3, 3, 0, 0, 0));
    // Histogram: grey lines under table positions 70 and 150 (columns 80, 160).
    EXPECT_TRUE(grey(80, 50, 127));
    EXPECT_TRUE(grey(80, 250, 127));
    EXPECT_TRUE(is(80, 269, 0, 0, 0));
    EXPECT_TRUE(grey(160, 100, 127));
    EXPECT_TRUE(is(160, 146, 0, 0, 0));
    EXPECT_TRUE(is(79, 50, 0, 0, 0));
    EXPECT_TRUE(is(81, 50, 0, 0, 0));
    // Bin 0 sits under position 0 (column 10), which the grid covers.
    EXPECT_TRUE(grey(10, 200, 102));
    // Grid: columns 10 + 32 i, rows 10 + 32 i, grey 0.4.
    EXPECT_TRUE(grey(42, 150, 102));
    EXPECT_TRUE(grey(234, 60, 102));
    EXPECT_TRUE(grey(200, 138, 102));
    EXPECT_TRUE(is(41, 150, 0, 0, 0));
    // Curves in their colours: red flat at 200 (row 210), the alpha ramp in
    // white over the green ramp, blue along the bottom row 10.
    EXPECT_TRUE(is(50, 210, 255, 0, 0));
    EXPECT_TRUE(is(110, 110, 255, 255, 255));
    EXPECT_TRUE(is(190, 190, 255, 255, 255));
    EXPECT_TRUE(is(120, 10, 0, 0, 255));
    // The points: six pixels wide around (0, 0) and (255, 255) of every curve.
    EXPECT_TRUE(is(12, 12, 255, 255, 255));
    EXPECT_TRUE(is(267, 267, 255, 255, 255));
    EXPECT_TRUE(is(12, 212, 255, 0, 0));
    EXPECT_TRUE(is(4, 212, 0, 0, 0));

    // The histogram scale halves the bars; without the grid its lines go.
    histogram.setHeightScale(0.5f);
    view.showGrid = false;
    draw();
    EXPECT_TRUE(grey(80, 130, 127));
    EXPECT_TRUE(is(80, 145, 0, 0, 0));
    EXPECT_TRUE(is(42, 150, 0, 0, 0));
    EXPECT_TRUE(grey(10, 30, 127)); // bin 0 (3 values: 38 high now) shows
    EXPECT_TRUE(is(10, 60, 0, 0, 0));

    // Without the function nothing of the curves is drawn.
    tf->setShowFunction(false);
    draw();
    EXPECT_TRUE(is(50, 210, 0, 0, 0));
    EXPECT_TRUE(is(110, 110, 0, 0, 0));
    EXPECT_TRUE(is(12, 12, 0, 0, 0));
}

TEST_F(EditorPicture, HullsLieUnderTheCurves)
{
    // A Bezier red curve stays below its control polygon through (128, 255):
    // at position 50 (column 60) the polygon is at 99.6, the curve at 80.
    const CurvePoint pts[3] = {{0, 0, 0}, {128, 255, 0}, {255, 0, 0}};
    tf->curve(CHANNEL_RED).setControlPoints(pts, 3, "test points");
    tf->curve(CHANNEL_RED).setKind(CURVE_BEZIER);
    view.showGrid = false;
    for (bool hull : {true, false}) {
        tf->setShowHull(hull);
        draw();
        EXPECT_EQ(grey(60, 109, 77) || grey(60, 110, 77), hull);
        EXPECT_TRUE(is(60, 90, 255, 0, 0) || is(60, 91, 255, 0, 0));
    }
}

TEST_F(EditorPicture, LookupTableBehindTheCurvesFollowsTheClassification)
{
    view.showPalette = true;
    view.showGrid = false;
    tf->setShowFunction(false);
    view.uploadTables(*tf);
    draw();
    // The palette across 11 ... 265: column 60 shows entry (60.5 - 11) / 254 * 256 = 49.9.
    const unsigned char* p = at(60, 40);
    EXPECT_EQ(p[0], 200);
    EXPECT_NEAR(p[1], 49, 1);
    EXPECT_EQ(p[2], 0);
    EXPECT_TRUE(is(60, 5, 0, 0, 0));   // below the quad
    EXPECT_TRUE(is(270, 40, 0, 0, 0)); // right of it

    // Pre-integration: the two-dimensional table; at column 60, row 200 it
    // holds the mean of the green ramp between entries 50 and 190.
    RenderMode::instance().setClassification(CLASSIFICATION_PRE_INTEGRATION);
    tf->build(true);
    view.uploadTables(*tf);
    draw();
    p = at(60, 200);
    EXPECT_NEAR(p[0], 200, 1);
    EXPECT_NEAR(p[1], 120, 3);
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(EditorPicture, HistogramBinsStayUnderTheirTablePositionsWhenZoomed)
{
    histogramOf({{0, 1}, {100, 4}, {150, 4}, {250, 4}});
    view.showGrid = false;
    tf->setShowFunction(false);
    const struct { float first; float count; int bin; bool shown; } cases[] = {
        {90, 84, 150, true},    // S 64, P 100: position 150 at (60 / 84) * 276 = 197.1
        {90, 84, 100, true},
        {90, 84, 250, false},   // right of the view
        {182, 84, 250, true},   // S 64 at the right end: the view passes the last bin
        {-10, 276, 250, true},
        {-10, 276, 0, true},    // under the left margin
    };
    for (const auto& c : cases) {
        view.setView(c.first, c.count);
        draw();
        const int col = static_cast<int>((c.bin - c.first) / c.count * kSize + 0.5f);
        if (c.shown) {
            EXPECT_TRUE(grey(col, 40, 127)) << c.first << " " << c.bin << " col " << col;
            EXPECT_TRUE(is(col - 2, 40, 0, 0, 0)) << c.first << " " << c.bin;
            EXPECT_TRUE(is(col + 2, 40, 0, 0, 0)) << c.first << " " << c.bin;
        }
        int lines = 0;
        for (int x = 0; x < kSize; ++x)
            lines += grey(x, 40, 127) ? 1 : 0;
        int expected = 0;
        for (int b : {0, 100, 150, 250})
            if (b >= c.first && b < c.first + c.count && (b - c.first) / c.count * kSize < kSize - 0.5f)
                ++expected;
        EXPECT_EQ(lines, expected) << c.first << " " << c.count;
    }

    // More bins than table entries (12-bit data while the tables kept 256):
    // bin 1600 counts values of table position 100.
    std::vector<uint16_t> wide(4, 1600 * 16);
    wide.push_back(0);
    histogram.compute(wide.data(), 5, 1, 1, 1, GL_UNSIGNED_SHORT);
    view.setView(-10, 276);
    draw();
    EXPECT_TRUE(grey(110, 40, 127));
    EXPECT_TRUE(is(108, 40, 0, 0, 0));
    EXPECT_TRUE(is(112, 40, 0, 0, 0));
}

} // namespace

// The histogram shows over the lookup table ("Show palette" hid it), and
// drawn logarithmically a bin of 10 values beside one of 1000 stands
// log(11) / log(1001) of the full height instead of 1 %.
TEST_F(EditorPicture, HistogramOverThePaletteAndLogarithmic)
{
    histogramOf({{0, 5}, {70, 1000}, {150, 10}});
    view.showPalette = true;
    view.showGrid = false;
    tf->setShowFunction(false);
    view.uploadTables(*tf);
    draw();
    // Column 80 (bin 70) is the histogram's grey over the table, up to 265.
    EXPECT_TRUE(grey(80, 100, 127));
    EXPECT_TRUE(grey(80, 250, 127));
    // Beside it the table (red 200, green the ramp).
    EXPECT_EQ(at(82, 100)[0], 200);
    // Bin 150 linear: 2.55 high, rows 10 ... 12.
    EXPECT_TRUE(grey(160, 11, 127));
    EXPECT_FALSE(grey(160, 20, 127));

    histogram.setLogarithmic(true);
    EXPECT_NEAR(histogram.height(150), 255.0 * std::log(11.0) / std::log(1001.0), 1e-3);
    EXPECT_NEAR(histogram.height(70), 255.0, 1e-3);
    EXPECT_EQ(histogram.height(100), 0.0f);
    draw();
    // log(11) / log(1001) * 255 = 88.7: rows 10 ... 98.
    EXPECT_TRUE(grey(160, 95, 127));
    EXPECT_FALSE(grey(160, 101, 127));
    EXPECT_TRUE(grey(80, 250, 127));
}
