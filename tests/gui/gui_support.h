// Running the real program under the X display, and driving windows in-process.
#ifndef GLIMRA_GUI_SUPPORT_H
#define GLIMRA_GUI_SUPPORT_H

#include <functional>
#include <string>
#include <vector>

namespace guitest {

struct ProgramRun
{
    bool started = false;     // the process ran
    bool windowSeen = false;  // a top-level window titled "glimra" appeared
    bool exited = false;      // it ended by itself after the termination request
    int exitStatus = -1;      // its exit status when it exited
    std::string out;          // what it wrote on standard output
    std::string err;          // what it wrote on standard error
    std::string log;          // "log.txt" of its working directory after the run
    std::string workDir;      // the working directory (inside the temp dir)
};

// Starts build/glimra with args in workDir (created when missing; a sibling
// "Cg" link reaches the repository's program files), waits for its window,
// runs whileUp (may be empty), then asks it to close (SIGTERM, handled like
// "Exit") and waits for the end.
ProgramRun runGlimra(const std::string& workDir, const std::vector<std::string>& args,
                     const std::function<void(int pid)>& whileUp = {}, int windowTimeoutMs = 30000);

// True when an X display is reachable.
bool haveDisplay();

} // namespace guitest

#define SKIP_WITHOUT_DISPLAY()                                                \
    do {                                                                      \
        if (!guitest::haveDisplay())                                          \
            GTEST_SKIP() << "no X display";                                   \
    } while (0)

#endif
