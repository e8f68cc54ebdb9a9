#include "menu_transfer.h"

#include "canvas_main.h"
#include "canvas_transfer.h"
#include "data_scale.h"
#include "error_handling.h"
#include "histogram.h"
#include "menu_main.h"
#include "my_cg.h"
#include "render_mode.h"
#include "transfer_fit.h"
#include "transfer_function.h"

#include <wx/filedlg.h>

#include <algorithm>
#include <cmath>

namespace {

const char* const kFileFilter =
    "palette files (*.pal)|*.pal|lut files (*.txt)|*.txt|All files (*.*)|*.*";

// A table position as the axis and the boxes show it: the data value at
// that entry (the table index itself for data without another scale).
wxString axisText(int x)
{
    return wxString(dataScale.format(dataScale.value(x)));
}

} // namespace

TransferFrame* transferFrame()
{
    return static_cast<TransferFrame*>(g_pTransferFrame);
}

void openTransferWindow()
{
    if (TransferFrame* f = transferFrame()) {
        f->Show(true);
        f->Raise();
        f->SetFocus();
        return;
    }
    TransferFrame* f = nullptr;
    GUARDED_NEW_AS(f, "g_pTransferFrame", TransferFrame, nullptr, "Transfer Function",
                   wxPoint(50, 15), wxSize(425, 400));
    if (!f)
        return;
    g_pTransferFrame = f;
    f->SendSizeEvent();
    if (f->myGLcanvas)
        f->myGLcanvas->redraw();
    if (g_pMainFrame) {
        g_pMainFrame->SendSizeEvent();
        if (g_pMainFrame->myGLcanvas)
            g_pMainFrame->myGLcanvas->redrawNow();
    }
}

void redrawTransferWindow()
{
    TransferFrame* f = transferFrame();
    if (!f || !f->myGLcanvas)
        return;
    f->myGLcanvas->followTables();
    f->myGLcanvas->redraw();
}

void syncTransferWindow()
{
    if (TransferFrame* f = transferFrame())
        f->syncFromModel();
}

TransferFrame::TransferFrame(wxFrame* parent, const wxString& title, const wxPoint& pos,
                             const wxSize& size, long style)
    : wxFrame(parent, wxID_ANY, title, pos, size, style), myGLcanvas(nullptr), myPanel(nullptr),
      myHistogramSlider(nullptr), myCurveBox(nullptr), myPositionX(nullptr), myPositionY(nullptr),
      myZoomSlider(nullptr), myPanSlider(nullptr), myLabelLeft(nullptr), myLabelRight(nullptr),
      myLabelMiddle(nullptr), myEditX(nullptr), myEditY(nullptr), myEditBox(nullptr),
      myEditChannel(-1), myEditPoint(-1), myChannelBoxes{}, myClosed(false)
{
    myZoom.reset(transfer ? transfer->getTableSize() : 256);
    myZoom.fitTo(histogram.counts());
    buildMenuBar();
    buildControls();
    applyZoom();
    // The selection matches the check boxes of a fresh window.
    if (transfer)
        for (int c = 0; c < 4; ++c)
            transfer->setSelected(c, c == CHANNEL_ALPHA);
    Show(true);
}

