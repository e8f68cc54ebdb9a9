#include "pyramid_view.h"

#include "brick_plan.h"
#include "render_mode.h"
#include "system_memory.h"
#include "volume.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

std::string pyramidStyleRefusal(int style)
{
    switch (style) {
    case DRAW_3D_TEXTURE_OAS:
    case DRAW_3D_TEXTURE_VAS:
    case DRAW_RAY_CASTING:
        return "";
    case DRAW_2D_TEXTURE:
    case DRAW_2D_MULTI_TEXTURE:
        return "the 2-D stacks need every slice of the volume whole; a pyramid streams 3-D bricks";
    case DRAW_FOCUS_CONTEXT:
    case DRAW_FOCUS_CONTEXT_MASK:
    case DRAW_FOCUS_CONTEXT_DILATE:
        return "focus and context needs a mask of the whole volume; a pyramid streams bricks";
    case DRAW_MULTI_VOLUME:
        return "multi volume needs every band whole; a pyramid streams one band in bricks";
    default:
        return "the shaded styles need the gradients of the whole volume; a pyramid streams bricks";
    }
}

uint64_t defaultBrickBudget()
{
    // Measured once, at the first call of the run: the field that shows it
    // and the stream that uses it agree for the whole run.
    static const uint64_t atStart = [] {
        const uint64_t available = availableMemory();
        return available ? available / 2 : 512ull << 20;
    }();
    return atStart;
}

int brickMemoryFieldValue(uint64_t bytes)
{
    const uint64_t megabytes = bytes / (1u << 20) + (bytes % (1u << 20) != 0);
    return static_cast<int>(std::min<uint64_t>(std::max<uint64_t>(megabytes, 1), kMaxBrickMemoryMB));
}

bool parseMemoryOption(const std::string& text, uint64_t* bytes)
{
    bool digits = !text.empty();
    for (char c : text)
        digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (!digits)
        return parseMemorySize(text, bytes);
    if (text.size() > 8)
        return false;
    const long megabytes = std::strtol(text.c_str(), nullptr, 10);
    if (megabytes < 1 || megabytes > (1L << 24))
        return false;
    *bytes = static_cast<uint64_t>(megabytes) << 20;
    return true;
}

std::unique_ptr<BrickStream> streamPyramid(const std::string& path, uint64_t budget, bool waiting,
                                           std::string* why)
{
    std::unique_ptr<BrickStream> stream(new BrickStream);
    if (!stream->open(path, why) || !stream->attach(volume, why))
        return nullptr;
    stream->setBudget(budget);
    stream->setWaiting(waiting);
    return stream;
}
