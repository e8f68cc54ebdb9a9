// The main window's outer size and place survive exits, also those made with
// tool windows open: the window is then hidden while it is destroyed, and a
// hidden window reports its size without the window manager's frame.
#include "command_ids.h"
#include "gui_support.h"
#include "menu_main.h"
#include "settings_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

TEST(WindowGeometry, KeptOverExitsWithToolWindowsOpen)
{
    SKIP_WITHOUT_DISPLAY();
    testsupport::TempDir tmp;
    Settings s;
    s.width = 700;
    s.height = 520;
    s.x = 20;
    s.y = 30;
    ASSERT_TRUE(writeSettingsFile(tmp.file("glimra.ini"), s));
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        guitest::InProcessGlimra app({}, tmp.path());
        ASSERT_TRUE(app.started());
        guitest::InProcessGlimra::pump(100);
        const wxSize shown = g_pMainFrame->GetSize();
        EXPECT_EQ(shown.x, 700);
        EXPECT_EQ(shown.y, 520);
        app.postCommand(ID_TRANSFER_FUNCTION);
        app.postCommand(ID_SETTINGS);
        guitest::InProcessGlimra::pump(100);
        // What destroying the window beside other shown windows does first.
        g_pMainFrame->Hide();
        guitest::InProcessGlimra::pump(100);
        ASSERT_TRUE(app.close());
        Settings saved;
        ASSERT_TRUE(readSettingsFile(tmp.file("glimra.ini"), saved));
        EXPECT_EQ(saved.width, 700);
        EXPECT_EQ(saved.height, 520);
    }
}
