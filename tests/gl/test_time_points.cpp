// Data with time points drawn offscreen: a step to another time point
// overwrites the data texture in place, rebuilds what the style draws with
// from the new voxels, and draws what glimra-render draws for that time
// point; glimra-render refuses a time point the data lack.
#include "offscreen_render.h"
#include "histogram.h"
#include "load_progress.h"
#include "render_mode.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kSide = 64;

// Pixels (RGB) of a and b that differ.
int differing(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    int n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
        n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n + static_cast<int>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) / 4;
}

class TimePoints : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = testsupport::dataDir() + "/formats/example4d.nii.gz";
        tool = testsupport::buildDir() + "/glimra-render";
        ASSERT_TRUE(testsupport::fileExists(tool)) << tool;
    }
    void TearDown() override
    {
        RenderMode::instance().setDrawStyle(DRAW_2D_TEXTURE);
        volume.showBBox = true;
        histogram.release();
    }

    // glimra-render's picture of style at time point t (its status in *rc).
    std::vector<unsigned char> tool_picture(int style, const std::string& time, int* rc, std::string* said)
    {
        const std::string out = dir.file("t.png");
        std::remove(out.c_str());
        *rc = testsupport::runCommand("LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + data + "' --size 64x64 --ortho " +
                                          "--sampling 64 --blending 0 --style " + std::to_string(style) +
                                          " --time " + time + " -o '" + out + "' 2>&1",
                                      said);
        std::vector<unsigned char> rgba;
        int w = 0, h = 0;
        if (*rc == 0) {
            EXPECT_TRUE(readPngRGBA(out, &rgba, &w, &h));
        }
        return rgba;
    }
    // The same state in this process, as glimra-render sets it up.
    void prepare(OffscreenRenderer& r, int style) { prepare(r, style, data); }
    void prepare(OffscreenRenderer& r, int style, const std::string& file)
    {
        RenderMode::instance().setDrawStyle(style);
        ASSERT_TRUE(r.loadData(file));
        r.setStyle(style);
        r.viewer().setBlending(0);
        volume.setSampling(64);
        r.setProjection(false);
        r.setView("front", 0, 0);
        volume.showBBox = false;
    }
    std::vector<unsigned char> picture(OffscreenRenderer& r)
    {
        r.renderFrame();
        return r.pixels();
    }

    testsupport::TempDir dir;
    std::string data;
    std::string tool;
};

} // namespace

// In the 3-D texture style (the texture written in place), the 2-D stacks
// style and a lit style (stacks and gradients left to their first use after
// the step): time point 1 differs from 0, is what glimra-render --time 1
// draws, and a step back draws time point 0 again.
TEST_F(TimePoints, AStepRedrawsInPlaceAsGlimraRenderDrawsThatTimePoint)
{
    if (!testsupport::fileExists(data))
        GTEST_SKIP() << "no " << data;
    for (int style : {DRAW_3D_TEXTURE_VAS, DRAW_2D_TEXTURE, DRAW_LIGHT_GRADMAG}) {
        SCOPED_TRACE(style);
        OffscreenRenderer r(kSide, kSide, std::string(GLIMRA_SOURCE_DIR) + "/Cg/");
        ASSERT_TRUE(r.ok()) << r.error();
        prepare(r, style);
        EXPECT_EQ(r.viewer().timePoints(), 2u);
        EXPECT_EQ(r.viewer().timePoint(), 0u);
        const std::vector<unsigned char> first = picture(r);
        const GLuint texture = volume.tidVolume;
        const GLuint stack = volume.tidz ? volume.tidz[0] : 0;

        // While a load's dialog is open (a play timer's tick gets through it) no step.
        struct Open : ProgressDialog
        {
            bool update(int, const char*) override { return true; }
            void close() override {}
        } dialog;
        gpProgressDlg = &dialog;
        EXPECT_FALSE(r.showTimePoint(1));
        gpProgressDlg = nullptr;
        EXPECT_EQ(r.viewer().timePoint(), 0u);

        ASSERT_TRUE(r.showTimePoint(1));
        EXPECT_EQ(r.viewer().timePoint(), 1u);
        EXPECT_EQ(volume.tidVolume, texture);
        if (stack) {
            EXPECT_EQ(volume.tidz[0], stack);
        }
        EXPECT_NE(r.dataInfo().find("Time points:\t2, the 2nd shown\n"), std::string::npos) << r.dataInfo();
        const std::vector<unsigned char> second = picture(r);
        EXPECT_GT(differing(first, second), kSide * kSide / 50);

        int rc = -1;
        std::string said;
        const std::vector<unsigned char> fromTool = tool_picture(style, "1", &rc, &said);
        ASSERT_EQ(rc, 0) << said;
        EXPECT_EQ(differing(fromTool, second), 0);
        const std::vector<unsigned char> toolFirst = tool_picture(style, "0", &rc, &said);
        EXPECT_EQ(differing(toolFirst, first), 0);

        // Beyond the last: nothing changes.
        EXPECT_FALSE(r.showTimePoint(2));
        EXPECT_EQ(r.viewer().timePoint(), 1u);
        ASSERT_TRUE(r.viewer().nextTimePoint(nullptr)); // after the last, the first
        EXPECT_EQ(r.viewer().timePoint(), 0u);
        EXPECT_EQ(volume.tidVolume, texture);
        EXPECT_EQ(differing(picture(r), first), 0);
    }
}

