// Turntable pictures: an off-centre block seen from four sides, the frame
// files and their names, a frame that cannot be written.
#include "render_fixture.h"
#include "test_support.h"
#include "turntable.h"

#include <sys/stat.h>

namespace {

struct Blob
{
    int pixels = 0;   // lit pixels
    double x = 0;     // their mean column
    double y = 0;     // their mean row
};

Blob blobOf(const std::vector<unsigned char>& rgba, int width)
{
    Blob b;
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i] + rgba[i + 1] + rgba[i + 2] > 3 * 40) {
            ++b.pixels;
            b.x += static_cast<double>((i / 4) % width);
            b.y += static_cast<double>((i / 4) / width);
        }
    if (b.pixels) {
        b.x /= b.pixels;
        b.y /= b.pixels;
    }
    return b;
}

class Turntable : public RenderSlicing
{
protected:
    // A block of 255 in the +x quarter of a 32^3 volume, level with the
    // centre in y and z; the palette shows it white and hides the rest.
    void SetUp() override
    {
        RenderSlicing::SetUp();
        upload(32, [](int x, int y, int z) {
            return (x >= 22 && x < 30 && y >= 12 && y < 20 && z >= 12 && z < 20) ? 255 : 0;
        });
        palette([](int i) { return i > 128 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 0}; });
        volume.setSampling(64);
        // Perspective: the side turned towards the viewer looks larger.
        renderer->setProjection(true);
    }

    testsupport::TempDir dir;
};

} // namespace

// The block's centre lies on the data's x axis. Frame 0 shows it on the
// right, frame 1 behind the centre (smaller),
// frame 2 on the left, mirrored, frame 3 in front of the centre (larger),
// all at the height of the centre; every frame is a file of its own, reported as it is written, and the
// rotation is as it was afterwards.
TEST_F(Turntable, OffCentreBlockVisitsFourSides)
{
    for (int style : {DRAW_2D_TEXTURE, DRAW_3D_TEXTURE_VAS, DRAW_RAY_CASTING}) {
        renderer->setStyle(style);
        // Tipped towards the viewer: a turn about the data's own y axis would
        // lift and lower the block; the screen's vertical axis keeps it level.
        renderer->setView("front", 30, 0);
        float before[16];
        std::memcpy(before, volume.rotation, sizeof before);
        std::vector<std::string> reported;
        std::string error;
        const std::string out = dir.file("spin" + std::to_string(style) + ".png");
        ASSERT_TRUE(renderTurntable(renderer->view(), kSize, kSize, 4, out,
                                    [&](int frame, int count, const std::string& path) {
                                        EXPECT_EQ(count, 4);
                                        EXPECT_EQ(frame, static_cast<int>(reported.size()));
                                        // Written before the next frame is drawn.
                                        EXPECT_TRUE(testsupport::fileExists(path));
                                        reported.push_back(path);
                                        return true;
                                    },
                                    &error))
            << error;
        EXPECT_EQ(std::memcmp(before, volume.rotation, sizeof before), 0);
        ASSERT_EQ(reported.size(), 4u);
        Blob b[4];
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(reported[k], dir.file("spin" + std::to_string(style) + "_00" + std::to_string(k) + ".png"));
            std::vector<unsigned char> rgba;
            int w = 0, h = 0;
            ASSERT_TRUE(readPngRGBA(reported[k], &rgba, &w, &h));
            ASSERT_EQ(w, kSize);
            ASSERT_EQ(h, kSize);
            b[k] = blobOf(rgba, w);
            ASSERT_GT(b[k].pixels, 10) << "style " << style << " frame " << k;
            EXPECT_NEAR(b[k].y, kSize / 2.0, 2.0) << "style " << style << " frame " << k;
        }
        const double mid = kSize / 2.0;
        EXPECT_GT(b[0].x, mid + 5) << "style " << style;
        EXPECT_LT(b[2].x, mid - 5) << "style " << style;
        EXPECT_NEAR(b[0].x - mid, mid - b[2].x, 1.5) << "style " << style;
        EXPECT_NEAR(b[1].x, mid, 1.5) << "style " << style;
        EXPECT_NEAR(b[3].x, mid, 1.5) << "style " << style;
        EXPECT_GT(b[3].pixels, b[1].pixels * 1.2) << "style " << style;
    }
}

// File names: three digits, more for long turntables; ".png" kept at the end.
TEST(TurntableFiles, FrameNames)
{
    EXPECT_EQ(turntableFramePath("out.png", 0, 4), "out_000.png");
    EXPECT_EQ(turntableFramePath("a/b.c/out.png", 7, 1000), "a/b.c/out_007.png");
    EXPECT_EQ(turntableFramePath("out.png", 1000, 1001), "out_1000.png");
    EXPECT_EQ(turntableFramePath("out.png", 12, 3600), "out_0012.png");
    EXPECT_EQ(turntableFramePath("movie", 3, 10), "movie_003.png");
    EXPECT_EQ(turntableFramePath("x.PNG", 3, 10), "x.PNG_003.png");
}

// Paths that cannot be written are named before anything is drawn.
TEST(TurntableFiles, UnwritablePathsAreNamed)
{
    testsupport::TempDir dir;
    EXPECT_EQ(outputPathProblem(dir.file("a.png")), "");
    EXPECT_EQ(outputPathProblem(dir.file("no/a.png")),
              "Cannot write " + dir.file("no/a.png") + ": No such file or directory");
    ASSERT_TRUE(testsupport::writeFile(dir.file("plain"), "x"));
    EXPECT_EQ(outputPathProblem(dir.file("plain/a.png")),
              "Cannot write " + dir.file("plain/a.png") + ": Not a directory");
    ASSERT_EQ(mkdir(dir.file("taken.png").c_str(), 0755), 0);
    EXPECT_EQ(outputPathProblem(dir.file("taken.png")), "Cannot write " + dir.file("taken.png") + ": Is a directory");
}

// A frame that cannot be written stops the turntable with its number; the
// frames before it stay, none after it is drawn.
TEST_F(Turntable, FailedFrameStopsWithItsNumber)
{
    renderer->setStyle(DRAW_3D_TEXTURE_OAS);
    ASSERT_EQ(mkdir(dir.file("t_002.png").c_str(), 0755), 0);
    int written = 0;
    std::string error;
    EXPECT_FALSE(renderTurntable(renderer->view(), kSize, kSize, 5, dir.file("t.png"),
                                 [&](int, int, const std::string&) { return ++written > 0; }, &error));
    EXPECT_EQ(written, 2);
    EXPECT_EQ(error, "Frame 3 of 5: Cannot write " + dir.file("t_002.png") + ": Is a directory");
    EXPECT_TRUE(testsupport::fileExists(dir.file("t_001.png")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("t_003.png")));
    for (int bad : {0, kMaxTurntableFrames + 1}) {
        EXPECT_FALSE(renderTurntable(renderer->view(), kSize, kSize, bad, dir.file("u.png"), nullptr, &error));
        EXPECT_EQ(error, "A turntable has 1 to 3600 frames.");
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("u_000.png")));
}
