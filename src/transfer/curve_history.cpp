#include "curve_history.h"

#include "transfer_function.h"

#include <algorithm>
#include <cstring>

bool CurveState::operator==(const CurveState& o) const
{
    if (kind != o.kind || table != o.table || points.size() != o.points.size())
        return false;
    for (size_t k = 0; k < points.size(); ++k)
        if (points[k].x != o.points[k].x || points[k].y != o.points[k].y)
            return false;
    return true;
}

bool CurvesSnapshot::operator==(const CurvesSnapshot& o) const
{
    if (tableSize != o.tableSize)
        return false;
    for (int c = 0; c < 4; ++c)
        if (!(curves[c] == o.curves[c]))
            return false;
    return true;
}

CurvesSnapshot takeCurvesSnapshot(const TransferFunction& tf)
{
    CurvesSnapshot s;
    s.tableSize = tf.getTableSize();
    for (int c = 0; c < 4; ++c) {
        const Curve& curve = tf.curve(c);
        CurveState& state = s.curves[c];
        state.kind = curve.getKind();
        if (curve.points())
            state.points.assign(curve.points(), curve.points() + curve.getCount());
        if (curve.table() && curve.getKind() == CURVE_FREE)
            state.table.assign(curve.table(), curve.table() + curve.getSize());
    }
    return s;
}

bool restoreCurvesSnapshot(TransferFunction& tf, const CurvesSnapshot& s)
{
    if (s.tableSize != tf.getTableSize())
        return false;
    for (int c = 0; c < 4; ++c)
        if (tf.curve(c).getSize() != s.tableSize || s.curves[c].points.size() < 2 ||
            (s.curves[c].kind == CURVE_FREE &&
             s.curves[c].table.size() != static_cast<size_t>(s.tableSize)))
            return false;
    for (int c = 0; c < 4; ++c) {
        Curve& curve = tf.curve(c);
        const CurveState& state = s.curves[c];
        curve.setControlPoints(state.points.data(), static_cast<int>(state.points.size()), "p");
        curve.setKind(state.kind);
        if (curve.table() && !state.table.empty())
            std::memcpy(curve.table(), state.table.data(), state.table.size());
        else
            curve.evaluate();
    }
    return true;
}

CurveHistory::CurveHistory(size_t limit) : myLimit(std::max<size_t>(limit, 1)) {}

void CurveHistory::begin(const TransferFunction& tf)
{
    if (myOpen)
        end(tf);
    myBefore = takeCurvesSnapshot(tf);
    myOpen = true;
}

bool CurveHistory::end(const TransferFunction& tf)
{
    if (!myOpen)
        return false;
    myOpen = false;
    if (takeCurvesSnapshot(tf) == myBefore)
        return false;
    myUndo.push_back(std::move(myBefore));
    while (myUndo.size() > myLimit)
        myUndo.pop_front();
    myRedo.clear();
    return true;
}

bool CurveHistory::step(TransferFunction& tf, std::deque<CurvesSnapshot>& from,
                        std::deque<CurvesSnapshot>& to)
{
    if (myOpen)
        end(tf);
    if (from.empty())
        return false;
    CurvesSnapshot now = takeCurvesSnapshot(tf);
    if (!restoreCurvesSnapshot(tf, from.back())) {
        // The tables were re-sized by a load: nothing kept fits any more.
        clear();
        return false;
    }
    from.pop_back();
    to.push_back(std::move(now));
    return true;
}

bool CurveHistory::undo(TransferFunction& tf)
{
    return step(tf, myUndo, myRedo);
}

bool CurveHistory::redo(TransferFunction& tf)
{
    return step(tf, myRedo, myUndo);
}

void CurveHistory::clear()
{
    myUndo.clear();
    myRedo.clear();
    myOpen = false;
}
