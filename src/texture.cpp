#include "texture.h"

TextureTarget::TextureTarget() = default;

TextureTarget::~TextureTarget()
{
    if (texture != 0)
        glDeleteTextures(1, &texture);
}
