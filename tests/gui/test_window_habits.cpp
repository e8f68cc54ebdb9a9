// The habits of desktop programs in the main window: the title names the
// data, File > "Open Recent" lists the last files (kept beside
// "glimra.ini" across runs) and opens them, the mouse wheel zooms.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"
#include "wx_startup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The labels of File > "Open Recent".
std::vector<std::string> recentLabels()
{
    std::vector<std::string> labels;
    wxMenuItem* item = g_pMainFrame->GetMenuBar()->FindItem(ID_RECENT_MENU);
    if (!item || !item->GetSubMenu())
        return labels;
    for (wxMenuItem* k : item->GetSubMenu()->GetMenuItems())
        labels.push_back(k->GetItemLabelText().ToStdString());
    return labels;
}

} // namespace

TEST(WindowHabits, TitleAndRecentFilesFollowTheOpens)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string a = guitest::writeSample(tmp, "types-uchar", "first.zvf");
    const std::string b = guitest::writeSample(tmp, "types-uint16", "second.zvf");
    ASSERT_FALSE(a.empty() || b.empty());
    const std::string run = tmp.file("run");
    {
        guitest::InProcessGlimra app({"-d", a}, run);
        ASSERT_TRUE(app.started());
        EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra - first.zvf");
        ASSERT_TRUE(g_pMainFrame->openData(b));
        EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra - second.zvf");
        EXPECT_EQ(recentLabels(), (std::vector<std::string>{"1 " + b, "2 " + a}));
        // A refused file changes neither.
        ASSERT_TRUE(testsupport::writeFile(tmp.file("bad.zvf"), "not a volume"));
        EXPECT_FALSE(g_pMainFrame->openData(tmp.file("bad.zvf")));
        EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra - second.zvf");
        EXPECT_EQ(recentLabels().size(), 2u);
        // The second entry opens the first file again, which moves up.
        app.postCommand(ID_RECENT_FIRST + 1);
        EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra - first.zvf");
        EXPECT_EQ(recentLabels(), (std::vector<std::string>{"1 " + a, "2 " + b}));
        EXPECT_TRUE(app.close());
    }
    EXPECT_EQ(testsupport::readFile(run + "/" + kRecentFilesName), a + "\n" + b + "\n");
    // The next run lists them before anything is opened.
    guitest::InProcessGlimra again({}, run);
    ASSERT_TRUE(again.started());
    EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra");
    EXPECT_EQ(recentLabels(), (std::vector<std::string>{"1 " + a, "2 " + b}));
    EXPECT_TRUE(again.close());
}

TEST(WindowHabits, TheWheelZooms)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    MainGLCanvas* c = g_pMainFrame->myGLcanvas;
    const float before = volume.distance;
    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = 120;
    wheel.m_wheelDelta = 120;
    wheel.m_wheelAxis = wxMOUSE_WHEEL_VERTICAL;
    wheel.SetEventObject(c);
    c->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_FLOAT_EQ(volume.distance, before * 0.9f);
    wheel.m_wheelRotation = -120;
    c->GetEventHandler()->ProcessEvent(wheel);
    EXPECT_NEAR(volume.distance, before, 1e-5f);
    EXPECT_TRUE(app.close());
}

// File > "Open Folder..." sits under "Open"; a folder of numbered volumes
// opened as one data set is named in the title by the folder's name.
TEST(WindowHabits, AFolderOpensAsOneDataSet)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    const std::string series = tmp.file("series");
    ASSERT_EQ(::mkdir(series.c_str(), 0755), 0);
    ASSERT_FALSE(guitest::writeSample(tmp, "types-uchar", "series/t_01.zvf").empty());
    ASSERT_FALSE(guitest::writeSample(tmp, "types-uchar", "series/t_02.zvf").empty());
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    wxMenu* file = g_pMainFrame->GetMenuBar()->GetMenu(0);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->FindItemByPosition(0)->GetId(), ID_OPEN);
    EXPECT_EQ(file->FindItemByPosition(1)->GetId(), ID_OPEN_FOLDER);
    EXPECT_EQ(file->FindItemByPosition(1)->GetItemLabelText(), "Open Folder...");
    ASSERT_TRUE(g_pMainFrame->openData(series));
    EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra - series");
    EXPECT_EQ(g_pMainFrame->viewer.timePoints(), 2u);
    EXPECT_TRUE(app.close());
}
