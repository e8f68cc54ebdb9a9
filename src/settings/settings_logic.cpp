#include "settings_logic.h"

#include "multi_volume.h"
#include "render_mode.h"
#include "texture.h"
#include "texture_formats.h"
#include "volume.h"

#include <cmath>
#include <cstdio>

namespace {

const float kNearest = 9728.0f; // GL_NEAREST as the float the filter is kept in
const float kLinear = 9729.0f;  // GL_LINEAR

int clampInt(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

SettingsControls settingsForControls(Volume& v)
{
    SettingsControls c;
    if (v.sampling < 0 || v.sampling > kSlicesSliderMax)
        v.setSampling(clampInt(v.sampling, 0, kSlicesSliderMax));
    c.slices = v.sampling;
    c.switchSlices = v.switchSlices;
    c.alphaCorrection = v.alphaCorrection;

    textureFilter = filterOfIndex(filterIndex(textureFilter));
    c.filter = filterIndex(textureFilter);
    c.iso = v.isoMode;

    // Not (t >= 0) catches NaN as well.
    if (!(v.alphaThreshold >= 0.0f))
        v.alphaThreshold = 0.0f;
    else if (v.alphaThreshold > 1.0f)
        v.alphaThreshold = 1.0f;
    c.alphaValue = static_cast<int>(v.alphaThreshold * static_cast<float>(kAlphaSliderMax));
    c.alphaMode = alphaModeIndex(v.alphaFunc);
    v.alphaFunc = alphaFuncOfIndex(c.alphaMode);

    v.setAlphaCalculation(v.getAlphaCalculation());
    v.setGradientCalculation(v.getGradientCalculation());
    c.alphaCalculation = v.getAlphaCalculation();
    c.gradientCalculation = v.getGradientCalculation();

    if (v.shiftTex) {
        TextureTarget& t = *v.shiftTex;
        if (t.angle < 0 || t.angle > kAngleSliderMaxWithTarget)
            t.setAngle(clampInt(t.angle, 0, kAngleSliderMaxWithTarget));
        c.angle = t.angle;
        c.angleMax = kAngleSliderMaxWithTarget;
        c.renderMask = t.enabled;
        c.showShiftTex = t.show;
    }
    return c;
}

float correctedAlphaThreshold(float t, int resolutionZ, int sampling)
{
    if (sampling <= 0)
        return t;
    const float r = static_cast<float>(resolutionZ) / static_cast<float>(sampling);
    const float kept = static_cast<float>(std::pow(static_cast<double>(1.0f - t), static_cast<double>(r)));
    return 1.0f - kept;
}

bool applySliders(Volume& v, int slices, int alphaValue, int angle)
{
    const int old = v.sampling;
    v.setSampling(slices);
    v.alphaThreshold = static_cast<float>(alphaValue) / static_cast<float>(kAlphaSliderMax);
    if (v.isMask && v.shiftTex)
        v.shiftTex->setAngle(angle);
    if (v.alphaCorrection && v.sampling > 0)
        v.alphaThreshold = correctedAlphaThreshold(v.alphaThreshold, v.resolution[2], v.sampling);
    return v.sampling != old && v.alphaCorrection && v.sampling > 0;
}

void applyAlphaCorrection(Volume& v, bool on, int alphaValue)
{
    v.setAlphaCorrection(on);
    const float t = static_cast<float>(alphaValue) / static_cast<float>(kAlphaSliderMax);
    v.alphaThreshold = (on && v.sampling > 0) ? correctedAlphaThreshold(t, v.resolution[2], v.sampling) : t;
}

int alphaModeIndex(GLenum func)
{
    if (func == GL_LESS)
        return 2;
    return func == GL_EQUAL ? 1 : 0;
}

GLenum alphaFuncOfIndex(int index)
{
    if (index == 2)
        return GL_LESS;
    return index == 1 ? GL_EQUAL : GL_GREATER;
}

int filterIndex(float filter)
{
    return filter == kNearest ? 0 : 1;
}

float filterOfIndex(int index)
{
    return index == 0 ? kNearest : kLinear;
}

UsedRange usedRangeOf(const MultiVolumeInfo* info)
{
    UsedRange r;
    if (!info || !info->getWeights())
        return r;
    const int last = clampInt(info->getTotal(), 0, MultiVolumeInfo::kWeightCount - 1);
    const float* w = info->getWeights();
    int count = 0;
    int lowest = 0;
    for (int i = last; i >= 0; --i) {
        if (w[i] != 0.0f) {
            ++count;
            lowest = i;
        }
    }
    r.range = last + 1;
    r.start = lowest;
    r.length = count > 0 ? count : 1;
    return usedRangeScrolled(r, r.start, r.length);
}

UsedRange usedRangeScrolled(const UsedRange& r, int start, int length)
{
    UsedRange out = r;
    if (out.range < 1)
        out.range = 1;
    out.length = clampInt(length, 1, out.range);
    out.start = clampInt(start, 0, out.range - out.length);
    return out;
}

UsedRange usedRangeLeftSpin(const UsedRange& r, bool up)
{
    UsedRange out = r;
    if (up) {
        if (r.length - 1 >= 1) {
            out.start = r.start + 1;
            out.length = r.length - 1;
        }
    } else if (r.start - 1 >= 0) {
        out.start = r.start - 1;
        out.length = r.length + 1;
    }
    return out;
}

UsedRange usedRangeRightSpin(const UsedRange& r, bool up)
{
    UsedRange out = r;
    if (up) {
        if (r.start + r.length + 1 <= r.range)
            out.length = r.length + 1;
    } else if (r.length - 1 >= 1) {
        out.length = r.length - 1;
    }
    return out;
}

std::string usedRangeLabel(const UsedRange& r)
{
    char text[48];
    std::snprintf(text, sizeof text, "%d,..,%d", r.start, r.start + r.length - 1);
    return text;
}

void usedRangeWeights(const UsedRange& r, float* weights)
{
    for (int i = 0; i < MultiVolumeInfo::kWeightCount; ++i)
        weights[i] = 0.0f;
    if (r.start < 0 || r.length < 1 || r.start + r.length > MultiVolumeInfo::kWeightCount)
        return;
    for (int i = r.start; i < r.start + r.length; ++i)
        weights[i] = 1.0f;
}

bool applyUsedRange(Volume& v, const UsedRange& r)
{
    if (!v.myMVolumeInfo)
        return false;
    float weights[MultiVolumeInfo::kWeightCount];
    usedRangeWeights(r, weights);
    v.myMVolumeInfo->setWeights(weights, r.length);
    return true;
}

std::string nothingDrawnReason(const Volume& v, int slicing, bool speedup)
{
    if (slicing != SLICING_RAY_CASTING) {
        if (v.sampling < 2)
            return "Fewer than two slices: the volume is not drawn.";
        if (speedup && v.halfSampling < 2)
            return "Fewer than four slices: the volume is not drawn while the view turns.";
    }
    if (v.alphaFunc == GL_GREATER && v.alphaThreshold >= 1.0f)
        return "Alpha test: no opacity is greater than 1, nothing is drawn.";
    if (v.alphaFunc == GL_LESS && v.alphaThreshold <= 0.0f)
        return "Alpha test: no opacity is less than 0, nothing is drawn.";
    // Blending weighs a fragment by its opacity: those of opacity 0 leave
    // the picture as it was.
    if (v.alphaFunc == GL_EQUAL && v.alphaThreshold <= 0.0f && v.blending == BLENDING_COMPOSITE)
        return "Alpha test: only opacity 0 passes, nothing is drawn.";
    return std::string();
}
