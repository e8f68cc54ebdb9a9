#include "texture_formats.h"

GLenum textureInternalFormat = GL_INTENSITY;
GLenum textureFormat = GL_LUMINANCE;
float textureFilter = 9729.0f; // GL_LINEAR
float textureWrap = 33071.0f;  // GL_CLAMP_TO_EDGE

#include "voxel_types.h"

// Voxel types go to OpenGL as they are.
static_assert(VOXEL_CHAR == GL_BYTE && VOXEL_UCHAR == GL_UNSIGNED_BYTE && VOXEL_SHORT == GL_SHORT &&
                  VOXEL_USHORT == GL_UNSIGNED_SHORT && VOXEL_INT == GL_INT && VOXEL_UINT == GL_UNSIGNED_INT &&
                  VOXEL_FLOAT == GL_FLOAT,
              "voxel type numbers are OpenGL's");
