// The real windows driven by a seeded random sequence of what users do:
// menu commands by id, drags and keys in the view and in the editor, good
// and damaged data, masks, palettes and settings files, the tool windows
// opened, used and closed, the windows resized. After every step the data
// on screen must be those of the last file that opened: a refused file
// changes nothing.
//
// SOAK_SECONDS (default 3) is how long each seed runs; SOAK_SEEDS a list of
// seeds (default: the ones kept in tests/soak/seeds.txt, and 1). The
// sanitizer build under `make soak` runs it for minutes; `make test` replays
// the kept seeds for a few seconds each. Every step is logged with the seed,
// so a failing sequence can be read back.
#include "canvas_main.h"
#include "canvas_transfer.h"
#include "command_ids.h"
#include "gui_support.h"
#include "load.h"
#include "menu_main.h"
#include "menu_settings.h"
#include "menu_transfer.h"
#include "test_support.h"
#include "transfer_editor.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <wx/wx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Main-window commands that open no modal dialog.
const int kMainCommands[] = {
    ID_PERSPECTIVE, ID_ORTHOGONAL, ID_VIEW_FRONT, ID_VIEW_BACK, ID_VIEW_LEFT, ID_VIEW_RIGHT, ID_VIEW_TOP,
    ID_VIEW_BOTTOM, ID_FRAME_RATE, ID_TRANSFER_FUNCTION, ID_SETTINGS, ID_STYLE_2D, ID_STYLE_2D_MULTI,
    ID_STYLE_3D_OAS, ID_STYLE_3D_VAS, ID_STYLE_NORMAL_TEXTURE, ID_STYLE_NORMAL_FRAGMENT, ID_STYLE_LIGHT_GRADMAG,
    ID_STYLE_LIGHT2, ID_STYLE_RAY_CASTING, ID_STYLE_FOCUS_CONTEXT, ID_STYLE_MULTI_VOLUME, ID_BLEND, ID_MAXIMUM,
    ID_MINIMUM, ID_SHOW_BBOX, ID_SHOW_VOLUME, ID_SHOW_SLICES, ID_SHOW_BRICKS, ID_RELOAD, ID_CREATE_CLIP_PLANE,
    ID_DELETE_ALL_PLANES, ID_DATA_INFO};
const int kPlaneCommands[] = {CLIP_INVERT, CLIP_ROTATE, CLIP_TRANSLATE, CLIP_RESET, CLIP_DRAW, CLIP_DELETE};
// Editor commands without a file dialog.
const int kEditorCommands[] = {ID_TF_RESET_ALL,          ID_TF_RESET_SELECTED,      ID_TF_READ_HEADER,
                               ID_TF_PRE_CLASSIFICATION, ID_TF_POST_CLASSIFICATION, ID_TF_PRE_INTEGRATION,
                               ID_TF_SHOW_FUNCTION,      ID_TF_SHOW_GRID,           ID_TF_SHOW_PALETTE,
                               ID_TF_SHOW_HULL};
// Keys (Escape closes a tool window; in the main window it is "Exit").
const int kKeys[] = {WXK_LEFT, WXK_RIGHT, WXK_UP, WXK_DOWN, '+', '-', 'r', 'R', 'z', 'Z', 'x', 's', 'p',
                     WXK_DELETE, WXK_PAGEUP, WXK_PAGEDOWN, ' ', WXK_ESCAPE};

// What is on screen: the state a refused file must leave alone.
struct Shown
{
    std::string info;
    int resolution[3];
    GLuint texture;
    bool isData;
    bool operator==(const Shown& o) const
    {
        return info == o.info && resolution[0] == o.resolution[0] && resolution[1] == o.resolution[1] &&
               resolution[2] == o.resolution[2] && texture == o.texture && isData == o.isData;
    }
};

Shown shown()
{
    return {g_pMainFrame->dataInfo,
            {volume.resolution[0], volume.resolution[1], volume.resolution[2]},
            volume.tidVolume,
            volume.isData};
}

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> files;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                files.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

