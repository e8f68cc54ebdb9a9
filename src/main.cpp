// The application object: start-up and the command line.
#include "canvas_main.h"
#include "command_line.h"
#include "command_ids.h"
#include "error_handling.h"
#include "menu_main.h"
#include "settings_file.h"
#include "volume.h"
#include "wx_load.h"

#include <csignal>
#include <string>
#include <vector>
#include <cstdio>
#include <wx/app.h>

class MyApp : public wxApp
{
public:
    bool OnInit() override;
    static void usage();
};

void MyApp::usage()
{
    std::printf("%s", kUsageText);
    std::fflush(stdout);
}

// A termination request closes the program the way "Exit" does, so the
// settings and the log are written.
static void onTerminate(int)
{
    if (g_pMainFrame) {
        wxCommandEvent exitEvent(wxEVT_MENU, ID_EXIT);
        wxPostEvent(g_pMainFrame, exitEvent);
    }
}

bool MyApp::OnInit()
{
    GUARDED_NEW_AS(g_pConsoleLog, "g_pConsoleLog", LogChannel);
    g_garbageCollector.remove(g_pConsoleLog);
    GUARDED_NEW_AS(g_pFileLog, "g_pFileLog", LogChannel, "log.txt");
    g_garbageCollector.remove(g_pFileLog);
    usage();
    // wx 3 has no integer trace mask: window-message tracing is left off.

    GUARDED_NEW(g_pMainFrame, MainFrame, nullptr, "glimra", wxPoint(400, 400), wxSize(640, 480),
                wxDEFAULT_FRAME_STYLE | wxCLIP_CHILDREN);
    if (!g_pMainFrame)
        return true;

    static const int attribs[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 24,
                                  WX_GL_STENCIL_SIZE, 8, 0};
    GUARDED_NEW(g_pMainFrame->myGLcanvas, MainGLCanvas, g_pMainFrame, wxID_ANY, wxDefaultPosition,
                g_pMainFrame->GetClientSize(), 0, "GLCanvas", attribs);
    g_pMainFrame->SendSizeEvent();

    loadSettingsFile();

    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(std::string(argv[i].utf8_str()));
    std::vector<const char*> argp;
    for (const std::string& a : args)
        argp.push_back(a.c_str());
    const CommandLine cl = parseCommandLine(argc, argp.data());
    if (cl.hasData) {
        if (loadDataWithDialog(cl.dataFile, &g_pMainFrame->dataInfo)) {
            volume.isData = true;
            volume.showVolume = true;
        } else {
            volume.isData = false;
        }
        volume.isMask = false;
        if (cl.hasMask)
            volume.isMask = loadMaskWithDialog(cl.maskFile) && volume.createShiftTex();
    }

    SetSignalHandler(SIGTERM, onTerminate);
    SetSignalHandler(SIGINT, onTerminate);
    return true;
}

wxIMPLEMENT_APP(MyApp);
