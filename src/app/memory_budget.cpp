#include "memory_budget.h"

#include "gen_texture.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

const uint64_t kMax = std::numeric_limits<uint64_t>::max();

uint64_t product(uint64_t a, uint64_t b)
{
    return (a != 0 && b > kMax / a) ? kMax : a * b;
}

uint64_t sum(uint64_t a, uint64_t b)
{
    return b > kMax - a ? kMax : a + b;
}

uint64_t limitSet = 0;

} // namespace

LoadEstimate estimateLoad(const LoadShape& s)
{
    uint64_t voxels = 1, padded = 1;
    for (int a = 0; a < 3; ++a) {
        voxels = product(voxels, static_cast<uint64_t>(s.resolution[a] > 0 ? s.resolution[a] : 0));
        padded = product(padded, static_cast<uint64_t>(nextPowerOfTwo(s.resolution[a])));
    }
    const uint64_t channels = static_cast<uint64_t>(s.channels > 0 ? s.channels : 1);
    // Bytes and shorts stay, wider values become shorts.
    const uint64_t converted = s.readBytes <= 1 ? 1 : 2;
    LoadEstimate e;
    e.data = product(product(voxels, channels), static_cast<uint64_t>(s.readBytes > 0 ? s.readBytes : 1));
    const uint64_t paddedValues = product(product(padded, channels), converted);
    // The values are converted in their own buffer; a size that is no power
    // of two is copied into a padded buffer beside it.
    uint64_t peak = e.data;
    if (padded != voxels)
        peak = sum(e.data, paddedValues);
    // The kept copy and the 3-D texture, then what the style builds now.
    uint64_t held = product(paddedValues, 2);
    // The gradient texture (four bytes a voxel) and the magnitude texture
    // (one), filled a slab at a time: no buffer of the volume's size beside.
    if (s.gradients)
        held = sum(held, product(padded, 5));
    if (s.stacks)
        held = sum(held, product(paddedValues, 3));
    e.peak = held > peak ? held : peak;
    return e;
}

void setLoadMemoryLimit(uint64_t bytes)
{
    limitSet = bytes;
}

uint64_t loadMemoryLimit()
{
    return limitSet;
}

uint64_t loadMemoryBudget()
{
    const uint64_t available = availableMemory();
    if (available == 0)
        return limitSet;
    return limitSet != 0 && limitSet < available ? limitSet : available;
}

std::string memoryRefusal(const std::string& path, const LoadEstimate& estimate, uint64_t budget)
{
    const uint64_t mb = 1024 * 1024;
    char text[256];
    std::snprintf(text, sizeof text,
                  ": opening it needs about %llu MB (the voxels take %llu MB), more than the %llu MB at hand.",
                  static_cast<unsigned long long>((estimate.peak + mb - 1) / mb),
                  static_cast<unsigned long long>((estimate.data + mb - 1) / mb),
                  static_cast<unsigned long long>(budget / mb));
    return path + text;
}