// Time points the data lack are refused with the usage, status 2.
TEST_F(TimePoints, GlimraRenderRefusesATimePointTheDataLack)
{
    if (!testsupport::fileExists(data))
        GTEST_SKIP() << "no " << data;
    int rc = -1;
    std::string said;
    tool_picture(DRAW_3D_TEXTURE_VAS, "2", &rc, &said);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(said.find("glimra-render: --time 2: " + data + " has 2 time points, 0 to 1\nusage: glimra-render"),
              std::string::npos)
        << said;
    tool_picture(DRAW_3D_TEXTURE_VAS, "-1", &rc, &said);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(said.find("--time needs a time point from 0 on\nusage:"), std::string::npos) << said;
    const std::string anatomical = testsupport::dataDir() + "/formats/anatomical.nii";
    if (testsupport::fileExists(anatomical)) {
        data = anatomical;
        tool_picture(DRAW_3D_TEXTURE_VAS, "1", &rc, &said);
        EXPECT_EQ(rc, 2);
        EXPECT_NE(said.find("has no time points\nusage:"), std::string::npos) << said;
    }
}

// A folder of numbered volumes whose second one is of another type (the
// phantom's 16-bit values, then its 8-bit mask): the step builds the
// textures and tables anew, fits the curves the resize put back to ramps,
// and draws what a load of that file draws.
TEST_F(TimePoints, NumberedFolderStepsToItsNextFile)
{
    for (const char* sample : {"phantom", "phantom-mask"}) {
        SampleVolume v;
        ASSERT_TRUE(makeSampleVolume(sample, &v));
        ASSERT_TRUE(writeSampleVolume(v, dir.file(std::string(sample) == "phantom" ? "vol_000.zvf" : "vol_001.zvf")));
    }
    std::vector<unsigned char> stepped, direct, first;
    {
        OffscreenRenderer r(kSide, kSide, std::string(GLIMRA_SOURCE_DIR) + "/Cg/");
        ASSERT_TRUE(r.ok()) << r.error();
        prepare(r, DRAW_3D_TEXTURE_VAS, dir.path());
        EXPECT_EQ(r.viewer().timePoints(), 2u);
        first = picture(r);
        ASSERT_TRUE(r.showTimePoint(1));
        EXPECT_NE(r.dataInfo().find("Time points:\t2, the 2nd shown\n"), std::string::npos) << r.dataInfo();
        stepped = picture(r);
    }
    {
        OffscreenRenderer r(kSide, kSide, std::string(GLIMRA_SOURCE_DIR) + "/Cg/");
        ASSERT_TRUE(r.ok()) << r.error();
        prepare(r, DRAW_3D_TEXTURE_VAS, dir.file("vol_001.zvf"));
        EXPECT_EQ(r.viewer().timePoints(), 1u);
        direct = picture(r);
    }
    EXPECT_GT(differing(first, stepped), kSide * kSide / 50);
    EXPECT_EQ(differing(stepped, direct), 0);
}

// Time points read by a step are kept: with the file gone, a step back to
// one already read draws it exactly as before, while a step to one never
// read by a step (the load's first) is refused, the picture kept.
TEST_F(TimePoints, StepsBackToKeptTimePointsWithoutReading)
{
    if (!testsupport::fileExists(data))
        GTEST_SKIP() << "no " << data;
    const std::string copy = dir.file("copy.nii.gz");
    ASSERT_TRUE(testsupport::writeFile(copy, testsupport::readFile(data)));
    OffscreenRenderer r(kSide, kSide, std::string(GLIMRA_SOURCE_DIR) + "/Cg/");
    ASSERT_TRUE(r.ok()) << r.error();
    prepare(r, DRAW_3D_TEXTURE_VAS, copy);
    const std::vector<unsigned char> zero = picture(r);
    ASSERT_TRUE(r.showTimePoint(1));
    const std::vector<unsigned char> one = picture(r);
    EXPECT_EQ(r.viewer().keptTimePoints().count(), 1u);
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    EXPECT_FALSE(r.showTimePoint(0));
    EXPECT_EQ(r.viewer().timePoint(), 1u);
    EXPECT_EQ(picture(r), one);
    ASSERT_TRUE(testsupport::writeFile(copy, testsupport::readFile(data)));
    ASSERT_TRUE(r.showTimePoint(0));
    EXPECT_EQ(picture(r), zero);
    EXPECT_EQ(r.viewer().keptTimePoints().count(), 2u);
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    ASSERT_TRUE(r.showTimePoint(1));
    EXPECT_EQ(picture(r), one);
    ASSERT_TRUE(r.showTimePoint(0));
    EXPECT_EQ(picture(r), zero);
    EXPECT_NE(zero, one);
}
