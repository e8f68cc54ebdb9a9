// Test program for the window layer: the toolkit is initialised once (only
// when a display is there and tests actually run), then GoogleTest runs.
#include "wx_asserts.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
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

namespace {
// A toolkit assertion is a fault of ours (a sizer flag, a bad index): the
// run fails, naming the tests during which one was printed.
class AssertionWatch : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo&) override { myBefore = toolkitAssertions(); }
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        if (toolkitAssertions() == myBefore)
            return;
        std::fprintf(stderr, "%s.%s: %d toolkit assertion(s)\n", info.test_suite_name(), info.name(),
                     toolkitAssertions() - myBefore);
        failed = true;
    }
    bool failed = false;

private:
    int myBefore = 0;
};
}

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
    AssertionWatch* watch = new AssertionWatch; // owned by GoogleTest
    ::testing::UnitTest::GetInstance()->listeners().Append(watch);
    const bool asserted = (RUN_ALL_TESTS() != 0) || watch->failed;
    const int result = asserted ? 1 : 0;
    if (wxReady) {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return result;
}
