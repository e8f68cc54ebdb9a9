// The main window's menu commands, posted to the real window started in-process:
// the state each command leaves behind, the check marks and the picture.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "my_cg.h"
#include "plane.h"
#include "render_mode.h"
#include "running_settings.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "text_overlay.h"
#include "transfer_function.h"
#include "view_overlay.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <wx/menu.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {


class MenuCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        app.reset(new guitest::InProcessGlimra({}, tmp.file("run")));
        ASSERT_TRUE(app->started());
        ASSERT_NE(g_pMainFrame, nullptr);
        bar = g_pMainFrame->GetMenuBar();
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }

    bool checked(int id) const { return bar->IsChecked(id); }
    bool enabled(int id) const { return bar->IsEnabled(id); }
    bool hasItem(int id) const { return g_pMainFrame->clippingMenu->FindChildItem(id) != nullptr; }
    // The view's projection matrix is a perspective one (w takes -z).
    bool perspectiveMatrixInUse() const
    {
        MainGLCanvas* c = g_pMainFrame->myGLcanvas;
        if (!c || !c->makeContextCurrent())
            return false;
        float m[16];
        glGetFloatv(GL_PROJECTION_MATRIX, m);
        return m[11] == -1.0f && m[15] == 0.0f;
    }

    // One paint of the main view, read back from its back buffer.
    std::vector<unsigned char> picture()
    {
        return guitest::mainViewPicture();
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
    wxMenuBar* bar = nullptr;
};

TEST_F(MenuCommands, DrawStyleBlendingVisibilityAndFrameRate)
{
    struct { int id; int style; } styles[] = {
        {ID_STYLE_2D_MULTI, 2}, {ID_STYLE_3D_OAS, 3}, {ID_STYLE_3D_VAS, 4},
        {ID_STYLE_NORMAL_TEXTURE, 9}, {ID_STYLE_NORMAL_FRAGMENT, 10},
        {ID_STYLE_LIGHT_GRADMAG, 11}, {ID_STYLE_LIGHT2, 12}, {ID_STYLE_RAY_CASTING, 5},
        {ID_STYLE_MULTI_VOLUME, 13}, {ID_STYLE_2D, 1}};
    for (const auto& s : styles) {
        app->postCommand(s.id);
        EXPECT_EQ(RenderMode::instance().getDrawStyle(), s.style) << s.id;
        EXPECT_TRUE(checked(s.id)) << s.id;
    }
    app->postCommand(ID_STYLE_3D_OAS);
    EXPECT_EQ(RenderMode::instance().getSlicing(), SLICING_3D_OBJECT_ALIGNED);
    app->postCommand(ID_STYLE_3D_VAS);
    EXPECT_EQ(RenderMode::instance().getSlicing(), SLICING_3D_VIEW_ALIGNED);
    EXPECT_FALSE(checked(ID_STYLE_3D_OAS));
    app->postCommand(ID_STYLE_2D);
    EXPECT_EQ(RenderMode::instance().getSlicing(), SLICING_2D_STACKS);

    // Focus and context switches to orthographic projection and moves the mark.
    ASSERT_TRUE(checked(ID_PERSPECTIVE));
    ASSERT_TRUE(volume.perspective);
    app->postCommand(ID_STYLE_FOCUS_CONTEXT);
    EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_FOCUS_CONTEXT);
    EXPECT_FALSE(volume.perspective);
    EXPECT_FALSE(perspectiveMatrixInUse());
    EXPECT_TRUE(checked(ID_ORTHOGONAL));
    EXPECT_FALSE(checked(ID_PERSPECTIVE));
    app->postCommand(ID_STYLE_2D);

    app->postCommand(ID_MAXIMUM);
    EXPECT_EQ(volume.getBlending(), BLENDING_MAXIMUM);
    EXPECT_TRUE(checked(ID_MAXIMUM));
    app->postCommand(ID_MINIMUM);
    EXPECT_EQ(volume.getBlending(), BLENDING_MINIMUM);
    EXPECT_TRUE(checked(ID_MINIMUM));
    EXPECT_FALSE(checked(ID_MAXIMUM));
    app->postCommand(ID_BLEND);
    EXPECT_EQ(volume.getBlending(), BLENDING_COMPOSITE);
    EXPECT_TRUE(checked(ID_BLEND));

    const bool bbox = volume.showBBox, vol = volume.showVolume, slices = volume.showSlices,
               bricks = volume.showBricks;
    app->postCommand(ID_SHOW_BBOX);
    app->postCommand(ID_SHOW_VOLUME);
    app->postCommand(ID_SHOW_SLICES);
    app->postCommand(ID_SHOW_BRICKS);
    EXPECT_EQ(volume.showBBox, !bbox);
    EXPECT_EQ(volume.showVolume, !vol);
    EXPECT_EQ(volume.showSlices, !slices);
    EXPECT_EQ(volume.showBricks, !bricks);
    EXPECT_EQ(checked(ID_SHOW_BBOX), volume.showBBox);
    EXPECT_EQ(checked(ID_SHOW_VOLUME), volume.showVolume);
    EXPECT_EQ(checked(ID_SHOW_SLICES), volume.showSlices);
    EXPECT_EQ(checked(ID_SHOW_BRICKS), volume.showBricks);
    app->postCommand(ID_SHOW_BBOX);
    EXPECT_EQ(volume.showBBox, bbox);
    app->postCommand(ID_SHOW_VOLUME);
    app->postCommand(ID_SHOW_SLICES);
    app->postCommand(ID_SHOW_BRICKS);

    TextOverlay* font = g_pMainFrame->myGLcanvas->font;
    ASSERT_NE(font, nullptr);
    const bool shown = font->visible;
    app->postCommand(ID_FRAME_RATE);
    EXPECT_EQ(font->visible, !shown);
    EXPECT_EQ(checked(ID_FRAME_RATE), font->visible);
    app->postCommand(ID_FRAME_RATE);
    EXPECT_EQ(font->visible, shown);
}

