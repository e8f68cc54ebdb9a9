// The settings window driven in-process: every control changes the setting it
// names and what the main view draws (slices counted as primitives, fragments
// through the alpha test, texture parameters, the programs bound), the
// settings file is written byte for byte, and the window exists once.
#include "canvas_main.h"
#include "command_ids.h"
#include "error_handling.h"
#include "gui_support.h"
#include "menu_main.h"
#include "menu_settings.h"
#include "multi_volume.h"
#include "my_cg.h"
#include "render_mode.h"
#include "sample_volumes.h"
#include "running_settings.h"
#include "settings_sample.h"
#include "test_support.h"
#include "text_overlay.h"
#include "texture.h"
#include "transfer_function.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/notebook.h>
#include <wx/scrolbar.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class SettingsControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        gatherCoreSettings(saved);
        // The program files, where the program looks for them: "../Cg/".
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
        applyCoreSettings(saved);
        volume.isoMode = false;
        volume.switchSlices = true;
    }
    // Starts the program, with ini as "glimra.ini" when given.
    void start(const std::string& ini = std::string())
    {
        const std::string dir = tmp.file("run");
        ::mkdir(dir.c_str(), 0755);
        if (!ini.empty())
            testsupport::writeFile(dir + "/glimra.ini", ini);
        app.reset(new guitest::InProcessGlimra({}, dir));
        ASSERT_TRUE(app->started());
    }
    SettingsFrame* openWindow()
    {
        app->postCommand(ID_SETTINGS);
        return settingsFrame();
    }
    template <typename T> T* control(int id)
    {
        wxWindow* w = g_pSettingsFrame ? g_pSettingsFrame->FindWindow(id) : nullptr;
        return w ? wxDynamicCast(w, T) : nullptr;
    }
    void send(wxWindow* w, wxEvent& e)
    {
        ASSERT_NE(w, nullptr) << e.GetId();
        e.SetEventObject(w);
        w->GetEventHandler()->ProcessEvent(e);
        guitest::InProcessGlimra::pump(10);
    }
    void moveSlider(int id, int value)
    {
        wxSlider* s = control<wxSlider>(id);
        ASSERT_NE(s, nullptr) << id;
        s->SetValue(value);
        wxCommandEvent e(wxEVT_SLIDER, id);
        e.SetInt(s->GetValue());
        send(s, e);
    }
    void tick(int id, bool on)
    {
        wxCheckBox* b = control<wxCheckBox>(id);
        ASSERT_NE(b, nullptr) << id;
        b->SetValue(on);
        wxCommandEvent e(wxEVT_CHECKBOX, id);
        e.SetInt(on ? 1 : 0);
        send(b, e);
    }
    void choose(int id, int index)
    {
        wxRadioBox* b = control<wxRadioBox>(id);
        ASSERT_NE(b, nullptr) << id;
        b->SetSelection(index);
        wxCommandEvent e(wxEVT_RADIOBOX, id);
        e.SetInt(index);
        send(b, e);
    }
    void spin(int id, bool up)
    {
        wxSpinEvent e(up ? wxEVT_SPIN_UP : wxEVT_SPIN_DOWN, id);
        send(control<wxSpinButton>(id), e);
    }
    wxString note() const { return g_pSettingsFrame->GetStatusBar()->GetStatusText(); }
    wxString usedLabel()
    {
        wxWindow* page = control<wxScrollBar>(ID_SETTINGS_USED_SCROLL)->GetParent();
        for (wxWindow* child : page->GetChildren())
            if (wxStaticText* t = wxDynamicCast(child, wxStaticText))
                if (t->GetLabel() != "Used volumes:")
                    return t->GetLabel();
        return wxString();
    }

    MainGLCanvas* view() const { return g_pMainFrame->myGLcanvas; }
    // Only the volume reaches the frame buffer: no box, no text, no
    // overlays, no drag.
    void volumeOnly()
    {
        volume.showBBox = false;
        volume.interacting = false;
        if (view()->font)
            view()->font->visible = false;
        view()->overlay.markerVisible = false;
        view()->overlay.colourBarVisible = false;
    }
    // One paint of the main view counted by a query of the given kind.
    GLuint countOnePaint(GLenum kind)
    {
        if (!view()->makeContextCurrent())
            return ~0u;
        GLuint q = 0;
        glGenQueries(1, &q);
        glBeginQuery(kind, q);
        view()->paintCycle();
        glEndQuery(kind);
        GLuint n = 0;
        glGetQueryObjectuiv(q, GL_QUERY_RESULT, &n);
        glDeleteQueries(1, &q);
        return n;
    }
    std::string writeVolume(const std::string& name, int nx, int ny, int nz,
                            unsigned char (*value)(int x, int y, int z))
    {
        SampleVolume v;
        v.nx = nx;
        v.ny = ny;
        v.nz = nz;
        v.data.resize(v.voxelCount());
        size_t i = 0;
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x)
                    v.data[i++] = value(x, y, z);
        const std::string path = tmp.file(name);
        return writeSampleVolume(v, path) ? path : std::string();
    }

    Settings saved;
    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
};

