#include "gui_support.h"

#include "sample_volumes.h"
#include "test_support.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace guitest {

std::string writeSample(const testsupport::TempDir& dir, const std::string& sample,
                        const std::string& file)
{
    SampleVolume v;
    if (!makeSampleVolume(sample, &v) || !writeSampleVolume(v, dir.file(file)))
        return std::string();
    return dir.file(file);
}

bool haveDisplay()
{
    const char* d = std::getenv("DISPLAY");
    return d && *d && testsupport::runCommand("xwininfo -root > /dev/null 2>&1") == 0;
}

static bool windowExists(int pid)
{
    // Our window is the one whose owner's name is "glimra"; only one instance runs at a time.
    (void)pid;
    return testsupport::runCommand("xwininfo -name glimra > /dev/null 2>&1") == 0;
}

static bool waitForExit(int pid, int timeoutMs, int* status)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

ProgramRun runGlimra(const std::string& workDir, const std::vector<std::string>& args,
                     const std::function<void(int pid)>& whileUp, int windowTimeoutMs)
{
    ProgramRun run;
    run.workDir = workDir;
    ::mkdir(workDir.c_str(), 0755);
    const std::string parent = workDir.substr(0, workDir.find_last_of('/'));
    const std::string cgLink = parent + "/Cg";
    if (!testsupport::fileExists(cgLink))
        if (::symlink(GLIMRA_SOURCE_DIR "/Cg", cgLink.c_str()) != 0) {
            // the program then reports missing program files; the run goes on
        }
    const std::string program = testsupport::buildDir() + "/glimra";
    const std::string outPath = workDir + "/.stdout";
    const std::string errPath = workDir + "/.stderr";

    const pid_t pid = ::fork();
    if (pid < 0)
        return run;
    if (pid == 0) {
        if (::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::dup2(in, 0);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    run.started = true;

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(windowTimeoutMs);
    int status = 0;
    bool gone = false;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            gone = true;
            break;
        }
        if (windowExists(pid)) {
            run.windowSeen = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!gone) {
        // Give the event loop a moment to start serving requests.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (whileUp && run.windowSeen)
            whileUp(pid);
        ::kill(pid, SIGTERM);
        gone = waitForExit(pid, 30000, &status);
        if (gone) {
            run.exited = true;
        } else {
            ::kill(pid, SIGKILL);
            waitForExit(pid, 5000, &status);
        }
    } else {
        run.exited = true;
    }
    if (run.exited && WIFEXITED(status))
        run.exitStatus = WEXITSTATUS(status);
    run.out = testsupport::readFile(outPath);
    run.err = testsupport::readFile(errPath);
    run.log = testsupport::readFile(workDir + "/log.txt");
    return run;
}

} // namespace guitest

#include "canvas_main.h"
#include "command_ids.h"
#include "error_handling.h"
#include "menu_main.h"
#include "wx_startup.h"

#include <wx/app.h>
#include <wx/utils.h>

namespace guitest {

ViewerObserver& BoxRecorder::window()
{
    return g_pMainFrame ? static_cast<ViewerObserver&>(g_pMainFrame->myObserver) : ViewerObserver::quiet();
}

InProcessGlimra::InProcessGlimra(const std::vector<std::string>& args, const std::string& workDir)
    : myWorkDir(workDir)
{
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd))
        myOldDir = cwd;
    ::mkdir(workDir.c_str(), 0755);
    if (::chdir(workDir.c_str()) != 0)
        return;
    myConsole = std::fopen("console.txt", "wb");
    g_pConsoleLog = new LogChannel(myConsole, false);
    g_pFileLog = new LogChannel("log.txt");
    std::vector<const char*> argv{"glimra"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    myStarted = startGlimra(parseCommandLine(static_cast<int>(argv.size()), argv.data()), &myBoxes);
    pump();
}

InProcessGlimra::~InProcessGlimra()
{
    close();
    if (myConsole)
        std::fclose(myConsole);
    if (!myOldDir.empty() && ::chdir(myOldDir.c_str()) != 0) {
        // nothing sensible to do in a destructor
    }
}

void InProcessGlimra::postCommand(int id)
{
    if (!g_pMainFrame)
        return;
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(g_pMainFrame);
    g_pMainFrame->GetEventHandler()->ProcessEvent(event);
    pump();
}

void InProcessGlimra::pump(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        wxTheApp->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
}

bool InProcessGlimra::close()
{
    if (!g_pMainFrame)
        return true;
    wxCommandEvent exitEvent(wxEVT_MENU, ID_EXIT);
    wxPostEvent(g_pMainFrame, exitEvent);
    for (int i = 0; i < 200 && g_pMainFrame; ++i)
        pump(10);
    return g_pMainFrame == nullptr;
}

std::string InProcessGlimra::log() const
{
    return testsupport::readFile(myWorkDir + "/log.txt");
}

std::string InProcessGlimra::console() const
{
    return testsupport::readFile(myWorkDir + "/console.txt");
}

} // namespace guitest

namespace guitest {

std::vector<unsigned char> mainViewPicture()
{
    MainGLCanvas* c = g_pMainFrame ? g_pMainFrame->myGLcanvas : nullptr;
    std::vector<unsigned char> px;
    if (!c || !c->makeContextCurrent())
        return px;
    c->paintCycle();
    px.assign(static_cast<size_t>(c->width) * c->height * 4, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, c->width, c->height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

} // namespace guitest
