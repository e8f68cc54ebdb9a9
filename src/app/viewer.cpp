#include "viewer.h"

#include "actions.h"
#include "error_handling.h"
#include "file_facts.h"
#include "histogram.h"
#include "load.h"
#include "load_progress.h"
#include "memory_budget.h"
#include "main_view.h"
#include "plane.h"
#include "render_mode.h"
#include "transfer_editor.h"
#include "transfer_fit.h"
#include "transfer_function.h"
#include "volume.h"
#include "volume_file.h"
#include "zarr_metadata.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// The progress of a load nobody watches.
class QuietProgressDialog : public ProgressDialog
{
public:
    bool update(int, const char*) override { return true; }
    void close() override {}
};

} // namespace

ProgressDialog* ViewerObserver::openProgress()
{
    return new (std::nothrow) QuietProgressDialog;
}

void ViewerObserver::warn(const std::string& text, const std::string& title)
{
    logBoth(__FILE__, __LINE__, (title + ": " + text + "\n").c_str());
}

ViewerObserver& ViewerObserver::quiet()
{
    static ViewerObserver observer;
    return observer;
}

Viewer::Viewer(ViewerObserver& observer) : myObserver(&observer), mySettings(&myCoreSettings)
{
}

void Viewer::uploadTables(bool all)
{
    if (!transfer || !myObserver->makeViewCurrent())
        return;
    transfer->build(all);
    transfer->upload();
}

void Viewer::show()
{
    myObserver->repaint();
    myObserver->refreshWindows();
}

bool Viewer::openData(const std::string& path, std::string* info)
{
    // The volume's textures belong in the main view's context, whichever
    // view painted last.
    myObserver->makeViewCurrent();
    // The bricks of a pyramid on screen go before the volume does; a load
    // that keeps the old data draws its coarsest level.
    if (myStream)
        myStream->detach();
    myStream.reset();
    std::string scratch;
    const LoadResult result = loadData(path, volume, info ? *info : scratch, *myObserver);
    dataLoaded(volume, result, path);
    if (result.loaded || !result.keptOld) {
        myTimePoints = result.loaded ? result.timePoints : 1;
        myTimePoint = 0;
        myKeptTimePoints.clear();
        // A quarter of what a load may hold keeps the time points read, so
        // that playing them again reads nothing.
        myKeptTimePoints.setBudget(myTimePoints > 1 ? loadMemoryBudget() / 4 : 0);
    }
    if (result.loaded) {
        myDataPath = path;
        startStream(path);
        if (!myRecentPath.empty()) {
            myRecent.add(absolutePath(path));
            myRecent.write(myRecentPath);
        }
    }
    // A palette the user read stays; otherwise the curves of the last run
    // with this file come back, or the curves are fitted to the new data.
    const bool ours = result.loaded && transfer && !transfer->userCurves();
    const bool recalled = ours && myRemembered.read(*transfer, path);
    const bool fitted = ours && !recalled && fitTransferToHistogram(*transfer, histogram);
    if (fitted)
        transfer->refreshCurves();
    uploadTables(fitted || recalled);
    show();
    return result.loaded;
}

bool Viewer::showTimePoint(size_t t, std::string* info)
{
    if (!volume.isData || t >= myTimePoints)
        return false;
    if (t == myTimePoint)
        return true;
    // Not in the middle of a load or a build, whose dialog lets a play
    // timer's step through.
    if (myStepping || gpProgressDlg)
        return false;
    struct Stepping
    {
        bool& flag;
        explicit Stepping(bool& f) : flag(f) { flag = true; }
        ~Stepping() { flag = false; }
    } scope(myStepping);
    myObserver->makeViewCurrent();
    std::string scratch;
    const LoadResult result =
        loadTimePoint(myDataPath, t, volume, info ? *info : scratch, *myObserver, &myKeptTimePoints);
    if (result.loaded) {
        myTimePoint = t;
        // The curves stay from step to step unless the tables had to be
        // resized for another type; then the new data get a fitted guess.
        if (result.curvesReset && transfer && fitTransferToHistogram(*transfer, histogram)) {
            transfer->refreshCurves();
            uploadTables(true);
        }
    } else if (!result.keptOld) {
        // The textures could not be made: the data are gone, as after a failed load.
        dataLoaded(volume, result, myDataPath);
        myTimePoints = 1;
        myTimePoint = 0;
    }
    show();
    return result.loaded;
}

