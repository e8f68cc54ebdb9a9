#include "bricking.h"

#include "error_handling.h"

BrickInfo::BrickInfo() = default;

BrickInfo::~BrickInfo()
{
    deleteTextures();
    if (bricks) {
        for (int i = 0; i < count; ++i)
            if (bricks[i])
                RELEASE(bricks[i]);
        RELEASE_ARRAY(bricks);
    }
    if (myIndices)
        RELEASE_ARRAY(myIndices);
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
            if (*id != 0) {
                glDeleteTextures(1, id);
                checkGLError("glDeleteTextures");
                *id = 0;
            }
        }
    }
}
