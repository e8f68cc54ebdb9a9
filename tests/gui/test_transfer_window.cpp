// The transfer-function window started from the real main window in-process:
// commands, controls and mouse events posted to it, the curves, tables and
// textures read back, and the pictures of both views.
#include "canvas_main.h"
#include "canvas_transfer.h"
#include "command_ids.h"
#include "curve_history.h"
#include "data_scale.h"
#include "error_handling.h"
#include "gui_support.h"
#include "histogram.h"
#include "load.h"
#include "menu_main.h"
#include "menu_transfer.h"
#include "my_cg.h"
#include "render_mode.h"
#include "running_settings.h"
#include "test_support.h"
#include "transfer_function.h"
#include "transfer_presets.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/menu.h>
#include <wx/radiobox.h>
#include <wx/slider.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class TransferWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        savedClass = RenderMode::instance().getClassification();
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
        EXPECT_EQ(g_pTransferFrame, nullptr);
        RenderMode::instance().setClassification(savedClass);
        histogram.setHeightScale(1.0f);
    }
    void start(const std::vector<std::string>& args = {})
    {
        // The program files, where the program looks for them: "../Cg/".
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        app.reset(new guitest::InProcessGlimra(args, tmp.file("run")));
        ASSERT_TRUE(app->started());
        ASSERT_NE(transfer, nullptr);
    }
    // The main window's "Transfer Function"; waits for the view's set-up.
    TransferFrame* open()
    {
        app->postCommand(ID_TRANSFER_FUNCTION);
        TransferFrame* f = transferFrame();
        for (int i = 0; i < 200 && f && !(f->myGLcanvas && f->myGLcanvas->glReady()); ++i)
            guitest::InProcessGlimra::pump(10);
        return f;
    }
    void command(int id)
    {
        wxCommandEvent e(wxEVT_MENU, id);
        transferFrame()->GetEventHandler()->ProcessEvent(e);
    }
    void control(wxEventType type, int id, int value)
    {
        wxCommandEvent e(type, id);
        e.SetInt(value);
        transferFrame()->GetEventHandler()->ProcessEvent(e);
    }
    void slider(int id, int value)
    {
        static_cast<wxSlider*>(transferFrame()->FindWindow(id))->SetValue(value);
        control(wxEVT_SLIDER, id, value);
    }
    void mouse(wxEventType type, int px, int py)
    {
        wxMouseEvent e(type);
        e.m_x = px;
        e.m_y = py;
        e.m_leftDown = type == wxEVT_LEFT_DOWN || type == wxEVT_MOTION;
        e.SetEventObject(view());
        view()->GetEventHandler()->ProcessEvent(e);
    }
    // Table position x and value v pressed (and released) in the default view.
    void click(int x, int v, bool right = false)
    {
        mouse(right ? wxEVT_RIGHT_DOWN : wxEVT_LEFT_DOWN, x + 10, 266 - v);
        mouse(right ? wxEVT_RIGHT_UP : wxEVT_LEFT_UP, x + 10, 266 - v);
    }
    void key(wxEventType type, int code, bool ctrl = false, bool shift = false)
    {
        wxKeyEvent e(type);
        e.m_keyCode = code;
        e.m_controlDown = ctrl;
        e.m_shiftDown = shift;
        e.SetEventObject(view());
        view()->GetEventHandler()->ProcessEvent(e);
    }
    void closeAndWait()
    {
        for (int i = 0; i < 100 && !wxTopLevelWindows.empty() && windowsTitled("Transfer Function"); ++i)
            guitest::InProcessGlimra::pump(10);
    }
    static int windowsTitled(const char* title)
    {
        int n = 0;
        for (wxWindow* w : wxTopLevelWindows)
            n += w->GetLabel() == title && w->IsShown() && !w->IsBeingDeleted() ? 1 : 0;
        return n;
    }
    TransferGLCanvas* view() { return transferFrame()->myGLcanvas; }
    std::string text(int id) { return transferFrame()->FindWindow(id)->GetLabel().ToStdString(); }
    std::string box(int id)
    {
        return static_cast<wxTextCtrl*>(transferFrame()->FindWindow(id))->GetValue().ToStdString();
    }
    // The editor's picture from its back buffer.
    std::vector<unsigned char> editorPicture()
    {
        std::vector<unsigned char> px;
        TransferGLCanvas* v = view();
        if (!v->paintScene())
            return px;
        px.assign(static_cast<size_t>(v->width) * v->height * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, v->width, v->height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    const unsigned char* at(const std::vector<unsigned char>& px, int x, int y)
    {
        return &px[(static_cast<size_t>(y) * view()->width + x) * 4];
    }
    // The main view's picture and its palette texture, read in its context.
    std::vector<unsigned char> mainPicture()
    {
        return guitest::mainViewPicture();
    }
    std::vector<unsigned char> mainPaletteTexture()
    {
        std::vector<unsigned char> px(4 * transfer->getTableSize(), 0xCD);
        if (!g_pMainFrame->myGLcanvas->makeContextCurrent())
            return px;
        glBindTexture(GL_TEXTURE_2D, transfer->getPaletteTexture());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
    std::vector<unsigned char> palette()
    {
        return std::vector<unsigned char>(transfer->getPalette(),
                                          transfer->getPalette() + 4 * transfer->getTableSize());
    }
    void expectPoint(int c, int k, float x, float y)
    {
        const Curve& curve = transfer->curve(c);
        ASSERT_LT(k, curve.getCount()) << "channel " << c;
        EXPECT_EQ(curve.points()[k].x, x) << "channel " << c << " point " << k;
        EXPECT_EQ(curve.points()[k].y, y) << "channel " << c << " point " << k;
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
    int savedClass = 1;
};

TEST_F(TransferWindow, OneWindowWithItsMenusAndControlsClosedByEscapeExitAndCloseBox)
{
    start();
    TransferFrame* f = open();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(view()->glReady());
    EXPECT_EQ(f->GetTitle(), "Transfer Function");
    EXPECT_EQ(f->GetPosition(), wxPoint(50, 15));
    // As high as asked at least; as wide as gives the view its 276 pixels
    // with every control at the toolkit's sizes.
    EXPECT_GE(f->GetSize().y, 400);
    EXPECT_EQ(open(), f);
    EXPECT_EQ(windowsTitled("Transfer Function"), 1);
    int registered = 0;
    for (uint32_t i = 0; i < g_garbageCollector.count(); ++i) {
        const std::string name = g_garbageCollector.record(i).name;
        registered += name == "g_pTransferFrame" || name == "g_pTransferFrame->myGLcanvas";
    }
    EXPECT_EQ(registered, 2);

    wxMenuBar* bar = f->GetMenuBar();
    const struct { int id; const char* label; wxItemKind kind; bool enabled; bool checked; } items[] = {
        {12006, "Read from file", wxITEM_NORMAL, true, false},
        {12001, "Read from header", wxITEM_NORMAL, false, false},
        {12000, "Save to file", wxITEM_NORMAL, true, false},
        {12002, "Save to header", wxITEM_NORMAL, false, false},
        {12003, "Exit", wxITEM_NORMAL, true, false},
        {12004, "Reset All", wxITEM_NORMAL, true, false},
        {12005, "Reset Selected", wxITEM_NORMAL, true, false},
        {12800, "Pre Classification", wxITEM_RADIO, transfer->isPaletted(), false},
        {12900, "Post Classification", wxITEM_RADIO, cgReady, true},
        {12910, "Pre Integration", wxITEM_RADIO, cgReady, false},
        {12930, "Show function", wxITEM_CHECK, true, true},
        {12940, "Show grid", wxITEM_CHECK, true, true},
        {12920, "Show palette", wxITEM_CHECK, true, false},
        {12950, "Show hull", wxITEM_CHECK, true, false},
    };
    for (const auto& it : items) {
        wxMenuItem* item = bar->FindItem(it.id);
        ASSERT_NE(item, nullptr) << it.id;
        EXPECT_EQ(item->GetItemLabelText(), it.label) << it.id;
        EXPECT_EQ(item->GetKind(), it.kind) << it.id;
        EXPECT_EQ(item->IsEnabled(), it.enabled) << it.id;
        if (it.kind != wxITEM_NORMAL) {
            EXPECT_EQ(item->IsChecked(), it.checked) << it.id;
        }
    }
    const char* menus[] = {"&File", "&Reset", "&Classification", "&Show", "&Presets"};
    ASSERT_EQ(bar->GetMenuCount(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bar->GetMenuLabel(i), menus[i]);

    const struct { int id; const char* label; } controls[] = {
        {1111, "Colours"}, {12100, "Red "}, {12200, "Green "}, {12300, "Blue "}, {12400, "Alpha "},
        {12500, "Curve"}, {84, "Position"}, {87, "X:"}, {83, "Y:"}, {10124, "Edit"}, {10125, "X:"},
        {10126, "Y:"}, {12990, "0"}, {12991, "128"}, {12992, "256"}, {116, "S"}, {117, "P"}};
    for (const auto& c : controls) {
        wxWindow* w = f->FindWindow(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_EQ(w->GetLabel(), c.label) << c.id;
    }
    // Sizers place the controls (the listed places overlap under the
    // toolkit's sizes), in the listed order and groups: the left column
    // top to bottom, the axis labels under the view left to right, S over
    // P, the histogram slider right of the view.
    auto rect = [&](int id) { return f->FindWindow(id)->GetRect(); };
    const int column[] = {1111, 12100, 12200, 12300, 12400, 12500, 84, 87, 83, 10124, 10125, 10126};
    for (size_t i = 1; i < sizeof column / sizeof column[0]; ++i)
        EXPECT_LT(rect(column[i - 1]).y, rect(column[i]).y) << column[i];
    for (int id : {12100, 84, 10124})
        EXPECT_TRUE(rect(id - (id == 12100 ? 12100 - 1111 : 0)).Intersects(rect(id))) << id;
    EXPECT_TRUE(rect(84).Contains(rect(85)));
    EXPECT_TRUE(rect(10124).Contains(rect(13000)));
    EXPECT_LT(rect(12990).x, rect(12991).x);
    EXPECT_LT(rect(12991).x, rect(12992).x);
    EXPECT_EQ(rect(12990).y, rect(12992).y);
    EXPECT_LT(view()->GetRect().GetBottom(), rect(12990).y);
    EXPECT_LT(rect(12990).GetBottom(), rect(12970).y);
    EXPECT_LT(rect(12970).y, rect(12980).y);
    EXPECT_LT(rect(116).x, rect(12970).x);
    EXPECT_GT(rect(12960).x, view()->GetRect().GetRight());
    EXPECT_GT(view()->GetRect().x, rect(1111).GetRight());
    const struct { wxSlider* slider; int min, max, value; bool enabled; } sliders[] = {
        {f->myHistogramSlider, 0, 700, 100, true}, {f->myZoomSlider, 64, 256, 256, true},
        {f->myPanSlider, 0, 1, 0, false}}; // nothing to pan over: the toolkit has no empty range
    for (const auto& s : sliders)
        EXPECT_EQ(std::vector<int>({s.slider->GetMin(), s.slider->GetMax(), s.slider->GetValue(),
                                    s.slider->IsEnabled()}),
                  std::vector<int>({s.min, s.max, s.value, s.enabled}));
    for (int id : {12100, 12200, 12300, 12400})
        EXPECT_EQ(static_cast<wxCheckBox*>(f->FindWindow(id))->GetValue(), id == 12400) << id;
    EXPECT_EQ(f->myCurveBox->GetSelection(), 0);
    EXPECT_EQ(box(85) + box(86) + box(13000) + box(13010), "xyxy");
    EXPECT_EQ(view()->GetSize(), wxSize(276, 276));
    EXPECT_EQ(g_pMainFrame->viewer.observer().editorViewWidth(), 276);

    // Checking "Red " and pressing adds a point to red and alpha; closing
    // forgets the selection, so the next window edits alpha only.
    control(wxEVT_CHECKBOX, 12100, 1);
    EXPECT_TRUE(transfer->isSelected(CHANNEL_RED));
    click(100, 30);
    EXPECT_EQ(transfer->curve(CHANNEL_RED).getCount(), 3);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 3);
    EXPECT_EQ(box(85), "100");
    EXPECT_EQ(box(86), "30");
    key(wxEVT_CHAR, WXK_ESCAPE);
    EXPECT_EQ(g_pTransferFrame, nullptr);
    EXPECT_FALSE(transfer->isSelected(CHANNEL_RED));
    EXPECT_TRUE(transfer->isSelected(CHANNEL_ALPHA));
    closeAndWait();
    EXPECT_EQ(windowsTitled("Transfer Function"), 0);
    EXPECT_EQ(g_pMainFrame->viewer.observer().editorViewWidth(), 0);

    // The command opens it again; "Exit" closes it, and so does the close box.
    ASSERT_NE(open(), nullptr);
    EXPECT_FALSE(static_cast<wxCheckBox*>(transferFrame()->FindWindow(12100))->GetValue());
    click(150, 30);
    EXPECT_EQ(transfer->curve(CHANNEL_RED).getCount(), 3);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 4);
    command(12003);
    EXPECT_EQ(g_pTransferFrame, nullptr);
    closeAndWait();
    ASSERT_NE(open(), nullptr);
    transferFrame()->Close();
    EXPECT_EQ(g_pTransferFrame, nullptr);
    closeAndWait();
    EXPECT_EQ(windowsTitled("Transfer Function"), 0);
    // Left open, the window goes with the main window, leaving nothing in
    // the registry's report.
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(app->close());
    EXPECT_NE(app->log().find("\r\n---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n"),
              std::string::npos)
        << app->log();
}

TEST_F(TransferWindow, DraggingTheAlphaCurveChangesTablesAndTheMainPicture)
{
    SKIP_WITHOUT_DATA();
    // The ramps over the whole table, given as a palette (a load alone
    // fits the ramps to the data).
    std::string ramp;
    for (int c = 0; c < 4; ++c)
        ramp += "2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n";
    ASSERT_TRUE(testsupport::writeFile(tmp.file("ramp.pal"), ramp));
    start({"-d", testsupport::dataDir() + "/nucleon.dat", "-p", tmp.file("ramp.pal")});
    ASSERT_TRUE(volume.isData);
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(transfer->getTableSize(), 256);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).table()[128], 128);
    slider(12970, 256); // the whole table (the window fitted the nucleon's range)
    app->postCommand(ID_FRAME_RATE); // no changing text in the pictures
    const std::vector<unsigned char> before = mainPicture();
    ASSERT_FALSE(before.empty());

    // A point on the ramp at 128, then picked and dragged down to 0: the
    // values up to 128 turn transparent, those above less opaque.
    click(128, 128);
    ASSERT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 3);
    mouse(wxEVT_LEFT_DOWN, 138, 266 - 129);
    EXPECT_EQ(box(13000), "128");
    EXPECT_EQ(box(13010), "128");
    EXPECT_EQ(text(10124), "Edit 3/1");
    mouse(wxEVT_MOTION, 138, 266 - 60);
    mouse(wxEVT_MOTION, 138, 266 + 20);
    mouse(wxEVT_LEFT_UP, 138, 266 + 20);
    expectPoint(CHANNEL_ALPHA, 1, 128, 0);
    for (int i : {0, 64, 128})
        EXPECT_EQ(transfer->getPalette()[4 * i + 3], 0) << i;
    EXPECT_EQ(transfer->getPalette()[4 * 192 + 3], 128);
    EXPECT_EQ(mainPaletteTexture(), palette());
    // In the nucleon's grey (the red channel: the box outline is pure green)
    // the rim, where rays meet low values only, disappears, and the bright
    // core shows through the shell that hid part of it: more grey in all.
    const std::vector<unsigned char> after = mainPicture();
    long redBefore = 0, redAfter = 0;
    int rimCleared = 0;
    for (size_t i = 0; i < before.size(); i += 4) {
        redBefore += before[i];
        redAfter += after[i];
        rimCleared += before[i] > 8 && after[i] == 0;
    }
    EXPECT_GT(rimCleared, 1000);
    EXPECT_GT(redAfter, redBefore * 1.1) << redBefore;

    // The editor draws the point where it now is: white at (138, 10).
    std::vector<unsigned char> px = editorPicture();
    ASSERT_FALSE(px.empty());
    EXPECT_EQ(at(px, 138, 10)[0], 255);
    EXPECT_EQ(at(px, 138, 10)[2], 255);

    // A right press deletes the point, not the ends; the picture returns.
    click(255, 255, true);
    click(0, 0, true);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 3);
    click(128, 0, true);
    EXPECT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 2);
    EXPECT_EQ(transfer->getPalette()[4 * 128 + 3], 128);
    EXPECT_EQ(mainPaletteTexture(), palette());
    EXPECT_TRUE(mainPicture() == before);
}

