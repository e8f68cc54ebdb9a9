// The transfer-function editor view: a thin toolkit shell around EditorView
// (its own context, the mouse and key events, the buffer swap).
#ifndef GLIMRA_CANVAS_TRANSFER_H
#define GLIMRA_CANVAS_TRANSFER_H

#include "editor_view.h"
#include "includegl.h" // before wx/glcanvas.h: libepoxy replaces GL/gl.h

#include <wx/glcanvas.h>
#include <wx/wx.h>

class TransferFrame;

// Fields the window reads and writes (from EditorView): width, height,
// showPalette, showGrid, preintTex, paletteTex, visibleCount, firstVisible.
class TransferGLCanvas : public wxGLCanvas, public EditorView
{
public:
    TransferGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                     const wxString& name = "GLCanvas");
    ~TransferGLCanvas() override;

    // Makes the view's context current, running the OpenGL set-up the first
    // time; false while the window cannot take a context yet.
    bool makeContextCurrent();
    // Makes the context current, draws and swaps.
    void redraw();
    // The picture into the back buffer, no swap (context made current).
    bool paintScene();
    // This view's copy of the tables follows the transfer function, when it
    // shows them.
    void followTables();
    // The curves' own views take this view's mapping and width.
    void syncCurveViews();

    TransferFrame* myFrame = nullptr; // the window whose boxes show the cursor and the edited point

private:
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnKeyDown(wxKeyEvent& event);

    wxGLContext* myContext; // the view's own OpenGL context, shared with no other

    wxDECLARE_EVENT_TABLE();
};

// Every view of the transfer function after its tables changed: the
// editor's copy (when shown) and the editor repainted, the main view's
// textures uploaded and the main view repainted at once. view may be null.
void transferTablesChanged(TransferGLCanvas* view);

#endif
