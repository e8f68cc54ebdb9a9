#include "canvas_main.h"

#include "canvas_context.h"
#include "text_overlay.h"

MainGLCanvas::MainGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           long style, const wxString& name, const int* attribList)
    : wxGLCanvas(parent, id, attribList, pos, size, style, name), myContext(nullptr)
{
    myContext = new wxGLContext(this);
    // The toolkit may not let the window take a context before it is
    // realised; set-up then runs at the first size or paint event.
    makeContextCurrent();
}

MainGLCanvas::~MainGLCanvas()
{
    if (glReady() && makeContextCurrent())
        releaseGL();
    delete myContext;
    myContext = nullptr;
}

bool MainGLCanvas::makeContextCurrent()
{
    if (!enterCanvasContext(*this, myContext, glReady()))
        return false;
    if (!glReady()) {
        const wxSize s = GetClientSize();
        if (s.GetWidth() > 0 && s.GetHeight() > 0) {
            width = s.GetWidth();
            height = s.GetHeight();
        }
        glViewport(0, 0, width, height);
        setupGL();
        if (onSetUp)
            onSetUp();
    }
    return true;
}

void MainGLCanvas::paintNow()
{
    paintCycle();
    SwapBuffers();
}

void MainGLCanvas::redrawNow()
{
    if (makeContextCurrent())
        paintNow();
}

void MainGLCanvas::OnSize(wxSizeEvent& event)
{
    const wxSize s = GetClientSize();
    width = s.GetWidth();
    height = s.GetHeight();
    if (makeContextCurrent()) {
        resize(width, height);
        paintNow();
    }
    event.Skip();
}

void MainGLCanvas::OnPaint(wxPaintEvent& WXUNUSED(event))
{
    wxPaintDC dc(this);
    if (makeContextCurrent())
        paintNow();
}

void MainGLCanvas::OnEraseBackground(wxEraseEvent& WXUNUSED(event))
{
    // Nothing: the paint cycle clears, erasing would flicker.
}

void MainGLCanvas::OnMouse(wxMouseEvent& event)
{
    if (event.GetEventType() == wxEVT_MOUSEWHEEL) {
        const int delta = event.GetWheelDelta() > 0 ? event.GetWheelDelta() : 120;
        if (event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL &&
            onWheel(static_cast<double>(event.GetWheelRotation()) / delta))
            Refresh(false);
        return;
    }
    MouseInput in;
    in.dragging = event.Dragging();
    in.left = event.LeftIsDown();
    in.middle = event.MiddleIsDown();
    in.right = event.RightIsDown();
    in.x = event.GetX();
    in.y = event.GetY();
    if (onMouse(in))
        Refresh(false);
    event.Skip();
}

void MainGLCanvas::OnChar(wxKeyEvent& event)
{
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        // The window's destructor saves the settings.
        if (wxWindow* top = wxGetTopLevelParent(this))
            top->Destroy();
        break;
    case WXK_LEFT: onArrowKey(ArrowKey::Left); break;
    case WXK_RIGHT: onArrowKey(ArrowKey::Right); break;
    case WXK_UP: onArrowKey(ArrowKey::Up); break;
    case WXK_DOWN: onArrowKey(ArrowKey::Down); break;
    default: event.Skip(); break;
    }
    Refresh(false);
}

// clang-format off
wxBEGIN_EVENT_TABLE(MainGLCanvas, wxGLCanvas)
    EVT_SIZE(MainGLCanvas::OnSize)
    EVT_PAINT(MainGLCanvas::OnPaint)
    EVT_ERASE_BACKGROUND(MainGLCanvas::OnEraseBackground)
    EVT_MOUSE_EVENTS(MainGLCanvas::OnMouse)
    EVT_CHAR(MainGLCanvas::OnChar)
wxEND_EVENT_TABLE()
// clang-format on
