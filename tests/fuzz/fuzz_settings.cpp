// The settings file ("glimra.ini"): the input is the file. Values read are
// in range; a line that is missing or refused keeps the running value (the
// file read over two different running states agrees line by line); and
// the settings written after a read read back to the same bytes.
#include "fuzz_support.h"

#include "running_settings.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

// Every value different from the defaults.
Settings otherSettings()
{
    Settings s;
    s.mode.setDrawStyle(DRAW_RAY_CASTING);
    s.mode.setClassification(CLASSIFICATION_PRE_INTEGRATION);
    s.perspective = false;
    s.fpsVisible = false;
    s.background[0] = 0.25f;
    s.background[1] = 0.5f;
    s.background[2] = 0.75f;
    s.sampling = 100;
    s.halfSampling = 50;
    s.alphaThreshold = 0.5f;
    s.alphaFunc = 0x201;
    s.blending = BLENDING_MINIMUM;
    s.showBBox = false;
    s.curveKind = 1;
    s.autosave = false;
    s.width = 800;
    s.height = 600;
    s.x = 10;
    s.y = 20;
    s.speedup = false;
    s.alphaCalculation = 2;
    s.gradientCalculation = 1;
    s.alphaCorrection = true;
    s.textureFilter = 9728.0f;
    return s;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find("\r\n", start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return out;
}

bool unit(float v)
{
    return v >= 0.0f && v <= 1.0f;
}

void checkRanges(const Settings& s)
{
    FUZZ_CHECK(s.sampling >= 0 && s.sampling <= 512 && s.halfSampling == s.sampling / 2);
    FUZZ_CHECK(unit(s.background[0]) && unit(s.background[1]) && unit(s.background[2]));
    FUZZ_CHECK(unit(s.alphaThreshold));
    FUZZ_CHECK(s.alphaFunc == 0x201 || s.alphaFunc == 0x202 || s.alphaFunc == 0x204);
    FUZZ_CHECK(s.blending >= 0 && s.blending <= 2 && s.curveKind >= 0 && s.curveKind <= 2);
    FUZZ_CHECK(s.mode.getDrawStyle() >= DRAW_STYLE_FIRST && s.mode.getDrawStyle() <= DRAW_STYLE_LAST);
    FUZZ_CHECK(s.mode.getClassification() >= CLASSIFICATION_FIRST &&
               s.mode.getClassification() <= CLASSIFICATION_LAST);
    for (int v : {s.width, s.height})
        FUZZ_CHECK(v == -1 || (v >= 1 && v <= kMaxSettingsWindowSize));
    for (int v : {s.x, s.y})
        FUZZ_CHECK(v >= -kMaxSettingsWindowPosition && v <= kMaxSettingsWindowPosition);
    FUZZ_CHECK(s.alphaCalculation >= 0 && s.alphaCalculation <= 2);
    FUZZ_CHECK(s.gradientCalculation >= 0 && s.gradientCalculation <= 4);
    FUZZ_CHECK(s.textureFilter == 9728.0f || s.textureFilter == 9729.0f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Over two running states: each line either took the file's value in
    // both or kept the running value in both.
    const Settings defaults;
    const Settings other = otherSettings();
    Settings a = defaults;
    Settings b = other;
    parseSettings(text, a);
    parseSettings(text, b);
    checkRanges(a);
    checkRanges(b);
    const std::vector<std::string> la = lines(formatSettings(a)), lb = lines(formatSettings(b));
    const std::vector<std::string> l0 = lines(formatSettings(defaults)), l1 = lines(formatSettings(other));
    FUZZ_CHECK(la.size() == 19 && lb.size() == 19 && l0.size() == 19 && l1.size() == 19);
    for (size_t i = 0; i < la.size(); ++i)
        FUZZ_CHECK(la[i] == lb[i] || (la[i] == l0[i] && lb[i] == l1[i]));

    // Through the file and the running objects, as at start-up and exit.
    const std::string in = fuzzsupport::writeScratch("glimra.ini", data, size);
    const std::string out = fuzzsupport::scratchPath("saved.ini");
    CoreSettingsTarget target;
    target.apply(defaults);
    FUZZ_CHECK(loadSettings(target, in));
    FUZZ_CHECK(saveSettings(target, out));
    Settings saved;
    FUZZ_CHECK(readSettingsFile(out, saved));
    FUZZ_CHECK(formatSettings(saved) == formatSettings(a));
    FUZZ_CHECK(parseSettings(formatSettings(saved), saved) == 19);
    FUZZ_CHECK(loadSettings(target, out) && saveSettings(target, out));
    Settings again;
    FUZZ_CHECK(readSettingsFile(out, again) && formatSettings(again) == formatSettings(saved));
    return 0;
}
