// The information window driven in-process: the OpenGL page lists what the
// main view's context reports, the data page follows every load (failed ones
// too), and the window exists once.
#include "canvas_main.h"
#include "command_ids.h"
#include "error_handling.h"
#include "gl_report.h"
#include "gui_support.h"
#include "menu_data.h"
#include "menu_main.h"
#include "sample_volumes.h"
#include "test_support.h"
#include "zvf.h"

#include <gtest/gtest.h>
#include <wx/notebook.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

class InformationWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guitest::haveDisplay())
            GTEST_SKIP() << "no X display";
    }
    void TearDown() override
    {
        if (app) {
            EXPECT_TRUE(app->close());
        }
        app.reset();
    }
    void start()
    {
        app.reset(new guitest::InProcessGlimra({}, tmp.file("run")));
        ASSERT_TRUE(app->started());
    }
    DataFrame* openWindow()
    {
        app->postCommand(ID_DATA_INFO);
        return dataFrame();
    }
    std::string text(int id)
    {
        wxWindow* w = g_pDataFrame ? g_pDataFrame->FindWindow(id) : nullptr;
        wxTextCtrl* t = w ? wxDynamicCast(w, wxTextCtrl) : nullptr;
        return t ? std::string(t->GetValue().utf8_str()) : std::string("(no text control)");
    }
    int registered(const char* name) const
    {
        int n = 0;
        for (uint32_t i = 0; i < g_garbageCollector.count(); ++i)
            n += std::string(g_garbageCollector.record(i).name) == name;
        return n;
    }

    testsupport::TempDir tmp;
    std::unique_ptr<guitest::InProcessGlimra> app;
};

std::vector<std::string> words(const char* s)
{
    std::vector<std::string> out;
    std::istringstream in(s ? s : "");
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

TEST_F(InformationWindow, OpenGLPageListsWhatTheContextReports)
{
    start();
    DataFrame* frame = openWindow();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetTitle(), "Data Info");
    EXPECT_EQ(frame->GetParent(), nullptr);
    EXPECT_EQ(frame->GetWindowStyleFlag() & wxRESIZE_BORDER, 0);
    EXPECT_EQ(frame->GetPosition(), wxPoint(150, 15));
    EXPECT_EQ(frame->GetSize(), wxSize(350, 400));
    ASSERT_NE(frame->GetMenuBar(), nullptr);
    EXPECT_EQ(frame->GetMenuBar()->GetMenuLabelText(0), "Close");
    EXPECT_EQ(frame->GetMenuBar()->GetLabel(ID_DATA_EXIT), "Exit");
    wxNotebook* book = wxDynamicCast(frame->FindWindow(ID_DATA_NOTEBOOK), wxNotebook);
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->GetPageCount(), 2u);
    EXPECT_EQ(book->GetPageText(0), "OpenGL information");
    EXPECT_EQ(book->GetPageText(1), "Data information");
    EXPECT_EQ(book->GetSelection(), 0);
    for (int id : {ID_DATA_GL_TEXT, ID_DATA_TEXT}) {
        wxTextCtrl* t = wxDynamicCast(frame->FindWindow(id), wxTextCtrl);
        ASSERT_NE(t, nullptr) << id;
        EXPECT_TRUE(t->IsMultiLine()) << id;
        EXPECT_FALSE(t->IsEditable()) << id;
    }

    // The report of the main view's context, made when the window was.
    ASSERT_TRUE(g_pMainFrame->myGLcanvas->makeContextCurrent());
    const std::string report = text(ID_DATA_GL_TEXT);
    EXPECT_EQ(report, currentGLReport());
    const std::string vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    EXPECT_EQ(report.rfind("GL_VENDOR\t\t" + vendor + "\n", 0), 0u) << report;

    // After "EXTENSIONS:" one line a name: exactly the context's names.
    const std::string mark = "\nEXTENSIONS:\n";
    const size_t at = report.find(mark);
    ASSERT_NE(at, std::string::npos);
    std::vector<std::string> lines;
    std::istringstream in(report.substr(at + mark.size()));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, words(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS))));
    EXPECT_EQ(report.back(), '\n');
}