TEST_F(TransferWindow, HistogramOfAKnownVolumeUnderItsValuesAndScaledBySlider)
{
    // 32 voxels: 10 of value 70 (the fullest bin, 255 high), 5 of 150, 17 of 0.
    std::string raw(17, '\0');
    raw += std::string(10, static_cast<char>(70));
    raw += std::string(5, static_cast<char>(150));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("known.raw"), raw));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("known.dat"),
                                       "ObjectFileName: known.raw\nResolution: 4 4 2\n"
                                       "SliceThickness: 1 1 1\nFormat: UCHAR\nObjectModel: I\n"));
    start();
    ASSERT_NE(open(), nullptr);
    command(12940); // no grid
    ASSERT_TRUE(g_pMainFrame->openData(tmp.file("known.dat")));
    // The ramps over the whole table: the fitted ones (70 ... 150) would
    // cross the bars checked below.
    command(12004);
    // The load fitted the zoom to the values used, 0 ... 150 (and one
    // entry beyond, so that the last is not on the edge).
    EXPECT_EQ(transferFrame()->zoom().first(), 0);
    EXPECT_EQ(transferFrame()->zoom().shown(), 152);
    EXPECT_EQ(text(12992), "152");
    slider(12970, 256); // the whole table
    // Bars from row 10 up to 10 + height * scale; the rows checked lie just
    // inside the top and two rows above it.
    const struct { int scale; int top70; int top150; } cases[] = {{100, 263, 136}, {50, 136, 72}, {200, 274, 263}};
    for (const auto& c : cases) {
        slider(12960, c.scale);
        EXPECT_FLOAT_EQ(histogram.getHeightScale(), c.scale / 100.0f);
        const std::vector<unsigned char> px = editorPicture();
        ASSERT_FALSE(px.empty());
        // Value 70 under column 80, value 150 under column 160, grey from row 10.
        for (int y : {12, c.top70})
            EXPECT_NEAR(at(px, 80, y)[1], 127, 1) << c.scale << " row " << y;
        if (c.top70 < 270) {
            EXPECT_EQ(at(px, 80, c.top70 + 2)[1], 0) << c.scale;
        }
        EXPECT_NEAR(at(px, 160, c.top150)[1], 127, 1) << c.scale;
        EXPECT_EQ(at(px, 160, c.top150 + 2)[1], 0) << c.scale;
        for (int x : {79, 81, 159, 161, 120})
            EXPECT_EQ(at(px, x, 40)[1], 0) << c.scale << " column " << x;
    }
}

