// The settings window's rules without the window: ranges, the slider rule
// with alpha correction, the radio-box choices, the used band range and the
// reasons a setting draws nothing.
#include "multi_volume.h"
#include "render_mode.h"
#include "settings_logic.h"
#include "texture.h"
#include "texture_formats.h"
#include "volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(SettingsLogic, AlphaCorrectionFollowsTheSliceDistance)
{
    // 1 - (1 - 128/255)^(128/64): the power of two in single precision.
    const float t = 128.0f / 255.0f;
    EXPECT_FLOAT_EQ(correctedAlphaThreshold(t, 128, 64), 1.0f - (1.0f - t) * (1.0f - t));
    EXPECT_NEAR(correctedAlphaThreshold(t, 128, 64), 0.752f, 0.0005f);
    // As many slices as data slices: unchanged; no slices: uncorrected.
    EXPECT_FLOAT_EQ(correctedAlphaThreshold(t, 64, 64), t);
    EXPECT_EQ(correctedAlphaThreshold(t, 128, 0), t);
    EXPECT_EQ(correctedAlphaThreshold(1.0f, 128, 64), 1.0f);
    EXPECT_EQ(correctedAlphaThreshold(0.0f, 128, 64), 0.0f);
}

TEST(SettingsLogic, EverySliderRunsTheWholeRule)
{
    Volume v;
    v.resolution[2] = 128;
    v.setSampling(64);
    v.shiftTex = new TextureTarget;

    // Without correction: the threshold is the slider's fraction, the angle
    // waits for a mask, no table rebuild.
    EXPECT_FALSE(applySliders(v, 101, 51, 40));
    EXPECT_EQ(v.sampling, 101);
    EXPECT_EQ(v.halfSampling, 50);
    EXPECT_FLOAT_EQ(v.alphaThreshold, 0.2f);
    EXPECT_EQ(v.shiftTex->angle, 15);

    v.isMask = true;
    v.setAlphaCorrection(true);
    // Only the angle moved: the correction is applied again, no rebuild.
    v.setSampling(64);
    EXPECT_FALSE(applySliders(v, 64, 128, 30));
    EXPECT_EQ(v.shiftTex->angle, 30);
    EXPECT_NEAR(v.alphaThreshold, 0.752f, 0.0005f);
    // A new slice count under correction needs the alpha table again.
    EXPECT_TRUE(applySliders(v, 128, 128, 30));
    EXPECT_FLOAT_EQ(v.alphaThreshold, 128.0f / 255.0f);
    // No slices: uncorrected, and no rebuild either.
    EXPECT_FALSE(applySliders(v, 0, 128, 30));
    EXPECT_EQ(v.halfSampling, 0);
    EXPECT_FLOAT_EQ(v.alphaThreshold, 128.0f / 255.0f);

    applyAlphaCorrection(v, false, 255);
    EXPECT_FALSE(v.getAlphaCorrection());
    EXPECT_EQ(v.alphaThreshold, 1.0f);
    v.setSampling(64);
    applyAlphaCorrection(v, true, 128);
    EXPECT_TRUE(v.getAlphaCorrection());
    EXPECT_NEAR(v.alphaThreshold, 0.752f, 0.0005f);
    delete v.shiftTex;
    v.shiftTex = nullptr;
}

