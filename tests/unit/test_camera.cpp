// Camera maths of the paint cycle, the drag and key rules and the frame-rate
// counter of the main view, without OpenGL.
#include "main_view.h"
#include "plane.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectPoint(const float m[16], float x, float y, float z, float ex, float ey, float ez)
{
    const float p[3] = {x, y, z};
    float out[3];
    matTransformPoint(m, p, out);
    EXPECT_NEAR(out[0], ex, 1e-5);
    EXPECT_NEAR(out[1], ey, 1e-5);
    EXPECT_NEAR(out[2], ez, 1e-5);
}

TEST(CameraMaths, RotationMatchesGlRotateConvention)
{
    float m[16];
    matRotation(90, 0, 1, 0, m); // x turns into -z
    expectPoint(m, 1, 0, 0, 0, 0, -1);
    matRotation(90, 1, 0, 0, m); // y turns into z
    expectPoint(m, 0, 1, 0, 0, 0, 1);
    matRotation(90, 0, 0, 2, m); // axis length does not matter
    expectPoint(m, 1, 0, 0, 0, 1, 0);
    matRotation(0, 0, 0, 0, m);
    expectPoint(m, 1, 2, 3, 1, 2, 3);
}

TEST(CameraMaths, IncrementTurnsAboutScreenAxesWhateverTheRotationSoFar)
{
    float rotation[16];
    matRotation(90, 0, 1, 0, rotation);
    float delta[16];
    deltaRotationMatrix(90, 0, delta); // rotX: about the screen x axis
    matMultiply(delta, rotation, rotation);
    // The object's x axis went to -z first, and the screen-x turn takes -z to +y.
    expectPoint(rotation, 1, 0, 0, 0, 1, 0);
    // The other order would turn about the object's own x axis instead.
    float other[16], ry[16];
    matRotation(90, 0, 1, 0, ry);
    matMultiply(ry, delta, other);
    float p[3] = {1, 0, 0}, q[3];
    matTransformPoint(other, p, q);
    EXPECT_NEAR(q[2], -1, 1e-5);
}

TEST(CameraMaths, DeltaIsYTurnThenXTurn)
{
    float d[16], ry[16], rx[16], expect[16];
    deltaRotationMatrix(7, -12, d);
    matRotation(-12, 0, 1, 0, ry);
    matRotation(7, 1, 0, 0, rx);
    matMultiply(ry, rx, expect);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(d[i], expect[i]);
    deltaRotationMatrix(0, 0, d);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(d[i], i % 5 == 0 ? 1.0f : 0.0f);
}

TEST(CameraMaths, CameraMatrixPerProjection)
{
    const float pan[2] = {0.25f, -0.5f};
    float m[16];
    cameraMatrix(true, pan, -3, 1.4f, m);
    expectPoint(m, 0, 0, 0, 0.25f, -0.5f, -3);
    expectPoint(m, 1, 1, 1, 1.25f, 0.5f, -2);
    cameraMatrix(false, pan, -3, 2, m);
    expectPoint(m, 0, 0, 0, 0.25f, -0.5f, 0);
    expectPoint(m, 1, 1, 1, 2.25f, 1.5f, 2);
}

TEST(CameraMaths, OrthoScaleFollowsDistanceAndStopsAtZero)
{
    EXPECT_FLOAT_EQ(orthoScaleFor(-3), 1.4f);
    EXPECT_FLOAT_EQ(orthoScaleFor(0), 2.0f);
    EXPECT_FLOAT_EQ(orthoScaleFor(-5), 1.0f);
    EXPECT_FLOAT_EQ(orthoScaleFor(-10), 0.0f);
    EXPECT_FLOAT_EQ(orthoScaleFor(-12.5f), 0.0f);
    EXPECT_FLOAT_EQ(orthoScaleFor(5), 3.0f);
}

