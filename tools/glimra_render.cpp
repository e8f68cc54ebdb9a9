// glimra-render: draws a data set offscreen with the program's renderers and
// writes the picture as a PNG, or times the frames.
#include "load.h"
#include "main_view.h"
#include "multi_volume.h"
#include "offscreen_render.h"
#include "render_mode.h"
#include "turntable.h"
#include "volume.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kUsage =
    "usage: glimra-render DATA [-m MASK] [-p PALETTE] [--ini FILE] [--style N]\n"
    "                     [--classification C] [--blending B] [--sampling N] [--size WxH]\n"
    "                     [--view front|back|left|right|top|bottom] [--rotate AX AY] [--ortho]\n"
    "                     [--bbox] [--iso] [--cg DIR] (-o OUT.png [--turntable N] | --frames N)\n"
    "  --style N           1 \"2D Texture\", 2 \"2D Multi Texture\", 3 \"3D Texture OAS\",\n"
    "                      4 \"3D Texture VAS\", 5 \"Ray Casting\", 6 \"Focus and Context\" (needs -m),\n"
    "                      9 \"3D Normal (texture)\", 10 \"3D Normal (fragment)\",\n"
    "                      11 \"3D Light (grad. mag.)\", 12 \"3D Light 2\",\n"
    "                      13 \"Multi Volume\" (needs data of more than four bands)\n"
    "  -m MASK             a mask of the data's resolution (.zvf or .dat)\n"
    "  --classification C  1 post-classification, 2 pre-classification, 3 and 4 pre-integration\n"
    "  --blending B        0 blending, 1 maximum intensity, 2 minimum intensity\n"
    "  --sampling N        slices, 0 to 512\n"
    "  --iso               iso-surface mode: the alpha test's threshold marks the surface\n"
    "  --turntable N       N pictures OUT_000.png ... turning the data once around the\n"
    "                      vertical screen axis, each written as it is drawn (1 to 3600)\n"
    "  --frames N          print the mean milliseconds of N frames instead of writing a picture\n"
    "  --cg DIR            the shader program directory (default: Cg/ beside the build)\n";

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The program files: beside the executable's directory (build trees sit in
// the source tree), then the source tree it was built from, then the
// program's own default.
std::string defaultCgDirectory()
{
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));
        if (isDirectory(dir + "/../Cg"))
            return dir + "/../Cg/";
        if (isDirectory(dir + "/Cg"))
            return dir + "/Cg/";
    }
    if (isDirectory(GLIMRA_SOURCE_DIR "/Cg"))
        return GLIMRA_SOURCE_DIR "/Cg/";
    return "../Cg/";
}

