// The view's overlays drawn and read back: the orientation marker turns with
// the data and names the patient's sides where the file gave them, the colour
// bar shows the palette's own entries at its ends, and a frame without them is
// the frame that was drawn before they were switched on.
#include "render_fixture.h"

#include "data_scale.h"
#include "test_support.h"
#include "text_overlay.h"
#include "view_overlay.h"

namespace {

const int kView = 200;

// RGB of the pixel at window (x, y), y from the bottom, of a top-first picture.
Rgba pixel(const std::vector<unsigned char>& px, int x, int y)
{
    const unsigned char* p = &px[(static_cast<size_t>(kView - 1 - y) * kView + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// Pixels of exactly (r, g, b) in window columns [x0, x1) and rows [y0, y1).
int countColour(const std::vector<unsigned char>& px, int x0, int x1, int y0, int y1, Rgba c)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Rgba p = pixel(px, x, y);
            n += p.r == c.r && p.g == c.g && p.b == c.b;
        }
    return n;
}

// Summed brightness of columns [x0, x1) in rows [y0, y1).
long brightness(const std::vector<unsigned char>& px, int x0, int x1, int y0, int y1)
{
    long sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Rgba p = pixel(px, x, y);
            sum += p.r + p.g + p.b;
        }
    return sum;
}

const Rgba kRed{255, 0, 0, 255};
const Rgba kDimRed{127, 0, 0, 255};
const Rgba kBlue{64, 128, 255, 255};

class ViewOverlayPicture : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        if (HasFatalFailure())
            return;
        // The fixture's state, on a view large enough for the overlays to
        // leave the data room.
        renderer.reset();
        renderer.reset(new OffscreenRenderer(kView, kView, kCg));
        ASSERT_TRUE(renderer->ok()) << renderer->error();
        renderer->setProjection(false);
        renderer->setView("front", 0, 0);
        layout = overlayLayout(kView, kView);
        cx = layout.markerX + layout.markerSize / 2;
        cy = layout.markerY + layout.markerSize / 2;
    }
    void TearDown() override
    {
        volume.oriented = false;
        RenderSlicing::TearDown();
    }
    // Marker pixels of colour c left and right of the marker's centre.
    int leftOf(const std::vector<unsigned char>& px, Rgba c) const
    {
        return countColour(px, layout.markerX, cx - 1, layout.markerY, layout.markerY + layout.markerSize, c);
    }
    int rightOf(const std::vector<unsigned char>& px, Rgba c) const
    {
        return countColour(px, cx + 2, layout.markerX + layout.markerSize, layout.markerY,
                           layout.markerY + layout.markerSize, c);
    }
    ViewOverlay& overlay() { return renderer->view().overlay; }

    OverlayLayout layout;
    int cx = 0, cy = 0;
};

} // namespace

