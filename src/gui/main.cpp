// The application object: start-up and the command line.
#include "command_line.h"
#include "command_ids.h"
#include "error_handling.h"
#include "menu_main.h"
#include "my_cg.h"
#include "program_files.h"
#include "reader_process.h"
#include "wx_asserts.h"
#include "wx_startup.h"

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
    installAssertHandler();
    GUARDED_NEW_AS(g_pConsoleLog, "g_pConsoleLog", LogChannel);
    g_garbageCollector.remove(g_pConsoleLog);
    GUARDED_NEW_AS(g_pFileLog, "g_pFileLog", LogChannel, "log.txt");
    g_garbageCollector.remove(g_pFileLog);
    usage();
    // The program files: "../Cg/" of the working directory as always, else
    // those of the build tree or the installed package; one log line says which.
    std::string report;
    setCgProgramDirectory(findProgramFiles("Cg", &report).c_str());
    logBoth(__FILE__, __LINE__, report.c_str());
    if (runsWithLargePages())
        logBoth(__FILE__, __LINE__, "Large pages for large blocks (glibc.malloc.hugetlb=1).\n");
    // wx 3 has no integer trace mask: window-message tracing is left off.

    SetSignalHandler(SIGTERM, onTerminate);
    SetSignalHandler(SIGINT, onTerminate);

    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(std::string(argv[i].utf8_str()));
    std::vector<const char*> argp;
    for (const std::string& a : args)
        argp.push_back(a.c_str());
    startGlimra(parseCommandLine(argc, argp.data()));
    return true;
}

wxIMPLEMENT_APP_NO_MAIN(MyApp);

// "--help" and unknown options end the start before the toolkit needs a
// display and before anything is opened (the last run's log stays): the
// usage, and the mistake on standard error.
int main(int argc, char** argv)
{
    std::string message;
    const int status = commandLineStatus(parseCommandLine(argc, argv), &message);
    if (status >= 0) {
        if (!message.empty())
            std::fprintf(stderr, "%s\n", message.c_str());
        MyApp::usage();
        return status;
    }
    // Large pages for the volumes and textures held, so that each file
    // opened in the reader's child costs a small fork.
    restartWithLargePages(argv);
    return wxEntry(argc, argv);
}