bool parseInt(const char* text, int lo, int hi, int* out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < lo || v > hi)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool parseFloat(const char* text, float* out)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !(v > -1e6 && v < 1e6))
        return false;
    *out = static_cast<float>(v);
    return true;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "glimra-render: %s\n", message.c_str());
    return 1;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "glimra-render: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string data, mask, palette, ini, output, cgDir, view = "front";
    int style = 0, classification = 0, blending = -1, sampling = -1, frames = 0, turntable = 0;
    int width = 640, height = 480;
    float rotX = 0, rotY = 0;
    bool ortho = false, bbox = false, iso = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // The option's value, or null when the command line ends.
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "-h" || arg == "--help") {
            std::printf("%s", kUsage);
            return 0;
        } else if (arg == "-m" || arg == "-p" || arg == "--ini" || arg == "-o" || arg == "--cg" ||
                   arg == "--view") {
            if (!(v = value()))
                return usageError(arg + " needs a value");
            std::string& target = arg == "-m" ? mask
                                  : arg == "-p" ? palette
                                  : arg == "--ini" ? ini
                                  : arg == "-o" ? output
                                  : arg == "--cg" ? cgDir
                                                  : view;
            target = v;
        } else if (arg == "--style") {
            if (!(v = value()) || !parseInt(v, INT_MIN, INT_MAX, &style))
                return usageError("--style needs a number");
        } else if (arg == "--classification") {
            if (!(v = value()) || !parseInt(v, INT_MIN, INT_MAX, &classification))
                return usageError("--classification needs a number");
        } else if (arg == "--blending") {
            if (!(v = value()) || !parseInt(v, 0, 2, &blending))
                return usageError("--blending needs 0, 1 or 2");
        } else if (arg == "--sampling") {
            if (!(v = value()) || !parseInt(v, 0, 512, &sampling))
                return usageError("--sampling needs a number from 0 to 512");
        } else if (arg == "--frames") {
            if (!(v = value()) || !parseInt(v, 1, 1000000, &frames))
                return usageError("--frames needs a positive number");
        } else if (arg == "--turntable") {
            if (!(v = value()) || !parseInt(v, 1, kMaxTurntableFrames, &turntable))
                return usageError("--turntable needs a number of frames from 1 to " +
                                  std::to_string(kMaxTurntableFrames));
        } else if (arg == "--size") {
            if (!(v = value()) || std::sscanf(v, "%dx%d", &width, &height) != 2 || width < 1 ||
                height < 1 || width > 16384 || height > 16384)
                return usageError("--size needs WIDTHxHEIGHT");
        } else if (arg == "--rotate") {
            if (i + 2 >= argc || !parseFloat(argv[i + 1], &rotX) || !parseFloat(argv[i + 2], &rotY))
                return usageError("--rotate needs two angles in degrees");
            i += 2;
        } else if (arg == "--ortho") {
            ortho = true;
        } else if (arg == "--bbox") {
            bbox = true;
        } else if (arg == "--iso") {
            iso = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (data.empty()) {
            data = arg;
        } else {
            return usageError("more than one data file: " + arg);
        }
    }
    if (data.empty())
        return usageError("no data file");
    if (output.empty() && frames == 0)
        return usageError("no output: give -o OUT.png or --frames N");
    if (turntable > 0 && (frames > 0 || output.empty()))
        return usageError("--turntable needs -o OUT.png and no --frames");
    float presetCheck[16];
    if (!viewPresetRotation(view, presetCheck))
        return usageError("unknown view " + view);
    // A picture that cannot be written stops the run before anything is drawn.
    if (frames == 0) {
        const std::string problem =
            outputPathProblem(turntable > 0 ? turntableFramePath(output, 0, turntable) : output);
        if (!problem.empty())
            return fail(problem);
    }
    if (cgDir.empty())
        cgDir = defaultCgDirectory();
    else if (cgDir.back() != '/')
        cgDir += '/';

    // The program's warning boxes become lines on standard error.
    setMessageBoxHandler([](const char* text, const char* title) {
        std::fprintf(stderr, "glimra-render: %s: %s\n", title, text);
    });
    // Data of more than four bands goes to the multi-volume loader, as in the window.
    g_loadSeams.loadMultiVolume = loadMultiVolume;
    OffscreenRenderer renderer(width, height, cgDir);
    if (!renderer.ok())
        return fail("no OpenGL context: " + renderer.error());
    if (!ini.empty() && !renderer.loadSettingsFile(ini))
        return fail("cannot read settings file " + ini);
    RenderMode& mode = RenderMode::instance();
    if (style == 0)
        style = mode.getDrawStyle();
    if (classification == 0)
        classification = mode.getClassification();
    if (!renderer.loadData(data))
        return fail("cannot load " + data);
    if (!mask.empty() && !renderer.loadMask(mask))
        return fail("cannot load mask " + mask);
    // After the loads: focus and context needs the mask, multi volume the bands.
    const std::string why = styleUnavailableReason(style, classification);
    if (!why.empty())
        return fail(why);
    if (!palette.empty() && !renderer.loadPalette(palette))
        return fail("cannot read palette " + palette);
    renderer.setStyle(style);
    renderer.setClassification(classification);
    if (blending >= 0)
        volume.setBlending(blending);
    if (sampling >= 0)
        volume.setSampling(sampling);
    if (ortho)
        renderer.setProjection(false);
    else
        renderer.setProjection(volume.perspective);
    renderer.setView(view, rotX, rotY);
    volume.showBBox = bbox;
    if (iso)
        volume.isoMode = true;

    if (frames > 0) {
        std::printf("%.3f\n", renderer.meanFrameMillis(frames));
        return 0;
    }
    std::string error;
    if (turntable > 0) {
        const bool done = renderTurntable(renderer, turntable, output,
                                          [](int frame, int count, const std::string& path) {
                                              std::fprintf(stderr, "glimra-render: frame %d of %d: %s\n",
                                                           frame + 1, count, path.c_str());
                                          },
                                          &error);
        return done ? 0 : fail(error);
    }
    // The first frame sets the clear colour minimum intensity needs.
    renderer.renderFrame();
    renderer.renderFrame();
    const std::vector<unsigned char> rgba = renderer.pixels();
    if (!writePngRGBA(output, rgba.data(), width, height, &error))
        return fail(error);
    return 0;
}
