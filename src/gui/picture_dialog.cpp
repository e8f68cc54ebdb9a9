#include "picture_dialog.h"

#include "turntable.h"

#include <wx/filedlg.h>
#include <wx/spinctrl.h>

std::string askForPictureFile(wxWindow* parent, const wxString& title)
{
    wxFileDialog dialog(parent, title, "", "picture.png", "PNG pictures (*.png)|*.png",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK)
        return std::string();
    std::string path = dialog.GetPath().ToStdString();
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".png") != 0)
        path += ".png";
    return path;
}

bool askPictureSize(wxWindow* parent, const wxString& title, int* width, int* height, int* frames)
{
    wxDialog dialog(parent, wxID_ANY, title);
    wxFlexGridSizer* grid = new wxFlexGridSizer(2, wxSize(8, 8));
    // One labelled number of the dialog.
    auto field = [&](const wxString& label, int value, int low, int high) {
        grid->Add(new wxStaticText(&dialog, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        wxSpinCtrl* spin = new wxSpinCtrl(&dialog, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                          wxSP_ARROW_KEYS, low, high, value);
        grid->Add(spin, 1, wxEXPAND);
        return spin;
    };
    wxSpinCtrl* w = field("Width (pixels)", *width, 1, 16384);
    wxSpinCtrl* h = field("Height (pixels)", *height, 1, 16384);
    wxSpinCtrl* n = frames ? field("Frames", *frames, 1, kMaxTurntableFrames) : nullptr;
    wxBoxSizer* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 1, wxALL | wxEXPAND, 12);
    top->Add(dialog.CreateSeparatedButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 8);
    dialog.SetSizerAndFit(top);
    if (dialog.ShowModal() != wxID_OK)
        return false;
    *width = w->GetValue();
    *height = h->GetValue();
    if (frames)
        *frames = n->GetValue();
    return true;
}
