#include "voxel_types.h"

#include <cstring>

namespace {
struct VoxelTypeRow
{
    const char* name;
    int zvfType;
    VoxelType type;
    int bytes;
};

const VoxelTypeRow kVoxelTypes[] = {
#define GLIMRA_ROW(name, code, gl, ctype) {name, code, gl, static_cast<int>(sizeof(ctype))},
    GLIMRA_VOXEL_TYPES(GLIMRA_ROW)
#undef GLIMRA_ROW
};
}

VoxelType typeFromName(const char* name, int* bytes)
{
    for (const VoxelTypeRow& row : kVoxelTypes) {
        if (name && std::strcmp(row.name, name) == 0) {
            if (bytes)
                *bytes = row.bytes;
            return row.type;
        }
    }
    return VOXEL_UCHAR;
}

VoxelType typeFromZvf(int zvfType, int* bytes)
{
    for (const VoxelTypeRow& row : kVoxelTypes) {
        if (row.zvfType == zvfType) {
            if (bytes)
                *bytes = row.bytes;
            return row.type;
        }
    }
    return VOXEL_UCHAR;
}

int bytesOfVoxelType(VoxelType type)
{
    for (const VoxelTypeRow& row : kVoxelTypes)
        if (row.type == type)
            return row.bytes;
    return 0;
}

bool isVoxelType(VoxelType type)
{
    return bytesOfVoxelType(type) != 0;
}
