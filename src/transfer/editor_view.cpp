#include "editor_view.h"

#include "histogram.h"
#include "render_mode.h"
#include "transfer_function.h"

#include <algorithm>
#include <cmath>

namespace {

bool preIntegrationNow()
{
    const int c = RenderMode::instance().getClassification();
    return c == CLASSIFICATION_PRE_INTEGRATION || c == CLASSIFICATION_PRE_INTEGRATION_FILE;
}

void specifyTexture(GLuint texture, int w, int h, const unsigned char* pixels)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, textureFilter);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, textureFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    checkGLError("glTexImage2D");
}

void setProjection(int w, int h)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

} // namespace

void EditorView::setupGL(const TransferFunction* tf)
{
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    setProjection(width, height);

    glGenTextures(1, &preintTex);
    glGenTextures(1, &paletteTex);
    const int n = tf ? tf->getTableSize() : 1;
    static const unsigned char empty[4] = {0, 0, 0, 0};
    const bool tables = tf && tf->getPreintTable() && tf->getPalette();
    specifyTexture(preintTex, tables ? n : 1, tables ? n : 1, tables ? tf->getPreintTable() : empty);
    specifyTexture(paletteTex, tables ? n : 1, 1, tables ? tf->getPalette() : empty);
    myGLReady = true;
}

void EditorView::resize(int w, int h)
{
    width = w;
    height = h;
    setProjection(w, h);
}

void EditorView::uploadTables(const TransferFunction& tf)
{
    // Every classification's table goes to a texture here, pre-classification
    // included: this copy is for looking at, not for the shared palette.
    const int n = tf.getTableSize();
    if (preIntegrationNow()) {
        if (!tf.getPreintTable())
            return;
        glBindTexture(GL_TEXTURE_2D, preintTex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     tf.getPreintTable());
    } else {
        if (!tf.getPalette())
            return;
        glBindTexture(GL_TEXTURE_2D, paletteTex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, tf.getPalette());
    }
    checkGLError("glTexImage2D");
}

void EditorView::setView(float first, float count)
{
    firstVisible = first;
    visibleCount = count;
}

void EditorView::drawScene(TransferFunction* tf, const Histogram& histogram)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const int tableSize = tf ? tf->getTableSize() : 256;
    // The lookup table first, so that the histogram stays visible over it.
    if (showPalette)
        drawPalette();
    drawHistogram(histogram, tableSize);
    if (showGrid)
        drawGrid(tableSize);
    if (tf)
        drawCurves(*tf);
}

void EditorView::drawHistogram(const Histogram& histogram, int tableSize) const
{
    const int bins = histogram.getBins();
    if (!histogram.getHist() || bins <= 0 || tableSize <= 0 || !(visibleCount > 0.0f))
        return;
    // The bins go under the table positions they count, whatever part of
    // the table is shown: in bin units the view starts at first and spans
    // count bins; the histogram draws from the first whole bin inside.
    const float perEntry = static_cast<float>(bins) / static_cast<float>(tableSize);
    const float first = firstVisible * perEntry;
    const float count = visibleCount * perEntry;
    const float from = std::max(0.0f, std::ceil(first));
    if (from >= static_cast<float>(bins))
        return;
    const float drawn = std::min(count - (from - first), static_cast<float>(bins) - from);
    if (!(drawn >= 1.0f))
        return;
    glPushMatrix();
    glTranslatef(0.5f + (from - first) / count * static_cast<float>(width), 0.5f, 0.0f);
    glScalef(drawn / count, 1.0f, 1.0f);
    histogram.draw(width, from, drawn);
    glPopMatrix();
}

void EditorView::drawPalette() const
{
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, preIntegrationNow() ? preintTex : paletteTex);
    glColor3f(1.0f, 1.0f, 1.0f);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(11.0f, 11.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(w - 11.0f, 11.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(w - 11.0f, h - 11.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(11.0f, h - 11.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

void EditorView::drawGrid(int tableSize) const
{
    // Lines through pixel centres, so that each covers exactly one row or column.
    glPushMatrix();
    glTranslatef(0.5f, 0.5f, 0.0f);
    glColor3f(0.4f, 0.4f, 0.4f);
    glBegin(GL_LINES);
    for (int i = 0; i <= 8; ++i) {
        const float x = pixelX(static_cast<float>((tableSize / 8) * i));
        glVertex2f(x, 5.0f);
        glVertex2f(x, static_cast<float>(height - 5));
        const float y = static_cast<float>(32 * i + 10);
        glVertex2f(5.0f, y);
        glVertex2f(static_cast<float>(width - 5), y);
    }
    glEnd();
    glPopMatrix();
}

void EditorView::drawCurves(TransferFunction& tf) const
{
    static const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    glPushMatrix();
    glTranslatef(0.5f, 0.5f, 0.0f);
    if (tf.getShowHull()) {
        glColor3f(0.3f, 0.3f, 0.3f);
        for (int c = 0; c < 4; ++c)
            tf.curve(c).drawHull();
    }
    tf.refreshCurves();
    if (tf.getShowFunction()) {
        for (int c = 0; c < 4; ++c) {
            glColor3fv(colours[c]);
            tf.curve(c).drawFunction();
            tf.curve(c).drawPoints();
        }
    }
    glPopMatrix();
}
