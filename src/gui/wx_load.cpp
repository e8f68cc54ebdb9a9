#include "wx_load.h"

#include "canvas_main.h"
#include "load.h"
#include "load_progress.h"
#include "menu_main.h"
#include "volume.h"

#include <wx/progdlg.h>
#include <wx/wx.h>

namespace {

// The "Load in progress" dialog: 0 to 100, cancellable, application-modal,
// hidden at the maximum, 300 x 130 pixels.
class WxProgressDialog : public ProgressDialog
{
public:
    WxProgressDialog()
        : myDialog(new wxProgressDialog("Load in progress", "", 100, g_pMainFrame,
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

ProgressDialog* makeDialog()
{
    return new (std::nothrow) WxProgressDialog;
}

} // namespace

bool loadDataWithDialog(const std::string& path, std::string* dataInfo)
{
    setProgressDialogFactory(makeDialog);
    // The volume's textures belong in the main view's context, whichever
    // view (the transfer-function editor has its own) painted last.
    if (g_pMainFrame && g_pMainFrame->myGLcanvas)
        g_pMainFrame->myGLcanvas->makeContextCurrent();
    std::string scratch;
    return loadData(path, volume, dataInfo ? *dataInfo : scratch);
}

bool loadMaskWithDialog(const std::string& path)
{
    setProgressDialogFactory(makeDialog);
    // The mask texture belongs with the data's, in the main view's context
    // (the transfer-function editor may have made its own current).
    if (g_pMainFrame && g_pMainFrame->myGLcanvas)
        g_pMainFrame->myGLcanvas->makeContextCurrent();
    return loadMask(path, volume);
}

void installMessageBoxes()
{
    setMessageBoxHandler([](const char* text, const char* title) {
        wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(title), wxOK);
    });
}
