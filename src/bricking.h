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
    float placement[16] = {}; // maps the proxy box onto the brick, column-major
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
    Brick** bricks = nullptr; // count bricks in build order
    int* myIndices = nullptr; // draw order: indices into bricks

private:
    float* myDistances = nullptr; // per slot: sortBricks' distances, kept between frames
    int myCapacity = 0;        // slots in bricks (and myIndices)
    bool myBuildOrder = true;  // myIndices is 0 ... count - 1
};

// The placement of brick (k, j, i) (x, y, z brick indices): the box of
// extents `extent`, centred on the origin, scaled by the brick fractions
// f = brickSize / resolution and moved onto the brick; column-major.
void brickPlacement(int k, int j, int i, const float fraction[3], const float extent[3],
                    float placement[16]);

#endif
