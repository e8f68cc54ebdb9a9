#include "voxel_types.h"

#include <cstring>

namespace {
struct VoxelTypeRow
{
    const char* name;
    int zvfType;
    GLenum glType;
    int bytes;
};

const VoxelTypeRow kVoxelTypes[] = {
#define GLIMRA_ROW(name, code, gl, ctype) {name, code, gl, static_cast<int>(sizeof(ctype))},
    GLIMRA_VOXEL_TYPES(GLIMRA_ROW)
#undef GLIMRA_ROW
};
}

GLenum typeFromName(const char* name, int* bytes)
{
    for (const VoxelTypeRow& row : kVoxelTypes) {
        if (name && std::strcmp(row.name, name) == 0) {
            if (bytes)
                *bytes = row.bytes;
            return row.glType;
        }
    }
    return GL_UNSIGNED_BYTE;
}

GLenum typeFromZvf(int zvfType, int* bytes)
{
    for (const VoxelTypeRow& row : kVoxelTypes) {
        if (row.zvfType == zvfType) {
            if (bytes)
                *bytes = row.bytes;
            return row.glType;
        }
    }
    return GL_UNSIGNED_BYTE;
}

int bytesOfGLType(GLenum type)
{
    for (const VoxelTypeRow& row : kVoxelTypes)
        if (row.glType == type)
            return row.bytes;
    return 0;
}

bool isVoxelGLType(GLenum type)
{
    return bytesOfGLType(type) != 0;
}
