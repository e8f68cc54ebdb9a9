// A 256-entry RGBA table texture, linearly filtered and clamped, as the
// picture tests hand the programs instead of the transfer function's.
#ifndef GLIMRA_TEST_TABLE_TEXTURE_H
#define GLIMRA_TEST_TABLE_TEXTURE_H

#include "includegl.h"

#include <vector>

// Fills texture (made when 0) with the 256 x 1 RGBA entries of table; the
// texture's name.
inline GLuint tableTexture(const std::vector<unsigned char>& table, GLuint texture = 0)
{
    if (!texture)
        glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, table.data());
    return texture;
}

#endif
