// The main view without the toolkit: camera maths, OpenGL set-up, projection,
// the paint cycle and the mouse and key rules. MainGLCanvas (wx) wraps it with
// a context, events and the buffer swap; tests drive it on an offscreen context.
#ifndef GLIMRA_MAIN_VIEW_H
#define GLIMRA_MAIN_VIEW_H

#include "includegl.h"
#include "mat4.h"
#include "view_overlay.h"

class TextOverlay;
class Volume;

// ---- camera maths (column-major 4 x 4 matrices, as OpenGL stores them) ----

// distance / 5 + 2, never below 0.
float orthoScaleFor(float distance);
// width / height; a side of no pixels counts as one pixel.
float viewAspect(int width, int height);
// Smallest and largest eye-space z of the corners under modelview (range[0]
// near, range[1] far) and the eye-space extents along x, y, z.
void boxDepthRange(const float modelview[16], const float vertices[8][3], float range[2],
                   float spans[3]);
// The increment of one paint: rotY degrees about y, then rotX about x.
void deltaRotationMatrix(int rotX, int rotY, float out[16]);

// ---- frame rate ----

// Milliseconds of a monotonic clock.
double monotonicMillis();

// Counts frames and turns every fifth into a rate text.
class FrameRateCounter
{
public:
    // A frame this long after the one before follows a pause, not drawing.
    static constexpr double kPauseMs = 1000.0;

    explicit FrameRateCounter(double nowMs) : lastTick(nowMs), lastFrame(nowMs) {}
    // One frame drawn at nowMs. The rate is that of frames drawn one after
    // the other: a frame after a pause starts the count anew (the text
    // keeps the last rate), so idle time never lowers it.
    void frame(double nowMs);
    const char* text() const { return myText; }
    float count() const { return frames; }

private:
    float frames = 0;              // frames since the last update
    double lastTick;               // time of the last update
    double lastFrame;              // time of the last frame
    char myText[20] = "fps: 00.00"; // what the overlay shows
};

// ---- mouse and keys ----

// One mouse event reduced to what the drag rules need.
struct MouseInput
{
    bool dragging = false; // a motion with a button held
    bool left = false;     // buttons held
    bool middle = false;
    bool right = false;
    int x = 0;             // position in window pixels
    int y = 0;
};

enum class ArrowKey { Left, Right, Up, Down };

// ---- the view ----

class MainView
{
public:
    MainView();
    ~MainView();
    MainView(const MainView&) = delete;
    MainView& operator=(const MainView&) = delete;

    // The one-time OpenGL set-up (context current): fixed state, identity
    // rotation, projection, frame-rate text, clip planes, alpha function,
    // shader programs, transfer function, entry points.
    void setupGL();
    // What the view created at set-up (context current): text, transfer
    // function, shader programs.
    void releaseGL();
    bool glReady() const { return myGLReady; }

    // The one way to switch projection (context current): volume.perspective,
    // which the camera, the slicing and the programs all read, then the
    // projection matrix and the mask's render target.
    void setProjection(bool perspective);
    // Projection matrix from volume.perspective and the size.
    void applyProjection();
    // Size event work after the context is current: viewport, projection,
    // render target, identity model-view. The caller then paints.
    void resize(int newWidth, int newHeight);
    // The mask's render target takes the projection kind, the window size and
    // the camera (after a mask load; context current).
    void renderTargetFollow();
    // The render target after a camera change (context current).
    void renderTargetPlace();
    // Paint cycle up to the overlays and the frame-rate text; the caller
    // swaps the buffers.
    void paintCycle();
    // The drag rules; true when a repaint is wanted.
    bool onMouse(const MouseInput& in);
    // Arrow keys pan by 0.03.
    void onArrowKey(ArrowKey key);
    // The mouse wheel zooms: each notch away from the user (notches > 0)
    // brings the camera a tenth nearer, each notch back a tenth farther,
    // within what both projections can show. True when the camera moved.
    bool onWheel(double notches);

    const FrameRateCounter& frameRate() const { return myFrameRate; }

    int width;               // client size in pixels
    int height;
    int rotX;                // rotation increment about x in degrees (last y delta)
    int rotY;                // rotation increment about y in degrees (last x delta)
    int planeShift;          // pixel delta moving the planes in translate mode
    float deltaRotation[16]; // the increment rotation of the last paint
    bool speedup;            // reduced sampling while dragging
    TextOverlay* font;       // the frame-rate text, created at set-up
    bool frameRateVisible = true; // whether set-up shows the frame-rate text (settings read before it)
    ViewOverlay overlay;     // the orientation marker and the colour bar over the volume

private:
    FrameRateCounter myFrameRate; // frame counter, last tick and text
    int myLastX = 0;              // last mouse position of a drag
    int myLastY = 0;
    bool myDragStarted = false;   // the drag has recorded a position
    bool myGLReady = false;       // setupGL has run
};

#endif
