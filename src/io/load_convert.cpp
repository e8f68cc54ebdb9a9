#include "load_convert.h"

#include "error_handling.h"
#include "volume_file.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace {

template <typename T> T byteSwapped(T v)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    std::reverse(b, b + sizeof(T));
    std::memcpy(&v, b, sizeof(T));
    return v;
}

template <typename U> void swapAll(U* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if constexpr (sizeof(U) == 2)
            p[i] = static_cast<U>(__builtin_bswap16(p[i]));
        else if constexpr (sizeof(U) == 4)
            p[i] = __builtin_bswap32(p[i]);
        else
            p[i] = __builtin_bswap64(p[i]);
    }
}

void appendFloat(std::string& info, const char* label, float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    info += label;
    info += text;
    info += "\n";
}

// One pass for the smallest and largest value, compared as 32-bit floats.
// Integer types are compared as integers: the conversion to float is
// monotonic, so the float of the extreme is the extreme of the floats.
template <typename T> void valueRange(const T* p, size_t n, float* lo, float* hi)
{
    float mn = 1e30f, mx = -1e30f;
    if constexpr (std::is_floating_point_v<T>) {
        for (size_t i = 0; i < n; ++i) {
            const float v = p[i];
            mn = v < mn ? v : mn;
            mx = v > mx ? v : mx;
        }
    } else if (n > 0) {
        // Fixed-length blocks with independent lanes: the compiler turns them
        // into vector minimum and maximum at the default optimisation level.
        constexpr size_t kLanes = 64 / sizeof(T);
        T a[kLanes], b[kLanes];
        for (size_t k = 0; k < kLanes; ++k)
            a[k] = b[k] = p[0];
        size_t i = 0;
        for (; i + kLanes <= n; i += kLanes)
            for (size_t k = 0; k < kLanes; ++k) {
                const T v = p[i + k];
                a[k] = v < a[k] ? v : a[k];
                b[k] = v > b[k] ? v : b[k];
            }
        for (; i < n; ++i) {
            a[0] = p[i] < a[0] ? p[i] : a[0];
            b[0] = p[i] > b[0] ? p[i] : b[0];
        }
        T lo2 = a[0], hi2 = b[0];
        for (size_t k = 1; k < kLanes; ++k) {
            lo2 = a[k] < lo2 ? a[k] : lo2;
            hi2 = b[k] > hi2 ? b[k] : hi2;
        }
        mn = std::min(mn, static_cast<float>(lo2));
        mx = std::max(mx, static_cast<float>(hi2));
    }
    *lo = mn;
    *hi = mx;
}

// trunc(target * q) with q = (v - min) / range rounded to a 32-bit float,
// kept inside 0 ... target.
inline double scaledValue(double v, double min, double range, double target)
{
    if (!(range > 0.0))
        return 0.0;
    const float q = static_cast<float>((v - min) / range);
    const double r = std::trunc(target * static_cast<double>(q));
    return r < 0.0 ? 0.0 : (r > target ? target : r);
}

template <typename T> struct Converted
{
    VoxelType type;  // result type
    int maxValue; // table size for the transfer function
};

template <typename T> Converted<T> convertTyped(T* p, size_t n, bool swap, std::string& info)
{
    if constexpr (sizeof(T) == 1) {
        // The range of bytes too, in the file's own values.
        float lo, hi;
        valueRange(p, n, &lo, &hi);
        appendFloat(info, "Maximal value:\t", hi);
        appendFloat(info, "Minimal value:\t", lo);
        if constexpr (std::is_signed_v<T>) {
            uint8_t* u = reinterpret_cast<uint8_t*>(p);
            for (size_t i = 0; i < n; ++i)
                u[i] = static_cast<uint8_t>(u[i] + 128u);
        }
        return {VOXEL_UCHAR, 256};
    } else {
        using U = std::conditional_t<sizeof(T) == 2, uint16_t, uint32_t>;
        if (swap)
            swapAll(reinterpret_cast<U*>(p), n);
        float lo, hi;
        valueRange(p, n, &lo, &hi);
        appendFloat(info, "Maximal value:\t", hi);
        appendFloat(info, "Minimal value:\t", lo);
        const double range = static_cast<double>(hi) - static_cast<double>(lo);

        if constexpr (std::is_floating_point_v<T>) {
            const float r = hi - lo;
            for (size_t i = 0; i < n; ++i)
                p[i] = r > 0.0f ? (p[i] - lo) / r : 0.0f;
            info += "Data was scaled\t\n";
            return {VOXEL_FLOAT, 4096};
        } else if constexpr (std::is_same_v<T, uint16_t>) {
            // Values up to 4095 are 12-bit data: stretch them, keeping their
            // proportions (divisor 4095, not the range).
            if (hi > 4095.0f)
                return {VOXEL_USHORT, 4096};
            const int top = static_cast<int>(hi);
            std::vector<uint16_t> lut(static_cast<size_t>(top < 0 ? 0 : top) + 1);
            for (int v = static_cast<int>(std::max(lo, 0.0f)); v <= top; ++v)
                lut[v] = stretched12Bit(v, lo);
            for (size_t i = 0; i < n; ++i)
                p[i] = lut[p[i]];
            info += "Data was scaled\t\n";
            return {VOXEL_USHORT, 4096};
        } else if constexpr (std::is_same_v<T, int16_t>) {
            // Every 16-bit pattern through a table, stored as unsigned.
            std::vector<uint16_t> lut(65536);
            for (int v = -32768; v <= 32767; ++v)
                lut[static_cast<uint16_t>(v)] =
                    static_cast<uint16_t>(scaledValue(v, lo, range, 65535.0));
            uint16_t* u = reinterpret_cast<uint16_t*>(p);
            for (size_t i = 0; i < n; ++i)
                u[i] = lut[u[i]];
            info += "Data was scaled\t\n";
            return {VOXEL_USHORT, 4096};
        } else {
            uint32_t* u = reinterpret_cast<uint32_t*>(p);
            for (size_t i = 0; i < n; ++i)
                u[i] = static_cast<uint32_t>(
                    scaledValue(static_cast<double>(p[i]), lo, range, 4294967295.0));
            info += "Data was scaled\t\n";
            return {VOXEL_UINT, 4096};
        }
    }
}

