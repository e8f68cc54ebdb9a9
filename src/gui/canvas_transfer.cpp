#include "canvas_transfer.h"

#include "canvas_context.h"
#include "canvas_main.h"
#include "histogram.h"
#include "menu_main.h"
#include "menu_transfer.h"
#include "transfer_function.h"

namespace {

const int kAttributes[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 24, 0};

} // namespace

void transferTablesChanged(TransferGLCanvas* view)
{
    if (view) {
        view->followTables();
        view->redraw();
    }
    if (g_pMainFrame && g_pMainFrame->myGLcanvas && g_pMainFrame->myGLcanvas->makeContextCurrent()) {
        if (transfer)
            transfer->upload();
        g_pMainFrame->myGLcanvas->paintNow();
    }
}

TransferGLCanvas::TransferGLCanvas(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, const wxString& name)
    : wxGLCanvas(parent, id, kAttributes, pos, size, 0, name), myContext(nullptr)
{
    width = size.GetWidth() > 0 ? size.GetWidth() : 276;
    height = size.GetHeight() > 0 ? size.GetHeight() : 276;
    myContext = new wxGLContext(this);
    // As with the main view: set-up waits for the first moment the window
    // can take a context.
    makeContextCurrent();
}

TransferGLCanvas::~TransferGLCanvas()
{
    // The textures go with the context.
    delete myContext;
    myContext = nullptr;
}

bool TransferGLCanvas::makeContextCurrent()
{
    if (!enterCanvasContext(*this, myContext, glReady()))
        return false;
    if (!glReady())
        setupGL(transfer);
    return true;
}

bool TransferGLCanvas::paintScene()
{
    if (!makeContextCurrent())
        return false;
    drawScene(transfer, histogram);
    return true;
}

void TransferGLCanvas::redraw()
{
    if (paintScene())
        SwapBuffers();
}

void TransferGLCanvas::followTables()
{
    if (showPalette && transfer && makeContextCurrent())
        uploadTables(*transfer);
}

void TransferGLCanvas::syncCurveViews()
{
    if (transfer)
        transfer->setView(static_cast<int>(firstVisible), static_cast<int>(visibleCount), width);
}

void TransferGLCanvas::OnSize(wxSizeEvent& event)
{
    const wxSize s = GetClientSize();
    if (s.GetWidth() > 0 && s.GetHeight() > 0) {
        width = s.GetWidth();
        height = s.GetHeight();
        syncCurveViews();
        if (makeContextCurrent())
            resize(width, height);
    }
    event.Skip();
}

void TransferGLCanvas::OnPaint(wxPaintEvent& WXUNUSED(event))
{
    wxPaintDC dc(this);
    redraw();
}

void TransferGLCanvas::OnEraseBackground(wxEraseEvent& WXUNUSED(event))
{
    // Nothing: the scene clears, erasing would flicker.
}

void TransferGLCanvas::OnMouse(wxMouseEvent& event)
{
    if (!transfer) {
        event.Skip();
        return;
    }
    EditorMouse e;
    e.press = event.ButtonDown();
    e.release = event.ButtonUp();
    switch (event.GetButton()) {
    case wxMOUSE_BTN_LEFT: e.button = EditorMouse::LEFT; break;
    case wxMOUSE_BTN_MIDDLE: e.button = EditorMouse::MIDDLE; break;
    case wxMOUSE_BTN_RIGHT: e.button = EditorMouse::RIGHT; break;
    default: e.button = EditorMouse::NONE; break;
    }
    e.dragging = event.Dragging();
    e.leftDown = event.LeftIsDown();
    e.x = event.GetX();
    e.y = event.GetY();
    const EditorMouseResult r =
        editorMouse(*transfer, *this, e, myFrame ? &myFrame->history() : nullptr);
    if (myFrame) {
        myFrame->showPosition(r.x, r.y);
        if (r.channel >= 0)
            myFrame->showEditedPoint(r.channel, r.point, r.pointX, r.pointY);
    }
    if (r.edited) {
        // The tables are built from the curves' tables, so those first
        // follow the points just moved.
        transfer->refreshCurves();
        transfer->build(false);
        followTables();
        transferTablesChanged(nullptr);
    }
    Refresh(false);
    event.Skip();
}

void TransferGLCanvas::OnChar(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE && myFrame)
        myFrame->closeWindow();
    else
        event.Skip();
    Refresh(false);
}

void TransferGLCanvas::OnKeyDown(wxKeyEvent& event)
{
    // Ctrl+Z undoes a curve edit; Ctrl+Y and Ctrl+Shift+Z redo it.
    const int key = event.GetKeyCode();
    if (myFrame && event.ControlDown() && (key == 'Z' || key == 'Y')) {
        if (key == 'Y' || event.ShiftDown())
            myFrame->redo();
        else
            myFrame->undo();
        return;
    }
    event.Skip();
}

// clang-format off
wxBEGIN_EVENT_TABLE(TransferGLCanvas, wxGLCanvas)
    EVT_SIZE(TransferGLCanvas::OnSize)
    EVT_PAINT(TransferGLCanvas::OnPaint)
    EVT_ERASE_BACKGROUND(TransferGLCanvas::OnEraseBackground)
    EVT_MOUSE_EVENTS(TransferGLCanvas::OnMouse)
    EVT_CHAR(TransferGLCanvas::OnChar)
    EVT_KEY_DOWN(TransferGLCanvas::OnKeyDown)
wxEND_EVENT_TABLE()
// clang-format on