TEST_F(TransferWindow, SavedFilesReadBackIdenticallyAndDamagedOnesChangeNothing)
{
    start();
    ASSERT_NE(open(), nullptr);
    TransferFrame* f = transferFrame();
    for (int c : {12100, 12200, 12300})
        control(wxEVT_CHECKBOX, c, 1);
    click(37, 151);
    control(wxEVT_CHECKBOX, 12200, 0);
    click(201, 13);
    click(90, 250);
    const CurvesSnapshot edited = takeCurvesSnapshot(*transfer);
    const std::vector<unsigned char> table = palette();

    ASSERT_TRUE(f->savePaletteFile(tmp.file("1.pal")));
    command(12004);
    EXPECT_NE(palette(), table);
    ASSERT_TRUE(f->readPaletteFile(tmp.file("1.pal")));
    EXPECT_TRUE(takeCurvesSnapshot(*transfer) == edited);
    EXPECT_EQ(palette(), table);
    EXPECT_EQ(mainPaletteTexture(), table);
    ASSERT_TRUE(f->savePaletteFile(tmp.file("2.pal")));
    EXPECT_EQ(testsupport::readFile(tmp.file("1.pal")), testsupport::readFile(tmp.file("2.pal")));
    EXPECT_TRUE(app->boxes().empty());

    // Damaged files: nothing changes, the box says why, the kind box stays.
    f->selectCurveKind(1);
    const CurvesSnapshot bezier = takeCurvesSnapshot(*transfer);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("short.txt"), "1.0, 1.0, 1.0, 1.0\r\n"));
    ASSERT_TRUE(testsupport::writeFile(tmp.file("cut.pal"), "3\r\n0 0\r\n0.5"));
    const struct { const char* file; const char* why; } bad[] = {
        {"short.txt", "Not supported pallete file format. (The size is not correct)"},
        {"cut.pal", "Not supported pallete file format. (The point list is damaged)"}};
    for (const auto& b : bad) {
        app->boxes().clear();
        EXPECT_FALSE(f->readPaletteFile(tmp.file(b.file)));
        ASSERT_EQ(app->boxes().size(), 1u) << b.file;
        EXPECT_EQ(app->boxes()[0].first, b.why);
        EXPECT_EQ(app->boxes()[0].second, "Warning");
        EXPECT_TRUE(takeCurvesSnapshot(*transfer) == bezier) << b.file;
        EXPECT_EQ(f->myCurveBox->GetSelection(), 1);
    }
    app->boxes().clear();
    EXPECT_FALSE(f->readPaletteFile(tmp.file("missing.pal")));
    EXPECT_TRUE(app->boxes().empty());
}

