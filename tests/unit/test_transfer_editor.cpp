// The transfer-function editor's rules without a window: pixels to table
// coordinates under zoom and pan, the mouse on selected channels, typed
// points, the layout and the window's actions.
#include "curve_history.h"
#include "render_mode.h"
#include "test_support.h"
#include "transfer_editor.h"
#include "transfer_function.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// The window's default: 276 pixels show table positions -10 ... 265, so
// table position x is under pixel column x + 10 and value v under row 266 - v.
class EditorMouseRules : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tf.reset(new TransferFunction(256, TransferFunction::NoGL{}));
        zoom.reset(256);
        applyEditorView(zoom, map, tf.get());
    }
    EditorMouseResult press(int x, int v, EditorMouse::Button b = EditorMouse::LEFT)
    {
        EditorMouse e;
        e.press = true;
        e.button = b;
        e.leftDown = b == EditorMouse::LEFT;
        e.x = x + 10;
        e.y = 266 - v;
        return editorMouse(*tf, map, e, &history);
    }
    EditorMouseResult drag(int x, int v)
    {
        EditorMouse e;
        e.dragging = true;
        e.leftDown = true;
        e.x = x + 10;
        e.y = 266 - v;
        return editorMouse(*tf, map, e, &history);
    }
    EditorMouseResult release(EditorMouse::Button b = EditorMouse::LEFT)
    {
        EditorMouse e;
        e.release = true;
        e.button = b;
        return editorMouse(*tf, map, e, &history);
    }
    void expectPoint(int c, int k, int x, int y)
    {
        int px = -1, py = -1;
        ASSERT_TRUE(tf->curve(c).getPoint(k, px, py)) << "channel " << c << " point " << k;
        EXPECT_EQ(px, x) << "channel " << c << " point " << k;
        EXPECT_EQ(py, y) << "channel " << c << " point " << k;
    }

    std::unique_ptr<TransferFunction> tf;
    EditorMapping map;
    ZoomPan zoom;
    CurveHistory history;
};

TEST(EditorMapping, DefaultViewHasTenEntriesOfMarginEachSide)
{
    EditorMapping m;
    const struct { int mouse; int table; } columns[] = {
        {0, -10}, {9, -1}, {10, 0}, {11, 1}, {265, 255}, {275, 265}, {-5, -15}};
    for (const auto& c : columns)
        EXPECT_EQ(m.tableX(c.mouse), c.table) << c.mouse;
    // Truncation toward zero: the half entry left of position 0 is still 0.
    m.firstVisible = -10.5f;
    EXPECT_EQ(m.tableX(10), 0);  // -0.5 truncates to 0
    EXPECT_EQ(m.tableX(9), -1);  // -1.5
    EXPECT_EQ(m.valueY(0), 266);
    EXPECT_EQ(m.valueY(266), 0);
    EXPECT_EQ(m.valueY(276), -10);
    EXPECT_FLOAT_EQ(EditorMapping().pixelX(0.0f), 10.0f);
    // A collapsed view does not divide by zero.
    m.width = 0;
    EXPECT_EQ(m.tableX(5), static_cast<int>(5 * 276.0f - 10.5f));
}

