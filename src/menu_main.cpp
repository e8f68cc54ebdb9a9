#include "menu_main.h"

#include <cstring>

#include "canvas_main.h"
#include "command_ids.h"
#include "error_handling.h"
#include "histogram.h"
#include "my_cg.h"
#include "multi_volume.h"
#include "plane.h"
#include "settings_file.h"
#include "volume.h"

MainFrame* g_pMainFrame = nullptr;
wxFrame* g_pTransferFrame = nullptr;
wxFrame* g_pSettingsFrame = nullptr;
wxFrame* g_pDataFrame = nullptr;

MainFrame::MainFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
                     long style)
    : wxFrame(parent, wxID_ANY, title, pos, size, style, "frame"), clippingMenu(nullptr),
      myGLcanvas(nullptr), dataInfo("No data loaded."), autosave(true)
{
    buildMenuBar();
    Show(true);
}

void MainFrame::buildMenuBar()
{
    wxMenu* fileMenu = nullptr;
    GUARDED_NEW(fileMenu, wxMenu);
    fileMenu->Append(ID_OPEN, "Open", "");
    fileMenu->Append(ID_LOAD_MASK, "Load Mask", "");
    fileMenu->Append(ID_EXIT, "Exit", "");

    wxMenu* projectionMenu = nullptr;
    GUARDED_NEW(projectionMenu, wxMenu);
    projectionMenu->AppendRadioItem(ID_PERSPECTIVE, "Perspective Projection", "");
    projectionMenu->AppendRadioItem(ID_ORTHOGONAL, "Orthogonal Projection", "");
    projectionMenu->Check(ID_PERSPECTIVE, true);

    wxMenu* presetMenu = nullptr;
    GUARDED_NEW(presetMenu, wxMenu);
    presetMenu->Append(ID_VIEW_FRONT, "Front", "");
    presetMenu->Append(ID_VIEW_BACK, "Back", "");
    presetMenu->Append(ID_VIEW_LEFT, "Left", "");
    presetMenu->Append(ID_VIEW_RIGHT, "Right", "");
    presetMenu->Append(ID_VIEW_TOP, "Top", "");
    presetMenu->Append(ID_VIEW_BOTTOM, "Bottom", "");

    wxMenu* viewMenu = nullptr;
    GUARDED_NEW(viewMenu, wxMenu);
    viewMenu->Append(ID_PROJECTION_MENU, "Projection", projectionMenu, "");
    viewMenu->Append(ID_VIEW_MENU, "View", presetMenu, "");
    viewMenu->AppendCheckItem(ID_FRAME_RATE, "Frame Rate", "");
    viewMenu->Check(ID_FRAME_RATE, true);

    wxMenu* editorMenu = nullptr;
    GUARDED_NEW(editorMenu, wxMenu);
    editorMenu->Append(ID_TRANSFER_FUNCTION, "Transfer Function", "");
    editorMenu->Append(ID_SETTINGS, "Settings", "");
    editorMenu->Append(ID_BACKGROUND, "Background Colour", "");

    wxMenu* styleMenu = nullptr;
    GUARDED_NEW(styleMenu, wxMenu);
    styleMenu->AppendRadioItem(ID_STYLE_2D, "2D Texture", "");
    styleMenu->AppendRadioItem(ID_STYLE_2D_MULTI, "2D Multi Texture", "");
    styleMenu->AppendRadioItem(ID_STYLE_3D_OAS, "3D Texture OAS", "");
    styleMenu->AppendRadioItem(ID_STYLE_3D_VAS, "3D Texture VAS", "");
    styleMenu->AppendRadioItem(ID_STYLE_NORMAL_TEXTURE, "3D Normal (texture)", "");
    styleMenu->AppendRadioItem(ID_STYLE_NORMAL_FRAGMENT, "3D Normal (fragment)", "");
    styleMenu->AppendRadioItem(ID_STYLE_LIGHT_GRADMAG, "3D Light (grad. mag.)", "");
    styleMenu->AppendRadioItem(ID_STYLE_LIGHT2, "3D Light 2", "");
    styleMenu->AppendRadioItem(ID_STYLE_RAY_CASTING, "Ray Casting", "");
    styleMenu->AppendRadioItem(ID_STYLE_FOCUS_CONTEXT, "Focus and Context", "");
    styleMenu->AppendRadioItem(ID_STYLE_MULTI_VOLUME, "Multi Volume", "");
    styleMenu->Check(ID_STYLE_2D, true);

    wxMenu* blendMenu = nullptr;
    GUARDED_NEW(blendMenu, wxMenu);
    blendMenu->AppendRadioItem(ID_BLEND, "Blending", "");
    blendMenu->AppendRadioItem(ID_MAXIMUM, "Maximum Intensity", "");
    blendMenu->AppendRadioItem(ID_MINIMUM, "Minimum Intensity", "");
    blendMenu->Check(ID_BLEND, true);

    wxMenu* visibilityMenu = nullptr;
    GUARDED_NEW(visibilityMenu, wxMenu);
    visibilityMenu->AppendCheckItem(ID_SHOW_BBOX, "Bounding Box", "");
    visibilityMenu->AppendCheckItem(ID_SHOW_VOLUME, "Volume", "");
    visibilityMenu->AppendCheckItem(ID_SHOW_SLICES, "Slices", "");
    visibilityMenu->AppendCheckItem(ID_SHOW_BRICKS, "Bricks", "");
    visibilityMenu->Check(ID_SHOW_BBOX, true);
    visibilityMenu->Check(ID_SHOW_VOLUME, true);

    wxMenu* volumeMenu = nullptr;
    GUARDED_NEW(volumeMenu, wxMenu);
    volumeMenu->Append(ID_DRAW_STYLE_MENU, "Draw Style", styleMenu, "");
    volumeMenu->Append(ID_BLENDING_MENU, "Blending", blendMenu, "");
    volumeMenu->Append(ID_VISIBILITY_MENU, "Visibility", visibilityMenu, "");
    volumeMenu->Append(ID_RELOAD, "Reload", "");

    GUARDED_NEW(clippingMenu, wxMenu);
    clippingMenu->Append(ID_CREATE_CLIP_PLANE, "Create Clip Plane", "");
    clippingMenu->Append(ID_DELETE_ALL_PLANES, "Delete All", "");
    clippingMenu->AppendSeparator();

    wxMenu* optionsMenu = nullptr;
    GUARDED_NEW(optionsMenu, wxMenu);
    optionsMenu->Append(ID_DATA_INFO, "Data Info", "");
    optionsMenu->AppendSeparator();
    optionsMenu->Append(ID_ABOUT, "About", "");

    wxMenuBar* menuBar = new wxMenuBar;
    menuBar->Append(fileMenu, "&File");
    menuBar->Append(viewMenu, "&View");
    menuBar->Append(editorMenu, "&Editor");
    menuBar->Append(volumeMenu, "&Volume");
    menuBar->Append(clippingMenu, "&Clipping");
    menuBar->Append(optionsMenu, "&Options");
    SetMenuBar(menuBar);

    // The menu bar owns the menus from here on; the registry only tracks windows and data.
    wxMenu* menus[] = {fileMenu, projectionMenu, presetMenu, viewMenu, editorMenu, styleMenu,
                       blendMenu, visibilityMenu, volumeMenu, clippingMenu, optionsMenu};
    for (wxMenu* m : menus)
        g_garbageCollector.remove(m);
}

