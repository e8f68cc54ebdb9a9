// The main window: menus, the data-information text and the main view.
#ifndef GLIMRA_MENU_MAIN_H
#define GLIMRA_MENU_MAIN_H

#include <wx/wx.h>

#include <functional>
#include <string>
#include <vector>

#include "overlay_switches.h"
#include "viewer.h"
#include "wx_observer.h"

class MainGLCanvas;
class TimeBar;

class MainFrame : public wxFrame
{
public:
    MainFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
              long style = wxDEFAULT_FRAME_STYLE);
    ~MainFrame() override;

    wxMenu* clippingMenu;       // where the per-plane submenus go
    MainGLCanvas* myGLcanvas;   // the main view, created by start-up
    std::string dataInfo;       // what the loaders wrote about the data set
    bool autosave;              // write the settings file when the window goes
    WxObserver myObserver;      // dialogs, boxes and windows for the actions
    Viewer viewer;              // the program's actions, shared with glimra-render

    // Writes the settings file when autosave is on.
    void saveSettingsIfAutosave();
    // Outer position and size the last time the window was on screen (not
    // iconised, maximised or full screen); empty before it was shown. A
    // hidden window reports its size without the window manager's frame,
    // and the main window is hidden while it is destroyed beside open tool
    // windows, so the settings take this instead.
    wxRect shownGeometry() const { return myShownGeometry; }
    // Places the window (outer size; -1 leaves a value to the toolkit). A
    // window manager tells the size of its frame only after the window is
    // mapped, and the toolkit then keeps the inner size; for a few seconds
    // the window returns to the size asked for here.
    void place(int x, int y, int width, int height);
    // Relabels and disables the items the graphics driver and the data do not
    // support; the view's context must be current.
    void adaptMenusToHardware();
    // Sets the check mark of a check or radio item; unknown ids are ignored.
    void check(int id, bool on);
    // Check marks and enabled items follow the model (style, blending,
    // projection, mask, bands), and the tool windows show it.
    void refreshWindows();

    // ---- the actions behind the commands, callable without any dialog ----

    // Loads the data set at path and adapts the menus, the transfer function
    // and the view to it; false when the load failed.
    bool openData(const std::string& path);
    // Loads the mask at path over the loaded data; false when it failed.
    bool loadMaskFile(const std::string& path);
    // Clear colour of the view and volume.background (each 0..1), then redraw.
    void setBackground(float r, float g, float b);
    // Selects draw style k (1..13, as in the "Draw Style" menu).
    void selectDrawStyle(int k);
    // Selects the compositing rule (0 blending, 1 maximum, 2 minimum intensity).
    void selectBlending(int b);
    // Perspective (true) or orthographic projection; needs the view.
    void setProjection(bool perspective);
    // Rotation of the data set to a fixed view: angle in degrees about the axis.
    void viewPreset(float angle, float x, float y, float z);
    // Camera home, no planes, shader programs read anew.
    void reload();
    // A new plane in the first free slot with its submenu; the plane number
    // (1..6), or 0 when all slots are taken.
    int createClipPlane();
    // Every plane and its submenu goes.
    void deleteAllClipPlanes();
    // The view at width x height (the window's size when 0) as a PNG file;
    // false with a warning box naming the file and the reason.
    bool savePicture(const std::string& path, int width, int height);
    // frames pictures of the view turning once around (turntableFramePath
    // names them) at width x height; progress (may be null) is told after
    // each frame and may stop it. False with a warning box when a frame
    // cannot be written; a stop is no failure to warn about.
    bool saveTurntable(const std::string& path, int frames, int width, int height,
                       const std::function<bool(int frame, int count)>& progress);
    // Shows time point t (0 the first) of the data on screen; false when the
    // data have no such time point or it could not be read.
    bool showTimePoint(size_t t);
    // Starts or stops stepping through the time points ("Play" / "Pause").
    void playTime(bool on);
    bool playingTime() const { return myTimer.IsRunning(); }
    // The row of time controls under the view; null until data with time
    // points were first shown.
    TimeBar* timeBar() const { return myTimeBar; }
    // The settings and information windows: created on first use, raised
    // and given the focus afterwards.
    void openSettingsWindow();
    void openDataWindow();
    // The per-plane commands of plane n (1..6); empty slots do nothing.
    void invertClipPlane(int n);
    // The overlays' switches from the file at path (beside "glimra.ini"):
    // the view and the check marks take them, and each change is written
    // back there.
    void keepOverlaySwitches(const std::string& path);
    void toggleRotateClipPlane(int n);
    void toggleTranslateClipPlane(int n);
    void resetClipPlane(int n);
    void toggleDrawClipPlane(int n);
    void deleteClipPlane(int n);