TEST_F(InformationWindow, DataPageFollowsEveryLoad)
{
    start();
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(text(ID_DATA_TEXT), "No data loaded.");

    const std::string one = guitest::writeSample(tmp, "types-uchar", "one.zvf");
    const std::string two = guitest::writeSample(tmp, "types-uint16", "two.zvf");
    ASSERT_TRUE(g_pMainFrame->openData(one));
    EXPECT_EQ(text(ID_DATA_TEXT), g_pMainFrame->dataInfo);
    EXPECT_EQ(text(ID_DATA_TEXT).rfind("Data file name:\tone.zvf\nResolution:\t32 24 16\n", 0), 0u)
        << text(ID_DATA_TEXT);
    ASSERT_TRUE(g_pMainFrame->openData(two));
    EXPECT_EQ(text(ID_DATA_TEXT).rfind("Data file name:\ttwo.zvf\n", 0), 0u);
    EXPECT_EQ(text(ID_DATA_TEXT).find("one.zvf"), std::string::npos);

    // Five bands of 16 bits: refused, and the page still describes the data on screen.
    SampleVolume five;
    five.nx = 4;
    five.ny = 3;
    five.nz = 2;
    five.nbands = 5;
    five.dtype = zvfUInt16;
    five.data.assign(five.voxelCount() * 5 * 2, 7);
    ASSERT_TRUE(writeSampleVolume(five, tmp.file("five.zvf")));
    EXPECT_FALSE(g_pMainFrame->openData(tmp.file("five.zvf")));
    EXPECT_EQ(text(ID_DATA_TEXT), g_pMainFrame->dataInfo);
    EXPECT_EQ(text(ID_DATA_TEXT).rfind("Data file name:\ttwo.zvf\n", 0), 0u) << text(ID_DATA_TEXT);

    // So does a file whose slices cannot be read.
    std::string bytes = testsupport::readFile(one);
    bytes.resize(bytes.size() - 40);
    ASSERT_TRUE(testsupport::writeFile(tmp.file("short.zvf"), bytes));
    EXPECT_FALSE(g_pMainFrame->openData(tmp.file("short.zvf")));
    EXPECT_EQ(text(ID_DATA_TEXT), g_pMainFrame->dataInfo);
    EXPECT_EQ(text(ID_DATA_TEXT).rfind("Data file name:\ttwo.zvf\n", 0), 0u) << text(ID_DATA_TEXT);
}

TEST_F(InformationWindow, OneWindowThatEscapeAndExitClose)
{
    start();
    DataFrame* first = openWindow();
    ASSERT_NE(first, nullptr);
    first->Show(false);
    EXPECT_EQ(openWindow(), first);
    EXPECT_TRUE(first->IsShown());
    EXPECT_EQ(registered("g_pDataFrame"), 1);

    // Escape in the text closes it; the command makes a new one.
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    wxWindow* t = first->FindWindow(ID_DATA_TEXT);
    escape.SetEventObject(t);
    t->GetEventHandler()->ProcessEvent(escape);
    guitest::InProcessGlimra::pump(50);
    EXPECT_EQ(g_pDataFrame, nullptr);
    EXPECT_EQ(registered("g_pDataFrame"), 0);

    DataFrame* second = openWindow();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(registered("g_pDataFrame"), 1);
    // Other keys pass.
    wxKeyEvent other(wxEVT_CHAR_HOOK);
    other.m_keyCode = 'a';
    other.SetEventObject(second);
    second->GetEventHandler()->ProcessEvent(other);
    EXPECT_EQ(g_pDataFrame, second);

    wxCommandEvent exit(wxEVT_MENU, ID_DATA_EXIT);
    exit.SetEventObject(second);
    second->GetEventHandler()->ProcessEvent(exit);
    guitest::InProcessGlimra::pump(50);
    EXPECT_EQ(g_pDataFrame, nullptr);

    // Open at shutdown: the main window takes it along.
    ASSERT_NE(openWindow(), nullptr);
    ASSERT_TRUE(app->close());
    EXPECT_EQ(g_pDataFrame, nullptr);
    const std::string log = app->log();
    EXPECT_NE(log.find("---GARBAGE COLLECTOR---"), std::string::npos);
    EXPECT_EQ(log.find("g_pDataFrame"), std::string::npos);
}

TEST_F(InformationWindow, WithoutMainWindowTheDataPageSaysUnknownError)
{
    ASSERT_EQ(g_pMainFrame, nullptr);
    DataFrame* frame = new DataFrame(nullptr, "Data Info", wxPoint(150, 15), wxSize(350, 400),
                                     wxDEFAULT_FRAME_STYLE & ~wxRESIZE_BORDER);
    g_pDataFrame = frame;
    EXPECT_EQ(text(ID_DATA_TEXT), "Unknown error.");
    EXPECT_EQ(text(ID_DATA_GL_TEXT), "No OpenGL context.");
    frame->Destroy();
    guitest::InProcessGlimra::pump(50);
    EXPECT_EQ(g_pDataFrame, nullptr);
}

} // namespace
