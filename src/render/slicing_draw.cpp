// Drawing one proxy polygon of each slicing kind, the choice of the 2-D stack
// textures, and the outline of the slice just drawn.
#include "bricking.h"
#include "mat4.h"
#include "my_cg.h"
#include "render_mode.h"
#include "slicing.h"
#include "volume.h"

#include <cmath>

namespace {

const Brick* brickOf(const Volume& v, int brick)
{
    const BrickInfo* info = v.myBrickInfo;
    if (brick < 0 || !info || !info->bricks || brick >= info->count)
        return nullptr;
    return info->bricks[brick];
}

// Texture matrix: the box (centred, size extent) onto [0, texScale3D], or
// into a brick's textures when one is drawn (the mask texture is the whole
// volume's).
void loadBoxToTexture(const Volume& v, const Brick* b, bool mask)
{
    glLoadIdentity();
    if (b && !mask) {
        glTranslatef(b->texOffset[0], b->texOffset[1], b->texOffset[2]);
        glScalef(b->texScale[0], b->texScale[1], b->texScale[2]);
        return;
    }
    const float* r = v.texScale3D;
    glTranslatef(r[0] / 2.0f, r[1] / 2.0f, r[2] / 2.0f);
    glScalef(r[0] / v.extent[0], r[1] / v.extent[1], r[2] / v.extent[2]);
}

// The box's axis-aligned slice in v.quad cut down to the brick's part; false
// when the slice is another brick's. Its slices are the box's, so the
// samples along a ray are as far apart with bricks as without.
bool brickQuad(Volume& v, const Brick& b)
{
    const int axis = faceAxis(v.frontFace);
    const float at = v.quad[0][axis];
    const float boxHi = v.extent[axis] / 2.0f;
    if (!sliceInPart(at, b.lo[axis], b.hi[axis], -boxHi, boxHi))
        return false;
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a)
            if (a != axis)
                v.quad[k][a] = v.quad[k][a] < 0.0f ? b.lo[a] : b.hi[a];
    return true;
}

// The box's view-aligned cut at depth d through the brick's part into
// v.slicePolygon; false when the cut is another brick's.
bool brickPolygon(Volume& v, const Brick& b, float d)
{
    float corners[8][3];
    brickCorners(b, v.vertices, corners);
    float part[2];
    float box[2];
    rotatedDepthRange(v.rotation, corners, part);
    rotatedDepthRange(v.rotation, v.vertices, box);
    if (!sliceInPart(d, part[0], part[1], box[0], box[1]))
        return false;
    v.slicePolygonCount = viewAlignedCut(v.rotation, corners, d, v.slicePolygon);
    return true;
}

// The programs around a 3-D polygon: data, gradients, magnitudes of the box,
// of a brick, or the mask. The box's magnitude texture goes with it too, so
// that "3D Light (grad. mag.)" weighs its light the same with and without
// bricks.
void bind3D(const Volume& v, int brick, bool mask)
{
    const Brick* b = brickOf(v, brick);
    if (mask)
        bindCgPrograms(v.tidMask, false, v.tidGradient, 0, -1);
    else if (b)
        bindCgPrograms(b->texData, false, b->texGradient, b->texMagnitude, brick);
    else
        bindCgPrograms(v.tidVolume, false, v.tidGradient, v.tidMagnitude, -1);
}

GLuint* stackOf(Volume& v, int axis)
{
    return axis == 0 ? v.tidx : axis == 1 ? v.tidy : v.tidz;
}

void quadLoop(const float quad[4][3])
{
    glBegin(GL_LINE_LOOP);
    for (int k = 0; k < 4; ++k)
        glVertex3fv(quad[k]);
    glEnd();
}

} // namespace

void Volume::select2DSlices(float a, float b)
{
    const int axis = faceAxis(frontFace);
    const int n = resolution[axis];
    GLuint* stack = stackOf(*this, axis);
    if (!stack || n < 1) {
        sliceTex[0] = sliceTex[1] = 0;
        return;
    }
    a = std::fmin(std::fmax(a, 0.0f), 1.0f);
    b = std::fmin(std::fmax(b, 0.0f), 1.0f);
    const int i = sliceIndexAt(a, n);
    const int j = sliceIndexAt(b, n);
    sliceTex[0] = stack[stackEntry(frontFace, i, n)];
    sliceTex[1] = stack[stackEntry(frontFace, j, n)];
    glBindTexture(GL_TEXTURE_2D, sliceTex[0]);

    if (RenderMode::instance().getDrawStyle() != DRAW_2D_MULTI_TEXTURE)
        return;
    // The two voxel slices bracketing each position and the fraction between.
    const float positions[2] = {a, b};
    for (int h = 0; h < 2; ++h) {
        const float x = positions[h] * static_cast<float>(n - 1);
        int k = static_cast<int>(std::floor(x));
        if (k > n - 1)
            k = n - 1;
        const int next = k + 1 < n ? k + 1 : k;
        multiSlices[3 * h] = static_cast<float>(stack[stackEntry(frontFace, k, n)]);
        multiSlices[3 * h + 1] = static_cast<float>(stack[stackEntry(frontFace, next, n)]);
        multiSlices[3 * h + 2] = x - static_cast<float>(k);
    }
}

