// Pictures at a size of their own: drawn into a frame buffer of that size,
// equal to a view of that size drawing the same state, the view's own size
// and frame buffer untouched; sizes beyond the driver refused; a turntable
// stopped by its progress.
#include "frame_target.h"
#include "picture.h"
#include "render_fixture.h"
#include "test_support.h"
#include "turntable.h"

namespace {

class Picture : public RenderSlicing
{
protected:
    void SetUp() override
    {
        RenderSlicing::SetUp();
        state();
    }
    // The state every picture here draws: a smooth ball, a coloured palette,
    // 3-D texturing in perspective.
    void state()
    {
        upload(32, [](int x, int y, int z) { return sphere(x, y, z, 32, 12.0f, true); });
        palette([](int i) { return Rgba{i, 255 - i, 128, i}; });
        volume.setSampling(64);
        renderer->setProjection(true);
        renderer->setView("front", 20, 30);
        renderer->setStyle(DRAW_3D_TEXTURE_VAS);
    }
    testsupport::TempDir dir;
};

} // namespace

TEST_F(Picture, LargerThanTheViewEqualsAViewOfThatSize)
{
    const int w = 3 * kSize;
    const int h = 2 * kSize;
    const std::vector<unsigned char> small = frame();
    std::vector<unsigned char> big;
    std::string error;
    ASSERT_TRUE(renderPicture(renderer->view(), w, h, &big, &error)) << error;
    ASSERT_EQ(big.size(), static_cast<size_t>(w) * h * 4);
    // The view keeps its size and draws into its own target as before.
    EXPECT_EQ(renderer->view().width, kSize);
    EXPECT_EQ(renderer->view().height, kSize);
    EXPECT_EQ(frame(), small);

    // A view of the picture's size drawing the same state.
    setCgTableTextures(0, 0);
    myPalette = 0;
    renderer.reset();
    renderer.reset(new OffscreenRenderer(w, h, kCg));
    ASSERT_TRUE(renderer->ok()) << renderer->error();
    volume.showBBox = false;
    state();
    renderer->renderFrame();
    const std::vector<unsigned char> direct = renderer->pixels();
    ASSERT_EQ(direct.size(), big.size());
    int lit = 0;
    int differing = 0;
    for (size_t i = 0; i < big.size(); i += 4) {
        lit += (big[i] | big[i + 1] | big[i + 2]) != 0;
        for (int c = 0; c < 4; ++c)
            differing += std::abs(big[i + c] - direct[i + c]) > 1;
    }
    EXPECT_GT(lit, 1000);
    EXPECT_EQ(differing, 0);
}

TEST_F(Picture, SizesBeyondTheDriverAreRefused)
{
    std::vector<unsigned char> rgba;
    std::string error;
    const int side = FrameTarget::largestSide();
    ASSERT_GT(side, 4096);
    EXPECT_FALSE(renderPicture(renderer->view(), side + 1, 10, &rgba, &error));
    EXPECT_EQ(error, "A picture of " + std::to_string(side + 1) + " x 10 pixels is beyond this graphics driver (at most " +
                         std::to_string(side) + " on each side).");
    EXPECT_FALSE(renderPicture(renderer->view(), 0, 10, &rgba, &error));
    EXPECT_TRUE(rgba.empty());
    // Nothing changed for the view.
    EXPECT_EQ(renderer->view().width, kSize);
    EXPECT_GT(coverage(frame()), 100);
}

TEST_F(Picture, TurntableStopsWhenItsProgressSaysSo)
{
    std::string error;
    int shown = 0;
    EXPECT_FALSE(renderTurntable(renderer->view(), 40, 30, 6, dir.file("t.png"),
                                 [&](int, int, const std::string&) { return ++shown < 2; }, &error));
    EXPECT_EQ(error, kTurntableCancelled);
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(testsupport::fileExists(dir.file("t_001.png")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("t_002.png")));
    std::vector<unsigned char> rgba;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(readPngRGBA(dir.file("t_000.png"), &rgba, &w, &h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
}
