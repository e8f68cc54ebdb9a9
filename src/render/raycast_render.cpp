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

void Volume::updateSkipGrid()
{
    if (skipGrid.lo.empty())
        return;
    GLuint paletteOverride = 0;
    GLuint preintOverride = 0;
    unsigned long overrideVersion = 0;
    cgTableOverrides(&paletteOverride, &preintOverride, &overrideVersion);
    const int classification = RenderMode::instance().getClassification();
    const bool preint = classification == CLASSIFICATION_PRE_INTEGRATION ||
                        classification == CLASSIFICATION_PRE_INTEGRATION_FILE;

    // Keys: even for a palette handed in from outside, odd for the transfer
    // function's; never 0, which stands for "not classified".
    if (paletteOverride && !preint) {
        const unsigned long long key = 2ULL * overrideVersion + 2;
        if (key == skipGrid.paletteKey)
            return;
        // Tools and tests hand in a texture, the palette's only copy: read it back.
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
        skipGridClassify(skipGrid, rgba.data(), static_cast<int>(rgba.size() / 4), key);
        return;
    }
    if (!paletteOverride && !preintOverride && transfer && transfer->getPalette()) {
        // The pre-integration table is made from this palette: a cell the
        // palette hides is hidden in every segment inside it too.
        const unsigned long long key = 2ULL * transfer->getUploadCount() + 1;
        if (key != skipGrid.paletteKey)
            skipGridClassify(skipGrid, transfer->getPalette(), transfer->getTableSize(), key);
        return;
    }
    // A table with no palette behind it: nothing is known to be hidden.
    skipGrid.cellInfo.clear();
    skipGrid.paletteKey = 0;
}

void Volume::drawBox(int brick, bool mask, const FocusPass* pass)
{
    const Brick* b = myBrickInfo ? myBrickInfo->getBrick(brick) : nullptr;
    glEnable(GL_CULL_FACE);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    // Box coordinates into the textures drawn from, a brick's or the volume's.
    if (b && !mask) {
        glTranslatef(b->texOffset[0], b->texOffset[1], b->texOffset[2]);
        glScalef(b->texScale[0], b->texScale[1], b->texScale[2]);
    } else {
        glTranslatef(texScale3D[0] / 2.0f, texScale3D[1] / 2.0f, texScale3D[2] / 2.0f);
        glScalef(texScale3D[0] / extent[0], texScale3D[1] / extent[1], texScale3D[2] / extent[2]);
    }
    glMatrixMode(GL_MODELVIEW);
    // A brick's rays start on the faces of its part of the box, in box
    // coordinates, so they march on from where its neighbour's stopped.
    float corners[8][3];
    if (b)
        brickCorners(*b, vertices, corners);
    const float(*drawn)[3] = b ? corners : vertices;
    if (mask)
        bindCgPrograms(tidMask, false, tidGradient, tidMagnitude, -1, pass);
    else if (b)
        bindCgPrograms(b->texData, false, b->texGradient, b->texMagnitude, brick, pass);
    else
        bindCgPrograms(tidVolume, false, tidGradient, tidMagnitude, -1, pass);
    // The main pass of focus and context finds each corner in the render target.
    if (pass && pass->corners && isMask && shiftTex)
        shiftTex->cornerPositions(vertices, cornerWindow);

    static const float kCornerTex[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f)
        for (int j = 0; j < 4; ++j) {
            const int corner = faces[f][j];
            glTexCoord3fv(kCornerTex[j]);
            if (extProcs.multiTexCoord2f)
                extProcs.multiTexCoord2f(GL_TEXTURE1, cornerWindow[corner][0], cornerWindow[corner][1]);
            glVertex3fv(drawn[corner]);
        }
    glEnd();

    disableCgPrograms();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_CULL_FACE);
}