size_t valueCount(const int resolution[3], int channels)
{
    size_t n = 0;
    if (!voxelCount(resolution, channels, 1, &n, nullptr))
        return 0;
    return n;
}

template <typename T> T loadValue(const T* p, bool swapped)
{
    return swapped ? byteSwapped(*p) : *p;
}

template <typename T> T storeValue(T v, bool swapped)
{
    return swapped ? byteSwapped(v) : v;
}

// A double inside the range of T, truncated towards zero for integers.
template <typename T> T fromDouble(double v)
{
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else {
        const double lo = static_cast<double>(std::numeric_limits<T>::min());
        const double hi = static_cast<double>(std::numeric_limits<T>::max());
        v = std::trunc(v);
        return static_cast<T>(v < lo ? lo : (v > hi ? hi : v));
    }
}

template <typename T> T typeMax()
{
    if constexpr (std::is_floating_point_v<T>)
        return T(1);
    else
        return std::numeric_limits<T>::max();
}

template <typename T>
void expandToFour(const T* src, T* dst, size_t voxels, int rule, bool swapped)
{
    const T one = storeValue(typeMax<T>(), swapped);
    for (size_t i = 0; i < voxels; ++i) {
        const T* s = src + 3 * i;
        T* d = dst + 4 * i;
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        const T a = loadValue(s, swapped), b = loadValue(s + 1, swapped), c = loadValue(s + 2, swapped);
        if (rule == 1) {
            const double sum = static_cast<double>(a) + static_cast<double>(b) + static_cast<double>(c);
            d[3] = storeValue(fromDouble<T>(sum / 3.0), swapped);
        } else if (rule == 2) {
            double m = -1e11;
            m = std::max(m, static_cast<double>(a));
            m = std::max(m, static_cast<double>(b));
            m = std::max(m, static_cast<double>(c));
            d[3] = storeValue(fromDouble<T>(m), swapped);
        } else {
            d[3] = (a != T(0) || b != T(0) || c != T(0)) ? one : T(0);
        }
    }
}

} // namespace

void swapValueBytes(void* data, size_t n, int size)
{
    if (!data)
        return;
    if (size == 2)
        swapAll(static_cast<uint16_t*>(data), n);
    else if (size == 4)
        swapAll(static_cast<uint32_t*>(data), n);
    else if (size == 8)
        swapAll(static_cast<uint64_t*>(data), n);
}

double typeMaximum(VoxelType type)
{
    if (!isVoxelType(type))
        return 255.0;
    return dispatchVoxelType(type, [](auto tag) {
        using T = typename decltype(tag)::type;
        return static_cast<double>(typeMax<T>());
    });
}

void convertAndScale(void* data, VoxelType* type, const int resolution[3], int channels, std::string& info,
                     bool bigEndianValues, int* maxValue)
{
    // Bytes are only swapped in values of more than one byte.
    const bool swapped = bigEndianValues && isVoxelType(*type) && bytesOfVoxelType(*type) > 1;
    info += swapped ? "Swap Data:\tYES\n" : "Swap Data:\tNO\n";
    *maxValue = 4096;
    if (!isVoxelType(*type))
        return;
    const size_t n = data ? valueCount(resolution, channels) : 0;
    dispatchVoxelType(*type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const Converted<T> r = convertTyped(static_cast<T*>(data), n, bigEndianValues, info);
        *type = r.type;
        *maxValue = r.maxValue;
    });
}

// The wider buffer of channels values per voxel, registered as "tmpdata";
// null (and nothing left registered) when there is no data or no memory.
static void* allocateChannels(const void* data, size_t voxels, int size, unsigned channels)
{
    size_t bytes = 0;
    if (!data || voxels == 0 || !multiplySize(voxels, channels * size, &bytes))
        return nullptr;
    void* tmpdata = nullptr;
    GUARDED_VOXELS_AS(tmpdata, "tmpdata", bytes);
    if (!tmpdata)
        g_garbageCollector.remove(tmpdata);
    return tmpdata;
}

