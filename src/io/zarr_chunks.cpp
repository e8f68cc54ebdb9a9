#include "zarr_chunks.h"

#include <algorithm>
#include <cstring>

uint64_t ZarrBox::values() const
{
    uint64_t n = 1;
    for (int a = 0; a < axes; ++a) {
        if (hi[a] <= lo[a])
            return 0;
        n *= static_cast<uint64_t>(hi[a] - lo[a]);
    }
    return n;
}

ZarrBox wholeBox(int axes, const int64_t shape[])
{
    ZarrBox box;
    box.axes = axes;
    for (int a = 0; a < axes; ++a)
        box.hi[a] = shape[a];
    return box;
}

ZarrBox intersect(const ZarrBox& a, const ZarrBox& b)
{
    ZarrBox box;
    box.axes = a.axes;
    for (int i = 0; i < a.axes; ++i) {
        box.lo[i] = std::max(a.lo[i], b.lo[i]);
        box.hi[i] = std::max(box.lo[i], std::min(a.hi[i], b.hi[i]));
    }
    return box;
}

int64_t chunkCount(int64_t n, int64_t c)
{
    return n <= 0 ? 0 : (n - 1) / c + 1;
}

void chunkRange(const ZarrBox& box, const int64_t chunks[], int64_t first[], int64_t last[])
{
    for (int a = 0; a < box.axes; ++a) {
        first[a] = box.lo[a] / chunks[a];
        last[a] = (box.hi[a] - 1) / chunks[a];
    }
}

bool nextChunkIndex(int axes, const int64_t first[], const int64_t last[], int64_t index[])
{
    for (int a = axes - 1; a >= 0; --a) {
        if (index[a] < last[a]) {
            ++index[a];
            return true;
        }
        index[a] = first[a];
    }
    return false;
}

ZarrBox chunkStorageBox(int axes, const int64_t index[], const int64_t chunks[])
{
    ZarrBox box;
    box.axes = axes;
    for (int a = 0; a < axes; ++a) {
        box.lo[a] = index[a] * chunks[a];
        box.hi[a] = box.lo[a] + chunks[a];
    }
    return box;
}

ZarrBox chunkBox(int axes, const int64_t index[], const int64_t shape[], const int64_t chunks[])
{
    return intersect(chunkStorageBox(axes, index, chunks), wholeBox(axes, shape));
}

std::string chunkKey(int axes, const int64_t index[], char separator)
{
    std::string key;
    for (int a = 0; a < axes; ++a) {
        if (a)
            key += separator;
        key += std::to_string(index[a]);
    }
    return key;
}

namespace {

// Offset (in values) of point p in a box stored in C order.
uint64_t offsetIn(const ZarrBox& box, const int64_t p[])
{
    uint64_t at = 0;
    for (int a = 0; a < box.axes; ++a)
        at = at * static_cast<uint64_t>(box.hi[a] - box.lo[a]) + static_cast<uint64_t>(p[a] - box.lo[a]);
    return at;
}

} // namespace

void copyBoxRegion(const unsigned char* src, const ZarrBox& srcBox, unsigned char* dst, const ZarrBox& dstBox,
                   const ZarrBox& region, size_t itemBytes)
{
    if (region.empty())
        return;
    const int axes = region.axes;
    const size_t run = static_cast<size_t>(region.hi[axes - 1] - region.lo[axes - 1]) * itemBytes;
    // Every row along the last axis: the other axes step through the region.
    int64_t p[kZarrMaxAxes];
    std::copy(region.lo, region.lo + axes, p);
    int64_t last[kZarrMaxAxes];
    for (int a = 0; a < axes; ++a)
        last[a] = region.hi[a] - 1;
    last[axes - 1] = region.lo[axes - 1];
    do {
        std::memcpy(dst + offsetIn(dstBox, p) * itemBytes, src + offsetIn(srcBox, p) * itemBytes, run);
    } while (nextChunkIndex(axes, region.lo, last, p));
}
