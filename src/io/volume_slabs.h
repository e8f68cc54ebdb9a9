// Volumes handed out a slab of slices at a time, so that a pyramid can be
// built from a volume larger than memory: zvf files, raw files (behind a
// description file or described on the command line) and Zarr arrays are
// read slab by slab; a procedural sample is made slab by slab; the other
// formats are read whole, only when their voxels fit a memory limit.
#ifndef GLIMRA_VOLUME_SLABS_H
#define GLIMRA_VOLUME_SLABS_H

#include "byte_order.h"
#include "sample_volumes.h"
#include "voxel_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A volume read slab by slab, z from 0 up.
class VolumeSlabs
{
public:
    virtual ~VolumeSlabs() = default;

    int resolution[3] = {0, 0, 0};         // voxels along x, y, z
    int bands = 1;                         // values per voxel
    VoxelType type = VOXEL_UCHAR;          // one of the seven voxel types
    float spacing[3] = {1.0f, 1.0f, 1.0f}; // voxel size along x, y, z
    std::string unit;                      // the spacing's unit ("millimeter"), empty when unknown
    std::string name;                      // the source's file name, for the metadata
    std::string note;                      // what reading it decided (a guessed byte order), or empty

    // Reads slices z0 ... z0 + count - 1 (z0 the first slice not read yet)
    // into out: each band's slices together, x fastest, band b at out + b *
    // bandStride, in the machine's byte order. False with *why.
    virtual bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string* why) = 0;
};

// A raw file described on the command line.
struct RawLayout
{
    std::string path;                              // the raw file
    int size[3] = {0, 0, 0};                       // voxels along x, y, z
    VoxelType type = VOXEL_UCHAR;                  // stored values
    int channels = 1;                              // values per voxel, adjacent in the file
    float spacing[3] = {1.0f, 1.0f, 1.0f};         // voxel size
    RawByteOrder order = RawByteOrder::Little;     // Unstated: guessed as the loader does
};

// A raw file, slab by slab; a file shorter than declared reads zeros.
std::unique_ptr<VolumeSlabs> openRawSlabs(const RawLayout& layout, std::string* why);

// The volume at path: zvf, description files and Zarr arrays (the finest
// level of a pyramid) slab by slab; any other format the program opens is
// read whole when its voxels (and, before that, its files) take at most
// memoryLimit bytes, else refused with the reason. Null with *why.
std::unique_ptr<VolumeSlabs> openVolumeSlabs(const std::string& path, uint64_t memoryLimit, std::string* why);

// A procedural sample, made slab by slab.
std::unique_ptr<VolumeSlabs> sampleSlabs(const SampleGrid& grid);

#endif
