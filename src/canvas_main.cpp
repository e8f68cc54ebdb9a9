#include "canvas_main.h"

#include "includegl.h"
#include "menu_main.h"
#include "volume.h"

MainGLCanvas::MainGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           long style, const wxString& name, const int* attribList)
    : wxGLCanvas(parent, id, attribList, pos, size, style, name), width(640), height(480),
      myContext(nullptr), myGLReady(false)
{
    myContext = new wxGLContext(this);
}

MainGLCanvas::~MainGLCanvas()
{
    delete myContext;
}

bool MainGLCanvas::makeCurrent()
{
    if (!myContext || !IsShownOnScreen())
        return false;
    if (!SetCurrent(*myContext))
        return false;
    if (!myGLReady) {
        myGLReady = true;
        glShadeModel(GL_SMOOTH);
        glClearColor(0, 0, 0, 1);
        glEnable(GL_DEPTH_TEST);
    }
    return true;
}

void MainGLCanvas::paintCycle()
{
    glViewport(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    SwapBuffers();
}

void MainGLCanvas::redrawNow()
{
    if (makeCurrent())
        paintCycle();
}

void MainGLCanvas::OnSize(wxSizeEvent& event)
{
    const wxSize s = GetClientSize();
    width = s.GetWidth();
    height = s.GetHeight();
    redrawNow();
    event.Skip();
}

void MainGLCanvas::OnPaint(wxPaintEvent& WXUNUSED(event))
{
    wxPaintDC dc(this);
    redrawNow();
}

void MainGLCanvas::OnEraseBackground(wxEraseEvent& WXUNUSED(event))
{
    // Nothing: the paint cycle clears, erasing would flicker.
}

void MainGLCanvas::OnChar(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE) {
        if (g_pMainFrame) {
            g_pMainFrame->saveSettingsIfAutosave();
            g_pMainFrame->Destroy();
        }
    } else {
        event.Skip();
    }
    Refresh(false);
}

// clang-format off
wxBEGIN_EVENT_TABLE(MainGLCanvas, wxGLCanvas)
    EVT_SIZE(MainGLCanvas::OnSize)
    EVT_PAINT(MainGLCanvas::OnPaint)
    EVT_ERASE_BACKGROUND(MainGLCanvas::OnEraseBackground)
    EVT_CHAR(MainGLCanvas::OnChar)
wxEND_EVENT_TABLE()
// clang-format on
