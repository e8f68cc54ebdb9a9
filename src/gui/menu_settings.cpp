#include "menu_settings.h"

#include "canvas_main.h"
#include "error_handling.h"
#include "gen_texture.h"
#include "menu_main.h"
#include "render_mode.h"
#include "running_settings.h"
#include "texture.h"
#include "texture_formats.h"
#include "transfer_function.h"
#include "volume.h"

#include <wx/scrolbar.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

#include <algorithm>

namespace {

// The spin buttons report only a direction: a wide range keeps both
// directions open however often they are pressed.
const int kSpinReach = 100000;

// The main view with its context current, or null.
MainGLCanvas* currentMainView()
{
    MainGLCanvas* view = g_pMainFrame ? g_pMainFrame->myGLcanvas : nullptr;
    return (view && view->makeContextCurrent()) ? view : nullptr;
}

bool viewSpeedup()
{
    const MainGLCanvas* view = g_pMainFrame ? g_pMainFrame->myGLcanvas : nullptr;
    return view ? view->speedup : true;
}

// Each page's controls are children of the page and go with it; their
// sizes are the listed ones at least, grown by the page's sizer where the
// toolkit's theme needs more room (a squeezed control is drawn cut and makes
// the toolkit complain).
template <typename T> T* atLeast(T* control, const wxSize& size)
{
    wxSize min = control->GetBestSize();
    min.IncTo(size);
    control->SetMinSize(min);
    return control;
}

wxSlider* makeSlider(wxWindow* page, int id, int value, int max, const wxSize& size, int tickEvery)
{
    wxSlider* s = new wxSlider(page, id, value, 0, max, wxDefaultPosition, wxDefaultSize,
                               wxSL_HORIZONTAL | wxSL_LABELS | wxSL_AUTOTICKS);
    s->SetTickFreq(tickEvery);
    return atLeast(s, size);
}

wxCheckBox* makeCheckBox(wxWindow* page, int id, const char* label, const wxSize& size, bool checked)
{
    wxCheckBox* box = new wxCheckBox(page, id, label);
    box->SetValue(checked);
    return atLeast(box, size);
}

// One row of choices, or one column when columns is 1.
wxRadioBox* makeRadioBox(wxWindow* page, int id, const char* label, const wxSize& size,
                         const wxArrayString& choices, int columns, int selection)
{
    wxRadioBox* box = new wxRadioBox(page, id, label, wxDefaultPosition, wxDefaultSize, choices, columns,
                                     wxRA_SPECIFY_COLS);
    box->SetSelection(selection);
    return atLeast(box, size);
}

// A page's controls one under the other, 10 pixels from its edges, the
// sliders and rows as wide as the page.
wxBoxSizer* pageColumn(wxWindow* page, std::initializer_list<wxObject*> items)
{
    wxBoxSizer* column = new wxBoxSizer(wxVERTICAL);
    for (wxObject* item : items) {
        const int flags = wxLEFT | wxRIGHT | wxTOP | wxEXPAND;
        // Asked of the object itself: wxDynamicCast casts before it checks.
        if (item->IsKindOf(wxCLASSINFO(wxWindow))) {
            wxWindow* w = static_cast<wxWindow*>(item);
            column->Add(w, 0, w->IsKindOf(wxCLASSINFO(wxSlider)) ? flags : (flags & ~wxEXPAND), 6);
        } else {
            column->Add(static_cast<wxSizer*>(item), 0, flags, 6);
        }
    }
    column->AddSpacer(6);
    wxBoxSizer* margin = new wxBoxSizer(wxVERTICAL);
    margin->Add(column, 1, wxALL | wxEXPAND, 4);
    page->SetSizer(margin);
    return column;
}

wxArrayString choices(std::initializer_list<const char*> labels)
{
    wxArrayString a;
    for (const char* l : labels)
        a.Add(l);
    return a;
}

} // namespace

SettingsFrame* settingsFrame()
{
    return static_cast<SettingsFrame*>(g_pSettingsFrame);
}

