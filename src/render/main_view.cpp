#include "main_view.h"

#include "data_scale.h"
#include "error_handling.h"
#include "my_cg.h"
#include "plane.h"
#include "render_mode.h"
#include "text_overlay.h"
#include "texture.h"
#include "transfer_function.h"
#include "volume.h"

#include <GL/glu.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

// ---- camera maths ----

float orthoScaleFor(float distance)
{
    const float s = distance / 5.0f + 2.0f;
    return s < 0.0f ? 0.0f : s;
}

float viewAspect(int width, int height)
{
    // A collapsed window must not turn the projection into inf or NaN.
    return static_cast<float>(width > 0 ? width : 1) / static_cast<float>(height > 0 ? height : 1);
}

void boxDepthRange(const float modelview[16], const float vertices[8][3], float range[2],
                   float spans[3])
{
    float lo[3] = {1e20f, 1e20f, 1e20f};
    float hi[3] = {-1e20f, -1e20f, -1e20f};
    for (int i = 0; i < 8; ++i) {
        float e[3];
        matTransformPoint(modelview, vertices[i], e);
        for (int k = 0; k < 3; ++k) {
            if (e[k] < lo[k])
                lo[k] = e[k];
            if (e[k] > hi[k])
                hi[k] = e[k];
        }
    }
    range[0] = lo[2];
    range[1] = hi[2];
    for (int k = 0; k < 3; ++k)
        spans[k] = hi[k] - lo[k];
}

void deltaRotationMatrix(int rotX, int rotY, float out[16])
{
    float ry[16], rx[16];
    matRotation(static_cast<float>(rotY), 0, 1, 0, ry);
    matRotation(static_cast<float>(rotX), 1, 0, 0, rx);
    matMultiply(ry, rx, out);
}

// ---- frame rate ----

double monotonicMillis()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void FrameRateCounter::frame(double nowMs)
{
    const bool afterPause = nowMs - lastFrame > kPauseMs;
    lastFrame = nowMs;
    if (afterPause) {
        frames = 0.0f;
        lastTick = nowMs;
        return;
    }
    frames += 1.0f;
    if (frames != 5.0f)
        return;
    const double elapsed = nowMs - lastTick;
    // Five frames within no measurable time: the old text stays.
    if (elapsed > 0.0) {
        const double rate = 5000.0 / elapsed;
        std::snprintf(myText, sizeof myText, "fps: %1.2f", rate);
    }
    frames = 0.0f;
    lastTick = nowMs;
}

namespace {
// The box on screen in this frame decides how far the mask image is dilated.
void renderTargetSpans(const float spans[3])
{
    TextureTarget* t = volume.shiftTex;
    t->setSpans(spans[0], spans[1], spans[2]);
    t->measureBox(volume.vertices);
    t->updateReach();
}
bool hasRenderTarget()
{
    return volume.isMask && volume.shiftTex;
}
} // namespace

// ---- the view ----

MainView::MainView()
    : width(640), height(480), rotX(0), rotY(0), planeShift(0), speedup(true),
      font(nullptr), myFrameRate(monotonicMillis())
{
    matIdentity(deltaRotation);
}

MainView::~MainView() = default;

