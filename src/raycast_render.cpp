// The ray caster's part of render volume: the box (or each brick's box) drawn
// once with the ray-casting programs, and the empty-space flags kept in step
// with the palette.
#include "bricking.h"
#include "my_cg.h"
#include "render_mode.h"
#include "texture.h"
#include "transfer_function.h"
#include "volume.h"

#include <vector>

namespace {

// FNV-1a over the palette's bytes: tells a changed palette from the same one.
unsigned long long paletteHash(const unsigned char* bytes, size_t n)
{
    unsigned long long h = 1469598103934665603ULL;
    for (size_t i = 0; i < n; ++i)
        h = (h ^ bytes[i]) * 1099511628211ULL;
    return h | 1; // never 0, which means "no palette"
}

const Brick* brickOf(const Volume& v, int brick)
{
    const BrickInfo* info = v.myBrickInfo;
    if (brick < 0 || !info || !info->bricks || brick >= info->count)
        return nullptr;
    return info->bricks[brick];
}

} // namespace

void Volume::updateSkipGrid()
{
    if (skipGrid.lo.empty())
        return;
    GLuint paletteOverride = 0;
    GLuint preintOverride = 0;
    cgTableOverrides(&paletteOverride, &preintOverride);
    const int classification = RenderMode::instance().getClassification();
    const bool preint = classification == CLASSIFICATION_PRE_INTEGRATION ||
                        classification == CLASSIFICATION_PRE_INTEGRATION_FILE;

    if (paletteOverride && !preint) {
        // A palette handed in from outside (tools, tests): its texture is the
        // only copy, so read it back.
        GLint previous = 0;
        GLint width = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glBindTexture(GL_TEXTURE_2D, paletteOverride);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        std::vector<unsigned char> rgba(static_cast<size_t>(width > 0 && width <= 65536 ? width : 0) * 4);
        if (!rgba.empty()) {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
        }
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        const unsigned long long key = rgba.empty() ? 0 : paletteHash(rgba.data(), rgba.size());
        if (key != skipGrid.paletteKey)
            skipGridClassify(skipGrid, rgba.data(), width, key);
        return;
    }
    if (!paletteOverride && !preintOverride && transfer && transfer->getPalette()) {
        // The pre-integration table is made from this palette: a cell the
        // palette hides is hidden in every segment inside it too.
        const int n = transfer->getTableSize();
        const unsigned long long key = paletteHash(transfer->getPalette(), static_cast<size_t>(n) * 4);
        if (key != skipGrid.paletteKey)
            skipGridClassify(skipGrid, transfer->getPalette(), n, key);
        return;
    }
    // A table with no palette behind it: nothing is known to be hidden.
    skipGrid.cellInfo.clear();
    skipGrid.paletteKey = 0;
}

void Volume::drawBox(int brick, bool mask)
{
    const Brick* b = brickOf(*this, brick);
    glEnable(GL_CULL_FACE);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(texScale3D[0] / 2.0f, texScale3D[1] / 2.0f, texScale3D[2] / 2.0f);
    glScalef(texScale3D[0] / extent[0], texScale3D[1] / extent[1], texScale3D[2] / extent[2]);
    glMatrixMode(GL_MODELVIEW);
    if (b) {
        glPushMatrix();
        glMultMatrixf(b->placement);
    }
    if (mask)
        bindCgPrograms(tidMask, false, tidGradient, tidMagnitude, -1);
    else if (b)
        bindCgPrograms(b->texData, false, b->texGradient, b->texMagnitude, brick);
    else
        bindCgPrograms(tidVolume, false, tidGradient, tidMagnitude, -1);
    // The main pass of focus and context finds each corner in the render target.
    if (RenderMode::instance().getDrawStyle() == DRAW_FOCUS_CONTEXT && isMask && shiftTex)
        shiftTex->cornerPositions(vertices, cornerWindow);

    static const float kCornerTex[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f)
        for (int j = 0; j < 4; ++j) {
            const int corner = faces[f][j];
            glTexCoord3fv(kCornerTex[j]);
            if (extProcs.multiTexCoord2f)
                extProcs.multiTexCoord2f(GL_TEXTURE1, cornerWindow[corner][0], cornerWindow[corner][1]);
            glVertex3fv(vertices[corner]);
        }
    glEnd();

    if (b)
        glPopMatrix();
    disableCgPrograms();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_CULL_FACE);
}
