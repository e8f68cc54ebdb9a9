// The CPU stages of texture generation: gradients, magnitudes, 2-D stack
// slices and brick cubes. No GL here.
#include "gen_texture.h"
#include "voxel_types.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

// Encoded gradient component floor((plus - minus) * 0.5) + bias, computed in
// single precision and truncated to the element type.
template <typename T, typename Enable = void> struct GradientCode;

// 8- and 16-bit integers: the arithmetic shift is exactly that floor, and
// every value involved is exact in single precision too.
template <typename T>
struct GradientCode<T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) <= 2>>
{
    using Acc = int32_t;
    static Acc bias(GLenum glType) { return static_cast<Acc>(gradientBias(glType)); }
    static Acc component(T plus, T minus, Acc b)
    {
        return ((static_cast<Acc>(plus) - static_cast<Acc>(minus)) >> 1) + b;
    }
    static T store(Acc c) { return static_cast<T>(c); } // keeps the low bits
    static float decode(T c, Acc b) { return 2.0f * static_cast<float>(static_cast<Acc>(c) - b); }
};

// 32-bit integers: single precision as for the small types, converted
// through 64 bits so that the unsigned maximum (2^32 after rounding) wraps
// instead of overflowing the conversion.
template <typename T>
struct GradientCode<T, std::enable_if_t<std::is_integral<T>::value && sizeof(T) == 4>>
{
    using Acc = int64_t;
    static float bias(GLenum glType) { return static_cast<float>(gradientBias(glType)); }
    static Acc component(T plus, T minus, float b)
    {
        return static_cast<Acc>(std::floor((static_cast<float>(plus) - static_cast<float>(minus)) * 0.5f) + b);
    }
    static T store(Acc c) { return static_cast<T>(c); }
    static float decode(T c, float b) { return 2.0f * (static_cast<float>(c) - b); }
};

template <> struct GradientCode<float>
{
    using Acc = float;
    static float bias(GLenum glType) { return static_cast<float>(gradientBias(glType)); }
    static Acc component(float plus, float minus, float b) { return std::floor((plus - minus) * 0.5f) + b; }
    static float store(Acc c) { return c; }
    static float decode(float c, float b) { return 2.0f * (c - b); }
};

bool reportGradient(int z, int nz)
{
    if (!progressCallback)
        return true;
    const int percent = static_cast<int>(static_cast<float>(z) / static_cast<float>(nz) * 40.0f + 20.0f);
    if (progressCallback(percent, "Generating gradient."))
        return true;
    progressCallback = nullptr;
    return false;
}

// One interior row of one channel (elements `stride` apart in the source).
template <typename T, int Stride>
void gradientRow(T* out, const T* src, int nx, size_t row, size_t plane,
                 typename GradientCode<T>::Acc bias, int stride)
{
    using C = GradientCode<T>;
    const int st = Stride > 0 ? Stride : stride;
    for (int x = 1; x < nx - 1; ++x) {
        const T* c = src + static_cast<size_t>(x) * st;
        T* o = out + 3 * static_cast<size_t>(x);
        o[0] = C::store(C::component(c[st], c[-st], bias));
        o[1] = C::store(C::component(c[row], c[-static_cast<ptrdiff_t>(row)], bias));
        o[2] = C::store(C::component(c[plane], c[-static_cast<ptrdiff_t>(plane)], bias));
    }
}