SettingsFrame::SettingsFrame(wxWindow* parent, const wxString& title, const wxPoint& pos,
                             const wxSize& size, long style)
    : wxFrame(parent, wxID_ANY, title, pos, size, style, "frame")
{
    wxMenu* closeMenu = new wxMenu;
    closeMenu->Append(ID_SETTINGS_EXIT, "Exit", "");
    wxMenuBar* bar = new wxMenuBar;
    bar->Append(closeMenu, "&Close");
    SetMenuBar(bar);
    CreateStatusBar(1);

    const float filterBefore = textureFilter;
    const SettingsControls c = settingsForControls(volume);
    myNotebook = new wxNotebook(this, ID_SETTINGS_NOTEBOOK, wxPoint(0, 0), GetClientSize(), 0, "notebook");
    buildSamplingPage(c);
    buildAlphaTestPage(c);
    buildMultispectralPage(c);
    buildMultiVolumePage();
    buildFocusContextPage(c);
    buildSavePage();
    myNotebook->SetSelection(0);
    raiseSpinButtons();
    // The window grows until every page shows whole at the theme's sizes,
    // and is kept at least that large.
    wxBoxSizer* frameSizer = new wxBoxSizer(wxVERTICAL);
    frameSizer->Add(myNotebook, 1, wxEXPAND);
    SetSizer(frameSizer);
    // The notebook around its largest page (its own guess comes before the
    // toolkit has measured the tabs).
    wxSize page(0, 0);
    for (size_t i = 0; i < myNotebook->GetPageCount(); ++i)
        page.IncTo(myNotebook->GetPage(i)->GetSizer()->GetMinSize());
    const wxSize need = myNotebook->CalcSizeFromPage(page);
    myNotebook->SetMinSize(need);
    const wxSize client = GetClientSize();
    SetClientSize(wxSize(std::max(client.x, need.x), std::max(client.y, need.y)));
    SetMinClientSize(need);
    Layout();
    Show(true);

    // Settings that had to be brought into range are drawn as shown.
    if (textureFilter != filterBefore && currentMainView())
        applyFilter(volume);
    repaint();
}

SettingsFrame::~SettingsFrame()
{
    if (g_pSettingsFrame == this)
        g_pSettingsFrame = nullptr;
    g_garbageCollector.remove(this);
}

wxPanel* SettingsFrame::addPanel()
{
    return new wxPanel(myNotebook, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                       wxTAB_TRAVERSAL | wxNO_BORDER, "panel");
}