unsigned char evenGrey(int, int, int)
{
    return 200;
}

unsigned char centreBlock(int x, int y, int z)
{
    return (x >= 8 && x < 24 && y >= 8 && y < 16 && z >= 4 && z < 12) ? 255 : 0;
}

TEST_F(SettingsControlsTest, SlicesSliderSetsTheSlicesDrawn)
{
    start();
    const std::string data = writeVolume("grey.zvf", 32, 24, 16, evenGrey);
    ASSERT_TRUE(g_pMainFrame->openData(data));
    app->postCommand(ID_STYLE_3D_OAS);
    ASSERT_NE(openWindow(), nullptr);
    volumeOnly();

    // Object-aligned: one proxy polygon a slice; none below two slices, and
    // the window says why.
    const struct { int slices; GLuint polygons; const char* note; } oas[] = {
        {10, 10, ""},
        {2, 2, "Fewer than four slices: the volume is not drawn while the view turns."},
        {1, 0, "Fewer than two slices: the volume is not drawn."},
        {0, 0, "Fewer than two slices: the volume is not drawn."},
        {512, 512, ""}, {37, 37, ""}};
    for (const auto& c : oas) {
        moveSlider(ID_SETTINGS_SLICES_SLIDER, c.slices);
        EXPECT_EQ(volume.sampling, c.slices);
        EXPECT_EQ(volume.halfSampling, c.slices / 2);
        EXPECT_EQ(countOnePaint(GL_PRIMITIVES_GENERATED), c.polygons) << c.slices;
        EXPECT_EQ(note(), c.note) << c.slices;
    }
    // While the view turns with speed-up, half of them.
    volume.interacting = true;
    EXPECT_EQ(countOnePaint(GL_PRIMITIVES_GENERATED), 18u);
    volume.interacting = false;
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 3);
    EXPECT_EQ(note(), "Fewer than four slices: the volume is not drawn while the view turns.");
    tick(ID_SETTINGS_SPEEDUP, false);
    EXPECT_FALSE(view()->speedup);
    EXPECT_EQ(note(), "");
    tick(ID_SETTINGS_SPEEDUP, true);
    EXPECT_TRUE(view()->speedup);

    // The ray caster draws with any count, so the note follows the style.
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 0);
    EXPECT_NE(note(), "");
    app->postCommand(ID_STYLE_RAY_CASTING);
    EXPECT_EQ(note(), "");
    app->postCommand(ID_STYLE_3D_OAS);
    EXPECT_EQ(note(), "Fewer than two slices: the volume is not drawn.");
}

TEST_F(SettingsControlsTest, AlphaTestSliderModeAndCorrection)
{
    start();
    const std::string data = writeVolume("grey.zvf", 32, 24, 16, evenGrey);
    ASSERT_TRUE(g_pMainFrame->openData(data));
    // The ramps over the whole table, whose opacities between 0 and 255
    // the correction below changes (the load fitted a step at 200).
    std::string ramp;
    for (int c = 0; c < 4; ++c)
        ramp += "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n";
    ASSERT_TRUE(testsupport::writeFile(tmp.file("ramp.pal"), ramp));
    ASSERT_TRUE(g_pMainFrame->viewer.openPalette(tmp.file("ramp.pal")));
    app->postCommand(ID_STYLE_3D_OAS);
    ASSERT_NE(openWindow(), nullptr);
    volumeOnly();
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 16);

    // Fragments through the alpha test of one paint: every case of a known
    // answer (all or none) and what the window says about it.
    moveSlider(ID_SETTINGS_ALPHA_SLIDER, 0);
    choose(ID_SETTINGS_ALPHA_MODE, 0);
    const GLuint all = countOnePaint(GL_SAMPLES_PASSED);
    ASSERT_GT(all, 1000u);
    const struct { int value; int mode; GLenum func; bool passes; const char* note; } cases[] = {
        {255, 0, GL_GREATER, false, "Alpha test: no opacity is greater than 1, nothing is drawn."},
        {255, 2, GL_LESS, true, ""},
        {0, 2, GL_LESS, false, "Alpha test: no opacity is less than 0, nothing is drawn."},
        {0, 1, GL_EQUAL, false, "Alpha test: only opacity 0 passes, nothing is drawn."},
        {0, 0, GL_GREATER, true, ""},
    };
    for (const auto& c : cases) {
        moveSlider(ID_SETTINGS_ALPHA_SLIDER, c.value);
        choose(ID_SETTINGS_ALPHA_MODE, c.mode);
        EXPECT_EQ(volume.alphaThreshold, c.value / 255.0f);
        EXPECT_EQ(volume.alphaFunc, c.func);
        EXPECT_EQ(countOnePaint(GL_SAMPLES_PASSED), c.passes ? all : 0u) << c.value << " " << c.mode;
        EXPECT_EQ(note(), c.note) << c.value << " " << c.mode;
    }
    // Under maximum intensity a transparent fragment would still show.
    choose(ID_SETTINGS_ALPHA_MODE, 1);
    EXPECT_NE(note(), "");
    app->postCommand(ID_MAXIMUM);
    EXPECT_EQ(note(), "");
    app->postCommand(ID_BLEND);
    choose(ID_SETTINGS_ALPHA_MODE, 0);

    // Correction: 16 data slices over 64 drawn, slider at 128:
    // 1 - (127/255)^(1/4); the table's opacities are corrected the same way.
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 64);
    moveSlider(ID_SETTINGS_ALPHA_SLIDER, 128);
    ASSERT_NE(transfer, nullptr);
    const unsigned long uploads = transfer->getUploadCount();
    std::vector<unsigned char> before(transfer->getPalette(), transfer->getPalette() + 4 * 256);
    tick(ID_SETTINGS_ALPHA_CORRECTION, true);
    EXPECT_TRUE(volume.getAlphaCorrection());
    EXPECT_NEAR(volume.alphaThreshold, 0.15993f, 0.00005f);
    EXPECT_GT(transfer->getUploadCount(), uploads);
    const unsigned char* after = transfer->getPalette();
    int changed = 0;
    for (int i = 0; i < 256; ++i)
        changed += after[4 * i + 3] < before[4 * i + 3];
    EXPECT_GT(changed, 10);
    // A new slice count corrects again; the angle slider re-reads the others.
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 16);
    EXPECT_FLOAT_EQ(volume.alphaThreshold, 128.0f / 255.0f);
    volume.alphaThreshold = 0.9f;
    moveSlider(ID_SETTINGS_ANGLE_SLIDER, 20);
    EXPECT_FLOAT_EQ(volume.alphaThreshold, 128.0f / 255.0f);
    // No slices: uncorrected.
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 0);
    EXPECT_FLOAT_EQ(volume.alphaThreshold, 128.0f / 255.0f);
    tick(ID_SETTINGS_ALPHA_CORRECTION, false);
    EXPECT_FALSE(volume.getAlphaCorrection());
}