namespace {

// The quad at a with the current texture coordinates per corner.
void drawQuad(const Volume& v, const float tex[4][3])
{
    glBegin(GL_QUADS);
    glNormal3fv(v.normals[v.frontFace]);
    for (int k = 0; k < 4; ++k) {
        glTexCoord3fv(tex[k]);
        glVertex3fv(v.quad[k]);
    }
    glEnd();
}

// "2D Texture" and "2D Multi Texture": the stack slices select2DSlices chose,
// on the axis-aligned quad at a.
void drawStackSlice(Volume& v, float a)
{
    v.axisAlignedQuad(a);
    float range[2];
    stackTextureRange(v.texScale2D, v.frontFace, range);
    const float tex[4][3] = {{0, 0, 0}, {range[0], 0, 0}, {range[0], range[1], 0}, {0, range[1], 0}};
    bindCgPrograms(v.sliceTex[0], true, v.sliceTex[1], 0, -1);
    drawQuad(v, tex);
    disableCgPrograms();
}

// The axis-aligned quad at a through the 3-D texture, or its piece in one
// brick; false when a brick has no piece of it.
bool drawObjectAlignedSlice(Volume& v, float a, int brick, bool mask)
{
    v.axisAlignedQuad(a);
    const Brick* b = brickOf(v, brick);
    if (b && !brickQuad(v, *b))
        return false;
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    loadBoxToTexture(v, b, mask);
    glMatrixMode(GL_MODELVIEW);
    bind3D(v, brick, mask);
    // The box coordinates are the texture coordinates before the texture matrix.
    drawQuad(v, v.quad);
    disableCgPrograms();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return true;
}

// The box cut parallel to the screen at a, through the 3-D texture or one
// brick's part. The polygon is found in the rotated frame, so the model-view
// matrix is the camera alone and the texture matrix turns the cut back.
void drawViewAlignedSlice(Volume& v, float a, int brick, bool mask)
{
    const float d = a * v.diagonal - v.diagonal / 2.0f;
    const Brick* b = brickOf(v, brick);
    if (!b)
        v.viewAlignedPolygon(d);
    else if (!brickPolygon(v, *b, d))
        return;
    // Fewer than three points: the plane misses the box or only touches it.
    if (v.slicePolygonCount < 3)
        return;
    // The rotation's inverse: a rotation matrix is orthonormal, so its transpose.
    float inverse[16];
    matTranspose(v.rotation, inverse);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (v.perspective) {
        glTranslatef(v.pan[0], v.pan[1], v.distance);
    } else {
        glTranslatef(v.pan[0], v.pan[1], 0.0f);
        glScalef(v.orthoScale, v.orthoScale, v.orthoScale);
    }
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    loadBoxToTexture(v, b, mask);
    glMultMatrixf(inverse);
    glMatrixMode(GL_MODELVIEW);

    bind3D(v, brick, mask);
    glBegin(GL_POLYGON);
    for (int k = 0; k < v.slicePolygonCount; ++k) {
        glTexCoord3fv(v.slicePolygon[k]);
        glVertex3fv(v.slicePolygon[k]);
    }
    glEnd();
    disableCgPrograms();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    // The outline is drawn in the same frame as the polygon.
    v.drawSliceOutline();
    glPopMatrix();
}

} // namespace

void Volume::drawSlice(float a, int brick, bool mask)
{
    switch (RenderMode::instance().getSlicing()) {
    case SLICING_2D_STACKS:
        drawStackSlice(*this, a);
        break;
    case SLICING_3D_OBJECT_ALIGNED:
        if (!drawObjectAlignedSlice(*this, a, brick, mask))
            return;
        break;
    case SLICING_3D_VIEW_ALIGNED:
        drawViewAlignedSlice(*this, a, brick, mask);
        return;
    default:
        return;
    }
    drawSliceOutline();
}

void Volume::drawSliceOutline()
{
    const int slicing = RenderMode::instance().getSlicing();
    if (!showSlices || slicing == SLICING_RAY_CASTING)
        return;
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    glColor4f(1, 0, 1, 1);
    if (slicing == SLICING_3D_VIEW_ALIGNED) {
        glBegin(GL_LINE_LOOP);
        for (int k = 0; k < slicePolygonCount && k < 6; ++k)
            glVertex3fv(slicePolygon[k]);
        glEnd();
    } else {
        quadLoop(quad);
    }
    glEnable(slicing == SLICING_2D_STACKS ? GL_TEXTURE_2D : GL_TEXTURE_3D);
    glColor4f(1, 1, 1, 1);
}
