// glimra-render: draws a data set offscreen with the program's renderers and
// writes the picture as a PNG, or times the frames.
#include "error_handling.h"
#include "main_view.h"
#include "memory_budget.h"
#include "offscreen_render.h"
#include "picture.h"
#include "program_files.h"
#include "pyramid_view.h"
#include "zarr_metadata.h"
#include "render_mode.h"
#include "turntable.h"
#include "volume.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: glimra-render DATA [-m MASK] [-p PALETTE] [--ini FILE] [--style N]\n"
    "                     [--classification C] [--blending B] [--sampling N] [--size WxH]\n"
    "                     [--view front|back|left|right|top|bottom] [--rotate AX AY] [--ortho]\n"
    "                     [--bbox] [--iso] [--clip A B C D]... [--time T] [--cg DIR]\n"
    "                     [--marker] [--colour-bar]\n"
    "                     (-o OUT.png [--turntable N] | --frames N [--drag])\n"
    "  --style N           1 \"2D Texture\", 2 \"2D Multi Texture\", 3 \"3D Texture OAS\",\n"
    "                      4 \"3D Texture VAS\", 5 \"Ray Casting\", 6 \"Focus and Context\" (needs -m),\n"
    "                      9 \"3D Normal (texture)\", 10 \"3D Normal (fragment)\",\n"
    "                      11 \"3D Light (grad. mag.)\", 12 \"3D Light 2\",\n"
    "                      13 \"Multi Volume\" (needs data of more than four bands)\n"
    "  -m MASK             a mask of the data's resolution (.zvf or .dat)\n"
    "  --classification C  1 post-classification, 2 pre-classification, 3 and 4 pre-integration\n"
    "  --blending B        0 blending, 1 maximum intensity, 2 minimum intensity\n"
    "  --sampling N        slices, 0 to 512\n"
    "  --bbox              draw the bounding box (else as --ini has it; off without one)\n"
    "  --marker            draw the orientation marker in the lower right corner: the\n"
    "                      data's x, y, z axes (red, green, blue), or L/R, A/P, S/I where\n"
    "                      the file says how the data lie\n"
    "  --colour-bar        draw the transfer function's colour bar with its data values\n"
    "  --iso               iso-surface mode: the alpha test's threshold marks the surface\n"
    "  --clip A B C D      keep the part of the data where A x + B y + C z + D >= 0, in the\n"
    "                      box's own frame (centred on 0, x from -0.5 to 0.5, y and z in\n"
    "                      proportion); up to six planes, turning with the data, outlines\n"
    "                      hidden\n"
    "  --time T            time point T of data that hold several (0 the first)\n"
    "  --turntable N       N pictures OUT_000.png ... turning the data once around the\n"
    "                      vertical screen axis, each written as it is drawn (1 to 3600)\n"
    "  --frames N          print the mean milliseconds of N frames instead of writing a picture\n"
    "  --drag              with --frames: time them as while dragging with speed-up (half\n"
    "                      the slices, a pyramid one level coarser), turning 2 degrees a frame\n"
    "  --cg DIR            the shader program directory (default: ../Cg/ of the working\n"
    "                      directory, Cg/ beside the build, else the installed share/glimra/Cg/)\n"
    "  --memory SIZE       refuse a data set whose load would hold more (besides the\n"
    "                      memory the machine has available), and keep a pyramid's\n"
    "                      streamed bricks within it: megabytes, or 512M, 2G (default\n"
    "                      for bricks: half the memory available at start)\n"
    "  --quiet             no notes of the loads on standard error (the byte order\n"
    "                      chosen, a short raw file, time points, a rescale, ...)\n";

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

// The program's warning boxes become lines on standard error.
class StderrObserver : public ViewerObserver
{
public:
    void warn(const std::string& text, const std::string& title) override
    {
        std::fprintf(stderr, "glimra-render: %s: %s\n", title.c_str(), text.c_str());
    }
};

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

