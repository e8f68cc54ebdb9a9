#include "transfer_editor.h"

#include "curve_history.h"
#include "data_scale.h"
#include "render_mode.h"
#include "transfer_function.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

int classificationCommandId(int c)
{
    switch (c) {
    case CLASSIFICATION_POST: return ID_TF_POST_CLASSIFICATION;
    case CLASSIFICATION_PRE: return ID_TF_PRE_CLASSIFICATION;
    case CLASSIFICATION_PRE_INTEGRATION: return ID_TF_PRE_INTEGRATION;
    default: return 0;
    }
}

int classificationForCommandId(int id)
{
    switch (id) {
    case ID_TF_POST_CLASSIFICATION: return CLASSIFICATION_POST;
    case ID_TF_PRE_CLASSIFICATION: return CLASSIFICATION_PRE;
    case ID_TF_PRE_INTEGRATION: return CLASSIFICATION_PRE_INTEGRATION;
    case ID_TF_PRE_INTEGRATION_FILE: return CLASSIFICATION_PRE_INTEGRATION_FILE;
    default: return 0;
    }
}

int channelForCommandId(int id)
{
    switch (id) {
    case ID_TF_RED: return CHANNEL_RED;
    case ID_TF_GREEN: return CHANNEL_GREEN;
    case ID_TF_BLUE: return CHANNEL_BLUE;
    case ID_TF_ALPHA: return CHANNEL_ALPHA;
    default: return -1;
    }
}

int curveKindForSelection(int selection)
{
    return selection == 0 ? CURVE_LINEAR : selection == 2 ? CURVE_FREE : CURVE_BEZIER;
}

int selectionForCurveKind(int kind)
{
    return kind == CURVE_LINEAR || kind == CURVE_FREE ? kind : CURVE_BEZIER;
}

// ---- mapping ----

int EditorMapping::tableX(int mouseX) const
{
    // Multiplied before dividing, in double: a pixel that shows a whole
    // table position maps to exactly that position.
    const double w = width > 0 ? width : 1;
    const double x = static_cast<double>(mouseX) * visibleCount / w + firstVisible;
    // Far outside any table: keep the conversion defined.
    if (!(x > -1e9 && x < 1e9))
        return x > 0 ? 1000000000 : -1000000000;
    return static_cast<int>(x);
}

int EditorMapping::valueY(int mouseY) const
{
    return height - mouseY - 10;
}

float EditorMapping::pixelX(float x) const
{
    const float shown = visibleCount != 0.0f ? visibleCount : 1.0f;
    return (x - firstVisible) / shown * static_cast<float>(width);
}

// ---- mouse ----

EditorMouseResult editorMouse(TransferFunction& tf, const EditorMapping& map, const EditorMouse& e,
                              CurveHistory* history)
{
    EditorMouseResult r;
    r.x = map.tableX(e.x);
    r.y = map.valueY(e.y);
    if (e.press && history)
        history->begin(tf);

    if (e.dragging && e.leftDown) {
        if (history && !history->open())
            history->begin(tf); // the press happened elsewhere
        tf.drag(r.x, r.y);
        r.edited = true;
        return r;
    }
    if (e.press && e.button == EditorMouse::LEFT) {
        for (int c = 0; c < 4 && r.channel < 0; ++c) {
            if (!tf.isSelected(c))
                continue;
            const int k = tf.curve(c).findPoint(r.x, r.y);
            if (k >= 0 && tf.curve(c).getPoint(k, r.pointX, r.pointY)) {
                r.channel = c;
                r.point = k;
            }
        }
        if (!tf.hitTest(r.x, r.y))
            tf.addPoint(r.x, r.y);
    }
    if (e.release) {
        for (int c = 0; c < 4; ++c)
            tf.curve(c).clearSelection();
    }
    if (e.press && e.button == EditorMouse::RIGHT) {
        for (int c = 0; c < 4; ++c) {
            Curve& curve = tf.curve(c);
            if (curve.hitTest(r.x, r.y) && tf.isSelected(c))
                curve.deleteSelected();
        }
    }
    if (e.release && history)
        history->end(tf);
    r.edited = e.press || e.release;
    return r;
}

// ---- zoom and pan ----

void ZoomPan::reset(int tableSize)
{
    myTableSize = tableSize > 1 ? tableSize : 2;
    myShown = myTableSize;
    myFirst = 0;
}