TEST_F(EditorMouseRules, MarginsUnselectedChannelsAndSharedPoints)
{
    // The left margin is a negative table position: nothing is added, but
    // the first point is picked from within its tolerance.
    EditorMouseResult r = press(-10, 0);
    EXPECT_EQ(r.x, -10);
    EXPECT_EQ(r.channel, -1);
    EXPECT_EQ(tf->curve(CHANNEL_ALPHA).getCount(), 2);
    release();
    r = press(-2, 0);
    EXPECT_EQ(r.channel, CHANNEL_ALPHA);
    EXPECT_EQ(r.point, 0);
    drag(5, 30); // the first point only moves up and down
    expectPoint(CHANNEL_ALPHA, 0, 0, 30);
    release();

    // A press on the red curve's point with only alpha selected: red stays
    // as it is, alpha gets a point there.
    tf->curve(CHANNEL_RED).addPoint(100, 200);
    r = press(100, 200);
    EXPECT_EQ(r.channel, -1);
    EXPECT_EQ(tf->curve(CHANNEL_RED).getCount(), 3);
    EXPECT_EQ(tf->curve(CHANNEL_RED).getSelected(), -1);
    ASSERT_EQ(tf->curve(CHANNEL_ALPHA).getCount(), 3);
    expectPoint(CHANNEL_ALPHA, 1, 100, 200);
    release();

    // Red and alpha selected share the point: the edit boxes name red, a
    // drag moves both.
    tf->setSelected(CHANNEL_RED, true);
    r = press(100, 200);
    EXPECT_EQ(r.channel, CHANNEL_RED);
    EXPECT_EQ(r.point, 1);
    drag(110, 180);
    expectPoint(CHANNEL_RED, 1, 110, 180);
    expectPoint(CHANNEL_ALPHA, 1, 110, 180);
    release();

    // The first channel in red, green, blue, alpha order with a point under
    // the cursor is named: green and blue have none there.
    tf->setSelected(CHANNEL_RED, false);
    tf->setSelected(CHANNEL_GREEN, true);
    tf->setSelected(CHANNEL_BLUE, true);
    r = press(110, 180);
    EXPECT_EQ(r.channel, CHANNEL_ALPHA);
    EXPECT_EQ(r.point, 1);
    EXPECT_EQ(tf->curve(CHANNEL_GREEN).getCount(), 2); // a hit anywhere means no new points
    release();

    // A right press deletes only on selected channels: red keeps its point.
    tf->setSelected(CHANNEL_GREEN, false);
    tf->setSelected(CHANNEL_BLUE, false);
    press(110, 180, EditorMouse::RIGHT);
    EXPECT_EQ(tf->curve(CHANNEL_RED).getCount(), 3);
    EXPECT_EQ(tf->curve(CHANNEL_ALPHA).getCount(), 2);
    release(EditorMouse::RIGHT);
    EXPECT_EQ(tf->curve(CHANNEL_RED).getSelected(), -1);
}

TEST(EditorZoom, SlidersKeepTheirRangesAndLabelTheAxis)
{
    ZoomPan z;
    z.reset(4096);
    EXPECT_EQ(z.shown(), 4096);
    EXPECT_EQ(z.firstMax(), 0);
    z.setShown(1024);
    z.setFirst(2048);
    EXPECT_EQ(z.labelLeft(), 2048);
    EXPECT_EQ(z.labelMiddle(), 2560);
    EXPECT_EQ(z.labelRight(), 3072);
    EXPECT_EQ(z.viewOffset(), 2038);
    EXPECT_EQ(z.viewCount(), 1044);
    // Zooming out pulls the pan back inside the table.
    z.setShown(3000);
    EXPECT_EQ(z.first(), 1096);
    EXPECT_EQ(z.labelRight(), 4096);

    z.reset(256);
    const struct { int shown; int first; int wantShown; int wantFirst; } cases[] = {
        {10, 0, 64, 0}, {64, 500, 64, 192}, {100, -5, 100, 0}, {9999, 7, 256, 0}, {255, 1, 255, 1}};
    for (const auto& c : cases) {
        z.setShown(c.shown);
        z.setFirst(c.first);
        EXPECT_EQ(z.shown(), c.wantShown) << c.shown;
        EXPECT_EQ(z.first(), c.wantFirst) << c.first;
    }

    // A load re-sets both sliders and the view.
    z.reset(256);
    EditorMapping m;
    applyEditorView(z, m, nullptr);
    EXPECT_EQ(m.firstVisible, -10.0f);
    EXPECT_EQ(m.visibleCount, 276.0f);
}

