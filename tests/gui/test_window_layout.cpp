// The tool windows under the toolkit's own control sizes: every control of
// the transfer-function and settings windows lies inside its window and its
// page, at no less than the size it asks for, over no other control, at
// their first size and after resizing; the toolkit prints no warning while
// the windows are opened, used and resized; free-hand painting works in a
// resized editor.
#include "canvas_transfer.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "menu_settings.h"
#include "menu_transfer.h"
#include "test_support.h"
#include "transfer_function.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/notebook.h>
#include <wx/scrolbar.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Standard error into a file while it lives; the lines the toolkit wrote
// as warnings or criticals are then counted.
class StderrCapture
{
public:
    explicit StderrCapture(const std::string& path) : myPath(path)
    {
        std::fflush(stderr);
        mySaved = ::dup(2);
        FILE* f = std::fopen(path.c_str(), "w");
        if (f) {
            ::dup2(fileno(f), 2);
            std::fclose(f);
        }
    }
    ~StderrCapture() { restore(); }
    // Standard error as it was; the toolkit's warning and critical lines.
    std::vector<std::string> restore()
    {
        if (mySaved >= 0) {
            std::fflush(stderr);
            ::dup2(mySaved, 2);
            ::close(mySaved);
            mySaved = -1;
        }
        std::vector<std::string> lines;
        std::istringstream in(testsupport::readFile(myPath));
        for (std::string line; std::getline(in, line);)
            if (line.find("Gtk-WARNING") != std::string::npos || line.find("Gtk-CRITICAL") != std::string::npos)
                lines.push_back(line);
        return lines;
    }

private:
    std::string myPath; // where standard error goes meanwhile
    int mySaved = -1;   // the real standard error
};

std::string describe(wxWindow* w)
{
    std::ostringstream s;
    s << wxString(w->GetClassInfo()->GetClassName()).ToStdString() << " " << w->GetId() << " \"" << w->GetLabel() << "\"";
    return s.str();
}

wxRect screenRect(wxWindow* w)
{
    return wxRect(w->GetScreenPosition(), w->GetSize());
}

wxRect clientScreenRect(wxWindow* w)
{
    return wxRect(w->ClientToScreen(wxPoint(0, 0)), w->GetClientSize());
}

// The controls shown on screen below w (notebook pages not selected are
// hidden); containers (panels, notebooks) are gone through, not listed.
void shownControls(wxWindow* w, std::vector<wxWindow*>& out)
{
    for (wxWindow* c : w->GetChildren()) {
        if (!c->IsShownOnScreen() || c->IsTopLevel() || wxDynamicCast(c, wxStatusBar))
            continue;
        const bool container = wxDynamicCast(c, wxPanel) || wxDynamicCast(c, wxNotebook);
        if (container)
            shownControls(c, out);
        else
            out.push_back(c);
    }
}

// What is wrong with the layout of top as it is on screen: controls of no
// size, outside the window or their page, smaller than the toolkit asks,
// over one another or across a group box's edge.
std::vector<std::string> layoutFaults(wxWindow* top)
{
    std::vector<std::string> faults;
    std::vector<wxWindow*> controls;
    shownControls(top, controls);
    const wxRect client = clientScreenRect(top);
    for (wxWindow* c : controls) {
        const wxRect r = screenRect(c);
        if (r.width <= 0 || r.height <= 0)
            faults.push_back(describe(c) + " has no size");
        if (!client.Contains(r))
            faults.push_back(describe(c) + " reaches outside the window");
        if (!clientScreenRect(c->GetParent()).Contains(r))
            faults.push_back(describe(c) + " reaches outside its page");
        const wxSize best = c->GetBestSize();
        const bool heightOnly = wxDynamicCast(c, wxTextCtrl) || wxDynamicCast(c, wxScrollBar) ||
                                (wxDynamicCast(c, wxSlider) && !c->HasFlag(wxSL_VERTICAL));
        const bool widthOnly = wxDynamicCast(c, wxSlider) && c->HasFlag(wxSL_VERTICAL);
        if ((!widthOnly && r.height < best.y) || (!heightOnly && r.width < best.x))
            faults.push_back(describe(c) + " is smaller than it asks");
    }
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            wxWindow* a = controls[i];
            wxWindow* b = controls[j];
            const bool boxA = wxDynamicCast(a, wxStaticBox) != nullptr;
            const bool boxB = wxDynamicCast(b, wxStaticBox) != nullptr;
            const wxRect ra = screenRect(a), rb = screenRect(b);
            if (!ra.Intersects(rb))
                continue;
            // A group box holds controls wholly or not at all.
            if (boxA != boxB) {
                if (!(boxA ? ra.Contains(rb) : rb.Contains(ra)))
                    faults.push_back(describe(a) + " and " + describe(b) + " cross");
            } else {
                faults.push_back(describe(a) + " overlaps " + describe(b));
            }
        }
    return faults;
}

