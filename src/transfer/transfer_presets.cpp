#include "transfer_presets.h"

#include "curve_history.h"
#include "data_scale.h"
#include "program_files.h"
#include "transfer_editor.h"
#include "transfer_function.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace {

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// y of the polyline points (x increasing) at x, the end values beyond them.
float valueAt(const std::vector<CurvePoint>& points, float x)
{
    if (x <= points.front().x)
        return points.front().y;
    for (size_t k = 1; k < points.size(); ++k)
        if (x <= points[k].x) {
            const CurvePoint& a = points[k - 1];
            const CurvePoint& b = points[k];
            return b.x > a.x ? a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x) : b.y;
        }
    return points.back().y;
}

// The points of a preset in Hounsfield units as table points: those that
// fall inside the table, and the preset's values at both ends.
std::vector<CurvePoint> tablePoints(std::vector<CurvePoint> hu, const DataScale& scale, int n)
{
    for (CurvePoint& p : hu)
        p.x = static_cast<float>(scale.entry(kPresetLowestHU + p.x * (kPresetHighestHU - kPresetLowestHU)));
    std::stable_sort(hu.begin(), hu.end(), [](const CurvePoint& a, const CurvePoint& b) { return a.x < b.x; });
    const float last = static_cast<float>(n - 1);
    std::vector<CurvePoint> out;
    out.push_back({0.0f, valueAt(hu, 0.0f), 0.0f});
    for (const CurvePoint& p : hu)
        if (p.x > 0.0f && p.x < last)
            out.push_back({std::round(p.x), p.y, 0.0f});
    out.push_back({last, valueAt(hu, last), 0.0f});
    return out;
}

} // namespace

std::vector<Preset> listPresets(const std::string& folder)
{
    std::vector<Preset> presets;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (!entry.is_regular_file(error))
            continue;
        const std::string file = entry.path().filename().string();
        Preset p;
        p.path = entry.path().string();
        p.hounsfield = endsWith(file, ".hu.pal");
        const size_t cut = p.hounsfield ? 7 : endsWith(file, ".pal") || endsWith(file, ".txt") ? 4 : 0;
        if (!cut || file.size() <= cut)
            continue;
        p.name = file.substr(0, file.size() - cut);
        std::replace(p.name.begin(), p.name.end(), '_', ' ');
        presets.push_back(p);
    }
    std::sort(presets.begin(), presets.end(), [](const Preset& a, const Preset& b) { return a.name < b.name; });
    return presets;
}

std::vector<Preset> programPresets()
{
    return listPresets(findProgramFiles("presets"));
}

bool presetApplies(const Preset& preset, const DataScale& scale)
{
    return !preset.hounsfield || scale.hounsfield();
}

bool applyPreset(TransferFunction& tf, const Preset& preset, const DataScale& scale, CurveHistory* history,
                 std::string* why)
{
    if (!presetApplies(preset, scale))
        return false;
    if (!preset.hounsfield)
        return readTransferFile(tf, preset.path, history, why);
    std::vector<CurvePoint> hu[4];
    if (!readPalettePoints(preset.path, hu)) {
        if (why)
            *why = "The preset \"" + preset.name + "\" cannot be read.";
        return false;
    }
    if (history)
        history->begin(tf);
    static const char* const names[4] = {"curves[0].curve_points", "curves[1].curve_points",
                                         "curves[2].curve_points", "curves[3].curve_points"};
    for (int c = 0; c < 4; ++c) {
        const std::vector<CurvePoint> points = tablePoints(hu[c], scale, tf.getTableSize());
        tf.curve(c).setControlPoints(points.data(), static_cast<int>(points.size()), names[c]);
        tf.curve(c).setKind(CURVE_LINEAR);
    }
    tf.setUserCurves(true);
    tf.refreshCurves();
    tf.build(true);
    if (history)
        history->end(tf);
    return true;
}