TEST_F(SettingsControlsTest, FilteringDepthTestIsoModeAndChannelRules)
{
    start();
    const std::string data = writeVolume("grey.zvf", 32, 24, 16, evenGrey);
    ASSERT_TRUE(g_pMainFrame->openData(data));
    app->postCommand(ID_STYLE_3D_OAS);
    ASSERT_NE(openWindow(), nullptr);
    ASSERT_NE(volume.tidVolume, 0u);
    ASSERT_NE(volume.tidz, nullptr);

    const auto filters = [&](GLint* min3D, GLint* mag3D, GLint* min2D) {
        ASSERT_TRUE(view()->makeContextCurrent());
        glBindTexture(GL_TEXTURE_3D, volume.tidVolume);
        glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, min3D);
        glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, mag3D);
        glBindTexture(GL_TEXTURE_2D, volume.tidz[0]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min2D);
    };
    for (int index : {0, 1, 0}) {
        choose(ID_SETTINGS_FILTERING, index);
        const GLint want = index == 0 ? GL_NEAREST : GL_LINEAR;
        EXPECT_EQ(textureFilter, static_cast<float>(want));
        GLint min3D = 0, mag3D = 0, min2D = 0;
        filters(&min3D, &mag3D, &min2D);
        EXPECT_EQ(min3D, want);
        EXPECT_EQ(mag3D, want);
        EXPECT_EQ(min2D, want);
    }

    tick(ID_SETTINGS_SWITCH_SLICES, false);
    EXPECT_FALSE(volume.switchSlices);
    ASSERT_TRUE(view()->makeContextCurrent());
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    tick(ID_SETTINGS_SWITCH_SLICES, true);
    EXPECT_TRUE(volume.switchSlices);
    ASSERT_TRUE(view()->makeContextCurrent());
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));

    if (cgReady) {
        ASSERT_TRUE(view()->makeContextCurrent());
        view()->paintCycle();
        EXPECT_EQ(cgBoundFragmentProgram(), PRG_POST3D);
        tick(ID_SETTINGS_ISO_MODE, true);
        EXPECT_TRUE(volume.isoMode);
        ASSERT_TRUE(view()->makeContextCurrent());
        view()->paintCycle();
        EXPECT_EQ(cgBoundFragmentProgram(), PRG_ISO_3D_POST);
        tick(ID_SETTINGS_ISO_MODE, false);
        ASSERT_TRUE(view()->makeContextCurrent());
        view()->paintCycle();
        EXPECT_EQ(cgBoundFragmentProgram(), PRG_POST3D);
    }

    // The channel rules wait for the next load.
    const int channels = volume.nbrChannels;
    choose(ID_SETTINGS_ALPHA_CALCULATION, 2);
    choose(ID_SETTINGS_GRADIENT_CALCULATION, 3);
    EXPECT_EQ(volume.getAlphaCalculation(), 2);
    EXPECT_EQ(volume.getGradientCalculation(), 3);
    EXPECT_EQ(volume.nbrChannels, channels);
    choose(ID_SETTINGS_ALPHA_CALCULATION, 0);
    EXPECT_EQ(volume.getAlphaCalculation(), 0);
}