// A picture of the window as the screen shows it, where the environment
// asks for them (GLIMRA_TEST_PICTURES names a folder).
void keepPicture(wxWindow* top, const std::string& name)
{
    const char* dir = std::getenv("GLIMRA_TEST_PICTURES");
    if (!dir)
        return;
    const wxRect r = screenRect(top);
    wxBitmap bitmap(r.width, r.height);
    wxMemoryDC memory(bitmap);
    wxScreenDC screen;
    memory.Blit(0, 0, r.width, r.height, &screen, r.x, r.y);
    memory.SelectObject(wxNullBitmap);
    bitmap.SaveFile(std::string(dir) + "/" + name + ".png", wxBITMAP_TYPE_PNG);
}

class WindowLayout : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }
    static void settle() { guitest::InProcessGlimra::pump(120); }
    // The faults of top after each notebook page was shown in turn.
    static void expectTidy(wxWindow* top, const std::string& when)
    {
        settle();
        std::vector<wxNotebook*> books;
        for (wxWindow* c : top->GetChildren())
            if (wxNotebook* b = wxDynamicCast(c, wxNotebook))
                books.push_back(b);
        if (books.empty()) {
            keepPicture(top, when);
            for (const std::string& f : layoutFaults(top))
                ADD_FAILURE() << when << ": " << f;
            return;
        }
        for (wxNotebook* b : books)
            for (size_t page = 0; page < b->GetPageCount(); ++page) {
                b->SetSelection(page);
                settle();
                keepPicture(top, when + "-" + std::to_string(page));
                for (const std::string& f : layoutFaults(top))
                    ADD_FAILURE() << when << ", page " << page << ": " << f;
            }
    }
    // Table position under pixel column px of the editor, and a press and
    // drag there at value v.
    void paint(TransferGLCanvas* view, wxEventType type, int px, int v)
    {
        wxMouseEvent e(type);
        e.m_x = px;
        e.m_y = view->height - 10 - v;
        e.m_leftDown = type != wxEVT_LEFT_UP;
        e.SetEventObject(view);
        view->GetEventHandler()->ProcessEvent(e);
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
};

} // namespace

TEST_F(WindowLayout, ToolWindowsShowEveryControlWithoutToolkitWarnings)
{
    StderrCapture capture(tmp.file("stderr.txt"));
    const std::string data = guitest::writeSample(tmp, "phantom", "phantom.zvf");
    app.reset(new guitest::InProcessGlimra({"-d", data}, tmp.file("run")));
    ASSERT_TRUE(app->started());

    app->postCommand(ID_TRANSFER_FUNCTION);
    TransferFrame* tf = transferFrame();
    ASSERT_NE(tf, nullptr);
    expectTidy(tf, "transfer");
    app->postCommand(ID_SETTINGS);
    SettingsFrame* sf = settingsFrame();
    ASSERT_NE(sf, nullptr);
    expectTidy(sf, "settings");

    // Larger, then as small as the windows let themselves be made.
    for (wxFrame* f : {static_cast<wxFrame*>(tf), static_cast<wxFrame*>(sf)}) {
        const wxSize first = f->GetSize();
        const std::string name = f == tf ? "transfer" : "settings";
        f->SetSize(first.x + 160, first.y + 90);
        expectTidy(f, name + "-larger");
        f->SetSize(first.x - 200, first.y - 150);
        expectTidy(f, name + "-smaller");
        EXPECT_GE(f->GetSize().x, first.x - 1) << name;
        EXPECT_GE(f->GetSize().y, first.y - 1) << name;
        f->SetSize(first);
        settle();
    }

    // Free-hand painting in a widened editor: every entry the stroke passes
    // takes its value.
    tf->selectCurveKind(2);
    tf->SetSize(tf->GetSize().x + 150, tf->GetSize().y);
    settle();
    TransferGLCanvas* view = tf->myGLcanvas;
    ASSERT_GT(view->width, 276 + 100);
    const int from = view->tableX(100), to = view->tableX(200);
    ASSERT_LT(from + 20, to);
    paint(view, wxEVT_LEFT_DOWN, 100, 40);
    paint(view, wxEVT_MOTION, 200, 40);
    paint(view, wxEVT_LEFT_UP, 200, 40);
    const unsigned char* alpha = transfer->curve(CHANNEL_ALPHA).table();
    for (int x = from; x < to; ++x)
        EXPECT_EQ(alpha[x], 40) << x;
    EXPECT_EQ(transfer->getPalette()[4 * ((from + to) / 2) + 3], 40);

    // Using the controls: sliders, boxes, the point editor.
    tf->setZoom(100);
    tf->setPan(50);
    tf->setHistogramScale(300);
    sf->SetFocus();
    settle();
    EXPECT_TRUE(app->close());
    app.reset();
    const std::vector<std::string> warnings = capture.restore();
    EXPECT_EQ(warnings.size(), 0u);
    for (size_t i = 0; i < warnings.size() && i < 10; ++i)
        ADD_FAILURE() << warnings[i];
}
