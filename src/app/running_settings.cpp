#include "running_settings.h"

#include "texture_formats.h"
#include "transfer_function.h"
#include "volume.h"

namespace {

// Curve kind while no transfer function exists (before the view's OpenGL set-up).
int g_curveKind = 0;

} // namespace

void gatherCoreSettings(Settings& s)
{
    s.mode = RenderMode::instance();
    s.perspective = volume.perspective;
    for (int c = 0; c < 3; ++c)
        s.background[c] = volume.background[c];
    s.sampling = volume.sampling;
    s.halfSampling = volume.halfSampling;
    s.alphaThreshold = volume.alphaThreshold;
    s.alphaFunc = static_cast<int>(volume.alphaFunc);
    s.blending = volume.blending;
    s.showBBox = volume.showBBox;
    s.curveKind = transfer ? transfer->curve(0).getKind() : g_curveKind;
    s.alphaCalculation = volume.getAlphaCalculation();
    s.gradientCalculation = volume.getGradientCalculation();
    s.alphaCorrection = volume.getAlphaCorrection();
    s.textureFilter = textureFilter;
}

void applyCoreSettings(const Settings& s)
{
    RenderMode::instance() = s.mode;
    volume.perspective = s.perspective;
    for (int c = 0; c < 3; ++c)
        volume.background[c] = s.background[c];
    volume.sampling = s.sampling;
    volume.halfSampling = s.halfSampling;
    volume.alphaThreshold = s.alphaThreshold;
    volume.alphaFunc = static_cast<GLenum>(s.alphaFunc);
    volume.blending = s.blending;
    volume.showBBox = s.showBBox;
    g_curveKind = s.curveKind;
    if (transfer)
        transfer->setCurveKind(s.curveKind);
    volume.setAlphaCalculation(s.alphaCalculation);
    volume.setGradientCalculation(s.gradientCalculation);
    volume.setAlphaCorrection(s.alphaCorrection);
    textureFilter = s.textureFilter;
}

void copyWindowSettings(const Settings& from, Settings& to)
{
    to.fpsVisible = from.fpsVisible;
    to.autosave = from.autosave;
    to.width = from.width;
    to.height = from.height;
    to.x = from.x;
    to.y = from.y;
    to.speedup = from.speedup;
}

void CoreSettingsTarget::gather(Settings& s) const
{
    gatherCoreSettings(s);
    copyWindowSettings(window, s);
}

void CoreSettingsTarget::apply(const Settings& s)
{
    applyCoreSettings(s);
    window = s;
}

bool loadSettings(SettingsTarget& target, const std::string& path)
{
    Settings s;
    target.gather(s);
    if (!readSettingsFile(path, s))
        return false;
    target.apply(s);
    return true;
}

bool saveSettings(const SettingsTarget& target, const std::string& path)
{
    Settings s;
    target.gather(s);
    return writeSettingsFile(path, s);
}

bool rewriteSettingsAutosaveOff(SettingsTarget& target, const std::string& path)
{
    Settings running;
    target.gather(running);
    // Lines missing from the file take the running values.
    Settings stored = running;
    if (!readSettingsFile(path, stored))
        return false;
    running.alphaCalculation = stored.alphaCalculation;
    running.gradientCalculation = stored.gradientCalculation;
    running.alphaCorrection = stored.alphaCorrection;
    running.textureFilter = stored.textureFilter;
    target.apply(running);
    stored.autosave = running.autosave;
    return writeSettingsFile(path, stored);
}