void SettingsFrame::buildSamplingPage(const SettingsControls& c)
{
    wxPanel* page = addPanel();
    wxStaticText* label = new wxStaticText(page, wxID_ANY, "# Slices:");
    mySlicesSlider = makeSlider(page, ID_SETTINGS_SLICES_SLIDER, c.slices, kSlicesSliderMax, wxSize(250, 40), 16);
    wxCheckBox* switching = makeCheckBox(page, ID_SETTINGS_SWITCH_SLICES, "Switching slices", wxSize(120, 20), c.switchSlices);
    myAlphaCorrectionBox = makeCheckBox(page, ID_SETTINGS_ALPHA_CORRECTION, "Alpha correction", wxSize(120, 20),
                                        c.alphaCorrection);
    wxCheckBox* speedup = makeCheckBox(page, ID_SETTINGS_SPEEDUP, "Speed up (half sampling)", wxSize(150, 20),
                                         viewSpeedup());
    myFilteringBox = makeRadioBox(page, ID_SETTINGS_FILTERING, "Filtering", wxSize(120, 60), choices({"Nearest", "Linear"}), 1, c.filter);
    wxCheckBox* iso = makeCheckBox(page, ID_SETTINGS_ISO_MODE, "Iso mode", wxSize(120, 20), c.iso);
    // The switches on the left, filtering and iso mode beside them.
    wxBoxSizer* switches = new wxBoxSizer(wxVERTICAL);
    for (wxCheckBox* box : {switching, myAlphaCorrectionBox, speedup})
        switches->Add(box, 0, wxBOTTOM, 4);
    wxBoxSizer* filtering = new wxBoxSizer(wxVERTICAL);
    filtering->Add(myFilteringBox, 0, wxBOTTOM, 4);
    filtering->Add(iso);
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(switches, 0, wxRIGHT, 16);
    row->Add(filtering);
    // A pyramid's streamed bricks: as --memory, for this run.
    wxStaticText* memoryLabel = new wxStaticText(page, wxID_ANY, "Memory for bricks (MB):");
    const uint64_t budget = g_pMainFrame ? g_pMainFrame->viewer.brickBudget() : defaultBrickBudget();
    myBrickMemory = new wxSpinCtrl(page, ID_SETTINGS_BRICK_MEMORY, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxSP_ARROW_KEYS, 1, kMaxBrickMemoryMB,
                                   brickMemoryFieldValue(budget));
    wxBoxSizer* memory = new wxBoxSizer(wxHORIZONTAL);
    memory->Add(memoryLabel, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    memory->Add(myBrickMemory);
    pageColumn(page, {label, mySlicesSlider, row, memory});
    myNotebook->AddPage(page, "Sampling", true);
}

void SettingsFrame::buildAlphaTestPage(const SettingsControls& c)
{
    wxPanel* page = addPanel();
    wxStaticText* label = new wxStaticText(page, wxID_ANY, "Value:");
    myAlphaSlider = makeSlider(page, ID_SETTINGS_ALPHA_SLIDER, c.alphaValue, kAlphaSliderMax, wxSize(200, 40), 10);
    myAlphaModeBox = makeRadioBox(page, ID_SETTINGS_ALPHA_MODE, "Mode", wxSize(210, 45), choices({"Greater", "Equal", "Less"}), 3,
                                  c.alphaMode);
    pageColumn(page, {label, myAlphaSlider, myAlphaModeBox});
    myNotebook->AddPage(page, "Aplha test");
}

void SettingsFrame::buildMultispectralPage(const SettingsControls& c)
{
    wxPanel* page = addPanel();
    myAlphaCalculationBox = makeRadioBox(page, ID_SETTINGS_ALPHA_CALCULATION, "Alpha calculation", wxSize(255, 40),
                                         choices({"One", "Average", "Maximum"}), 3, c.alphaCalculation);
    myGradientCalculationBox = makeRadioBox(page, ID_SETTINGS_GRADIENT_CALCULATION, "Gradient calculation", wxSize(255, 40),
                                            choices({"R", "G", "B", "A", "Aver."}), 5, c.gradientCalculation);
    wxStaticText* note = new wxStaticText(page, wxID_ANY, "This settings will be applied after loading new data.");
    pageColumn(page, {myAlphaCalculationBox, myGradientCalculationBox, note});
    myNotebook->AddPage(page, "Multispectral");
}

void SettingsFrame::buildMultiVolumePage()
{
    wxPanel* page = addPanel();
    wxStaticText* label = new wxStaticText(page, wxID_ANY, "Used volumes:");
    myUsedLabel = new wxStaticText(page, wxID_ANY, "0,...,10");
    // The spin buttons at the scroll bar's ends, beside it.
    myStartSpin = atLeast(new wxSpinButton(page, ID_SETTINGS_USED_START_SPIN, wxDefaultPosition, wxDefaultSize,
                                           wxSP_HORIZONTAL), wxSize(26, 20));
    myUsedScrollBar = atLeast(new wxScrollBar(page, ID_SETTINGS_USED_SCROLL, wxDefaultPosition, wxDefaultSize,
                                              wxSB_HORIZONTAL), wxSize(250, 20));
    myLengthSpin = atLeast(new wxSpinButton(page, ID_SETTINGS_USED_LENGTH_SPIN, wxDefaultPosition, wxDefaultSize,
                                            wxSP_HORIZONTAL), wxSize(26, 20));
    for (wxSpinButton* spin : {myStartSpin, myLengthSpin}) {
        spin->SetRange(-kSpinReach, kSpinReach);
        spin->SetValue(0);
    }
    wxBoxSizer* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(myStartSpin, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2);
    row->Add(myUsedScrollBar, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2);
    row->Add(myLengthSpin, 0, wxALIGN_CENTER_VERTICAL);
    pageColumn(page, {label, myUsedLabel, row});
    myNotebook->AddPage(page, "Multi Volume");
    myUsedRange = usedRangeOf(volume.myMVolumeInfo);
    showUsedRange(false);
}

void SettingsFrame::buildFocusContextPage(const SettingsControls& c)
{
    wxPanel* page = addPanel();
    wxStaticText* label = new wxStaticText(page, wxID_ANY, "Angle:");
    myAngleSlider = makeSlider(page, ID_SETTINGS_ANGLE_SLIDER, c.angle, c.angleMax, wxSize(200, 40), 10);
    myRenderMaskBox = makeCheckBox(page, ID_SETTINGS_RENDER_MASK, "Render mask", wxSize(150, 20), c.renderMask);
    myShiftTexBox = makeCheckBox(page, ID_SETTINGS_SHOW_SHIFT_TEX, "Show shift texture", wxSize(150, 20), c.showShiftTex);
    pageColumn(page, {label, myAngleSlider, myRenderMaskBox, myShiftTexBox});
    myNotebook->AddPage(page, "F&&C");
}

void SettingsFrame::buildSavePage()
{
    wxPanel* page = addPanel();
    wxButton* save = atLeast(new wxButton(page, ID_SETTINGS_SAVE, "Save settings"), wxSize(100, 20));
    wxCheckBox* autosave = makeCheckBox(page, ID_SETTINGS_AUTOSAVE, "Auto save settings", wxSize(150, 20),
                                        g_pMainFrame ? g_pMainFrame->autosave : true);
    pageColumn(page, {save, autosave});
    myNotebook->AddPage(page, "Save");
}

// ---- refreshes ----

void SettingsFrame::refreshMultiVolumeControls()
{
    myUsedRange = usedRangeOf(volume.myMVolumeInfo);
    showUsedRange(false);
}

void SettingsFrame::refreshFocusContextControls()
{
    const SettingsControls c = settingsForControls(volume);
    myAngleSlider->SetRange(0, c.angleMax);
    myAngleSlider->SetValue(c.angle);
    myRenderMaskBox->SetValue(c.renderMask);
    myShiftTexBox->SetValue(c.showShiftTex);
}

void SettingsFrame::refreshBrickMemory()
{
    if (g_pMainFrame)
        myBrickMemory->SetValue(brickMemoryFieldValue(g_pMainFrame->viewer.brickBudget()));
}

void SettingsFrame::refreshNote()
{
    std::string reason = nothingDrawnReason(volume, RenderMode::instance().getSlicing(), viewSpeedup());
    if (reason.empty() && g_pMainFrame)
        reason = g_pMainFrame->viewer.pyramidStatus();
    SetStatusText(wxString::FromUTF8(reason.c_str()));
}

void SettingsFrame::showUsedRange(bool applyWeights)
{
    const UsedRange& r = myUsedRange;
    myUsedScrollBar->SetScrollbar(r.start, r.length, r.range, 1);
    myUsedLabel->SetLabel(usedRangeLabel(r));
    if (applyWeights && applyUsedRange(volume, r))
        repaint();
}

void SettingsFrame::raiseSpinButtons()
{
    for (wxSpinButton* spin : {myStartSpin, myLengthSpin}) {
        spin->Show(true);
        spin->Refresh();
        spin->Raise();
    }
}

void SettingsFrame::repaint()
{
    if (g_pMainFrame && g_pMainFrame->myGLcanvas)
        g_pMainFrame->myGLcanvas->redrawNow();
    refreshNote();
}

// ---- handlers ----

void SettingsFrame::OnExit(wxCommandEvent& WXUNUSED(event))
{
    Destroy();
}

void SettingsFrame::OnCharHook(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE) {
        Destroy();
        return;
    }
    event.Skip();
    Refresh(false);
}

