// The draw-style decisions the window and glimra-render share.
#include "actions.h"
#include "load_test_util.h"
#include "my_cg.h"
#include "render_mode.h"
#include "volume.h"

#include <gtest/gtest.h>

namespace {

// Restores the style, the mask flag and the programs' flags of the test's start.
class StyleFallback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        myStyle = RenderMode::instance().getDrawStyle();
        myMask = volume.isMask;
        myNv40 = nv40Supported;
        myArb = arbProgramsReady;
    }
    void TearDown() override
    {
        RenderMode::instance().setDrawStyle(myStyle);
        volume.isMask = myMask;
        nv40Supported = myNv40;
        arbProgramsReady = myArb;
    }
    int myStyle = 0;
    bool myMask = false;
    bool myNv40 = false;
    bool myArb = false;
};

} // namespace

TEST_F(StyleFallback, AStyleThatCannotDrawGivesWayToViewAlignedSlicesWithALogLine)
{
    nv40Supported = true;
    arbProgramsReady = true;
    const struct
    {
        int style;
        bool mask;
        bool fallsBack;
        const char* reason;
    } cases[] = {
        {DRAW_FOCUS_CONTEXT, false, true, "\"Focus and Context\" needs a mask (-m)."},
        {DRAW_FOCUS_CONTEXT, true, false, ""},
        {DRAW_MULTI_VOLUME, false, true, "\"Multi Volume\" needs data with more than four bands."},
        {DRAW_RAY_CASTING, false, false, ""},
        {DRAW_2D_TEXTURE, false, false, ""},
        {DRAW_3D_TEXTURE_VAS, false, false, ""},
        // The passes of focus and context stay as a settings file names them.
        {DRAW_FOCUS_CONTEXT_MASK, false, false, ""},
    };
    for (const auto& c : cases) {
        LogCapture log;
        volume.isMask = c.mask;
        RenderMode::instance().setDrawStyle(c.style);
        EXPECT_EQ(fallBackToDrawableStyle(), c.fallsBack) << c.style;
        EXPECT_EQ(RenderMode::instance().getDrawStyle(), c.fallsBack ? DRAW_3D_TEXTURE_VAS : c.style);
        const size_t line = log.text().find(std::string(c.reason) + " Drawing \"3D Texture VAS\" instead.\n");
        EXPECT_EQ(line != std::string::npos, c.fallsBack) << log.text();
        EXPECT_EQ(log.text().find("instead") != std::string::npos, c.fallsBack) << log.text();
    }
}

TEST_F(StyleFallback, StylesWhoseProgramsAreMissing)
{
    nv40Supported = false;
    arbProgramsReady = false;
    for (int style : {DRAW_RAY_CASTING, DRAW_NORMAL_TEXTURE, DRAW_NORMAL_FRAGMENT, DRAW_LIGHT_GRADMAG, DRAW_LIGHT2}) {
        RenderMode::instance().setDrawStyle(style);
        EXPECT_TRUE(fallBackToDrawableStyle()) << style;
        EXPECT_EQ(RenderMode::instance().getDrawStyle(), DRAW_3D_TEXTURE_VAS);
    }
    EXPECT_EQ(drawStyleUnavailableReason(DRAW_RAY_CASTING),
              "\"Ray Casting\" is not available: its shader programs are missing.");
    EXPECT_EQ(drawStyleUnavailableReason(DRAW_LIGHT2),
              "Draw style \"3D Light 2\" is not available: its shader programs are missing.");
    EXPECT_EQ(drawStyleUnavailableReason(99), "Draw style 99 does not exist.");
}
