// "-m" at start-up and the Load Mask action over the loaded data: the
// "Focus and Context" item, and the warning for a mask of another size.
#include "command_ids.h"
#include "gui_support.h"
#include "load.h"
#include "menu_main.h"
#include "test_support.h"
#include "volume.h"

#include <zvf.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// A data set of 12 x 10 x 6 bytes and masks of its size and of another.
class MaskStartup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The program files, where the program looks for them: "../Cg/".
        ASSERT_EQ(::symlink(GLIMRA_SOURCE_DIR "/Cg", tmp.file("Cg").c_str()), 0);
        std::vector<uint8_t> bytes(12 * 10 * 6);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i);
        write("data.zvf", bytes, 6);
        for (uint8_t& b : bytes)
            b = b > 128 ? 255 : 0;
        write("mask.zvf", bytes, 6);
        write("other.zvf", bytes, 5);
    }
    void write(const char* name, const std::vector<uint8_t>& bytes, int nz)
    {
        ASSERT_EQ(zvfWriteCubGrid(tmp.file(name).c_str(), bytes.data(), 12, 10, nz, 1, zvfUChar, nullptr, 0), 1);
    }
    static bool focusEnabled() { return g_pMainFrame->GetMenuBar()->IsEnabled(ID_STYLE_FOCUS_CONTEXT); }
    testsupport::TempDir tmp;
};

TEST_F(MaskStartup, MatchingMaskOffersFocusAndContext)
{
    SKIP_WITHOUT_DISPLAY();
    guitest::InProcessGlimra app({"-d", tmp.file("data.zvf"), "-m", tmp.file("mask.zvf")}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(volume.isData);
    EXPECT_TRUE(volume.isMask);
    EXPECT_NE(volume.shiftTex, nullptr);
    EXPECT_NE(volume.tidMask, 0u);
    EXPECT_TRUE(focusEnabled());
    EXPECT_TRUE(app.boxes().empty());
    EXPECT_TRUE(app.close());
}

TEST_F(MaskStartup, MaskOfAnotherSizeWarnsThenLoadMaskTakesAMatchingOne)
{
    SKIP_WITHOUT_DISPLAY();
    guitest::InProcessGlimra app({"-d", tmp.file("data.zvf"), "-m", tmp.file("other.zvf")}, tmp.file("run"));
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.boxes(), (std::vector<std::pair<std::string, std::string>>{{"Incompatible mask resolution.", "Warning"}}));
    EXPECT_TRUE(volume.isData);
    EXPECT_FALSE(volume.isMask);
    EXPECT_NE(volume.tidVolume, 0u);
    EXPECT_EQ(volume.tidMask, 0u);
    EXPECT_FALSE(focusEnabled());
    EXPECT_TRUE(g_pMainFrame->GetMenuBar()->IsEnabled(ID_LOAD_MASK));
    // File > Load Mask after the dialog.
    EXPECT_TRUE(g_pMainFrame->loadMaskFile(tmp.file("mask.zvf")));
    EXPECT_TRUE(volume.isMask);
    EXPECT_NE(volume.tidMask, 0u);
    EXPECT_TRUE(focusEnabled());
    EXPECT_EQ(app.boxes().size(), 1u);
    ASSERT_TRUE(app.close());
    // Neither the refused nor the taken mask leaves an allocation behind.
    EXPECT_NE(app.log().find("---GARBAGE COLLECTOR---\r\n---GARBAGE COLLECTOR---\r\n"), std::string::npos)
        << app.log();
}

} // namespace
