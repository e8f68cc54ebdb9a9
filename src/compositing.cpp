// How the slices combine in the frame buffer: blend equation and function
// per compositing rule, set once per frame before the first polygon.
#include "includegl.h"
#include "render_mode.h"
#include "volume.h"

void Volume::setupCompositing()
{
    glColor4f(1, 1, 1, 1);
    glClearColor(background[0], background[1], background[2], 1);

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
        // The minimum of anything and white is the thing itself: the next
        // frame's clear must not darken the picture.
        glClearColor(1, 1, 1, 1);
        break;
    default: // 0, and any value outside the three rules, composites
        if (equation)
            equation(GL_FUNC_ADD_EXT);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
    }
    glEnable(GL_BLEND);
}
