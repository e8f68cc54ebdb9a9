#include "byte_order.h"

#include "error_handling.h"
#include "voxel_types.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// Values looked at at most: whole rows until this many.
const size_t kSampledValues = size_t(1) << 22;

// Byte positions (bit b set for byte b of a value) that are zero in every
// value looked at: they carry nothing and only scale the values read, so
// 8-bit values in 16-bit words read alike in either order.
template <typename T> unsigned zeroBytes(const unsigned char* raw, size_t rows, size_t rowValues, size_t step)
{
    unsigned constant = (1u << sizeof(T)) - 1;
    for (size_t row = 0; row < rows && constant; row += step) {
        const unsigned char* p = raw + row * rowValues * sizeof(T);
        for (size_t i = 0; i < rowValues; ++i)
            for (size_t b = 0; b < sizeof(T); ++b)
                if (p[i * sizeof(T) + b] != 0)
                    constant &= ~(1u << b);
    }
    return constant;
}

// The value at p read in one byte order. With zero bytes, only the other
// bytes make up the value, as an unsigned number. Floats are compared by
// their bit patterns in the order of their values: a wrong order puts
// mantissa bytes into the exponent, far off in that order.
template <typename T> double readValue(const unsigned char* p, bool littleEndian, unsigned zero)
{
    uint64_t bits = 0;
    for (size_t k = 0; k < sizeof(T); ++k) {
        const size_t b = littleEndian ? sizeof(T) - 1 - k : k; // most significant first
        if (!(zero & (1u << b)))
            bits = (bits << 8) | p[b];
    }
    if (zero)
        return static_cast<double>(bits);
    if (std::is_floating_point<T>::value) {
        const uint32_t u = static_cast<uint32_t>(bits);
        return static_cast<double>((u & 0x80000000u) ? ~u : (u | 0x80000000u));
    }
    using Bits = std::conditional_t<sizeof(T) == 1, uint8_t, std::conditional_t<sizeof(T) == 2, uint16_t, uint32_t>>;
    const Bits narrow = static_cast<Bits>(bits);
    T value;
    std::memcpy(&value, &narrow, sizeof value);
    return static_cast<double>(value);
}

template <typename T>
double roughness(const unsigned char* raw, const int resolution[3], int channels, bool littleEndian)
{
    const size_t rowValues = static_cast<size_t>(resolution[0]) * static_cast<size_t>(channels);
    const size_t rows = static_cast<size_t>(resolution[1]) * static_cast<size_t>(resolution[2]);
    if (rowValues == 0 || rows == 0)
        return 0.0;
    const size_t step = rowValues * rows > kSampledValues ? rowValues * rows / kSampledValues + 1 : 1;
    const unsigned zero = zeroBytes<T>(raw, rows, rowValues, step);
    double sum = 0.0;
    size_t pairs = 0;
    for (size_t row = 0; row < rows; row += step) {
        const unsigned char* p = raw + row * rowValues * sizeof(T);
        double previous[4] = {0, 0, 0, 0};
        for (size_t i = 0; i < rowValues; ++i) {
            const double v = readValue<T>(p + i * sizeof(T), littleEndian, zero);
            const size_t c = i % static_cast<size_t>(channels);
            if (i >= static_cast<size_t>(channels)) {
                sum += std::fabs(v - previous[c]);
                ++pairs;
            }
            previous[c] = v;
        }
    }
    return pairs ? sum / static_cast<double>(pairs) : 0.0;
}

} // namespace

double rawRoughness(const void* raw, VoxelType type, const int resolution[3], int channels, bool littleEndian)
{
    if (!raw || channels < 1 || channels > 4 || resolution[0] <= 0 || resolution[1] <= 0 || resolution[2] <= 0)
        return 0.0;
    return dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return roughness<T>(static_cast<const unsigned char*>(raw), resolution, channels, littleEndian);
    });
}

bool looksLittleEndian(const void* raw, VoxelType type, const int resolution[3], int channels)
{
    const int bytes = bytesOfVoxelType(type);
    if (bytes != 2 && bytes != 4)
        return false;
    const double big = rawRoughness(raw, type, resolution, channels, false);
    const double little = rawRoughness(raw, type, resolution, channels, true);
    return little * kLittleEndianMargin < big;
}

bool readRawAsLittleEndian(RawByteOrder stated, const void* raw, VoxelType type, const int resolution[3],
                           int channels)
{
    if (stated != RawByteOrder::Unstated)
        return stated == RawByteOrder::Little;
    if (!looksLittleEndian(raw, type, resolution, channels))
        return false;
    logNote(__FILE__, __LINE__, "Raw data read as little-endian (smoother than big-endian).\n");
    return true;
}

bool hostBigEndian()
{
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 0;
}
