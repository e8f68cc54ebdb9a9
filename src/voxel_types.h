// The seven voxel element types: the one table and the one dispatch.
#ifndef GLIMRA_VOXEL_TYPES_H
#define GLIMRA_VOXEL_TYPES_H

#include "includegl.h"
#include <cstdint>

// X(name, zvf code, OpenGL type, C type)
#define GLIMRA_VOXEL_TYPES(X)                           \
    X("UCHAR", 1, GL_UNSIGNED_BYTE, uint8_t)            \
    X("CHAR", 2, GL_BYTE, int8_t)                       \
    X("USHORT", 4, GL_UNSIGNED_SHORT, uint16_t)         \
    X("SHORT", 5, GL_SHORT, int16_t)                    \
    X("UINT", 7, GL_UNSIGNED_INT, uint32_t)             \
    X("INT", 8, GL_INT, int32_t)                        \
    X("FLOAT", 9, GL_FLOAT, float)

// Looks a description-file type name up (exact, case-sensitive). Unknown
// names give GL_UNSIGNED_BYTE and leave *bytes as the caller set it.
GLenum typeFromName(const char* name, int* bytes);
// The same for a zvf voxel-type code.
GLenum typeFromZvf(int zvfType, int* bytes);
// Bytes per value of an OpenGL type of the table, 0 for any other.
int bytesOfGLType(GLenum type);
// True for the seven OpenGL types of the table.
bool isVoxelGLType(GLenum type);

template <typename T> struct VoxelTag { using type = T; };

// Calls fn(VoxelTag<T>{}) with the C type of the OpenGL type; an unknown type
// is treated as unsigned bytes, as the type lookups do.
template <typename Fn> decltype(auto) dispatchVoxelType(GLenum glType, Fn&& fn)
{
    switch (glType) {
#define GLIMRA_DISPATCH_CASE(name, code, gl, ctype) \
    case gl:                                        \
        return fn(VoxelTag<ctype>{});
        GLIMRA_VOXEL_TYPES(GLIMRA_DISPATCH_CASE)
#undef GLIMRA_DISPATCH_CASE
    default:
        return fn(VoxelTag<uint8_t>{});
    }
}

#endif
