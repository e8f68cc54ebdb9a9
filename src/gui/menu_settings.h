// The settings window: the render settings without a menu item of their own,
// on six notebook pages. What each control does is in settings_logic.h; this
// class places the controls and forwards their events.
#ifndef GLIMRA_MENU_SETTINGS_H
#define GLIMRA_MENU_SETTINGS_H

#include "settings_logic.h"

#include <wx/notebook.h>
#include <wx/wx.h>

class wxScrollBar;
class wxSpinButton;
class wxSpinCtrl;
class wxSpinEvent;

// Fixed ids of the window and its controls.
enum SettingsCommandId
{
    ID_SETTINGS_EXIT = 11550,
    ID_SETTINGS_ALPHA_SLIDER = 11551,
    ID_SETTINGS_SLICES_SLIDER = 11552,
    ID_SETTINGS_SWITCH_SLICES = 11553,
    ID_SETTINGS_ALPHA_MODE = 11554,
    ID_SETTINGS_NOTEBOOK = 11555,
    ID_SETTINGS_AUTOSAVE = 11561,
    ID_SETTINGS_SAVE = 11562,
    ID_SETTINGS_SPEEDUP = 11563,
    ID_SETTINGS_ANGLE_SLIDER = 11571,
    ID_SETTINGS_RENDER_MASK = 11572,
    ID_SETTINGS_SHOW_SHIFT_TEX = 11573,
    ID_SETTINGS_ALPHA_CALCULATION = 11574,
    ID_SETTINGS_GRADIENT_CALCULATION = 11575,
    ID_SETTINGS_ALPHA_CORRECTION = 11576,
    ID_SETTINGS_FILTERING = 11577,
    ID_SETTINGS_ISO_MODE = 11578,
    ID_SETTINGS_USED_SCROLL = 11580,
    ID_SETTINGS_USED_START_SPIN = 11581,
    ID_SETTINGS_USED_LENGTH_SPIN = 11582,
    ID_SETTINGS_BRICK_MEMORY = 11590, // "Memory for bricks (MB):" (pyramids)
};

class SettingsFrame : public wxFrame
{
public:
    // Builds every page from the running settings (brought into the
    // controls' ranges first) and shows the window.
    SettingsFrame(wxWindow* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
                  long style);
    ~SettingsFrame() override;

    // After a data load: the used band range from the new multi-band record.
    void refreshMultiVolumeControls();
    // After a mask load: the angle slider and the two mask switches from the
    // new render target.
    void refreshFocusContextControls();
    // After a load: the bricks' budget the viewer has now.
    void refreshBrickMemory();
    // The status line: why the view draws no volume, what of a pyramid on
    // screen, or nothing.
    void refreshNote();

private:
    void buildSamplingPage(const SettingsControls& c);
    void buildAlphaTestPage(const SettingsControls& c);
    void buildMultispectralPage(const SettingsControls& c);
    void buildMultiVolumePage();
    void buildFocusContextPage(const SettingsControls& c);
    void buildSavePage();
    // A page of the notebook.
    wxPanel* addPanel();
    // The used range into the scroll bar, the label and the band weights.
    void showUsedRange(bool applyWeights);
    // The spin buttons lie over the scroll bar's ends.
    void raiseSpinButtons();
    // The main view drawn again at once, then the status line.
    void repaint();

    void OnExit(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnSlider(wxCommandEvent& event);
    void OnSwitchSlices(wxCommandEvent& event);
    void OnAlphaCorrection(wxCommandEvent& event);
    void OnSpeedup(wxCommandEvent& event);
    void OnFiltering(wxCommandEvent& event);
    void OnIsoMode(wxCommandEvent& event);
    void OnAlphaMode(wxCommandEvent& event);
    void OnAlphaCalculation(wxCommandEvent& event);
    void OnGradientCalculation(wxCommandEvent& event);
    void OnUsedScroll(wxScrollEvent& event);
    void OnStartSpinUp(wxSpinEvent& event);
    void OnStartSpinDown(wxSpinEvent& event);
    void OnLengthSpinUp(wxSpinEvent& event);
    void OnLengthSpinDown(wxSpinEvent& event);
    void OnRenderMask(wxCommandEvent& event);
    void OnShowShiftTex(wxCommandEvent& event);
    void OnSave(wxCommandEvent& event);
    void OnAutosave(wxCommandEvent& event);
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnBrickMemory(wxSpinEvent& event);

    wxNotebook* myNotebook = nullptr;          // the six pages
    wxSlider* mySlicesSlider = nullptr;        // "# Slices:"
    wxSlider* myAlphaSlider = nullptr;         // alpha-test "Value:"
    wxSlider* myAngleSlider = nullptr;         // focus-and-context "Angle:"
    wxCheckBox* myAlphaCorrectionBox = nullptr; // "Alpha correction"
    wxCheckBox* myRenderMaskBox = nullptr;     // "Render mask"
    wxCheckBox* myShiftTexBox = nullptr;       // "Show shift texture"
    wxRadioBox* myFilteringBox = nullptr;      // "Filtering"
    wxRadioBox* myAlphaModeBox = nullptr;      // "Mode"
    wxRadioBox* myAlphaCalculationBox = nullptr; // "Alpha calculation"
    wxRadioBox* myGradientCalculationBox = nullptr; // "Gradient calculation"
    wxScrollBar* myUsedScrollBar = nullptr;    // the used band range
    wxSpinButton* myStartSpin = nullptr;       // moves the start of the range
    wxSpinButton* myLengthSpin = nullptr;      // changes its length
    wxStaticText* myUsedLabel = nullptr;       // "start,..,end"
    wxSpinCtrl* myBrickMemory = nullptr;       // megabytes a pyramid's bricks may take
    UsedRange myUsedRange;                     // what the scroll bar shows

    wxDECLARE_EVENT_TABLE();
};

// The open settings window, or null.
SettingsFrame* settingsFrame();

#endif