// What the command line asks for.
struct Options
{
    std::string data, mask, palette, ini, output, cgDir, view = "front";
    int style = 0, classification = 0, blending = -1, sampling = -1, frames = 0, turntable = 0;
    int width = 640, height = 480;
    uint64_t memory = 0; // bytes, 0 for no limit of its own
    int time = 0;   // the time point drawn, 0 the first
    float rotX = 0, rotY = 0;
    std::vector<std::array<float, 4>> clips; // --clip planes, at most six
    bool ortho = false, bbox = false, iso = false, quiet = false, drag = false;
    bool marker = false, colourBar = false; // the overlays, off unless asked for
};

// Options that take one number within bounds: false with the message when
// the value is missing or out of range.
bool numberOption(const std::string& arg, const char* v, Options& o, std::string* message)
{
    struct Rule
    {
        const char* name;
        int* target;
        int low, high;
        std::string message;
    };
    const Rule rules[] = {
        {"--style", &o.style, INT_MIN, INT_MAX, "--style needs a number"},
        {"--classification", &o.classification, INT_MIN, INT_MAX, "--classification needs a number"},
        {"--blending", &o.blending, 0, 2, "--blending needs 0, 1 or 2"},
        {"--sampling", &o.sampling, 0, 512, "--sampling needs a number from 0 to 512"},
        {"--frames", &o.frames, 1, 1000000, "--frames needs a positive number"},
        {"--time", &o.time, 0, INT_MAX, "--time needs a time point from 0 on"},
        {"--turntable", &o.turntable, 1, kMaxTurntableFrames,
         "--turntable needs a number of frames from 1 to " + std::to_string(kMaxTurntableFrames)},
    };
    for (const Rule& r : rules)
        if (arg == r.name) {
            if (!v || !parseInt(v, r.low, r.high, r.target)) {
                *message = r.message;
                return false;
            }
            return true;
        }
    return false;
}

bool isNumberOption(const std::string& arg)
{
    return arg == "--style" || arg == "--classification" || arg == "--blending" || arg == "--sampling" ||
           arg == "--frames" || arg == "--turntable" || arg == "--time";
}

// The command line into o: -1 to go on, else the exit status (help, usage errors).
int parseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // The option's value, or null when the command line ends.
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        std::string message;
        if (arg == "-h" || arg == "--help") {
            std::printf("%s", kUsage);
            return 0;
        } else if (arg == "-m" || arg == "-p" || arg == "--ini" || arg == "-o" || arg == "--cg" ||
                   arg == "--view") {
            if (!(v = value()))
                return usageError(arg + " needs a value");
            std::string& target = arg == "-m" ? o.mask
                                  : arg == "-p" ? o.palette
                                  : arg == "--ini" ? o.ini
                                  : arg == "-o" ? o.output
                                  : arg == "--cg" ? o.cgDir
                                                  : o.view;
            target = v;
        } else if (arg == "--memory") {
            if (!(v = value()) || !parseMemoryOption(v, &o.memory))
                return usageError("--memory needs megabytes from 1 to 16777216, or a size such as 512M or 2G");
        } else if (isNumberOption(arg)) {
            if (!numberOption(arg, value(), o, &message))
                return usageError(message);
        } else if (arg == "--size") {
            if (!(v = value()) || std::sscanf(v, "%dx%d", &o.width, &o.height) != 2 || o.width < 1 ||
                o.height < 1 || o.width > 16384 || o.height > 16384)
                return usageError("--size needs WIDTHxHEIGHT");
        } else if (arg == "--rotate") {
            if (i + 2 >= argc || !parseFloat(argv[i + 1], &o.rotX) || !parseFloat(argv[i + 2], &o.rotY))
                return usageError("--rotate needs two angles in degrees");
            i += 2;
        } else if (arg == "--clip") {
            std::array<float, 4> plane{};
            for (int k = 0; k < 4; ++k)
                if (i + 1 >= argc || !parseFloat(argv[++i], &plane[k]))
                    return usageError("--clip needs four numbers A B C D");
            if (plane[0] == 0.0f && plane[1] == 0.0f && plane[2] == 0.0f)
                return usageError("--clip needs a normal (A, B, C) other than 0 0 0");
            if (o.clips.size() == 6)
                return usageError("--clip takes at most six planes");
            o.clips.push_back(plane);
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--ortho") {
            o.ortho = true;
        } else if (arg == "--bbox") {
            o.bbox = true;
        } else if (arg == "--marker") {
            o.marker = true;
        } else if (arg == "--colour-bar") {
            o.colourBar = true;
        } else if (arg == "--iso") {
            o.iso = true;
        } else if (arg == "--drag") {
            o.drag = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (o.data.empty()) {
            o.data = arg;
        } else {
            return usageError("more than one data file: " + arg);
        }
    }
    return -1;
}

