// The main OpenGL view.
#ifndef GLIMRA_CANVAS_MAIN_H
#define GLIMRA_CANVAS_MAIN_H

#include "includegl.h" // before wx/glcanvas.h: libepoxy replaces GL/gl.h

#include <wx/glcanvas.h>
#include <wx/wx.h>

class MainGLCanvas : public wxGLCanvas
{
public:
    MainGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                 long style, const wxString& name, const int* attribList);
    ~MainGLCanvas() override;

    // Makes the context current and runs the paint cycle at once.
    void redrawNow();

    int width;  // client size in pixels
    int height;

private:
    bool makeCurrent();
    void paintCycle();

    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnEraseBackground(wxEraseEvent& event);
    void OnChar(wxKeyEvent& event);

    wxGLContext* myContext; // the view's OpenGL context
    bool myGLReady;         // GL set-up has run

    wxDECLARE_EVENT_TABLE();
};

#endif
