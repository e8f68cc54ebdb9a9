// The main view on an offscreen context: set-up, projection and paint cycle,
// with pictures whose pixels are known from gluProject.
#include "error_handling.h"
#include "gl_context.h"
#include "includegl.h"
#include "main_view.h"
#include "plane.h"
#include "text_overlay.h"
#include "transfer_function.h"
#include "volume.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int W = 640;
const int H = 480;

bool registered(const char* name)
{
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i)
        if (std::strcmp(g_garbageCollector.record(i).name, name) == 0)
            return true;
    return false;
}

class MainViewGL : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ctx.ok()) << ctx.error();
        volume.distance = -3;
        volume.orthoScale = 1.4f;
        volume.pan[0] = volume.pan[1] = 0;
        volume.showBBox = true;
        volume.perspective = true;
        view.width = W;
        view.height = H;
        view.setupGL();
        view.resize(W, H);
    }
    void TearDown() override
    {
        clipPlanes.removeAll();
        clipPlanes.release();
        view.releaseGL();
        volume.perspective = true;
        volume.background[0] = volume.background[1] = volume.background[2] = 0;
        volume.distance = -3;
        volume.orthoScale = 1.4f;
        volume.pan[0] = volume.pan[1] = 0;
    }

    void readBack()
    {
        px.assign(static_cast<size_t>(W) * H * 4, 0);
        ctx.readPixels(px.data());
    }
    const unsigned char* at(int x, int y) const { return &px[(static_cast<size_t>(y) * W + x) * 4]; }
    bool is(int x, int y, int r, int g, int b) const
    {
        if (x < 0 || y < 0 || x >= W || y >= H)
            return false;
        const unsigned char* p = at(x, y);
        return p[0] == r && p[1] == g && p[2] == b;
    }
    // The colour within one pixel of (x, y).
    bool near(double x, double y, int r, int g, int b) const
    {
        const int cx = static_cast<int>(std::floor(x));
        const int cy = static_cast<int>(std::floor(y));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (is(cx + dx, cy + dy, r, g, b))
                    return true;
        return false;
    }
    int countColour(int r, int g, int b) const
    {
        int n = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                n += is(x, y, r, g, b);
        return n;
    }

    // Every box edge sampled at several points lands on green pixels.
    void expectBoxEdges(const double modelview[16], const double projection[16])
    {
        const GLint viewport[4] = {0, 0, W, H};
        static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                         {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        for (const auto& e : edges) {
            const float* a = volume.vertices[e[0]];
            const float* b = volume.vertices[e[1]];
            for (double t : {0.1, 0.3, 0.5, 0.7, 0.9}) {
                double wx, wy, wz;
                ASSERT_TRUE(gluProject(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]),
                                       a[2] + t * (b[2] - a[2]), modelview, projection, viewport,
                                       &wx, &wy, &wz));
                EXPECT_TRUE(near(wx, wy, 0, 255, 0))
                    << "edge " << e[0] << "-" << e[1] << " t " << t << " at " << wx << "," << wy;
            }
        }
    }

    OffscreenContext ctx{W, H};
    MainView view;
    std::vector<unsigned char> px;
};

void perspectiveMatrix(double fovy, double aspect, double n, double f, double m[16])
{
    const double c = 1.0 / std::tan(fovy * M_PI / 360.0);
    std::memset(m, 0, 16 * sizeof(double));
    m[0] = c / aspect;
    m[5] = c;
    m[10] = (f + n) / (n - f);
    m[11] = -1;
    m[14] = 2 * f * n / (n - f);
}