void MainFrame::saveSettingsIfAutosave()
{
    if (autosave)
        saveSettingsFile();
}

void MainFrame::relabel(int id, const char* label)
{
    wxMenuBar* bar = GetMenuBar();
    if (bar && bar->FindItem(id))
        bar->SetLabel(id, label);
}

void MainFrame::enable(int id, bool on)
{
    wxMenuBar* bar = GetMenuBar();
    if (bar && bar->FindItem(id))
        bar->Enable(id, on);
}

void MainFrame::adaptMenusToHardware()
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const bool newerGL = version && std::strcmp(version, "1.1.0") != 0;
    if (!isExtensionSupported("GL_EXT_texture3D")) {
        relabel(ID_STYLE_3D_OAS, "3D Texture OAS (SW)");
        relabel(ID_STYLE_3D_VAS, "3D Texture VAS (SW)");
        if (!newerGL) {
            enable(ID_STYLE_3D_OAS, false);
            enable(ID_STYLE_3D_VAS, false);
        }
    }
    if (!isExtensionSupported("GL_EXT_paletted_texture") && !cgReady)
        enable(ID_TRANSFER_FUNCTION, false);
    if (!isExtensionSupported("GL_EXT_blend_minmax")) {
        relabel(ID_MAXIMUM, "Maximum Intensity (SW)");
        relabel(ID_MINIMUM, "Minimum Intensity (SW)");
        if (!newerGL) {
            enable(ID_MAXIMUM, false);
            enable(ID_MINIMUM, false);
        }
    }
    if (!arbProgramsReady) {
        enable(ID_STYLE_NORMAL_TEXTURE, false);
        enable(ID_STYLE_LIGHT_GRADMAG, false);
        enable(ID_STYLE_LIGHT2, false);
        enable(ID_STYLE_NORMAL_FRAGMENT, false);
    }
    if (!nv40Supported)
        enable(ID_STYLE_RAY_CASTING, false);
    if (!nv40Supported || !volume.isMask)
        enable(ID_STYLE_FOCUS_CONTEXT, false);
    if (!volume.isData)
        enable(ID_LOAD_MASK, false);
    if (!volume.myMVolumeInfo)
        enable(ID_STYLE_MULTI_VOLUME, false);
}

MainFrame::~MainFrame()
{
    // The window is going away now, so it is no leftover in the report below.
    g_garbageCollector.remove(this);
    saveSettingsIfAutosave();
    // The planes' OpenGL state lives in the view's context.
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    clipPlanes.removeAll();
    clipPlanes.release();
    histogram.release();
    volume.release();

    wxFrame** tools[] = {&g_pTransferFrame, &g_pSettingsFrame, &g_pDataFrame};
    for (wxFrame** frame : tools) {
        if (*frame) {
            wxFrame* f = *frame;
            g_garbageCollector.remove(f);
            *frame = nullptr;
            f->Destroy();
        }
    }
    if (myGLcanvas) {
        g_garbageCollector.remove(myGLcanvas);
        delete myGLcanvas;
        myGLcanvas = nullptr;
    }
    g_garbageCollector.report();
    delete g_pConsoleLog;
    g_pConsoleLog = nullptr;
    delete g_pFileLog;
    g_pFileLog = nullptr;
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
}

void MainFrame::OnExit(wxCommandEvent& WXUNUSED(event))
{
    saveSettingsIfAutosave();
    Destroy();
}

void MainFrame::OnChar(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE)
        Destroy();
    else
        event.Skip();
    Refresh(false);
}

void MainFrame::OnActivate(wxActivateEvent& WXUNUSED(event))
{
    // Deliberately empty: the toolkit's own focus handling must not run.
}

// clang-format off
wxBEGIN_EVENT_TABLE(MainFrame, wxFrame)
    EVT_MENU(ID_EXIT, MainFrame::OnExit)
    EVT_CHAR(MainFrame::OnChar)
    EVT_ACTIVATE(MainFrame::OnActivate)
wxEND_EVENT_TABLE()
// clang-format on