TEST(EditorIds, ClassificationChannelAndKindMappings)
{
    const struct { int c; int id; } classes[] = {
        {1, 12900}, {2, 12800}, {3, 12910}, {4, 0}, {0, 0}, {5, 0}};
    for (const auto& k : classes)
        EXPECT_EQ(classificationCommandId(k.c), k.id) << k.c;
    EXPECT_EQ(classificationForCommandId(12900), 1);
    EXPECT_EQ(classificationForCommandId(12800), 2);
    EXPECT_EQ(classificationForCommandId(12910), 3);
    EXPECT_EQ(classificationForCommandId(12911), 4);
    EXPECT_EQ(classificationForCommandId(12920), 0);
    const int channels[] = {12100, 12200, 12300, 12400};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(channelForCommandId(channels[c]), c);
    EXPECT_EQ(channelForCommandId(12500), -1);
    EXPECT_EQ(curveKindForSelection(0), CURVE_LINEAR);
    EXPECT_EQ(curveKindForSelection(1), CURVE_BEZIER);
    EXPECT_EQ(curveKindForSelection(2), CURVE_FREE);
    EXPECT_EQ(curveKindForSelection(-1), CURVE_BEZIER);
    EXPECT_EQ(selectionForCurveKind(2), 2);
    EXPECT_EQ(selectionForCurveKind(7), 1);
}

TEST(EditorTypedPoints, NumbersAreParsedStrictly)
{
    const struct { const char* text; bool ok; int value; } cases[] = {
        {"42", true, 42}, {" 7 ", true, 7}, {"-3", true, -3}, {"+5", true, 5}, {"0", true, 0},
        {"", false, 0}, {" ", false, 0}, {"x", false, 0}, {"12x", false, 0}, {"1.5", false, 0},
        {"1e3", false, 0}, {"0x10", false, 0}, {"2147483647", true, INT_MAX},
        {"2147483648", false, 0}, {"-99999999999", false, 0}, {"5 5", false, 0}};
    for (const auto& c : cases) {
        int v = -12345;
        EXPECT_EQ(parseTypedInteger(c.text, v), c.ok) << "'" << c.text << "'";
        EXPECT_EQ(v, c.ok ? c.value : -12345) << c.text; // untouched when refused
    }
    int v = 0;
    EXPECT_FALSE(parseTypedInteger(std::string("12\0" "3", 4), v));
}

TEST(EditorTypedPoints, RefusedOrClampedInputKeepsEveryCurveBuildableAndWritable)
{
    testsupport::TempDir tmp;
    TransferFunction tf(256, TransferFunction::NoGL{});
    Curve& a = tf.curve(CHANNEL_ALPHA);
    a.addPoint(100, 50);
    a.addPoint(200, 150);
    CurveHistory history;
    // Point 1 lies between 0 and 200, point 2 between 100 and 255.
    const struct {
        int point;
        const char* x;
        const char* y;
        TypedPoint::Outcome outcome;
        int boxX, boxY; // what the boxes show afterwards
    } cases[] = {
        {1, "abc", "60", TypedPoint::NOT_NUMBERS, 100, 50},
        {1, "120", "", TypedPoint::NOT_NUMBERS, 100, 50},
        {1, "99999999999", "60", TypedPoint::NOT_NUMBERS, 100, 50},
        {1, "201", "60", TypedPoint::REFUSED, 100, 50},    // past the right neighbour
        {1, "-1", "60", TypedPoint::REFUSED, 100, 50},     // past the left one
        {1, "120", "300", TypedPoint::ACCEPTED, 120, 255}, // value clamped
        {1, "200", "-7", TypedPoint::ACCEPTED, 200, 0},    // ties with the neighbour allowed
        {2, "150", "77", TypedPoint::REFUSED, 200, 150},   // would pass point 1 now at 200
        {0, "30", "40", TypedPoint::ACCEPTED, 0, 40},      // an end point keeps its position
        {3, "9999", "256", TypedPoint::ACCEPTED, 255, 255},
        {4, "10", "10", TypedPoint::NO_POINT, 0, 0},
        {-1, "10", "10", TypedPoint::NO_POINT, 0, 0},
    };
    for (const auto& c : cases) {
        const TypedPoint t = applyTypedPoint(tf, CHANNEL_ALPHA, c.point, c.x, c.y, &history);
        EXPECT_EQ(t.outcome, c.outcome) << c.point << " " << c.x << " " << c.y;
        if (c.outcome != TypedPoint::NO_POINT) {
            EXPECT_EQ(t.x, c.boxX) << c.point << " " << c.x << " " << c.y;
            EXPECT_EQ(t.y, c.boxY) << c.point << " " << c.x << " " << c.y;
        }
        // Whatever was typed: ordered points inside the table.
        for (int k = 0; k < a.getCount(); ++k) {
            EXPECT_GE(a.points()[k].y, 0.0f);
            EXPECT_LE(a.points()[k].y, 255.0f);
            if (k > 0) {
                EXPECT_LE(a.points()[k - 1].x, a.points()[k].x);
            }
        }
        EXPECT_EQ(a.points()[0].x, 0.0f);
        EXPECT_EQ(a.points()[a.getCount() - 1].x, 255.0f);
    }
    // Three of the accepted edits changed the curve; refusals leave no step.
    EXPECT_EQ(history.undoSteps(), 3u);
    EXPECT_EQ(applyTypedPoint(tf, 9, 1, "1", "1", &history).outcome, TypedPoint::NO_POINT);

    tf.refreshCurves();
    tf.build(true);
    EXPECT_EQ(tf.getPalette()[4 * 0 + 3], 40);
    EXPECT_EQ(tf.getPalette()[4 * 200 + 3], 150); // (200, 0) and (200, 150): the later wins
    EXPECT_EQ(tf.getPalette()[4 * 201 + 3], 151);
    EXPECT_EQ(tf.getPalette()[4 * 255 + 3], 255);
    EXPECT_TRUE(tf.writeFile(tmp.file("typed.pal")));
    TransferFunction back(256, TransferFunction::NoGL{});
    ASSERT_TRUE(back.readFile(tmp.file("typed.pal")));
    ASSERT_EQ(back.curve(CHANNEL_ALPHA).getCount(), a.getCount());
    for (int k = 0; k < a.getCount(); ++k) {
        EXPECT_EQ(back.curve(CHANNEL_ALPHA).points()[k].x, a.points()[k].x);
        EXPECT_EQ(back.curve(CHANNEL_ALPHA).points()[k].y, a.points()[k].y);
    }
}


