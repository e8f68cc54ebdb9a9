// The transfer-function window: the editor view, the controls around it and
// the menus with file, reset, classification and display commands.
#ifndef GLIMRA_MENU_TRANSFER_H
#define GLIMRA_MENU_TRANSFER_H

#include "curve_history.h"
#include "transfer_editor.h"
#include "transfer_presets.h"

#include <wx/wx.h>

#include <string>

class TransferGLCanvas;

class TransferFrame : public wxFrame
{
public:
    // Builds the menus, the controls and the editor view, and shows the window.
    TransferFrame(wxFrame* parent, const wxString& title, const wxPoint& pos, const wxSize& size,
                  long style = wxDEFAULT_FRAME_STYLE);
    ~TransferFrame() override;

    TransferGLCanvas* myGLcanvas;   // the editor view
    wxPanel* myPanel;               // carries every control
    wxSlider* myHistogramSlider;    // histogram scale, value / 100
    wxRadioBox* myCurveBox;         // "Linear", "Bezier", "Free"
    wxTextCtrl* myPositionX;        // cursor table position
    wxTextCtrl* myPositionY;        // cursor value
    wxSlider* myZoomSlider;         // S: table entries shown
    wxSlider* myPanSlider;          // P: first table entry shown
    wxStaticText* myLabelLeft;      // axis labels under the view
    wxStaticText* myLabelRight;
    wxStaticText* myLabelMiddle;
    wxTextCtrl* myEditX;            // coordinates of the edited point
    wxTextCtrl* myEditY;
    wxStaticBox* myEditBox;         // "Edit", or "Edit channel/point"
    int myEditChannel;              // channel the edit boxes refer to, -1 none
    int myEditPoint;                // point the edit boxes refer to, -1 none

    // ---- what the view and the main window call ----

    // Which point the edit boxes refer to.
    void setEditedPoint(int channel, int point);
    // The cursor's table position and value into the position boxes.
    void showPosition(int x, int y);
    // A picked point into the edit boxes and the "Edit" label.
    void showEditedPoint(int channel, int point, int x, int y);
    // Curve edits to undo and redo.
    CurveHistory& history() { return myHistory; }
    // After a load: both sliders and the view for a table of maxValue entries.
    void adaptToTable(int maxValue);
    // Check marks, curve box and channel boxes from the transfer function and
    // the render mode (after the settings file changed them).
    void syncFromModel();
    // Forgets the window (the main window's command opens a new one) and
    // lets the toolkit destroy it.
    void closeWindow();

    // ---- the actions behind the commands, callable without any dialog ----

    // Reads a palette or lookup-table file; a refused file changes nothing
    // and its reason goes to the message box. True when read.
    bool readPaletteFile(const std::string& path);
    // Writes the format the name selects; false when the file cannot be written.
    bool savePaletteFile(const std::string& path);
    // "Reset All" (all true) or "Reset Selected".
    void resetCurves(bool all);
    // Classification c (1..4), check marks following.
    void selectClassification(int c);
    // The kind of all four curves from a "Curve" box selection.
    void selectCurveKind(int selection);
    // The histogram drawn logarithmically or not, check mark following.
    void setLogHistogram(bool on);
    // Histogram scale value / 100, slider following.
    void setHistogramScale(int value);
    // Zoom slider S and pan slider P, each kept inside its range.
    void setZoom(int s);
    void setPan(int p);
    // The edit boxes as typed into the edited point; refused input is
    // replaced by the point's coordinates.
    void applyEditBoxes();
    // The preset of the "Presets" menu at index (its items in order), or
    // the curves fitted to the data ("Fit to data"); both are edits to undo.
    // False when nothing changed.
    bool applyPresetItem(size_t index);
    bool fitToData();
    const std::vector<Preset>& presets() const { return myPresets; }
    // One curve edit back or forward; false when there is none.
    bool undo();
    bool redo();
    // The common tail after a change of the tables: the editor's copy and
    // view, the main view's textures and picture.
    void refreshTables();

    const ZoomPan& zoom() const { return myZoom; }

private:
    // After an undo or redo that took place: curves, tables and controls
    // follow; false when there was nothing to take back or do again.
    bool showHistoryStep(bool stepped);
    void buildMenuBar();
    void buildControls();
    // Zoom, pan, labels and the views after a slider or a load.
    void applyZoom();
    // The "Curve" box shows the red curve's kind.
    void showCurveKind();
    // Presets in Hounsfield units enabled only for data in them.
    void showPresets();
    // Classification items: enabled by the driver, checked by the render mode.
    void showClassification();
    // Asks for a file: the path, or empty after Cancel.
    std::string askForFile(const char* message, long style);

    void OnReadFile(wxCommandEvent& event);
    void OnReadHeader(wxCommandEvent& event);
    void OnSaveFile(wxCommandEvent& event);
    void OnSaveHeader(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);
    void OnResetAll(wxCommandEvent& event);
    void OnResetSelected(wxCommandEvent& event);
    void OnClassification(wxCommandEvent& event);
    void OnRebuild(wxCommandEvent& event);
    void OnShowFunction(wxCommandEvent& event);
    void OnShowGrid(wxCommandEvent& event);
    void OnShowPalette(wxCommandEvent& event);
    void OnShowHull(wxCommandEvent& event);
    void OnLogHistogram(wxCommandEvent& event);
    void OnChannel(wxCommandEvent& event);
    void OnCurveKind(wxCommandEvent& event);
    void OnHistogramScale(wxCommandEvent& event);
    void OnZoom(wxCommandEvent& event);
    void OnPan(wxCommandEvent& event);
    void OnEditEnter(wxCommandEvent& event);
    void OnMenuOpen(wxMenuEvent& event);
    void OnPreset(wxCommandEvent& event);
    void OnFitToData(wxCommandEvent& event);
    void OnChar(wxKeyEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnClose(wxCloseEvent& event);

    wxCheckBox* myChannelBoxes[4]; // "Red ", "Green ", "Blue ", "Alpha "
    ZoomPan myZoom;                // S and P as the editor uses them
    CurveHistory myHistory;        // curve edits to undo and redo
    std::vector<Preset> myPresets; // the "Presets" menu's files, in its order
    bool myClosed;                 // closeWindow ran: a newer window may own the selection

    wxDECLARE_EVENT_TABLE();
};

// The one transfer-function window, or null (g_pTransferFrame as a TransferFrame).
TransferFrame* transferFrame();
// The main window's "Transfer Function" command: creates the window, or
// shows and raises it when it exists.
void openTransferWindow();
// After a load or a reload: the open window's view repainted and its copy
// of the tables refreshed.
void redrawTransferWindow();
// After the settings changed the classification or the curve kinds.
void syncTransferWindow();

#endif
