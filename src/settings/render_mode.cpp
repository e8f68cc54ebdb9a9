#include "render_mode.h"

#include "command_ids.h"

RenderMode& RenderMode::instance()
{
    static RenderMode mode;
    return mode;
}

int RenderMode::slicingFor(int style, int previous)
{
    switch (style) {
    case DRAW_2D_TEXTURE:
    case DRAW_2D_MULTI_TEXTURE:
        return SLICING_2D_STACKS;
    case DRAW_3D_TEXTURE_OAS:
        return SLICING_3D_OBJECT_ALIGNED;
    case DRAW_3D_TEXTURE_VAS:
        return SLICING_3D_VIEW_ALIGNED;
    case DRAW_RAY_CASTING:
    case DRAW_FOCUS_CONTEXT:
    case DRAW_FOCUS_CONTEXT_MASK:
    case DRAW_FOCUS_CONTEXT_DILATE:
        return SLICING_RAY_CASTING;
    default:
        // Shaded styles keep the 3-D slicing last chosen, else object-aligned.
        if (previous == SLICING_3D_OBJECT_ALIGNED || previous == SLICING_3D_VIEW_ALIGNED)
            return previous;
        return SLICING_3D_OBJECT_ALIGNED;
    }
}

ProgramSet RenderMode::programSetFor(int style, int c)
{
    const bool preIntegrated =
        c == CLASSIFICATION_PRE_INTEGRATION || c == CLASSIFICATION_PRE_INTEGRATION_FILE;
    if (c < CLASSIFICATION_FIRST || c > CLASSIFICATION_LAST)
        return ProgramSet::None;
    switch (style) {
    case DRAW_2D_TEXTURE:
    case DRAW_3D_TEXTURE_OAS:
    case DRAW_3D_TEXTURE_VAS:
        return c == CLASSIFICATION_POST ? ProgramSet::Post
               : preIntegrated          ? ProgramSet::PreIntegration
                                        : ProgramSet::None;
    case DRAW_2D_MULTI_TEXTURE:
        return c == CLASSIFICATION_POST ? ProgramSet::MultiTexturePost
               : preIntegrated          ? ProgramSet::MultiTexturePreIntegration
                                        : ProgramSet::None;
    case DRAW_RAY_CASTING:
        return ProgramSet::RayCasting;
    case DRAW_FOCUS_CONTEXT:
        return ProgramSet::FocusContext;
    case DRAW_FOCUS_CONTEXT_MASK:
        return ProgramSet::FocusContextMask;
    case DRAW_FOCUS_CONTEXT_DILATE:
        return ProgramSet::FocusContextDilate;
    case DRAW_NORMAL_TEXTURE:
        return ProgramSet::NormalTexture;
    case DRAW_NORMAL_FRAGMENT:
        return ProgramSet::NormalFragment;
    case DRAW_LIGHT_GRADMAG:
        return ProgramSet::LightGradMag;
    case DRAW_LIGHT2:
        return ProgramSet::Light2;
    case DRAW_MULTI_VOLUME:
        return preIntegrated ? ProgramSet::MultiVolumePreIntegration : ProgramSet::MultiVolumePost;
    default:
        return ProgramSet::None;
    }
}

void RenderMode::setDrawStyle(int s)
{
    if (s >= DRAW_STYLE_FIRST && s <= DRAW_STYLE_LAST)
        drawStyle = s;
    slicing = slicingFor(drawStyle, slicing);
    programSet = programSetFor(drawStyle, classification);
}

void RenderMode::setClassification(int c)
{
    if (c >= CLASSIFICATION_FIRST && c <= CLASSIFICATION_LAST)
        classification = c;
    programSet = programSetFor(drawStyle, classification);
}

namespace {
const int kStyleCommands[DRAW_STYLE_LAST + 1] = {
    0,
    ID_STYLE_2D,
    ID_STYLE_2D_MULTI,
    ID_STYLE_3D_OAS,
    ID_STYLE_3D_VAS,
    ID_STYLE_RAY_CASTING,
    ID_STYLE_FOCUS_CONTEXT,
    ID_STYLE_2D, // mask pass
    ID_STYLE_2D, // dilation pass
    ID_STYLE_NORMAL_TEXTURE,
    ID_STYLE_NORMAL_FRAGMENT,
    ID_STYLE_LIGHT_GRADMAG,
    ID_STYLE_LIGHT2,
    ID_STYLE_MULTI_VOLUME,
};
}

int drawStyleCommandId(int style)
{
    if (style < DRAW_STYLE_FIRST || style > DRAW_STYLE_LAST)
        return 0;
    return kStyleCommands[style];
}

int drawStyleForCommandId(int id)
{
    for (int s = DRAW_STYLE_FIRST; s <= DRAW_STYLE_LAST; ++s) {
        if (s == DRAW_FOCUS_CONTEXT_MASK || s == DRAW_FOCUS_CONTEXT_DILATE)
            continue;
        if (kStyleCommands[s] == id)
            return s;
    }
    return 0;
}

int blendingCommandId(int blending)
{
    switch (blending) {
    case BLENDING_MAXIMUM:
        return ID_MAXIMUM;
    case BLENDING_MINIMUM:
        return ID_MINIMUM;
    default:
        return ID_BLEND;
    }
}