// Pixels of the view (bottom row first) in columns [x0, x1), rows [y0, y1)
// that are not the background's black.
int drawnIn(const std::vector<unsigned char>& px, int width, int x0, int x1, int y0, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const unsigned char* p = &px[(static_cast<size_t>(y) * width + x) * 4];
            n += (p[0] | p[1] | p[2]) != 0;
        }
    return n;
}

TEST_F(MenuCommands, OverlaysSwitchedFromTheViewMenuAndKept)
{
    MainGLCanvas* c = g_pMainFrame->myGLcanvas;
    ASSERT_NE(c, nullptr);
    g_pMainFrame->setBackground(0.0f, 0.0f, 0.0f);
    // The marker needs data to orient.
    testsupport::TempDir dataDir;
    const std::string data = guitest::writeSample(dataDir, "types-uchar", "small.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(data));
    // The marker is on and the bar off in a first run.
    EXPECT_TRUE(checked(ID_ORIENTATION_MARKER));
    EXPECT_FALSE(checked(ID_COLOUR_BAR));
    EXPECT_TRUE(c->overlay.markerVisible);
    EXPECT_FALSE(c->overlay.colourBarVisible);
    const OverlayLayout l = overlayLayout(c->width, c->height);
    const int m = l.markerSize;
    std::vector<unsigned char> px = picture();
    EXPECT_GT(drawnIn(px, c->width, l.markerX, l.markerX + m, l.markerY, l.markerY + m), 20);
    EXPECT_EQ(drawnIn(px, c->width, l.barX, l.barX + l.barWidth, l.barY, l.barY + l.barHeight), 0);

    app->postCommand(ID_ORIENTATION_MARKER);
    app->postCommand(ID_COLOUR_BAR);
    EXPECT_FALSE(checked(ID_ORIENTATION_MARKER));
    EXPECT_TRUE(checked(ID_COLOUR_BAR));
    px = picture();
    EXPECT_EQ(drawnIn(px, c->width, l.markerX, l.markerX + m, l.markerY, l.markerY + m), 0);
    // The bar's colour strip: the palette's first entry at the bottom, its
    // last at the top.
    ASSERT_NE(transfer, nullptr);
    const unsigned char* low = transfer->getPalette();
    const unsigned char* high = low + 4 * (transfer->getTableSize() - 1);
    const unsigned char* bottom = &px[(static_cast<size_t>(l.barY) * c->width + l.barX + 2) * 4];
    const unsigned char* top =
        &px[(static_cast<size_t>(l.barY + l.barHeight - 1) * c->width + l.barX + 2) * 4];
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(bottom[k], low[k]) << k;
        EXPECT_EQ(top[k], high[k]) << k;
    }
    // Kept beside the settings file for the next run.
    EXPECT_EQ(testsupport::readFile(tmp.file("run") + "/glimra-view.txt"), "Marker:\t0\r\nColourBar:\t1\r\n");
    app->postCommand(ID_ORIENTATION_MARKER);
    app->postCommand(ID_COLOUR_BAR);
    EXPECT_TRUE(c->overlay.markerVisible);
    EXPECT_FALSE(c->overlay.colourBarVisible);
    EXPECT_EQ(testsupport::readFile(tmp.file("run") + "/glimra-view.txt"), "Marker:\t1\r\nColourBar:\t0\r\n");
}