TEST(SettingsLogic, ControlsShowSettingsClampedToTheirRanges)
{
    const float keptFilter = textureFilter;
    Volume v;
    SettingsControls c = settingsForControls(v);
    EXPECT_EQ(c.slices, 64);
    EXPECT_TRUE(c.switchSlices);
    EXPECT_EQ(c.alphaValue, 0);
    EXPECT_EQ(c.alphaMode, 0);
    EXPECT_EQ(c.alphaCalculation, 1);
    EXPECT_EQ(c.gradientCalculation, 4);
    EXPECT_EQ(c.angle, 15);
    EXPECT_EQ(c.angleMax, 90);
    EXPECT_TRUE(c.renderMask);
    EXPECT_FALSE(c.showShiftTex);

    // Values no control can show are brought into range, in the settings too.
    v.setSampling(900);
    v.alphaThreshold = 2.5f;
    v.alphaFunc = GL_ALWAYS;
    v.alphaCalculation = 7;
    v.gradientCalculation = -1;
    textureFilter = 1234.0f;
    v.shiftTex = new TextureTarget;
    v.shiftTex->setAngle(95);
    v.shiftTex->enabled = false;
    v.shiftTex->show = true;
    c = settingsForControls(v);
    EXPECT_EQ(c.slices, 512);
    EXPECT_EQ(v.sampling, 512);
    EXPECT_EQ(v.halfSampling, 256);
    EXPECT_EQ(c.alphaValue, 255);
    EXPECT_EQ(v.alphaThreshold, 1.0f);
    EXPECT_EQ(v.alphaFunc, static_cast<GLenum>(GL_GREATER));
    EXPECT_EQ(c.alphaCalculation, 0);
    EXPECT_EQ(v.alphaCalculation, 0);
    EXPECT_EQ(c.gradientCalculation, 0);
    EXPECT_EQ(c.filter, 1);
    EXPECT_EQ(textureFilter, 9729.0f);
    EXPECT_EQ(c.angle, 89);
    EXPECT_EQ(v.shiftTex->angle, 89);
    EXPECT_FLOAT_EQ(v.shiftTex->tangent, static_cast<float>(std::tan(89.0 * M_PI / 180.0)));
    EXPECT_EQ(c.angleMax, 89);
    EXPECT_FALSE(c.renderMask);
    EXPECT_TRUE(c.showShiftTex);

    v.setSampling(-3);
    v.alphaThreshold = std::numeric_limits<float>::quiet_NaN();
    v.alphaFunc = GL_EQUAL;
    v.shiftTex->setAngle(-4);
    textureFilter = 9728.0f;
    c = settingsForControls(v);
    EXPECT_EQ(c.slices, 0);
    EXPECT_EQ(v.sampling, 0);
    EXPECT_EQ(c.alphaValue, 0);
    EXPECT_EQ(v.alphaThreshold, 0.0f);
    EXPECT_EQ(c.alphaMode, 1);
    EXPECT_EQ(c.filter, 0);
    EXPECT_EQ(c.angle, 0);
    // trunc(threshold x 255): 0.5 shows as 127.
    v.alphaThreshold = 0.5f;
    EXPECT_EQ(settingsForControls(v).alphaValue, 127);
    delete v.shiftTex;
    v.shiftTex = nullptr;
    textureFilter = keptFilter;
}

TEST(SettingsLogic, UsedRangeOfTheBandWeights)
{
    // Without multi-band data: all eleven places, the label of the window.
    UsedRange r = usedRangeOf(nullptr);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.length, 11);
    EXPECT_EQ(r.range, 11);
    EXPECT_EQ(usedRangeLabel(r), "0,..,10");

    // Six bands: band 0 and five more in two textures of four places.
    MultiVolumeInfo info;
    info.addTexture(0, 4);
    info.addTexture(0, 1);
    ASSERT_EQ(info.getTotal(), 5);
    r = usedRangeOf(&info);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.length, 6);
    EXPECT_EQ(r.range, 6);
    EXPECT_EQ(usedRangeLabel(r), "0,..,5");

    // Weights kept from before: bands 2 and 3 only.
    float w[MultiVolumeInfo::kWeightCount] = {};
    w[2] = w[3] = 1.0f;
    w[7] = 1.0f; // past the bands: not counted
    info.setWeights(w, 2);
    r = usedRangeOf(&info);
    EXPECT_EQ(r.start, 2);
    EXPECT_EQ(r.length, 2);
    EXPECT_EQ(usedRangeLabel(r), "2,..,3");
}

TEST(SettingsLogic, UsedRangeKeepsABandAndStaysInside)
{
    const UsedRange six{5, 1, 6};
    // The spin buttons never leave fewer than one band.
    EXPECT_EQ(usedRangeLeftSpin(six, true).length, 1);
    EXPECT_EQ(usedRangeLeftSpin(six, true).start, 5);
    EXPECT_EQ(usedRangeRightSpin(six, false).length, 1);
    // The scroll bar: inside the range with at least one band.
    const struct { int start, length, wantStart, wantLength; } moves[] = {
        {4, 2, 4, 2}, {5, 3, 3, 3}, {-2, 0, 0, 1}, {0, 60, 0, 6}};
    for (const auto& m : moves) {
        const UsedRange r = usedRangeScrolled(six, m.start, m.length);
        EXPECT_EQ(r.start, m.wantStart) << m.start << "," << m.length;
        EXPECT_EQ(r.length, m.wantLength) << m.start << "," << m.length;
    }
}

