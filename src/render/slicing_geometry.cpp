// Slice counts, front face, axis-aligned quads and the view-aligned cut.
#include "slicing.h"

#include "mat4.h"
#include "render_mode.h"
#include "volume.h"

#include <cmath>
#include <cstring>

namespace {

const float kPi = 3.14159265358979f;

// Box corners of the slice quad per front face (its side of the box).
const int kSliceCorners[6][4] = {{0, 1, 2, 3}, {1, 2, 6, 5}, {4, 5, 6, 7},
                                 {0, 3, 7, 4}, {3, 2, 6, 7}, {0, 1, 5, 4}};
// The twelve box edges, start corner to end corner; the first eight start at
// every corner once.
const int kEdges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                           {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// m applied to a direction: the translation part does not apply.
void transformDirection(const float m[16], const float p[3], float out[3])
{
    for (int r = 0; r < 3; ++r)
        out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2];
}

} // namespace

SliceSchedule sliceSchedule(int n, int slicing)
{
    SliceSchedule s;
    if (n < 2)
        return s;
    const float e = slicing == SLICING_3D_VIEW_ALIGNED ? 1.8f : 1.0f;
    s.count = static_cast<int>(static_cast<float>(n) * e);
    s.step = 1.0f / (static_cast<float>(n - 1) * e);
    return s;
}

int nearestIndex(float x)
{
    const float c = std::ceil(x);
    return static_cast<int>(c - x > 0.5f ? std::floor(x) : c);
}

int sliceIndexAt(float a, int n)
{
    if (n < 1)
        return 0;
    if (!(a > 0.0f)) // NaN too
        a = 0.0f;
    if (a > 1.0f)
        a = 1.0f;
    int i = nearestIndex(a * static_cast<float>(n - 1));
    if (i < 0)
        i = 0;
    if (i > n - 1)
        i = n - 1;
    return i;
}

int stackEntry(int frontFace, int i, int n)
{
    const bool reversed = frontFace == 0 || frontFace == 3 || frontFace == 5;
    return reversed ? n - 1 - i : i;
}

int faceAxis(int face)
{
    switch (face) {
    case 1:
    case 3: return 0;
    case 4:
    case 5: return 1;
    default: return 2;
    }
}

int oppositeFace(int face)
{
    static const int opposite[6] = {2, 3, 0, 1, 5, 4};
    return (face >= 0 && face < 6) ? opposite[face] : 0;
}

int frontFaceFor(const float rotation[16], const float normals[6][3])
{
    int best = 0;
    float bestZ = -1e8f;
    for (int f = 0; f < 6; ++f) {
        float n[3];
        matTransformPoint(rotation, normals[f], n);
        if (n[2] > bestZ) {
            bestZ = n[2];
            best = f;
        }
    }
    return best;
}

const int* axisSliceCorners(int frontFace)
{
    return kSliceCorners[(frontFace >= 0 && frontFace < 6) ? frontFace : 2];
}

void axisAlignedQuad(const float vertices[8][3], int frontFace, float a, float quad[4][3])
{
    const int axis = faceAxis(frontFace);
    const int* corners = axisSliceCorners(frontFace);
    // The front face's coordinate on the axis is that of its corners; the
    // back face's is the other extreme of the box.
    const float front = vertices[corners[0]][axis];
    float back = front;
    for (int c = 0; c < 8; ++c)
        if (std::fabs(vertices[c][axis] - front) > std::fabs(back - front))
            back = vertices[c][axis];
    const float coordinate = back + a * (front - back);
    for (int k = 0; k < 4; ++k) {
        std::memcpy(quad[k], vertices[corners[k]], sizeof quad[k]);
        quad[k][axis] = coordinate;
    }
}

void stackTextureRange(const float texScale2D[3], int frontFace, float range[2])
{
    switch (faceAxis(frontFace)) {
    case 0:
        range[0] = texScale2D[1];
        range[1] = texScale2D[2];
        break;
    case 1:
        range[0] = texScale2D[0];
        range[1] = texScale2D[2];
        break;
    default:
        range[0] = texScale2D[0];
        range[1] = texScale2D[1];
        break;
    }
}

