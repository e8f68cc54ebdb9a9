// The transfer-function editor view without the toolkit: its OpenGL set-up,
// its copies of the lookup tables and the picture (histogram, lookup table,
// grid, control polygons, curves and points) in fixed-function OpenGL.
// TransferGLCanvas wraps it with a context and events; tests draw it on an
// offscreen context.
#ifndef GLIMRA_EDITOR_VIEW_H
#define GLIMRA_EDITOR_VIEW_H

#include "includegl.h"
#include "transfer_editor.h"

class Histogram;
class TransferFunction;

class EditorView : public EditorMapping
{
public:
    EditorView() = default;
    EditorView(const EditorView&) = delete;
    EditorView& operator=(const EditorView&) = delete;

    // Once, with the view's context current: fixed state, projection and
    // the two table textures, filled from tf when there is one.
    void setupGL(const TransferFunction* tf);
    bool glReady() const { return myGLReady; }
    // Viewport and projection for a client area of w x h pixels (context current).
    void resize(int w, int h);
    // The table the current classification uses goes into this view's
    // texture (context current).
    void uploadTables(const TransferFunction& tf);
    // First table position and number of entries across the view.
    void setView(float first, float count);
    // The picture, back buffer, no swap (context current). The curves
    // re-evaluate their tables on the way.
    void drawScene(TransferFunction* tf, const Histogram& histogram);

    bool showPalette = false; // the lookup table behind the curves
    bool showGrid = true;     // the grid
    GLuint preintTex = 0;     // copy of the pre-integration table
    GLuint paletteTex = 0;    // copy of the palette

private:
    void drawHistogram(const Histogram& histogram, int tableSize) const;
    void drawPalette() const;
    void drawGrid(int tableSize) const;
    void drawCurves(TransferFunction& tf) const;

    bool myGLReady = false;   // set-up has run
};

#endif
