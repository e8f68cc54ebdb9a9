// The window and glimra-render draw through the same program actions, so the
// same data, mask, palette, settings and style give the same picture: the
// window's view read back after each menu choice, glimra-render run as its
// own process on the same files at the view's size.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "offscreen_render.h"
#include "render_mode.h"
#include "settings_file.h"
#include "volume.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// RGBA rows from the bottom, as glReadPixels gives them.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba;
};

// Pixels where some channel differs by more than one step, and the largest
// difference of any channel.
struct Difference
{
    int pixels = 0;
    int largest = 0;
};

Difference compare(const Picture& a, const Picture& b)
{
    Difference d;
    for (size_t i = 0; i + 3 < a.rgba.size() && i + 3 < b.rgba.size(); i += 4) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(static_cast<int>(a.rgba[i + c]) - static_cast<int>(b.rgba[i + c])));
        d.largest = std::max(d.largest, worst);
        d.pixels += worst > 1;
    }
    return d;
}

int drawnPixels(const Picture& p)
{
    int n = 0;
    for (size_t i = 0; i + 3 < p.rgba.size(); i += 4)
        n += (p.rgba[i] | p.rgba[i + 1] | p.rgba[i + 2]) != 0;
    return n;
}

class SamePicture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        tool = testsupport::buildDir() + "/glimra-render";
        ASSERT_TRUE(testsupport::fileExists(tool)) << tool;
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        data = guitest::writeSample(tmp, "phantom", "data.zvf");
        mask = guitest::writeSample(tmp, "phantom-mask", "mask.zvf");
        bands = guitest::writeSample(tmp, "multiband", "bands.zvf");
        ASSERT_FALSE(data.empty() || mask.empty() || bands.empty());
        // Colour rising with the value, alpha a ramp that starts late.
        palette = tmp.file("ramp.pal");
        ASSERT_TRUE(testsupport::writeFile(palette, "2\n0.000000 0.200000\n1.000000 1.000000\n\n"
                                                    "3\n0.000000 0.000000\n0.500000 0.800000\n1.000000 0.300000\n\n"
                                                    "2\n0.000000 1.000000\n1.000000 0.000000\n\n"
                                                    "3\n0.000000 0.000000\n0.200000 0.000000\n1.000000 0.600000\n\n"));
        // The settings both read: no frame-rate text, no speed-up, nothing
        // written back when the window closes.
        ::mkdir(tmp.file("run").c_str(), 0755);
        ini = tmp.file("run") + "/glimra.ini";
        Settings s;
        s.fpsVisible = false;
        s.speedup = false;
        s.autosave = false;
        ASSERT_TRUE(writeSettingsFile(ini, s));
        // glimra-render draws the orientation marker only when asked for.
        ASSERT_TRUE(testsupport::writeFile(tmp.file("run") + "/glimra-view.txt", "Marker:\t0\r\n"));
    }
    void start(const std::vector<std::string>& args)
    {
        app.reset(new guitest::InProcessGlimra(args, tmp.file("run")));
        ASSERT_TRUE(app->started());
    }
    void TearDown() override
    {
        if (app) {
            app->postCommand(ID_STYLE_2D);
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }

    // The view after the menu chose the style.
    Picture window(int style)
    {
        app->postCommand(drawStyleCommandId(style));
        Picture p;
        MainGLCanvas* c = g_pMainFrame->myGLcanvas;
        EXPECT_EQ(RenderMode::instance().getDrawStyle(), style);
        // Minimum intensity's clear colour takes one frame to show.
        guitest::mainViewPicture();
        p.rgba = guitest::mainViewPicture();
        p.width = c->width;
        p.height = c->height;
        return p;
    }

    // glimra-render on the same files at the view's size.
    Picture render(const std::string& file, const std::string& options, int width, int height)
    {
        const std::string out = tmp.file("render.png");
        std::remove(out.c_str());
        std::string text;
        const int rc = testsupport::runCommand(
            "LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + file + "' -p '" + palette + "' --ini '" + ini +
                "' --cg '" GLIMRA_SOURCE_DIR "/Cg' --size " + std::to_string(width) + "x" +
                std::to_string(height) + " " + options + " -o '" + out + "' 2>&1",
            &text);
        EXPECT_EQ(rc, 0) << options << ": " << text;
        Picture top;
        Picture p;
        if (!readPngRGBA(out, &top.rgba, &p.width, &p.height))
            return p;
        // Rows from the bottom, as the view was read.
        const size_t row = static_cast<size_t>(p.width) * 4;
        p.rgba.resize(top.rgba.size());
        for (int y = 0; y < p.height; ++y)
            std::memcpy(&p.rgba[row * static_cast<size_t>(y)], &top.rgba[row * static_cast<size_t>(p.height - 1 - y)],
                        row);
        return p;
    }

    void expectSame(int style, const std::string& file, const std::string& options)
    {
        SCOPED_TRACE(drawStyleLabel(style));
        ASSERT_TRUE(g_pMainFrame->GetMenuBar()->IsEnabled(drawStyleCommandId(style)));
        const Picture w = window(style);
        ASSERT_GT(w.width, 0);
        const Picture r = render(file, options + " --style " + std::to_string(style), w.width, w.height);
        ASSERT_EQ(r.width, w.width);
        ASSERT_EQ(r.height, w.height);
        EXPECT_GT(drawnPixels(w), 500) << "the window drew nothing to compare";
        const Difference d = compare(w, r);
        // Two contexts of the same rasteriser: a step of rounding at most.
        EXPECT_EQ(d.pixels, 0) << "largest difference " << d.largest;
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
    std::string tool, data, mask, bands, palette, ini;
};

} // namespace