TEST_F(MenuCommands, MaximumIntensityChangesThePicture)
{
    const std::string data = guitest::writeSample(tmp, "types-uchar", "data.zvf");
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(g_pMainFrame->openData(data));
    ASSERT_TRUE(volume.isData);
    app->postCommand(ID_BLEND);
    const std::vector<unsigned char> blended = picture();
    ASSERT_FALSE(blended.empty());
    app->postCommand(ID_MAXIMUM);
    const std::vector<unsigned char> maximum = picture();
    ASSERT_EQ(blended.size(), maximum.size());
    size_t differing = 0;
    for (size_t i = 0; i < blended.size(); i += 4)
        if (blended[i] != maximum[i] || blended[i + 1] != maximum[i + 1] ||
            blended[i + 2] != maximum[i + 2])
            ++differing;
    EXPECT_GT(differing, 100u);
    app->postCommand(ID_BLEND);
}

TEST_F(MenuCommands, ProjectionAndViewPresets)
{
    app->postCommand(ID_ORTHOGONAL);
    EXPECT_FALSE(volume.perspective);
    EXPECT_FALSE(perspectiveMatrixInUse());
    EXPECT_TRUE(checked(ID_ORTHOGONAL));
    app->postCommand(ID_PERSPECTIVE);
    EXPECT_TRUE(volume.perspective);
    EXPECT_TRUE(perspectiveMatrixInUse());
    EXPECT_TRUE(checked(ID_PERSPECTIVE));

    app->postCommand(ID_VIEW_FRONT);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(volume.rotation[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-6f) << i;
    ASSERT_EQ(g_pMainFrame->createClipPlane(), 1);

    // Back: 180 degrees about the vertical axis, the plane turned with the data.
    app->postCommand(ID_VIEW_BACK);
    EXPECT_NEAR(volume.rotation[0], -1.0f, 1e-6f);
    EXPECT_NEAR(volume.rotation[5], 1.0f, 1e-6f);
    EXPECT_NEAR(volume.rotation[10], -1.0f, 1e-6f);
    ClipPlane* p = clipPlanes.plane(1);
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(p->matrix[0], -1.0f, 1e-5f);
    EXPECT_NEAR(p->matrix[10], -1.0f, 1e-5f);

    // Left: 90 about y maps x to -z (column 0 is (0, 0, -1)).
    app->postCommand(ID_VIEW_LEFT);
    EXPECT_NEAR(volume.rotation[0], 0.0f, 1e-6f);
    EXPECT_NEAR(volume.rotation[2], -1.0f, 1e-6f);
    app->postCommand(ID_VIEW_RIGHT);
    EXPECT_NEAR(volume.rotation[2], 1.0f, 1e-6f);
    // Top: 90 about x maps y to z.
    app->postCommand(ID_VIEW_TOP);
    EXPECT_NEAR(volume.rotation[5], 0.0f, 1e-6f);
    EXPECT_NEAR(volume.rotation[6], 1.0f, 1e-6f);
    app->postCommand(ID_VIEW_BOTTOM);
    EXPECT_NEAR(volume.rotation[6], -1.0f, 1e-6f);
    app->postCommand(ID_VIEW_FRONT);
    EXPECT_NEAR(volume.rotation[0], 1.0f, 1e-6f);
    app->postCommand(ID_DELETE_ALL_PLANES);
}

TEST_F(MenuCommands, ClipPlaneSubmenus)
{
    for (int n = 1; n <= 6; ++n)
        app->postCommand(ID_CREATE_CLIP_PLANE);
    EXPECT_EQ(clipPlanes.count, 6);
    for (int n = 1; n <= 6; ++n) {
        ASSERT_TRUE(hasItem(ID_CLIP_PLANE_MENU_BASE + n)) << n;
        wxMenuItem* sub = g_pMainFrame->clippingMenu->FindChildItem(ID_CLIP_PLANE_MENU_BASE + n);
        EXPECT_EQ(sub->GetItemLabelText(), wxString::Format("Clip Plane %d", n));
        ASSERT_NE(sub->GetSubMenu(), nullptr);
        const int offsets[] = {CLIP_INVERT, CLIP_ROTATE, CLIP_TRANSLATE, CLIP_RESET, CLIP_DRAW,
                               CLIP_DELETE};
        const char* labels[] = {"Invert", "Rotate", "Translate", "Reset", "Draw", "Delete"};
        ASSERT_EQ(sub->GetSubMenu()->GetMenuItemCount(), 6u);
        for (int k = 0; k < 6; ++k) {
            wxMenuItem* item = sub->GetSubMenu()->FindItemByPosition(k);
            EXPECT_EQ(item->GetId(), n * 10000 + offsets[k]);
            EXPECT_EQ(item->GetItemLabelText(), labels[k]);
        }
        EXPECT_TRUE(checked(clipPlaneCommandId(n, CLIP_DRAW)));
        EXPECT_FALSE(checked(clipPlaneCommandId(n, CLIP_INVERT)));
    }
    // A seventh is refused.
    app->postCommand(ID_CREATE_CLIP_PLANE);
    EXPECT_EQ(clipPlanes.count, 6);
    EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + 7));
    EXPECT_EQ(g_pMainFrame->clippingMenu->GetMenuItemCount(), 3u + 6u);

    // Per-plane commands act on their own slot only.
    app->postCommand(clipPlaneCommandId(3, CLIP_ROTATE));
    EXPECT_TRUE(clipPlanes.plane(3)->rotating);
    EXPECT_FALSE(clipPlanes.plane(2)->rotating);
    EXPECT_EQ(clipPlanes.rotatingCount, 1);
    EXPECT_TRUE(checked(clipPlaneCommandId(3, CLIP_ROTATE)));
    app->postCommand(clipPlaneCommandId(4, CLIP_TRANSLATE));
    EXPECT_TRUE(clipPlanes.plane(4)->translating);
    EXPECT_EQ(clipPlanes.translatingCount, 1);
    app->postCommand(clipPlaneCommandId(5, CLIP_DRAW));
    EXPECT_FALSE(clipPlanes.plane(5)->visible);
    EXPECT_TRUE(clipPlanes.plane(4)->visible);
    EXPECT_FALSE(checked(clipPlaneCommandId(5, CLIP_DRAW)));
    const double b = clipPlanes.plane(6)->equation[1];
    app->postCommand(clipPlaneCommandId(6, CLIP_INVERT));
    EXPECT_EQ(clipPlanes.plane(6)->equation[1], -b);
    EXPECT_EQ(clipPlanes.plane(1)->equation[1], b);
    app->postCommand(clipPlaneCommandId(3, CLIP_DELETE));
    EXPECT_EQ(clipPlanes.plane(3), nullptr);
    EXPECT_EQ(clipPlanes.rotatingCount, 0);
    EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + 3));

    // Delete plane 2; the next plane takes slot 2 with the ids of plane 2.
    app->postCommand(clipPlaneCommandId(2, CLIP_DELETE));
    EXPECT_EQ(clipPlanes.plane(2), nullptr);
    EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + 2));
    EXPECT_EQ(clipPlanes.count, 4);
    app->postCommand(ID_CREATE_CLIP_PLANE);
    ASSERT_NE(clipPlanes.plane(2), nullptr);
    EXPECT_EQ(clipPlanes.plane(3), nullptr);
    wxMenuItem* sub = g_pMainFrame->clippingMenu->FindChildItem(ID_CLIP_PLANE_MENU_BASE + 2);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetItemLabelText(), "Clip Plane 2");
    EXPECT_NE(sub->GetSubMenu()->FindItem(20201), nullptr);
    EXPECT_NE(sub->GetSubMenu()->FindItem(20601), nullptr);

    app->postCommand(ID_DELETE_ALL_PLANES);
    EXPECT_EQ(clipPlanes.count, 0);
    EXPECT_EQ(clipPlanes.translatingCount, 0);
    for (int n = 1; n <= 7; ++n)
        EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + n)) << n;
    EXPECT_EQ(g_pMainFrame->clippingMenu->GetMenuItemCount(), 3u);
}

