/* Helpers shared by the zvf library's source files (not installed). */
#ifndef ZVF_INTERNAL_H
#define ZVF_INTERNAL_H

#include "zvf.h"

#include <stdint.h>
#include <stdio.h>

namespace zvf_detail {

/* Bytes left in a regular file from the stream's position, or -1 when the
 * stream is not a seekable regular file. */
long long remainingBytes(FILE* stream);

/* Reads up to n bytes into *buffer, growing it (realloc, capacity *capacity)
 * only as far as data can arrive: at most `remaining` bytes when that is
 * known (>= 0), else in chunks as the stream delivers. Returns the number of
 * bytes read, or -1 when the buffer cannot grow. */
long long readGrowing(FILE* stream, unsigned char** buffer, size_t* capacity, uint64_t n,
                      long long remaining);

/* Byte size of a whole grid (nx*ny*nz*nbands*voxelsize); false when a value
 * is not positive, the voxel type unknown or the product does not fit. */
bool gridByteSize(const zvfHeader* header, uint64_t* sliceBytes, uint64_t* totalBytes);

/* zvfCheckHeader with explicit array lengths: entries at or beyond a length
 * count as zero (missing lines). */
int checkHeaderCounts(const zvfHeader* header, int64_t nrx, int64_t nry, int64_t nrz,
                      int64_t ntf);

} // namespace zvf_detail

#endif