TEST_F(TransferWindow, ZoomPanAndResizeKeepPointsUnderTheCursor)
{
    start();
    TransferFrame* f = open();
    ASSERT_NE(f, nullptr);
    command(12940); // no grid
    // The view takes all the width the window gains; the histogram slider
    // stays at its right.
    const int first = f->GetSize().x;
    const int sliderGap = f->myHistogramSlider->GetPosition().x - view()->GetRect().GetRight();
    for (int width : {first, first + 100}) {
        f->SetSize(width, f->GetSize().y);
        guitest::InProcessGlimra::pump(30);
        ASSERT_EQ(view()->width, 276 + width - first);
        EXPECT_EQ(f->myHistogramSlider->GetPosition().x - view()->GetRect().GetRight(), sliderGap);
        for (int s : {64, 100, 256}) {
            slider(12970, s);
            for (int step = 0; step < 3; ++step) {
                const int p = (256 - s) * step / 2;
                slider(12980, p);
                EXPECT_EQ(text(12990), std::to_string(p));
                EXPECT_EQ(text(12991), std::to_string(p + s / 2));
                EXPECT_EQ(text(12992), std::to_string(p + s));
                command(12004);
                const int column = view()->width / 2 + 7;
                mouse(wxEVT_LEFT_DOWN, column, 266 - 128);
                mouse(wxEVT_LEFT_UP, column, 266 - 128);
                const int x = view()->tableX(column);
                ASSERT_EQ(transfer->curve(CHANNEL_ALPHA).getCount(), 3) << s << " " << p;
                expectPoint(CHANNEL_ALPHA, 1, x, 128);
                EXPECT_EQ(box(85), std::to_string(x));
                // The point is drawn in the column that was pressed.
                const std::vector<unsigned char> px = editorPicture();
                ASSERT_FALSE(px.empty());
                bool white = false;
                for (int dx = -1; dx <= 0; ++dx)
                    white = white || (at(px, column + dx, 138)[0] == 255 && at(px, column + dx, 138)[2] == 255);
                EXPECT_TRUE(white) << width << " " << s << " " << p;
            }
        }
    }

    // 16-bit data brings 4096 entries: the load sets the sliders to the
    // entries the data use, the labels in the data's values, and the views.
    const std::string wide = guitest::writeSample(tmp, "types-uint16", "wide.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(wide));
    ASSERT_EQ(transfer->getTableSize(), 4096);
    EXPECT_EQ(f->myZoomSlider->GetMax(), 4096);
    int used = -1, last = -1;
    for (int e = 0; e < 4096; ++e)
        if (histogram.counts()[e]) {
            used = used < 0 ? e : used;
            last = e;
        }
    ASSERT_GE(used, 0);
    const int s = f->myZoomSlider->GetValue(), p = f->myPanSlider->GetValue();
    EXPECT_EQ(p, used);
    EXPECT_EQ(s, std::min(4096, std::max(64, last + 2 - used)));
    EXPECT_EQ(text(12990) + " " + text(12992),
              dataScale.format(dataScale.value(p)) + " " + dataScale.format(dataScale.value(p + s)));
    const Curve& a = transfer->curve(CHANNEL_ALPHA);
    EXPECT_EQ(std::vector<int>({a.getViewOffset(), a.getViewCount(), a.getViewWidth()}),
              std::vector<int>({p - 10, s + 20, view()->width}));
}

TEST_F(TransferWindow, UndoAndRedoRestoreCurvesAndTablesOfEveryEdit)
{
    start();
    ASSERT_NE(open(), nullptr);
    TransferFrame* f = transferFrame();
    // Four flat channels at 127.
    std::string flat;
    for (int c = 0; c < 4; ++c)
        flat += "2\r\n0.000000 0.500000\r\n1.000000 0.500000\r\n\r\n";
    ASSERT_TRUE(testsupport::writeFile(tmp.file("flat.pal"), flat));
    const struct { const char* name; std::function<void()> edit; } edits[] = {
        {"add", [&] { click(60, 200); }},
        {"drag", [&] {
             mouse(wxEVT_LEFT_DOWN, 70, 66);
             mouse(wxEVT_MOTION, 100, 120);
             mouse(wxEVT_LEFT_UP, 100, 120);
         }},
        {"typed", [&] {
             click(90, 146);
             // Past the right neighbour, then no number: refused, boxes restored.
             for (const char* x : {"300", "9x"}) {
                 static_cast<wxTextCtrl*>(f->FindWindow(13000))->ChangeValue(x);
                 control(wxEVT_TEXT_ENTER, 13000, 0);
                 EXPECT_EQ(box(13000) + "," + box(13010), "90,146");
             }
             static_cast<wxTextCtrl*>(f->FindWindow(13010))->ChangeValue("999");
             control(wxEVT_TEXT_ENTER, 13010, 0);
             EXPECT_EQ(box(13010), "255"); // clamped
         }},
        {"kind", [&] { control(wxEVT_RADIOBOX, 12500, 2); }},
        {"paint", [&] {
             mouse(wxEVT_LEFT_DOWN, 30, 100);
             mouse(wxEVT_MOTION, 90, 200);
             mouse(wxEVT_LEFT_UP, 90, 200);
         }},
        {"reset", [&] { command(12004); }},
        {"delete", [&] {
             control(wxEVT_RADIOBOX, 12500, 0);
             click(128, 40);
             click(128, 40, true);
         }},
        {"read", [&] { f->readPaletteFile(tmp.file("flat.pal")); }},
    };
    std::vector<CurvesSnapshot> states{takeCurvesSnapshot(*transfer)};
    std::vector<std::vector<unsigned char>> tables{palette()};
    for (const auto& e : edits) {
        e.edit();
        states.push_back(takeCurvesSnapshot(*transfer));
        tables.push_back(palette());
        EXPECT_TRUE(states.back() != states[states.size() - 2]) << e.name;
    }
    // Ctrl+Z steps back through every edit, the main view's texture with it.
    for (size_t i = states.size() - 1; i > 0; --i) {
        if (std::string(edits[i - 1].name) == "delete") {
            // "delete" was a kind change, an addition and a deletion: three steps.
            key(wxEVT_KEY_DOWN, 'Z', true);
            key(wxEVT_KEY_DOWN, 'Z', true);
        }
        key(wxEVT_KEY_DOWN, 'Z', true);
        EXPECT_TRUE(takeCurvesSnapshot(*transfer) == states[i - 1]) << "undo " << edits[i - 1].name;
        EXPECT_EQ(palette(), tables[i - 1]) << "undo " << edits[i - 1].name;
        EXPECT_EQ(mainPaletteTexture(), tables[i - 1]) << "undo " << edits[i - 1].name;
    }
    EXPECT_FALSE(f->undo());
    // Ctrl+Y and Ctrl+Shift+Z go forward again.
    for (size_t i = 1; i < states.size(); ++i) {
        const int steps = std::string(edits[i - 1].name) == "delete" ? 3 : 1;
        for (int k = 0; k < steps; ++k)
            key(wxEVT_KEY_DOWN, (i + k) % 2 ? 'Y' : 'Z', true, (i + k) % 2 == 0);
        EXPECT_TRUE(takeCurvesSnapshot(*transfer) == states[i]) << "redo " << edits[i - 1].name;
        EXPECT_EQ(palette(), tables[i]) << "redo " << edits[i - 1].name;
    }
    EXPECT_FALSE(f->redo());
    EXPECT_EQ(f->myCurveBox->GetSelection(), 0);
}

TEST_F(TransferWindow, ClassificationAndCurveKindFollowTheRenderModeAndTheSettingsFile)
{
    start();
    ASSERT_NE(open(), nullptr);
    wxMenuBar* bar = transferFrame()->GetMenuBar();
    if (cgReady) {
        const struct { int id; int c; int shown; } cases[] = {
            {12910, 3, 12910}, {12911, 4, 12910}, {12900, 1, 12900}};
        for (const auto& k : cases) {
            command(k.id);
            EXPECT_EQ(RenderMode::instance().getClassification(), k.c) << k.id;
            EXPECT_TRUE(bar->IsChecked(k.shown)) << k.id;
        }
    }
    // The settings file's classification and curve kind reach the window.
    const std::string ini = tmp.file("other.ini");
    Settings s;
    g_pMainFrame->viewer.settings().gather(s);
    s.mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    s.curveKind = CURVE_FREE;
    ASSERT_TRUE(writeSettingsFile(ini, s));
    ASSERT_TRUE(loadSettings(g_pMainFrame->viewer.settings(), ini));
    EXPECT_TRUE(bar->IsChecked(12910));
    EXPECT_EQ(transferFrame()->myCurveBox->GetSelection(), 2);
    // "Free" chosen in the window goes to all four curves and to the file.
    control(wxEVT_RADIOBOX, 12500, 0);
    command(12900);
    control(wxEVT_RADIOBOX, 12500, 2);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(transfer->curve(c).getKind(), CURVE_FREE);
    ASSERT_TRUE(saveSettings(g_pMainFrame->viewer.settings(), ini));
    const std::string saved = testsupport::readFile(ini);
    EXPECT_NE(saved.find("Curve:\t2\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Classification:\t1\r\n"), std::string::npos);
}

} // namespace