TEST_F(MenuCommands, OpenDataMaskAndBackground)
{
    const std::string one = guitest::writeSample(tmp, "types-uchar", "one.zvf");
    const std::string multi = guitest::writeSample(tmp, "multiband", "multi.zvf");
    ASSERT_FALSE(one.empty());
    ASSERT_FALSE(multi.empty());

    ASSERT_TRUE(g_pMainFrame->openData(one));
    EXPECT_TRUE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    EXPECT_TRUE(volume.showVolume);
    EXPECT_TRUE(enabled(ID_LOAD_MASK));
    EXPECT_TRUE(enabled(ID_STYLE_3D_OAS));
    EXPECT_TRUE(enabled(ID_STYLE_3D_VAS));
    EXPECT_FALSE(enabled(ID_STYLE_FOCUS_CONTEXT));
    EXPECT_FALSE(enabled(ID_STYLE_MULTI_VOLUME));
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(transfer->getFileName(), one);
    EXPECT_NE(app->log().find("data path: " + one), std::string::npos);

    // Six bands: multi volume where the shader programs allow it (without
    // them the load itself is refused); band 0 stands for the data as one
    // channel, so a mask may go with it.
    g_pMainFrame->openData(multi);
    EXPECT_EQ(enabled(ID_LOAD_MASK), volume.isData && volume.nbrChannels == 1);
    EXPECT_EQ(enabled(ID_STYLE_MULTI_VOLUME), cgReady && volume.myMVolumeInfo != nullptr);

    ASSERT_TRUE(g_pMainFrame->openData(one));
    EXPECT_FALSE(enabled(ID_STYLE_MULTI_VOLUME));

    // No mask reader takes it: the mask stays off and so does focus and context.
    EXPECT_FALSE(g_pMainFrame->loadMaskFile(tmp.file("missing-mask.zvf")));
    EXPECT_FALSE(volume.isMask);
    EXPECT_FALSE(enabled(ID_STYLE_FOCUS_CONTEXT));

    // A refused file leaves the data and "Load Mask" as they were.
    EXPECT_FALSE(g_pMainFrame->openData(tmp.file("missing.zvf")));
    EXPECT_TRUE(volume.isData);
    EXPECT_TRUE(enabled(ID_LOAD_MASK));

    g_pMainFrame->setBackground(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(volume.background[0], 1.0f);
    EXPECT_EQ(volume.background[1], 0.0f);
    EXPECT_EQ(volume.background[2], 0.0f);
    const std::vector<unsigned char> px = picture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(px[0], 255); // bottom-left corner: background only
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 0);
    g_pMainFrame->setBackground(0.0f, 0.0f, 0.0f);
}

