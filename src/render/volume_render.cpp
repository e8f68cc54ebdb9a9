// The per-frame entry of volume rendering: compositing and alpha test, then
// the proxy polygons of the current slicing back to front; and the box and
// brick outlines drawn after it.
#include "bricking.h"
#include "gen_texture.h"
#include "my_cg.h"
#include "render_mode.h"
#include "slicing.h"
#include "volume.h"

#include <algorithm>
#include <vector>

namespace {

bool hasBricks(const Volume& v)
{
    return v.isBricking && v.myBrickInfo && v.myBrickInfo->bricks && v.myBrickInfo->count > 0;
}

// The textures the slicing draws from exist.
bool slicingTexturesPresent(const Volume& v, int slicing)
{
    if (slicing == SLICING_2D_STACKS)
        return v.tidx && v.tidy && v.tidz;
    return v.tidVolume != 0 || hasBricks(v);
}

// The styles drawn as proxy polygons: the texture styles, the shaded ones and
// the multi-volume one, which slice the 3-D texture and differ only in the
// programs they bind.
bool isSlicingStyle(int style)
{
    return (style >= DRAW_2D_TEXTURE && style <= DRAW_3D_TEXTURE_VAS) ||
           (style >= DRAW_NORMAL_TEXTURE && style <= DRAW_MULTI_VOLUME);
}

// Sorts the bricks for the current view and calls draw(index) for each, the
// farthest first, with its data texture bound and enabled.
template <typename Draw> void forEachBrickFarthestFirst(Volume& v, const Draw& draw)
{
    BrickInfo* info = v.myBrickInfo;
    int drawn = info->count;
    if (info->beforeFrame)
        drawn = std::min(std::max(info->beforeFrame(), 0), info->count);
    else
        info->sortBricks(v.rotation, v.translation, v.perspective);
    info->drawn = info->beforeFrame ? drawn : -1;
    for (int b = 0; b < drawn; ++b) {
        const int index = info->myIndices ? info->myIndices[b] : b;
        const Brick* brick = info->bricks[index];
        if (!brick)
            continue;
        if (info->beforeDraw)
            info->beforeDraw(index);
        glBindTexture(GL_TEXTURE_3D, brick->texData);
        glEnable(GL_TEXTURE_3D);
        draw(index);
    }
}

// The slices of the schedule that may fall in brick b's part: along the
// slicing axis from the back face (position 0) to the front face, or in depth
// for view-aligned slices. drawSlice decides each of them exactly.
void brickSlices(const Volume& v, const Brick& b, int slicing, const SliceSchedule& s, int range[2])
{
    if (slicing == SLICING_3D_VIEW_ALIGNED) {
        float corners[8][3];
        float depth[2];
        brickCorners(b, v.vertices, corners);
        rotatedDepthRange(v.rotation, corners, depth);
        slicesWithin(depth[0], depth[1], -v.diagonal / 2.0f, v.diagonal / 2.0f, s, range);
        return;
    }
    const int axis = faceAxis(v.frontFace);
    float back[4][3];
    float front[4][3];
    axisAlignedQuad(v.vertices, v.frontFace, 0.0f, back);
    axisAlignedQuad(v.vertices, v.frontFace, 1.0f, front);
    slicesWithin(b.lo[axis], b.hi[axis], back[0][axis], front[0][axis], s, range);
}

void faceLoops(const Volume& v)
{
    // Faces 0 to 4 together run along all twelve edges.
    for (int f = 0; f < 5; ++f) {
        glBegin(GL_LINE_LOOP);
        for (int k = 0; k < 4; ++k)
            glVertex3fv(v.vertices[v.faces[f][k]]);
        glEnd();
    }
}

} // namespace