bool addThirdChannel(void** data, VoxelType type, const int resolution[3], int* channels)
{
    const size_t voxels = valueCount(resolution, 1);
    const int size = bytesOfVoxelType(type) ? bytesOfVoxelType(type) : 1;
    void* tmpdata = allocateChannels(*data, voxels, size, 3);
    if (!tmpdata)
        return false;
    const unsigned char* src = static_cast<const unsigned char*>(*data);
    unsigned char* dst = static_cast<unsigned char*>(tmpdata);
    for (size_t i = 0; i < voxels; ++i)
        std::memcpy(dst + 3 * size * i, src + 2 * size * i, 2 * size);
    RELEASE_VOXELS(*data);
    *data = tmpdata;
    *channels = 3;
    return true;
}

bool addAlphaChannel(void** data, VoxelType type, const int resolution[3], int* channels, int alphaCalculation,
                     bool valuesSwapped)
{
    if (*channels != 3)
        return true;
    const size_t voxels = valueCount(resolution, 1);
    void* tmpdata = allocateChannels(*data, voxels, bytesOfVoxelType(type) ? bytesOfVoxelType(type) : 1, 4);
    if (!tmpdata)
        return false;
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        expandToFour(static_cast<const T*>(*data), static_cast<T*>(tmpdata), voxels,
                     alphaCalculation, valuesSwapped && sizeof(T) > 1);
    });
    RELEASE_VOXELS(*data);
    *data = tmpdata;
    *channels = 4;
    return true;
}

namespace {

// Band-major (all voxels of band 0, then band 1, ...) to voxel-major, or back.
template <typename T> void reorderBands(const T* src, T* dst, size_t voxels, int bands, bool toVoxelMajor)
{
    for (int b = 0; b < bands; ++b) {
        const size_t plane = static_cast<size_t>(b) * voxels;
        for (size_t v = 0; v < voxels; ++v) {
            if (toVoxelMajor)
                dst[v * bands + b] = src[plane + v];
            else
                dst[plane + v] = src[v * bands + b];
        }
    }
}

// file's voxels in the other band order; false when the new buffer cannot be had.
bool reorder(VolumeFile* file, bool toVoxelMajor)
{
    const int bytes = bytesOfVoxelType(file->type) ? bytesOfVoxelType(file->type) : 1;
    size_t values = 0, total = 0;
    if (!voxelCount(file->resolution, file->bands, bytes, &values, &total))
        return false;
    void* tmpdata = nullptr;
    GUARDED_VOXELS_AS(tmpdata, "tmpdata", total);
    if (!tmpdata) {
        g_garbageCollector.remove(tmpdata);
        return false;
    }
    const size_t voxels = values / static_cast<size_t>(file->bands);
    // Byte-wise by element size: the values are not touched.
    switch (bytes) {
    case 1:
        reorderBands(static_cast<const uint8_t*>(file->data), static_cast<uint8_t*>(tmpdata), voxels, file->bands,
                     toVoxelMajor);
        break;
    case 2:
        reorderBands(static_cast<const uint16_t*>(file->data), static_cast<uint16_t*>(tmpdata), voxels,
                     file->bands, toVoxelMajor);
        break;
    default:
        reorderBands(static_cast<const uint32_t*>(file->data), static_cast<uint32_t*>(tmpdata), voxels,
                     file->bands, toVoxelMajor);
        break;
    }
    RELEASE_VOXELS(file->data);
    file->data = tmpdata;
    file->bandMajor = !toVoxelMajor;
    return true;
}

} // namespace

bool shapeChannels(VolumeFile* file, int alphaCalculation, std::string* why)
{
    if (file->bands > 4) {
        logBoth(__FILE__, __LINE__, "Multi volume detected.\n");
        if (file->type != VOXEL_UCHAR) {
            logBoth(__FILE__, __LINE__, "Not supported data type for multi volume.\n");
            *why = "more than four bands are shown only for unsigned bytes";
            return false;
        }
        if (!file->bandMajor && !reorder(file, false)) {
            *why = "not enough memory to arrange the bands";
            return false;
        }
        return true;
    }
    if (file->bands > 1 && file->bandMajor && !reorder(file, true)) {
        *why = "not enough memory to arrange the bands";
        return false;
    }
    file->bandMajor = false;
    const bool swapped = file->bigEndianValues && bytesOfVoxelType(file->type) > 1;
    if ((file->bands == 2 && !addThirdChannel(&file->data, file->type, file->resolution, &file->bands)) ||
        (file->bands == 3 &&
         !addAlphaChannel(&file->data, file->type, file->resolution, &file->bands, alphaCalculation, swapped))) {
        *why = "not enough memory for four channels";
        return false;
    }
    return true;
}

uint16_t stretched12Bit(double v, double least)
{
    return static_cast<uint16_t>(scaledValue(v, least, 4095.0, 65535.0));
}
