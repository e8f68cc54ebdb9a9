// Empty-space skipping for the ray caster: the value range of every cell of a
// coarse grid over a one-channel volume, and, for the current palette, the
// largest opacity a sample in the cell can take. The ray caster steps over the
// cells at either end of a ray that cannot change its pixel.
#ifndef GLIMRA_EMPTY_SPACE_H
#define GLIMRA_EMPTY_SPACE_H

#include "includegl.h"

#include <vector>

struct SkipGrid
{
    static constexpr int kCellSize = 8; // voxels along each edge of a cell

    int cells[3] = {0, 0, 0};      // cells per axis; 0 when there is no grid
    int resolution[3] = {0, 0, 0}; // voxels per axis the grid covers
    std::vector<float> lo;         // smallest normalised value a sample in the cell can take
    std::vector<float> hi;         // largest
    float valueLo = 0.0f;          // smallest normalised value in the whole volume
    float valueHi = 1.0f;          // largest
    // Per cell, the largest opacity its range reaches: a cell at or below
    // the alpha test's threshold holds no sample that any compositing rule
    // (sum, maximum, minimum, surface) takes.
    std::vector<unsigned char> cellInfo;
    GLuint texture = 0;            // cellInfo as a cells[0] x cells[1] x cells[2] one-channel texture
    unsigned long long paletteKey = 0; // which palette the flags were made for; 0 none
};

// Value ranges of a volume of one channel of glType, resolution[] voxels laid
// out with rows of stride[0] values and slices of stride[1] rows (a padded
// buffer). A sample is filtered from up to eight voxels, so each cell's range
// takes in its neighbours' too. False (and no grid) for other channel counts,
// signed types (their textures clamp below zero) and sizes too large.
bool skipGridBuild(SkipGrid& grid, const void* data, GLenum glType, int channels, const int resolution[3],
                   const int stride[2]);

// cellInfo from a palette of entries RGBA bytes, reached through its linear
// filtering. Uploads it (the context must be current) and records key.
void skipGridClassify(SkipGrid& grid, const unsigned char* rgba, int entries, unsigned long long key);

// Cells whose opacity is zero for the palette last classified.
size_t skipGridHiddenCells(const SkipGrid& grid);

// The cells-per-unit scale the ray caster takes: cells[a] covers
// resolution[a] / kCellSize of the texture's data range on axis a.
void skipGridScale(const SkipGrid& grid, float out[3]);

// Deletes the texture and empties the grid.
void skipGridRelease(SkipGrid& grid);

#endif
