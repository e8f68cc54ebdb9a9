// Settings read at start-up reach the main window, its view and its menus.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "plane.h"
#include "running_settings.h"
#include "settings_sample.h"
#include "test_support.h"
#include "text_overlay.h"
#include "transfer_function.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {


bool checked(int id)
{
    wxMenuItem* item = g_pMainFrame->GetMenuBar()->FindItem(id);
    return item && item->IsChecked();
}

// Keeps the process-wide settings of other tests apart from this one's.
class SettingsWindow : public ::testing::Test
{
protected:
    void SetUp() override { gatherCoreSettings(saved); }
    void TearDown() override { applyCoreSettings(saved); }
    std::string prepare(const std::string& ini)
    {
        const std::string dir = tmp.file("run");
        ::mkdir(dir.c_str(), 0755);
        testsupport::writeFile(dir + "/glimra.ini", ini);
        return dir;
    }
    Settings saved;
    testsupport::TempDir tmp;
};

TEST_F(SettingsWindow, StartUpAppliesTheFileToWindowViewMenusAndModel)
{
    SKIP_WITHOUT_DISPLAY();
    const std::string dir = prepare(kPreparedSettings);
    guitest::InProcessGlimra app({}, dir);
    ASSERT_TRUE(app.started());
    MainFrame* frame = g_pMainFrame;
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(checked(ID_ORTHOGONAL));
    EXPECT_FALSE(checked(ID_PERSPECTIVE));
    EXPECT_FALSE(checked(ID_FRAME_RATE));
    EXPECT_TRUE(checked(ID_STYLE_3D_OAS));
    EXPECT_FALSE(checked(ID_STYLE_2D));
    EXPECT_TRUE(checked(ID_MAXIMUM));
    EXPECT_FALSE(checked(ID_SHOW_BBOX));

    MainGLCanvas* view = frame->myGLcanvas;
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->makeContextCurrent());
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(projection[11], 0.0f); // orthographic: w stays 1
    EXPECT_EQ(projection[15], 1.0f);
    EXPECT_FALSE(view->speedup);
    ASSERT_NE(view->font, nullptr);
    EXPECT_FALSE(view->font->visible);
    ASSERT_NE(transfer, nullptr);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(transfer->curve(c).getKind(), 1);
    EXPECT_EQ(frame->GetSize(), wxSize(700, 500));
    EXPECT_EQ(frame->GetPosition(), wxPoint(30, 40));
    EXPECT_FALSE(volume.perspective);
    EXPECT_EQ(volume.sampling, 200);
    EXPECT_EQ(volume.halfSampling, 100);
    EXPECT_EQ(volume.alphaFunc, static_cast<GLenum>(GL_EQUAL));
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), 3);
    EXPECT_EQ(RenderMode::instance().getClassification(), 2);
    EXPECT_EQ(static_cast<int>(RenderMode::instance().getProgramSet()), 0);
    EXPECT_EQ(textureFilter, 9728.0f);
    EXPECT_TRUE(frame->autosave);

    // Autosave switched off: the file keeps its values with Autosave 0, the
    // running load-time values go back to the stored ones, the window stays.
    volume.setAlphaCalculation(0);
    textureFilter = 9729.0f;
    volume.sampling = 300;
    frame->autosave = false;
    frame->viewer.autosaveSwitched(false);
    std::string off = kPreparedSettings;
    off.replace(off.find("Autosave:\t1"), 11, "Autosave:\t0");
    EXPECT_EQ(testsupport::readFile(dir + "/glimra.ini"), off);
    EXPECT_EQ(volume.getAlphaCalculation(), 2);
    EXPECT_EQ(textureFilter, 9728.0f);
    EXPECT_EQ(volume.sampling, 300);
    EXPECT_EQ(frame->GetPosition(), wxPoint(30, 40));
    EXPECT_EQ(frame->GetSize(), wxSize(700, 500));

    // Autosave off: closing writes nothing.
    ASSERT_TRUE(app.close());
    EXPECT_EQ(testsupport::readFile(dir + "/glimra.ini"), off);
}

TEST_F(SettingsWindow, FocusAndContextPassStyleChecksTwoDTexture)
{
    SKIP_WITHOUT_DISPLAY();
    std::string ini = kPreparedSettings;
    ini.replace(ini.find("Visualization mode:\t3"), 21, "Visualization mode:\t7");
    ini.replace(ini.find("Blending:\t1"), 11, "Blending:\t5");
    guitest::InProcessGlimra app({}, prepare(ini));
    ASSERT_TRUE(app.started());
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), 7);
    EXPECT_TRUE(checked(ID_STYLE_2D));
    EXPECT_TRUE(checked(ID_BLEND));
    EXPECT_EQ(volume.blending, 0);
    EXPECT_TRUE(app.close());
}

} // namespace