TEST_F(SettingsControlsTest, ShowsTheFileItWasStartedWithAndSavesByteForByte)
{
    start(kPreparedSettings);
    g_pMainFrame->SetSize(30, 40, 700, 500);
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(control<wxSlider>(ID_SETTINGS_SLICES_SLIDER)->GetValue(), 200);
    EXPECT_EQ(control<wxSlider>(ID_SETTINGS_ALPHA_SLIDER)->GetValue(), 63); // trunc(0.25 x 255)
    EXPECT_EQ(control<wxRadioBox>(ID_SETTINGS_ALPHA_MODE)->GetSelection(), 1);
    EXPECT_EQ(control<wxRadioBox>(ID_SETTINGS_ALPHA_CALCULATION)->GetSelection(), 2);
    EXPECT_EQ(control<wxRadioBox>(ID_SETTINGS_GRADIENT_CALCULATION)->GetSelection(), 1);
    EXPECT_EQ(control<wxRadioBox>(ID_SETTINGS_FILTERING)->GetSelection(), 0);
    EXPECT_TRUE(control<wxCheckBox>(ID_SETTINGS_ALPHA_CORRECTION)->GetValue());
    EXPECT_FALSE(control<wxCheckBox>(ID_SETTINGS_SPEEDUP)->GetValue());
    EXPECT_TRUE(control<wxCheckBox>(ID_SETTINGS_AUTOSAVE)->GetValue());

    tick(ID_SETTINGS_ALPHA_CORRECTION, false);
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 100);
    moveSlider(ID_SETTINGS_ALPHA_SLIDER, 51);
    choose(ID_SETTINGS_ALPHA_MODE, 2);
    choose(ID_SETTINGS_ALPHA_CALCULATION, 0);
    choose(ID_SETTINGS_GRADIENT_CALCULATION, 3);
    choose(ID_SETTINGS_FILTERING, 1);
    tick(ID_SETTINGS_SPEEDUP, true);
    wxCommandEvent save(wxEVT_BUTTON, ID_SETTINGS_SAVE);
    send(g_pSettingsFrame->FindWindow(ID_SETTINGS_SAVE), save);
    const std::string saved = "Projection:\t0\r\n"
                              "Fps:\t0\r\n"
                              "BG Color:\t0.200000,0.400000,0.600000\r\n"
                              "Sampling:\t100\r\n"
                              "Aplha test:\t0.200000\r\n"
                              "Aplha mode:\t513\r\n"
                              "Visualization mode:\t3\r\n"
                              "Blending:\t1\r\n"
                              "BBox:\t0\r\n"
                              "Curve:\t1\r\n"
                              "Classification:\t2\r\n"
                              "Autosave:\t1\r\n"
                              "Size:\t700,500\r\n"
                              "Position:\t30,40\r\n"
                              "Speedup:\t1\r\n"
                              "AlphaCalculation:\t0\r\n"
                              "GradientCalculation:\t3\r\n"
                              "AlphaCorrection:\t0\r\n"
                              "Filtering:\t1";
    EXPECT_EQ(testsupport::readFile("glimra.ini"), saved);

    // Autosave off: the file keeps what it holds with Autosave 0, the
    // load-time settings return to the stored ones, and closing writes nothing.
    choose(ID_SETTINGS_FILTERING, 0);
    tick(ID_SETTINGS_AUTOSAVE, false);
    EXPECT_FALSE(g_pMainFrame->autosave);
    std::string off = saved;
    off.replace(off.find("Autosave:\t1"), 11, "Autosave:\t0");
    EXPECT_EQ(testsupport::readFile("glimra.ini"), off);
    EXPECT_EQ(textureFilter, 9729.0f);
    moveSlider(ID_SETTINGS_SLICES_SLIDER, 300);
    const std::string dir = tmp.file("run");
    ASSERT_TRUE(app->close());
    app.reset();
    EXPECT_EQ(testsupport::readFile(dir + "/glimra.ini"), off);
}

// "Save settings" says where the settings went, on the status line and in
// the log; when the file cannot be written it says why, in a box as well.
TEST_F(SettingsControlsTest, SaveSaysWhereTheSettingsWentOrWhyNot)
{
    start();
    ASSERT_NE(openWindow(), nullptr);
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const std::string where = "\"" + std::string(cwd) + "/glimra.ini\"";
    wxCommandEvent save(wxEVT_BUTTON, ID_SETTINGS_SAVE);
    send(g_pSettingsFrame->FindWindow(ID_SETTINGS_SAVE), save);
    const std::string saved = "Settings saved to " + where + ".";
    EXPECT_EQ(note().utf8_string(), saved);
    EXPECT_NE(app->log().find(saved + "\r\n"), std::string::npos) << app->log();
    EXPECT_TRUE(app->boxes().empty());
    EXPECT_EQ(testsupport::readFile("glimra.ini").rfind("Projection:\t", 0), 0u);

    // A folder where the file should be: nothing can be written there.
    ASSERT_EQ(std::remove("glimra.ini"), 0);
    ASSERT_EQ(::mkdir("glimra.ini", 0755), 0);
    send(g_pSettingsFrame->FindWindow(ID_SETTINGS_SAVE), save);
    const std::string refused = "The settings could not be saved to " + where + ": Is a directory.";
    EXPECT_EQ(note().utf8_string(), refused);
    EXPECT_NE(app->log().find(refused + "\r\n"), std::string::npos);
    EXPECT_EQ(app->boxes(), (std::vector<std::pair<std::string, std::string>>{{refused, "Warning"}}));
    ASSERT_EQ(::rmdir("glimra.ini"), 0);
}

