#include "actions.h"

#include "error_handling.h"
#include "my_cg.h"
#include "render_mode.h"
#include "transfer_function.h"
#include "volume.h"

const char* drawStyleLabel(int style)
{
    static const char* const labels[] = {"",
                                         "2D Texture",
                                         "2D Multi Texture",
                                         "3D Texture OAS",
                                         "3D Texture VAS",
                                         "Ray Casting",
                                         "Focus and Context",
                                         "Focus and Context (mask pass)",
                                         "Focus and Context (dilation pass)",
                                         "3D Normal (texture)",
                                         "3D Normal (fragment)",
                                         "3D Light (grad. mag.)",
                                         "3D Light 2",
                                         "Multi Volume"};
    return (style >= DRAW_STYLE_FIRST && style <= DRAW_STYLE_LAST) ? labels[style] : "";
}

std::string drawStyleUnavailableReason(int style)
{
    if (style < DRAW_STYLE_FIRST || style > DRAW_STYLE_LAST)
        return "Draw style " + std::to_string(style) + " does not exist.";
    const bool shaded = style >= DRAW_NORMAL_TEXTURE && style <= DRAW_LIGHT2;
    // The two passes of focus and context are drawn by its own style only.
    if (style == DRAW_FOCUS_CONTEXT_MASK || style == DRAW_FOCUS_CONTEXT_DILATE)
        return std::string("Draw style \"") + drawStyleLabel(style) + "\" is not available.";
    if ((style == DRAW_RAY_CASTING || style == DRAW_FOCUS_CONTEXT) && !nv40Supported)
        return std::string("\"") + drawStyleLabel(style) + "\" is not available: its shader programs are missing.";
    if (style == DRAW_FOCUS_CONTEXT && !volume.isMask)
        return "\"Focus and Context\" needs a mask (-m).";
    if (style == DRAW_MULTI_VOLUME && !volume.myMVolumeInfo)
        return "\"Multi Volume\" needs data with more than four bands.";
    if (shaded && !arbProgramsReady)
        return std::string("Draw style \"") + drawStyleLabel(style) +
               "\" is not available: its shader programs are missing.";
    return "";
}

std::string styleUnavailableReason(int style, int classification)
{
    const std::string reason = drawStyleUnavailableReason(style);
    if (!reason.empty())
        return reason;
    if (classification < CLASSIFICATION_FIRST || classification > CLASSIFICATION_LAST)
        return "Classification " + std::to_string(classification) + " does not exist.";
    if (classification == CLASSIFICATION_PRE) {
        if (!transfer || !transfer->isPaletted())
            return "\"Pre Classification\" is not available: it needs GL_EXT_paletted_texture and "
                   "GL_EXT_shared_texture_palette.";
    } else if (!cgReady) {
        return "The shader programs are not available.";
    }
    return "";
}

bool fallBackToDrawableStyle()
{
    RenderMode& mode = RenderMode::instance();
    const int style = mode.getDrawStyle();
    // The two passes of focus and context, when a settings file names them,
    // stay as the file says (the window shows them under "2D Texture").
    if (style == DRAW_FOCUS_CONTEXT_MASK || style == DRAW_FOCUS_CONTEXT_DILATE || style == DRAW_3D_TEXTURE_VAS)
        return false;
    const std::string reason = drawStyleUnavailableReason(style);
    if (reason.empty())
        return false;
    mode.setDrawStyle(DRAW_3D_TEXTURE_VAS);
    logBoth(__FILE__, __LINE__, (reason + " Drawing \"3D Texture VAS\" instead.\n").c_str());
    return true;
}
