// Bricks of data sets too large for one 3-D texture: the record of the
// cubes, where each sits in the volume box, and their draw order.
#ifndef GLIMRA_BRICKING_H
#define GLIMRA_BRICKING_H

#include "includegl.h"

// One cube of the volume with its three small 3-D textures.
struct Brick
{
    GLuint texData = 0;       // the brick's voxels
    GLuint texGradient = 0;   // its gradients, 0 when none
    GLuint texMagnitude = 0;  // its gradient magnitudes, 0 when none
    float placement[16] = {}; // maps the proxy box onto the brick's voxels, column-major
    // Used fraction of the brick's textures along x, y, z: where its voxels
    // end and the zeros beyond the volume begin.
    float texScale[3] = {1.0f, 1.0f, 1.0f};
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

private:
    float* myDistances = nullptr; // per slot: sortBricks' distances, kept between frames
    int myCapacity = 0;        // slots in bricks (and myIndices)
    bool myBuildOrder = true;  // myIndices is 0 ... count - 1
};

// Texels of the bricks along an axis of n voxels: size, or for an axis
// thinner than that the power of two a single texture would pad it to, so a
// thin side samples as it would without bricks.
int brickTexels(int n, int size);
// The voxels brick (k, j, i) (x, y, z brick indices) covers: from index *
// size[a] on, at most size[a] of them, never past resolution[a]. Its
// placement maps the box of extents `extent`, centred on the origin, onto
// exactly those voxels (a full brick: scale f = size / resolution,
// translation index * extent * f + extent * (f - 1) / 2); column-major. Its
// texScale is the fraction of its texels they fill.
void brickPlacement(int k, int j, int i, const int size[3], const int resolution[3], const float extent[3],
                    float placement[16], float texScale[3]);

#endif