// Options that cannot go together, a view that does not exist, a picture
// that cannot be written: -1 when all is well, else the exit status.
int checkOptions(Options& o)
{
    if (o.data.empty())
        return usageError("no data file");
    if (o.output.empty() && o.frames == 0)
        return usageError("no output: give -o OUT.png or --frames N");
    if (o.drag && o.frames == 0)
        return usageError("--drag needs --frames N");
    if (o.turntable > 0 && (o.frames > 0 || o.output.empty()))
        return usageError("--turntable needs -o OUT.png and no --frames");
    float presetCheck[16];
    if (!viewPresetRotation(o.view, presetCheck))
        return usageError("unknown view " + o.view);
    // A picture that cannot be written stops the run before anything is drawn.
    if (o.frames == 0) {
        const std::string problem =
            outputPathProblem(o.turntable > 0 ? turntableFramePath(o.output, 0, o.turntable) : o.output);
        if (!problem.empty())
            return fail(problem);
    }
    if (o.cgDir.empty())
        o.cgDir = findProgramFiles("Cg");
    else if (o.cgDir.back() != '/')
        o.cgDir += '/';
    return -1;
}

// A note of a load on standard error: what a user of the picture needs to
// know about how the file was read.
void printNote(const char* text)
{
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (!line.empty())
        std::fprintf(stderr, "glimra-render: %s\n", line.c_str());
}

// The lines of the data information that say the picture is not simply the
// file's values: several time points, a rescale.
void printInfoNotes(const std::string& info)
{
    size_t begin = 0;
    while (begin < info.size()) {
        size_t end = info.find('\n', begin);
        if (end == std::string::npos)
            end = info.size();
        const std::string line = info.substr(begin, end - begin);
        if (line.compare(0, 12, "Time points:") == 0 || line.compare(0, 8, "Rescale:") == 0) {
            std::string shown = line;
            for (char& c : shown)
                if (c == '\t')
                    c = ' ';
            printNote(shown.c_str());
        }
        begin = end + 1;
    }
}

// A pyramid's finer levels over the coarsest one the load drew: a style
// that cannot draw them is refused (status 2); a pyramid they cannot come
// from is drawn at its coarsest level with a note. -1 to go on.
int checkPyramid(OffscreenRenderer& renderer, const Options& o)
{
    if (!isZarrPath(o.data))
        return -1;
    const std::string refusal = pyramidStyleRefusal(o.style);
    if (!refusal.empty()) {
        std::fprintf(stderr, "glimra-render: %s: %s\n", o.data.c_str(), refusal.c_str());
        return 2;
    }
    const std::string& note = renderer.viewer().pyramidNote();
    if (!note.empty() && !o.quiet)
        std::fprintf(stderr, "glimra-render: %s: drawn at its coarsest level: %s\n", o.data.c_str(), note.c_str());
    return -1;
}