// The "Presets" menu: the shipped palette files and "Fit to data"; the
// presets in Hounsfield units only for data in them; each one an edit that
// Ctrl+Z takes back.
TEST_F(TransferWindow, PresetsMenuFollowsTheDataAndItsEditsUndo)
{
    // The shipped presets where the program looks for them: "../presets/".
    ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/presets", tmp.file("presets").c_str()), 0);
    const std::string phantom = guitest::writeSample(tmp, "phantom", "phantom.zvf");
    start({"-d", phantom});
    TransferFrame* f = open();
    ASSERT_NE(f, nullptr);
    wxMenuBar* bar = f->GetMenuBar();
    wxMenu* presets = bar->GetMenu(4);
    std::vector<std::string> labels;
    for (wxMenuItem* item : presets->GetMenuItems())
        labels.push_back(item->GetItemLabelText().ToStdString());
    for (const char* name : {"CT bone", "CT lung", "CT soft tissue", "MR default", "Maximum intensity ramp",
                             "Fit to data"})
        EXPECT_NE(std::find(labels.begin(), labels.end(), name), labels.end()) << name;
    size_t boneIndex = f->presets().size();
    for (size_t i = 0; i < f->presets().size(); ++i) {
        EXPECT_TRUE(bar->IsEnabled(ID_TF_PRESET_FIRST + static_cast<int>(i))) << i;
        if (f->presets()[i].name == "CT bone")
            boneIndex = i;
    }
    ASSERT_LT(boneIndex, f->presets().size());

    const std::vector<unsigned char> fitted = palette();
    command(ID_TF_PRESET_FIRST + static_cast<int>(boneIndex));
    EXPECT_NE(palette(), fitted);
    EXPECT_EQ(mainPaletteTexture(), palette());
    key(wxEVT_KEY_DOWN, 'Z', true);
    EXPECT_EQ(palette(), fitted);
    command(12004);
    command(ID_TF_FIT_TO_DATA);
    EXPECT_EQ(palette(), fitted);

    // 8-bit data without units: the presets in Hounsfield units go grey.
    SKIP_WITHOUT_DATA();
    ASSERT_TRUE(g_pMainFrame->openData(testsupport::dataDir() + "/nucleon.dat"));
    for (size_t i = 0; i < f->presets().size(); ++i)
        EXPECT_EQ(bar->IsEnabled(ID_TF_PRESET_FIRST + static_cast<int>(i)), !f->presets()[i].hounsfield) << i;
}

