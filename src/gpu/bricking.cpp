#include "bricking.h"

#include "error_handling.h"
#include "volume.h"

#include <zvf.h>

#include <algorithm>
#include <cmath>
#include <limits>

BrickInfo::BrickInfo(int size) : brickSize(size) {}

BrickInfo::~BrickInfo()
{
    deleteTextures();
    if (bricks) {
        // Newest first: the registry finds each brick at its end.
        for (int i = count - 1; i >= 0; --i)
            if (bricks[i])
                RELEASE(bricks[i]);
        RELEASE_ARRAY(bricks);
    }
    if (myIndices)
        RELEASE_ARRAY(myIndices);
    if (myDistances)
        RELEASE_ARRAY(myDistances);
}

Brick* BrickInfo::getBrick(int index) const
{
    if (index < 0 || index >= count || !bricks)
        return nullptr;
    return bricks[index];
}

void BrickInfo::addBrick(Brick* brick)
{
    // The arrays grow geometrically: large volumes have thousands of bricks.
    if (count == myCapacity) {
        const int capacity = myCapacity ? myCapacity * 2 : 64;
        Brick** aTmp = nullptr;
        GUARDED_ARRAY(aTmp, Brick*, capacity);
        int* indices = nullptr;
        GUARDED_ARRAY_AS(indices, "myIndices", int, capacity);
        float* distances = nullptr;
        GUARDED_ARRAY_AS(distances, "myDistances", float, capacity);
        if (!aTmp || !indices || !distances) {
            // Not recorded: the brick would be lost, so release it here.
            if (aTmp)
                RELEASE_ARRAY(aTmp);
            if (indices)
                RELEASE_ARRAY(indices);
            if (distances)
                RELEASE_ARRAY(distances);
            if (brick) {
                GLuint names[3] = {brick->texData, brick->texGradient, brick->texMagnitude};
                for (GLuint name : names)
                    if (name != 0)
                        glDeleteTextures(1, &name);
                RELEASE(brick);
            }
            return;
        }
        std::copy(bricks, bricks + count, aTmp);
        if (bricks)
            RELEASE_ARRAY(bricks);
        if (myIndices)
            RELEASE_ARRAY(myIndices);
        if (myDistances)
            RELEASE_ARRAY(myDistances);
        bricks = aTmp;
        myIndices = indices;
        myDistances = distances;
        myCapacity = capacity;
        myBuildOrder = false;
    }
    bricks[count] = brick;
    if (myBuildOrder) {
        myIndices[count] = count;
    } else {
        for (int i = 0; i <= count; ++i)
            myIndices[i] = i;
        myBuildOrder = true;
    }
    ++count;
}

void BrickInfo::sortBricks(const float rotation[16], const float translation[16], bool perspective)
{
    if (count <= 0 || !bricks || !myIndices || !myDistances)
        return;
    float* aDist = myDistances;
    const zvfMatrix r = zvfMatrixFromFloats(rotation);
    const zvfMatrix t = zvfMatrixFromFloats(translation);
    for (int b = 0; b < count; ++b) {
        zvfVector c{0.0f, 0.0f, 0.0f};
        if (bricks[b])
            c = zvfTransformPoint(zvfMatrixFromFloats(bricks[b]->placement), c);
        c = zvfTransformPoint(t, zvfTransformPoint(r, c));
        float d = perspective ? std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z) : -c.z;
        // A NaN would break the ordering; such a brick counts as farthest.
        aDist[b] = std::isnan(d) ? std::numeric_limits<float>::infinity() : d;
    }
    // Nearest last after the reversal; equal distances keep their build order
    // before it, so they come out in reverse build order.
    for (int i = 0; i < count; ++i)
        myIndices[i] = i;
    std::stable_sort(myIndices, myIndices + count, [aDist](int a, int b) { return aDist[a] < aDist[b]; });
    std::reverse(myIndices, myIndices + count);
    myBuildOrder = false;
}

void BrickInfo::deleteTextures()
{
    if (!bricks)
        return;
    for (int i = 0; i < count; ++i) {
        Brick* b = bricks[i];
        if (!b)
            continue;
        GLuint* ids[3] = {&b->texData, &b->texGradient, &b->texMagnitude};
        for (GLuint* id : ids) {
            if (*id != 0 && glIsTexture(*id)) {
                glDeleteTextures(1, id);
                checkGLError("glDeleteTextures");
            }
            *id = 0;
        }
    }
}

int brickTexels(int n, int size)
{
    int texels = 1;
    while (texels < n && texels < size)
        texels <<= 1;
    return texels < size ? texels : size;
}

void brickPlacement(int k, int j, int i, const int size[3], const int resolution[3], const float extent[3],
                    float placement[16], float texScale[3])
{
    const int index[3] = {k, j, i};
    for (int e = 0; e < 16; ++e)
        placement[e] = 0.0f;
    for (int a = 0; a < 3; ++a) {
        const long first = static_cast<long>(index[a]) * size[a];
        const long left = resolution[a] - first;
        const int covered = static_cast<int>(left < size[a] ? (left > 0 ? left : 0) : size[a]);
        const float s = extent[a];
        const float f = static_cast<float>(size[a]) / static_cast<float>(resolution[a]);
        const float g = static_cast<float>(covered) / static_cast<float>(resolution[a]);
        placement[a * 5] = g; // diagonal entries 0, 5, 10
        placement[12 + a] = static_cast<float>(index[a]) * s * f + 0.5f * s * (g - 1.0f);
        texScale[a] = static_cast<float>(covered) / static_cast<float>(size[a]);
    }
    placement[15] = 1.0f;
}
