#include "view_overlay.h"

#include "data_scale.h"
#include "error_handling.h"
#include "text_overlay.h"

#include <algorithm>
#include <cmath>

namespace {

const int kMargin = 8;      // pixels between the view's edge and the overlays
const int kBarStrip = 10;   // width of each of the bar's two strips
const int kLabelSize = 12;  // character height of the labels
const int kChecker = 5;     // side of a cell of the bar's checker
const float kAxisLength = 0.7f; // half the marker's side is 1
const float kLetterAt = 0.88f;

// The letter's raster position sits at the middle of the letter.
void letter(const TextOverlay* font, char c, float x, float y, float z)
{
    const char text[2] = {c, 0};
    glRasterPos3f(x, y, z);
    font->drawAtRaster(text, -0.5f * static_cast<float>(font->textWidth(text)), -0.35f * kLabelSize);
}

// Entry e of a table of n entries in the entries of a scale made for another size.
double scaleEntry(double e, int n, const DataScale& scale)
{
    if (n <= 1 || scale.tableSize == n || scale.tableSize <= 1)
        return e;
    return e * (scale.tableSize - 1) / (n - 1);
}

} // namespace

OverlayLayout overlayLayout(int width, int height)
{
    OverlayLayout l;
    const int side = std::min(width, height);
    l.markerSize = std::max(0, std::min(std::max(side / 5, 40), side - 2 * kMargin));
    l.markerX = width - kMargin - l.markerSize;
    l.markerY = kMargin;
    l.barWidth = 2 * kBarStrip;
    l.barX = l.markerX + (l.markerSize - l.barWidth) / 2;
    l.barY = l.markerY + l.markerSize + 2 * kMargin;
    l.barHeight = std::max(0, std::min(256, height - 3 * kMargin - l.barY));
    return l;
}

void markerAxes(bool oriented, const float direction[9], MarkerAxis out[3])
{
    static const unsigned char colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {64, 128, 255}};
    static const char plain[3] = {'x', 'y', 'z'};
    static const char plus[3] = {'L', 'A', 'S'};
    static const char minus[3] = {'R', 'P', 'I'};
    for (int k = 0; k < 3; ++k) {
        MarkerAxis& a = out[k];
        for (int c = 0; c < 3; ++c) {
            a.colour[c] = colours[k][c];
            a.dir[c] = oriented ? direction[k * 3 + c] : (c == k ? 1.0f : 0.0f);
        }
        // The directions are orthonormal: the patient's axis k in the data's
        // frame is row k. A degenerate row falls back to the data's axis.
        const float n = std::sqrt(a.dir[0] * a.dir[0] + a.dir[1] * a.dir[1] + a.dir[2] * a.dir[2]);
        for (int c = 0; c < 3; ++c)
            a.dir[c] = n > 1e-6f && std::isfinite(n) ? a.dir[c] / n : (c == k ? 1.0f : 0.0f);
        a.plus = oriented ? plus[k] : plain[k];
        a.minus = oriented ? minus[k] : 0;
    }
}

int colourBarEntry(int y, int rows, int tableSize)
{
    if (rows <= 1 || tableSize <= 1)
        return 0;
    return static_cast<int>((static_cast<long>(y) * (tableSize - 1) + (rows - 1) / 2) / (rows - 1));
}

std::vector<BarTick> colourBarTicks(const DataScale& scale, int tableSize)
{
    std::vector<BarTick> ticks;
    const int last = std::max(0, tableSize - 1);
    const double lo = scale.value(scaleEntry(0, tableSize, scale));
    const double hi = scale.value(scaleEntry(last, tableSize, scale));
    ticks.push_back({0.0, scale.format(lo)});
    ticks.push_back({static_cast<double>(last), scale.format(hi)});
    const double range = std::fabs(hi - lo);
    if (!(range > 0.0) || !std::isfinite(range))
        return ticks;
    const double raw = range / 4.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    const double low = std::min(lo, hi), high = std::max(lo, hi);
    for (double v = std::ceil(low / step) * step; v <= high && ticks.size() < 7; v += step) {
        if (v - low < range / 10.0 || high - v < range / 10.0)
            continue;
        // The value's entry in this table, from the scale's own entries.
        const double e = scale.entry(v) * (last > 0 && scale.tableSize > 1 ? double(last) / (scale.tableSize - 1) : 1.0);
        ticks.push_back({e, scale.format(std::fabs(v) < step * 1e-9 ? 0.0 : v)});
    }
    return ticks;
}

ViewOverlay::~ViewOverlay()
{
    // The lists went with the context when releaseGL did not run.
    if (myLabels) {
        myLabels->listBase = 0;
        RELEASE(myLabels);
    }
}

void ViewOverlay::releaseGL()
{
    if (myLabels)
        RELEASE(myLabels);
    myLabelsTried = false;
}

TextOverlay* ViewOverlay::labels()
{
    if (!myLabelsTried) {
        myLabelsTried = true;
        GUARDED_NEW(myLabels, TextOverlay, 0, 0, 1.0f, 1.0f, 1.0f, kLabelSize, "Arial", nullptr);
    }
    return myLabels && myLabels->ready() ? myLabels : nullptr;
}