void SettingsFrame::OnSlider(wxCommandEvent& WXUNUSED(event))
{
    const bool rebuild = applySliders(volume, mySlicesSlider->GetValue(), myAlphaSlider->GetValue(),
                                      myAngleSlider->GetValue());
    if (!g_pMainFrame)
        return;
    if (rebuild && transfer && currentMainView()) {
        transfer->rebuildAlpha();
        transfer->upload();
    }
    repaint();
}

void SettingsFrame::OnSwitchSlices(wxCommandEvent& event)
{
    volume.switchSlices = event.IsChecked();
    // Depth testing belongs to the main view's context.
    if (currentMainView()) {
        if (volume.switchSlices)
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
    }
    repaint();
}

void SettingsFrame::OnAlphaCorrection(wxCommandEvent& event)
{
    applyAlphaCorrection(volume, event.IsChecked(), myAlphaSlider->GetValue());
    if (transfer && currentMainView()) {
        transfer->rebuildAlpha();
        transfer->upload();
    }
    repaint();
}

void SettingsFrame::OnSpeedup(wxCommandEvent& event)
{
    if (g_pMainFrame && g_pMainFrame->myGLcanvas)
        g_pMainFrame->myGLcanvas->speedup = event.IsChecked();
    refreshNote();
}

void SettingsFrame::OnFiltering(wxCommandEvent& WXUNUSED(event))
{
    textureFilter = filterOfIndex(myFilteringBox->GetSelection());
    if (currentMainView())
        applyFilter(volume);
    repaint();
}