TEST_F(SamePicture, EveryStyleInTheWindowAndInGlimraRender)
{
    start({"-d", data, "-m", mask, "-p", palette});
    ASSERT_TRUE(volume.isMask);
    for (int style : {DRAW_2D_TEXTURE, DRAW_2D_MULTI_TEXTURE, DRAW_3D_TEXTURE_OAS, DRAW_3D_TEXTURE_VAS,
                      DRAW_RAY_CASTING, DRAW_NORMAL_TEXTURE, DRAW_NORMAL_FRAGMENT, DRAW_LIGHT_GRADMAG,
                      DRAW_LIGHT2})
        expectSame(style, data, "-m '" + mask + "'");
    // Focus and context takes the orthographic projection in both.
    expectSame(DRAW_FOCUS_CONTEXT, data, "-m '" + mask + "'");
    EXPECT_FALSE(volume.perspective);
}

// Started on the bands: the shaded styles keep the 3-D slicing chosen last,
// which a window that drew other styles before may have changed.
TEST_F(SamePicture, MultiVolumeInTheWindowAndInGlimraRender)
{
    start({"-d", bands, "-p", palette});
    expectSame(DRAW_MULTI_VOLUME, bands, "");
}

namespace {

// The picture files of a PNG path, RGB only; false when unreadable.
bool readPicture(const std::string& path, Picture* p)
{
    return readPngRGBA(path, &p->rgba, &p->width, &p->height);
}

} // namespace

// File > "Save Picture..." at a size larger than the window: exactly that
// size, and the picture glimra-render draws of the same files at that size;
// "Save Turntable..." the frames glimra-render's --turntable draws, stopped
// when its progress says so.
TEST_F(SamePicture, SavedPicturesAreGlimraRendersPictures)
{
    start({"-d", data, "-p", palette});
    app->postCommand(drawStyleCommandId(DRAW_RAY_CASTING));
    MainGLCanvas* c = g_pMainFrame->myGLcanvas;
    ASSERT_LT(c->width, 900);
    const std::string saved = tmp.file("saved.png");
    ASSERT_TRUE(g_pMainFrame->savePicture(saved, 900, 700));
    Picture window;
    ASSERT_TRUE(readPicture(saved, &window));
    EXPECT_EQ(window.width, 900);
    EXPECT_EQ(window.height, 700);
    // The view itself keeps its size.
    EXPECT_EQ(guitest::mainViewPicture().size(), static_cast<size_t>(c->width) * c->height * 4);

    const std::string out = tmp.file("render.png");
    std::string text;
    ASSERT_EQ(testsupport::runCommand("LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + data + "' -p '" + palette +
                                          "' --ini '" + ini + "' --cg '" GLIMRA_SOURCE_DIR "/Cg' --size 900x700 "
                                          "--style 5 -o '" + out + "' 2>&1",
                                      &text),
              0)
        << text;
    Picture drawn;
    ASSERT_TRUE(readPicture(out, &drawn));
    EXPECT_GT(drawnPixels(window), 5000);
    const Difference d = compare(window, drawn);
    EXPECT_EQ(d.pixels, 0) << "largest difference " << d.largest;

    // Three frames of a turntable, the second compared with glimra-render's.
    int told = 0;
    ASSERT_TRUE(g_pMainFrame->saveTurntable(tmp.file("spin.png"), 3, 300, 200, [&](int frame, int count) {
        EXPECT_EQ(frame, told);
        EXPECT_EQ(count, 3);
        ++told;
        return true;
    }));
    EXPECT_EQ(told, 3);
    ASSERT_EQ(testsupport::runCommand("LIBGL_ALWAYS_SOFTWARE=1 '" + tool + "' '" + data + "' -p '" + palette +
                                          "' --ini '" + ini + "' --cg '" GLIMRA_SOURCE_DIR "/Cg' --size 300x200 "
                                          "--style 5 --turntable 3 -o '" + tmp.file("tool.png") + "' 2>&1",
                                      &text),
              0)
        << text;
    Picture frameWindow;
    Picture frameTool;
    ASSERT_TRUE(readPicture(tmp.file("spin_001.png"), &frameWindow));
    ASSERT_TRUE(readPicture(tmp.file("tool_001.png"), &frameTool));
    EXPECT_EQ(compare(frameWindow, frameTool).pixels, 0);
    EXPECT_GT(compare(frameWindow, window).pixels, 0); // (a different size and turn)

    // Cancelled after the first frame: that frame stays, no second one.
    EXPECT_FALSE(g_pMainFrame->saveTurntable(tmp.file("stop.png"), 4, 100, 100, [](int, int) { return false; }));
    EXPECT_TRUE(testsupport::fileExists(tmp.file("stop_000.png")));
    EXPECT_FALSE(testsupport::fileExists(tmp.file("stop_001.png")));
}