// Settings, data, mask, palette and the view into the renderer: -1 when
// all is there, else the exit status.
int prepare(OffscreenRenderer& renderer, Options& o)
{
    if (!renderer.ok())
        return fail("no OpenGL context: " + renderer.error());
    if (!o.ini.empty() && !renderer.loadSettingsFile(o.ini))
        return fail("cannot read settings file " + o.ini);
    RenderMode& mode = RenderMode::instance();
    if (o.style == 0)
        o.style = mode.getDrawStyle();
    if (o.classification == 0)
        o.classification = mode.getClassification();
    // The load builds the textures of the style it will draw, as the window's
    // load builds those of the saved style; the rest waits for first use.
    mode.setDrawStyle(o.style);
    mode.setClassification(o.classification);
    if (!o.quiet)
        setNoteListener(printNote);
    // A pyramid's picture waits for every brick of its finer levels.
    renderer.viewer().streamPyramids(true, true);
    renderer.viewer().setBrickBudget(o.memory);
    const bool loaded = renderer.loadData(o.data);
    setNoteListener(nullptr);
    if (!loaded)
        return fail("cannot load " + o.data);
    const int pyramid = checkPyramid(renderer, o);
    if (pyramid >= 0)
        return pyramid;
    const size_t timePoints = renderer.viewer().timePoints();
    if (static_cast<size_t>(o.time) >= timePoints)
        return usageError("--time " + std::to_string(o.time) + ": " + o.data + " has " +
                          (timePoints == 1 ? std::string("no time points") :
                                             std::to_string(timePoints) + " time points, 0 to " +
                                                 std::to_string(timePoints - 1)));
    if (o.time > 0 && !renderer.showTimePoint(static_cast<size_t>(o.time)))
        return fail("cannot read time point " + std::to_string(o.time) + " of " + o.data);
    if (!o.quiet)
        printInfoNotes(renderer.dataInfo());
    if (!o.mask.empty() && !renderer.loadMask(o.mask))
        return fail("cannot load mask " + o.mask);
    // After the loads: focus and context needs the mask, multi volume the bands.
    const std::string why = renderer.viewer().whyUnavailable(o.style, o.classification);
    if (!why.empty())
        return fail(why);
    if (!o.palette.empty() && !renderer.loadPalette(o.palette))
        return fail("cannot read palette " + o.palette);
    renderer.setStyle(o.style);
    renderer.setClassification(o.classification);
    if (o.blending >= 0)
        renderer.viewer().setBlending(o.blending);
    if (o.sampling >= 0)
        volume.setSampling(o.sampling);
    if (o.ortho)
        renderer.setProjection(false);
    else
        renderer.setProjection(volume.perspective);
    renderer.setView(o.view, o.rotX, o.rotY);
    for (const std::array<float, 4>& plane : o.clips)
        renderer.viewer().addClipPlane(plane.data());
    // The box as the settings file has it, else only when asked for.
    if (o.bbox || o.ini.empty())
        volume.showBBox = o.bbox;
    if (o.iso)
        volume.isoMode = true;
    renderer.view().overlay.markerVisible = o.marker;
    renderer.view().overlay.colourBarVisible = o.colourBar;
    return -1;
}

// The timing, the turntable or the one picture the options ask for.
int render(OffscreenRenderer& renderer, const Options& o)
{
    if (o.frames > 0) {
        // A pyramid's refined view is timed, not the reads that refine it.
        if (renderer.viewer().pyramidStream())
            renderer.renderFrame();
        std::printf("%.3f\n", o.drag ? renderer.meanDragFrameMillis(o.frames) : renderer.meanFrameMillis(o.frames));
        return 0;
    }
    std::string error;
    if (o.turntable > 0) {
        const bool done = renderTurntable(renderer.view(), o.width, o.height, o.turntable, o.output,
                                          [](int frame, int count, const std::string& path) {
                                              std::fprintf(stderr, "glimra-render: frame %d of %d: %s\n",
                                                           frame + 1, count, path.c_str());
                                              return true;
                                          },
                                          &error);
        return done ? 0 : fail(error);
    }
    // The picture as the window's "Save Picture..." draws it.
    if (!savePicture(renderer.view(), o.width, o.height, o.output, &error))
        return fail(error);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    int status = parseOptions(argc, argv, o);
    if (status < 0)
        status = checkOptions(o);
    if (status >= 0)
        return status;
    setLoadMemoryLimit(o.memory);
    StderrObserver observer;
    OffscreenRenderer renderer(o.width, o.height, o.cgDir, observer);
    status = prepare(renderer, o);
    return status >= 0 ? status : render(renderer, o);
}
