// Start-up and shutdown of the real windows inside the test process.
#include "gui_support.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"

#include <gtest/gtest.h>

namespace {

TEST(Startup, NoArgumentsOpensEmptyWindow)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    ASSERT_NE(g_pMainFrame, nullptr);
    EXPECT_EQ(g_pMainFrame->GetTitle(), "glimra");
    EXPECT_EQ(g_pMainFrame->dataInfo, "No data loaded.");
    EXPECT_TRUE(g_pMainFrame->autosave);
    EXPECT_TRUE(g_pMainFrame->IsShown());
    EXPECT_NE(g_pMainFrame->myGLcanvas, nullptr);
    EXPECT_FALSE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    ASSERT_TRUE(app.close());
    const std::string log = app.log();
    EXPECT_NE(log.find("---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n\r\n"
                       "=========== LOG end ===========\r\n"),
              std::string::npos)
        << log;
}

TEST(Startup, DataOptionAsLastArgumentLoadsNothing)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({"-d"}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_FALSE(volume.isData);
    EXPECT_EQ(g_pMainFrame->dataInfo, "No data loaded.");
    EXPECT_TRUE(app.close());
}

TEST(Startup, EscapeInMainWindowCloses)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    guitest::InProcessGlimra app({}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    wxKeyEvent key(wxEVT_CHAR);
    key.m_keyCode = WXK_ESCAPE;
    key.SetEventObject(g_pMainFrame);
    g_pMainFrame->GetEventHandler()->ProcessEvent(key);
    for (int i = 0; i < 100 && g_pMainFrame; ++i)
        guitest::InProcessGlimra::pump(10);
    EXPECT_EQ(g_pMainFrame, nullptr);
    EXPECT_NE(app.log().find("=========== LOG end ===========\r\n"), std::string::npos);
}

} // namespace
