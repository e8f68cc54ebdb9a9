// Every draw style chosen from the main window's menu draws in the real view:
// the shaded styles and the ray caster on a scan-like sample, focus and
// context once its mask is loaded, multi volume on six-band data.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "render_mode.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

class DrawStyles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        // The program files, where the program looks for them: "../Cg/".
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        app.reset(new guitest::InProcessGlimra({}, tmp.file("run")));
        ASSERT_TRUE(app->started());
        bar = g_pMainFrame->GetMenuBar();
    }
    void TearDown() override
    {
        if (app) {
            app->postCommand(ID_STYLE_2D);
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }

    // Pixels of one paint that differ from the black background, and whether
    // the paint left a GL error.
    int drawnPixels(bool* glError)
    {
        MainGLCanvas* c = g_pMainFrame->myGLcanvas;
        if (!c || !c->makeContextCurrent())
            return -1;
        c->paintCycle();
        c->paintCycle(); // minimum intensity's white needs a frame to show
        *glError = glGetError() != GL_NO_ERROR;
        std::vector<unsigned char> px(static_cast<size_t>(c->width) * c->height * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, c->width, c->height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            n += (px[i] | px[i + 1] | px[i + 2]) != 0;
        return n;
    }

    void expectDraws(int id, const char* what)
    {
        ASSERT_TRUE(bar->IsEnabled(id)) << what;
        app->postCommand(id);
        bool error = false;
        EXPECT_GT(drawnPixels(&error), 500) << what;
        EXPECT_FALSE(error) << what;
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
    wxMenuBar* bar = nullptr;
};

TEST_F(DrawStyles, ShadedStylesAndRayCastingDraw)
{
    const std::string data = guitest::writeSample(tmp, "phantom", "data.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(data));
    struct
    {
        int id;
        const char* what;
    } styles[] = {{ID_STYLE_NORMAL_TEXTURE, "3D Normal (texture)"}, {ID_STYLE_NORMAL_FRAGMENT, "3D Normal (fragment)"},
                  {ID_STYLE_LIGHT_GRADMAG, "3D Light (grad. mag.)"}, {ID_STYLE_LIGHT2, "3D Light 2"},
                  {ID_STYLE_RAY_CASTING, "Ray Casting"}};
    for (const auto& s : styles)
        expectDraws(s.id, s.what);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_RAY_CASTING);
    // The gradients were made at load, now that the programs are there.
    EXPECT_NE(volume.tidGradient, 0u);
    app->postCommand(ID_MAXIMUM);
    expectDraws(ID_STYLE_RAY_CASTING, "Ray Casting, maximum intensity");
    app->postCommand(ID_BLEND);
}

TEST_F(DrawStyles, FocusAndContextWithAMaskAndMultiVolumeWithBands)
{
    const std::string data = guitest::writeSample(tmp, "phantom", "data.zvf");
    const std::string mask = guitest::writeSample(tmp, "phantom-mask", "mask.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(data));
    EXPECT_FALSE(bar->IsEnabled(ID_STYLE_FOCUS_CONTEXT));
    ASSERT_TRUE(g_pMainFrame->loadMaskFile(mask));
    expectDraws(ID_STYLE_FOCUS_CONTEXT, "Focus and Context");
    // Choosing it turns the view orthographic.
    EXPECT_FALSE(volume.perspective);

    const std::string bands = guitest::writeSample(tmp, "multiband", "bands.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(bands));
    expectDraws(ID_STYLE_MULTI_VOLUME, "Multi Volume");
}

} // namespace
