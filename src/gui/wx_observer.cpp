#include "wx_observer.h"

#include "canvas_main.h"
#include "load_progress.h"
#include "menu_main.h"
#include "canvas_transfer.h"
#include "menu_transfer.h"

#include <wx/progdlg.h>
#include <wx/wx.h>

#include <new>

namespace {

// The "Load in progress" dialog: 0 to 100, cancellable, application-modal,
// hidden at the maximum, 300 x 130 pixels.
class WxProgressDialog : public ProgressDialog
{
public:
    explicit WxProgressDialog(wxWindow* parent)
        : myDialog(new wxProgressDialog("Load in progress", "", 100, parent,
                                        wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_AUTO_HIDE))
    {
        myDialog->SetSize(300, 130);
    }

    ~WxProgressDialog() override { delete myDialog; }

    bool update(int value, const char* message) override
    {
        return myDialog->Update(value, wxString::FromUTF8(message));
    }

    void close() override { myDialog->Hide(); }

private:
    wxProgressDialog* myDialog; // owned
};

} // namespace

ProgressDialog* WxObserver::openProgress()
{
    return new (std::nothrow) WxProgressDialog(myFrame);
}

void WxObserver::warn(const std::string& text, const std::string& title)
{
    wxMessageBox(wxString::FromUTF8(text.c_str()), wxString::FromUTF8(title.c_str()), wxOK);
}

bool WxObserver::makeViewCurrent()
{
    return myFrame->myGLcanvas && myFrame->myGLcanvas->makeContextCurrent();
}

void WxObserver::repaint()
{
    if (myFrame->myGLcanvas)
        myFrame->myGLcanvas->redrawNow();
}

void WxObserver::repaintLater()
{
    // Queued for the event loop, which draws on the main thread.
    myFrame->CallAfter([this] { repaint(); });
}

void WxObserver::refreshWindows()
{
    myFrame->refreshWindows();
}

int WxObserver::editorViewWidth()
{
    const TransferFrame* f = transferFrame();
    return f && f->myGLcanvas ? f->myGLcanvas->width : 0;
}

void WxObserver::tableSizeChanged(int maxValue)
{
    if (TransferFrame* f = transferFrame())
        f->adaptToTable(maxValue);
}
