#include "threshold_mask.h"

#include "voxel_types.h"

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

void voxelTypeRange(VoxelType type, double* lowest, double* highest)
{
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        *lowest = static_cast<double>(std::numeric_limits<T>::lowest());
        *highest = static_cast<double>(std::numeric_limits<T>::max());
    });
}

namespace {

template <typename T>
void thresholdValues(const T* data, size_t n, double low, double high, unsigned char* out)
{
    for (size_t i = 0; i < n; ++i) {
        const double v = static_cast<double>(data[i]);
        out[i] = (v >= low && v <= high) ? 255 : 0;
    }
}

// One line of the squared distance transform: g(p) = min over q of
// f(q) + (p - q)^2, where values of far or more stand for "no voxel near".
// Results are capped at far, which keeps the sums small: a capped value can
// never bring a voxel within reach, however the later axes add to it.
// v and z are work arrays of n and n + 1 entries.
void distanceLine(const uint32_t* f, size_t n, uint32_t far, uint32_t* g, std::vector<size_t>& v,
                  std::vector<double>& z)
{
    // The lower envelope of the parabolas rooted at the near voxels.
    long k = -1;
    for (size_t q = 0; q < n; ++q) {
        if (f[q] >= far)
            continue;
        const double fq = static_cast<double>(f[q]) + static_cast<double>(q) * q;
        double s = -std::numeric_limits<double>::infinity();
        while (k >= 0) {
            const size_t r = v[k];
            const double fr = static_cast<double>(f[r]) + static_cast<double>(r) * r;
            s = (fq - fr) / (2.0 * (static_cast<double>(q) - static_cast<double>(r)));
            if (s > z[k])
                break;
            --k;
            s = -std::numeric_limits<double>::infinity();
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = std::numeric_limits<double>::infinity();
    }
    if (k < 0) {
        for (size_t p = 0; p < n; ++p)
            g[p] = far;
        return;
    }
    long j = 0;
    for (size_t p = 0; p < n; ++p) {
        while (j < k && z[j + 1] < static_cast<double>(p))
            ++j;
        const uint64_t d = static_cast<uint64_t>(p > v[j] ? p - v[j] : v[j] - p);
        const uint64_t value = d * d + f[v[j]];
        g[p] = value < far ? static_cast<uint32_t>(value) : far;
    }
}

} // namespace

void thresholdMask(const void* data, VoxelType type, size_t n, double low, double high,
                   unsigned char* out)
{
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        thresholdValues(static_cast<const T*>(data), n, low, high, out);
    });
}

bool growMask(unsigned char* mask, const int dims[3], int radius)
{
    if (radius < 0 || radius > kMaxMaskGrowth)
        return false;
    if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0)
        return true;
    const size_t size[3] = {static_cast<size_t>(dims[0]), static_cast<size_t>(dims[1]),
                            static_cast<size_t>(dims[2])};
    const size_t n = size[0] * size[1] * size[2];
    if (radius == 0) {
        for (size_t i = 0; i < n; ++i)
            mask[i] = mask[i] ? 255 : 0;
        return true;
    }
    const uint32_t reach = static_cast<uint32_t>(radius) * static_cast<uint32_t>(radius);
    const uint32_t far = reach + 1;
    size_t longest = size[0];
    for (size_t s : size)
        longest = s > longest ? s : longest;

    std::vector<uint32_t> dist, line, out;
    std::vector<size_t> v;
    std::vector<double> z;
    try {
        dist.resize(n);
        line.resize(longest);
        out.resize(longest);
        v.resize(longest);
        z.resize(longest + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < n; ++i)
        dist[i] = mask[i] ? 0 : far;

    // One pass per axis over every line along it.
    const size_t stride[3] = {1, size[0], size[0] * size[1]};
    for (int axis = 0; axis < 3; ++axis) {
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        const size_t len = size[axis], step = stride[axis];
        for (size_t j = 0; j < size[b]; ++j)
            for (size_t i = 0; i < size[a]; ++i) {
                const size_t start = i * stride[a] + j * stride[b];
                for (size_t p = 0; p < len; ++p)
                    line[p] = dist[start + p * step];
                distanceLine(line.data(), len, far, out.data(), v, z);
                for (size_t p = 0; p < len; ++p)
                    dist[start + p * step] = out[p];
            }
    }
    for (size_t i = 0; i < n; ++i)
        mask[i] = dist[i] <= reach ? 255 : 0;
    return true;
}
