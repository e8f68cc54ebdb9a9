// "Focus and Context": the mask's front depth drawn into the frame buffer,
// copied into the render target and grown there by dilation passes into a
// cone; then the data ray-cast with everything in front of that image cut
// away, and the mask itself highlighted in red.
#include "error_handling.h"
#include "my_cg.h"
#include "render_mode.h"
#include "texture.h"
#include "transfer_function.h"
#include "volume.h"

#include <utility>

namespace {

void copyIntoTarget(const TextureTarget& t)
{
    glBindTexture(GL_TEXTURE_2D, t.texture);
    if (t.copyWidth > 0 && t.copyHeight > 0)
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, t.clipX, t.clipY, t.copyX, t.copyY, t.copyWidth,
                            t.copyHeight);
    checkGLError("glCopyTexSubImage2D");
}

// The clip planes cut the data, not the window-sized dilation quad.
class ClipPlanesOff
{
public:
    ClipPlanesOff()
    {
        for (int i = 0; i < 6; ++i) {
            myOn[i] = glIsEnabled(GL_CLIP_PLANE0 + i) == GL_TRUE;
            glDisable(GL_CLIP_PLANE0 + i);
        }
    }
    ~ClipPlanesOff()
    {
        for (int i = 0; i < 6; ++i)
            if (myOn[i])
                glEnable(GL_CLIP_PLANE0 + i);
    }

private:
    bool myOn[6];
};

// The pass that draws with the programs of style under the current
// classification, reading target when there is one.
FocusPass passOf(int style, const TextureTarget* target)
{
    FocusPass pass;
    pass.set = RenderMode::programSetFor(style, RenderMode::instance().getClassification());
    if (target) {
        pass.targetTexture = target->texture;
        pass.decrement = target->decrement;
        pass.width = static_cast<float>(target->rectWidth);
        pass.height = static_cast<float>(target->rectHeight);
    }
    return pass;
}

// The table texture the ray-casting programs classify with.
GLuint classifyingTable(bool preint)
{
    GLuint palette = 0;
    GLuint preintegration = 0;
    unsigned long version = 0;
    cgTableOverrides(&palette, &preintegration, &version);
    if (preint)
        return preintegration ? preintegration : (transfer ? transfer->getPreintTexture() : 0);
    return palette ? palette : (transfer ? transfer->getPaletteTexture() : 0);
}

// The mask drawn by the ray caster over a red table: (255, 0, 0, a) with a
// the entry (post) or the back value (pre-integration). The table texture
// gets its own bytes back afterwards, read from it beforehand, so whatever
// it held (the transfer function's table or one handed in) is unchanged.
void highlightMask(Volume& v, bool preint)
{
    const GLuint table = classifyingTable(preint);
    if (!table)
        return;
    glBindTexture(GL_TEXTURE_2D, table);
    GLint width = 0;
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width <= 0 || height <= 0)
        return;
    const size_t savedBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    unsigned char* savedTable = nullptr;
    GUARDED_ARRAY_AS(savedTable, "savedTable", unsigned char, savedBytes);
    if (!savedTable)
        return;
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, savedTable);
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);

    const int rows = preint ? 256 : 1;
    const size_t bytes = static_cast<size_t>(256) * rows * 4;
    unsigned char* maskPalette = nullptr;
    GUARDED_ARRAY_AS(maskPalette, "maskPalette", unsigned char, bytes);
    if (!maskPalette) {
        RELEASE_ARRAY(savedTable);
        return;
    }
    for (int j = 0; j < 256 * rows; ++j) {
        maskPalette[4 * j] = 255;
        maskPalette[4 * j + 1] = 0;
        maskPalette[4 * j + 2] = 0;
        maskPalette[4 * j + 3] = static_cast<unsigned char>(preint ? j / 256 : j);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, maskPalette);
    checkGLError("glTexImage2D");
    RELEASE_ARRAY(maskPalette);

    // The empty cells were found for the data's palette, not the mask's.
    SkipGrid dataCells;
    std::swap(dataCells, v.skipGrid);
    // The mask drawn as the ray caster draws data.
    const FocusPass pass = passOf(DRAW_RAY_CASTING, nullptr);
    glBindTexture(GL_TEXTURE_3D, v.tidMask);
    glEnable(GL_TEXTURE_3D);
    v.drawBox(-1, true, &pass);
    glBindTexture(GL_TEXTURE_3D, v.tidVolume);
    std::swap(dataCells, v.skipGrid);

    glBindTexture(GL_TEXTURE_2D, table);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, savedTable);
    checkGLError("glTexImage2D");
    RELEASE_ARRAY(savedTable);
}

} // namespace

void Volume::renderFocusContext()
{
    TextureTarget* target = shiftTex;
    if (!isMask || !target || target->texture == 0)
        return;
    const int classification = RenderMode::instance().getClassification();

    // Mask pass: the depth of the mask's front where each ray meets it. A
    // blend left from the last frame (minimum intensity) would eat it.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    const FocusPass maskPass = passOf(DRAW_FOCUS_CONTEXT_MASK, target);
    glBindTexture(GL_TEXTURE_3D, tidMask);
    glEnable(GL_TEXTURE_3D);
    drawBox(-1, true, &maskPass);
    glBindTexture(GL_TEXTURE_3D, tidVolume);

    copyIntoTarget(*target);
    target->readBack();

    // Dilation in window coordinates over the target's rectangle.
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, target->windowWidth, 0, target->windowHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    {
        ClipPlanesOff planesOff;
        // The read-back set the dilation's step.
        const FocusPass dilatePass = passOf(DRAW_FOCUS_CONTEXT_DILATE, target);
        glBindTexture(GL_TEXTURE_2D, target->texture);
        const float x = static_cast<float>(target->rectX);
        const float y = static_cast<float>(target->rectY);
        const float w = static_cast<float>(target->rectWidth);
        const float h = static_cast<float>(target->rectHeight);
        for (int pass = 0; pass < target->reach; ++pass) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            bindCgPrograms(target->texture, true, 0, 0, -1, &dilatePass);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(x, y);
            glTexCoord2f(1, 0);
            glVertex2f(x + w, y);
            glTexCoord2f(1, 1);
            glVertex2f(x + w, y + h);
            glTexCoord2f(0, 1);
            glVertex2f(x, y + h);
            glEnd();
            disableCgPrograms();
            copyIntoTarget(*target);
        }
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    float clear[3];
    clearColour(clear);
    glClearColor(clear[0], clear[1], clear[2], 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

    // Main pass: the data with what lies in front of the grown image cut away.
    FocusPass mainPass = passOf(DRAW_FOCUS_CONTEXT, target);
    mainPass.corners = true;
    setupCompositing();
    glAlphaFunc(alphaFunc, alphaThreshold);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_TEXTURE_3D);
    drawBox(-1, false, &mainPass);

    // Without a program pre-classification has nothing to classify the mask with.
    if (target->enabled && classification != CLASSIFICATION_PRE)
        highlightMask(*this,
                      classification == CLASSIFICATION_PRE_INTEGRATION ||
                          classification == CLASSIFICATION_PRE_INTEGRATION_FILE);

    glDisable(GL_TEXTURE_3D);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_STENCIL_TEST);
}