void orthoMatrix(double l, double r, double b, double t, double n, double f, double m[16])
{
    std::memset(m, 0, 16 * sizeof(double));
    m[0] = 2 / (r - l);
    m[5] = 2 / (t - b);
    m[10] = -2 / (f - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(f + n) / (f - n);
    m[15] = 1;
}

void toDouble(const float in[16], double out[16])
{
    for (int i = 0; i < 16; ++i)
        out[i] = in[i];
}

TEST_F(MainViewGL, SetUpCreatesItsObjectsAndEntryPoints)
{
    EXPECT_TRUE(view.glReady());
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(volume.rotation[i], i % 5 == 0 ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(view.deltaRotation[i], i % 5 == 0 ? 1.0f : 0.0f);
    }
    ASSERT_NE(view.font, nullptr);
    EXPECT_TRUE(view.font->ready());
    EXPECT_EQ(view.font->x, 10);
    EXPECT_EQ(view.font->y, 10);
    EXPECT_EQ(view.font->size, 16);
    EXPECT_STREQ(view.font->faceName, "Arial");
    EXPECT_TRUE(registered("font"));
    ASSERT_NE(transfer, nullptr);
    EXPECT_TRUE(registered("transfer"));
    ASSERT_NE(clipPlanes.clipplane, nullptr);
    EXPECT_TRUE(registered("clipplane"));
    EXPECT_EQ(clipPlanes.maximum, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(clipPlanes.clipplane[i], static_cast<GLenum>(GL_CLIP_PLANE0 + i));
    EXPECT_EQ(volume.alphaFunc, static_cast<GLenum>(GL_GREATER));
    // A compatibility profile of this age has all three.
    EXPECT_NE(volume.extProcs.multiTexCoord2f, nullptr);
    EXPECT_NE(volume.extProcs.blendEquation, nullptr);
    EXPECT_NE(volume.extProcs.blendEquationSeparate, nullptr);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LEQUAL);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    view.releaseGL();
    EXPECT_EQ(view.font, nullptr);
    EXPECT_EQ(transfer, nullptr);
    EXPECT_FALSE(registered("font"));
    EXPECT_FALSE(registered("transfer"));
}

TEST_F(MainViewGL, EntryPointsByNameAnswerNullWhenMissing)
{
    EXPECT_NE(getGLProcAddress("glTexImage3D"), nullptr);
    EXPECT_NE(getGLProcAddress("glMultiTexCoord2f"), nullptr);
    // No palettes in this driver: the name must not resolve to a dead stub.
    EXPECT_EQ(isExtensionSupported("GL_EXT_paletted_texture"),
              getGLProcAddress("glColorTableEXT") != nullptr);
    EXPECT_EQ(getGLProcAddress("glNoSuchFunction"), nullptr);
    EXPECT_EQ(getGLProcAddress(nullptr), nullptr);
    EXPECT_TRUE(use3DTextures());
    EXPECT_FALSE(isExtensionSupported("GL_EXT_texture3"));
    EXPECT_FALSE(isExtensionSupported(""));
}

TEST_F(MainViewGL, CheckGLErrorReadsTheDriversErrors)
{
    EXPECT_FALSE(checkGLError("glBindTexture"));
    glEnable(0x1234);           // GL_INVALID_ENUM
    glDeleteLists(1, -1);       // GL_INVALID_VALUE
    EXPECT_TRUE(checkGLError("glEnable"));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MainViewGL, FrontViewPerspectiveBoxLandsWhereGluProjectSays)
{
    view.paintCycle();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    readBack();
    double mv[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -3, 1};
    double proj[16];
    perspectiveMatrix(45, double(W) / H, 0.1, 50, proj);
    expectBoxEdges(mv, proj);
    // Outlines only: the middle and the outside stay black.
    EXPECT_TRUE(is(W / 2, H / 2, 0, 0, 0));
    EXPECT_TRUE(is(W / 2, 20, 0, 0, 0));
    EXPECT_TRUE(is(20, H / 2, 0, 0, 0));
    // The front face (z = 0.5 at distance 2.5) spans 2 * 0.5 / (2.5 tan 22.5) of the height.
    const double half = 0.5 / (2.5 * std::tan(M_PI / 8)) * H / 2;
    EXPECT_TRUE(near(W / 2.0, H / 2.0 + half, 0, 255, 0));
    EXPECT_FALSE(near(W / 2.0, H / 2.0 + half + 4, 0, 255, 0));
    // camera part of the model-view matrix
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(volume.translation[i], static_cast<float>(mv[i]));
}

TEST_F(MainViewGL, FrontViewOrthographicBoxLandsWhereGluProjectSays)
{
    view.setProjection(false);
    view.paintCycle();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    readBack();
    // The depth range of the scaled box.
    EXPECT_NEAR(volume.depthRange[0], -0.7f, 1e-6);
    EXPECT_NEAR(volume.depthRange[1], 0.7f, 1e-6);
    double mv[16] = {1.4, 0, 0, 0, 0, 1.4, 0, 0, 0, 0, 1.4, 0, 0, 0, 0, 1};
    double proj[16];
    const double a = double(W) / H;
    orthoMatrix(-1.5, 1.5, -1.5 / a, 1.5 / a, -0.7, 0.7, proj);
    // Front and back squares coincide: the front face's edges are enough.
    const GLint viewport[4] = {0, 0, W, H};
    for (int e = 0; e < 4; ++e) {
        const float* p = volume.vertices[4 + e];
        const float* q = volume.vertices[4 + (e + 1) % 4];
        for (double t : {0.1, 0.5, 0.9}) {
            double wx, wy, wz;
            gluProject(p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2], mv, proj,
                       viewport, &wx, &wy, &wz);
            EXPECT_TRUE(near(wx, wy, 0, 255, 0)) << e << " " << t << " " << wx << "," << wy;
        }
    }
    // 1.4 of 3 units across 640 pixels: x from about 170.7 to 469.3.
    EXPECT_TRUE(near(W / 2.0 - 0.7 / 3 * W, H / 2.0, 0, 255, 0));
    EXPECT_TRUE(is(W / 2, H / 2, 0, 0, 0));
    EXPECT_FALSE(near(W / 2.0 - 0.7 / 3 * W - 4, H / 2.0, 0, 255, 0));
}