// One interior row as the truncated mean over every channel.
template <typename T>
void gradientRowMean(T* out, const T* src, int nx, int channels, size_t row, size_t plane,
                     typename GradientCode<T>::Acc bias)
{
    using C = GradientCode<T>;
    using Acc = typename C::Acc;
    const Acc n = static_cast<Acc>(channels);
    for (int x = 1; x < nx - 1; ++x) {
        const T* c = src + static_cast<size_t>(x) * channels;
        Acc sum[3] = {0, 0, 0};
        for (int k = 0; k < channels; ++k) {
            sum[0] += C::store(C::component(c[k + channels], c[k - channels], bias));
            sum[1] += C::store(C::component(c[k + row], c[k - static_cast<ptrdiff_t>(row)], bias));
            sum[2] += C::store(C::component(c[k + plane], c[k - static_cast<ptrdiff_t>(plane)], bias));
        }
        T* o = out + 3 * static_cast<size_t>(x);
        for (int a = 0; a < 3; ++a)
            o[a] = C::store(sum[a] / n); // integer division truncates toward zero
    }
}

template <typename T>
bool gradientKernel(T* out, int nx, int ny, int nz, int channels, const T* data, GLenum glType,
                    int gradientCalculation)
{
    using C = GradientCode<T>;
    const auto bias = C::bias(glType);
    const size_t row = static_cast<size_t>(nx) * channels;
    const size_t plane = row * ny;
    const size_t outRow = static_cast<size_t>(nx) * 3;
    const size_t outPlane = outRow * ny;
    const bool mean = channels > 1 && (gradientCalculation < 0 || gradientCalculation >= channels ||
                                       gradientCalculation > 3);
    const int channel = (channels > 1 && !mean) ? gradientCalculation : 0;
    for (int z = 0; z < nz; ++z) {
        T* op = out + z * outPlane;
        if (z == 0 || z == nz - 1) {
            std::memset(op, 0, outPlane * sizeof(T));
            continue;
        }
        for (int y = 0; y < ny; ++y) {
            T* o = op + y * outRow;
            if (y == 0 || y == ny - 1 || nx < 3) {
                std::memset(o, 0, outRow * sizeof(T));
                continue;
            }
            const T* s = data + z * plane + y * row;
            o[0] = o[1] = o[2] = T(0);
            T* last = o + 3 * static_cast<size_t>(nx - 1);
            if (mean)
                gradientRowMean(o, s, nx, channels, row, plane, bias);
            else if (channels == 1)
                gradientRow<T, 1>(o, s, nx, row, plane, bias, 1);
            else
                gradientRow<T, 0>(o, s + channel, nx, row, plane, bias, channels);
            last[0] = last[1] = last[2] = T(0);
        }
        if (z <= nz - 2 && !reportGradient(z, nz))
            return false;
    }
    return true;
}

template <typename T>
void magnitudeKernel(float* out, size_t n, const T* g, GLenum glType)
{
    using C = GradientCode<T>;
    const auto bias = C::bias(glType);
    float largest = -10000000.0f;
    for (size_t i = 0; i < n; ++i) {
        const float dx = C::decode(g[3 * i], bias);
        const float dy = C::decode(g[3 * i + 1], bias);
        const float dz = C::decode(g[3 * i + 2], bias);
        const float m = std::sqrt(dx * dx + dy * dy + dz * dz);
        out[i] = m;
        largest = m > largest ? m : largest;
    }
    if (largest != 0.0f)
        for (size_t i = 0; i < n; ++i)
            out[i] /= largest;
}

