// The program's actions, one set for the main window and glimra-render:
// open data, a mask, a palette, read settings, choose style, blending and
// classification, and say why a style cannot draw. Each action changes the
// model (volume, transfer function, render mode), rebuilds what the pictures
// need, and tells its observer what to show. File dialogs stay with the
// caller: an action takes a path.
#ifndef GLIMRA_VIEWER_H
#define GLIMRA_VIEWER_H

#include "actions.h"
#include "pyramid_view.h"
#include "recent_files.h"
#include "remembered_curves.h"
#include "running_settings.h"
#include "time_point_cache.h"
#include "viewer_observer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class MainView;

class Viewer
{
public:
    explicit Viewer(ViewerObserver& observer = ViewerObserver::quiet());
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    ViewerObserver& observer() const { return *myObserver; }
    // Tests put a recorder in front of the window's observer.
    void setObserver(ViewerObserver& observer) { myObserver = &observer; }
    // The main view the actions set up (projection, render target); null
    // until there is one.
    void setView(MainView* view) { myView = view; }
    MainView* view() const { return myView; }

    // ---- files ----

    // Reads the data set at path and puts it on screen; info receives the
    // data-information text. A file that cannot be read leaves everything as
    // it was and shows a warning naming it. False when nothing new is shown.
    bool openData(const std::string& path, std::string* info);
    // The file of the data on screen ("" before a load succeeded).
    const std::string& dataPath() const { return myDataPath; }
    // Bytes the streamed bricks of a pyramid may take (0: half the memory
    // available when the pyramid is opened): for the next open, and for the
    // stream on screen from its next frame (fewer bricks kept at once).
    void setBrickBudget(uint64_t bytes);
    // The bytes bricks may take now: the stream's budget while a pyramid
    // streams, else what the next open would give it.
    uint64_t brickBudget() const;
    // Whether the finer levels of pyramids opened from now on are streamed
    // (off at first), and whether a picture waits for every brick it needs
    // (glimra-render) instead of drawing coarser until workers read them.
    void streamPyramids(bool on, bool waiting)
    {
        myStreaming = on;
        myWaiting = waiting;
        // The default budget is half the memory available now, at start.
        if (on)
            defaultBrickBudget();
    }
    // The stream of the pyramid on screen, null when the data are no
    // pyramid or its finer levels cannot be streamed (pyramidNote says why).
    BrickStream* pyramidStream() const { return myStream.get(); }
    // Why the pyramid on screen is drawn at its coarsest level only, "" when
    // it streams or the data are no pyramid.
    const std::string& pyramidNote() const { return myPyramidNote; }
    // The data on screen are a pyramid (streamed or not).
    bool pyramidOnScreen() const { return myPyramid; }
    // What the settings window's status line says of the pyramid on screen:
    // the styles that stream it and the budget of its bricks, or why it is
    // drawn at its coarsest level only; "" without a pyramid.
    std::string pyramidStatus() const;
    // Keep the files opened successfully in the list file at listPath (read
    // now, written after each such open); without this call none is kept.
    void keepRecentFiles(const std::string& listPath);
    const RecentFiles& recentFiles() const { return myRecent; }
    // Keep the curves from one run to the next in the palette file
    // palettePath and its note notePath: a load of the data file they were
    // drawn for reads them back instead of fitting a first guess (a palette
    // the user read still stays). Without this call none are kept.
    void keepCurves(const std::string& palettePath, const std::string& notePath);
    // At exit: the curves for the data on screen into those files; false when
    // none are kept, no data are on screen or a file cannot be written.
    bool rememberCurves() const;
    // Reads a mask of the data's resolution and gives it a render target.
    bool openMask(const std::string& path);
    // Reads a palette or lookup table (linear curves), rebuilds and uploads
    // the tables; a refused file leaves the points and shows a warning.
    bool openPalette(const std::string& path);
    // The view has just been set up: a palette given before it had a
    // transfer function (a window manager may map the window late) is read.
    void viewSetUp();

    // ---- time points ----

