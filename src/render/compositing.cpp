// How the slices combine in the frame buffer: blend equation and function
// per compositing rule, set once per frame before the first polygon.
#include "includegl.h"
#include "render_mode.h"
#include "volume.h"

void Volume::setupCompositing()
{
    glColor4f(1, 1, 1, 1);

    // Without the min/max extension (no entry point fetched) the equation
    // stays addition and only the blend functions differ.
    void (*equation)(GLenum) = extProcs.blendEquation;
    // Multi-channel data compares colours, one channel its intensity alpha.
    const GLenum srcExtreme = nbrChannels > 1 ? GL_SRC_COLOR : GL_SRC_ALPHA;
    const GLenum dstExtreme = nbrChannels > 1 ? GL_DST_COLOR : GL_DST_ALPHA;

    switch (blending) {
    case BLENDING_MAXIMUM:
        if (equation)
            equation(GL_MAX_EXT);
        glBlendFunc(srcExtreme, dstExtreme);
        break;
    case BLENDING_MINIMUM:
        if (equation)
            equation(GL_MIN_EXT);
        glBlendFunc(srcExtreme, dstExtreme);
        break;
    default: // 0, and any value outside the three rules, composites
        if (equation)
            equation(GL_FUNC_ADD_EXT);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
    }
    glEnable(GL_BLEND);
}

void Volume::clearColour(float rgb[3]) const
{
    // Chosen before the clear, so the first frame of a rule is already right
    // and a hidden (or absent) volume keeps the background.
    const bool white = blending == BLENDING_MINIMUM && showVolume && isData;
    for (int c = 0; c < 3; ++c)
        rgb[c] = white ? 1.0f : background[c];
}