TEST_F(ViewOverlayPicture, MarkerTurnsWithTheDataAndNamesThePatientsSides)
{
    // Data bright in their +x half, so the picture shows where +x went.
    upload(16, [](int x, int, int) { return static_cast<unsigned char>(x >= 8 ? 255 : 0); });
    palette([](int i) { return Rgba{i, i, i, i > 128 ? 255 : 0}; });
    overlay().markerVisible = true;

    std::vector<unsigned char> front = frame();
    EXPECT_GT(brightness(front, 100, 150, 90, 110), 10 * brightness(front, 50, 100, 90, 110) + 1000);
    // The x axis runs to the right of the marker's centre, as the data's +x.
    EXPECT_GT(rightOf(front, kRed), 20);
    EXPECT_EQ(leftOf(front, kRed), 0);
    // Seen from behind, both turn to the left.
    renderer->setView("back", 0, 0);
    std::vector<unsigned char> back = frame();
    EXPECT_GT(brightness(back, 50, 100, 90, 110), 10 * brightness(back, 100, 150, 90, 110) + 1000);
    EXPECT_GT(leftOf(back, kRed), 20);
    EXPECT_EQ(rightOf(back, kRed), 0);
    // From the top (90 degrees about x) the z axis points down.
    renderer->setView("top", 0, 0);
    std::vector<unsigned char> top = frame();
    const int size = layout.markerSize;
    EXPECT_GT(countColour(top, layout.markerX, layout.markerX + size, layout.markerY, cy - 1, kBlue), 20);
    EXPECT_EQ(countColour(top, layout.markerX, layout.markerX + size, cy + 2, layout.markerY + size, kBlue), 0);

    // A file that says the data's x runs to the patient's right: the left
    // (red) half points to -x, the dimmer right half to +x.
    volume.oriented = true;
    const float mirrored[9] = {-1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(volume.direction, mirrored, sizeof mirrored);
    renderer->setView("front", 0, 0);
    std::vector<unsigned char> oriented = frame();
    EXPECT_GT(leftOf(oriented, kRed), 20);
    EXPECT_EQ(rightOf(oriented, kRed), 0);
    EXPECT_GT(rightOf(oriented, kDimRed), 20);
    EXPECT_EQ(leftOf(front, kDimRed), 0);
    EXPECT_EQ(rightOf(front, kDimRed), 0);
}

TEST_F(ViewOverlayPicture, ColourBarShowsThePalettesEntriesAtItsEnds)
{
    testsupport::TempDir tmp;
    const std::string pal = tmp.file("ramp.pal");
    ASSERT_TRUE(testsupport::writeFile(pal, "2\n0.000000 0.200000\n1.000000 1.000000\n\n"
                                            "3\n0.000000 0.000000\n0.500000 0.800000\n1.000000 0.300000\n\n"
                                            "2\n0.000000 1.000000\n1.000000 0.000000\n\n"
                                            "2\n0.000000 0.000000\n1.000000 0.600000\n\n"));
    ASSERT_TRUE(renderer->loadPalette(pal));
    ASSERT_NE(transfer, nullptr);
    const int n = transfer->getTableSize();
    const unsigned char* low = transfer->getPalette();
    const unsigned char* high = low + 4 * (n - 1);
    ASSERT_EQ(low[3], 0);
    ASSERT_GT(high[3], 100);
    overlay().colourBarVisible = true;
    const std::vector<unsigned char> px = frame();

    const int left = layout.barX + 2, right = layout.barX + layout.barWidth / 2 + 1;
    const int bottom = layout.barY, topRow = layout.barY + layout.barHeight - 1;
    const Rgba b = pixel(px, left, bottom), t = pixel(px, left, topRow);
    EXPECT_EQ(b.r, low[0]);
    EXPECT_EQ(b.g, low[1]);
    EXPECT_EQ(b.b, low[2]);
    EXPECT_EQ(t.r, high[0]);
    EXPECT_EQ(t.g, high[1]);
    EXPECT_EQ(t.b, high[2]);
    // Right strip: the checker shows through where the entry is clear, and
    // the top entry lies over it with its opacity.
    const Rgba clear = pixel(px, right, bottom);
    EXPECT_EQ(clear.r, 204);
    EXPECT_EQ(clear.g, 204);
    const Rgba over = pixel(px, right, topRow);
    const int grey = ((layout.barHeight - 1) / 5) % 2 ? 102 : 204;
    for (int c = 0; c < 3; ++c) {
        const int got = c == 0 ? over.r : c == 1 ? over.g : over.b;
        const double want = (high[c] * high[3] + grey * (255 - high[3])) / 255.0;
        EXPECT_NEAR(got, want, 1.0) << c;
    }
    // Nothing of the bar outside its column and its labels to the left.
    EXPECT_EQ(brightness(px, layout.barX + layout.barWidth, kView, layout.barY, layout.barY + layout.barHeight), 0);
    if (resolveFontFile("Arial").empty())
        GTEST_SKIP() << "no font for the labels";
    // White labels left of the bar at both ends, in the table's values.
    const Rgba white{255, 255, 255, 255};
    EXPECT_GT(countColour(px, 0, layout.barX - 6, bottom - 8, bottom + 8, white), 5);
    EXPECT_GT(countColour(px, 0, layout.barX - 6, topRow - 8, topRow + 8, white), 5);
}

TEST_F(ViewOverlayPicture, FramesWithoutTheOverlaysStayAsTheyWere)
{
    upload(16, [](int x, int y, int z) { return static_cast<unsigned char>((x * 5 + y * 11 + z * 3) * 4); });
    palette([](int i) { return Rgba{i, 255 - i, i / 2, i}; });
    volume.showBBox = true;
    renderer->setView("front", 20, 35);
    const std::vector<unsigned char> before = frame();
    ASSERT_GT(coverage(before), 1000);
    overlay().markerVisible = true;
    overlay().colourBarVisible = true;
    const std::vector<unsigned char> with = frame();
    overlay().markerVisible = false;
    overlay().colourBarVisible = false;
    const std::vector<unsigned char> after = frame();
    // Byte for byte: the overlays leave no state behind.
    EXPECT_TRUE(before == after);
    // With them, only their corner changed: the marker's square and the bar
    // with its labels to its left.
    int changed = 0, outside = 0;
    for (int y = 0; y < kView; ++y)
        for (int x = 0; x < kView; ++x) {
            const Rgba a = pixel(before, x, y), w = pixel(with, x, y);
            if (a.r == w.r && a.g == w.g && a.b == w.b)
                continue;
            ++changed;
            const bool marker = x >= layout.markerX && y >= layout.markerY &&
                                y < layout.markerY + layout.markerSize + 8;
            const bool bar = x >= layout.barX - 60 && y >= layout.barY - 10 &&
                             y < layout.barY + layout.barHeight + 10;
            outside += !(marker || bar);
        }
    EXPECT_GT(changed, 200);
    EXPECT_EQ(outside, 0);
    // Without data there is nothing to orient: no marker.
    volume.isData = false;
    const std::vector<unsigned char> empty = frame();
    overlay().markerVisible = true;
    EXPECT_TRUE(frame() == empty);
    overlay().markerVisible = false;
    volume.isData = true;
}
