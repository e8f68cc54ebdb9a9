// The information window: the OpenGL implementation the program runs on and
// what the loaders wrote about the data set, on two notebook pages.
#ifndef GLIMRA_MENU_DATA_H
#define GLIMRA_MENU_DATA_H

#include <wx/notebook.h>
#include <wx/wx.h>

// Fixed ids of the window and its controls.
enum DataCommandId
{
    ID_DATA_EXIT = 13440,
    ID_DATA_NOTEBOOK = 13441,
    ID_DATA_TEXT = 13444,
    ID_DATA_GL_TEXT = 13445,
};

class DataFrame : public wxFrame
{
public:
    // Fills both pages and shows the window; the OpenGL page is written once,
    // from the main view's context.
    DataFrame(wxWindow* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
              long style);
    ~DataFrame() override;

    // The data page anew from the main window's data information.
    void refreshDataText();

private:
    // A page holding one read-only text control of the page's size.
    wxTextCtrl* addTextPage(int id, const char* label, bool select);

    void OnExit(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);

    wxTextCtrl* myGLText = nullptr;   // "OpenGL information"
    wxTextCtrl* myDataText = nullptr; // "Data information"
    wxNotebook* myNotebook = nullptr; // holds the two pages

    wxDECLARE_EVENT_TABLE();
};

// The open information window, or null.
DataFrame* dataFrame();

#endif