void MainView::setupGL()
{
    // No drag is in progress in a new view: the still picture takes every
    // slice, not the halved count of a drag with speed-up.
    volume.interacting = false;
    glShadeModel(GL_SMOOTH);
    glClearColor(volume.background[0], volume.background[1], volume.background[2], 1);
    glClearDepth(1);
    glClearStencil(0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glGetFloatv(GL_MODELVIEW_MATRIX, deltaRotation);
    glGetFloatv(GL_MODELVIEW_MATRIX, volume.rotation);

    applyProjection();

    if (!font) {
        GUARDED_NEW(font, TextOverlay, 10, 10, 1.0f, 0.0f, 1.0f, 16, "Arial", nullptr);
        if (font)
            font->visible = frameRateVisible;
    }

    // The alpha test stays as the settings left it: under a window manager
    // the view may be set up after the settings file was read.
    clipPlanes.initialise();
    // The programs and the transfer function's tables live in this context.
    createCgPrograms();
    if (!transfer)
        GUARDED_NEW(transfer, TransferFunction, 256);

    volume.extProcs.multiTexCoord2f = reinterpret_cast<void (*)(GLenum, GLfloat, GLfloat)>(
        getGLProcAddress("glMultiTexCoord2f"));
    // The compositing rules use the blend equation only with min/max blending;
    // deciding that here keeps the extension scan out of every frame.
    volume.extProcs.blendEquation =
        isExtensionSupported("GL_EXT_blend_minmax")
            ? reinterpret_cast<void (*)(GLenum)>(getGLProcAddress("glBlendEquationEXT"))
            : nullptr;
    volume.extProcs.blendEquationSeparate = reinterpret_cast<void (*)(GLenum, GLenum)>(
        getGLProcAddress("glBlendEquationSeparateEXT"));

    myFrameRate = FrameRateCounter(monotonicMillis());
    myGLReady = true;
}

void MainView::releaseGL()
{
    overlay.releaseGL();
    if (font)
        RELEASE(font);
    if (transfer)
        RELEASE(transfer);
    destroyCgPrograms();
    myGLReady = false;
}

void MainView::setProjection(bool perspective)
{
    volume.perspective = perspective;
    applyProjection();
    renderTargetPlace();
}

void MainView::applyProjection()
{
    const float aspect = viewAspect(width, height);
    if (hasRenderTarget())
        volume.shiftTex->setPerspective(volume.perspective);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (volume.perspective)
        gluPerspective(45.0, aspect, 0.1, 50.0);
    else
        glOrtho(-1.5, 1.5, -1.5 / aspect, 1.5 / aspect, -5, 5);
    glMatrixMode(GL_MODELVIEW);
}

void MainView::renderTargetFollow()
{
    if (!hasRenderTarget())
        return;
    volume.shiftTex->setPerspective(volume.perspective);
    volume.shiftTex->setWindowSize(width, height);
    renderTargetPlace();
}

void MainView::renderTargetPlace()
{
    if (hasRenderTarget())
        volume.shiftTex->place(volume.pan[0], volume.pan[1], volume.distance, volume.diagonal);
}


void MainView::resize(int newWidth, int newHeight)
{
    width = newWidth;
    height = newHeight;
    glViewport(0, 0, width, height);
    applyProjection();
    if (hasRenderTarget()) {
        volume.shiftTex->setWindowSize(width, height);
        renderTargetPlace();
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void MainView::paintCycle()
{
    float clear[3];
    volume.clearColour(clear);
    glClearColor(clear[0], clear[1], clear[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    deltaRotationMatrix(rotX, rotY, deltaRotation);
    if (clipPlanes.rotatingCount == 0 && clipPlanes.translatingCount == 0)
        matMultiply(deltaRotation, volume.rotation, volume.rotation);

    cameraMatrix(volume.perspective, volume.pan, volume.distance, volume.orthoScale, volume.translation);
    float modelview[16];
    matMultiply(volume.translation, volume.rotation, modelview);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(modelview);
    if (!volume.perspective) {
        float spans[3];
        boxDepthRange(modelview, volume.vertices, volume.depthRange, spans);
        float nearZ = volume.depthRange[0];
        float farZ = volume.depthRange[1];
        // A box shrunk to nothing (zoomed out past the scale's end) would
        // make an invalid projection.
        if (!(farZ > nearZ)) {
            nearZ = -1.0f;
            farZ = 1.0f;
        }
        const double aspect = viewAspect(width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1.5, 1.5, -1.5 / aspect, 1.5 / aspect, nearZ, farZ);
        glMatrixMode(GL_MODELVIEW);
        if (volume.shiftTex)
            renderTargetSpans(spans);
    }

    glPushMatrix();
    clipPlanes.rotate(deltaRotation);
    clipPlanes.applyAll();
    glPopMatrix();

    volume.renderVolume();

    clipPlanes.disableAll();
    volume.drawOutlines();
    if (hasRenderTarget() && RenderMode::instance().getDrawStyle() == DRAW_FOCUS_CONTEXT)
        volume.shiftTex->drawInspection();
    clipPlanes.drawAll(-static_cast<float>(planeShift) / 200.0f);

    OverlayScene scene;
    scene.width = width;
    scene.height = height;
    // Without data there is nothing to orient: no marker (the colour bar
    // still shows the transfer function).
    scene.rotation = volume.isData ? volume.rotation : nullptr;
    scene.oriented = volume.oriented;
    scene.direction = volume.direction;
    scene.background = clear;
    scene.palette = transfer ? transfer->getPalette() : nullptr;
    scene.tableSize = transfer ? transfer->getTableSize() : 0;
    scene.scale = &dataScale;
    overlay.draw(scene);

    myFrameRate.frame(monotonicMillis());
    if (font)
        font->draw(myFrameRate.text());
}

bool MainView::onMouse(const MouseInput& in)
{
    if (!in.dragging) {
        volume.interacting = false;
        myDragStarted = false;
        rotX = rotY = planeShift = 0;
        return false;
    }
    if (speedup)
        volume.interacting = true;
    bool refresh = false;
    // Each held button in turn: the first event of a drag only records
    // where it began, later ones apply the motion since the last event.
    auto step = [&](auto move) {
        if (myDragStarted) {
            move(static_cast<float>(in.x - myLastX), static_cast<float>(in.y - myLastY));
            refresh = true;
        } else {
            myDragStarted = true;
        }
        myLastX = in.x;
        myLastY = in.y;
    };
    if (in.left) {
        step([&](float dx, float dy) {
            rotY = static_cast<int>(dx);
            rotX = static_cast<int>(dy);
        });
        if (clipPlanes.translatingCount != 0)
            planeShift = rotX;
    }
    if (in.right)
        step([&](float dx, float dy) {
            volume.distance -= dy / 50.0f;
            volume.distance -= dx / 50.0f;
            volume.orthoScale = orthoScaleFor(volume.distance);
            renderTargetPlace();
        });
    if (in.middle)
        step([&](float dx, float dy) {
            volume.pan[0] += dx / 120.0f;
            volume.pan[1] -= dy / 120.0f;
            renderTargetPlace();
        });
    return refresh;
}

bool MainView::onWheel(double notches)
{
    // Nearer than this the box fills the view many times over; farther, the
    // orthographic scale reaches 0 (at -10) and nothing shows.
    const float nearest = -0.3f;
    const float farthest = -9.5f;
    if (!(notches == notches) || notches == 0.0)
        return false;
    const float before = volume.distance;
    float d = before * static_cast<float>(std::pow(0.9, notches));
    d = d > nearest ? nearest : (d < farthest ? farthest : d);
    // A camera beyond the range (a drag took it there) only comes back.
    if ((notches > 0 && d < before) || (notches < 0 && d > before) || d == before)
        return false;
    volume.distance = d;
    volume.orthoScale = orthoScaleFor(d);
    renderTargetPlace();
    return true;
}

void MainView::onArrowKey(ArrowKey key)
{
    switch (key) {
    case ArrowKey::Left: volume.pan[0] -= 0.03f; break;
    case ArrowKey::Right: volume.pan[0] += 0.03f; break;
    case ArrowKey::Up: volume.pan[1] += 0.03f; break;
    case ArrowKey::Down: volume.pan[1] -= 0.03f; break;
    }
}
