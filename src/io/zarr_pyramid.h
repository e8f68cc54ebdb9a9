// Building an OME-Zarr pyramid from a volume read slab by slab: each level
// half the one before along each axis (the mean of 2 x 2 x 2 voxels, of the
// fewer there are at odd edges), until a level fits one chunk. The builder
// holds one row of chunks of each level and one slice per level, never the
// volume.
#ifndef GLIMRA_ZARR_PYRAMID_H
#define GLIMRA_ZARR_PYRAMID_H

#include "volume_slabs.h"
#include "zarr_metadata.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How a pyramid is written.
struct PyramidOptions
{
    int chunk = 64;     // chunk edge in voxels (smaller along shorter axes)
    int maxLevels = 0;  // most levels; 0: until a level fits one chunk
    ZarrCompressor compressor = {ZarrCodec::Blosc, "lz4", 5, 1}; // of every chunk
    int threads = 0;    // threads compressing and averaging; 0: one per core
    // Told the share of the source read so far (0 ... 1), if set.
    std::function<void(double)> progress;
};

// Largest and smallest chunk edge.
const int kMinPyramidChunk = 2;
const int kMaxPyramidChunk = 1024;

// The resolutions (x, y, z) of the levels of a volume: each (n + 1) / 2 of
// the one before, until every axis is within chunk or maxLevels are made.
std::vector<std::array<int, 3>> pyramidResolutions(const int resolution[3], int chunk, int maxLevels);

// Why a chunk edge cannot be used for values of the type, "" when it can.
std::string pyramidChunkFault(int chunk, VoxelType type);

// Bytes the builder holds for a source of this shape: a row of chunks and a
// slice of every level, and a chunk with its compressed bytes per thread.
uint64_t pyramidWorkingBytes(const int resolution[3], int bands, VoxelType type, const PyramidOptions& options);

// The next level's slice from two slices of nx x ny values of type (b null
// for the last slice of an odd count): each value the mean of the 2 x 2 x 2
// (or fewer) values it covers, integers rounded to nearest, halves away from
// zero. out holds ((nx + 1) / 2) x ((ny + 1) / 2) values.
void halveSlices(VoxelType type, const void* a, const void* b, int nx, int ny, void* out, int threads = 1);

// Writes the pyramid of source into folder, which must not exist or be
// empty: .zgroup, each level's .zarray and chunks, and the .zattrs last (an
// interrupted build is no pyramid). False with *why.
bool writePyramid(VolumeSlabs& source, const std::string& folder, const PyramidOptions& options, std::string* why);

#endif
