#include "curve.h"

#include "error_handling.h"
#include "includegl.h"

#include <algorithm>
#include <cmath>

namespace {

// Value stored in the table: truncated, inside 0..255.
unsigned char tableValue(float v)
{
    if (!(v > 0.0f)) // negative and NaN
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<unsigned char>(static_cast<int>(v));
}

int clampInt(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

float clampFloat(float v, float lo, float hi)
{
    if (!(v >= lo)) // below and NaN
        return lo;
    return v > hi ? hi : v;
}

} // namespace

Curve::Curve()
{
    init(256);
}

Curve::~Curve()
{
    if (curve)
        RELEASE_ARRAY(curve);
    if (curve_points)
        RELEASE_ARRAY(curve_points);
}

void Curve::init(int n)
{
    if (n < 2)
        n = 2;
    if (curve && size != n)
        RELEASE_ARRAY(curve);
    if (!curve)
        GUARDED_ARRAY(curve, unsigned char, n);
    if (curve_points)
        RELEASE_ARRAY(curve_points);
    GUARDED_ARRAY(curve_points, CurvePoint, 2);

    lastX = 0;
    lastY = 0;
    count = curve_points ? 2 : 0;
    pointSize = 6;
    kind = CURVE_LINEAR;
    selectedPoint = -1;
    size = n;
    viewOffset = 0;
    viewCount = 256;
    viewWidth = 256;
    setEndPoints();
    fillRamp();
}

void Curve::reinit(int n)
{
    if (n < 2)
        n = 2;
    if (n == size)
        return;
    const int keptKind = kind;
    init(n);
    kind = keptKind;
}

void Curve::reset()
{
    if (!curve_points || count != 2) {
        if (curve_points)
            RELEASE_ARRAY(curve_points);
        GUARDED_ARRAY(curve_points, CurvePoint, 2);
    }
    count = curve_points ? 2 : 0;
    selectedPoint = -1;
    setEndPoints();
    fillRamp();
}

void Curve::setEndPoints()
{
    if (!curve_points)
        return;
    curve_points[0] = {0.0f, 0.0f, 0.0f};
    curve_points[1] = {static_cast<float>(size - 1), 255.0f, 0.0f};
}

void Curve::fillRamp()
{
    if (!curve)
        return;
    for (int i = 0; i < size; ++i)
        curve[i] = static_cast<unsigned char>(static_cast<int>(static_cast<float>(i) / size * 255.0f));
}

void Curve::evaluate()
{
    if (!curve || !curve_points || count < 1)
        return;
    if (kind == CURVE_LINEAR)
        evaluateLinear();
    else if (kind == CURVE_BEZIER)
        evaluateBezier();
    // The free kind keeps what was painted.
}

void Curve::evaluateLinear()
{
    for (int i = 0; i + 1 < count; ++i) {
        const float x0 = curve_points[i].x;
        const float y0 = curve_points[i].y;
        const float dx = curve_points[i + 1].x - x0;
        const float dy = curve_points[i + 1].y - y0;
        if (dx == 0.0f) {
            const int at = static_cast<int>(x0);
            if (at >= 0 && at < size)
                curve[at] = tableValue(y0);
            continue;
        }
        // Single precision and a running sum, as the tables always were.
        float s = 0.0f;
        for (int j = 0; static_cast<float>(j) < dx; ++j) {
            const int at = static_cast<int>(static_cast<float>(j) + x0);
            if (at >= 0 && at < size)
                curve[at] = tableValue(y0 + s);
            s += dy / dx;
        }
    }
    curve[size - 1] = tableValue(curve_points[count - 1].y);
}

void Curve::evaluateBezier()
{
    CurvePoint* p2 = nullptr;
    GUARDED_ARRAY_AS(p2, "p2", CurvePoint, count);
    if (!p2)
        return;
    const float last = static_cast<float>(size - 1);
    for (int i = 0; i < size; ++i) {
        const float t = static_cast<float>(i) / last;
        for (int k = 0; k < count; ++k)
            p2[k].y = curve_points[k].y;
        // de Casteljau on the values; the x of the curve point is not used.
        for (int n = count; n >= 2; --n)
            for (int k = 0; k <= n - 2; ++k)
                p2[k].y = p2[k].y + (p2[k + 1].y - p2[k].y) * t;
        curve[i] = tableValue(p2[0].y);
    }
    RELEASE_ARRAY(p2);
}

void Curve::setView(int offset, int n, int width)
{
    viewOffset = offset;
    viewCount = n;
    viewWidth = width;
}

int Curve::findPoint(int x, int y) const
{
    if (!curve_points)
        return -1;
    const int hx = ((viewCount / safeViewWidth()) * pointSize) / 2;
    const int hy = pointSize / 2;
    for (int k = 0; k < count; ++k) {
        const CurvePoint& p = curve_points[k];
        if (p.x - hx <= x && x <= p.x + hx && p.y - hy <= y && y <= p.y + hy)
            return k;
    }
    return -1;
}

bool Curve::hitTest(int x, int y)
{
    selectedPoint = findPoint(x, y);
    return selectedPoint >= 0;
}

void Curve::addPoint(int x, int y)
{
    if (x < 0 || x >= size || y < 0 || y > 255 || !curve)
        return;
    if (kind == CURVE_FREE) {
        const int w = paintWidth();
        for (int m = 0; m < w && x + m < size; ++m)
            curve[x + m] = static_cast<unsigned char>(y);
        lastX = x;
        lastY = y;
        return;
    }
    if (!curve_points || count < 2)
        return;
    int k = 1;
    while (k < count - 1 && static_cast<float>(x) > curve_points[k].x)
        ++k;
    CurvePoint* p = nullptr;
    GUARDED_ARRAY(p, CurvePoint, count + 1);
    if (!p)
        return;
    std::copy(curve_points, curve_points + k, p);
    p[k] = {static_cast<float>(x), static_cast<float>(y), 0.0f};
    std::copy(curve_points + k, curve_points + count, p + k + 1);
    RELEASE_ARRAY(curve_points);
    curve_points = p;
    ++count;
    selectedPoint = -1;
}

void Curve::drag(int x, int y)
{
    if (x < 0 || x >= size || !curve)
        return;
    y = clampInt(y, 0, 255);
    if (kind == CURVE_FREE) {
        const int w = paintWidth();
        const int dx = x - lastX;
        auto put = [this](long at, int value) {
            if (at >= 0 && at < size)
                curve[at] = static_cast<unsigned char>(clampInt(value, 0, 255));
        };
        if (dx == 0) {
            for (int m = 0; m < w; ++m)
                put(static_cast<long>(x) + m, y);
        } else {
            const float slope = static_cast<float>(y - lastY) / static_cast<float>(dx);
            const int from = dx > 0 ? 0 : dx;
            const int to = dx > 0 ? dx : 0; // exclusive
            for (int j = from; j < to; ++j) {
                const int value = lastY + static_cast<int>(static_cast<float>(j) * slope);
                for (int m = 0; m < w; ++m)
                    put(static_cast<long>(lastX) + static_cast<long>(j) * w + m, value);
            }
        }
        lastX = x;
        lastY = y;
        return;
    }
    if (!validIndex(selectedPoint))
        return;
    CurvePoint& p = curve_points[selectedPoint];
    if (selectedPoint == 0) {
        p.x = 0.0f;
        p.y = static_cast<float>(y);
    } else if (selectedPoint == count - 1) {
        p.x = static_cast<float>(size - 1);
        p.y = static_cast<float>(y);
    } else if (curve_points[selectedPoint - 1].x <= x && x <= curve_points[selectedPoint + 1].x) {
        p.x = static_cast<float>(x);
        p.y = static_cast<float>(y);
    }
}

void Curve::deleteSelected()
{
    if (kind == CURVE_FREE || !validIndex(selectedPoint) || selectedPoint == 0 ||
        selectedPoint == count - 1 || count <= 2)
        return;
    CurvePoint* p = nullptr;
    GUARDED_ARRAY(p, CurvePoint, count - 1);
    if (!p)
        return;
    std::copy(curve_points, curve_points + selectedPoint, p);
    std::copy(curve_points + selectedPoint + 1, curve_points + count, p + selectedPoint);
    RELEASE_ARRAY(curve_points);
    curve_points = p;
    --count;
    selectedPoint = -1;
}

bool Curve::getPoint(int i, int& x, int& y) const
{
    if (!validIndex(i))
        return false;
    x = static_cast<int>(curve_points[i].x);
    y = static_cast<int>(curve_points[i].y);
    return true;
}

bool Curve::setPoint(int i, int& x, int& y)
{
    if (!validIndex(i))
        return false;
    y = clampInt(y, 0, 255);
    CurvePoint& p = curve_points[i];
    if (i == 0 || i == count - 1) {
        x = static_cast<int>(p.x); // the end points keep their position
    } else if (!(curve_points[i - 1].x <= x && x <= curve_points[i + 1].x)) {
        x = static_cast<int>(p.x);
        y = static_cast<int>(p.y);
        return false;
    }
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    return true;
}

void Curve::setControlPoints(const CurvePoint* points, int n, const char* name)
{
    const int kept = n >= 2 ? n : 2;
    CurvePoint* p = nullptr;
    GUARDED_ARRAY_AS(p, name, CurvePoint, kept);
    if (!p)
        return;
    const float last = static_cast<float>(size - 1);
    if (n >= 2) {
        for (int k = 0; k < n; ++k) {
            // Whole positions and values inside the table, as the editor keeps them.
            p[k].x = std::trunc(clampFloat(points[k].x, 0.0f, last));
            p[k].y = std::trunc(clampFloat(points[k].y, 0.0f, 255.0f));
            p[k].z = 0.0f;
        }
        std::stable_sort(p, p + n, [](const CurvePoint& a, const CurvePoint& b) { return a.x < b.x; });
    } else {
        // One point (or none) becomes a flat line at its value.
        const float y = n == 1 ? std::trunc(clampFloat(points[0].y, 0.0f, 255.0f)) : 0.0f;
        p[0] = {0.0f, y, 0.0f};
        p[1] = {last, n == 1 ? y : 255.0f, 0.0f};
    }
    p[0].x = 0.0f;
    p[kept - 1].x = last;
    if (curve_points)
        RELEASE_ARRAY(curve_points);
    curve_points = p;
    count = kept;
    selectedPoint = -1;
}

float Curve::pixelX(float x) const
{
    const float shown = viewCount != 0 ? static_cast<float>(viewCount) : 1.0f;
    return (x - static_cast<float>(viewOffset)) / shown * static_cast<float>(viewWidth);
}

void Curve::drawPoints() const
{
    if (kind == CURVE_FREE || !curve_points)
        return;
    glPointSize(static_cast<float>(pointSize));
    glBegin(GL_POINTS);
    for (int k = 0; k < count; ++k)
        glVertex2f(pixelX(curve_points[k].x), curve_points[k].y + 10.0f);
    glEnd();
    glPointSize(1.0f);
}

void Curve::drawHull() const
{
    if (kind == CURVE_FREE || !curve_points)
        return;
    glBegin(GL_LINE_STRIP);
    for (int k = 0; k < count; ++k)
        glVertex2f(pixelX(curve_points[k].x), curve_points[k].y + 10.0f);
    glEnd();
}

void Curve::drawFunction() const
{
    if (!curve)
        return;
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < size; ++i)
        glVertex2f(pixelX(static_cast<float>(i)), static_cast<float>(curve[i]) + 10.0f);
    glEnd();
}