TEST(SettingsLogic, UsedRangeWeightsReachTheRecord)
{
    float w[MultiVolumeInfo::kWeightCount];
    usedRangeWeights(UsedRange{2, 3, 6}, w);
    for (int i = 0; i < MultiVolumeInfo::kWeightCount; ++i)
        EXPECT_EQ(w[i], (i >= 2 && i <= 4) ? 1.0f : 0.0f) << i;
    // The last place of the array is in reach; one past it is not.
    usedRangeWeights(UsedRange{40, 1, 41}, w);
    EXPECT_EQ(w[40], 1.0f);
    usedRangeWeights(UsedRange{40, 2, 42}, w);
    for (int i = 0; i < MultiVolumeInfo::kWeightCount; ++i)
        EXPECT_EQ(w[i], 0.0f) << i;

    Volume v;
    EXPECT_FALSE(applyUsedRange(v, UsedRange{1, 2, 11}));
    v.myMVolumeInfo = new MultiVolumeInfo;
    v.myMVolumeInfo->addTexture(0, 4);
    v.myMVolumeInfo->addTexture(0, 1);
    EXPECT_TRUE(applyUsedRange(v, UsedRange{1, 2, 6}));
    const float* got = v.myMVolumeInfo->getWeights();
    EXPECT_EQ(got[0], 0.0f);
    EXPECT_EQ(got[1], 1.0f);
    EXPECT_EQ(got[2], 1.0f);
    EXPECT_EQ(got[3], 0.0f);
    EXPECT_EQ(v.myMVolumeInfo->getUsedWeights(), 2);
    delete v.myMVolumeInfo;
    v.myMVolumeInfo = nullptr;
}

TEST(SettingsLogic, ReasonsNothingIsDrawn)
{
    struct Case { int sampling; GLenum func; float threshold; int slicing; bool speedup; const char* reason;
                  int blending = BLENDING_COMPOSITE; };
    const Case cases[] = {
        {64, GL_GREATER, 0.0f, SLICING_2D_STACKS, true, ""},
        {1, GL_GREATER, 0.0f, SLICING_2D_STACKS, true, "Fewer than two slices: the volume is not drawn."},
        {0, GL_GREATER, 0.0f, SLICING_3D_VIEW_ALIGNED, false, "Fewer than two slices: the volume is not drawn."},
        // The ray caster samples at least once whatever the count.
        {0, GL_GREATER, 0.0f, SLICING_RAY_CASTING, true, ""},
        {3, GL_GREATER, 0.0f, SLICING_3D_OBJECT_ALIGNED, true,
         "Fewer than four slices: the volume is not drawn while the view turns."},
        {3, GL_GREATER, 0.0f, SLICING_3D_OBJECT_ALIGNED, false, ""},
        {4, GL_GREATER, 0.0f, SLICING_3D_OBJECT_ALIGNED, true, ""},
        {64, GL_GREATER, 1.0f, SLICING_RAY_CASTING, true, "Alpha test: no opacity is greater than 1, nothing is drawn."},
        {64, GL_GREATER, 0.996f, SLICING_2D_STACKS, true, ""},
        {64, GL_LESS, 0.0f, SLICING_2D_STACKS, true, "Alpha test: no opacity is less than 0, nothing is drawn."},
        {64, GL_LESS, 1.0f, SLICING_2D_STACKS, true, ""},
        {64, GL_EQUAL, 1.0f, SLICING_2D_STACKS, true, ""},
        {64, GL_EQUAL, 0.0f, SLICING_2D_STACKS, true, "Alpha test: only opacity 0 passes, nothing is drawn."},
        // Under maximum intensity a transparent fragment still shows its colour.
        {64, GL_EQUAL, 0.0f, SLICING_2D_STACKS, true, "", BLENDING_MAXIMUM},
    };
    for (const Case& c : cases) {
        Volume v;
        v.setSampling(c.sampling);
        v.alphaFunc = c.func;
        v.alphaThreshold = c.threshold;
        v.blending = c.blending;
        EXPECT_EQ(nothingDrawnReason(v, c.slicing, c.speedup), c.reason)
            << c.sampling << " " << c.func << " " << c.threshold << " " << c.slicing;
    }
}

} // namespace
