// glimra-render on the public data sets: the picture is not blank, keeps the
// data's symmetry, and follows the draw style, compositing and transfer
// function.
#include "offscreen_render.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Picture
{
    std::vector<unsigned char> rgba;
    int width = 0;
    int height = 0;

    int lit() const
    {
        int n = 0;
        for (size_t i = 0; i < rgba.size(); i += 4)
            n += (rgba[i] | rgba[i + 1] | rgba[i + 2]) > 8;
        return n;
    }
    double mean() const
    {
        double s = 0;
        for (size_t i = 0; i < rgba.size(); i += 4)
            s += rgba[i] + rgba[i + 1] + rgba[i + 2];
        return s / (rgba.size() / 4 * 3);
    }
    // Mean colour difference to the picture mirrored top to bottom.
    double upDownAsymmetry() const
    {
        double s = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    s += std::abs(rgba[(static_cast<size_t>(y) * width + x) * 4 + c] -
                                  rgba[(static_cast<size_t>(height - 1 - y) * width + x) * 4 + c]);
        return s / (static_cast<double>(width) * height * 3);
    }
};

double meanDifference(const Picture& a, const Picture& b)
{
    double s = 0;
    for (size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i)
        if (i % 4 != 3)
            s += std::abs(a.rgba[i] - b.rgba[i]);
    return s / (a.rgba.size() / 4 * 3);
}

class RenderTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_DATA();
        tool = testsupport::buildDir() + "/glimra-render";
        ASSERT_TRUE(testsupport::fileExists(tool)) << tool;
        data = testsupport::dataDir() + "/nucleon.dat";
    }

    Picture render(const std::string& options) { return render(data, options); }
    Picture render(const std::string& file, const std::string& options)
    {
        const std::string out = dir.file("out.png");
        std::remove(out.c_str());
        std::string text;
        const int rc = testsupport::runCommand(
            "LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + file + "' --size 96x96 --ortho " + options + " -o '" +
                out + "' 2>&1",
            &text);
        Picture p;
        EXPECT_EQ(rc, 0) << options << ": " << text;
        EXPECT_TRUE(readPngRGBA(out, &p.rgba, &p.width, &p.height)) << options;
        return p;
    }

    testsupport::TempDir dir;
    std::string tool;
    std::string data;
};

} // namespace

// The nucleon is mirror-symmetric top to bottom in the front view.
TEST_F(RenderTool, PublicDataSetIsDrawnAndKeepsItsSymmetry)
{
    for (const char* style : {"1", "2", "3", "4"})
        for (const char* blending : {"0", "1"}) {
            const Picture p =
                render(std::string("--style ") + style + " --blending " + blending + " --sampling 96");
            ASSERT_EQ(p.width, 96);
            ASSERT_EQ(p.height, 96);
            EXPECT_GT(p.lit(), 96 * 96 / 10) << "style " << style << " blending " << blending;
            EXPECT_LT(p.upDownAsymmetry(), 0.05 * p.mean() + 0.5)
                << "style " << style << " blending " << blending;
        }
}

// The same data set through another transfer function: faint, red only.
TEST_F(RenderTool, PictureFollowsTheTransferFunction)
{
    const Picture plain = render("--style 3");
    ASSERT_TRUE(testsupport::writeFile(dir.file("red.pal"), "2\n0.000000 1.000000\n1.000000 1.000000\n\n"
                                                            "2\n0.000000 0.000000\n1.000000 0.000000\n\n"
                                                            "2\n0.000000 0.000000\n1.000000 0.000000\n\n"
                                                            "2\n0.000000 0.000000\n1.000000 0.200000\n\n"));
    const Picture red = render("--style 3 -p '" + dir.file("red.pal") + "'");
    EXPECT_GT(meanDifference(plain, red), 5.0);
    double green = 0;
    for (size_t i = 0; i < red.rgba.size(); i += 4)
        green += red.rgba[i + 1];
    EXPECT_EQ(green, 0.0);
    EXPECT_GT(red.lit(), 96 * 96 / 20);
}