// Data units on the editor's axis: the phantom stores HU + 1024 in 12 bits;
// the labels, the cursor box and the edit box show Hounsfield units, and a
// value typed in them lands on its table entry.
TEST_F(TransferWindow, AxisAndBoxesInTheDataUnits)
{
    const std::string phantom = guitest::writeSample(tmp, "phantom", "phantom.zvf");
    start({"-d", phantom});
    TransferFrame* f = open();
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(dataScale.hounsfield());
    ASSERT_EQ(transfer->getTableSize(), 4096);
    // Whole table: the left label is the HU of entry 0 (air, about -1014).
    slider(12970, 4096);
    slider(12980, 0);
    EXPECT_EQ(text(12990), dataScale.format(dataScale.value(0)));
    EXPECT_NEAR(std::stod(text(12990)), -1024.0 + 10.0, 12.0);
    EXPECT_EQ(text(12992), dataScale.format(dataScale.value(4096)));
    // The cursor over entry x shows its HU.
    command(12004);
    const int column = 138;
    mouse(wxEVT_MOTION, column, 100);
    EXPECT_EQ(box(85), dataScale.format(dataScale.value(view()->tableX(column))));

    // A point, picked; 1200 HU typed lands on the bone's entry, shown back in HU.
    mouse(wxEVT_LEFT_DOWN, column, 266 - 128);
    mouse(wxEVT_LEFT_UP, column, 266 - 128);
    mouse(wxEVT_LEFT_DOWN, column, 266 - 128);
    mouse(wxEVT_LEFT_UP, column, 266 - 128);
    ASSERT_EQ(text(10124), "Edit 3/1");
    static_cast<wxTextCtrl*>(f->FindWindow(13000))->ChangeValue("1200");
    control(wxEVT_TEXT_ENTER, 13000, 0);
    int entry = -1;
    ASSERT_TRUE(dataScale.parse("1200", &entry));
    EXPECT_EQ(dataScale.entryOf(1200), entry);
    expectPoint(CHANNEL_ALPHA, 1, entry, 128);
    EXPECT_EQ(box(13000), dataScale.format(dataScale.value(entry)));
    EXPECT_NEAR(std::stod(box(13000)), 1200.0, 1.0);
    // A value beyond the table is refused like a position past the neighbour.
    static_cast<wxTextCtrl*>(f->FindWindow(13000))->ChangeValue("5000");
    control(wxEVT_TEXT_ENTER, 13000, 0);
    expectPoint(CHANNEL_ALPHA, 1, entry, 128);
    EXPECT_EQ(box(13000), dataScale.format(dataScale.value(entry)));

    // The histogram's check item switches the bars to log(1 + count).
    EXPECT_FALSE(f->GetMenuBar()->IsChecked(ID_TF_SHOW_LOG_HISTOGRAM));
    command(ID_TF_SHOW_LOG_HISTOGRAM);
    EXPECT_TRUE(histogram.logarithmic());
    EXPECT_TRUE(f->GetMenuBar()->IsChecked(ID_TF_SHOW_LOG_HISTOGRAM));
    command(ID_TF_SHOW_LOG_HISTOGRAM);
    EXPECT_FALSE(histogram.logarithmic());
}
