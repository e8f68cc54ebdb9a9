// The offscreen render target used while a mask is in use.
#ifndef GLIMRA_TEXTURE_H
#define GLIMRA_TEXTURE_H

#include "includegl.h"

class TextureTarget
{
public:
    TextureTarget();
    ~TextureTarget();

    GLuint texture = 0; // the RGBA texture of the copy rectangle, 0 before the first resize
};

#endif