    // Volumes the data file on screen holds one after the other (1 for data
    // without time points or before a load).
    size_t timePoints() const { return myTimePoints; }
    // The one on screen, 0 the first.
    size_t timePoint() const { return myTimePoint; }
    // The time points kept in memory once read.
    const TimePointCache& keptTimePoints() const { return myKeptTimePoints; }
    // Reads time point t of the data file and shows it, the textures
    // overwritten in place; info receives the data-information text. A time
    // point beyond the last or one that cannot be read changes nothing
    // (false; the latter with a warning), nor does a call while a load or a
    // step is under way.
    bool showTimePoint(size_t t, std::string* info);
    // The time point after the one shown, the first after the last (play).
    bool nextTimePoint(std::string* info);

    // ---- settings ----

    // Where the running settings live: the core objects until the window
    // puts its own target here (null restores the core target).
    void setSettingsTarget(SettingsTarget* target);
    SettingsTarget& settings() const { return *mySettings; }
    // A settings file into the running settings, the projection and tables
    // following; false when it cannot be opened, and nothing changes then.
    bool readSettings(const std::string& path);
    // "glimra.ini" in the working directory, read and written as they are.
    bool readSettingsFile();
    bool saveSettingsFile() const;
    // "Save settings": the same, and note receives what the user is told,
    // the file's absolute path and, when it could not be written, why.
    bool saveSettingsFile(std::string* note) const;
    // The autosave switch changed; switching off rewrites the file.
    void autosaveSwitched(bool on);

    // ---- choices ----

    // Draw style k (1..13, the "Draw Style" menu): focus and context takes
    // the orthographic projection, the 2-D styles rebuild their tables.
    void setStyle(int style);
    // 0 blending, 1 maximum, 2 minimum intensity.
    void setBlending(int blending);
    // 1 post-, 2 pre-classification, 3 and 4 pre-integration; the tables
    // the classification reads are rebuilt and uploaded.
    void setClassification(int classification);
    // Perspective (true) or orthographic projection.
    void setProjection(bool perspective);
    // A clip plane a x + b y + c z + d >= 0 in the data's own box frame
    // (plane[0..3]), turning with the data from now on; false when six
    // planes exist or (a, b, c) is no direction.
    bool addClipPlane(const float plane[4]);
    // A style that cannot draw with what is loaded ("Focus and Context"
    // without a mask, a style that cannot stream the pyramid on screen, ...)
    // gives way to "3D Texture VAS", with a log line; the window asks after
    // its loads. True when the style changed.
    bool fallBack();
    // Why the style cannot draw with what is loaded and the classification
    // cannot be used, "" when both can.
    std::string whyUnavailable(int style, int classification) const;

private:
    // Builds and uploads the tables in the view's context (all: the
    // pre-integration table too).
    void uploadTables(bool all);
    // The view is drawn again and the windows follow the model.
    void show();
    // Streams the finer levels of the pyramid just opened from path (no
    // pyramid: nothing), or notes why they cannot be.
    void startStream(const std::string& path);
    // openPalette's reading, the transfer function there.
    bool readPalette(const std::string& path);

    ViewerObserver* myObserver;        // told what to show; never null
    MainView* myView = nullptr;        // the main view, not owned
    CoreSettingsTarget myCoreSettings; // the settings without a window
    SettingsTarget* mySettings;        // myCoreSettings or the window's
    std::string myPendingPalette;      // a palette given before the view was set up
    std::string myDataPath;            // the data file on screen
    size_t myTimePoints = 1;           // volumes of that file (time points)
    size_t myTimePoint = 0;            // the one shown
    bool myStepping = false;           // showTimePoint is under way
    RecentFiles myRecent;              // the files opened last
    TimePointCache myKeptTimePoints;   // time points read, kept while they fit
    std::string myRecentPath;          // where they are kept; "" for nowhere
    RememberedCurves myRemembered;     // the curves of the last run; nowhere by default
    std::unique_ptr<BrickStream> myStream; // the finer bricks of the pyramid on screen
    bool myPyramid = false;            // the data on screen are a pyramid
    std::string myPyramidNote;         // why its finer levels are not streamed
    uint64_t myBrickBudget = 0;        // bytes of bricks, 0 for the default
    bool myStreaming = false;          // pyramids stream their finer levels
    bool myWaiting = false;            // pictures wait for every brick
};

#endif