void orderByAngle(float points[][3], int count)
{
    if (count < 1)
        return;
    float c[2] = {0.0f, 0.0f};
    for (int i = 0; i < count; ++i) {
        c[0] += points[i][0];
        c[1] += points[i][1];
    }
    c[0] /= static_cast<float>(count);
    c[1] /= static_cast<float>(count);
    for (int j = 0; j < count; ++j) {
        int best = j;
        float bestAngle = 3.0f * kPi;
        for (int i = j; i < count; ++i) {
            const float angle = std::atan2(c[1] - points[i][1], c[0] - points[i][0]) + kPi;
            if (angle < bestAngle) {
                bestAngle = angle;
                best = i;
            }
        }
        if (best != j) {
            float tmp[3];
            std::memcpy(tmp, points[best], sizeof tmp);
            std::memcpy(points[best], points[j], sizeof tmp);
            std::memcpy(points[j], tmp, sizeof tmp);
        }
    }
}

bool sliceInPart(float at, float lo, float hi, float boxLo, float boxHi)
{
    return (at >= lo || lo <= boxLo) && (at < hi || hi >= boxHi);
}

void slicesWithin(float lo, float hi, float from, float to, const SliceSchedule& s, int range[2])
{
    range[0] = 0;
    range[1] = s.count - 1;
    const float span = to - from;
    if (s.count < 1 || !(s.step > 0.0f) || span == 0.0f)
        return;
    const float a = (lo - from) / span / s.step;
    const float b = (hi - from) / span / s.step;
    const float first = std::floor(std::fmin(a, b)) - 1.0f;
    const float last = std::ceil(std::fmax(a, b)) + 1.0f;
    if (first > static_cast<float>(range[0]))
        range[0] = first > static_cast<float>(s.count) ? s.count : static_cast<int>(first);
    if (last < static_cast<float>(range[1]))
        range[1] = last < -1.0f ? -1 : static_cast<int>(last);
}

void rotatedDepthRange(const float rotation[16], const float corners[8][3], float range[2])
{
    for (int c = 0; c < 8; ++c) {
        float p[3];
        matTransformPoint(rotation, corners[c], p);
        if (c == 0 || p[2] < range[0])
            range[0] = p[2];
        if (c == 0 || p[2] > range[1])
            range[1] = p[2];
    }
}

int viewAlignedCut(const float rotation[16], const float vertices[8][3], float d, float polygon[6][3])
{
    float found[6][3];
    int count = 0;
    for (int e = 0; e < 12 && count < 6; ++e) {
        float p[3];
        float dir[3];
        float delta[3];
        for (int k = 0; k < 3; ++k)
            delta[k] = vertices[kEdges[e][1]][k] - vertices[kEdges[e][0]][k];
        matTransformPoint(rotation, vertices[kEdges[e][0]], p);
        transformDirection(rotation, delta, dir);
        float t;
        if (dir[2] != 0.0f)
            t = (d - p[2]) / dir[2];
        else
            t = p[2] == d ? 0.0f : -1.0f;
        if (t == 0.0f && e < 8) {
            std::memcpy(found[count++], p, sizeof p);
        } else if (t > 0.0f && t < 1.0f) {
            for (int k = 0; k < 3; ++k)
                found[count][k] = p[k] + t * dir[k];
            ++count;
        }
    }
    // Rounding can find one cut twice near a corner; six points is the most
    // a plane cuts from a box, so the search stops there.
    if (count >= 3) {
        orderByAngle(found, count);
        std::memcpy(polygon, found, sizeof(float) * 3 * static_cast<size_t>(count));
    }
    return count;
}

// ---- the record's geometry operations ----

void Volume::chooseFrontFace()
{
    if (!switchSlices)
        return;
    frontFace = frontFaceFor(rotation, normals);
    backFace = oppositeFace(frontFace);
}

void Volume::axisAlignedQuad(float a)
{
    ::axisAlignedQuad(vertices, frontFace, a, quad);
}

void Volume::viewAlignedPolygon(float d)
{
    slicePolygonCount = viewAlignedCut(rotation, vertices, d, slicePolygon);
}
