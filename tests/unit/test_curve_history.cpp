// Undo and redo of curve edits: what makes a step, and the history's
// bounds. Every kind of edit is undone and redone through the window in
// the window tests.
#include "curve_history.h"
#include "transfer_editor.h"
#include "transfer_function.h"

#include <gtest/gtest.h>

#include <string>

namespace {

EditorMouse mouseAt(int x, int v, bool press, bool release, EditorMouse::Button b)
{
    EditorMouse e;
    e.press = press;
    e.release = release;
    e.button = b;
    e.leftDown = b == EditorMouse::LEFT && !release;
    e.dragging = !press && !release;
    e.x = x + 10; // the window's default view
    e.y = 266 - v;
    return e;
}

TEST(CurveHistory, PressesThatChangeNothingLeaveNoStepAndNewEditsDropRedo)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    EditorMapping map;
    CurveHistory history;
    // A press in the margin adds nothing; a press and release on an end
    // point without moving changes nothing.
    for (int x : {-10, 0}) {
        editorMouse(tf, map, mouseAt(x, 0, true, false, EditorMouse::LEFT), &history);
        editorMouse(tf, map, mouseAt(x, 0, false, true, EditorMouse::LEFT), &history);
    }
    EXPECT_EQ(history.undoSteps(), 0u);
    EXPECT_FALSE(history.undo(tf));

    editorMouse(tf, map, mouseAt(50, 50, true, false, EditorMouse::LEFT), &history);
    EXPECT_TRUE(history.open());
    // Undo in the middle of an edit first closes it.
    EXPECT_TRUE(history.undo(tf));
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).getCount(), 2);
    EXPECT_FALSE(history.open());
    EXPECT_EQ(history.redoSteps(), 1u);
    editorMouse(tf, map, mouseAt(90, 20, true, false, EditorMouse::LEFT), &history);
    editorMouse(tf, map, mouseAt(90, 20, false, true, EditorMouse::LEFT), &history);
    EXPECT_EQ(history.redoSteps(), 0u);
    EXPECT_FALSE(history.redo(tf));
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).points()[1].x, 90.0f);

    // A drag whose press happened outside the view is still one step.
    history.clear();
    editorMouse(tf, map, mouseAt(0, 0, true, false, EditorMouse::LEFT), nullptr);
    editorMouse(tf, map, mouseAt(5, 40, false, false, EditorMouse::LEFT), &history);
    editorMouse(tf, map, mouseAt(5, 40, false, true, EditorMouse::LEFT), &history);
    EXPECT_EQ(history.undoSteps(), 1u);
    ASSERT_TRUE(history.undo(tf));
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).points()[0].y, 0.0f);
}

TEST(CurveHistory, KeepsItsLimitAndForgetsWhenTheTablesAreResized)
{
    TransferFunction tf(256, TransferFunction::NoGL{});
    CurveHistory history(60);
    EXPECT_EQ(CurveHistory(0).limit(), 1u);
    for (int i = 1; i <= 65; ++i)
        applyTypedPoint(tf, CHANNEL_ALPHA, 0, "0", std::to_string(i), &history);
    EXPECT_EQ(history.undoSteps(), 60u);
    int undone = 0;
    while (history.undo(tf))
        ++undone;
    EXPECT_EQ(undone, 60);
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).points()[0].y, 5.0f); // the oldest five fell off

    // A load re-sizes the tables: the kept steps no longer fit.
    EXPECT_TRUE(history.redo(tf));
    tf.resize(4096);
    EXPECT_FALSE(history.undo(tf));
    EXPECT_EQ(history.undoSteps(), 0u);
    EXPECT_EQ(history.redoSteps(), 0u);
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).getSize(), 4096);
    EXPECT_EQ(tf.curve(CHANNEL_ALPHA).getCount(), 2);
}

} // namespace
