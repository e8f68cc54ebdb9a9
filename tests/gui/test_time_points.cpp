// Data with time points in the real window: the time controls appear under
// the view, the slider's command shows another time point in the same
// texture, Play steps on its timer, and data without time points hide them.
#include "canvas_main.h"
#include "command_ids.h"
#include "gui_support.h"
#include "menu_data.h"
#include "menu_main.h"
#include "settings_file.h"
#include "test_support.h"
#include "time_bar.h"
#include "volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class TimeControls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_DISPLAY();
        data = testsupport::dataDir() + "/formats/example4d.nii.gz";
        if (!testsupport::fileExists(data))
            GTEST_SKIP() << "no " << data;
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        // No frame-rate text in the pictures, no speed-up, nothing written back.
        ::mkdir(tmp.file("run").c_str(), 0755);
        Settings s;
        s.fpsVisible = false;
        s.speedup = false;
        s.autosave = false;
        ASSERT_TRUE(writeSettingsFile(tmp.file("run") + "/glimra.ini", s));
    }
    // The slider's command, as a move of the slider sends it.
    static void slide(int position)
    {
        wxCommandEvent event(wxEVT_SLIDER, ID_TIME_SLIDER);
        event.SetInt(position);
        g_pMainFrame->GetEventHandler()->ProcessEvent(event);
    }
    static void press(int id)
    {
        wxCommandEvent event(wxEVT_BUTTON, id);
        g_pMainFrame->GetEventHandler()->ProcessEvent(event);
    }
    static int differing(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
    {
        int n = 0;
        for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4)
            n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        return a.size() == b.size() ? n : -1;
    }

    testsupport::TempDir tmp;
    std::string data;
};

} // namespace

TEST_F(TimeControls, SliderShowsTheTimePointInTheSameTextureAndPlayStepsAround)
{
    guitest::InProcessGlimra app({"-d", data}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    guitest::InProcessGlimra::pump(100);
    TimeBar* bar = g_pMainFrame->timeBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->IsShown());
    EXPECT_EQ(bar->sliderValue(), 0);
    // The controls lie under the view, which keeps the rest of the window.
    const wxSize client = g_pMainFrame->GetClientSize();
    EXPECT_EQ(g_pMainFrame->myGLcanvas->GetSize().y + bar->GetSize().y, client.y);
    EXPECT_EQ(bar->GetPosition().y, g_pMainFrame->myGLcanvas->GetSize().y);
    EXPECT_NE(g_pMainFrame->dataInfo.find("Time points:\t2, the first shown\n"), std::string::npos);

    const std::vector<unsigned char> first = guitest::mainViewPicture();
    ASSERT_FALSE(first.empty());
    const GLuint texture = volume.tidVolume;
    // The information window, open during the step, follows it.
    app.postCommand(ID_DATA_INFO);
    ASSERT_NE(g_pDataFrame, nullptr);
    auto shownInfo = [] {
        wxWindow* w = g_pDataFrame ? g_pDataFrame->FindWindow(ID_DATA_TEXT) : nullptr;
        wxTextCtrl* t = w ? wxDynamicCast(w, wxTextCtrl) : nullptr;
        return t ? std::string(t->GetValue().utf8_str()) : std::string("(no text control)");
    };
    EXPECT_NE(shownInfo().find("Time points:\t2, the first shown"), std::string::npos) << shownInfo();
    slide(1);
    EXPECT_NE(shownInfo().find("Time points:\t2, the 2nd shown"), std::string::npos) << shownInfo();
    EXPECT_EQ(g_pMainFrame->viewer.timePoint(), 1u);
    EXPECT_EQ(volume.tidVolume, texture);
    EXPECT_EQ(bar->sliderValue(), 1);
    EXPECT_NE(g_pMainFrame->dataInfo.find("Time points:\t2, the 2nd shown\n"), std::string::npos)
        << g_pMainFrame->dataInfo;
    const std::vector<unsigned char> second = guitest::mainViewPicture();
    EXPECT_GT(differing(first, second), 100);

    // Play steps on its timer, from the last to the first; Pause stops it.
    press(ID_TIME_PLAY);
    EXPECT_TRUE(g_pMainFrame->playingTime());
    for (int i = 0; i < 100 && g_pMainFrame->viewer.timePoint() != 0; ++i)
        guitest::InProcessGlimra::pump(20);
    EXPECT_EQ(g_pMainFrame->viewer.timePoint(), 0u);
    press(ID_TIME_PLAY);
    EXPECT_FALSE(g_pMainFrame->playingTime());
    slide(0);
    EXPECT_EQ(volume.tidVolume, texture);
    EXPECT_EQ(differing(guitest::mainViewPicture(), first), 0);
    EXPECT_TRUE(app.boxes().empty());

    // Data without time points: no controls, the view has the window again.
    const std::string anatomical = testsupport::dataDir() + "/formats/anatomical.nii";
    if (testsupport::fileExists(anatomical)) {
        ASSERT_TRUE(g_pMainFrame->openData(anatomical));
        guitest::InProcessGlimra::pump(50);
        EXPECT_FALSE(bar->IsShown());
        EXPECT_EQ(g_pMainFrame->myGLcanvas->GetSize(), g_pMainFrame->GetClientSize());
        EXPECT_EQ(g_pMainFrame->viewer.timePoints(), 1u);
        slide(1);
        EXPECT_EQ(g_pMainFrame->viewer.timePoint(), 0u);
    }
    EXPECT_TRUE(app.close());
}
