// Bricks of data sets too large for one 3-D texture: the record of the
// cubes, where each sits in the volume box, and their draw order.
#ifndef GLIMRA_BRICKING_H
#define GLIMRA_BRICKING_H

#include "includegl.h"

#include <functional>
#include <vector>

// One cube of the volume with its three small 3-D textures. Neighbouring
// bricks share a voxel, and each draws the part of the box between the
// centres of the voxels it shares (at the ends of an axis, on to the box's
// face): filtering never reaches past its textures, and the parts tile the
// box.
struct Brick
{
    GLuint texData = 0;       // the brick's voxels
    GLuint texGradient = 0;   // its gradients, 0 when none
    GLuint texMagnitude = 0;  // its gradient magnitudes, 0 when none
    float placement[16] = {}; // maps the proxy box onto the brick's part of it, column-major
    float lo[3] = {};         // the brick's part of the box: lowest corner, box coordinates
    float hi[3] = {};         // and highest corner
    // Box point p to the brick's texture coordinate: p * texScale + texOffset.
    float texScale[3] = {1.0f, 1.0f, 1.0f};
    float texOffset[3] = {0.0f, 0.0f, 0.0f};
};

// All bricks of a volume and their draw order. The fields are read directly
// by the renderers; change them only through the operations.
class BrickInfo
{
public:
    explicit BrickInfo(int size = 32);
    // Deletes the bricks and frees both arrays.
    ~BrickInfo();
    BrickInfo(const BrickInfo&) = delete;
    BrickInfo& operator=(const BrickInfo&) = delete;

    int getCount() const { return count; }
    int getBrickSize() const { return brickSize; }
    // The brick with that build index; null outside 0 ... count - 1.
    Brick* getBrick(int index) const;

    // Appends a brick (the record owns it from now on) and resets myIndices
    // to build order.
    void addBrick(Brick* brick);
    // myIndices from the farthest brick to the nearest for the rotation and
    // the camera: translation is the camera part of the model-view matrix, perspective selects the distance measure (length of
    // the eye-space centre, or -z). Equal distances keep their build order
    // before the reversal, so they are drawn in reverse build order.
    void sortBricks(const float rotation[16], const float translation[16], bool perspective);

    // Deletes the textures of every brick (the bricks stay, names become 0).
    void deleteTextures();

    int count = 0;            // number of bricks
    int brickSize = 32;       // edge length in voxels
    int texSize[3] = {32, 32, 32}; // texels of every brick texture along x, y, z
    Brick** bricks = nullptr; // count bricks in build order
    int* myIndices = nullptr; // draw order: indices into bricks
    // Called with a brick's index before it is drawn (streamed bricks choose
    // their texture there); empty for bricks built whole.
    std::function<void(int)> beforeDraw;
    // Called at the start of each frame instead of sortBricks (streamed
    // bricks, a tree of which a frame draws some): puts the indices of the
    // bricks to draw, farthest first, at the front of myIndices (setOrder)
    // and returns how many; only those are drawn. Empty: sortBricks, every
    // brick drawn.
    std::function<int()> beforeFrame;
    // Bricks the last frame drew: the first `drawn` of myIndices; -1 for all.
    int drawn = -1;
    // Puts indices (each a brick index, at most count) at the front of myIndices.
    void setOrder(const std::vector<int>& indices);
    // The bricks' texture names belong to someone else (a brick stream):
    // deleteTextures and the destructor leave them alone.
    bool borrowedTextures = false;

private:
    float* myDistances = nullptr; // per slot: sortBricks' distances, kept between frames
    int myCapacity = 0;        // slots in bricks (and myIndices)
    bool myBuildOrder = true;  // myIndices is 0 ... count - 1
};

// Texels of the bricks along an axis of n voxels: size, or for an axis
// thinner than that the power of two a single texture would pad it to, so a
// thin side samples as it would without bricks.
int brickTexels(int n, int size);

// One brick's share of an axis of n voxels, its textures `texels` long.
// Voxel i spans i ... i + 1 along the axis, its centre at i + 0.5.
struct BrickSpan
{
    int first = 0;  // the voxel in texel 0
    int voxels = 0; // voxels from there on in the texture; the texels after them are zero
    float lo = 0;   // the part of the axis the brick draws, in voxels: the centre of a
    float hi = 0;   // voxel it shares with a neighbour, or the end of the axis
};
// Bricks along an axis of n voxels (texels as brickTexels gives them).
// Neighbours share one voxel, so a brick holds texels - 1 new ones. Where a
// single texture would end in zero padding (n not a power of two) the last
// brick keeps a zero texel after its voxels, elsewhere it ends full: the far
// face filters as it would without bricks.
int bricksAlong(int n, int texels);
// Brick index (0 ... bricksAlong - 1) of that axis. The first draws from 0,
// the last to n, the others from the centre of their first voxel to that of
// their last.
BrickSpan brickSpan(int index, int n, int texels);
// Brick (k, j, i) (x, y, z brick indices) of a volume of `resolution` voxels
// in a box of extents `extent` centred on the origin, its textures `texels`
// along each axis: its part of the box (lo, hi, placement) and the map of
// box points into its textures.
void placeBrick(Brick& brick, int k, int j, int i, const int texels[3], const int resolution[3],
                const float extent[3]);
// The corners of the brick's part in the order of the box's corners `box`
// (a corner below the centre on an axis takes lo there, else hi).
void brickCorners(const Brick& brick, const float box[8][3], float corners[8][3]);

#endif
