// What the settings window's controls do to the render settings, without the
// toolkit: the controls' ranges, the shared slider rule with the alpha
// correction, the choices of the radio boxes, the used range of the bands of
// multi-band data, and why a combination of settings draws no volume.
#ifndef GLIMRA_SETTINGS_LOGIC_H
#define GLIMRA_SETTINGS_LOGIC_H

#include "includegl.h"

#include <string>

class MultiVolumeInfo;
class Volume;

// Ranges of the sliders (each starts at 0).
const int kSlicesSliderMax = 512;
const int kAlphaSliderMax = 255;
// The angle slider: 0..89 while a render target exists (tan 90 has no
// value), 0..90 showing 15 without one.
const int kAngleSliderMaxWithTarget = 89;
const int kAngleSliderMaxWithoutTarget = 90;
const int kAngleWithoutTarget = 15;

// What the controls show when the window is built.
struct SettingsControls
{
    int slices = 64;              // "# Slices:" slider
    bool switchSlices = true;     // "Switching slices"
    bool alphaCorrection = false; // "Alpha correction"
    int filter = 1;               // "Filtering": 0 "Nearest", 1 "Linear"
    bool iso = false;             // "Iso mode"
    int alphaValue = 0;           // alpha-test slider
    int alphaMode = 0;            // "Mode": 0 "Greater", 1 "Equal", 2 "Less"
    int alphaCalculation = 1;     // "Alpha calculation": 0..2
    int gradientCalculation = 4;  // "Gradient calculation": 0..4
    int angle = kAngleWithoutTarget;          // "Angle:" slider
    int angleMax = kAngleSliderMaxWithoutTarget; // its upper end
    bool renderMask = true;       // "Render mask"
    bool showShiftTex = false;    // "Show shift texture"
};

// Brings every setting the window shows into its control's range (a value
// from a damaged file or from code outside the window), so that the controls
// and what is drawn agree, and answers what the controls show: sampling to
// 0..512, the threshold to 0..1 (NaN to 0), an unknown alpha function to
// GL_GREATER, the filter to nearest or linear, the channel rules to their
// choices (unknown ones to 0) and the render target's angle to 0..89.
SettingsControls settingsForControls(Volume& v);

// 1 - (1 - t)^(resolutionZ / sampling), the exponent in single precision and
// the power in double rounded to single; t itself without slices.
float correctedAlphaThreshold(float t, int resolutionZ, int sampling);

// The rule every slider runs, whichever moved: slice count (and half of it),
// threshold = alphaValue / 255, the render target's angle while a mask is in
// use, then the alpha correction. True when the alpha table must be rebuilt:
// the slice count changed under alpha correction with slices left.
bool applySliders(Volume& v, int slices, int alphaValue, int angle);

// The "Alpha correction" box: the switch, and the threshold from the
// alpha-test slider's value with or without the correction.
void applyAlphaCorrection(Volume& v, bool on, int alphaValue);

// Index of the "Mode" radio box for an alpha function (GL_LESS 2, GL_EQUAL 1,
// anything else 0), and back.
int alphaModeIndex(GLenum func);
GLenum alphaFuncOfIndex(int index);
// Index of the "Filtering" radio box (0 only for GL_NEAREST), and back.
int filterIndex(float filter);
float filterOfIndex(int index);

// The window [start, start + length - 1] over the band weights of
// multi-band data: the scroll bar's position and thumb, over range entries.
struct UsedRange
{
    int start = 0;   // first used band
    int length = 11; // used bands, at least 1
    int range = 11;  // bands there are: total + 1, or 11 without multi-band data
};

// From the weights of the record: the non-zero entries of 0 ... total, the
// lowest of them as start; without a record all of 0 ... 10.
UsedRange usedRangeOf(const MultiVolumeInfo* info);
// The scroll bar moved to start with thumb length; kept inside the range.
UsedRange usedRangeScrolled(const UsedRange& r, int start, int length);
// Left spin button: up moves the start right (one band less), down left
// (one band more); nothing that leaves no band or starts before 0.
UsedRange usedRangeLeftSpin(const UsedRange& r, bool up);
// Right spin button: up one band longer unless that passes the range, down
// one shorter but not below 1.
UsedRange usedRangeRightSpin(const UsedRange& r, bool up);
// The label, "start,..,end".
std::string usedRangeLabel(const UsedRange& r);
// weights[MultiVolumeInfo::kWeightCount]: 1 over the range where it fits
// inside the array, 0 elsewhere.
void usedRangeWeights(const UsedRange& r, float* weights);
// Hands the range's weights to the multi-band record, when there is one;
// true when it took them.
bool applyUsedRange(Volume& v, const UsedRange& r);

// Why these settings draw no volume at all, or empty when they draw one:
// fewer than two slices for a slicing style (or fewer than two while the
// view turns with speed-up), an alpha test no opacity can pass, or one only
// opacity 0 passes under blending.
std::string nothingDrawnReason(const Volume& v, int slicing, bool speedup);

#endif
