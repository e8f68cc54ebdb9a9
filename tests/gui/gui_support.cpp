#include "gui_support.h"

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
