// Undo and redo of curve edits: whole snapshots of the four channel curves
// (points, kind and, for free-hand curves, the painted table), so that a
// step comes back exactly.
#ifndef GLIMRA_CURVE_HISTORY_H
#define GLIMRA_CURVE_HISTORY_H

#include "curve.h"

#include <cstddef>
#include <deque>
#include <vector>

class TransferFunction;

// One channel as the editor left it.
struct CurveState
{
    int kind = CURVE_LINEAR;               // interpolation kind
    std::vector<CurvePoint> points;        // control points
    std::vector<unsigned char> table;      // painted table of the free kind; empty for
                                           // the others, whose table follows the points

    bool operator==(const CurveState& o) const;
};

// The four channels red, green, blue, alpha of one moment.
struct CurvesSnapshot
{
    int tableSize = 0;   // entries of every table
    CurveState curves[4];

    bool operator==(const CurvesSnapshot& o) const;
    bool operator!=(const CurvesSnapshot& o) const { return !(*this == o); }
};

CurvesSnapshot takeCurvesSnapshot(const TransferFunction& tf);
// Puts the curves back as they were (no picked points); false, with nothing
// changed, when the table size has changed since. The caller builds the tables.
bool restoreCurvesSnapshot(TransferFunction& tf, const CurvesSnapshot& s);

class CurveHistory
{
public:
    // Keeps at most limit steps to undo (at least 1).
    explicit CurveHistory(size_t limit = 100);

    // The curves as they are before an edit. An edit still open is closed first.
    void begin(const TransferFunction& tf);
    // Closes the open edit: a step is kept when the curves changed, and the
    // steps to redo are dropped then. True when a step was kept.
    bool end(const TransferFunction& tf);
    bool open() const { return myOpen; }

    // The curves go back one step (redo forward one); false when there is
    // none or it no longer fits the tables (the history is then emptied).
    // The caller refreshes, builds and uploads.
    bool undo(TransferFunction& tf);
    bool redo(TransferFunction& tf);

    void clear();
    size_t undoSteps() const { return myUndo.size(); }
    size_t redoSteps() const { return myRedo.size(); }
    size_t limit() const { return myLimit; }

private:
    bool step(TransferFunction& tf, std::deque<CurvesSnapshot>& from, std::deque<CurvesSnapshot>& to);

    size_t myLimit;                       // most steps kept to undo
    std::deque<CurvesSnapshot> myUndo;    // oldest first
    std::deque<CurvesSnapshot> myRedo;    // the next redo last
    CurvesSnapshot myBefore;              // the curves when the open edit began
    bool myOpen = false;                  // an edit has begun and not ended
};

#endif