TEST_F(MainViewGL, OrthographicZoomedPastTheEndDrawsNoBoxAndNoError)
{
    volume.distance = -12;
    volume.orthoScale = orthoScaleFor(volume.distance);
    view.setProjection(false);
    view.font->visible = false;
    view.paintCycle();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    readBack();
    // At most the single point the box shrank to.
    EXPECT_LE(countColour(0, 255, 0), 4);
}

TEST_F(MainViewGL, RotationIncrementAccumulatesOnEveryPaint)
{
    view.rotY = 10;
    view.paintCycle();
    view.paintCycle();
    float expect[16];
    matRotation(20, 0, 1, 0, expect);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(volume.rotation[i], expect[i], 1e-5);
    view.rotY = 0;
    view.paintCycle();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(volume.rotation[i], expect[i], 1e-5);
}

TEST_F(MainViewGL, DragOfThirtyPixelsTurnsTheBoxThirtyDegrees)
{
    MouseInput in;
    in.dragging = in.left = true;
    in.x = 300;
    in.y = 200;
    view.onMouse(in);
    in.x = 330;
    view.onMouse(in);
    view.paintCycle();
    MouseInput up;
    view.onMouse(up);
    view.paintCycle(); // no increment any more
    readBack();
    float r[16];
    matRotation(30, 0, 1, 0, r);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(volume.rotation[i], r[i], 1e-5);
    float cam[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -3, 1};
    float m[16];
    matMultiply(cam, r, m);
    double mv[16], proj[16];
    toDouble(m, mv);
    perspectiveMatrix(45, double(W) / H, 0.1, 50, proj);
    expectBoxEdges(mv, proj);
}

