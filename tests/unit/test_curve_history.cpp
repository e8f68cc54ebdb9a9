// Undo and redo of curve edits: every kind of edit comes back exactly,
// tables included, and goes forward again; the history's bounds.
#include "curve_history.h"
#include "render_mode.h"
#include "test_support.h"
#include "transfer_editor.h"
#include "transfer_function.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> tablesOf(TransferFunction& tf)
{
    // What the main view would get after an undo: curves re-evaluated, tables built whole.
    tf.refreshCurves();
    tf.build(true);
    const unsigned char* p = tf.getPalette();
    return std::vector<unsigned char>(p, p + 4 * tf.getTableSize());
}

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

TEST(CurveHistory, EveryKindOfEditIsUndoneExactlyAndRedone)
{
    testsupport::TempDir tmp;
    TransferFunction tf(256, TransferFunction::NoGL{});
    EditorMapping map;
    ZoomPan zoom;
    zoom.reset(256);
    applyEditorView(zoom, map, &tf);
    tf.setSelected(CHANNEL_GREEN, true);
    CurveHistory history;

    TransferFunction source(256, TransferFunction::NoGL{});
    source.curve(CHANNEL_BLUE).addPoint(40, 220);
    ASSERT_TRUE(source.writeFile(tmp.file("blue.pal")));

    auto left = [&](int x, int v) {
        editorMouse(tf, map, mouseAt(x, v, true, false, EditorMouse::LEFT), &history);
        editorMouse(tf, map, mouseAt(x, v, false, true, EditorMouse::LEFT), &history);
    };
    const struct
    {
        const char* name;
        std::function<void()> edit;
    } edits[] = {
        {"add", [&] { left(100, 60); }},
        {"drag",
         [&] {
             editorMouse(tf, map, mouseAt(100, 60, true, false, EditorMouse::LEFT), &history);
             editorMouse(tf, map, mouseAt(130, 90, false, false, EditorMouse::LEFT), &history);
             editorMouse(tf, map, mouseAt(140, 200, false, false, EditorMouse::LEFT), &history);
             editorMouse(tf, map, mouseAt(140, 200, false, true, EditorMouse::LEFT), &history);
         }},
        {"second add", [&] { left(60, 10); }},
        {"delete",
         [&] {
             editorMouse(tf, map, mouseAt(140, 200, true, false, EditorMouse::RIGHT), &history);
             editorMouse(tf, map, mouseAt(140, 200, false, true, EditorMouse::RIGHT), &history);
         }},
        {"typed", [&] { applyTypedPoint(tf, CHANNEL_GREEN, 1, "70", "33", &history); }},
        {"kind", [&] { setTransferCurveKind(tf, CURVE_BEZIER, &history); }},
        {"reset selected", [&] { resetTransferCurves(tf, false, &history); }},
        {"file read", [&] { readTransferFile(tf, tmp.file("blue.pal"), &history, nullptr); }},
        {"free kind", [&] { setTransferCurveKind(tf, CURVE_FREE, &history); }},
        {"painting",
         [&] {
             editorMouse(tf, map, mouseAt(20, 200, true, false, EditorMouse::LEFT), &history);
             editorMouse(tf, map, mouseAt(80, 30, false, false, EditorMouse::LEFT), &history);
             editorMouse(tf, map, mouseAt(80, 30, false, true, EditorMouse::LEFT), &history);
         }},
        {"reset all", [&] { resetTransferCurves(tf, true, &history); }},
    };

    std::vector<CurvesSnapshot> states{takeCurvesSnapshot(tf)};
    std::vector<std::vector<unsigned char>> tables{tablesOf(tf)};
    for (const auto& e : edits) {
        e.edit();
        states.push_back(takeCurvesSnapshot(tf));
        tables.push_back(tablesOf(tf));
        EXPECT_TRUE(states.back() != states[states.size() - 2]) << e.name << " changed nothing";
        EXPECT_EQ(history.undoSteps(), states.size() - 1) << e.name;
    }
    // The painted table is not the ramp: undoing it must bring back paint, not points.
    EXPECT_EQ(tf.curve(CHANNEL_GREEN).getKind(), CURVE_FREE);

    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(history.undo(tf)) << edits[i - 1].name;
        EXPECT_TRUE(takeCurvesSnapshot(tf) == states[i - 1]) << "undo " << edits[i - 1].name;
        EXPECT_EQ(tablesOf(tf), tables[i - 1]) << "undo " << edits[i - 1].name;
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(tf.curve(c).getSelected(), -1);
    }
    EXPECT_FALSE(history.undo(tf));
    EXPECT_EQ(history.redoSteps(), states.size() - 1);
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(history.redo(tf)) << edits[i - 1].name;
        EXPECT_TRUE(takeCurvesSnapshot(tf) == states[i]) << "redo " << edits[i - 1].name;
        EXPECT_EQ(tablesOf(tf), tables[i]) << "redo " << edits[i - 1].name;
    }
    EXPECT_FALSE(history.redo(tf));
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