bool Viewer::nextTimePoint(std::string* info)
{
    return myTimePoints > 1 && showTimePoint((myTimePoint + 1) % myTimePoints, info);
}

void Viewer::keepRecentFiles(const std::string& listPath)
{
    myRecentPath = listPath;
    myRecent.read(listPath);
}

void Viewer::keepCurves(const std::string& palettePath, const std::string& notePath)
{
    myRemembered = RememberedCurves(palettePath, notePath);
}

bool Viewer::rememberCurves() const
{
    return transfer && volume.isData && !myDataPath.empty() && myRemembered.write(*transfer, myDataPath);
}

bool Viewer::addClipPlane(const float plane[4])
{
    if (clipPlanes.addInBoxFrame(plane, volume.rotation) < 0)
        return false;
    show();
    return true;
}

bool Viewer::fallBack()
{
    bool changed = fallBackToDrawableStyle();
    RenderMode& mode = RenderMode::instance();
    const int style = mode.getDrawStyle();
    const std::string refusal = myPyramid ? pyramidStyleRefusal(style) : "";
    if (!refusal.empty()) {
        mode.setDrawStyle(DRAW_3D_TEXTURE_VAS);
        logBoth(__FILE__, __LINE__,
                (std::string("\"") + drawStyleLabel(style) + "\" cannot draw this pyramid: " + refusal +
                 ". Drawing \"3D Texture VAS\" instead.\n")
                    .c_str());
        changed = true;
    }
    if (changed)
        show();
    return changed;
}

void Viewer::setBrickBudget(uint64_t bytes)
{
    myBrickBudget = bytes;
    if (myStream) {
        myStream->setBudget(bytes ? bytes : defaultBrickBudget());
        myObserver->repaint();
    }
}

uint64_t Viewer::brickBudget() const
{
    if (myStream)
        return myStream->budget();
    return myBrickBudget ? myBrickBudget : defaultBrickBudget();
}

std::string Viewer::pyramidStatus() const
{
    if (!myPyramid)
        return "";
    const std::string styles = "\"3D Texture OAS\", \"3D Texture VAS\" and \"Ray Casting\"";
    if (!myStream)
        return "Pyramid drawn at its coarsest level only: " + myPyramidNote + ". Styles other than " + styles +
               " are greyed out.";
    return "Pyramid: " + styles + " stream its bricks, within " +
           std::to_string((brickBudget() + (1u << 20) - 1) >> 20) + " MB; the other styles are greyed out.";
}

bool Viewer::openMask(const std::string& path)
{
    myObserver->makeViewCurrent();
    const bool loaded = loadMask(path, volume, *myObserver) && volume.createShiftTex();
    if (loaded) {
        volume.isMask = true;
        // The focus-and-context target follows the view's size.
        if (myView && myObserver->makeViewCurrent())
            myView->renderTargetFollow();
        myObserver->repaint();
    }
    myObserver->refreshWindows();
    return loaded;
}

bool Viewer::openPalette(const std::string& path)
{
    logBoth(__FILE__, __LINE__, ("palette path: " + path + "\n").c_str());
    // The transfer function lives in the view's context, which its set-up
    // makes: under a window manager that may not have happened yet.
    const bool current = myObserver->makeViewCurrent();
    if (!transfer && !current) {
        myPendingPalette = path;
        return true;
    }
    return readPalette(path);
}

void Viewer::viewSetUp()
{
    if (myPendingPalette.empty())
        return;
    const std::string path = myPendingPalette;
    myPendingPalette.clear();
    readPalette(path);
}

