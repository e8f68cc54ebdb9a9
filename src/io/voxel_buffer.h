// Voxel buffers of the load pipeline.
//
// A voxel buffer is one zeroed block from the C heap (calloc), released with
// free(): the format library hands its grids out that way, so every buffer of
// the pipeline, and every replacement a later stage makes (channel expansion,
// padding in texture generation), is allocated and freed the same way.
#ifndef GLIMRA_VOXEL_BUFFER_H
#define GLIMRA_VOXEL_BUFFER_H

#include "error_handling.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>

// Asks for large pages under a large block: a 100 MB volume then takes 50
// page faults where it took 25,000, a fifth of the time.
inline void adviseLargeVoxelPages(void* p, size_t n)
{
    const uintptr_t huge = static_cast<uintptr_t>(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + huge - 1) & ~(huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// holder = calloc(bytes), reported on failure, registered under name.
#define GUARDED_VOXELS_AS(holder, name, bytes)                                          \
    do {                                                                                \
        const size_t glimraBytes_ = (bytes);                                            \
        (holder) = guardedAllocationShouldFail() ? nullptr : std::calloc(glimraBytes_ + (glimraBytes_ == 0), 1); \
        if (!(holder)) reportAllocationFailure(__FILE__, __LINE__);                     \
        else adviseLargeVoxelPages((holder), glimraBytes_);                             \
        g_garbageCollector.add((holder), __FILE__, __LINE__, name);                     \
    } while (0)

// Unregister, free, clear the holder.
#define RELEASE_VOXELS(holder)                                                          \
    do {                                                                                \
        g_garbageCollector.remove(holder);                                              \
        std::free(holder);                                                              \
        (holder) = nullptr;                                                             \
    } while (0)

// a * b when it fits in size_t; false on overflow.
inline bool multiplySize(size_t a, size_t b, size_t* result)
{
    if (a != 0 && b > static_cast<size_t>(-1) / a)
        return false;
    *result = a * b;
    return true;
}

// Number of values x * y * z * channels (and bytes with bytesPerValue); false
// when a factor is not positive or the product does not fit (or exceeds 1 TiB).
inline bool voxelCount(const int resolution[3], int channels, int bytesPerValue, size_t* values,
                       size_t* bytes)
{
    if (resolution[0] <= 0 || resolution[1] <= 0 || resolution[2] <= 0 || channels <= 0 ||
        bytesPerValue <= 0)
        return false;
    size_t n = 1;
    if (!multiplySize(n, static_cast<size_t>(resolution[0]), &n) ||
        !multiplySize(n, static_cast<size_t>(resolution[1]), &n) ||
        !multiplySize(n, static_cast<size_t>(resolution[2]), &n) ||
        !multiplySize(n, static_cast<size_t>(channels), &n))
        return false;
    size_t b = 0;
    if (!multiplySize(n, static_cast<size_t>(bytesPerValue), &b))
        return false;
    // No volume this program can show comes near a terabyte; larger claims
    // come from damaged files.
    if (b > (static_cast<size_t>(1) << 40))
        return false;
    *values = n;
    if (bytes)
        *bytes = b;
    return true;
}

#endif