// Every whole position and value survives a save and a read: six printed
// decimals must not turn into a step down.
TEST(EditorActions, SavedCurvesReadBackIdenticallyAndSaveToTheSameBytes)
{
    testsupport::TempDir tmp;
    for (int size : {256, 4096}) {
        TransferFunction tf(size, TransferFunction::NoGL{});
        for (int c = 0; c < 4; ++c) {
            std::vector<CurvePoint> pts;
            for (int x = 0; x < size; x += 1 + c)
                pts.push_back({static_cast<float>(x), static_cast<float>((x * 7 + 3 * c) % 256), 0});
            pts.push_back({static_cast<float>(size - 1), 255.0f, 0.0f});
            tf.curve(c).setControlPoints(pts.data(), static_cast<int>(pts.size()), "test points");
        }
        const std::string first = tmp.file("first.pal");
        const std::string second = tmp.file("second.pal");
        ASSERT_TRUE(tf.writeFile(first));
        TransferFunction back(size, TransferFunction::NoGL{});
        ASSERT_TRUE(readTransferFile(back, first, nullptr, nullptr));
        for (int c = 0; c < 4; ++c) {
            ASSERT_EQ(back.curve(c).getCount(), tf.curve(c).getCount()) << size << " " << c;
            int wrong = 0;
            for (int k = 0; k < tf.curve(c).getCount(); ++k)
                if (back.curve(c).points()[k].x != tf.curve(c).points()[k].x ||
                    back.curve(c).points()[k].y != tf.curve(c).points()[k].y)
                    ++wrong;
            EXPECT_EQ(wrong, 0) << size << " channel " << c;
        }
        ASSERT_TRUE(back.writeFile(second));
        EXPECT_TRUE(testsupport::readFile(first) == testsupport::readFile(second)) << size;

        // A lookup table of 256 entries read back gives the table it was
        // written from (4096 entries keep at most 256 points a channel).
        if (size != 256)
            continue;
        tf.refreshCurves();
        tf.build(true);
        ASSERT_TRUE(tf.writeFile(tmp.file("table.txt")));
        ASSERT_TRUE(readTransferFile(back, tmp.file("table.txt"), nullptr, nullptr));
        int differ = 0;
        for (int i = 0; i < 4 * size; ++i)
            if (back.getPalette()[i] != tf.getPalette()[i])
                ++differ;
        EXPECT_EQ(differ, 0);
    }
}

} // namespace