void TransferFrame::buildMenuBar()
{
    wxMenu* fileMenu = nullptr;
    GUARDED_NEW(fileMenu, wxMenu);
    fileMenu->Append(ID_TF_READ_FILE, "Read from file", "");
    fileMenu->Append(ID_TF_READ_HEADER, "Read from header", "");
    fileMenu->AppendSeparator();
    fileMenu->Append(ID_TF_SAVE_FILE, "Save to file", "");
    fileMenu->Append(ID_TF_SAVE_HEADER, "Save to header", "");
    fileMenu->AppendSeparator();
    fileMenu->Append(ID_TF_EXIT, "Exit", "");

    wxMenu* resetMenu = nullptr;
    GUARDED_NEW(resetMenu, wxMenu);
    resetMenu->Append(ID_TF_RESET_ALL, "Reset All", "");
    resetMenu->Append(ID_TF_RESET_SELECTED, "Reset Selected", "");

    wxMenu* classMenu = nullptr;
    GUARDED_NEW(classMenu, wxMenu);
    classMenu->AppendRadioItem(ID_TF_PRE_CLASSIFICATION, "Pre Classification", "");
    classMenu->AppendRadioItem(ID_TF_POST_CLASSIFICATION, "Post Classification", "");
    classMenu->AppendRadioItem(ID_TF_PRE_INTEGRATION, "Pre Integration", "");

    wxMenu* showMenu = nullptr;
    GUARDED_NEW(showMenu, wxMenu);
    showMenu->AppendCheckItem(ID_TF_SHOW_FUNCTION, "Show function", "");
    showMenu->AppendCheckItem(ID_TF_SHOW_GRID, "Show grid", "");
    showMenu->AppendCheckItem(ID_TF_SHOW_PALETTE, "Show palette", "");
    showMenu->AppendCheckItem(ID_TF_SHOW_HULL, "Show hull", "");
    showMenu->AppendCheckItem(ID_TF_SHOW_LOG_HISTOGRAM, "Logarithmic histogram", "");

    // The shipped presets and the user's own beside them, then the fit.
    wxMenu* presetMenu = nullptr;
    GUARDED_NEW(presetMenu, wxMenu);
    myPresets = programPresets();
    if (myPresets.size() > ID_TF_PRESET_LAST - ID_TF_PRESET_FIRST + 1u)
        myPresets.resize(ID_TF_PRESET_LAST - ID_TF_PRESET_FIRST + 1u);
    for (size_t i = 0; i < myPresets.size(); ++i)
        presetMenu->Append(ID_TF_PRESET_FIRST + static_cast<int>(i), myPresets[i].name,
                           myPresets[i].hounsfield ? "For data in Hounsfield units" : "");
    if (!myPresets.empty())
        presetMenu->AppendSeparator();
    presetMenu->Append(ID_TF_FIT_TO_DATA, "Fit to data", "");

    wxMenuBar* menuBar = new wxMenuBar;
    menuBar->Append(fileMenu, "&File");
    menuBar->Append(resetMenu, "&Reset");
    menuBar->Append(classMenu, "&Classification");
    menuBar->Append(showMenu, "&Show");
    menuBar->Append(presetMenu, "&Presets");
    SetMenuBar(menuBar);
    menuBar->Enable(ID_TF_READ_HEADER, false);
    menuBar->Enable(ID_TF_SAVE_HEADER, false);
    menuBar->Check(ID_TF_SHOW_FUNCTION, transfer ? transfer->getShowFunction() : true);
    menuBar->Check(ID_TF_SHOW_GRID, true);
    menuBar->Check(ID_TF_SHOW_HULL, transfer && transfer->getShowHull());
    menuBar->Check(ID_TF_SHOW_LOG_HISTOGRAM, histogram.logarithmic());
    showClassification();
    showPresets();

    // The menu bar owns the menus from here on.
    wxMenu* menus[] = {fileMenu, resetMenu, classMenu, showMenu, presetMenu};
    for (wxMenu* m : menus)
        g_garbageCollector.remove(m);
}