TEST_F(SettingsControlsTest, SettingsOutsideTheControlsAreClampedAndShownSo)
{
    start();
    volume.setSampling(900);
    volume.alphaThreshold = 3.0f;
    volume.alphaFunc = GL_ALWAYS;
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(control<wxSlider>(ID_SETTINGS_SLICES_SLIDER)->GetValue(), 512);
    EXPECT_EQ(volume.sampling, 512);
    EXPECT_EQ(volume.halfSampling, 256);
    EXPECT_EQ(control<wxSlider>(ID_SETTINGS_ALPHA_SLIDER)->GetValue(), 255);
    EXPECT_EQ(volume.alphaThreshold, 1.0f);
    EXPECT_EQ(control<wxRadioBox>(ID_SETTINGS_ALPHA_MODE)->GetSelection(), 0);
    EXPECT_EQ(volume.alphaFunc, static_cast<GLenum>(GL_GREATER));
    // The clamped alpha test passes nothing, and the window says so.
    EXPECT_EQ(note(), "Alpha test: no opacity is greater than 1, nothing is drawn.");
    moveSlider(ID_SETTINGS_ALPHA_SLIDER, 254);
    EXPECT_EQ(note(), "");
    // Without a render target the angle slider offers 0 ... 90 at 15.
    wxSlider* angle = control<wxSlider>(ID_SETTINGS_ANGLE_SLIDER);
    EXPECT_EQ(angle->GetMin(), 0);
    EXPECT_EQ(angle->GetMax(), 90);
    EXPECT_EQ(angle->GetValue(), 15);
}

TEST_F(SettingsControlsTest, MaskSwitchesAndAngleReachTheRenderTarget)
{
    start();
    const std::string data = writeVolume("data.zvf", 32, 24, 16, centreBlock);
    const std::string mask = writeVolume("mask.zvf", 32, 24, 16, centreBlock);
    ASSERT_TRUE(g_pMainFrame->openData(data));
    ASSERT_NE(openWindow(), nullptr);
    ASSERT_TRUE(g_pMainFrame->loadMaskFile(mask));
    ASSERT_NE(volume.shiftTex, nullptr);
    // The load told the open window about the new target.
    wxSlider* angle = control<wxSlider>(ID_SETTINGS_ANGLE_SLIDER);
    EXPECT_EQ(angle->GetMax(), 89);
    EXPECT_EQ(angle->GetValue(), 15);

    moveSlider(ID_SETTINGS_ANGLE_SLIDER, 40);
    EXPECT_EQ(volume.shiftTex->angle, 40);
    EXPECT_NEAR(volume.shiftTex->tangent, 0.8391f, 0.0001f);
    tick(ID_SETTINGS_RENDER_MASK, false);
    EXPECT_FALSE(volume.shiftTex->enabled);
    tick(ID_SETTINGS_SHOW_SHIFT_TEX, true);
    EXPECT_TRUE(volume.shiftTex->show);
    tick(ID_SETTINGS_RENDER_MASK, true);
    EXPECT_TRUE(volume.shiftTex->enabled);
}

