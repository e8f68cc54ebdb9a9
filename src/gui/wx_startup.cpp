#include "wx_startup.h"

#include "canvas_main.h"
#include "error_handling.h"
#include "file_drop.h"
#include "load.h"
#include "menu_main.h"
#include "multi_volume.h"
#include "actions.h"
#include "render_mode.h"
#include "running_settings.h"
#include "transfer_function.h"
#include "volume.h"
#include "wx_load.h"
#include "wx_settings.h"

bool startGlimra(const CommandLine& cl)
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
    // Files dropped on the window open as File > Open and "-p" open them.
    installFileDrop(g_pMainFrame);

    installMainWindowSettings();
    g_loadSeams.loadMultiVolume = loadMultiVolume;
    // Table resizes during a load upload into the main view's context.
    TransferFunction::makeMainViewCurrent = [] {
        if (g_pMainFrame && g_pMainFrame->myGLcanvas)
            g_pMainFrame->myGLcanvas->makeContextCurrent();
    };
    loadSettingsFile();

    if (cl.hasData) {
        dataLoaded(volume, loadDataWithDialog(cl.dataFile, &g_pMainFrame->dataInfo), cl.dataFile);
        // The mask is tried even when the data failed: its size check decides.
        if (cl.hasMask)
            volume.isMask = loadMaskWithDialog(cl.maskFile) && volume.createShiftTex();
        if (volume.isMask && g_pMainFrame->myGLcanvas->makeContextCurrent())
            g_pMainFrame->myGLcanvas->renderTargetFollow();
    }
    // "-p": the palette with linear curves, built, uploaded in the view's
    // context, and shown.
    if (cl.hasPalette) {
        loadPaletteAtStartup(cl.paletteFile);
        g_pMainFrame->myGLcanvas->redrawNow();
        if (transfer && g_pMainFrame->myGLcanvas->makeContextCurrent())
            transfer->upload();
        g_pMainFrame->myGLcanvas->redrawNow();
    }
    if (g_pMainFrame->myGLcanvas->makeContextCurrent()) {
        g_pMainFrame->adaptMenusToHardware();
        // A saved style that cannot draw with what this start has.
        if (fallBackToDrawableStyle())
            g_pMainFrame->check(drawStyleCommandId(DRAW_3D_TEXTURE_VAS), true);
    }
    return true;
}