int ZoomPan::shownMin() const
{
    return myTableSize < 64 ? myTableSize : 64;
}

void ZoomPan::setShown(int s)
{
    const int lo = shownMin();
    myShown = s < lo ? lo : (s > myTableSize ? myTableSize : s);
    setFirst(myFirst);
}

void ZoomPan::setFirst(int p)
{
    const int hi = firstMax();
    myFirst = p < 0 ? 0 : (p > hi ? hi : p);
}

void ZoomPan::fitTo(const std::vector<uint64_t>& counts)
{
    reset(myTableSize);
    const int n = std::min(myTableSize, static_cast<int>(counts.size()));
    int first = -1, last = -1;
    for (int e = 0; e < n; ++e)
        if (counts[e]) {
            first = first < 0 ? e : first;
            last = e;
        }
    if (first < 0)
        return;
    // The last used entry inside the view, not at its edge.
    setShown(last + 2 - first);
    setFirst(first);
    if (myFirst + myShown < last + 1)
        setFirst(last + 1 - myShown);
}

void applyEditorView(const ZoomPan& zoom, EditorMapping& map, TransferFunction* tf)
{
    map.firstVisible = static_cast<float>(zoom.viewOffset());
    map.visibleCount = static_cast<float>(zoom.viewCount());
    if (tf)
        tf->setView(zoom.viewOffset(), zoom.viewCount(), map.width);
}

// ---- typed points ----

bool parseTypedInteger(const std::string& text, int& value)
{
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    // Embedded NULs or anything after the number make it no number.
    if (*end != '\0' || static_cast<size_t>(end - s) != text.size())
        return false;
    value = static_cast<int>(v);
    return true;
}

TypedPoint applyTypedPoint(TransferFunction& tf, int channel, int point, const std::string& xText,
                           const std::string& yText, CurveHistory* history)
{
    TypedPoint t;
    if (channel < 0 || channel > 3)
        return t;
    Curve& curve = tf.curve(channel);
    if (!curve.getPoint(point, t.x, t.y))
        return t; // the point went away (deleted, undone, table re-sized)
    int x = 0;
    int y = 0;
    if (!parseTypedInteger(xText, x) || !parseTypedInteger(yText, y)) {
        t.outcome = TypedPoint::NOT_NUMBERS;
        return t;
    }
    if (history)
        history->begin(tf);
    const bool ok = curve.setPoint(point, x, y);
    if (history)
        history->end(tf);
    t.outcome = ok ? TypedPoint::ACCEPTED : TypedPoint::REFUSED;
    t.x = x;
    t.y = y;
    return t;
}

TypedPoint applyTypedValue(TransferFunction& tf, int channel, int point, const std::string& xText,
                           const std::string& yText, const DataScale& scale, CurveHistory* history,
                           std::string* shownX)
{
    int entry = 0;
    TypedPoint t;
    if (!scale.parse(xText, &entry)) {
        // Not a number: nothing changes, the boxes show the point again.
        t = applyTypedPoint(tf, channel, point, "x", yText, nullptr);
    } else {
        t = applyTypedPoint(tf, channel, point, std::to_string(entry), yText, history);
    }
    if (shownX)
        *shownX = scale.format(scale.value(t.x));
    return t;
}

// ---- actions ----

bool readTransferFile(TransferFunction& tf, const std::string& path, CurveHistory* history,
                      std::string* why)
{
    if (history)
        history->begin(tf);
    const bool ok = tf.readFile(path, why);
    if (ok) {
        tf.refreshCurves();
        tf.build(true);
    }
    if (history)
        history->end(tf);
    return ok;
}

void resetTransferCurves(TransferFunction& tf, bool all, CurveHistory* history)
{
    if (history)
        history->begin(tf);
    if (all)
        tf.resetAll();
    else
        tf.resetSelected();
    tf.refreshCurves();
    tf.build(all);
    if (history)
        history->end(tf);
}

void setTransferCurveKind(TransferFunction& tf, int kind, CurveHistory* history)
{
    if (history)
        history->begin(tf);
    tf.setCurveKind(kind);
    tf.refreshCurves();
    tf.build(true);
    if (history)
        history->end(tf);
}

void selectTransferClassification(TransferFunction* tf, int c)
{
    RenderMode::instance().setClassification(c);
    if (tf)
        tf->build(true);
}
