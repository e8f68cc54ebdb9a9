// One channel of the transfer function: control points, an interpolation
// kind and the sampled table the transfer function copies into its palettes.
#ifndef GLIMRA_CURVE_H
#define GLIMRA_CURVE_H

// Interpolation kinds; the values are stored in "glimra.ini".
enum CurveKind
{
    CURVE_LINEAR = 0,
    CURVE_BEZIER = 1,
    CURVE_FREE = 2,
};

// A control point: x a table position, y a value 0..255, z always 0.
struct CurvePoint
{
    float x;
    float y;
    float z;
};

class Curve
{
public:
    // A ramp of 256 entries with its two end points, linear.
    Curve();
    ~Curve();
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;

    // Fresh state for n entries: end points (0, 0) and (n - 1, 255), ramp
    // table, linear. n below 2 counts as 2.
    void init(int n);
    // The same as init when n differs from the current size, kind kept.
    void reinit(int n);
    // Back to the two end points and the ramp; kind kept.
    void reset();
    // Recomputes the table from the points (the free kind keeps its painting).
    void evaluate();
    void setView(int offset, int count, int width);

    // Picks the point at table position x, value y (selectedPoint, or -1).
    bool hitTest(int x, int y);
    // The same test without picking; the index or -1.
    int findPoint(int x, int y) const;
    // Mouse press on empty space: a new point, or free-hand paint.
    void addPoint(int x, int y);
    // Mouse motion with a button down.
    void drag(int x, int y);
    // Removes the picked interior point (linear and Bezier only).
    void deleteSelected();
    // Nothing picked any more (a mouse button went up).
    void clearSelection() { selectedPoint = -1; }
    // Coordinates of point i as integers; false outside 0..count - 1.
    bool getPoint(int i, int& x, int& y) const;
    // Typed coordinates. y is clamped; an interior x must lie between the
    // neighbours. On refusal x and y receive the point's coordinates.
    bool setPoint(int i, int& x, int& y);

    // Replaces the control points (palette files). The list is repaired to
    // keep the invariants: x clamped to 0..size - 1 and made non-decreasing,
    // y clamped to 0..255, the first x 0 and the last size - 1, at least two
    // points. name is the registry entry of the new array.
    void setControlPoints(const CurvePoint* points, int n, const char* name);

    // Editor drawing in pixel space (colours set by the caller).
    void drawPoints() const;
    void drawHull() const;
    void drawFunction() const;

    // Pixel x of table position x in the editor.
    float pixelX(float x) const;

    int getKind() const { return kind; }
    void setKind(int k) { kind = k; }
    int getSize() const { return size; }
    int getCount() const { return count; }
    int getSelected() const { return selectedPoint; }
    const unsigned char* table() const { return curve; }
    unsigned char* table() { return curve; }
    const CurvePoint* points() const { return curve_points; }
    int getViewOffset() const { return viewOffset; }
    int getViewCount() const { return viewCount; }
    int getViewWidth() const { return viewWidth; }

private:
    void fillRamp();
    void setEndPoints();
    void evaluateLinear();
    void evaluateBezier();
    // Editor width for the divisions; a collapsed editor counts as 1 pixel.
    int safeViewWidth() const { return viewWidth > 0 ? viewWidth : 1; }
    // Table entries a free-hand step writes: the entries under one pixel,
    // and at least one where a pixel holds less than an entry (a zoomed or
    // widened editor), so that painting always leaves a trace.
    int paintWidth() const { return viewCount / safeViewWidth() > 1 ? viewCount / safeViewWidth() : 1; }
    bool validIndex(int i) const { return curve_points && i >= 0 && i < count; }

    int lastX = 0;                      // last painted table position (free kind)
    int lastY = 0;                      // last painted value (free kind)
    int count = 2;                      // number of control points
    int pointSize = 6;                  // marker size in pixels, also the pick tolerance
    int kind = CURVE_LINEAR;            // CurveKind
    int selectedPoint = -1;             // picked point, -1 none
    unsigned char* curve = nullptr;     // sampled table, size entries
    CurvePoint* curve_points = nullptr; // control points, count entries
    int size = 0;                       // table entries
    int viewOffset = 0;                 // first table entry at the editor's left edge
    int viewCount = 256;                // table entries across the editor
    int viewWidth = 256;                // editor width in pixels
};

#endif
