// Chunk arithmetic of Zarr arrays, as pure functions: which chunks hold part
// of a box of voxels, the key (file path) of a chunk, the part of an edge
// chunk that lies inside the array, and copying a region between two boxes
// stored in C order. Axes are the array's stored axes, slowest first.
#ifndef GLIMRA_ZARR_CHUNKS_H
#define GLIMRA_ZARR_CHUNKS_H

#include "zarr_metadata.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A box of an array: lo[a] <= index < hi[a] along each of the axes.
struct ZarrBox
{
    int axes = 0;
    int64_t lo[kZarrMaxAxes] = {};
    int64_t hi[kZarrMaxAxes] = {};

    // Values inside (0 when empty).
    uint64_t values() const;
    bool empty() const { return values() == 0; }
};

// The whole of an array of the given shape.
ZarrBox wholeBox(int axes, const int64_t shape[]);
// The common part of two boxes of the same axes (empty when they miss).
ZarrBox intersect(const ZarrBox& a, const ZarrBox& b);

// Chunks along an axis of length n cut into chunks of c: ceil(n / c).
int64_t chunkCount(int64_t n, int64_t c);

// The chunk indices that hold part of box: first[a] ... last[a] along each
// axis (inclusive). The box must not be empty.
void chunkRange(const ZarrBox& box, const int64_t chunks[], int64_t first[], int64_t last[]);

// Steps index through first ... last, the last axis fastest; false (index
// back at first) after the last one.
bool nextChunkIndex(int axes, const int64_t first[], const int64_t last[], int64_t index[]);

// The voxels chunk index would hold if the array were endless: the stored
// chunk, padding included.
ZarrBox chunkStorageBox(int axes, const int64_t index[], const int64_t chunks[]);
// The part of that which lies inside an array of the given shape (smaller
// for chunks at the far edges).
ZarrBox chunkBox(int axes, const int64_t index[], const int64_t shape[], const int64_t chunks[]);

// The key of a chunk: its indices joined by separator ("1.0.3" or "1/0/3").
std::string chunkKey(int axes, const int64_t index[], char separator);

// Copies region (inside both boxes) from src, which holds srcBox in C order,
// to dst, which holds dstBox in C order; values of itemBytes each.
void copyBoxRegion(const unsigned char* src, const ZarrBox& srcBox, unsigned char* dst, const ZarrBox& dstBox,
                   const ZarrBox& region, size_t itemBytes);

#endif
