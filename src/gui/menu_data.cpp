#include "menu_data.h"

#include "canvas_main.h"
#include "error_handling.h"
#include "gl_report.h"
#include "menu_main.h"

namespace {

// What the OpenGL page says when there is no context to ask.
const char* const kNoContext = "No OpenGL context.";

// The report of the main view's context.
std::string mainViewGLReport()
{
    MainGLCanvas* view = g_pMainFrame ? g_pMainFrame->myGLcanvas : nullptr;
    if (!view || !view->makeContextCurrent())
        return kNoContext;
    return currentGLReport();
}

// Text from files need not be UTF-8 (comments of data files): bytes that are
// not are shown one character each.
wxString toWx(const std::string& text)
{
    wxString s = wxString::FromUTF8(text.c_str(), text.size());
    if (s.empty() && !text.empty())
        s = wxString::From8BitData(text.c_str(), text.size());
    return s;
}

} // namespace

DataFrame* dataFrame()
{
    return static_cast<DataFrame*>(g_pDataFrame);
}

DataFrame::DataFrame(wxWindow* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
                     long style)
    : wxFrame(parent, wxID_ANY, title, pos, size, style, "frame")
{
    wxMenu* closeMenu = new wxMenu;
    closeMenu->Append(ID_DATA_EXIT, "Exit", "");
    wxMenuBar* bar = new wxMenuBar;
    bar->Append(closeMenu, "&Close");
    SetMenuBar(bar);

    GUARDED_NEW(myNotebook, wxNotebook, this, ID_DATA_NOTEBOOK, wxPoint(0, 0), GetClientSize(), 0,
                "notebook");
    // The frame owns the notebook like any child window.
    g_garbageCollector.remove(myNotebook);
    if (myNotebook) {
        myGLText = addTextPage(ID_DATA_GL_TEXT, "OpenGL information", true);
        myDataText = addTextPage(ID_DATA_TEXT, "Data information", false);
        myGLText->SetValue(toWx(mainViewGLReport()));
        refreshDataText();
        myNotebook->SetSelection(0);
    }
    Show(true);
}

DataFrame::~DataFrame()
{
    if (g_pDataFrame == this)
        g_pDataFrame = nullptr;
    g_garbageCollector.remove(this);
}

wxTextCtrl* DataFrame::addTextPage(int id, const char* label, bool select)
{
    // Page and text start as large as the notebook, so that the text's
    // scroll bars never get less room than they need before the page is laid out.
    const wxSize area = myNotebook->GetClientSize();
    wxPanel* page = new wxPanel(myNotebook, wxID_ANY, wxDefaultPosition, area,
                                wxTAB_TRAVERSAL | wxNO_BORDER, "panel");
    wxTextCtrl* text = new wxTextCtrl(page, id, "", wxDefaultPosition, area,
                                      wxTE_MULTILINE | wxTE_READONLY | wxBORDER_SIMPLE,
                                      wxDefaultValidator, "text");
    // The text fills whatever area the notebook gives its page.
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(text, 1, wxEXPAND);
    page->SetSizer(sizer);
    myNotebook->AddPage(page, label, select);
    return text;
}

void DataFrame::refreshDataText()
{
    if (!myDataText)
        return;
    myDataText->Clear();
    myDataText->SetValue(g_pMainFrame ? toWx(g_pMainFrame->dataInfo) : wxString("Unknown error."));
}

void DataFrame::OnExit(wxCommandEvent& WXUNUSED(event))
{
    Destroy();
}

void DataFrame::OnCharHook(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE) {
        Destroy();
        return;
    }
    event.Skip();
    Refresh(false);
}

// clang-format off
wxBEGIN_EVENT_TABLE(DataFrame, wxFrame)
    EVT_MENU(ID_DATA_EXIT, DataFrame::OnExit)
    EVT_CHAR_HOOK(DataFrame::OnCharHook)
wxEND_EVENT_TABLE()
// clang-format on