template <typename T>
void stackSliceKernel(T* slice, int axis, int index, const T* src, int rowLength, int sliceRows,
                      const int res[3], const int padded[3], int ch)
{
    int width = 0, height = 0;
    stackSliceSize(axis, padded, &width, &height);
    std::memset(slice, 0, static_cast<size_t>(width) * height * ch * sizeof(T));
    const size_t row = static_cast<size_t>(rowLength) * ch;
    const size_t plane = row * sliceRows;
    const size_t outRow = static_cast<size_t>(width) * ch;
    const int nx = res[0], ny = res[1], nz = res[2];
    if (axis == 0) {
        // Texel (s, t) = voxel (index, s, t): one voxel from every row.
        const T* base = src + static_cast<size_t>(index) * ch;
        for (int t = 0; t < nz; ++t) {
            const T* p = base + t * plane;
            T* o = slice + t * outRow;
            if (ch == 1) {
                for (int s = 0; s < ny; ++s)
                    o[s] = p[s * row];
            } else {
                for (int s = 0; s < ny; ++s)
                    for (int c = 0; c < ch; ++c)
                        o[static_cast<size_t>(s) * ch + c] = p[s * row + c];
            }
        }
    } else if (axis == 1) {
        // Texel (s, t) = voxel (s, index, t): row index of every slice.
        for (int t = 0; t < nz; ++t)
            std::memcpy(slice + t * outRow, src + t * plane + index * row, static_cast<size_t>(nx) * ch * sizeof(T));
    } else {
        // Texel (s, t) = voxel (s, t, index): the rows of slice index.
        for (int t = 0; t < ny; ++t)
            std::memcpy(slice + t * outRow, src + index * plane + t * row, static_cast<size_t>(nx) * ch * sizeof(T));
    }
}

} // namespace

double gradientBias(GLenum glType)
{
    switch (glType) {
    case GL_UNSIGNED_BYTE:
        return 128.0;
    case GL_UNSIGNED_SHORT:
        return 32768.0;
    case GL_UNSIGNED_INT:
        return 2147483648.0;
    case GL_FLOAT:
        return 0.5;
    default:
        return 0.0;
    }
}

bool computeGradient(void* gradient, int nx, int ny, int nz, int channels, const void* data,
                     GLenum glType, int gradientCalculation)
{
    if (!gradient || !data || nx <= 0 || ny <= 0 || nz <= 0 || channels <= 0)
        return true;
    return dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return gradientKernel(static_cast<T*>(gradient), nx, ny, nz, channels, static_cast<const T*>(data),
                              glType, gradientCalculation);
    });
}

void computeMagnitude(float* magnitude, int nx, int ny, int nz, const void* gradient, GLenum glType)
{
    if (!magnitude || !gradient || nx <= 0 || ny <= 0 || nz <= 0)
        return;
    const size_t n = static_cast<size_t>(nx) * ny * nz;
    dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        magnitudeKernel(magnitude, n, static_cast<const T*>(gradient), glType);
    });
}

void stackSliceSize(int axis, const int padded[3], int* width, int* height)
{
    *width = axis == 0 ? padded[1] : padded[0];
    *height = axis == 2 ? padded[1] : padded[2];
}

void copyStackSlice(void* slice, int axis, int index, const void* source, int rowLength,
                    int sliceRows, const int resolution[3], const int padded[3], int channels,
                    GLenum glType)
{
    dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        stackSliceKernel(static_cast<T*>(slice), axis, index, static_cast<const T*>(source), rowLength,
                         sliceRows, resolution, padded, channels);
    });
}

void copyBrick(void* cube, int size, int k, int j, int i, const void* source,
               const int resolution[3], int elements, size_t elementBytes)
{
    const size_t voxel = static_cast<size_t>(elements) * elementBytes;
    const size_t edge = static_cast<size_t>(size);
    unsigned char* out = static_cast<unsigned char*>(cube);
    const unsigned char* src = static_cast<const unsigned char*>(source);
    std::memset(out, 0, edge * edge * edge * voxel);
    const int nx = resolution[0], ny = resolution[1], nz = resolution[2];
    const long x0 = static_cast<long>(k) * size, y0 = static_cast<long>(j) * size, z0 = static_cast<long>(i) * size;
    if (x0 >= nx)
        return;
    const size_t run = static_cast<size_t>(nx - x0 < size ? nx - x0 : size) * voxel;
    for (int a = 0; a < size && z0 + a < nz; ++a)
        for (int b = 0; b < size && y0 + b < ny; ++b) {
            const size_t from = ((static_cast<size_t>(z0 + a) * ny + (y0 + b)) * nx + x0) * voxel;
            std::memcpy(out + (static_cast<size_t>(a) * edge + b) * edge * voxel, src + from, run);
        }
}
