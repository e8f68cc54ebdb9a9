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

void BrickInfo::setOrder(const std::vector<int>& indices)
{
    if (!myIndices)
        return;
    const size_t n = std::min(indices.size(), static_cast<size_t>(count));
    std::copy(indices.begin(), indices.begin() + static_cast<long>(n), myIndices);
    myBuildOrder = false;
}

void BrickInfo::deleteTextures()
{
    if (!bricks || borrowedTextures)
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

int bricksAlong(int n, int texels)
{
    if (n <= texels || texels < 2)
        return 1;
    // Brick b starts at voxel b (texels - 1). The last must reach voxel
    // n - 1, and hold a zero texel after it where a single texture would have
    // padding: it starts at lowest at `least`, the first multiple of the
    // stride from there is its start (a full last brick moves back to n -
    // texels, see brickSpan).
    const int stride = texels - 1;
    const bool padded = (n & (n - 1)) != 0;
    const int least = padded ? n - stride : n - texels;
    return (least + stride - 1) / stride + 1;
}

BrickSpan brickSpan(int index, int n, int texels)
{
    BrickSpan s;
    const int count = bricksAlong(n, texels);
    if (count == 1) {
        s.voxels = n;
        s.hi = static_cast<float>(n);
        return s;
    }
    const int stride = texels - 1;
    s.first = index * stride;
    s.lo = index == 0 ? 0.0f : static_cast<float>(s.first) + 0.5f;
    if (index < count - 1) {
        s.voxels = texels;
        s.hi = static_cast<float>(s.first + stride) + 0.5f;
        return s;
    }
    // The last one: a full texture where the axis is a power of two, so the
    // far face clamps as a single texture does.
    if ((n & (n - 1)) == 0)
        s.first = n - texels;
    s.voxels = n - s.first;
    s.hi = static_cast<float>(n);
    return s;
}

void placeBrick(Brick& brick, int k, int j, int i, const int texels[3], const int resolution[3],
                const float extent[3])
{
    const int index[3] = {k, j, i};
    for (int e = 0; e < 16; ++e)
        brick.placement[e] = 0.0f;
    for (int a = 0; a < 3; ++a) {
        const BrickSpan s = brickSpan(index[a], resolution[a], texels[a]);
        const float n = static_cast<float>(resolution[a]);
        const float e = extent[a];
        brick.lo[a] = (s.lo / n - 0.5f) * e;
        brick.hi[a] = (s.hi / n - 0.5f) * e;
        // Voxel coordinate u = (p / e + 0.5) n, texel coordinate (u - first) / texels.
        brick.texScale[a] = n / (e * static_cast<float>(texels[a]));
        brick.texOffset[a] = (0.5f * n - static_cast<float>(s.first)) / static_cast<float>(texels[a]);
        brick.placement[a * 5] = (brick.hi[a] - brick.lo[a]) / e; // diagonal entries 0, 5, 10
        brick.placement[12 + a] = 0.5f * (brick.lo[a] + brick.hi[a]);
    }
    brick.placement[15] = 1.0f;
}

void brickCorners(const Brick& brick, const float box[8][3], float corners[8][3])
{
    for (int c = 0; c < 8; ++c)
        for (int a = 0; a < 3; ++a)
            corners[c][a] = box[c][a] < 0.0f ? brick.lo[a] : brick.hi[a];
}