// A pyramid on screen: the styles that cannot stream it are greyed out and
// a saved one of them gives way to "3D Texture VAS" with the reason; the
// status line says what streams within which budget, and the memory field
// sets that budget. Other data bring the styles back.
TEST_F(SettingsControlsTest, PyramidGreysStylesAndTakesTheBrickMemoryField)
{
    start();
    const int size[3] = {32, 32, 32};
    std::string why;
    ASSERT_TRUE(testsupport::writePhantomPyramid(tmp.file("p.zarr"), size, VOXEL_UCHAR, 16, &why)) << why;
    const std::string data = writeVolume("data.zvf", 32, 24, 16, centreBlock);
    ASSERT_NE(openWindow(), nullptr);
    wxSpinCtrl* memory = control<wxSpinCtrl>(ID_SETTINGS_BRICK_MEMORY);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->GetMin(), 1);
    EXPECT_EQ(memory->GetMax(), 16777216);
    EXPECT_EQ(memory->GetValue(), brickMemoryFieldValue(g_pMainFrame->viewer.brickBudget()));

    g_pMainFrame->viewer.setStyle(DRAW_2D_TEXTURE);
    ASSERT_TRUE(g_pMainFrame->openData(tmp.file("p.zarr")));
    ASSERT_NE(g_pMainFrame->viewer.pyramidStream(), nullptr);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_3D_TEXTURE_VAS);
    EXPECT_NE(app->log().find("\"2D Texture\" cannot draw this pyramid: the 2-D stacks need every slice of "
                              "the volume whole; a pyramid streams 3-D bricks. Drawing \"3D Texture VAS\" "
                              "instead."),
              std::string::npos);
    wxMenuBar* bar = g_pMainFrame->GetMenuBar();
    for (int id : {ID_STYLE_2D, ID_STYLE_2D_MULTI, ID_STYLE_NORMAL_TEXTURE, ID_STYLE_NORMAL_FRAGMENT,
                   ID_STYLE_LIGHT_GRADMAG, ID_STYLE_LIGHT2, ID_STYLE_FOCUS_CONTEXT, ID_STYLE_MULTI_VOLUME})
        EXPECT_FALSE(bar->IsEnabled(id)) << id;
    for (int id : {ID_STYLE_3D_OAS, ID_STYLE_3D_VAS, ID_STYLE_RAY_CASTING})
        EXPECT_TRUE(bar->IsEnabled(id)) << id;

    memory->SetValue(64);
    wxSpinEvent e(wxEVT_SPINCTRL, ID_SETTINGS_BRICK_MEMORY);
    e.SetPosition(64);
    send(memory, e);
    EXPECT_EQ(g_pMainFrame->viewer.pyramidStream()->budget(), 64u << 20);
    EXPECT_EQ(note(), "Pyramid: \"3D Texture OAS\", \"3D Texture VAS\" and \"Ray Casting\" stream its bricks, "
                      "within 64 MB; the other styles are greyed out.");

    ASSERT_TRUE(g_pMainFrame->openData(data));
    EXPECT_EQ(g_pMainFrame->viewer.pyramidStream(), nullptr);
    for (int id : {ID_STYLE_2D, ID_STYLE_2D_MULTI, ID_STYLE_NORMAL_TEXTURE, ID_STYLE_LIGHT2, ID_STYLE_RAY_CASTING})
        EXPECT_TRUE(bar->IsEnabled(id)) << id;
    EXPECT_FALSE(bar->IsEnabled(ID_STYLE_FOCUS_CONTEXT));
    EXPECT_EQ(note(), "");
    // The budget set stays for the next pyramid.
    EXPECT_EQ(memory->GetValue(), 64);
}