TEST_F(MainViewGL, PlaneInRotateModeTakesTheIncrementInsteadOfTheVolume)
{
    float identity[16];
    matIdentity(identity);
    ASSERT_EQ(clipPlanes.add(identity), 0);
    ASSERT_EQ(clipPlanes.add(identity), 1);
    clipPlanes.toggleRotating(2);
    view.rotX = 15;
    view.paintCycle();
    float r[16];
    matRotation(15, 1, 0, 0, r);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(volume.rotation[i], identity[i]);
        EXPECT_FLOAT_EQ(clipPlanes.plane(1)->matrix[i], identity[i]);
        EXPECT_NEAR(clipPlanes.plane(2)->matrix[i], r[i], 1e-6);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(MainViewGL, FrameRateTextIsDrawnAndHidden)
{
    view.paintCycle();
    readBack();
    int magenta = 0;
    for (int y = 4; y < 30; ++y)
        for (int x = 8; x < 120; ++x)
            magenta += is(x, y, 255, 0, 255);
    EXPECT_GT(magenta, 60);
    EXPECT_EQ(countColour(255, 0, 255), magenta); // nowhere else
    view.font->toggleVisibility();
    view.paintCycle();
    readBack();
    EXPECT_EQ(countColour(255, 0, 255), 0);
}

TEST_F(MainViewGL, BackgroundColourAndNoBox)
{
    volume.background[2] = 1;
    volume.showBBox = false;
    view.font->visible = false;
    view.paintCycle();
    volume.showBBox = true;
    readBack();
    EXPECT_EQ(countColour(0, 0, 255), W * H);
}

TEST_F(MainViewGL, ZeroHeightWindowGivesAFiniteProjection)
{
    view.resize(W, 0);
    view.paintCycle();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    float p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (float v : p)
        EXPECT_TRUE(std::isfinite(v));
    view.setProjection(false);
    view.paintCycle();
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (float v : p)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    view.resize(0, 0); // collapsed altogether
    view.paintCycle();
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (float v : p)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A white square in the plane z = 0.5 of the box, under the camera, with
// the clip planes applied as the paint cycle applies them.
class ClipPlanePicture : public MainViewGL
{
protected:
    void drawSquare()
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        clipPlanes.applyAll();
        glPopMatrix();
        loadCameraTransform();
        glColor3f(1, 1, 1);
        glBegin(GL_QUADS);
        glVertex3f(-0.5f, -0.5f, 0.5f);
        glVertex3f(0.5f, -0.5f, 0.5f);
        glVertex3f(0.5f, 0.5f, 0.5f);
        glVertex3f(-0.5f, 0.5f, 0.5f);
        glEnd();
        clipPlanes.disableAll();
        readBack();
    }
    // Screen row of height y on the square.
    static double row(double y) { return H / 2.0 + y / (2.5 * std::tan(M_PI / 8)) * H / 2; }
};

TEST_F(ClipPlanePicture, HalfSpacesAfterInvertAndTranslate)
{
    float identity[16];
    matIdentity(identity);
    ASSERT_EQ(clipPlanes.add(identity), 0);
    drawSquare(); // y >= 0 stays
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.2)), 255, 255, 255));
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(-0.2)), 0, 0, 0));

    clipPlanes.invert(1); // y <= 0 stays
    drawSquare();
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.2)), 0, 0, 0));
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(-0.2)), 255, 255, 255));

    clipPlanes.invert(1);
    clipPlanes.plane(1)->translate(0.2f); // y >= 0.2 stays
    drawSquare();
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.3)), 255, 255, 255));
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.1)), 0, 0, 0));

    clipPlanes.invert(1);
    clipPlanes.plane(1)->translate(0.1f); // y <= 0.3 stays
    drawSquare();
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.25)), 255, 255, 255));
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(0.35)), 0, 0, 0));

    // Turned a quarter about z the plane keeps x <= 0 (its y axis is -x).
    float r[16];
    matRotation(90, 0, 0, 1, r);
    clipPlanes.plane(1)->translate(-0.3f);
    clipPlanes.invert(1); // back to y >= 0 in the plane's frame
    clipPlanes.setMatrix(r, 1);
    drawSquare();
    EXPECT_TRUE(is(W / 2 - 40, H / 2, 255, 255, 255));
    EXPECT_TRUE(is(W / 2 + 40, H / 2, 0, 0, 0));

    // Deleted: nothing is cut any more.
    clipPlanes.del(1);
    drawSquare();
    EXPECT_TRUE(is(W / 2 + 40, H / 2, 255, 255, 255));
    EXPECT_TRUE(is(W / 2, static_cast<int>(row(-0.2)), 255, 255, 255));
}