void TransferFrame::buildControls()
{
    const int n = myZoom.tableSize();
    myPanel = new wxPanel(this, wxID_ANY);
    wxPanel* p = myPanel;

    // The controls in the order and groups of the window: channels, curve
    // kind, histogram scale, cursor position, axis labels and sliders, the
    // point editor, the view. Sizers place them at the toolkit's sizes.
    wxStaticBox* colours = new wxStaticBox(p, ID_TF_COLOURS_BOX, "Colours");
    static const char* const names[4] = {"Red ", "Green ", "Blue ", "Alpha "};
    static const int ids[4] = {ID_TF_RED, ID_TF_GREEN, ID_TF_BLUE, ID_TF_ALPHA};
    for (int c = 0; c < 4; ++c) {
        myChannelBoxes[c] = new wxCheckBox(p, ids[c], names[c]);
        myChannelBoxes[c]->SetValue(c == CHANNEL_ALPHA);
    }

    const wxString kinds[3] = {"Linear", "Bezier", "Free"};
    myCurveBox = new wxRadioBox(p, ID_TF_CURVE_KIND, "Curve", wxDefaultPosition, wxDefaultSize, 3, kinds, 1,
                                wxRA_SPECIFY_COLS);
    showCurveKind();

    const int scale = static_cast<int>(std::lround(histogram.getHeightScale() * 100.0f));
    myHistogramSlider = new wxSlider(p, ID_TF_HISTOGRAM_SCALE, scale < 0 ? 0 : (scale > 700 ? 700 : scale),
                                     0, 700, wxDefaultPosition, wxSize(-1, 265), wxSL_VERTICAL);

    wxStaticBox* position = new wxStaticBox(p, ID_TF_POSITION_BOX, "Position");
    wxStaticText* positionX = new wxStaticText(p, ID_TF_POSITION_X_LABEL, "X:");
    wxStaticText* positionY = new wxStaticText(p, ID_TF_POSITION_Y_LABEL, "Y:");
    myPositionX = new wxTextCtrl(p, ID_TF_POSITION_X, "x", wxDefaultPosition, wxSize(60, -1), wxTE_READONLY);
    myPositionY = new wxTextCtrl(p, ID_TF_POSITION_Y, "y", wxDefaultPosition, wxSize(60, -1), wxTE_READONLY);
    // Data values may be longer than table positions ("-1024", "0.0625").
    myPositionX->SetMaxLength(12);
    myPositionY->SetMaxLength(5);

    myLabelLeft = new wxStaticText(p, ID_TF_LABEL_LEFT, axisText(0));
    myLabelMiddle = new wxStaticText(p, ID_TF_LABEL_MIDDLE, axisText(n / 2));
    myLabelRight = new wxStaticText(p, ID_TF_LABEL_RIGHT, axisText(n));
    myZoomSlider = new wxSlider(p, ID_TF_ZOOM, n, myZoom.shownMin(), n, wxDefaultPosition, wxSize(200, -1));
    // The toolkit has no empty range; applyZoom disables the slider instead.
    myPanSlider = new wxSlider(p, ID_TF_PAN, 0, 0, 1, wxDefaultPosition, wxSize(200, -1));
    wxStaticText* zoomLabel = new wxStaticText(p, ID_TF_ZOOM_LABEL, "S");
    wxStaticText* panLabel = new wxStaticText(p, ID_TF_PAN_LABEL, "P");

    myEditBox = new wxStaticBox(p, ID_TF_EDIT_BOX, "Edit");
    wxStaticText* editX = new wxStaticText(p, ID_TF_EDIT_X_LABEL, "X:");
    wxStaticText* editY = new wxStaticText(p, ID_TF_EDIT_Y_LABEL, "Y:");
    myEditX = new wxTextCtrl(p, ID_TF_EDIT_X, "x", wxDefaultPosition, wxSize(60, -1), wxTE_PROCESS_ENTER);
    myEditY = new wxTextCtrl(p, ID_TF_EDIT_Y, "y", wxDefaultPosition, wxSize(60, -1), wxTE_PROCESS_ENTER);

    GUARDED_NEW_AS(myGLcanvas, "g_pTransferFrame->myGLcanvas", TransferGLCanvas, p, wxID_ANY,
                   wxDefaultPosition, wxSize(276, 276), "GLCanvas");
    if (myGLcanvas)
        myGLcanvas->myFrame = this;

    wxStaticBoxSizer* colourSizer = new wxStaticBoxSizer(colours, wxVERTICAL);
    for (wxCheckBox* box : myChannelBoxes)
        colourSizer->Add(box, 0, wxALL, 2);
    auto pairs = [](wxStaticBox* box, wxWindow* a, wxWindow* b, wxWindow* c, wxWindow* d) {
        wxStaticBoxSizer* sizer = new wxStaticBoxSizer(box, wxVERTICAL);
        wxFlexGridSizer* grid = new wxFlexGridSizer(2, 4, 4);
        grid->Add(a, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(b);
        grid->Add(c, 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(d);
        sizer->Add(grid, 0, wxALL, 2);
        return sizer;
    };
    wxBoxSizer* left = new wxBoxSizer(wxVERTICAL);
    left->Add(colourSizer, 0, wxEXPAND | wxBOTTOM, 3);
    left->Add(myCurveBox, 0, wxEXPAND | wxBOTTOM, 3);
    left->Add(pairs(position, positionX, myPositionX, positionY, myPositionY), 0, wxEXPAND | wxBOTTOM, 3);
    left->Add(pairs(myEditBox, editX, myEditX, editY, myEditY), 0, wxEXPAND);

    wxBoxSizer* labels = new wxBoxSizer(wxHORIZONTAL);
    labels->Add(myLabelLeft);
    labels->AddStretchSpacer();
    labels->Add(myLabelMiddle);
    labels->AddStretchSpacer();
    labels->Add(myLabelRight);
    wxFlexGridSizer* sliders = new wxFlexGridSizer(2, 0, 4);
    sliders->AddGrowableCol(1);
    sliders->Add(zoomLabel, 0, wxALIGN_CENTER_VERTICAL);
    sliders->Add(myZoomSlider, 0, wxEXPAND);
    sliders->Add(panLabel, 0, wxALIGN_CENTER_VERTICAL);
    sliders->Add(myPanSlider, 0, wxEXPAND);
    wxBoxSizer* centre = new wxBoxSizer(wxVERTICAL);
    // The view keeps its height (one pixel per value) and takes the width.
    if (myGLcanvas) {
        myGLcanvas->SetMinSize(wxSize(276, 276));
        centre->Add(myGLcanvas, 0, wxEXPAND | wxBOTTOM, 4);
    }
    centre->Add(labels, 0, wxEXPAND | wxBOTTOM, 2);
    centre->Add(sliders, 0, wxEXPAND);

    wxBoxSizer* all = new wxBoxSizer(wxHORIZONTAL);
    all->Add(left, 0, wxALL, 4);
    all->Add(centre, 1, wxTOP | wxBOTTOM | wxLEFT, 8);
    all->Add(myHistogramSlider, 0, wxALL, 4);
    p->SetSizer(all);

    // The window takes the width that gives the view its 276 pixels (one
    // table entry a pixel at first) and the height that shows every control
    // at the toolkit's sizes, and is kept at least that large.
    wxBoxSizer* frameSizer = new wxBoxSizer(wxVERTICAL);
    frameSizer->Add(p, 1, wxEXPAND);
    SetSizer(frameSizer);
    const wxSize need = frameSizer->GetMinSize();
    SetClientSize(wxSize(need.x, std::max(GetClientSize().y, need.y)));
    SetMinClientSize(need);
    Layout();
}

TransferFrame::~TransferFrame()
{
    // The next window starts with only "Alpha " checked.
    if (transfer && !myClosed)
        for (int c = 0; c < 4; ++c)
            transfer->setSelected(c, c == CHANNEL_ALPHA);
    if (myGLcanvas) {
        g_garbageCollector.remove(myGLcanvas);
        delete myGLcanvas;
        myGLcanvas = nullptr;
    }
    g_garbageCollector.remove(this);
    if (g_pTransferFrame == this)
        g_pTransferFrame = nullptr;
}

void TransferFrame::closeWindow()
{
    myClosed = true;
    if (transfer)
        for (int c = 0; c < 4; ++c)
            transfer->setSelected(c, c == CHANNEL_ALPHA);
    if (g_pTransferFrame == this)
        g_pTransferFrame = nullptr;
    // Both go with the window in the toolkit's own time, which may come
    // after the registry's report at shutdown.
    g_garbageCollector.remove(myGLcanvas);
    g_garbageCollector.remove(this);
    Destroy();
}

// ---- view, boxes and labels ----

void TransferFrame::setEditedPoint(int channel, int point)
{
    myEditChannel = channel;
    myEditPoint = point;
}

void TransferFrame::showPosition(int x, int y)
{
    myPositionX->ChangeValue(axisText(x));
    myPositionY->ChangeValue(wxString::Format("%d", y));
}

void TransferFrame::showEditedPoint(int channel, int point, int x, int y)
{
    myEditX->ChangeValue(axisText(x));
    myEditY->ChangeValue(wxString::Format("%d", y));
    myEditBox->SetLabel(wxString::Format("Edit %d/%d", channel, point));
    setEditedPoint(channel, point);
}

void TransferFrame::showCurveKind()
{
    if (myCurveBox && transfer)
        myCurveBox->SetSelection(selectionForCurveKind(transfer->curve(CHANNEL_RED).getKind()));
}

void TransferFrame::showClassification()
{
    wxMenuBar* bar = GetMenuBar();
    if (!bar)
        return;
    bar->Enable(ID_TF_PRE_CLASSIFICATION, transfer && transfer->isPaletted());
    bar->Enable(ID_TF_POST_CLASSIFICATION, cgReady);
    bar->Enable(ID_TF_PRE_INTEGRATION, cgReady);
    // A radio group always shows one item: classification 4, which has none
    // of its own, draws as pre-integration and shows as it.
    const int c = RenderMode::instance().getClassification();
    const int id = c == CLASSIFICATION_PRE_INTEGRATION_FILE ? ID_TF_PRE_INTEGRATION
                                                            : classificationCommandId(c);
    if (id)
        bar->Check(id, true);
}

void TransferFrame::showPresets()
{
    wxMenuBar* bar = GetMenuBar();
    if (!bar)
        return;
    for (size_t i = 0; i < myPresets.size(); ++i)
        bar->Enable(ID_TF_PRESET_FIRST + static_cast<int>(i), presetApplies(myPresets[i], dataScale));
}

void TransferFrame::syncFromModel()
{
    showClassification();
    showPresets();
    showCurveKind();
    wxMenuBar* bar = GetMenuBar();
    if (transfer) {
        for (int c = 0; c < 4; ++c)
            myChannelBoxes[c]->SetValue(transfer->isSelected(c));
        bar->Check(ID_TF_SHOW_FUNCTION, transfer->getShowFunction());
        bar->Check(ID_TF_SHOW_HULL, transfer->getShowHull());
    }
    if (myGLcanvas) {
        bar->Check(ID_TF_SHOW_GRID, myGLcanvas->showGrid);
        bar->Check(ID_TF_SHOW_PALETTE, myGLcanvas->showPalette);
    }
}

void TransferFrame::applyZoom()
{
    if (myZoomSlider) {
        myZoomSlider->SetRange(myZoom.shownMin(), myZoom.tableSize());
        myZoomSlider->SetValue(myZoom.shown());
    }
    if (myPanSlider) {
        const int top = myZoom.firstMax();
        myPanSlider->SetRange(0, top > 0 ? top : 1);
        myPanSlider->SetValue(myZoom.first());
        myPanSlider->Enable(top > 0);
    }
    if (myLabelLeft) {
        myLabelLeft->SetLabel(axisText(myZoom.labelLeft()));
        myLabelMiddle->SetLabel(axisText(myZoom.labelMiddle()));
        myLabelRight->SetLabel(axisText(myZoom.labelRight()));
        // Labels of another length: the row lays them out again.
        if (myPanel)
            myPanel->Layout();
    }
    if (myGLcanvas)
        applyEditorView(myZoom, *myGLcanvas, transfer);
}

void TransferFrame::adaptToTable(int maxValue)
{
    myZoom.reset(maxValue);
    myZoom.fitTo(histogram.counts());
    applyZoom();
    showPresets();
    // What was kept to undo belongs to tables of the old size.
    myHistory.clear();
    setEditedPoint(-1, -1);
}

void TransferFrame::refreshTables()
{
    transferTablesChanged(myGLcanvas);
}

// ---- actions ----

bool TransferFrame::readPaletteFile(const std::string& path)
{
    if (!transfer)
        return false;
    std::string why;
    const bool ok = readTransferFile(*transfer, path, &myHistory, &why);
    if (ok) {
        setEditedPoint(-1, -1);
        refreshTables();
    } else if (!why.empty()) {
        (g_pMainFrame ? g_pMainFrame->viewer.observer() : ViewerObserver::quiet()).warn(why, "Warning");
    }
    showCurveKind();
    return ok;
}

bool TransferFrame::savePaletteFile(const std::string& path)
{
    return transfer && transfer->writeFile(path);
}

void TransferFrame::resetCurves(bool all)
{
    if (!transfer)
        return;
    resetTransferCurves(*transfer, all, &myHistory);
    setEditedPoint(-1, -1);
    refreshTables();
}

void TransferFrame::selectClassification(int c)
{
    if (g_pMainFrame)
        g_pMainFrame->viewer.setClassification(c);
    else
        selectTransferClassification(transfer, c);
    showClassification();
    refreshTables();
}

void TransferFrame::selectCurveKind(int selection)
{
    if (!transfer)
        return;
    setTransferCurveKind(*transfer, curveKindForSelection(selection), &myHistory);
    showCurveKind();
    refreshTables();
}

void TransferFrame::setHistogramScale(int value)
{
    myHistogramSlider->SetValue(value);
    histogram.setHeightScale(static_cast<float>(myHistogramSlider->GetValue()) / 100.0f);
    myGLcanvas->redraw();
}

void TransferFrame::setZoom(int s)
{
    myZoom.setShown(s);
    applyZoom();
    myGLcanvas->redraw();
}

void TransferFrame::setPan(int p)
{
    myZoom.setFirst(p);
    applyZoom();
    myGLcanvas->redraw();
}

void TransferFrame::applyEditBoxes()
{
    if (!transfer || myEditChannel < 0 || myEditPoint < 0)
        return;
    std::string shownX;
    const TypedPoint t = applyTypedValue(*transfer, myEditChannel, myEditPoint, myEditX->GetValue().ToStdString(),
                                         myEditY->GetValue().ToStdString(), dataScale, &myHistory, &shownX);
    if (t.outcome == TypedPoint::NO_POINT) {
        setEditedPoint(-1, -1);
        return;
    }
    myEditX->ChangeValue(shownX);
    myEditY->ChangeValue(wxString::Format("%d", t.y));
    if (t.outcome != TypedPoint::ACCEPTED)
        return;
    transfer->refreshCurves();
    // A point of a channel no longer selected is still rebuilt.
    transfer->build(!transfer->isSelected(myEditChannel));
    refreshTables();
}

bool TransferFrame::applyPresetItem(size_t index)
{
    if (!transfer || index >= myPresets.size())
        return false;
    std::string why;
    if (!applyPreset(*transfer, myPresets[index], dataScale, &myHistory, &why)) {
        if (!why.empty())
            (g_pMainFrame ? g_pMainFrame->viewer.observer() : ViewerObserver::quiet()).warn(why, "Warning");
        return false;
    }
    setEditedPoint(-1, -1);
    showCurveKind();
    refreshTables();
    return true;
}

bool TransferFrame::fitToData()
{
    if (!transfer || !fitTransferToData(*transfer, histogram, &myHistory))
        return false;
    setEditedPoint(-1, -1);
    showCurveKind();
    refreshTables();
    return true;
}

bool TransferFrame::undo()
{
    return transfer && showHistoryStep(myHistory.undo(*transfer));
}

bool TransferFrame::redo()
{
    return transfer && showHistoryStep(myHistory.redo(*transfer));
}

bool TransferFrame::showHistoryStep(bool stepped)
{
    if (!stepped)
        return false;
    transfer->refreshCurves();
    transfer->build(true);
    setEditedPoint(-1, -1);
    showCurveKind();
    refreshTables();
    return true;
}

std::string TransferFrame::askForFile(const char* message, long style)
{
    wxFileDialog* dialog = nullptr;
    GUARDED_NEW_AS(dialog, "myDialog", wxFileDialog, this, message, "", "", "*.*", style);
    if (!dialog)
        return std::string();
    dialog->SetWildcard(kFileFilter);
    std::string path;
    if (dialog->ShowModal() == wxID_OK)
        path = dialog->GetPath().ToStdString();
    g_garbageCollector.remove(dialog);
    dialog->Destroy();
    return path;
}

// ---- handlers ----

void TransferFrame::OnReadFile(wxCommandEvent& WXUNUSED(event))
{
    const std::string path = askForFile("Select a file", wxFD_OPEN);
    if (!path.empty())
        readPaletteFile(path);
}

void TransferFrame::OnReadHeader(wxCommandEvent& WXUNUSED(event))
{
    // Headers carry no transfer function the program reads: the tables are
    // only rebuilt.
    if (!transfer)
        return;
    transfer->refreshCurves();
    transfer->build(true);
    refreshTables();
}

void TransferFrame::OnSaveFile(wxCommandEvent& WXUNUSED(event))
{
    const std::string path = askForFile("Choose a file", wxFD_SAVE);
    if (!path.empty())
        savePaletteFile(path);
}

void TransferFrame::OnSaveHeader(wxCommandEvent& WXUNUSED(event))
{
    // Nothing is written to headers.
}

void TransferFrame::OnExit(wxCommandEvent& WXUNUSED(event))
{
    closeWindow();
}

void TransferFrame::OnResetAll(wxCommandEvent& WXUNUSED(event))
{
    resetCurves(true);
}

void TransferFrame::OnResetSelected(wxCommandEvent& WXUNUSED(event))
{
    resetCurves(false);
}

void TransferFrame::OnClassification(wxCommandEvent& event)
{
    const int c = classificationForCommandId(event.GetId());
    if (c)
        selectClassification(c);
}

void TransferFrame::OnRebuild(wxCommandEvent& WXUNUSED(event))
{
    if (!transfer)
        return;
    transfer->build(true);
    refreshTables();
}

void TransferFrame::OnShowFunction(wxCommandEvent& WXUNUSED(event))
{
    if (transfer) {
        transfer->setShowFunction(!transfer->getShowFunction());
        GetMenuBar()->Check(ID_TF_SHOW_FUNCTION, transfer->getShowFunction());
    }
    myGLcanvas->redraw();
}

void TransferFrame::OnShowHull(wxCommandEvent& WXUNUSED(event))
{
    if (transfer) {
        transfer->setShowHull(!transfer->getShowHull());
        GetMenuBar()->Check(ID_TF_SHOW_HULL, transfer->getShowHull());
    }
    myGLcanvas->redraw();
}

void TransferFrame::OnShowGrid(wxCommandEvent& WXUNUSED(event))
{
    myGLcanvas->showGrid = !myGLcanvas->showGrid;
    GetMenuBar()->Check(ID_TF_SHOW_GRID, myGLcanvas->showGrid);
    myGLcanvas->redraw();
}

void TransferFrame::OnLogHistogram(wxCommandEvent& WXUNUSED(event))
{
    setLogHistogram(!histogram.logarithmic());
}

void TransferFrame::setLogHistogram(bool on)
{
    histogram.setLogarithmic(on);
    GetMenuBar()->Check(ID_TF_SHOW_LOG_HISTOGRAM, on);
    myGLcanvas->redraw();
}

void TransferFrame::OnShowPalette(wxCommandEvent& WXUNUSED(event))
{
    myGLcanvas->showPalette = !myGLcanvas->showPalette;
    GetMenuBar()->Check(ID_TF_SHOW_PALETTE, myGLcanvas->showPalette);
    if (myGLcanvas->showPalette && transfer) {
        transfer->build(true);
        myGLcanvas->followTables();
    }
    myGLcanvas->redraw();
}

void TransferFrame::OnChannel(wxCommandEvent& event)
{
    const int c = channelForCommandId(event.GetId());
    if (c >= 0 && transfer)
        transfer->setSelected(c, event.IsChecked());
}

void TransferFrame::OnCurveKind(wxCommandEvent& event)
{
    selectCurveKind(event.GetSelection());
}

void TransferFrame::OnHistogramScale(wxCommandEvent& event)
{
    setHistogramScale(event.GetInt());
}

void TransferFrame::OnZoom(wxCommandEvent& event)
{
    setZoom(event.GetInt());
}

void TransferFrame::OnPan(wxCommandEvent& event)
{
    setPan(event.GetInt());
}

void TransferFrame::OnEditEnter(wxCommandEvent& WXUNUSED(event))
{
    applyEditBoxes();
}

void TransferFrame::OnMenuOpen(wxMenuEvent& event)
{
    syncFromModel();
    event.Skip();
}

void TransferFrame::OnPreset(wxCommandEvent& event)
{
    applyPresetItem(static_cast<size_t>(event.GetId() - ID_TF_PRESET_FIRST));
}

void TransferFrame::OnFitToData(wxCommandEvent& WXUNUSED(event))
{
    fitToData();
}

void TransferFrame::OnChar(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE)
        closeWindow();
    else
        event.Skip();
}

void TransferFrame::OnSize(wxSizeEvent& event)
{
    // The sizers place the controls; the view takes its new width in its
    // own size event and the curves follow it there.
    event.Skip();
}

void TransferFrame::OnClose(wxCloseEvent& WXUNUSED(event))
{
    closeWindow();
}

// clang-format off
wxBEGIN_EVENT_TABLE(TransferFrame, wxFrame)
    EVT_MENU(ID_TF_READ_FILE, TransferFrame::OnReadFile)
    EVT_MENU(ID_TF_READ_HEADER, TransferFrame::OnReadHeader)
    EVT_MENU(ID_TF_SAVE_FILE, TransferFrame::OnSaveFile)
    EVT_MENU(ID_TF_SAVE_HEADER, TransferFrame::OnSaveHeader)
    EVT_MENU(ID_TF_EXIT, TransferFrame::OnExit)
    EVT_MENU(ID_TF_RESET_ALL, TransferFrame::OnResetAll)
    EVT_MENU(ID_TF_RESET_SELECTED, TransferFrame::OnResetSelected)
    EVT_MENU(ID_TF_PRE_CLASSIFICATION, TransferFrame::OnClassification)
    EVT_MENU(ID_TF_POST_CLASSIFICATION, TransferFrame::OnClassification)
    EVT_MENU(ID_TF_PRE_INTEGRATION, TransferFrame::OnClassification)
    EVT_MENU(ID_TF_PRE_INTEGRATION_FILE, TransferFrame::OnClassification)
    EVT_MENU(ID_TF_REBUILD, TransferFrame::OnRebuild)
    EVT_MENU(ID_TF_SHOW_FUNCTION, TransferFrame::OnShowFunction)
    EVT_MENU(ID_TF_SHOW_GRID, TransferFrame::OnShowGrid)
    EVT_MENU(ID_TF_SHOW_PALETTE, TransferFrame::OnShowPalette)
    EVT_MENU(ID_TF_SHOW_HULL, TransferFrame::OnShowHull)
    EVT_MENU(ID_TF_SHOW_LOG_HISTOGRAM, TransferFrame::OnLogHistogram)
    EVT_CHECKBOX(ID_TF_RED, TransferFrame::OnChannel)
    EVT_CHECKBOX(ID_TF_GREEN, TransferFrame::OnChannel)
    EVT_CHECKBOX(ID_TF_BLUE, TransferFrame::OnChannel)
    EVT_CHECKBOX(ID_TF_ALPHA, TransferFrame::OnChannel)
    EVT_RADIOBOX(ID_TF_CURVE_KIND, TransferFrame::OnCurveKind)
    EVT_SLIDER(ID_TF_HISTOGRAM_SCALE, TransferFrame::OnHistogramScale)
    EVT_SLIDER(ID_TF_ZOOM, TransferFrame::OnZoom)
    EVT_SLIDER(ID_TF_PAN, TransferFrame::OnPan)
    EVT_TEXT_ENTER(ID_TF_EDIT_X, TransferFrame::OnEditEnter)
    EVT_TEXT_ENTER(ID_TF_EDIT_Y, TransferFrame::OnEditEnter)
    EVT_MENU_RANGE(ID_TF_PRESET_FIRST, ID_TF_PRESET_LAST, TransferFrame::OnPreset)
    EVT_MENU(ID_TF_FIT_TO_DATA, TransferFrame::OnFitToData)
    EVT_MENU_OPEN(TransferFrame::OnMenuOpen)
    EVT_CHAR(TransferFrame::OnChar)
    EVT_SIZE(TransferFrame::OnSize)
    EVT_CLOSE(TransferFrame::OnClose)
wxEND_EVENT_TABLE()
// clang-format on
