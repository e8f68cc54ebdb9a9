// The seven voxel element types: the one table and the one dispatch.
//
// A voxel type is a number of its own here, with no graphics header behind
// it; its values are those OpenGL gives the same element types, so the
// texture code hands a VoxelType straight to OpenGL (checked there).
#ifndef GLIMRA_VOXEL_TYPES_H
#define GLIMRA_VOXEL_TYPES_H

#include <cstdint>

using VoxelType = unsigned int;

constexpr VoxelType VOXEL_CHAR = 0x1400;
constexpr VoxelType VOXEL_UCHAR = 0x1401;
constexpr VoxelType VOXEL_SHORT = 0x1402;
constexpr VoxelType VOXEL_USHORT = 0x1403;
constexpr VoxelType VOXEL_INT = 0x1404;
constexpr VoxelType VOXEL_UINT = 0x1405;
constexpr VoxelType VOXEL_FLOAT = 0x1406;

// X(name, zvf code, voxel type, C type)
#define GLIMRA_VOXEL_TYPES(X)                           \
    X("UCHAR", 1, VOXEL_UCHAR, uint8_t)                 \
    X("CHAR", 2, VOXEL_CHAR, int8_t)                    \
    X("USHORT", 4, VOXEL_USHORT, uint16_t)              \
    X("SHORT", 5, VOXEL_SHORT, int16_t)                 \
    X("UINT", 7, VOXEL_UINT, uint32_t)                  \
    X("INT", 8, VOXEL_INT, int32_t)                     \
    X("FLOAT", 9, VOXEL_FLOAT, float)

// Looks a description-file type name up (exact, case-sensitive). Unknown
// names give VOXEL_UCHAR and leave *bytes as the caller set it.
VoxelType typeFromName(const char* name, int* bytes);
// The same for a zvf voxel-type code.
VoxelType typeFromZvf(int zvfType, int* bytes);
// Bytes per value of a type of the table, 0 for any other.
int bytesOfVoxelType(VoxelType type);
// True for the seven types of the table.
bool isVoxelType(VoxelType type);

template <typename T> struct VoxelTag { using type = T; };

// Calls fn(VoxelTag<T>{}) with the C type of the voxel type; an unknown type
// is treated as unsigned bytes, as the type lookups do.
template <typename Fn> decltype(auto) dispatchVoxelType(VoxelType voxelType, Fn&& fn)
{
    switch (voxelType) {
#define GLIMRA_DISPATCH_CASE(name, code, vt, ctype) \
    case vt:                                        \
        return fn(VoxelTag<ctype>{});
        GLIMRA_VOXEL_TYPES(GLIMRA_DISPATCH_CASE)
#undef GLIMRA_DISPATCH_CASE
    default:
        return fn(VoxelTag<uint8_t>{});
    }
}

#endif
