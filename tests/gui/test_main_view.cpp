// The real main view in a window under the X display: set-up at the first
// moment the window takes a context, size events, pictures read back from
// the view's own context, mouse drags and keys through the toolkit's events.
#include "canvas_main.h"
#include "gui_support.h"
#include "main_view.h"
#include "plane.h"
#include "text_overlay.h"
#include "volume.h"

#include <GL/glu.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/utils.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

void pump(int ms = 30)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
}

class MainViewWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay() || !wxTheApp)
            GTEST_SKIP() << "no X display";
        volume.distance = -3;
        volume.orthoScale = 1.4f;
        volume.pan[0] = volume.pan[1] = 0;
        volume.showBBox = true;
        volume.interacting = true;
        frame = new wxFrame(nullptr, wxID_ANY, "main view test", wxPoint(20, 20), wxSize(700, 600));
        frame->SetClientSize(640, 480);
        frame->Show(true);
        static const int attribs[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 24,
                                      WX_GL_STENCIL_SIZE, 8, 0};
        canvas = new MainGLCanvas(frame, wxID_ANY, wxDefaultPosition, frame->GetClientSize(), 0,
                                  "GLCanvas", attribs);
        readyAfterConstruction = canvas->glReady();
        frame->SendSizeEvent();
        for (int i = 0; i < 200 && !(canvas->glReady() && canvas->width == 640); ++i)
            pump(10);
        ASSERT_TRUE(canvas->glReady());
        pump(50); // the window is mapped and its first paints are done
        ASSERT_EQ(canvas->width, 640);
        ASSERT_EQ(canvas->height, 480);
    }
    void TearDown() override
    {
        if (!frame)
            return;
        if (canvas && canvas->makeContextCurrent()) {
            clipPlanes.removeAll();
            clipPlanes.release();
        }
        frame->Destroy();
        frame = nullptr;
        pump(20);
        volume.distance = -3;
        volume.orthoScale = 1.4f;
        volume.pan[0] = volume.pan[1] = 0;
        volume.perspective = true;
        volume.background[0] = volume.background[1] = volume.background[2] = 0;
    }

    // The paint cycle in the view's context, the picture read from the back
    // buffer before any swap.
    void paintAndRead()
    {
        ASSERT_TRUE(canvas->makeContextCurrent());
        canvas->paintCycle();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        w = canvas->width;
        h = canvas->height;
        px.assign(static_cast<size_t>(w) * h * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    }
    bool is(int x, int y, int r, int g, int b) const
    {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return false;
        const unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
        return p[0] == r && p[1] == g && p[2] == b;
    }
    bool nearGreen(double x, double y) const
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (is(static_cast<int>(std::floor(x)) + dx, static_cast<int>(std::floor(y)) + dy,
                       0, 255, 0))
                    return true;
        return false;
    }
    void expectEdges(const double mv[16], const double proj[16], int firstEdge, int edgeCount)
    {
        static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                         {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
        const GLint viewport[4] = {0, 0, w, h};
        for (int k = firstEdge; k < firstEdge + edgeCount; ++k) {
            const float* a = volume.vertices[edges[k][0]];
            const float* b = volume.vertices[edges[k][1]];
            for (double t : {0.2, 0.5, 0.8}) {
                double wx, wy, wz;
                gluProject(a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]),
                           a[2] + t * (b[2] - a[2]), mv, proj, viewport, &wx, &wy, &wz);
                EXPECT_TRUE(nearGreen(wx, wy)) << "edge " << k << " t " << t << " at " << wx << ","
                                               << wy;
            }
        }
    }
    void mouse(wxEventType type, int x, int y, bool left)
    {
        wxMouseEvent ev(type);
        ev.m_x = x;
        ev.m_y = y;
        ev.m_leftDown = left;
        ev.SetEventObject(canvas);
        canvas->GetEventHandler()->ProcessEvent(ev);
    }

    wxFrame* frame = nullptr;
    MainGLCanvas* canvas = nullptr;
    bool readyAfterConstruction = false; // set-up ran inside the constructor
    std::vector<unsigned char> px;
    int w = 0;
    int h = 0;
};

void perspective45(double aspect, double m[16])
{
    const double c = 1.0 / std::tan(M_PI / 8);
    std::memset(m, 0, 16 * sizeof(double));
    m[0] = c / aspect;
    m[5] = c;
    m[10] = 50.1 / -49.9;
    m[11] = -1;
    m[14] = 2 * 50 * 0.1 / -49.9;
}