class Soak : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        prepareFiles();
    }

    // Good volumes (samples written here, and the shared data sets where
    // they are), damaged ones from the fuzz corpora, masks, palettes and
    // settings files.
    void prepareFiles()
    {
        for (const char* s : {"phantom", "bucky", "multiband", "types-int16", "types-float"}) {
            const std::string path = guitest::writeSample(tmp, s, std::string(s) + ".zvf");
            if (!path.empty())
                good.push_back(path);
        }
        masks.push_back(guitest::writeSample(tmp, "phantom-mask", "mask.zvf"));
        const std::string data = testsupport::dataDir();
        if (!data.empty())
            for (const char* f : {"/nucleon.dat", "/formats/MR_small.dcm", "/formats/anatomical.nii",
                                  "/formats/example4d.nii.gz"})
                if (testsupport::fileExists(data + f))
                    good.push_back(data + f);
        const std::string corpus = std::string(GLIMRA_SOURCE_DIR) + "/tests/fuzz/corpus/";
        const char* const foreignNames[] = {".nii", ".nii.gz", ".nrrd", ".mha", ".dcm", ".tif", ".dcm"};
        int n = 0;
        for (const std::string& f : filesIn(corpus + "load_zvf")) {
            const std::string to = tmp.file("bad" + std::to_string(n++) + ".zvf");
            testsupport::writeFile(to, testsupport::readFile(f));
            damaged.push_back(to);
        }
        for (const std::string& f : filesIn(corpus + "load_foreign")) {
            const std::string bytes = testsupport::readFile(f);
            if (bytes.empty())
                continue;
            const std::string to =
                tmp.file("bad" + std::to_string(n++) + foreignNames[static_cast<unsigned char>(bytes[0]) % 7]);
            testsupport::writeFile(to, bytes.substr(1));
            damaged.push_back(to);
        }
        damaged.push_back(tmp.file("absent.zvf"));
        palettes = filesIn(corpus + "palette");
        settingsFiles = filesIn(corpus + "settings");
    }

    template <typename T> const T& pick(const std::vector<T>& v) { return v[random() % v.size()]; }
    template <typename T, size_t N> T pick(const T (&a)[N]) { return a[random() % N]; }
    int between(int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); }

    void note(const std::string& step)
    {
        ++steps;
        SCOPED_TRACE(step);
        trail << step << "\n";
    }

    void mouseOn(wxWindow* w, wxEventType type, int x, int y, bool left, bool right, bool shift)
    {
        wxMouseEvent e(type);
        e.m_x = x;
        e.m_y = y;
        e.m_leftDown = left;
        e.m_rightDown = right;
        e.m_shiftDown = shift;
        e.SetEventObject(w);
        w->GetEventHandler()->ProcessEvent(e);
    }
    void drag(wxWindow* w)
    {
        const wxSize size = w->GetClientSize();
        const bool right = random() % 3 == 0, shift = random() % 4 == 0;
        int x = between(0, std::max(1, size.x)), y = between(0, std::max(1, size.y));
        mouseOn(w, right ? wxEVT_RIGHT_DOWN : wxEVT_LEFT_DOWN, x, y, !right, right, shift);
        for (int i = between(1, 6); i > 0; --i) {
            x += between(-40, 40);
            y += between(-40, 40);
            mouseOn(w, wxEVT_MOTION, x, y, !right, right, shift);
        }
        mouseOn(w, right ? wxEVT_RIGHT_UP : wxEVT_LEFT_UP, x, y, false, false, shift);
    }
    void keyOn(wxWindow* w, bool escape)
    {
        wxKeyEvent e(random() % 2 ? wxEVT_CHAR : wxEVT_KEY_DOWN);
        const size_t keys = sizeof kKeys / sizeof kKeys[0] - (escape ? 0 : 1);
        e.m_keyCode = kKeys[random() % keys];
        e.m_controlDown = random() % 5 == 0;
        e.m_shiftDown = random() % 5 == 0;
        e.SetEventObject(w);
        w->GetEventHandler()->ProcessEvent(e);
    }

    // One action and the checks after it.
    void step()
    {
        TransferFrame* editor = transferFrame();
        switch (random() % 12) {
        case 0:
        case 1: {
            const int id = pick(kMainCommands);
            note("command " + std::to_string(id));
            app->postCommand(id);
            break;
        }
        case 2: {
            const int id = clipPlaneCommandId(between(1, 6), pick(kPlaneCommands));
            note("plane command " + std::to_string(id));
            app->postCommand(id);
            break;
        }
        case 3:
            note("drag in the view");
            if (g_pMainFrame->myGLcanvas)
                drag(g_pMainFrame->myGLcanvas);
            break;
        case 4:
            note("key in the view");
            if (g_pMainFrame->myGLcanvas)
                keyOn(g_pMainFrame->myGLcanvas, false);
            break;
        case 5: {
            const bool bad = random() % 2 == 0;
            const std::string path = bad ? pick(damaged) : pick(good);
            note("open " + path);
            const Shown before = shown();
            app->boxes().clear();
            if (!g_pMainFrame->openData(path)) {
                EXPECT_TRUE(shown() == before) << "a refused file changed the data on screen: " << path;
                EXPECT_EQ(app->boxes().size(), 1u) << path;
            } else {
                EXPECT_FALSE(bad && path.find("absent") != std::string::npos);
            }
            break;
        }
        case 6: {
            const std::string path = random() % 2 ? pick(masks) : pick(damaged);
            note("mask " + path);
            const Shown before = shown();
            if (!g_pMainFrame->loadMaskFile(path)) {
                EXPECT_TRUE(shown() == before) << "a refused mask changed the data on screen: " << path;
            }
            break;
        }
        case 7:
            if (!settingsFiles.empty()) {
                const std::string path = pick(settingsFiles);
                note("settings " + path);
                g_pMainFrame->viewer.readSettings(path);
            }
            break;
        case 8:
            if (editor && !palettes.empty()) {
                const std::string path = pick(palettes);
                note("palette " + path);
                editor->readPaletteFile(path);
            } else {
                note("editor opened");
                app->postCommand(ID_TRANSFER_FUNCTION);
            }
            break;
        case 9:
            if (editor && editor->myGLcanvas) {
                const int what = random() % 4;
                note("editor action " + std::to_string(what));
                if (what == 0)
                    drag(editor->myGLcanvas);
                else if (what == 1)
                    keyOn(editor->myGLcanvas, true);
                else if (what == 2) {
                    wxCommandEvent e(wxEVT_MENU, pick(kEditorCommands));
                    editor->GetEventHandler()->ProcessEvent(e);
                } else {
                    const int id = random() % 3 == 0 ? ID_TF_ZOOM : random() % 2 ? ID_TF_PAN : ID_TF_HISTOGRAM_SCALE;
                    if (wxSlider* s = static_cast<wxSlider*>(editor->FindWindow(id))) {
                        s->SetValue(between(s->GetMin(), s->GetMax()));
                        wxCommandEvent e(wxEVT_SLIDER, id);
                        e.SetInt(s->GetValue());
                        editor->GetEventHandler()->ProcessEvent(e);
                    }
                }
            }
            break;
        case 10: {
            const int what = random() % 4;
            note("windows " + std::to_string(what));
            if (what == 0)
                g_pMainFrame->SetSize(between(200, 900), between(150, 700));
            else if (what == 1 && editor)
                editor->SetSize(between(300, 900), between(250, 700));
            else if (what == 2 && editor) {
                wxCommandEvent e(wxEVT_MENU, ID_TF_EXIT);
                editor->GetEventHandler()->ProcessEvent(e);
            } else if (g_pSettingsFrame) {
                wxCommandEvent e(wxEVT_MENU, ID_SETTINGS_EXIT);
                g_pSettingsFrame->GetEventHandler()->ProcessEvent(e);
            }
            break;
        }
        default:
            note("idle");
            break;
        }
        guitest::InProcessGlimra::pump(between(5, 40));
        ASSERT_NE(g_pMainFrame, nullptr) << "the main window went away";
    }

    void runSeed(unsigned seed, double seconds)
    {
        random.seed(seed);
        trail.str("");
        app.reset(new guitest::InProcessGlimra({}, tmp.file("run" + std::to_string(seed))));
        ASSERT_TRUE(app->started());
        ASSERT_TRUE(g_pMainFrame->openData(good.front()));
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end && !HasFailure())
            step();
        EXPECT_TRUE(app->close());
        app.reset();
        if (HasFailure())
            std::fprintf(stderr, "soak seed %u failed after these steps:\n%s", seed, trail.str().c_str());
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
    std::mt19937 random;
    std::vector<std::string> good, damaged, masks, palettes, settingsFiles;
    std::ostringstream trail; // the steps of the running seed
    long steps = 0;           // steps of all seeds
};

} // namespace

TEST_F(Soak, RandomUserActionsLeaveTheProgramRunningAndRefusalsChangeNothing)
{
    const char* secondsText = std::getenv("SOAK_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : 3.0;
    std::vector<unsigned> seeds;
    if (const char* list = std::getenv("SOAK_SEEDS")) {
        std::istringstream in(list);
        for (unsigned s; in >> s;)
            seeds.push_back(s);
    } else {
        std::istringstream kept(testsupport::readFile(std::string(GLIMRA_SOURCE_DIR) + "/tests/soak/seeds.txt"));
        for (std::string line; std::getline(kept, line);)
            if (!line.empty() && line[0] != '#')
                seeds.push_back(static_cast<unsigned>(std::strtoul(line.c_str(), nullptr, 10)));
        seeds.push_back(1);
    }
    const auto start = std::chrono::steady_clock::now();
    for (unsigned seed : seeds) {
        runSeed(seed, seconds);
        if (HasFailure())
            break;
    }
    const double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60.0;
    std::printf("soak: %zu seeds, %ld actions in %.1f min, %.0f actions per minute\n", seeds.size(), steps, minutes,
                minutes > 0 ? steps / minutes : 0.0);
}