TEST_F(ClipPlanePicture, OutlinesAreStippledRedAndHiddenWithoutDraw)
{
    float r[16];
    matRotation(90, 1, 0, 0, r); // the plane faces the viewer
    ASSERT_EQ(clipPlanes.add(r), 0);
    volume.showBBox = false;
    view.font->visible = false;
    view.paintCycle();
    readBack();
    // The outline's left side at x = -0.6, depth 3: count red along it.
    const double x = W / 2.0 - 0.6 / (3 * std::tan(M_PI / 8)) * H / 2;
    int red = 0, dark = 0;
    for (int y = H / 2 - 60; y < H / 2 + 60; ++y) {
        bool hit = false;
        for (int dx = -1; dx <= 1; ++dx)
            hit = hit || is(static_cast<int>(x) + dx, y, 255, 0, 0);
        (hit ? red : dark) += 1;
    }
    EXPECT_GT(red, 15);  // a quarter of the pattern is drawn
    EXPECT_GT(dark, 40); // and the gaps are there
    EXPECT_FALSE(glIsEnabled(GL_LINE_STIPPLE));

    clipPlanes.plane(1)->visible = false;
    view.paintCycle();
    readBack();
    EXPECT_EQ(countColour(255, 0, 0), 0);
    volume.showBBox = true;
}

TEST_F(ClipPlanePicture, TranslateModeMovesThePlaneByTheDragShift)
{
    float identity[16];
    matIdentity(identity);
    clipPlanes.add(identity);
    clipPlanes.toggleTranslating(1);
    view.planeShift = -40; // drag upwards by 40 pixels
    view.paintCycle();
    EXPECT_NEAR(clipPlanes.plane(1)->offset, 0.2f, 1e-6);
    view.paintCycle();
    EXPECT_NEAR(clipPlanes.plane(1)->offset, 0.4f, 1e-6);
    view.planeShift = 0;
    view.paintCycle();
    EXPECT_NEAR(clipPlanes.plane(1)->offset, 0.4f, 1e-6);
    clipPlanes.toggleTranslating(1);
}

} // namespace

// The wheel zooms by a tenth a notch, both ways alike, up to the limits both
// projections can show, and the picture follows: nearer, the box covers
// more of the view.
TEST_F(MainViewGL, WheelZoomsByATenthANotchWithinLimits)
{
    volume.distance = -3;
    volume.orthoScale = orthoScaleFor(volume.distance);
    view.setProjection(true);
    view.font->visible = false;
    view.paintCycle();
    readBack();
    const int far = countColour(0, 255, 0);
    EXPECT_TRUE(view.onWheel(2));
    EXPECT_FLOAT_EQ(volume.distance, -3.0f * 0.81f);
    EXPECT_FLOAT_EQ(volume.orthoScale, orthoScaleFor(volume.distance));
    view.paintCycle();
    readBack();
    EXPECT_GT(countColour(0, 255, 0), far);
    EXPECT_TRUE(view.onWheel(-2));
    EXPECT_NEAR(volume.distance, -3.0f, 1e-5f);
    EXPECT_FALSE(view.onWheel(0));
    EXPECT_FALSE(view.onWheel(std::nan("")));
    EXPECT_TRUE(view.onWheel(100));
    EXPECT_FLOAT_EQ(volume.distance, -0.3f);
    EXPECT_FALSE(view.onWheel(1));
    EXPECT_TRUE(view.onWheel(-100));
    EXPECT_FLOAT_EQ(volume.distance, -9.5f);
    EXPECT_FALSE(view.onWheel(-1));
    // A camera a drag took beyond the range only comes back.
    volume.distance = -12;
    EXPECT_FALSE(view.onWheel(-1));
    EXPECT_TRUE(view.onWheel(1));
    EXPECT_FLOAT_EQ(volume.distance, -9.5f);
    volume.distance = -3;
    volume.orthoScale = orthoScaleFor(volume.distance);
}
