// Cell value ranges in one pass over the voxels, widened by the neighbouring
// cells, and the per-palette visibility flags.
#include "empty_space.h"

#include "parallel.h"
#include "voxel_types.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

namespace {

// The value a texture sampler returns for an element: integers normalised
// by their largest value, floats as they are, both clamped to [0, 1].
template <typename T> float normalised(T v)
{
    float x;
    if (std::is_floating_point<T>::value)
        x = static_cast<float>(v);
    else
        x = static_cast<float>(v) / static_cast<float>(std::numeric_limits<T>::max());
    return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

// Layers of cells z0 ... z1 - 1: each layer is written only from its own
// voxel planes, so the layers go to the cores in slabs.
template <typename T> void cellRanges(SkipGrid& g, const T* data, const int stride[2], int z0, int z1)
{
    const int C = SkipGrid::kCellSize;
    const int* n = g.resolution;
    for (int z = z0 * C; z < std::min(z1 * C, n[2]); ++z)
        for (int y = 0; y < n[1]; ++y) {
            const T* row = data + (static_cast<size_t>(z) * stride[1] + y) * stride[0];
            const size_t rowCell = (static_cast<size_t>(z / C) * g.cells[1] + y / C) * g.cells[0];
            for (int x0 = 0; x0 < n[0]; x0 += C) {
                const int x1 = std::min(x0 + C, n[0]);
                T a = row[x0];
                T b = row[x0];
                for (int x = x0 + 1; x < x1; ++x) {
                    a = std::min(a, row[x]);
                    b = std::max(b, row[x]);
                }
                const size_t c = rowCell + x0 / C;
                g.lo[c] = std::min(g.lo[c], normalised(a));
                g.hi[c] = std::max(g.hi[c], normalised(b));
            }
        }
}

// Each cell's range joined with its 26 neighbours': trilinear filtering near
// a face reads the next cell's voxels.
void widen(SkipGrid& g)
{
    const int* c = g.cells;
    const std::vector<float> lo = g.lo;
    const std::vector<float> hi = g.hi;
    for (int z = 0; z < c[2]; ++z)
        for (int y = 0; y < c[1]; ++y)
            for (int x = 0; x < c[0]; ++x) {
                float a = 2.0f;
                float b = -1.0f;
                for (int k = std::max(z - 1, 0); k <= std::min(z + 1, c[2] - 1); ++k)
                    for (int j = std::max(y - 1, 0); j <= std::min(y + 1, c[1] - 1); ++j)
                        for (int i = std::max(x - 1, 0); i <= std::min(x + 1, c[0] - 1); ++i) {
                            const size_t n = (static_cast<size_t>(k) * c[1] + j) * c[0] + i;
                            a = std::min(a, lo[n]);
                            b = std::max(b, hi[n]);
                        }
                const size_t m = (static_cast<size_t>(z) * c[1] + y) * c[0] + x;
                g.lo[m] = a;
                g.hi[m] = b;
            }
}

} // namespace

bool skipGridBuild(SkipGrid& grid, const void* data, GLenum glType, int channels, const int resolution[3],
                   const int stride[2])
{
    skipGridRelease(grid);
    if (!data || channels != 1 || glType == GL_BYTE || glType == GL_SHORT || glType == GL_INT ||
        !isVoxelType(glType))
        return false;
    size_t count = 1;
    for (int a = 0; a < 3; ++a) {
        if (resolution[a] < 1 || resolution[a] > 1 << 16)
            return false;
        grid.resolution[a] = resolution[a];
        grid.cells[a] = (resolution[a] + SkipGrid::kCellSize - 1) / SkipGrid::kCellSize;
        count *= static_cast<size_t>(grid.cells[a]);
    }
    if (stride[0] < resolution[0] || stride[1] < resolution[1]) {
        skipGridRelease(grid);
        return false;
    }
    grid.lo.assign(count, 2.0f);
    grid.hi.assign(count, -1.0f);
    dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        forEachSlab(grid.cells[2], [&](int, long z0, long z1) {
            cellRanges(grid, static_cast<const T*>(data), stride, static_cast<int>(z0), static_cast<int>(z1));
        });
    });
    grid.valueLo = *std::min_element(grid.lo.begin(), grid.lo.end());
    grid.valueHi = *std::max_element(grid.hi.begin(), grid.hi.end());
    widen(grid);
    return true;
}

void skipGridClassify(SkipGrid& grid, const unsigned char* rgba, int entries, unsigned long long key)
{
    grid.paletteKey = key;
    const size_t count = grid.lo.size();
    if (count == 0 || !rgba || entries < 1)
        return;
    // Sparse table of the largest opacity of the 2^j entries from i on, so
    // that any range's largest is two lookups.
    int levels = 1;
    while ((1 << levels) <= entries)
        ++levels;
    std::vector<unsigned char> table(static_cast<size_t>(levels) * entries);
    for (int i = 0; i < entries; ++i)
        table[i] = rgba[4 * i + 3];
    for (int j = 1; j < levels; ++j)
        for (int i = 0; i + (1 << j) <= entries; ++i)
            table[static_cast<size_t>(j) * entries + i] =
                std::max(table[static_cast<size_t>(j - 1) * entries + i],
                         table[static_cast<size_t>(j - 1) * entries + i + (1 << (j - 1))]);
    grid.cellInfo.assign(count, 0);
    const float last = static_cast<float>(entries - 1);
    for (size_t cell = 0; cell < count; ++cell) {
        // A value v is looked up between entries floor and ceil of v * (n - 1).
        // (Rounding on the GPU may lend a neighbouring entry a weight of the
        // order of 1e-6: far below what a picture of 8 bits can show.)
        int a = static_cast<int>(std::floor(grid.lo[cell] * last));
        int b = static_cast<int>(std::ceil(grid.hi[cell] * last));
        a = std::max(a, 0);
        b = std::min(b, entries - 1);
        if (a > b)
            continue;
        int j = 0;
        while ((2 << j) <= b - a + 1)
            ++j;
        grid.cellInfo[cell] = std::max(table[static_cast<size_t>(j) * entries + a],
                                       table[static_cast<size_t>(j) * entries + b + 1 - (1 << j)]);
    }
    if (!grid.texture)
        glGenTextures(1, &grid.texture);
    GLint previous = 0;
    GLint alignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_3D, &previous);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glBindTexture(GL_TEXTURE_3D, grid.texture);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_R8, grid.cells[0], grid.cells[1], grid.cells[2], 0, GL_RED,
                 GL_UNSIGNED_BYTE, grid.cellInfo.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_3D, static_cast<GLuint>(previous));
}

size_t skipGridHiddenCells(const SkipGrid& grid)
{
    size_t n = 0;
    for (unsigned char a : grid.cellInfo)
        n += a == 0;
    return n;
}

void skipGridScale(const SkipGrid& grid, float out[3])
{
    for (int a = 0; a < 3; ++a)
        out[a] = grid.cells[a] > 0 ? static_cast<float>(grid.resolution[a]) / SkipGrid::kCellSize : 0.0f;
}

void skipGridRelease(SkipGrid& grid)
{
    if (grid.texture)
        glDeleteTextures(1, &grid.texture);
    grid.texture = 0;
    for (int a = 0; a < 3; ++a)
        grid.cells[a] = grid.resolution[a] = 0;
    grid.lo.clear();
    grid.hi.clear();
    grid.cellInfo.clear();
    grid.paletteKey = 0;
    grid.valueLo = 0.0f;
    grid.valueHi = 1.0f;
}
