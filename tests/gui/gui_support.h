// Running the real program under the X display, and driving windows in-process.
#ifndef GLIMRA_GUI_SUPPORT_H
#define GLIMRA_GUI_SUPPORT_H

#include "test_support.h"

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

// Writes the named sample volume as dir/file; answers its path, empty on failure.
std::string writeSample(const testsupport::TempDir& dir, const std::string& sample,
                        const std::string& file);

// One paint of the main window's view, read back from its back buffer as
// RGBA rows from the bottom; empty when there is no view or context.
std::vector<unsigned char> mainViewPicture();

} // namespace guitest

#define SKIP_WITHOUT_DISPLAY()                                                \
    do {                                                                      \
        if (!guitest::haveDisplay())                                          \
            GTEST_SKIP() << "no X display";                                   \
    } while (0)

#endif

#include "command_line.h"
#include "viewer_observer.h"

#include <utility>

namespace guitest {

// Stands in front of the main window's observer: keeps the warning boxes it
// is asked for (a modal box would wait for a click), passes the rest on.
class BoxRecorder : public ViewerObserver
{
public:
    ProgressDialog* openProgress() override { return window().openProgress(); }
    void warn(const std::string& text, const std::string& title) override { boxes.emplace_back(text, title); }
    bool makeViewCurrent() override { return window().makeViewCurrent(); }
    void repaint() override { window().repaint(); }
    void refreshWindows() override { window().refreshWindows(); }
    int editorViewWidth() override { return window().editorViewWidth(); }
    void tableSizeChanged(int maxValue) override { window().tableSizeChanged(maxValue); }

    std::vector<std::pair<std::string, std::string>> boxes; // (text, title), in order

private:
    // The main window's own observer, the quiet one while there is none.
    static ViewerObserver& window();
};

// Runs the program's start-up inside this test process, in a temporary
// working directory, with both log channels on files there; close() posts
// "Exit" and pumps events until the main window is gone.
class InProcessGlimra
{
public:
    explicit InProcessGlimra(const std::vector<std::string>& args, const std::string& workDir);
    ~InProcessGlimra();
    bool started() const { return myStarted; }
    // Posts the command id to the main window and processes it.
    void postCommand(int id);
    // Lets pending events, paints and idle work run for a moment.
    static void pump(int milliseconds = 50);
    bool close();
    std::string log() const;     // "log.txt" content so far
    std::string console() const; // console channel content so far
    // The warning boxes the actions asked for since start-up began.
    std::vector<std::pair<std::string, std::string>>& boxes() { return myBoxes.boxes; }

private:
    BoxRecorder myBoxes;         // in front of the window's observer
    std::string myWorkDir;       // working directory of this run
    std::string myOldDir;        // directory to return to
    FILE* myConsole = nullptr;   // console channel's stream
    bool myStarted = false;      // start-up returned with a window
};

} // namespace guitest