// A settings file that says orthographic, applied through the window's
// settings target, gives the same projection and picture as the command.
TEST_F(MenuCommands, OrthographicFromTheSettingsFilePaintsAsTheCommandDoes)
{
    app->postCommand(ID_ORTHOGONAL);
    const std::vector<unsigned char> byCommand = picture();
    app->postCommand(ID_PERSPECTIVE);
    ASSERT_NE(picture(), byCommand); // the box differs between the projections

    Settings s;
    g_pMainFrame->viewer.settings().gather(s);
    s.perspective = false;
    ASSERT_TRUE(writeSettingsFile("glimra.ini", s));
    ASSERT_TRUE(g_pMainFrame->viewer.readSettingsFile());
    EXPECT_FALSE(volume.perspective);
    EXPECT_FALSE(perspectiveMatrixInUse());
    EXPECT_TRUE(checked(ID_ORTHOGONAL));
    EXPECT_EQ(picture(), byCommand);
}

// A plane in rotate mode holds the volume still; once it is deleted a drag
// turns the volume again.
TEST_F(MenuCommands, DeletingARotatingPlaneLetsTheVolumeTurn)
{
    MainGLCanvas* c = g_pMainFrame->myGLcanvas;
    const auto drag = [&](int fromX, int toX) {
        for (int x : {fromX, toX}) {
            wxMouseEvent e(wxEVT_MOTION);
            e.m_x = x;
            e.m_y = 100;
            e.m_leftDown = true;
            e.SetEventObject(c);
            c->GetEventHandler()->ProcessEvent(e);
            ASSERT_TRUE(c->makeContextCurrent());
            c->paintCycle();
        }
        wxMouseEvent up(wxEVT_MOTION);
        up.SetEventObject(c);
        c->GetEventHandler()->ProcessEvent(up);
    };
    app->postCommand(ID_CREATE_CLIP_PLANE);
    app->postCommand(clipPlaneCommandId(1, CLIP_ROTATE));
    float before[16];
    std::memcpy(before, volume.rotation, sizeof before);
    drag(100, 130);
    EXPECT_EQ(std::memcmp(before, volume.rotation, sizeof before), 0); // the plane turned

    app->postCommand(clipPlaneCommandId(1, CLIP_DELETE));
    EXPECT_EQ(clipPlanes.count, 0);
    EXPECT_EQ(clipPlanes.rotatingCount, 0);
    drag(100, 130);
    EXPECT_NE(std::memcmp(before, volume.rotation, sizeof before), 0);

    // The same after "delete all" with planes in both modes.
    app->postCommand(ID_CREATE_CLIP_PLANE);
    app->postCommand(ID_CREATE_CLIP_PLANE);
    app->postCommand(clipPlaneCommandId(1, CLIP_ROTATE));
    app->postCommand(clipPlaneCommandId(2, CLIP_TRANSLATE));
    app->postCommand(ID_DELETE_ALL_PLANES);
    EXPECT_EQ(clipPlanes.rotatingCount, 0);
    EXPECT_EQ(clipPlanes.translatingCount, 0);
    std::memcpy(before, volume.rotation, sizeof before);
    drag(100, 130);
    EXPECT_NE(std::memcmp(before, volume.rotation, sizeof before), 0);
}