// Maximum intensity differs from blending. The hydrogen atom's orbital lies
// along x: seen from the side (along x) it is a round blob, from the front
// two lobes.
TEST_F(RenderTool, CompositingAndViewChangeThePicture)
{
    const Picture blend = render("--style 3");
    const Picture mip = render("--style 3 --blending 1");
    EXPECT_GT(meanDifference(blend, mip), 2.0);

    const std::string atom = testsupport::dataDir() + "/hydrogenatom.dat";
    const Picture front = render(atom, "--style 3 --blending 1");
    const Picture side = render(atom, "--style 3 --blending 1 --view left");
    const Picture turned = render(atom, "--style 3 --blending 1 --rotate 0 90");
    EXPECT_GT(front.lit(), 96 * 96 / 20);
    EXPECT_GT(meanDifference(front, side), 1.0);
    // A quarter turn about y by --rotate is the "left" preset.
    EXPECT_LT(meanDifference(side, turned), 0.2);
}

// A picture is what the window shows: opaque, whatever alpha the compositing
// left in the frame buffer (a viewer would otherwise blend it with its own
// background and show a glowing square where the window shows a dim ball).
TEST_F(RenderTool, PicturesAreOpaque)
{
    for (const char* options : {"--style 1", "--style 5 --blending 2", "--style 12"}) {
        const Picture p = render(options);
        int translucent = 0;
        for (size_t i = 3; i < p.rgba.size(); i += 4)
            translucent += p.rgba[i] != 255;
        EXPECT_EQ(translucent, 0) << options;
    }
}

// The first frame after a load is the picture every later repaint shows, in
// every style and compositing rule.
TEST(FirstFrame, EqualsTheNext)
{
    SKIP_WITHOUT_DATA();
    for (int style : {1, 2, 3, 4, 5, 9, 10, 11, 12})
        for (int blending : {0, 1, 2}) {
            OffscreenRenderer r(64, 64, std::string(GLIMRA_SOURCE_DIR) + "/Cg/");
            ASSERT_TRUE(r.ok()) << r.error();
            ASSERT_TRUE(r.loadData(testsupport::dataDir() + "/nucleon.dat"));
            r.setStyle(style);
            r.viewer().setBlending(blending);
            r.renderFrame();
            const std::vector<unsigned char> first = r.pixels();
            r.renderFrame();
            const std::vector<unsigned char> second = r.pixels();
            int differing = 0;
            for (size_t i = 0; i < first.size(); ++i)
                differing += first[i] != second[i];
            EXPECT_EQ(differing, 0) << "style " << style << " blending " << blending;
        }
}

// The notes of a load go to standard error, where a user of glimra-render
// sees them; --quiet silences them and nothing else.
TEST_F(RenderTool, LoadNotesOnStandardErrorUnlessQuiet)
{
    const std::string out = dir.file("n.png");
    auto run = [&](const std::string& file, const std::string& options) {
        std::string text;
        // (A sanitizer build lists the leak suppressions it used on stderr too.)
        const int rc = testsupport::runCommand("LSAN_OPTIONS=\"$LSAN_OPTIONS:print_suppressions=0\" "
                                               "LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + file +
                                                   "' --size 32x32 " + options + " -o '" + out + "' 2>&1 >/dev/null",
                                               &text);
        EXPECT_EQ(rc, 0) << text;
        return text;
    };
    const std::string functional = testsupport::dataDir() + "/formats/functional.nii";
    if (testsupport::fileExists(functional)) {
        const std::string said = run(functional, "");
        EXPECT_NE(said.find("glimra-render: Rescale: slope 0.075407 intercept 3100.761719\n"), std::string::npos)
            << said;
        EXPECT_NE(said.find("glimra-render: Time points: 20, the first shown\n"), std::string::npos) << said;
        EXPECT_EQ(run(functional, "--quiet"), "");
    }
    const std::string walnut = testsupport::dataDir() + "/walnut.dat";
    EXPECT_EQ(run(walnut, ""), "glimra-render: Raw data read as little-endian (smoother than big-endian).\n");
    EXPECT_EQ(run(walnut, "--quiet"), "");
    // The nucleon's bytes need no note.
    EXPECT_EQ(run(data, ""), "");
}
