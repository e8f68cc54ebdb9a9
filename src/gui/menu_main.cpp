#include "menu_main.h"

#include <cstring>

#include "canvas_main.h"
#include "command_ids.h"
#include "error_handling.h"
#include "data_scale.h"
#include "histogram.h"
#include "load.h"
#include "main_view.h"
#include "menu_transfer.h"
#include "menu_data.h"
#include "menu_settings.h"
#include "my_cg.h"
#include "multi_volume.h"
#include "picture.h"
#include "picture_dialog.h"
#include "reader_process.h"
#include "plane.h"
#include "render_mode.h"
#include "actions.h"
#include "running_settings.h"
#include "text_overlay.h"
#include "time_bar.h"
#include "transfer_function.h"
#include "turntable.h"
#include "volume.h"
#include "volume_file.h"

#include <wx/dirdlg.h>
#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/progdlg.h>

#include <algorithm>

MainFrame* g_pMainFrame = nullptr;
wxFrame* g_pTransferFrame = nullptr;
wxFrame* g_pSettingsFrame = nullptr;
wxFrame* g_pDataFrame = nullptr;

MainFrame::MainFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
                     long style)
    : wxFrame(parent, wxID_ANY, title, pos, size, style, "frame"), clippingMenu(nullptr),
      myGLcanvas(nullptr), dataInfo("No data loaded."), autosave(true), myObserver(this),
      viewer(myObserver), myTimer(this, ID_TIME_TIMER)
{
    buildMenuBar();
    // The keys desktop programs use, without changing the menus' labels.
    wxAcceleratorEntry keys[2];
    keys[0].Set(wxACCEL_CTRL, 'O', ID_OPEN);
    keys[1].Set(wxACCEL_CTRL, 'S', ID_SAVE_PICTURE);
    SetAcceleratorTable(wxAcceleratorTable(2, keys));
    Show(true);
}

void MainFrame::buildMenuBar()
{
    wxMenu* fileMenu = nullptr;
    GUARDED_NEW(fileMenu, wxMenu);
    fileMenu->Append(ID_OPEN, "Open", "");
    fileMenu->Append(ID_OPEN_FOLDER, "Open Folder...",
                     "A folder of numbered volumes (time points), of DICOM slices, or an OME-Zarr pyramid");
    GUARDED_NEW(myRecentMenu, wxMenu);
    if (myRecentMenu)
        fileMenu->Append(ID_RECENT_MENU, "Open Recent", myRecentMenu);
    fileMenu->Append(ID_LOAD_MASK, "Load Mask", "");
    fileMenu->Append(ID_SAVE_PICTURE, "Save Picture...", "The view as a PNG picture, at any size");
    fileMenu->Append(ID_SAVE_TURNTABLE, "Save Turntable...", "Pictures of the data turning once around");
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
    viewMenu->AppendCheckItem(ID_ORIENTATION_MARKER, "Orientation Marker",
                              "Axes in the lower right corner, turning with the data");
    viewMenu->Check(ID_ORIENTATION_MARKER, myOverlays.marker);
    viewMenu->AppendCheckItem(ID_COLOUR_BAR, "Colour Bar",
                              "The transfer function's colours with the data values they map");
    viewMenu->Check(ID_COLOUR_BAR, myOverlays.colourBar);

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
                       blendMenu, visibilityMenu, volumeMenu, clippingMenu, optionsMenu, myRecentMenu};
    for (wxMenu* m : menus)
        if (m)
            g_garbageCollector.remove(m);
}

