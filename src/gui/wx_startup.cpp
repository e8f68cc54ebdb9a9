#include "wx_startup.h"

#include "canvas_main.h"
#include "error_handling.h"
#include "file_drop.h"
#include "menu_main.h"
#include "volume_file.h"
#include "wx_settings.h"

namespace {

// A window manager maps the window once it has framed it, and the view can be
// set up only then; a bare X server maps it at once. Start-up waits for the
// set-up (a few seconds at most), so that the settings, the command line and
// the menus meet a view that is set up whatever order the manager maps,
// activates and resizes the window in.
void waitForViewSetUp(MainGLCanvas& canvas)
{
    for (int i = 0; i < 500 && !canvas.makeContextCurrent(); ++i) {
        if (wxTheApp)
            wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
}

} // namespace

bool startGlimra(const CommandLine& cl, ViewerObserver* observer)
{
    GUARDED_NEW(g_pMainFrame, MainFrame, nullptr, "glimra", wxPoint(400, 400), wxSize(640, 480),
                wxDEFAULT_FRAME_STYLE | wxCLIP_CHILDREN);
    if (!g_pMainFrame)
        return false;

    static const int attribs[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 24,
                                  WX_GL_STENCIL_SIZE, 8, 0};
    GUARDED_NEW(g_pMainFrame->myGLcanvas, MainGLCanvas, g_pMainFrame, wxID_ANY, wxDefaultPosition,
                g_pMainFrame->GetClientSize(), 0, "GLCanvas", attribs);
    if (!g_pMainFrame->myGLcanvas)
        return false;
    g_pMainFrame->SendSizeEvent();
    waitForViewSetUp(*g_pMainFrame->myGLcanvas);
    // Files dropped on the window open as File > Open and "-p" open them.
    installFileDrop(g_pMainFrame);

    Viewer& viewer = g_pMainFrame->viewer;
    if (observer)
        viewer.setObserver(*observer);
    viewer.setView(g_pMainFrame->myGLcanvas);
    // What waits for the view's set-up (which a window manager may delay).
    g_pMainFrame->myGLcanvas->onSetUp = [&viewer] { viewer.viewSetUp(); };
    installMainWindowSettings(viewer);
    viewer.readSettingsFile();
    // File > "Open Recent", kept beside "glimra.ini".
    viewer.keepRecentFiles(kRecentFilesName);
    // View > "Orientation Marker" and "Colour Bar" as the last run left them.
    g_pMainFrame->keepOverlaySwitches(kOverlaySwitchesName);
    // The curves of the last run, for the data file they were drawn for.
    viewer.keepCurves(kRememberedCurvesName, kRememberedNoteName);
    // A pyramid's finer levels stream on worker threads, under --memory.
    viewer.streamPyramids(true, false);
    uint64_t brickBytes = 0;
    if (cl.hasMemory && parseMemoryOption(cl.memory, &brickBytes))
        viewer.setBrickBudget(brickBytes);
    g_pMainFrame->refreshWindows();

    // A mask without data is not loaded, and the user is told why.
    if (cl.hasMask && !cl.hasData)
        viewer.observer().warn("The mask \"" + baseName(cl.maskFile) +
                                   "\" was not loaded: a mask goes with the data it masks (-d DATA -m MASK).",
                               "Warning");
    if (cl.hasData) {
        viewer.openData(cl.dataFile, &g_pMainFrame->dataInfo);
        // The mask is tried even when the data failed: its size check decides.
        if (cl.hasMask)
            viewer.openMask(cl.maskFile);
    }
    // "-p": the palette with linear curves, built, uploaded in the view's
    // context, and shown.
    if (cl.hasPalette)
        viewer.openPalette(cl.paletteFile);
    if (g_pMainFrame->myGLcanvas->makeContextCurrent()) {
        g_pMainFrame->adaptMenusToHardware();
        // A saved style that cannot draw with what this start has.
        viewer.fallBack();
    }
    return true;
}