TEST(CameraMaths, AspectOfAWindowWithoutHeightIsFinite)
{
    EXPECT_FLOAT_EQ(viewAspect(640, 480), 640.0f / 480.0f);
    EXPECT_TRUE(std::isfinite(viewAspect(640, 0)));
    EXPECT_FLOAT_EQ(viewAspect(640, 0), 640.0f);
    EXPECT_FLOAT_EQ(viewAspect(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(viewAspect(0, 480), 1.0f / 480.0f);
}

const float kUnitBox[8][3] = {{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f},
                              {-0.5f, 0.5f, -0.5f},  {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
                              {0.5f, 0.5f, 0.5f},    {-0.5f, 0.5f, 0.5f}};

TEST(CameraMaths, OrthographicDepthRangeOfTheBox)
{
    const float pan[2] = {0.3f, 0.1f};
    float cam[16], rot[16], mv[16], range[2], spans[3];
    cameraMatrix(false, pan, -3, 1.4f, cam);
    matIdentity(rot);
    matMultiply(cam, rot, mv);
    boxDepthRange(mv, kUnitBox, range, spans);
    EXPECT_NEAR(range[0], -0.7f, 1e-6);
    EXPECT_NEAR(range[1], 0.7f, 1e-6);
    EXPECT_NEAR(spans[0], 1.4f, 1e-6);
    EXPECT_NEAR(spans[1], 1.4f, 1e-6);
    EXPECT_NEAR(spans[2], 1.4f, 1e-6);

    // Turned 45 degrees about y the box is deeper: half the face diagonal.
    matRotation(45, 0, 1, 0, rot);
    matMultiply(cam, rot, mv);
    boxDepthRange(mv, kUnitBox, range, spans);
    EXPECT_NEAR(range[0], -0.7f * std::sqrt(2.0f), 1e-5);
    EXPECT_NEAR(range[1], 0.7f * std::sqrt(2.0f), 1e-5);
    EXPECT_NEAR(spans[0], 1.4f * std::sqrt(2.0f), 1e-5);
    EXPECT_NEAR(spans[1], 1.4f, 1e-5);
}

// ---- drag and key rules ----

class DragRules : public ::testing::Test
{
protected:
    void SetUp() override
    {
        volume.distance = -3;
        volume.orthoScale = 1.4f;
        volume.pan[0] = volume.pan[1] = 0;
        volume.interacting = true;
        volume.isMask = false;
        clipPlanes.translatingCount = 0;
    }
    void TearDown() override { SetUp(); }

    static MouseInput drag(int x, int y, bool left, bool right = false, bool middle = false)
    {
        MouseInput in;
        in.dragging = true;
        in.left = left;
        in.right = right;
        in.middle = middle;
        in.x = x;
        in.y = y;
        return in;
    }
    static MouseInput release(int x, int y)
    {
        MouseInput in;
        in.x = x;
        in.y = y;
        return in;
    }

    MainView view;
};

TEST_F(DragRules, FirstMotionOnlyRecordsThenDeltasAreDegrees)
{
    EXPECT_FALSE(view.onMouse(drag(100, 100, true)));
    EXPECT_EQ(view.rotX, 0);
    EXPECT_EQ(view.rotY, 0);
    EXPECT_TRUE(volume.interacting);
    EXPECT_TRUE(view.onMouse(drag(137, 90, true)));
    EXPECT_EQ(view.rotY, 37);  // x delta turns about y
    EXPECT_EQ(view.rotX, -10); // y delta turns about x
    EXPECT_TRUE(view.onMouse(drag(140, 90, true)));
    EXPECT_EQ(view.rotY, 3);
    EXPECT_EQ(view.rotX, 0);
    EXPECT_EQ(view.planeShift, 0); // no plane in translate mode
}

TEST_F(DragRules, NonDragEventClearsIncrementsAndInteracting)
{
    clipPlanes.translatingCount = 1;
    view.onMouse(drag(0, 0, true));
    view.onMouse(drag(5, 8, true));
    EXPECT_EQ(view.planeShift, 8);
    EXPECT_FALSE(view.onMouse(release(5, 8)));
    EXPECT_EQ(view.rotX, 0);
    EXPECT_EQ(view.rotY, 0);
    EXPECT_EQ(view.planeShift, 0);
    EXPECT_FALSE(volume.interacting);
    // The next drag starts over: its first motion only records.
    EXPECT_FALSE(view.onMouse(drag(50, 50, true)));
    EXPECT_EQ(view.rotY, 0);
}

TEST_F(DragRules, SpeedupOffLeavesInteractingAlone)
{
    view.speedup = false;
    volume.interacting = false;
    view.onMouse(drag(0, 0, true));
    view.onMouse(drag(4, 0, true));
    EXPECT_FALSE(volume.interacting);
}

TEST_F(DragRules, RightButtonZoomsAndRecomputesOrthoScale)
{
    view.onMouse(drag(200, 200, false, true));
    EXPECT_FLOAT_EQ(volume.distance, -3);
    // Up by 25 and left by 25 bring the data closer by 0.5 each.
    EXPECT_TRUE(view.onMouse(drag(175, 175, false, true)));
    EXPECT_FLOAT_EQ(volume.distance, -2);
    EXPECT_FLOAT_EQ(volume.orthoScale, orthoScaleFor(-2));
    // A slow drag of one pixel still zooms.
    view.onMouse(drag(175, 176, false, true));
    EXPECT_FLOAT_EQ(volume.distance, -2.02f);
    // Far out the orthographic scale stops at 0.
    view.onMouse(drag(175, 176 + 500, false, true));
    EXPECT_LE(volume.distance, -10);
    EXPECT_EQ(volume.orthoScale, 0.0f);
}

TEST_F(DragRules, MiddleButtonPans)
{
    view.onMouse(drag(10, 10, false, false, true));
    EXPECT_TRUE(view.onMouse(drag(70, 40, false, false, true)));
    EXPECT_FLOAT_EQ(volume.pan[0], 0.5f);
    EXPECT_FLOAT_EQ(volume.pan[1], -0.25f);
    EXPECT_EQ(view.rotX, 0);
}

TEST_F(DragRules, TwoButtonsApplyLeftThenRightInOneEvent)
{
    view.onMouse(drag(100, 100, true, true));
    EXPECT_TRUE(view.onMouse(drag(110, 80, true, true)));
    // Left took the delta and stored the position, so right saw none.
    EXPECT_EQ(view.rotY, 10);
    EXPECT_EQ(view.rotX, -20);
    EXPECT_FLOAT_EQ(volume.distance, -3);
}

TEST_F(DragRules, ArrowKeysPan)
{
    view.onArrowKey(ArrowKey::Left);
    EXPECT_FLOAT_EQ(volume.pan[0], -0.03f);
    view.onArrowKey(ArrowKey::Right);
    view.onArrowKey(ArrowKey::Right);
    EXPECT_FLOAT_EQ(volume.pan[0], 0.03f);
    view.onArrowKey(ArrowKey::Up);
    EXPECT_FLOAT_EQ(volume.pan[1], 0.03f);
    view.onArrowKey(ArrowKey::Down);
    view.onArrowKey(ArrowKey::Down);
    EXPECT_FLOAT_EQ(volume.pan[1], -0.03f);
}

TEST(MainViewFields, InitialValues)
{
    MainView view;
    EXPECT_EQ(view.width, 640);
    EXPECT_EQ(view.height, 480);
    EXPECT_TRUE(view.speedup);
    EXPECT_EQ(view.rotX, 0);
    EXPECT_EQ(view.rotY, 0);
    EXPECT_EQ(view.planeShift, 0);
    EXPECT_EQ(view.font, nullptr);
    EXPECT_FALSE(view.glReady());
    EXPECT_STREQ(view.frameRate().text(), "fps: 00.00");
}

// ---- frame rate ----

TEST(FrameRate, TextUntilFiveFramesThenRateOverTheLastFive)
{
    FrameRateCounter c(1000);
    for (int i = 1; i <= 4; ++i) {
        c.frame(1000 + i * 10);
        EXPECT_STREQ(c.text(), "fps: 00.00");
        EXPECT_EQ(c.count(), static_cast<float>(i));
    }
    c.frame(1100); // five frames in 100 ms
    EXPECT_STREQ(c.text(), "fps: 50.00");
    EXPECT_EQ(c.count(), 0.0f);
    for (int i = 1; i <= 4; ++i)
        c.frame(1100 + i);
    EXPECT_STREQ(c.text(), "fps: 50.00"); // changes every fifth frame only
    c.frame(1400);
    EXPECT_STREQ(c.text(), "fps: 16.67");
    for (int i = 0; i < 5; ++i)
        c.frame(1401.5);
    EXPECT_STREQ(c.text(), "fps: 3333.33");
}

TEST(FrameRate, NoElapsedTimeKeepsTheOldText)
{
    FrameRateCounter c(500);
    for (int i = 0; i < 5; ++i)
        c.frame(500);
    EXPECT_STREQ(c.text(), "fps: 00.00");
    EXPECT_EQ(c.count(), 0.0f);
    for (int i = 0; i < 5; ++i)
        c.frame(600);
    EXPECT_STREQ(c.text(), "fps: 50.00");
}

// Idle time is no frame time: after a pause of 80 s the text keeps the
// last rate (not "fps: 0.06"), and the next five frames give theirs.
TEST(FrameRate, PausesDoNotCount)
{
    FrameRateCounter c(0);
    for (int i = 1; i <= 5; ++i)
        c.frame(i * 20.0);
    EXPECT_STREQ(c.text(), "fps: 50.00");
    c.frame(80100); // the first frame after the pause starts a new count
    EXPECT_STREQ(c.text(), "fps: 50.00");
    EXPECT_EQ(c.count(), 0.0f);
    for (int i = 1; i <= 4; ++i)
        c.frame(80100 + i * 10.0);
    EXPECT_STREQ(c.text(), "fps: 50.00");
    c.frame(80150);
    EXPECT_STREQ(c.text(), "fps: 100.00");
    // Frames a second apart are each after a pause: no rate of them.
    for (int i = 1; i <= 10; ++i)
        c.frame(80150 + i * 1500.0);
    EXPECT_STREQ(c.text(), "fps: 100.00");
}

TEST(FrameRate, ClockIsMonotonic)
{
    const double a = monotonicMillis();
    const double b = monotonicMillis();
    EXPECT_GE(b, a);
}

} // namespace