bool Viewer::readPalette(const std::string& path)
{
    // A refused file leaves the points; the curves still go linear.
    const bool read = loadPaletteAtStartup(path);
    if (transfer && myObserver->makeViewCurrent())
        transfer->upload();
    show();
    if (!read)
        myObserver->warn("The palette \"" + baseName(path) + "\" could not be read.", "Warning");
    return read;
}

void Viewer::setSettingsTarget(SettingsTarget* target)
{
    mySettings = target ? target : &myCoreSettings;
}

bool Viewer::readSettings(const std::string& path)
{
    if (!loadSettings(*mySettings, path))
        return false;
    if (myView && myObserver->makeViewCurrent())
        myView->setProjection(volume.perspective);
    uploadTables(true);
    // The file's style may draw with textures the load left to first use.
    buildTexturesForStyle(volume, *myObserver);
    show();
    return true;
}

bool Viewer::readSettingsFile()
{
    return loadSettings(*mySettings, kSettingsFileName);
}

bool Viewer::saveSettingsFile() const
{
    return saveSettings(*mySettings, kSettingsFileName);
}

bool Viewer::saveSettingsFile(std::string* note) const
{
    errno = 0;
    const bool saved = saveSettingsFile();
    const int error = errno;
    const std::string where = "\"" + absolutePath(kSettingsFileName) + "\"";
    if (saved)
        *note = "Settings saved to " + where + ".";
    else
        *note = "The settings could not be saved to " + where + ": " +
                (error ? std::strerror(error) : "the file could not be written") + ".";
    return saved;
}

void Viewer::autosaveSwitched(bool on)
{
    if (!on)
        rewriteSettingsAutosaveOff(*mySettings, kSettingsFileName);
}

void Viewer::setStyle(int style)
{
    RenderMode& mode = RenderMode::instance();
    const int previous = mode.getDrawStyle();
    mode.setDrawStyle(style);
    // The textures the style draws with that the load left to first use; a
    // cancel keeps the style that was drawing.
    if (!buildTexturesForStyle(volume, *myObserver)) {
        logBoth(__FILE__, __LINE__, (std::string(drawStyleLabel(style)) + " cancelled.\n").c_str());
        mode.setDrawStyle(previous);
        show();
        return;
    }
    if (style == DRAW_FOCUS_CONTEXT) {
        // Focus and context is drawn with the orthographic projection.
        setProjection(false);
        return;
    }
    if (style == DRAW_2D_TEXTURE || style == DRAW_2D_MULTI_TEXTURE)
        uploadTables(false);
    show();
}

void Viewer::setBlending(int blending)
{
    volume.setBlending(blending);
    show();
}

void Viewer::setClassification(int classification)
{
    selectTransferClassification(transfer, classification);
    // A classification whose programs read the gradients builds them now.
    buildTexturesForStyle(volume, *myObserver);
    if (transfer && myObserver->makeViewCurrent())
        transfer->upload();
    show();
}

void Viewer::setProjection(bool perspective)
{
    if (myView && myObserver->makeViewCurrent())
        myView->setProjection(perspective);
    else
        volume.perspective = perspective;
    show();
}

std::string Viewer::whyUnavailable(int style, int classification) const
{
    const std::string refusal = myPyramid ? pyramidStyleRefusal(style) : "";
    return refusal.empty() ? styleUnavailableReason(style, classification) : refusal;
}

void Viewer::startStream(const std::string& path)
{
    myPyramid = myStreaming && isZarrPath(path);
    myPyramidNote.clear();
    if (!myPyramid)
        return;
    myStream = streamPyramid(path, myBrickBudget ? myBrickBudget : defaultBrickBudget(), myWaiting, &myPyramidNote);
    if (!myStream) {
        logBoth(__FILE__, __LINE__, (path + ": drawn at its coarsest level: " + myPyramidNote + "\n").c_str());
        return;
    }
    if (myWaiting)
        return;
    ViewerObserver* observer = myObserver;
    myStream->startWorkers([observer] { observer->repaintLater(); });
}