TEST_F(MainViewWindow, FrontViewPerspectiveBoxOnGluProjectPixels)
{
    // In a shown parent the view is set up at once, so the settings that
    // start-up reads next find the frame-rate text.
    EXPECT_TRUE(readyAfterConstruction);
    EXPECT_NE(canvas->font, nullptr);
    paintAndRead();
    double mv[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -3, 1};
    double proj[16];
    perspective45(640.0 / 480.0, proj);
    expectEdges(mv, proj, 0, 12);
    EXPECT_TRUE(is(320, 240, 0, 0, 0));
}

TEST_F(MainViewWindow, FrontViewOrthographicBoxOnGluProjectPixels)
{
    ASSERT_TRUE(canvas->makeContextCurrent());
    canvas->setProjection(false);
    paintAndRead();
    double mv[16] = {1.4, 0, 0, 0, 0, 1.4, 0, 0, 0, 0, 1.4, 0, 0, 0, 0, 1};
    const double a = 640.0 / 480.0;
    double proj[16] = {2 / 3.0, 0, 0, 0, 0, 2 * a / 3.0, 0, 0, 0, 0, -2 / 1.4, 0, 0, 0, 0, 1};
    expectEdges(mv, proj, 4, 4); // the front square covers the back one
    EXPECT_TRUE(is(320, 240, 0, 0, 0));
}

TEST_F(MainViewWindow, LeftDragOfNPixelsTurnsByNDegrees)
{
    pump(50); // pending paints run now, not during the drag
    mouse(wxEVT_LEFT_DOWN, 300, 200, true);
    mouse(wxEVT_MOTION, 300, 200, true);
    EXPECT_EQ(canvas->rotY, 0); // the first motion only records
    EXPECT_TRUE(volume.interacting);
    mouse(wxEVT_MOTION, 325, 200, true);
    EXPECT_EQ(canvas->rotY, 25);
    EXPECT_EQ(canvas->rotX, 0);
    paintAndRead();
    mouse(wxEVT_LEFT_UP, 325, 200, false);
    EXPECT_EQ(canvas->rotY, 0);
    EXPECT_FALSE(volume.interacting);
    pump(50); // the refresh the drag asked for adds nothing now

    float r[16];
    matRotation(25, 0, 1, 0, r);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(volume.rotation[i], r[i], 1e-5);
    double mv[16];
    for (int i = 0; i < 16; ++i)
        mv[i] = r[i];
    mv[14] = -3;
    double proj[16];
    perspective45(640.0 / 480.0, proj);
    expectEdges(mv, proj, 0, 12);
}

TEST_F(MainViewWindow, FrameRateTextDrawnAndHidden)
{
    paintAndRead();
    int magenta = 0;
    for (int y = 4; y < 30; ++y)
        for (int x = 8; x < 120; ++x)
            magenta += is(x, y, 255, 0, 255);
    EXPECT_GT(magenta, 60);
    ASSERT_NE(canvas->font, nullptr);
    canvas->font->toggleVisibility();
    paintAndRead();
    magenta = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            magenta += is(x, y, 255, 0, 255);
    EXPECT_EQ(magenta, 0);
}

TEST_F(MainViewWindow, SizeEventsFollowTheWindowAndKeysPan)
{
    frame->SetClientSize(400, 300);
    for (int i = 0; i < 100 && canvas->width != 400; ++i)
        pump(10);
    EXPECT_EQ(canvas->width, 400);
    EXPECT_EQ(canvas->height, 300);
    ASSERT_TRUE(canvas->makeContextCurrent());
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 400);
    EXPECT_EQ(vp[3], 300);

    wxKeyEvent key(wxEVT_CHAR);
    key.m_keyCode = WXK_RIGHT;
    key.SetEventObject(canvas);
    canvas->GetEventHandler()->ProcessEvent(key);
    EXPECT_FLOAT_EQ(volume.pan[0], 0.03f);
    key.m_keyCode = WXK_DOWN;
    canvas->GetEventHandler()->ProcessEvent(key);
    EXPECT_FLOAT_EQ(volume.pan[1], -0.03f);
    // Escape closes the window the view is in.
    key.m_keyCode = WXK_ESCAPE;
    canvas->GetEventHandler()->ProcessEvent(key);
    EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(frame));
    frame = nullptr;
    canvas = nullptr;
    pump(20);
}

TEST_F(MainViewWindow, BackgroundColourFillsTheView)
{
    volume.background[0] = volume.background[1] = 1;
    canvas->font->visible = false;
    volume.showBBox = false;
    paintAndRead();
    volume.showBBox = true;
    EXPECT_TRUE(is(5, 5, 255, 255, 0));
    EXPECT_TRUE(is(w - 5, h - 5, 255, 255, 0));
}

} // namespace