TEST_F(SettingsControlsTest, UsedBandsOfMultiBandData)
{
    start();
    ASSERT_NE(openWindow(), nullptr);
    wxScrollBar* bar = control<wxScrollBar>(ID_SETTINGS_USED_SCROLL);
    ASSERT_NE(bar, nullptr);
    // No multi-band data: the range still moves and the label follows.
    EXPECT_EQ(usedLabel(), "0,..,10");
    EXPECT_EQ(bar->GetRange(), 11);
    spin(ID_SETTINGS_USED_START_SPIN, true);
    EXPECT_EQ(usedLabel(), "1,..,10");
    spin(ID_SETTINGS_USED_LENGTH_SPIN, true); // would pass the range
    EXPECT_EQ(usedLabel(), "1,..,10");

    if (!cgReady)
        GTEST_SKIP() << "multi-band data needs the shader programs";
    const std::string bands = guitest::writeSample(tmp, "multiband", "bands.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(bands));
    ASSERT_NE(volume.myMVolumeInfo, nullptr);
    EXPECT_EQ(usedLabel(), "0,..,5");
    EXPECT_EQ(bar->GetRange(), 6);
    EXPECT_EQ(bar->GetThumbSize(), 6);

    const struct { int id; bool up; const char* label; int first; int last; } steps[] = {
        {ID_SETTINGS_USED_START_SPIN, true, "1,..,5", 1, 5},
        {ID_SETTINGS_USED_LENGTH_SPIN, false, "1,..,4", 1, 4},
        {ID_SETTINGS_USED_START_SPIN, false, "0,..,4", 0, 4},
        {ID_SETTINGS_USED_LENGTH_SPIN, true, "0,..,5", 0, 5},
        {ID_SETTINGS_USED_LENGTH_SPIN, true, "0,..,5", 0, 5},
        {ID_SETTINGS_USED_START_SPIN, false, "0,..,5", 0, 5},
    };
    for (const auto& s : steps) {
        spin(s.id, s.up);
        EXPECT_EQ(usedLabel(), s.label);
        const float* w = volume.myMVolumeInfo->getWeights();
        for (int i = 0; i < MultiVolumeInfo::kWeightCount; ++i)
            EXPECT_EQ(w[i], (i >= s.first && i <= s.last) ? 1.0f : 0.0f) << s.label << " " << i;
        EXPECT_EQ(volume.myMVolumeInfo->getUsedWeights(), s.last - s.first + 1);
    }

    // The scroll bar: two bands from band 3.
    bar->SetScrollbar(3, 2, 6, 1);
    wxScrollEvent e(wxEVT_SCROLL_THUMBTRACK, ID_SETTINGS_USED_SCROLL, 3, wxHORIZONTAL);
    send(bar, e);
    EXPECT_EQ(usedLabel(), "3,..,4");
    const float* w = volume.myMVolumeInfo->getWeights();
    EXPECT_EQ(w[2], 0.0f);
    EXPECT_EQ(w[3], 1.0f);
    EXPECT_EQ(w[4], 1.0f);
    EXPECT_EQ(w[5], 0.0f);

    // A one-band load afterwards: the whole range again.
    const std::string one = writeVolume("one.zvf", 32, 24, 16, centreBlock);
    ASSERT_TRUE(g_pMainFrame->openData(one));
    EXPECT_EQ(usedLabel(), "0,..,10");
}

TEST_F(SettingsControlsTest, OneWindowThatEscapeAndExitClose)
{
    start();
    SettingsFrame* first = openWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetTitle(), "Settings");
    EXPECT_EQ(first->GetParent(), g_pMainFrame);
    EXPECT_EQ(first->GetWindowStyleFlag() & wxCLOSE_BOX, 0);
    EXPECT_EQ(first->GetPosition(), wxPoint(100, 15));
    ASSERT_NE(first->GetMenuBar(), nullptr);
    EXPECT_EQ(first->GetMenuBar()->GetMenuLabelText(0), "Close");
    EXPECT_EQ(first->GetMenuBar()->GetLabel(ID_SETTINGS_EXIT), "Exit");
    wxNotebook* book = control<wxNotebook>(ID_SETTINGS_NOTEBOOK);
    ASSERT_NE(book, nullptr);
    const char* pages[] = {"Sampling", "Aplha test", "Multispectral", "Multi Volume", "F&C", "Save"};
    ASSERT_EQ(book->GetPageCount(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(book->GetPageText(i), pages[i]) << i;
    EXPECT_EQ(book->GetSelection(), 0);

    // Labels, places and sizes of the controls as laid out; a control the
    // theme needs more room for grows, no control is smaller than listed.
    const struct { int id; const char* label; int x, y, w, h; } controls[] = {
        {ID_SETTINGS_SLICES_SLIDER, "", 10, 20, 250, 40},
        {ID_SETTINGS_SWITCH_SLICES, "Switching slices", 10, 70, 120, 20},
        {ID_SETTINGS_ALPHA_CORRECTION, "Alpha correction", 10, 90, 120, 20},
        {ID_SETTINGS_SPEEDUP, "Speed up (half sampling)", 10, 110, 150, 20},
        {ID_SETTINGS_FILTERING, "Filtering", 200, 60, 120, 60},
        {ID_SETTINGS_ISO_MODE, "Iso mode", 200, 125, 120, 20},
        {ID_SETTINGS_BRICK_MEMORY, "", 10, 150, 60, 20},
        {ID_SETTINGS_ALPHA_SLIDER, "", 10, 30, 200, 40},
        {ID_SETTINGS_ALPHA_MODE, "Mode", 10, 80, 210, 45},
        {ID_SETTINGS_ALPHA_CALCULATION, "Alpha calculation", 10, 10, 255, 40},
        {ID_SETTINGS_GRADIENT_CALCULATION, "Gradient calculation", 10, 60, 255, 40},
        {ID_SETTINGS_USED_START_SPIN, "", 10, 50, 26, 20},
        {ID_SETTINGS_USED_SCROLL, "", 20, 50, 250, 20},
        {ID_SETTINGS_USED_LENGTH_SPIN, "", 255, 50, 26, 20},
        {ID_SETTINGS_ANGLE_SLIDER, "", 10, 30, 200, 40},
        {ID_SETTINGS_RENDER_MASK, "Render mask", 10, 75, 150, 20},
        {ID_SETTINGS_SHOW_SHIFT_TEX, "Show shift texture", 10, 100, 150, 20},
        {ID_SETTINGS_SAVE, "Save settings", 10, 50, 100, 20},
        {ID_SETTINGS_AUTOSAVE, "Auto save settings", 10, 100, 150, 20},
    };
    for (const auto& c : controls) {
        wxWindow* w = first->FindWindow(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        if (*c.label) {
            EXPECT_EQ(w->GetLabel(), c.label) << c.id;
        }
        // Sizers place them (the listed places overlap under the theme's
        // sizes): in the listed order down each page, at the listed size
        // or larger.
        const wxSize best = w->GetBestSize();
        EXPECT_GE(w->GetSize().x, std::max(c.w, best.x)) << c.id;
        EXPECT_GE(w->GetSize().y, std::min(c.h, best.y)) << c.id;
        EXPECT_GE(w->GetPosition().x, 4) << c.id;
        EXPECT_GE(w->GetPosition().y, 4) << c.id;
    }
    auto pos = [&](int id) { return first->FindWindow(id)->GetPosition(); };
    EXPECT_LT(pos(ID_SETTINGS_SLICES_SLIDER).y, pos(ID_SETTINGS_SWITCH_SLICES).y);
    EXPECT_LT(pos(ID_SETTINGS_SWITCH_SLICES).y, pos(ID_SETTINGS_ALPHA_CORRECTION).y);
    EXPECT_LT(pos(ID_SETTINGS_ALPHA_CORRECTION).y, pos(ID_SETTINGS_SPEEDUP).y);
    EXPECT_GT(pos(ID_SETTINGS_FILTERING).x, pos(ID_SETTINGS_SPEEDUP).x + 150);
    EXPECT_LT(pos(ID_SETTINGS_FILTERING).y, pos(ID_SETTINGS_ISO_MODE).y);
    EXPECT_GT(pos(ID_SETTINGS_BRICK_MEMORY).y, pos(ID_SETTINGS_SPEEDUP).y);
    EXPECT_LT(pos(ID_SETTINGS_ALPHA_SLIDER).y, pos(ID_SETTINGS_ALPHA_MODE).y);
    EXPECT_LT(pos(ID_SETTINGS_ALPHA_CALCULATION).y, pos(ID_SETTINGS_GRADIENT_CALCULATION).y);
    EXPECT_LT(pos(ID_SETTINGS_USED_START_SPIN).x, pos(ID_SETTINGS_USED_SCROLL).x);
    EXPECT_LT(pos(ID_SETTINGS_USED_SCROLL).x, pos(ID_SETTINGS_USED_LENGTH_SPIN).x);
    EXPECT_LT(pos(ID_SETTINGS_ANGLE_SLIDER).y, pos(ID_SETTINGS_RENDER_MASK).y);
    EXPECT_LT(pos(ID_SETTINGS_RENDER_MASK).y, pos(ID_SETTINGS_SHOW_SHIFT_TEX).y);
    EXPECT_LT(pos(ID_SETTINGS_SAVE).y, pos(ID_SETTINGS_AUTOSAVE).y);
    // The window is at least as large as asked and grows until each page
    // holds its controls whole.
    EXPECT_GE(first->GetSize().x, 380);
    EXPECT_GE(first->GetSize().y, 220);
    for (size_t i = 0; i < book->GetPageCount(); ++i) {
        book->SetSelection(i);
        guitest::InProcessGlimra::pump(20);
        wxWindow* page = book->GetPage(i);
        const wxRect area(wxPoint(0, 0), page->GetClientSize());
        for (wxWindow* child : page->GetChildren())
            EXPECT_TRUE(area.Contains(child->GetRect()))
                << i << " " << child->GetId() << " " << child->GetLabel() << " in " << area.width << "x"
                << area.height;
    }
    book->SetSelection(0);

    const struct { int id; std::vector<const char*> items; } radios[] = {
        {ID_SETTINGS_FILTERING, {"Nearest", "Linear"}},
        {ID_SETTINGS_ALPHA_MODE, {"Greater", "Equal", "Less"}},
        {ID_SETTINGS_ALPHA_CALCULATION, {"One", "Average", "Maximum"}},
        {ID_SETTINGS_GRADIENT_CALCULATION, {"R", "G", "B", "A", "Aver."}},
    };
    for (const auto& r : radios) {
        wxRadioBox* box = control<wxRadioBox>(r.id);
        ASSERT_EQ(box->GetCount(), r.items.size()) << r.id;
        for (size_t i = 0; i < r.items.size(); ++i)
            EXPECT_EQ(box->GetString(i), r.items[i]) << r.id;
    }

    // The command again: the same window, shown and in front.
    first->Show(false);
    EXPECT_EQ(openWindow(), first);
    EXPECT_TRUE(first->IsShown());
    int named = 0;
    for (wxWindow* w : wxTopLevelWindows)
        named += w->GetLabel() == "Settings";
    EXPECT_EQ(named, 1);

    // Escape on any control closes it; the registry forgets it.
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    send(first->FindWindow(ID_SETTINGS_SAVE), escape);
    guitest::InProcessGlimra::pump(50);
    EXPECT_EQ(g_pSettingsFrame, nullptr);
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i)
        EXPECT_STRNE(g_garbageCollector.record(i).name, "g_pSettingsFrame");

    // A new one after that, closed by its "Exit".
    SettingsFrame* second = openWindow();
    ASSERT_NE(second, nullptr);
    wxCommandEvent exit(wxEVT_MENU, ID_SETTINGS_EXIT);
    send(second, exit);
    guitest::InProcessGlimra::pump(50);
    EXPECT_EQ(g_pSettingsFrame, nullptr);

    // Open at shutdown: the main window takes it along, and the registry's
    // report of leftovers does not name it.
    ASSERT_NE(openWindow(), nullptr);
    ASSERT_TRUE(app->close());
    EXPECT_EQ(g_pSettingsFrame, nullptr);
    const std::string log = app->log();
    EXPECT_NE(log.find("---GARBAGE COLLECTOR---"), std::string::npos);
    EXPECT_EQ(log.find("g_pSettingsFrame"), std::string::npos);
}

} // namespace