TEST_F(MenuCommands, ReloadPutsTheCameraHomeAndRemovesThePlanes)
{
    app->postCommand(ID_ORTHOGONAL);
    app->postCommand(ID_VIEW_BACK);
    app->postCommand(ID_CREATE_CLIP_PLANE);
    app->postCommand(ID_CREATE_CLIP_PLANE);
    app->postCommand(clipPlaneCommandId(1, CLIP_ROTATE));
    volume.distance = -5;
    volume.pan[0] = 0.5f;
    app->postCommand(ID_RELOAD);
    EXPECT_EQ(volume.distance, -3.0f);
    EXPECT_EQ(volume.pan[0], 0.0f);
    EXPECT_EQ(volume.pan[1], 0.0f);
    EXPECT_NEAR(volume.rotation[0], 1.0f, 1e-6f);
    EXPECT_NEAR(volume.rotation[10], 1.0f, 1e-6f);
    EXPECT_EQ(clipPlanes.count, 0);
    EXPECT_EQ(clipPlanes.rotatingCount, 0);
    EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + 1));
    EXPECT_FALSE(hasItem(ID_CLIP_PLANE_MENU_BASE + 2));
    EXPECT_TRUE(volume.perspective);
    EXPECT_TRUE(checked(ID_PERSPECTIVE));
}

} // namespace

// File > Open's filters: each format the program reads has one, named for
// it, that its files' usual names pass; a raw file passes only "All files",
// the last filter.
TEST(OpenDialog, EachFormatHasAFilterItsFilesPass)
{
    const wxArrayString parts = wxSplit(kOpenDataWildcard, '|', '\0');
    ASSERT_EQ(parts.size() % 2, 0u);
    ASSERT_GE(parts.size(), 2u);
    EXPECT_EQ(parts[parts.size() - 2], "All files (*.*)");
    EXPECT_EQ(parts.back(), "*.*");
    // The filters (before "All files") whose patterns pass name.
    auto filtersPassing = [&parts](const wxString& name) {
        std::vector<wxString> named;
        for (size_t k = 0; k + 2 < parts.size(); k += 2)
            for (const wxString& pattern : wxSplit(parts[k + 1], ';', '\0'))
                if (wxMatchWild(pattern, name, false)) {
                    named.push_back(parts[k]);
                    break;
                }
        return named;
    };
    const std::pair<const char*, const char*> files[] = {
        {"zvf files", "head.zvf"},          {"description files", "walnut.dat"},
        {"NIfTI files", "anatomical.nii"},  {"NIfTI files", "example4d.nii.gz"},
        {"NIfTI files", "brain.hdr"},       {"NRRD files", "head.nrrd"},
        {"NRRD files", "head.nhdr"},        {"MetaImage files", "head.mha"},
        {"MetaImage files", "head.mhd"},    {"DICOM files", "CT_small.dcm"},
        {"TIFF stacks", "stack.tif"},       {"TIFF stacks", "stack.tiff"},
        {"OME-Zarr pyramids", ".zattrs"},
    };
    for (const auto& f : files) {
        const std::vector<wxString> named = filtersPassing(f.second);
        ASSERT_EQ(named.size(), 1u) << f.second;
        EXPECT_TRUE(named[0].StartsWith(f.first)) << f.second << ": " << named[0];
    }
    EXPECT_TRUE(filtersPassing("walnut.raw").empty());
}
