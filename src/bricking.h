// Bricks of data sets too large for one 3-D texture.
#ifndef GLIMRA_BRICKING_H
#define GLIMRA_BRICKING_H

#include "includegl.h"

// One cube of the volume with its three small 3-D textures.
struct Brick
{
    GLuint texData = 0;      // the brick's voxels
    GLuint texGradient = 0;  // its gradients, 0 when none
    GLuint texMagnitude = 0; // its gradient magnitudes, 0 when none
    float placement[16] = {}; // maps the proxy box onto the brick, column-major
};

// All bricks of a volume and their draw order.
class BrickInfo
{
public:
    BrickInfo();
    ~BrickInfo();

    // Deletes the textures of every brick (the bricks stay).
    void deleteTextures();

    int count = 0;              // number of bricks
    int brickSize = 32;         // edge length in voxels
    Brick** bricks = nullptr;   // count bricks in build order
    int* myIndices = nullptr;   // draw order: indices into bricks
};

#endif
