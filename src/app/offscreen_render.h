// Rendering a data set without a window: an offscreen context with the main
// view's set-up and paint cycle, data, mask, palette and settings loads, the
// camera presets, and the picture as RGBA or a PNG file. glimra-render, the
// picture tests and the benchmarks draw through it.
#ifndef GLIMRA_OFFSCREEN_RENDER_H
#define GLIMRA_OFFSCREEN_RENDER_H

#include <memory>
#include <string>
#include <vector>

#include "viewer.h"

class MainView;
class OffscreenContext;


// The rotation of a view preset ("front", "back", "left", "right", "top",
// "bottom"), column-major; false for other names.
bool viewPresetRotation(const std::string& name, float out[16]);

class OffscreenRenderer
{
public:
    // A width x height target; cgDirectory holds the program files (with its
    // trailing slash); warnings and progress go to observer.
    OffscreenRenderer(int width, int height, const std::string& cgDirectory,
                      ViewerObserver& observer = ViewerObserver::quiet());
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    bool ok() const { return myOk; }
    const std::string& error() const { return myError; }
    MainView& view() { return *myView; }
    // The program's actions, as the window has them.
    Viewer& viewer() { return myViewer; }
    // The data-information text of the last load.
    const std::string& dataInfo() const { return myDataInfo; }
    int width() const { return myWidth; }
    int height() const { return myHeight; }

    // The viewer's actions (viewer.h), under the names the tools use.
    bool loadSettingsFile(const std::string& path) { return myViewer.readSettings(path); }
    bool loadData(const std::string& path) { return myViewer.openData(path, &myDataInfo); }
    bool loadMask(const std::string& path) { return myViewer.openMask(path); }
    // Time point t (0 the first) of the data file, as the window's time slider shows it.
    bool showTimePoint(size_t t) { return myViewer.showTimePoint(t, &myDataInfo); }
    bool loadPalette(const std::string& path) { return myViewer.openPalette(path); }
    void setStyle(int style) { myViewer.setStyle(style); }
    void setClassification(int classification) { myViewer.setClassification(classification); }
    void setProjection(bool perspective) { myViewer.setProjection(perspective); }
    // The rotation of a preset, turned further by ax degrees about x and ay about y.
    bool setView(const std::string& preset, float ax, float ay);

    // One paint cycle into the target.
    void renderFrame();
    // The picture as the window shows it, RGBA with alpha 255, top row first.
    std::vector<unsigned char> pixels() const;
    // Mean milliseconds of one paint cycle over frames frames (after one
    // frame that is not counted).
    double meanFrameMillis(int frames);
    // The same for frames drawn as a drag with speed-up draws them: the
    // interacting flag set (half the slices, a pyramid one level coarser),
    // the data turning 2 degrees a frame about the vertical axis. The frame
    // not counted reads the bricks of the drag's level; the counted ones
    // read none, as the window's paint cycle never does.
    double meanDragFrameMillis(int frames);

private:
    std::unique_ptr<OffscreenContext> myContext; // the GL context and target
    std::unique_ptr<MainView> myView;            // set-up and paint cycle
    Viewer myViewer;                             // the program's actions on both
    std::string myDataInfo;                      // what the loaders wrote
    int myWidth;
    int myHeight;
    bool myOk = false;
    std::string myError;
};

// Writes RGBA pixels (top row first) as an 8-bit RGBA PNG; false with a
// message on failure.
bool writePngRGBA(const std::string& path, const unsigned char* rgba, int width, int height,
                  std::string* error);
// Reads an 8-bit PNG into RGBA (top row first); false on failure.
bool readPngRGBA(const std::string& path, std::vector<unsigned char>* rgba, int* width, int* height);

#endif