private:
    void buildMenuBar();
    void relabel(int id, const char* label);
    void enable(int id, bool on);
    // Repaints the view at once when it exists.
    void redraw();
    // The part of an Open that runs after OK and after Cancel alike.
    void finishOpen();
    // Loads the data at path into volume and records the outcome.
    bool loadDataFile(const std::string& path);
    // The "Select a file" dialog; the chosen path, or empty after Cancel.
    std::string askForFile();
    void removeClipPlaneMenu(int n);

    // File > "Open Folder...": a folder opened as one data set.
    void OnOpenFolder(wxCommandEvent& event);
    void OnOpen(wxCommandEvent& event);
    void OnLoadMask(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);
    void OnPerspective(wxCommandEvent& event);
    void OnOrthogonal(wxCommandEvent& event);
    void OnViewFront(wxCommandEvent& event);
    void OnViewBack(wxCommandEvent& event);
    void OnViewLeft(wxCommandEvent& event);
    void OnViewRight(wxCommandEvent& event);
    void OnViewTop(wxCommandEvent& event);
    void OnViewBottom(wxCommandEvent& event);
    void OnFrameRate(wxCommandEvent& event);
    void OnOrientationMarker(wxCommandEvent& event);
    void OnColourBar(wxCommandEvent& event);
    // The view and the check marks after the switches changed; written
    // back when a file keeps them.
    void applyOverlaySwitches(bool write);
    void OnTransferFunction(wxCommandEvent& event);
    void OnBackground(wxCommandEvent& event);
    void OnDrawStyle(wxCommandEvent& event);
    void OnBlend(wxCommandEvent& event);
    void OnMaximum(wxCommandEvent& event);
    void OnMinimum(wxCommandEvent& event);
    void OnShowBBox(wxCommandEvent& event);
    void OnShowVolume(wxCommandEvent& event);
    void OnShowSlices(wxCommandEvent& event);
    void OnShowBricks(wxCommandEvent& event);
    void OnReload(wxCommandEvent& event);
    void OnCreateClipPlane(wxCommandEvent& event);
    void OnDeleteAllPlanes(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnSettings(wxCommandEvent& event);
    void OnDataInfo(wxCommandEvent& event);
    // Per-plane commands; N is the plane number.
    template <int N> void OnPlaneInvert(wxCommandEvent&) { invertClipPlane(N); }
    template <int N> void OnPlaneRotate(wxCommandEvent&) { toggleRotateClipPlane(N); }
    template <int N> void OnPlaneTranslate(wxCommandEvent&) { toggleTranslateClipPlane(N); }
    template <int N> void OnPlaneReset(wxCommandEvent&) { resetClipPlane(N); }
    template <int N> void OnPlaneDraw(wxCommandEvent&) { toggleDrawClipPlane(N); }
    template <int N> void OnPlaneDelete(wxCommandEvent&) { deleteClipPlane(N); }
    void OnChar(wxKeyEvent& event);
    void OnActivate(wxActivateEvent& event);
    void OnRecent(wxCommandEvent& event);
    // "Open Recent" lists the viewer's recent files; the title names the data.
    void refreshRecentAndTitle();
    void OnSavePicture(wxCommandEvent& event);
    void OnSaveTurntable(wxCommandEvent& event);
    // Keep myShownGeometry in step.
    void OnSize(wxSizeEvent& event);
    void OnMove(wxMoveEvent& event);
    void rememberGeometry();
    // The styles that cannot draw the pyramid on screen are greyed out
    // while it is; after a load of other data they come back where the
    // data and the shader programs let them draw.
    void refreshPyramidStyles();
    // The time controls follow the viewer: shown for data with time
    // points, else hidden and not playing.
    void refreshTimeBar();
    // View and time controls share the client area, the controls at the bottom.
    void layOutView();
    void OnTimeSlider(wxCommandEvent& event);
    void OnTimePlay(wxCommandEvent& event);
    void OnTimeTimer(wxTimerEvent& event);

    wxMenu* myRecentMenu = nullptr; // File > "Open Recent"
    wxRect myShownGeometry; // see shownGeometry()
    wxSize myPlacedSize;    // the outer size place() asked for; kept while myPlacedUntil
    wxLongLong myPlacedUntil; // wxGetLocalTimeMillis() until which it is restored
    TimeBar* myTimeBar = nullptr; // under the view; a child of this window
    wxTimer myTimer;              // steps the time points while playing
    OverlaySwitches myOverlays;   // View > "Orientation Marker" and "Colour Bar"
    std::string myOverlaysPath;   // where they are kept, empty: for this run only
    std::vector<int> myPyramidGreyed; // style items greyed out for the pyramid on screen

    wxDECLARE_EVENT_TABLE();
};

// The filters of File > Open's dialog: each format the program reads, by the
// names its files have, then all files.
extern const char* const kOpenDataWildcard;

extern MainFrame* g_pMainFrame;
extern wxFrame* g_pTransferFrame;
extern wxFrame* g_pSettingsFrame;
extern wxFrame* g_pDataFrame;

#endif