void MainFrame::saveSettingsIfAutosave()
{
    if (autosave)
        viewer.saveSettingsFile();
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

void MainFrame::check(int id, bool on)
{
    // FindItem first: an unknown id (0 for "no item") would raise a toolkit assertion.
    wxMenuBar* bar = GetMenuBar();
    wxMenuItem* item = (bar && id) ? bar->FindItem(id) : nullptr;
    if (item && item->IsCheckable())
        item->Check(on);
}

void MainFrame::redraw()
{
    if (myGLcanvas)
        myGLcanvas->redrawNow();
}

// ---- data and mask ----

// A DICOM series is opened through any one of its files, an OME-Zarr pyramid
// through the .zattrs in its folder.
const char* const kOpenDataWildcard =
    "zvf files (*.zvf)|*.zvf|description files (*.dat)|*.dat|"
    "NIfTI files (*.nii;*.nii.gz;*.hdr)|*.nii;*.nii.gz;*.hdr|NRRD files (*.nrrd;*.nhdr)|*.nrrd;*.nhdr|"
    "MetaImage files (*.mha;*.mhd)|*.mha;*.mhd|DICOM files (*.dcm)|*.dcm|"
    "TIFF stacks (*.tif;*.tiff)|*.tif;*.tiff|OME-Zarr pyramids (.zattrs)|.zattrs|All files (*.*)|*.*";

std::string MainFrame::askForFile()
{
    wxFileDialog* dialog = nullptr;
    GUARDED_NEW_AS(dialog, "myDialog", wxFileDialog, this, "Select a file", "", "", "*.*",
                   wxFD_OPEN, wxDefaultPosition, wxDefaultSize, "filedlg");
    if (!dialog)
        return std::string();
    dialog->SetWildcard(kOpenDataWildcard);
    wxBeginBusyCursor();
    std::string path;
    if (dialog->ShowModal() == wxID_OK)
        path = dialog->GetPath().ToStdString();
    wxEndBusyCursor();
    g_garbageCollector.remove(dialog);
    dialog->Destroy();
    return path;
}

bool MainFrame::loadDataFile(const std::string& path)
{
    logBoth(__FILE__, __LINE__, ("data path: " + path + "\n").c_str());
    playTime(false);
    return viewer.openData(path, &dataInfo);
}

void MainFrame::refreshRecentAndTitle()
{
    const std::string& data = viewer.dataPath();
    const std::string title = data.empty() ? "glimra" : "glimra - " + baseName(data);
    if (GetTitle().ToStdString() != title)
        SetTitle(title);
    if (!myRecentMenu)
        return;
    const std::vector<std::string>& files = viewer.recentFiles().files();
    while (myRecentMenu->GetMenuItemCount() > 0)
        myRecentMenu->Destroy(myRecentMenu->FindItemByPosition(0));
    for (size_t k = 0; k < files.size(); ++k)
        myRecentMenu->Append(ID_RECENT_FIRST + static_cast<int>(k),
                             wxString::Format("&%d %s", static_cast<int>(k + 1), wxString::FromUTF8(files[k])),
                             wxString::FromUTF8(files[k]));
    if (wxMenuBar* bar = GetMenuBar())
        bar->Enable(ID_RECENT_MENU, !files.empty());
}

void MainFrame::OnRecent(wxCommandEvent& event)
{
    const std::vector<std::string>& files = viewer.recentFiles().files();
    const size_t k = static_cast<size_t>(event.GetId() - ID_RECENT_FIRST);
    if (k < files.size()) {
        const std::string path = files[k]; // the list changes as it opens
        openData(path);
    }
}

void MainFrame::refreshWindows()
{
    // The reader of the next foreign file, forked when the event loop is idle.
    if (!readerChildWaiting())
        CallAfter([] { prepareForeignReader(); });
    refreshRecentAndTitle();
    refreshTimeBar();
    check(drawStyleCommandId(RenderMode::instance().getDrawStyle()), true);
    check(blendingCommandId(volume.getBlending()), true);
    check(volume.perspective ? ID_PERSPECTIVE : ID_ORTHOGONAL, true);
    check(ID_SHOW_VOLUME, volume.showVolume);
    // A new data set drops the mask; a refused file leaves both as they were.
    enable(ID_STYLE_FOCUS_CONTEXT, cgReady && nv40Supported && volume.isMask);
    enable(ID_STYLE_MULTI_VOLUME, cgReady && volume.myMVolumeInfo != nullptr);
    enable(ID_LOAD_MASK, volume.isData && volume.nbrChannels == 1);
    refreshPyramidStyles();
    redrawTransferWindow();
    if (SettingsFrame* settings = settingsFrame()) {
        settings->refreshMultiVolumeControls();
        settings->refreshFocusContextControls();
        settings->refreshBrickMemory();
        settings->refreshNote();
    }
    if (DataFrame* data = dataFrame())
        data->refreshDataText();
}

void MainFrame::refreshPyramidStyles()
{
    if (!viewer.pyramidOnScreen()) {
        if (!myPyramidGreyed.empty() && myGLcanvas && myGLcanvas->makeContextCurrent())
            for (int id : myPyramidGreyed)
                enable(id, drawStyleUnavailableReason(drawStyleForCommandId(id)).empty());
        myPyramidGreyed.clear();
        return;
    }
    for (int style = DRAW_STYLE_FIRST; style <= DRAW_STYLE_LAST; ++style) {
        const int id = drawStyleCommandId(style);
        if (style == DRAW_FOCUS_CONTEXT_MASK || style == DRAW_FOCUS_CONTEXT_DILATE || !id ||
            pyramidStyleRefusal(style).empty())
            continue;
        enable(id, false);
        if (std::find(myPyramidGreyed.begin(), myPyramidGreyed.end(), id) == myPyramidGreyed.end())
            myPyramidGreyed.push_back(id);
    }
}

void MainFrame::finishOpen()
{
    viewer.fallBack();
    enable(ID_STYLE_3D_OAS, true);
    enable(ID_STYLE_3D_VAS, true);
    if (!cgReady) {
        const int cgStyles[] = {ID_STYLE_NORMAL_TEXTURE, ID_STYLE_LIGHT_GRADMAG,
                                ID_STYLE_NORMAL_FRAGMENT, ID_STYLE_LIGHT2, ID_STYLE_RAY_CASTING};
        for (int id : cgStyles)
            enable(id, false);
    }
    refreshWindows();
}

bool MainFrame::openData(const std::string& path)
{
    const bool ok = loadDataFile(path);
    finishOpen();
    return ok;
}

bool MainFrame::loadMaskFile(const std::string& path)
{
    return viewer.openMask(path);
}

void MainFrame::OnOpenFolder(wxCommandEvent& WXUNUSED(event))
{
    wxDirDialog dialog(this, "Select a folder", "", wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK)
        loadDataFile(dialog.GetPath().ToStdString());
    finishOpen();
}

void MainFrame::OnOpen(wxCommandEvent& WXUNUSED(event))
{
    const std::string path = askForFile();
    if (!path.empty())
        loadDataFile(path);
    finishOpen();
}

bool MainFrame::savePicture(const std::string& path, int width, int height)
{
    if (!myGLcanvas || !myGLcanvas->makeContextCurrent())
        return false;
    std::string error;
    const bool saved = ::savePicture(*myGLcanvas, width > 0 ? width : myGLcanvas->width,
                                     height > 0 ? height : myGLcanvas->height, path, &error);
    if (!saved)
        myObserver.warn(error, "Warning");
    redraw();
    return saved;
}

bool MainFrame::saveTurntable(const std::string& path, int frames, int width, int height,
                              const std::function<bool(int frame, int count)>& progress)
{
    if (!myGLcanvas || !myGLcanvas->makeContextCurrent())
        return false;
    std::string error = outputPathProblem(turntableFramePath(path, 0, frames));
    bool saved = error.empty();
    if (saved) {
        saved = renderTurntable(*myGLcanvas, width > 0 ? width : myGLcanvas->width,
                                height > 0 ? height : myGLcanvas->height, frames, path,
                                [&](int frame, int count, const std::string&) {
                                    return !progress || progress(frame, count);
                                },
                                &error);
        myGLcanvas->makeContextCurrent();
    }
    if (!saved && error != kTurntableCancelled)
        myObserver.warn(error, "Warning");
    redraw();
    return saved;
}

void MainFrame::OnSavePicture(wxCommandEvent& WXUNUSED(event))
{
    if (!myGLcanvas)
        return;
    int width = myGLcanvas->width;
    int height = myGLcanvas->height;
    if (!askPictureSize(this, "Save Picture", &width, &height, nullptr))
        return;
    const std::string path = askForPictureFile(this, "Save Picture");
    if (!path.empty())
        savePicture(path, width, height);
}

void MainFrame::OnSaveTurntable(wxCommandEvent& WXUNUSED(event))
{
    if (!myGLcanvas)
        return;
    int width = myGLcanvas->width;
    int height = myGLcanvas->height;
    int frames = 36;
    if (!askPictureSize(this, "Save Turntable", &width, &height, &frames))
        return;
    const std::string path = askForPictureFile(this, "Save Turntable");
    if (path.empty())
        return;
    wxProgressDialog dialog("Save Turntable", "Drawing the frames...", frames, this,
                            wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME);
    saveTurntable(path, frames, width, height, [&](int frame, int count) {
        return dialog.Update(frame + 1, wxString::Format("Frame %d of %d", frame + 1, count));
    });
}

void MainFrame::OnLoadMask(wxCommandEvent& WXUNUSED(event))
{
    const std::string path = askForFile();
    if (!path.empty())
        loadMaskFile(path);
}

void MainFrame::OnReload(wxCommandEvent& WXUNUSED(event))
{
    reload();
}

void MainFrame::reload()
{
    volume.distance = -3;
    volume.pan[0] = volume.pan[1] = 0;
    volume.orthoScale = orthoScaleFor(volume.distance);
    matIdentity(volume.rotation);
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    clipPlanes.setMatrixAll(volume.rotation);
    for (int n = 1; n <= clipPlanes.maximum; ++n)
        removeClipPlaneMenu(n);
    clipPlanes.removeAll();
    destroyCgPrograms();
    createCgPrograms();
    // Home also means the starting projection, so the check mark and the view agree.
    if (g_pMainFrame)
        setProjection(true);
    else
        redraw();
    redrawTransferWindow();
}

// ---- view ----

void MainFrame::setProjection(bool perspective)
{
    if (!g_pMainFrame)
        return;
    viewer.setProjection(perspective);
}

void MainFrame::OnPerspective(wxCommandEvent& WXUNUSED(event))
{
    setProjection(true);
}

void MainFrame::OnOrthogonal(wxCommandEvent& WXUNUSED(event))
{
    setProjection(false);
}

void MainFrame::viewPreset(float angle, float x, float y, float z)
{
    float r[16];
    if (angle == 0)
        matIdentity(r);
    else
        matRotation(angle, x, y, z, r);
    std::memcpy(volume.rotation, r, sizeof r);
    clipPlanes.rotate(r);
    if (g_pMainFrame)
        redraw();
}

void MainFrame::OnViewFront(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(0, 0, 1, 0);
}

void MainFrame::OnViewBack(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(180, 0, 1, 0);
}

void MainFrame::OnViewLeft(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(90, 0, 1, 0);
}

void MainFrame::OnViewRight(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(-90, 0, 1, 0);
}

void MainFrame::OnViewTop(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(90, 1, 0, 0);
}

void MainFrame::OnViewBottom(wxCommandEvent& WXUNUSED(event))
{
    viewPreset(-90, 1, 0, 0);
}

void MainFrame::OnFrameRate(wxCommandEvent& WXUNUSED(event))
{
    if (myGLcanvas && myGLcanvas->font) {
        myGLcanvas->font->toggleVisibility();
        myGLcanvas->frameRateVisible = myGLcanvas->font->visible;
    } else if (myGLcanvas) {
        myGLcanvas->frameRateVisible = !myGLcanvas->frameRateVisible;
    }
    if (myGLcanvas)
        check(ID_FRAME_RATE, myGLcanvas->frameRateVisible);
    redraw();
}

void MainFrame::OnOrientationMarker(wxCommandEvent& WXUNUSED(event))
{
    myOverlays.marker = !myOverlays.marker;
    applyOverlaySwitches(true);
}

void MainFrame::OnColourBar(wxCommandEvent& WXUNUSED(event))
{
    myOverlays.colourBar = !myOverlays.colourBar;
    applyOverlaySwitches(true);
}

void MainFrame::keepOverlaySwitches(const std::string& path)
{
    myOverlaysPath = path;
    myOverlays.read(path);
    applyOverlaySwitches(false);
}

void MainFrame::applyOverlaySwitches(bool write)
{
    if (myGLcanvas) {
        myGLcanvas->overlay.markerVisible = myOverlays.marker;
        myGLcanvas->overlay.colourBarVisible = myOverlays.colourBar;
    }
    check(ID_ORIENTATION_MARKER, myOverlays.marker);
    check(ID_COLOUR_BAR, myOverlays.colourBar);
    if (write && !myOverlaysPath.empty())
        myOverlays.write(myOverlaysPath);
    redraw();
}

void MainFrame::setBackground(float r, float g, float b)
{
    volume.background[0] = r;
    volume.background[1] = g;
    volume.background[2] = b;
    redraw();
}

void MainFrame::OnTransferFunction(wxCommandEvent& WXUNUSED(event))
{
    openTransferWindow();
}

void MainFrame::OnBackground(wxCommandEvent& WXUNUSED(event))
{
    wxColourDialog* dialog = nullptr;
    GUARDED_NEW(dialog, wxColourDialog, this);
    if (!dialog)
        return;
    dialog->SetTitle("Edit the background colour");
    if (dialog->ShowModal() == wxID_OK) {
        const wxColour c = dialog->GetColourData().GetColour();
        setBackground(c.Red() / 255.0f, c.Green() / 255.0f, c.Blue() / 255.0f);
    } else {
        redraw();
    }
    g_garbageCollector.remove(dialog);
    dialog->Destroy();
}

// ---- volume ----

void MainFrame::selectDrawStyle(int k)
{
    viewer.setStyle(k);
}

void MainFrame::OnDrawStyle(wxCommandEvent& event)
{
    const int k = drawStyleForCommandId(event.GetId());
    if (k)
        selectDrawStyle(k);
}

void MainFrame::selectBlending(int b)
{
    viewer.setBlending(b);
}

void MainFrame::OnBlend(wxCommandEvent& WXUNUSED(event))
{
    selectBlending(BLENDING_COMPOSITE);
}

void MainFrame::OnMaximum(wxCommandEvent& WXUNUSED(event))
{
    selectBlending(BLENDING_MAXIMUM);
}

void MainFrame::OnMinimum(wxCommandEvent& WXUNUSED(event))
{
    selectBlending(BLENDING_MINIMUM);
}

void MainFrame::OnShowBBox(wxCommandEvent& WXUNUSED(event))
{
    volume.toggleBBox();
    check(ID_SHOW_BBOX, volume.showBBox);
    redraw();
}

void MainFrame::OnShowVolume(wxCommandEvent& WXUNUSED(event))
{
    volume.toggleVolume();
    check(ID_SHOW_VOLUME, volume.showVolume);
    redraw();
}

void MainFrame::OnShowSlices(wxCommandEvent& WXUNUSED(event))
{
    volume.toggleSlices();
    check(ID_SHOW_SLICES, volume.showSlices);
    redraw();
}

void MainFrame::OnShowBricks(wxCommandEvent& WXUNUSED(event))
{
    volume.toggleBricks();
    check(ID_SHOW_BRICKS, volume.showBricks);
    redraw();
}

// ---- clip planes ----

void MainFrame::removeClipPlaneMenu(int n)
{
    const int id = ID_CLIP_PLANE_MENU_BASE + n;
    if (clippingMenu && clippingMenu->FindChildItem(id))
        clippingMenu->Destroy(id);
}

int MainFrame::createClipPlane()
{
    if (clipPlanes.count >= ClipPlaneSet::kSlots || !clippingMenu)
        return 0;
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    const int index = clipPlanes.add(volume.rotation);
    if (index < 0)
        return 0;
    const int n = index + 1;
    wxMenu* planeMenu = nullptr;
    GUARDED_NEW(planeMenu, wxMenu);
    if (!planeMenu)
        return n;
    planeMenu->AppendCheckItem(clipPlaneCommandId(n, CLIP_INVERT), "Invert", "");
    planeMenu->AppendCheckItem(clipPlaneCommandId(n, CLIP_ROTATE), "Rotate", "");
    planeMenu->AppendCheckItem(clipPlaneCommandId(n, CLIP_TRANSLATE), "Translate", "");
    planeMenu->Append(clipPlaneCommandId(n, CLIP_RESET), "Reset", "");
    planeMenu->AppendCheckItem(clipPlaneCommandId(n, CLIP_DRAW), "Draw", "");
    planeMenu->Append(clipPlaneCommandId(n, CLIP_DELETE), "Delete", "");
    planeMenu->Check(clipPlaneCommandId(n, CLIP_DRAW), true);
    clippingMenu->Append(ID_CLIP_PLANE_MENU_BASE + n, wxString::Format("Clip Plane %d", n),
                         planeMenu, "");
    // The clipping menu owns the submenu from here on.
    g_garbageCollector.remove(planeMenu);
    redraw();
    return n;
}

void MainFrame::deleteAllClipPlanes()
{
    for (int n = 1; n <= clipPlanes.maximum; ++n)
        removeClipPlaneMenu(n);
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    clipPlanes.removeAll();
    redraw();
}

void MainFrame::OnCreateClipPlane(wxCommandEvent& WXUNUSED(event))
{
    createClipPlane();
}

void MainFrame::OnDeleteAllPlanes(wxCommandEvent& WXUNUSED(event))
{
    deleteAllClipPlanes();
}

void MainFrame::invertClipPlane(int n)
{
    ClipPlane* p = clipPlanes.plane(n);
    if (!p)
        return;
    clipPlanes.invert(n);
    check(clipPlaneCommandId(n, CLIP_INVERT), p->equation[1] < 0);
    if (myGLcanvas && myGLcanvas->makeContextCurrent())
        clipPlanes.applyAll();
    redraw();
}

void MainFrame::toggleRotateClipPlane(int n)
{
    if (!clipPlanes.plane(n))
        return;
    check(clipPlaneCommandId(n, CLIP_ROTATE), clipPlanes.toggleRotating(n));
}

void MainFrame::toggleTranslateClipPlane(int n)
{
    if (!clipPlanes.plane(n))
        return;
    check(clipPlaneCommandId(n, CLIP_TRANSLATE), clipPlanes.toggleTranslating(n));
    redraw();
}

void MainFrame::resetClipPlane(int n)
{
    if (!clipPlanes.plane(n))
        return;
    clipPlanes.setMatrix(volume.rotation, n);
    redraw();
}

void MainFrame::toggleDrawClipPlane(int n)
{
    ClipPlane* p = clipPlanes.plane(n);
    if (!p)
        return;
    p->visible = !p->visible;
    check(clipPlaneCommandId(n, CLIP_DRAW), p->visible);
    redraw();
}

void MainFrame::deleteClipPlane(int n)
{
    ClipPlane* p = clipPlanes.plane(n);
    if (!p)
        return;
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    clipPlanes.del(n);
    removeClipPlaneMenu(n);
    redraw();
}

// ---- tool windows ----

void MainFrame::openSettingsWindow()
{
    if (g_pSettingsFrame) {
        g_pSettingsFrame->Show(true);
        g_pSettingsFrame->Raise();
        g_pSettingsFrame->SetFocus();
        return;
    }
    GUARDED_NEW_AS(g_pSettingsFrame, "g_pSettingsFrame", SettingsFrame, this, "Settings",
                   wxPoint(100, 15), wxSize(380, 220), wxDEFAULT_FRAME_STYLE & ~wxCLOSE_BOX);
}

void MainFrame::openDataWindow()
{
    if (g_pDataFrame) {
        g_pDataFrame->Show(true);
        g_pDataFrame->Raise();
        g_pDataFrame->SetFocus();
        return;
    }
    GUARDED_NEW_AS(g_pDataFrame, "g_pDataFrame", DataFrame, nullptr, "Data Info", wxPoint(150, 15),
                   wxSize(350, 400), wxDEFAULT_FRAME_STYLE & ~wxRESIZE_BORDER);
}

void MainFrame::OnSettings(wxCommandEvent& WXUNUSED(event))
{
    openSettingsWindow();
}

void MainFrame::OnDataInfo(wxCommandEvent& WXUNUSED(event))
{
    openDataWindow();
}

// ---- options ----

void MainFrame::OnAbout(wxCommandEvent& WXUNUSED(event))
{
    wxMessageBox("glimra - an interactive volume renderer.", "About glimra", wxOK, this);
}

MainFrame::~MainFrame()
{
    // The window is going away now, so it is no leftover in the report below.
    g_garbageCollector.remove(this);
    myTimer.Stop();
    saveSettingsIfAutosave();
    // The curves for the next run with these data, while both are there;
    // like the settings, only when autosave is on.
    if (autosave)
        viewer.rememberCurves();
    // The planes' OpenGL state lives in the view's context.
    if (myGLcanvas)
        myGLcanvas->makeContextCurrent();
    clipPlanes.removeAll();
    clipPlanes.release();
    histogram.release();
    dataScale = DataScale();
    volume.release();

    // The editor view's registry entry goes with its window.
    if (TransferFrame* transferWindow = transferFrame())
        transferWindow->closeWindow();
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
    // The destructor saves the settings.
    Destroy();
}

void MainFrame::rememberGeometry()
{
    if (IsShown() && !IsIconized() && !IsMaximized() && !IsFullScreen())
        myShownGeometry = wxRect(GetPosition(), GetSize());
}

void MainFrame::place(int x, int y, int width, int height)
{
    SetSize(x, y, width, height, wxSIZE_AUTO);
    myPlacedSize = wxSize(width, height);
    myPlacedUntil = wxGetLocalTimeMillis() + 3000;
}

// ---- time points ----

// Milliseconds between two time points while playing.
static const int kTimeStepMillis = 250;

bool MainFrame::showTimePoint(size_t t)
{
    const bool shown = viewer.showTimePoint(t, &dataInfo);
    refreshWindows();
    return shown;
}

void MainFrame::playTime(bool on)
{
    if (on && viewer.timePoints() > 1)
        myTimer.Start(kTimeStepMillis);
    else
        myTimer.Stop();
    if (myTimeBar)
        myTimeBar->setPlaying(myTimer.IsRunning());
}

void MainFrame::refreshTimeBar()
{
    const bool wanted = viewer.timePoints() > 1;
    if (!wanted && myTimer.IsRunning())
        playTime(false);
    if (!myTimeBar && !wanted)
        return;
    const bool created = !myTimeBar;
    if (created)
        myTimeBar = new TimeBar(this);
    myTimeBar->show(viewer.timePoint(), viewer.timePoints());
    if (created || myTimeBar->IsShown() != wanted) {
        myTimeBar->Show(wanted);
        layOutView();
    }
}

void MainFrame::layOutView()
{
    // Before the controls exist the frame gives its one child the whole area.
    if (!myTimeBar || !myGLcanvas)
        return;
    const wxSize client = GetClientSize();
    const int bar = myTimeBar->IsShown() ? myTimeBar->GetBestSize().y : 0;
    myGLcanvas->SetSize(0, 0, client.x, std::max(1, client.y - bar));
    if (bar > 0)
        myTimeBar->SetSize(0, client.y - bar, client.x, bar);
}

void MainFrame::OnTimeSlider(wxCommandEvent& event)
{
    if (event.GetInt() >= 0)
        showTimePoint(static_cast<size_t>(event.GetInt()));
}

void MainFrame::OnTimePlay(wxCommandEvent& WXUNUSED(event))
{
    playTime(!myTimer.IsRunning());
}

void MainFrame::OnTimeTimer(wxTimerEvent& WXUNUSED(event))
{
    // A load's or a build's dialog lets the timer through: the next tick steps.
    if (gpProgressDlg)
        return;
    if (!viewer.nextTimePoint(&dataInfo))
        playTime(false);
    refreshWindows();
}

void MainFrame::OnSize(wxSizeEvent& event)
{
    const wxSize size = GetSize();
    if (myPlacedSize.x > 0 && myPlacedSize.y > 0 && IsShown() && size != myPlacedSize &&
        wxGetLocalTimeMillis() < myPlacedUntil) {
        // The manager's frame came out larger or smaller than the toolkit
        // guessed: the outer size as asked, once.
        myPlacedUntil = 0;
        SetSize(myPlacedSize);
    }
    rememberGeometry();
    event.Skip(); // the frame lays out its view
    layOutView(); // unless the time controls share its area
}

void MainFrame::OnMove(wxMoveEvent& event)
{
    rememberGeometry();
    event.Skip();
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
    EVT_MENU(ID_OPEN, MainFrame::OnOpen)
    EVT_MENU(ID_OPEN_FOLDER, MainFrame::OnOpenFolder)
    EVT_MENU(ID_LOAD_MASK, MainFrame::OnLoadMask)
    EVT_MENU(ID_SAVE_PICTURE, MainFrame::OnSavePicture)
    EVT_MENU_RANGE(ID_RECENT_FIRST, ID_RECENT_FIRST + RecentFiles::kMost - 1, MainFrame::OnRecent)
    EVT_MENU(ID_SAVE_TURNTABLE, MainFrame::OnSaveTurntable)
    EVT_MENU(ID_EXIT, MainFrame::OnExit)
    EVT_SIZE(MainFrame::OnSize)
    EVT_SLIDER(ID_TIME_SLIDER, MainFrame::OnTimeSlider)
    EVT_BUTTON(ID_TIME_PLAY, MainFrame::OnTimePlay)
    EVT_TIMER(ID_TIME_TIMER, MainFrame::OnTimeTimer)
    EVT_MOVE(MainFrame::OnMove)
    EVT_MENU(ID_PERSPECTIVE, MainFrame::OnPerspective)
    EVT_MENU(ID_ORTHOGONAL, MainFrame::OnOrthogonal)
    EVT_MENU(ID_VIEW_FRONT, MainFrame::OnViewFront)
    EVT_MENU(ID_VIEW_BACK, MainFrame::OnViewBack)
    EVT_MENU(ID_VIEW_LEFT, MainFrame::OnViewLeft)
    EVT_MENU(ID_VIEW_RIGHT, MainFrame::OnViewRight)
    EVT_MENU(ID_VIEW_TOP, MainFrame::OnViewTop)
    EVT_MENU(ID_VIEW_BOTTOM, MainFrame::OnViewBottom)
    EVT_MENU(ID_FRAME_RATE, MainFrame::OnFrameRate)
    EVT_MENU(ID_ORIENTATION_MARKER, MainFrame::OnOrientationMarker)
    EVT_MENU(ID_COLOUR_BAR, MainFrame::OnColourBar)
    EVT_MENU(ID_TRANSFER_FUNCTION, MainFrame::OnTransferFunction)
    EVT_MENU(ID_BACKGROUND, MainFrame::OnBackground)
    EVT_MENU(ID_STYLE_2D, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_2D_MULTI, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_3D_OAS, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_3D_VAS, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_NORMAL_TEXTURE, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_NORMAL_FRAGMENT, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_LIGHT_GRADMAG, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_LIGHT2, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_RAY_CASTING, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_FOCUS_CONTEXT, MainFrame::OnDrawStyle)
    EVT_MENU(ID_STYLE_MULTI_VOLUME, MainFrame::OnDrawStyle)
    EVT_MENU(ID_BLEND, MainFrame::OnBlend)
    EVT_MENU(ID_MAXIMUM, MainFrame::OnMaximum)
    EVT_MENU(ID_MINIMUM, MainFrame::OnMinimum)
    EVT_MENU(ID_SHOW_BBOX, MainFrame::OnShowBBox)
    EVT_MENU(ID_SHOW_VOLUME, MainFrame::OnShowVolume)
    EVT_MENU(ID_SHOW_SLICES, MainFrame::OnShowSlices)
    EVT_MENU(ID_SHOW_BRICKS, MainFrame::OnShowBricks)
    EVT_MENU(ID_RELOAD, MainFrame::OnReload)
    EVT_MENU(ID_CREATE_CLIP_PLANE, MainFrame::OnCreateClipPlane)
    EVT_MENU(ID_DELETE_ALL_PLANES, MainFrame::OnDeleteAllPlanes)
    EVT_MENU(10201, MainFrame::OnPlaneInvert<1>)
    EVT_MENU(10301, MainFrame::OnPlaneRotate<1>)
    EVT_MENU(10701, MainFrame::OnPlaneTranslate<1>)
    EVT_MENU(10401, MainFrame::OnPlaneReset<1>)
    EVT_MENU(10501, MainFrame::OnPlaneDraw<1>)
    EVT_MENU(10601, MainFrame::OnPlaneDelete<1>)
    EVT_MENU(20201, MainFrame::OnPlaneInvert<2>)
    EVT_MENU(20301, MainFrame::OnPlaneRotate<2>)
    EVT_MENU(20701, MainFrame::OnPlaneTranslate<2>)
    EVT_MENU(20401, MainFrame::OnPlaneReset<2>)
    EVT_MENU(20501, MainFrame::OnPlaneDraw<2>)
    EVT_MENU(20601, MainFrame::OnPlaneDelete<2>)
    EVT_MENU(30201, MainFrame::OnPlaneInvert<3>)
    EVT_MENU(30301, MainFrame::OnPlaneRotate<3>)
    EVT_MENU(30701, MainFrame::OnPlaneTranslate<3>)
    EVT_MENU(30401, MainFrame::OnPlaneReset<3>)
    EVT_MENU(30501, MainFrame::OnPlaneDraw<3>)
    EVT_MENU(30601, MainFrame::OnPlaneDelete<3>)
    EVT_MENU(40201, MainFrame::OnPlaneInvert<4>)
    EVT_MENU(40301, MainFrame::OnPlaneRotate<4>)
    EVT_MENU(40701, MainFrame::OnPlaneTranslate<4>)
    EVT_MENU(40401, MainFrame::OnPlaneReset<4>)
    EVT_MENU(40501, MainFrame::OnPlaneDraw<4>)
    EVT_MENU(40601, MainFrame::OnPlaneDelete<4>)
    EVT_MENU(50201, MainFrame::OnPlaneInvert<5>)
    EVT_MENU(50301, MainFrame::OnPlaneRotate<5>)
    EVT_MENU(50701, MainFrame::OnPlaneTranslate<5>)
    EVT_MENU(50401, MainFrame::OnPlaneReset<5>)
    EVT_MENU(50501, MainFrame::OnPlaneDraw<5>)
    EVT_MENU(50601, MainFrame::OnPlaneDelete<5>)
    EVT_MENU(60201, MainFrame::OnPlaneInvert<6>)
    EVT_MENU(60301, MainFrame::OnPlaneRotate<6>)
    EVT_MENU(60701, MainFrame::OnPlaneTranslate<6>)
    EVT_MENU(60401, MainFrame::OnPlaneReset<6>)
    EVT_MENU(60501, MainFrame::OnPlaneDraw<6>)
    EVT_MENU(60601, MainFrame::OnPlaneDelete<6>)
    EVT_MENU(ID_ABOUT, MainFrame::OnAbout)
    EVT_MENU(ID_SETTINGS, MainFrame::OnSettings)
    EVT_MENU(ID_DATA_INFO, MainFrame::OnDataInfo)
    EVT_CHAR(MainFrame::OnChar)
    EVT_ACTIVATE(MainFrame::OnActivate)
wxEND_EVENT_TABLE()
// clang-format on