void SettingsFrame::OnIsoMode(wxCommandEvent& event)
{
    volume.isoMode = event.IsChecked();
    repaint();
}

void SettingsFrame::OnAlphaMode(wxCommandEvent& WXUNUSED(event))
{
    volume.alphaFunc = alphaFuncOfIndex(myAlphaModeBox->GetSelection());
    repaint();
}

void SettingsFrame::OnAlphaCalculation(wxCommandEvent& WXUNUSED(event))
{
    // Applies to the next load.
    volume.setAlphaCalculation(myAlphaCalculationBox->GetSelection());
}

void SettingsFrame::OnGradientCalculation(wxCommandEvent& WXUNUSED(event))
{
    volume.setGradientCalculation(myGradientCalculationBox->GetSelection());
}

void SettingsFrame::OnUsedScroll(wxScrollEvent& WXUNUSED(event))
{
    raiseSpinButtons();
    myUsedRange = usedRangeScrolled(myUsedRange, myUsedScrollBar->GetThumbPosition(),
                                    myUsedScrollBar->GetThumbSize());
    showUsedRange(true);
}

void SettingsFrame::OnStartSpinUp(wxSpinEvent& WXUNUSED(event))
{
    myUsedRange = usedRangeLeftSpin(myUsedRange, true);
    showUsedRange(true);
}

void SettingsFrame::OnStartSpinDown(wxSpinEvent& WXUNUSED(event))
{
    myUsedRange = usedRangeLeftSpin(myUsedRange, false);
    showUsedRange(true);
}

void SettingsFrame::OnLengthSpinUp(wxSpinEvent& WXUNUSED(event))
{
    myUsedRange = usedRangeRightSpin(myUsedRange, true);
    showUsedRange(true);
}

void SettingsFrame::OnLengthSpinDown(wxSpinEvent& WXUNUSED(event))
{
    myUsedRange = usedRangeRightSpin(myUsedRange, false);
    showUsedRange(true);
}

void SettingsFrame::OnRenderMask(wxCommandEvent& event)
{
    if (volume.shiftTex)
        volume.shiftTex->setEnabled(event.IsChecked());
    repaint();
}

void SettingsFrame::OnShowShiftTex(wxCommandEvent& event)
{
    if (volume.shiftTex)
        volume.shiftTex->setShow(event.IsChecked());
    repaint();
}

void SettingsFrame::OnSave(wxCommandEvent& WXUNUSED(event))
{
    if (!g_pMainFrame)
        return;
    // The user is told where the settings went, or why they did not: on the
    // status line and in the log, a failure in a box as well.
    std::string note;
    const bool saved = g_pMainFrame->viewer.saveSettingsFile(&note);
    SetStatusText(wxString::FromUTF8(note.c_str()));
    logBoth(__FILE__, __LINE__, (note + "\n").c_str());
    if (!saved)
        g_pMainFrame->viewer.observer().warn(note, "Warning");
}

void SettingsFrame::OnBrickMemory(wxSpinEvent& event)
{
    if (!g_pMainFrame)
        return;
    g_pMainFrame->viewer.setBrickBudget(static_cast<uint64_t>(std::max(1, event.GetPosition())) << 20);
    refreshNote();
}