void ViewOverlay::draw(const OverlayScene& scene)
{
    const bool bar = colourBarVisible && scene.palette && scene.tableSize > 0 && scene.scale;
    const bool marker = markerVisible && scene.rotation;
    if ((!marker && !bar) || scene.width <= 0 || scene.height <= 0)
        return;
    const OverlayLayout l = overlayLayout(scene.width, scene.height);
    static const float black[3] = {0, 0, 0};
    const float* background = scene.background ? scene.background : black;
    const float light = 0.299f * background[0] + 0.587f * background[1] + 0.114f * background[2];
    const float text[3] = {light > 0.5f ? 0.0f : 1.0f, light > 0.5f ? 0.0f : 1.0f, light > 0.5f ? 0.0f : 1.0f};

    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glUseProgram(0);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    GLint units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    for (int u = std::min(units, 8) - 1; u >= 0; --u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glDisable(GL_TEXTURE_1D);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_TEXTURE_3D);
    }
    for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_BLEND, GL_LIGHTING, GL_FOG, GL_CULL_FACE, GL_STENCIL_TEST,
                       GL_LINE_SMOOTH, GL_POLYGON_SMOOTH, GL_SCISSOR_TEST, GL_COLOR_LOGIC_OP})
        glDisable(cap);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_FLAT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();

    if (marker && l.markerSize > 0)
        drawMarker(l, scene);
    if (bar && l.barHeight > 1)
        drawBar(l, scene.palette, scene.tableSize, *scene.scale, text);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glUseProgram(static_cast<GLuint>(program));
    checkGLError("view overlay");
}

void ViewOverlay::drawMarker(const OverlayLayout& l, const OverlayScene& scene)
{
    glViewport(l.markerX, l.markerY, l.markerSize, l.markerSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(scene.rotation);
    MarkerAxis axes[3];
    markerAxes(scene.oriented && scene.direction, scene.direction, axes);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    for (const MarkerAxis& a : axes) {
        glColor3ubv(a.colour);
        glVertex3f(0, 0, 0);
        glVertex3f(kAxisLength * a.dir[0], kAxisLength * a.dir[1], kAxisLength * a.dir[2]);
        if (a.minus) {
            // The other half dimmer, so that the two ends tell apart.
            glColor3ub(a.colour[0] / 2, a.colour[1] / 2, a.colour[2] / 2);
            glVertex3f(0, 0, 0);
            glVertex3f(-kAxisLength * a.dir[0], -kAxisLength * a.dir[1], -kAxisLength * a.dir[2]);
        }
    }
    glEnd();
    const TextOverlay* font = labels();
    if (!font)
        return;
    for (const MarkerAxis& a : axes) {
        glColor3ubv(a.colour);
        letter(font, a.plus, kLetterAt * a.dir[0], kLetterAt * a.dir[1], kLetterAt * a.dir[2]);
        if (!a.minus)
            continue;
        glColor3ub(a.colour[0] / 2, a.colour[1] / 2, a.colour[2] / 2);
        letter(font, a.minus, -kLetterAt * a.dir[0], -kLetterAt * a.dir[1], -kLetterAt * a.dir[2]);
    }
}

void ViewOverlay::drawBar(const OverlayLayout& l, const unsigned char* palette, int tableSize,
                          const DataScale& scale, const float text[3])
{
    glViewport(0, 0, l.barX + l.barWidth + kMargin, l.barY + l.barHeight + kMargin);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, l.barX + l.barWidth + kMargin, 0, l.barY + l.barHeight + kMargin, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const int x0 = l.barX, x1 = l.barX + l.barWidth / 2, x2 = l.barX + l.barWidth;
    auto row = [](int xa, int xb, int y) {
        glVertex2i(xa, y);
        glVertex2i(xb, y);
        glVertex2i(xb, y + 1);
        glVertex2i(xa, y + 1);
    };
    glBegin(GL_QUADS);
    // Left: the colours; right: the colours over their opacity on a checker.
    for (int y = 0; y < l.barHeight; ++y) {
        const unsigned char* p = palette + 4 * colourBarEntry(y, l.barHeight, tableSize);
        glColor3ub(p[0], p[1], p[2]);
        row(x0, x1, l.barY + y);
    }
    for (int y = 0; y < l.barHeight; ++y)
        for (int x = x1; x < x2; x += kChecker) {
            const bool dark = ((y / kChecker) + ((x - x1) / kChecker)) % 2 != 0;
            glColor3ub(dark ? 102 : 204, dark ? 102 : 204, dark ? 102 : 204);
            row(x, std::min(x + kChecker, x2), l.barY + y);
        }
    glEnd();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBegin(GL_QUADS);
    for (int y = 0; y < l.barHeight; ++y) {
        const unsigned char* p = palette + 4 * colourBarEntry(y, l.barHeight, tableSize);
        glColor4ub(p[0], p[1], p[2], p[3]);
        row(x1, x2, l.barY + y);
    }
    glEnd();
    glDisable(GL_BLEND);

    const std::vector<BarTick> ticks = colourBarTicks(scale, tableSize);
    const float last = static_cast<float>(std::max(1, tableSize - 1));
    auto rowOf = [&](double entry) {
        return l.barY + static_cast<int>(std::lround(entry / last * (l.barHeight - 1)));
    };
    glColor3fv(text);
    glBegin(GL_LINES);
    for (const BarTick& t : ticks) {
        const float y = static_cast<float>(rowOf(t.entry)) + 0.5f;
        glVertex2f(static_cast<float>(x0 - 5), y);
        glVertex2f(static_cast<float>(x0), y);
    }
    glEnd();
    const TextOverlay* font = labels();
    if (font) {
        std::vector<int> taken; // rows of the labels drawn, the ends first
        for (const BarTick& t : ticks) {
            const int y = rowOf(t.entry);
            bool crowded = false;
            for (int other : taken)
                crowded = crowded || std::abs(other - y) < kLabelSize + 2;
            if (crowded)
                continue;
            taken.push_back(y);
            const int x = std::max(0, x0 - 7 - font->textWidth(t.text.c_str()));
            glRasterPos2i(x, y);
            font->drawAtRaster(t.text.c_str(), 0.0f, -0.35f * kLabelSize);
        }
    }
}
