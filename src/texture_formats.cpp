#include "texture_formats.h"

GLenum textureInternalFormat = GL_INTENSITY;
GLenum textureFormat = GL_LUMINANCE;
float textureFilter = 9729.0f; // GL_LINEAR
float textureWrap = 33071.0f;  // GL_CLAMP_TO_EDGE