void SettingsFrame::OnAutosave(wxCommandEvent& event)
{
    if (!g_pMainFrame)
        return;
    g_pMainFrame->autosave = event.IsChecked();
    g_pMainFrame->viewer.autosaveSwitched(event.IsChecked());
}

void SettingsFrame::OnPageChanged(wxBookCtrlEvent& event)
{
    raiseSpinButtons();
    event.Skip();
}

// clang-format off
wxBEGIN_EVENT_TABLE(SettingsFrame, wxFrame)
    EVT_MENU(ID_SETTINGS_EXIT, SettingsFrame::OnExit)
    EVT_CHAR_HOOK(SettingsFrame::OnCharHook)
    EVT_SLIDER(ID_SETTINGS_SLICES_SLIDER, SettingsFrame::OnSlider)
    EVT_SLIDER(ID_SETTINGS_ALPHA_SLIDER, SettingsFrame::OnSlider)
    EVT_SLIDER(ID_SETTINGS_ANGLE_SLIDER, SettingsFrame::OnSlider)
    EVT_CHECKBOX(ID_SETTINGS_SWITCH_SLICES, SettingsFrame::OnSwitchSlices)
    EVT_CHECKBOX(ID_SETTINGS_ALPHA_CORRECTION, SettingsFrame::OnAlphaCorrection)
    EVT_CHECKBOX(ID_SETTINGS_SPEEDUP, SettingsFrame::OnSpeedup)
    EVT_RADIOBOX(ID_SETTINGS_FILTERING, SettingsFrame::OnFiltering)
    EVT_CHECKBOX(ID_SETTINGS_ISO_MODE, SettingsFrame::OnIsoMode)
    EVT_RADIOBOX(ID_SETTINGS_ALPHA_MODE, SettingsFrame::OnAlphaMode)
    EVT_RADIOBOX(ID_SETTINGS_ALPHA_CALCULATION, SettingsFrame::OnAlphaCalculation)
    EVT_RADIOBOX(ID_SETTINGS_GRADIENT_CALCULATION, SettingsFrame::OnGradientCalculation)
    EVT_COMMAND_SCROLL_THUMBTRACK(ID_SETTINGS_USED_SCROLL, SettingsFrame::OnUsedScroll)
    EVT_COMMAND_SCROLL_PAGEUP(ID_SETTINGS_USED_SCROLL, SettingsFrame::OnUsedScroll)
    EVT_COMMAND_SCROLL_PAGEDOWN(ID_SETTINGS_USED_SCROLL, SettingsFrame::OnUsedScroll)
    EVT_COMMAND_SCROLL_LINEUP(ID_SETTINGS_USED_SCROLL, SettingsFrame::OnUsedScroll)
    EVT_COMMAND_SCROLL_LINEDOWN(ID_SETTINGS_USED_SCROLL, SettingsFrame::OnUsedScroll)
    EVT_SPIN_UP(ID_SETTINGS_USED_START_SPIN, SettingsFrame::OnStartSpinUp)
    EVT_SPIN_DOWN(ID_SETTINGS_USED_START_SPIN, SettingsFrame::OnStartSpinDown)
    EVT_SPIN_UP(ID_SETTINGS_USED_LENGTH_SPIN, SettingsFrame::OnLengthSpinUp)
    EVT_SPIN_DOWN(ID_SETTINGS_USED_LENGTH_SPIN, SettingsFrame::OnLengthSpinDown)
    EVT_CHECKBOX(ID_SETTINGS_RENDER_MASK, SettingsFrame::OnRenderMask)
    EVT_CHECKBOX(ID_SETTINGS_SHOW_SHIFT_TEX, SettingsFrame::OnShowShiftTex)
    EVT_BUTTON(ID_SETTINGS_SAVE, SettingsFrame::OnSave)
    EVT_CHECKBOX(ID_SETTINGS_AUTOSAVE, SettingsFrame::OnAutosave)
    EVT_NOTEBOOK_PAGE_CHANGED(ID_SETTINGS_NOTEBOOK, SettingsFrame::OnPageChanged)
    EVT_SPINCTRL(ID_SETTINGS_BRICK_MEMORY, SettingsFrame::OnBrickMemory)
wxEND_EVENT_TABLE()
// clang-format on
