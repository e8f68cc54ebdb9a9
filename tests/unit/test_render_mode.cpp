// Draw style, classification and what they derive.
#include "command_ids.h"
#include "render_mode.h"
#include "texture_formats.h"

#include <gtest/gtest.h>

namespace {

TEST(RenderMode, DefaultsBeforeAnySetCall)
{
    const RenderMode m;
    EXPECT_EQ(m.getDrawStyle(), 1);
    EXPECT_EQ(m.getSlicing(), 1);
    EXPECT_EQ(m.getClassification(), 1);
    EXPECT_EQ(static_cast<int>(m.getProgramSet()), 0);
    EXPECT_EQ(&RenderMode::instance(), &RenderMode::instance());
    EXPECT_EQ(textureFilter, 9729.0f);
}

TEST(RenderMode, ProgramSetTableForEveryStyleAndClassification)
{
    // Rows: style 1..13; columns: classification 1, 2, 3, 4.
    const int expected[13][4] = {
        {1, 0, 6, 6},     {11, 0, 12, 12}, {1, 0, 6, 6},     {1, 0, 6, 6},   {7, 7, 7, 7},
        {8, 8, 8, 8},     {9, 9, 9, 9},    {10, 10, 10, 10}, {2, 2, 2, 2},   {4, 4, 4, 4},
        {3, 3, 3, 3},     {5, 5, 5, 5},    {13, 13, 14, 14},
    };
    for (int style = 1; style <= 13; ++style) {
        for (int c = 1; c <= 4; ++c) {
            RenderMode m;
            m.setClassification(c);
            m.setDrawStyle(style);
            EXPECT_EQ(static_cast<int>(m.getProgramSet()), expected[style - 1][c - 1])
                << "style " << style << " class " << c;
            EXPECT_EQ(static_cast<int>(RenderMode::programSetFor(style, c)), expected[style - 1][c - 1]);
        }
    }
    for (int other : {-1, 0, 14, 100}) {
        EXPECT_EQ(static_cast<int>(RenderMode::programSetFor(other, 1)), 0);
        EXPECT_EQ(static_cast<int>(RenderMode::programSetFor(1, other)), 0);
    }
}

TEST(RenderMode, SlicingFollowsStyleAndShadedStylesKeepThe3DChoice)
{
    const int direct[9] = {1, 1, 2, 3, 4, 4, 4, 4};
    for (int style = 1; style <= 8; ++style) {
        RenderMode m;
        m.setDrawStyle(style);
        EXPECT_EQ(m.getSlicing(), direct[style - 1]) << style;
    }
    RenderMode vas;
    vas.setDrawStyle(4);
    vas.setDrawStyle(9);
    EXPECT_EQ(vas.getDrawStyle(), 9);
    EXPECT_EQ(vas.getSlicing(), 3);
    for (int shaded = 10; shaded <= 13; ++shaded) {
        vas.setDrawStyle(shaded);
        EXPECT_EQ(vas.getSlicing(), 3) << shaded;
    }
    vas.setDrawStyle(3);
    vas.setDrawStyle(12);
    EXPECT_EQ(vas.getSlicing(), 2);

    for (int before : {1, 2, 5, 6}) {
        RenderMode m;
        m.setDrawStyle(before);
        m.setDrawStyle(9);
        EXPECT_EQ(m.getSlicing(), 2) << before;
    }
}

TEST(RenderMode, OutOfRangeValuesAreIgnoredButStillReDerive)
{
    RenderMode m;
    m.setDrawStyle(14); // not stored, yet the program set appears
    EXPECT_EQ(m.getDrawStyle(), 1);
    EXPECT_EQ(m.getSlicing(), 1);
    EXPECT_EQ(static_cast<int>(m.getProgramSet()), 1);

    m.setDrawStyle(4);
    m.setClassification(3);
    EXPECT_EQ(static_cast<int>(m.getProgramSet()), 6);
    for (int bad : {0, -1, 5, 1000}) {
        m.setClassification(bad);
        EXPECT_EQ(m.getClassification(), 3);
        m.setDrawStyle(bad == 5 ? 14 : bad);
        EXPECT_EQ(m.getDrawStyle(), 4);
        EXPECT_EQ(m.getSlicing(), 3);
    }
    m.setClassification(4);
    EXPECT_EQ(m.getClassification(), 4);
    EXPECT_EQ(static_cast<int>(m.getProgramSet()), 6); // as pre-integration

    RenderMode fresh;
    fresh.setClassification(2);
    EXPECT_EQ(static_cast<int>(fresh.getProgramSet()), 0);
    fresh.setClassification(1);
    EXPECT_EQ(static_cast<int>(fresh.getProgramSet()), 1);
}

TEST(RenderMode, DrawStyleMenuCommands)
{
    const int ids[14] = {0,
                         ID_STYLE_2D,
                         ID_STYLE_2D_MULTI,
                         ID_STYLE_3D_OAS,
                         ID_STYLE_3D_VAS,
                         ID_STYLE_RAY_CASTING,
                         ID_STYLE_FOCUS_CONTEXT,
                         ID_STYLE_2D,
                         ID_STYLE_2D,
                         ID_STYLE_NORMAL_TEXTURE,
                         ID_STYLE_NORMAL_FRAGMENT,
                         ID_STYLE_LIGHT_GRADMAG,
                         ID_STYLE_LIGHT2,
                         ID_STYLE_MULTI_VOLUME};
    EXPECT_EQ(ID_STYLE_2D, 20012);
    EXPECT_EQ(ID_STYLE_MULTI_VOLUME, 57613);
    for (int s = 1; s <= 13; ++s)
        EXPECT_EQ(drawStyleCommandId(s), ids[s]) << s;
    EXPECT_EQ(drawStyleCommandId(0), 0);
    EXPECT_EQ(drawStyleCommandId(14), 0);
    for (int s = 1; s <= 13; ++s) {
        if (s == 7 || s == 8)
            continue;
        EXPECT_EQ(drawStyleForCommandId(ids[s]), s);
    }
    EXPECT_EQ(drawStyleForCommandId(ID_BLEND), 0);
}

} // namespace
