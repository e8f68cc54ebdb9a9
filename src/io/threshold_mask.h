// Masks made from the data itself: the voxels whose values lie in a closed
// range, optionally grown by a number of voxels. zvftool's "mask" command
// writes them; the program loads them as any other mask.
#ifndef GLIMRA_THRESHOLD_MASK_H
#define GLIMRA_THRESHOLD_MASK_H

#include "voxel_types.h"

#include <cstddef>

// The smallest and largest value an element type of the voxel table holds
// (float: the largest finite magnitudes).
void voxelTypeRange(VoxelType type, double* lowest, double* highest);

// out[i] = 255 where low <= data[i] <= high, else 0, for n values of type
// (values as stored, no scaling; NaN is outside).
void thresholdMask(const void* data, VoxelType type, size_t n, double low, double high,
                   unsigned char* out);

// Largest growth growMask takes, in voxels.
const int kMaxMaskGrowth = 4096;

// Sets to 255 every voxel within radius voxels (Euclidean, in voxel units)
// of a non-zero voxel; the others become 0. mask holds dims x*y*z bytes, x
// fastest. False (mask unchanged) for a radius outside 0 ... kMaxMaskGrowth
// or when the distance buffer cannot be had.
bool growMask(unsigned char* mask, const int dims[3], int radius);

#endif
