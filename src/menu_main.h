// The main window: menus, the data-information text and the main view.
#ifndef GLIMRA_MENU_MAIN_H
#define GLIMRA_MENU_MAIN_H

#include <wx/wx.h>

#include <string>

class MainGLCanvas;

class MainFrame : public wxFrame
{
public:
    MainFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
              long style = wxDEFAULT_FRAME_STYLE);
    ~MainFrame() override;

    wxMenu* clippingMenu;       // where the per-plane submenus go
    MainGLCanvas* myGLcanvas;   // the main view, created by start-up
    std::string dataInfo;       // what the loaders wrote about the data set
    bool autosave;              // write the settings file when the window goes

    // Writes the settings file when autosave is on.
    void saveSettingsIfAutosave();
    // Relabels and disables the items the graphics driver and the data do not
    // support; the view's context must be current.
    void adaptMenusToHardware();

private:
    void buildMenuBar();
    void relabel(int id, const char* label);
    void enable(int id, bool on);

    void OnExit(wxCommandEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnActivate(wxActivateEvent& event);

    wxDECLARE_EVENT_TABLE();
};

extern MainFrame* g_pMainFrame;
extern wxFrame* g_pTransferFrame;
extern wxFrame* g_pSettingsFrame;
extern wxFrame* g_pDataFrame;

#endif
