// Reading the voxels of OME-Zarr pyramids: one chunk, any box of a level,
// and a whole level as the record every load takes (the coarsest level is
// what opening a pyramid shows).
#ifndef GLIMRA_ZARR_READ_H
#define GLIMRA_ZARR_READ_H

#include "volume_file.h"
#include "zarr_chunks.h"
#include "zarr_metadata.h"

#include <string>
#include <vector>

// Decodes a chunk file's bytes into values: array.chunkValues() values of
// array.type. values must hold array.chunkBytes() bytes (64-bit stored
// values are narrowed there). False with *fault.
bool decodeZarrChunk(const ZarrArray& array, const void* bytes, size_t size, void* values, std::string* fault);

// The buffers one reader of chunks keeps between chunks.
struct ZarrChunkBuffers
{
    std::vector<unsigned char> file;   // the chunk file's bytes
    std::vector<unsigned char> values; // the decoded values (chunkBytes)
};

// Reads the chunk at index of a level into buffers->values, or the fill
// value where its file does not exist (*missing set). False with *why =
// "CHUNK FILE: fault".
bool readZarrChunk(const ZarrPyramid& pyramid, int level, const int64_t index[], ZarrChunkBuffers* buffers,
                   bool* missing, std::string* why);

// The box of voxels lo ... hi - 1 along x, y, z (half-open) of bands
// band0 ... band1 - 1 at the first time point, in the level's stored axes.
ZarrBox zarrVoxelBox(const ZarrPyramid& pyramid, const int64_t lo[3], const int64_t hi[3], int64_t band0,
                     int64_t band1);

// Reads box (inside the level) into out: box.values() values of the level's
// program type in C order over the box, so bands (if any) outermost, then
// z, y, x. Chunks are read on threads (0: one per core). False with *why.
bool readZarrBox(const ZarrPyramid& pyramid, int level, const ZarrBox& box, void* out, std::string* why,
                 int threads = 0);

// Reads a whole level into *out (released first): bands one after the other,
// spacing from the level's scale, the data-information text. check is asked
// before the voxels are allocated.
bool readZarrLevel(const ZarrPyramid& pyramid, int level, VolumeFile* out, std::string* why,
                   const ShapeCheck& check = {});

// Opens the pyramid at path and reads its coarsest level.
bool readZarrVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check = {});

// The data-information lines of a pyramid shown at level: its format,
// every level's resolution, which one is shown.
std::string zarrInformation(const ZarrPyramid& pyramid, int level);

#endif
