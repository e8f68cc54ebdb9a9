// Test program for the window layer: the toolkit is initialised once (only
// when a display is there and tests actually run), then GoogleTest runs.
#include "wx_asserts.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <cstring>

namespace {
class GuiTestApp : public wxApp
{
public:
    bool OnInit() override { return true; }
};
}

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            listing = true;
    const char* display = std::getenv("DISPLAY");
    bool wxReady = false;
    if (!listing && display && *display) {
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        installAssertHandler();
        wxReady = wxEntryStart(argc, argv) && wxTheApp && wxTheApp->CallOnInit();
    }
    const int result = RUN_ALL_TESTS();
    if (wxReady) {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return result;
}