void Volume::renderVolume()
{
    if (!showVolume)
        return;
    GLStateScope keep;
    const RenderMode& mode = RenderMode::instance();
    const int slicing = mode.getSlicing();
    // What a load left to first use, built when a style first draws with it
    // (the program's actions build it beforehand, with a progress dialog).
    // A paint while they are being built draws no volume.
    if ((stacksPending || gradientsPending) &&
        !buildDeferredTextures(*this, slicing == SLICING_2D_STACKS, gradientsPending && drawReadsGradients(),
                               nullptr))
        return;
    if (mode.getDrawStyle() == DRAW_RAY_CASTING) {
        renderRayCasting();
        return;
    }
    if (mode.getDrawStyle() == DRAW_FOCUS_CONTEXT) {
        renderFocusContext();
        return;
    }
    if (!isSlicingStyle(mode.getDrawStyle()) || slicing == SLICING_RAY_CASTING)
        return;
    if (!slicingTexturesPresent(*this, slicing))
        return;

    const int n = interacting ? halfSampling : sampling;
    const SliceSchedule schedule = sliceSchedule(n, slicing);

    chooseFrontFace();
    setupCompositing();
    glAlphaFunc(alphaFunc, alphaThreshold);
    glEnable(GL_ALPHA_TEST);

    if (slicing == SLICING_2D_STACKS) {
        glEnable(GL_TEXTURE_2D);
        float a = 0.0f;
        for (int i = 0; i < schedule.count; ++i) {
            select2DSlices(a, a + schedule.step);
            drawSlice(a, -1, false);
            a += schedule.step;
        }
        glDisable(GL_TEXTURE_2D);
    } else {
        // The polygons of the box, or of one brick, back to front; a brick
        // draws its share of the box's slices, at the box's positions.
        std::vector<float> positions(static_cast<size_t>(schedule.count > 0 ? schedule.count : 0));
        float a = 0.0f;
        for (float& position : positions) {
            position = a;
            a += schedule.step;
        }
        const auto sweep = [&](int brick) {
            int range[2] = {0, schedule.count - 1};
            if (brick >= 0)
                brickSlices(*this, *myBrickInfo->bricks[brick], slicing, schedule, range);
            for (int i = range[0]; i <= range[1]; ++i)
                drawSlice(positions[static_cast<size_t>(i)], brick, false);
        };
        if (hasBricks(*this)) {
            forEachBrickFarthestFirst(*this, sweep);
        } else {
            glBindTexture(GL_TEXTURE_3D, tidVolume);
            glEnable(GL_TEXTURE_3D);
            sweep(-1);
        }
        glDisable(GL_TEXTURE_3D);
    }
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_STENCIL_TEST);
}

void Volume::renderRayCasting()
{
    if (!tidx || !slicingTexturesPresent(*this, SLICING_RAY_CASTING))
        return;
    setupCompositing();
    glAlphaFunc(alphaFunc, alphaThreshold);
    glEnable(GL_ALPHA_TEST);
    glBindTexture(GL_TEXTURE_3D, tidVolume);
    glEnable(GL_TEXTURE_3D);
    if (hasBricks(*this)) {
        forEachBrickFarthestFirst(*this, [this](int index) { drawBox(index, false); });
    } else {
        updateSkipGrid();
        drawBox(-1, false);
    }
    glDisable(GL_TEXTURE_3D);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_STENCIL_TEST);
}

void Volume::drawOutlines()
{
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    if (showBricks && hasBricks(*this)) {
        // The bricks the last frame drew (a stream's tree draws some).
        const BrickInfo* info = myBrickInfo;
        const int shown = info->drawn >= 0 && info->myIndices ? info->drawn : info->count;
        for (int b = 0; b < shown; ++b) {
            const int i = info->drawn >= 0 && info->myIndices ? info->myIndices[b] : b;
            if (i < 0 || i >= info->count || !info->bricks[i])
                continue;
            glPushMatrix();
            glMultMatrixf(info->bricks[i]->placement);
            glColor4f(0, 1, 1, 1);
            faceLoops(*this);
            glPopMatrix();
        }
    }
    if (showBBox) {
        glColor4f(0, 1, 0, 1);
        faceLoops(*this);
    }
    glFinish();
}
