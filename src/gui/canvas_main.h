// The main OpenGL view: a thin toolkit shell around MainView (the context,
// the events, the buffer swap).
#ifndef GLIMRA_CANVAS_MAIN_H
#define GLIMRA_CANVAS_MAIN_H

#include "includegl.h" // before wx/glcanvas.h: libepoxy replaces GL/gl.h
#include "main_view.h"

#include <functional>

#include <wx/glcanvas.h>
#include <wx/wx.h>

// Fields others read and write (from MainView): width, height,
// rotX, rotY, planeShift, deltaRotation, speedup, font.
class MainGLCanvas : public wxGLCanvas, public MainView
{
public:
    MainGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                 long style, const wxString& name, const int* attribList);
    ~MainGLCanvas() override;

    // Makes the context current and runs the paint cycle at once.
    void redrawNow();
    // Makes the view's context current, running the OpenGL set-up the first
    // time; false while the window cannot take a context yet.
    bool makeContextCurrent();
    // Paint cycle and buffer swap, context already current.
    void paintNow();

    std::function<void()> onSetUp; // run once the OpenGL set-up has run (may be empty)

private:
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnChar(wxKeyEvent& event);

    wxGLContext* myContext; // the view's OpenGL context

    wxDECLARE_EVENT_TABLE();
};

#endif
