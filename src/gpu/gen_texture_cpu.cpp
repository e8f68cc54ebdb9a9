// The CPU stages of texture generation: gradients, magnitudes, 2-D stack
// slices and brick cubes. No GL here.
#include "gen_texture.h"
#include "parallel.h"
#include "voxel_types.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define GLIMRA_X86 1
// The row kernels again for processors with AVX2, where the compiler
// vectorizes the interleaved three-component stores; picked at run time.
#define GLIMRA_AVX2_KERNEL __attribute__((target("avx2"), optimize("vect-cost-model=dynamic", "no-math-errno")))
#endif

int gradientThreads = 0;

namespace {

// Encoded gradient component: the half central difference (plus - minus) / 2
// added to the code of a zero gradient, gradientBias. Integer half
// differences are rounded half away from zero, and every offset is held
// within the same distance of the bias on both sides, so mirror-image data
// store mirror-image codes. half() takes the sum of n channels' differences
// and gives their mean half difference; store() adds the bias.
template <typename T, typename Enable = void> struct GradientCode;

// Integers, exact: 32 bits hold every sum of the small types, 64 bits those
// of the 32-bit types.
template <typename T>
struct GradientCode<T, std::enable_if_t<std::is_integral<T>::value>>
{
    using Acc = std::conditional_t<sizeof(T) <= 2, int32_t, int64_t>;
    static Acc bias(GLenum glType) { return static_cast<Acc>(gradientBias(glType)); }
    static Acc difference(T plus, T minus) { return static_cast<Acc>(plus) - static_cast<Acc>(minus); }
    static Acc half(Acc sum, Acc n)
    {
        const Acc a = sum < 0 ? -sum : sum;
        const Acc q = (a + n) / (2 * n);
        return sum < 0 ? -q : q;
    }
    static T store(Acc offset, Acc b)
    {
        const Acc reach = std::min<Acc>(b - std::numeric_limits<T>::min(), std::numeric_limits<T>::max() - b);
        return static_cast<T>(b + std::min(std::max(offset, -reach), reach));
    }
    static float decode(T c, Acc b) { return 2.0f * static_cast<float>(static_cast<Acc>(c) - b); }
};

// Floats (data in 0 ... 1): the half difference in steps of 1/255, rounded
// half away from zero, which is what the 8-bit gradient texel holds; the
// code is the float nearest a whole number of steps, so the texel holds it
// exactly.
template <> struct GradientCode<float>
{
    using Acc = float;
    static float bias(GLenum glType) { return static_cast<float>(gradientBias(glType)); }
    static float difference(float plus, float minus) { return plus - minus; }
    static float half(float sum, float n) { return sum / (2.0f * n); }
    static float store(float offset, float b)
    {
        const float steps = std::round(offset * 255.0f);
        const float zero = std::round(b * 255.0f);
        const float reach = std::min(zero, 255.0f - zero);
        return (zero + std::min(std::max(steps, -reach), reach)) / 255.0f;
    }
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

// Planes z0 ... z1 - 1 of nz by plane(z) on every core, plane z0 + k on
// thread k % threads; the calling thread reports planes 1 ... nz - 2 of the
// range in order as they are finished, as one thread would. False when a
// report cancelled (planes not begun by then stay as they were).
template <typename Plane>
bool forEachPlaneReporting(int z0, int z1, int nz, Plane plane)
{
    const int count = z1 - z0;
    if (count <= 0)
        return true;
    auto reportAfter = [&](int z) { return z < 1 || z > nz - 2 || reportGradient(z, nz); };
    const int threads = std::min(passThreads(gradientThreads), count);
    if (threads <= 1) {
        for (int z = z0; z < z1; ++z) {
            plane(z);
            if (!reportAfter(z))
                return false;
        }
        return true;
    }
    std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[static_cast<size_t>(count)]);
    for (int k = 0; k < count; ++k)
        done[k].store(false);
    std::atomic<bool> stop(false);
    int next = 0; // the first plane of the range not reported yet
    auto flush = [&] {
        while (!stop.load() && next < count && done[next].load(std::memory_order_acquire)) {
            if (!reportAfter(z0 + next))
                stop.store(true);
            ++next;
        }
    };
    forEachSlab(
        threads,
        [&](int slab, long, long) {
            for (int k = slab; k < count && !stop.load(std::memory_order_relaxed); k += threads) {
                plane(z0 + k);
                done[k].store(true, std::memory_order_release);
                if (slab == 0)
                    flush();
            }
        },
        threads);
    flush();
    return !stop.load();
}

// The fourth component of a gradient stored as RGBA: opaque, as an RGB
// texture reads.
template <typename T> constexpr T opaqueOf()
{
    return std::is_floating_point<T>::value ? T(1) : std::numeric_limits<T>::max();
}

// count gradients of Components elements set to the code of a zero
// gradient (and the fourth opaque): what boundary voxels hold, for want of
// a neighbour on one side.
template <typename T, int Components> void clearGradients(T* out, size_t count, T zero)
{
    for (size_t i = 0; i < count; ++i) {
        for (int a = 0; a < 3; ++a)
            out[Components * i + a] = zero;
        if (Components == 4)
            out[Components * i + 3] = opaqueOf<T>();
    }
}

// One interior row of one channel (elements `stride` apart in the source)
// into gradients of Components (3 or 4) elements.
template <typename T, int Stride, int Components>
inline __attribute__((always_inline)) void gradientRowBody(T* out, const T* src, int nx, size_t row, size_t plane,
                                                           typename GradientCode<T>::Acc bias, int stride)
{
    using C = GradientCode<T>;
    const int st = Stride > 0 ? Stride : stride;
    const ptrdiff_t up = static_cast<ptrdiff_t>(row), far = static_cast<ptrdiff_t>(plane);
    const typename C::Acc one = 1; // a single channel's difference
    for (int x = 1; x < nx - 1; ++x) {
        const T* c = src + static_cast<size_t>(x) * st;
        T* o = out + Components * static_cast<size_t>(x);
        o[0] = C::store(C::half(C::difference(c[st], c[-st]), one), bias);
        o[1] = C::store(C::half(C::difference(c[up], c[-up]), one), bias);
        o[2] = C::store(C::half(C::difference(c[far], c[-far]), one), bias);
        if (Components == 4)
            o[3] = opaqueOf<T>();
    }
}

template <typename T, int Stride, int Components>
void gradientRow(T* out, const T* src, int nx, size_t row, size_t plane, typename GradientCode<T>::Acc bias,
                 int stride)
{
    gradientRowBody<T, Stride, Components>(out, src, nx, row, plane, bias, stride);
}

#ifdef GLIMRA_X86
template <typename T, int Stride, int Components>
GLIMRA_AVX2_KERNEL void gradientRowAvx2(T* out, const T* src, int nx, size_t row, size_t plane,
                                        typename GradientCode<T>::Acc bias, int stride)
{
    gradientRowBody<T, Stride, Components>(out, src, nx, row, plane, bias, stride);
}
#endif

bool hasAvx2()
{
#ifdef GLIMRA_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

template <typename T, int Stride, int Components>
void gradientRowFast(T* out, const T* src, int nx, size_t row, size_t plane, typename GradientCode<T>::Acc bias,
                     int stride, bool avx2)
{
#ifdef GLIMRA_X86
    if (avx2) {
        gradientRowAvx2<T, Stride, Components>(out, src, nx, row, plane, bias, stride);
        return;
    }
#endif
    (void)avx2;
    gradientRow<T, Stride, Components>(out, src, nx, row, plane, bias, stride);
}

// One interior row as the mean half difference over every channel.
template <typename T, int Components>
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
            sum[0] += C::difference(c[k + channels], c[k - channels]);
            sum[1] += C::difference(c[k + row], c[k - static_cast<ptrdiff_t>(row)]);
            sum[2] += C::difference(c[k + plane], c[k - static_cast<ptrdiff_t>(plane)]);
        }
        T* o = out + Components * static_cast<size_t>(x);
        for (int a = 0; a < 3; ++a)
            o[a] = C::store(C::half(sum[a], n), bias);
        if (Components == 4)
            o[3] = opaqueOf<T>();
    }
}

// The gradients of one plane of a volume, as computeGradient describes them.
template <typename T> struct GradientPlanes
{
    using C = GradientCode<T>;
    // used: the voxels of the data in a grid of nx x ny x nz (null: all).
    GradientPlanes(int nx_, int ny_, int channels_, const T* data_, GLenum glType, int gradientCalculation,
                   const int* used = nullptr)
        : nx(nx_), ny(ny_), ux(used ? std::min(used[0], nx_) : nx_), uy(used ? std::min(used[1], ny_) : ny_),
          uz(used ? used[2] : -1), channels(channels_), data(data_), bias(C::bias(glType)),
          row(static_cast<size_t>(nx_) * channels_), plane(row * ny_),
          mean(channels_ > 1 &&
               (gradientCalculation < 0 || gradientCalculation >= channels_ || gradientCalculation > 3)),
          channel((channels_ > 1 && !mean) ? gradientCalculation : 0), zero(C::store(0, bias)), avx2(hasAvx2())
    {
    }
    // Plane z of nz into out (nx x ny gradients of Components elements).
    // Voxels on the data's boundary, and those beyond it in a padded grid,
    // hold the zero gradient: a difference across the data's face would
    // take the padding for data.
    template <int Components> void operator()(T* out, int z, int nz) const
    {
        const size_t outRow = static_cast<size_t>(nx) * Components;
        const int lastZ = (uz >= 0 ? std::min(uz, nz) : nz) - 1;
        if (z == 0 || z >= lastZ) {
            clearGradients<T, Components>(out, static_cast<size_t>(nx) * ny, zero);
            return;
        }
        for (int y = 0; y < ny; ++y) {
            T* o = out + y * outRow;
            if (y == 0 || y >= uy - 1 || ux < 3) {
                clearGradients<T, Components>(o, static_cast<size_t>(nx), zero);
                continue;
            }
            const T* s = data + z * plane + y * row;
            clearGradients<T, Components>(o, 1, zero);
            if (mean)
                gradientRowMean<T, Components>(o, s, ux, channels, row, plane, bias);
            else if (channels == 1)
                gradientRowFast<T, 1, Components>(o, s, ux, row, plane, bias, 1, avx2);
            else
                gradientRowFast<T, 0, Components>(o, s + channel, ux, row, plane, bias, channels, avx2);
            clearGradients<T, Components>(o + Components * static_cast<size_t>(ux - 1),
                                          static_cast<size_t>(nx - ux + 1), zero);
        }
    }
    int nx, ny;     // the grid's row and plane sizes in voxels
    int ux, uy, uz; // the data's voxels in it along x, y, z (uz -1: all planes)
    int channels;
    const T* data;
    typename C::Acc bias;
    size_t row, plane;
    bool mean;
    int channel;
    T zero; // the code of a zero gradient
    bool avx2;
};

// The gradient of nz planes into out, three elements per voxel, reporting.
template <typename T>
bool gradientKernel(T* out, int nx, int ny, int nz, int channels, const T* data, GLenum glType,
                    int gradientCalculation)
{
    const GradientPlanes<T> planes(nx, ny, channels, data, glType, gradientCalculation);
    const size_t outPlane = static_cast<size_t>(nx) * ny * 3;
    return forEachPlaneReporting(0, nz, nz, [&](int z) {
        planes.template operator()<3>(out + static_cast<size_t>(z) * outPlane, z, nz);
    });
}

// The squared length of one encoded gradient, in single precision. Its
// square root is the length; the root being correctly rounded, the largest
// length is the root of the largest square.
template <typename T>
inline __attribute__((always_inline)) float squaredLength(const T* g, typename GradientCode<T>::Acc bias)
{
    using C = GradientCode<T>;
    const float dx = C::decode(g[0], bias);
    const float dy = C::decode(g[1], bias);
    const float dz = C::decode(g[2], bias);
    return dx * dx + dy * dy + dz * dz;
}

// 8-bit gradients: the components less the bias, a, b and c, lie in
// -128 ... 127 (-127 ... 127 for the unsigned codes), so a^2 + b^2 + c^2 (below kSquares8) indexes the length,
// which is the root of 4 (a^2 + b^2 + c^2), exact in single precision.
constexpr int kSquares8 = 3 * 128 * 128 + 1;
template <typename T> inline __attribute__((always_inline)) int32_t squareIndex(const T* g, int32_t bias)
{
    const int32_t a = static_cast<int32_t>(g[0]) - bias, b = static_cast<int32_t>(g[1]) - bias,
                  c = static_cast<int32_t>(g[2]) - bias;
    return a * a + b * b + c * c;
}

// A value of 0 ... 1 as an 8-bit normalized texel stores it: clamped,
// times 255, rounded to the nearest (even) integer; NaN as 0. (Selects, not
// branches, so that the loops over it vectorize.)
inline __attribute__((always_inline)) unsigned char unorm8(float x)
{
    const float clamped = x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
    return static_cast<unsigned char>(static_cast<int32_t>(std::nearbyint(clamped * 255.0f)));
}

// A length divided by the largest, as computeMagnitude leaves it.
inline float relativeLength(float length, float largest)
{
    return largest == 0.0f ? length : length / largest;
}

// Lengths of n gradients; the largest of them.
template <typename T>
inline __attribute__((always_inline)) float magnitudeBody(float* out, size_t n, const T* g,
                                                          typename GradientCode<T>::Acc bias)
{
    float largest = -10000000.0f;
    for (size_t i = 0; i < n; ++i) {
        const float m = std::sqrt(squaredLength(g + 3 * i, bias));
        out[i] = m;
        largest = m > largest ? m : largest;
    }
    return largest;
}

template <typename T>
float magnitudeRun(float* out, size_t n, const T* g, typename GradientCode<T>::Acc bias)
{
    return magnitudeBody(out, n, g, bias);
}

inline __attribute__((always_inline)) void divideBody(float* out, size_t n, float by)
{
    for (size_t i = 0; i < n; ++i)
        out[i] /= by;
}

void divideAll(float* out, size_t n, float by)
{
    divideBody(out, n, by);
}

#ifdef GLIMRA_X86
GLIMRA_AVX2_KERNEL void divideAllAvx2(float* out, size_t n, float by)
{
    divideBody(out, n, by);
}
#endif

// n lengths divided by largest, in slabs on every core; untouched when it is 0.
void divideLengths(float* out, size_t n, float largest)
{
    if (largest == 0.0f)
        return;
    const bool avx2 = hasAvx2();
    forEachSlab(
        static_cast<long>(n),
        [&](int, long begin, long end) {
#ifdef GLIMRA_X86
            if (avx2) {
                divideAllAvx2(out + begin, static_cast<size_t>(end - begin), largest);
                return;
            }
#endif
            (void)avx2;
            divideAll(out + begin, static_cast<size_t>(end - begin), largest);
        },
        gradientThreads, 1L << 16);
}

template <typename T>
void magnitudeKernel(float* out, size_t n, const T* g, GLenum glType)
{
    // Each slab's lengths and largest; the largest of all is the same
    // whichever way the voxels were split.
    const long minSlab = 1L << 16;
    std::vector<float> largestOf(static_cast<size_t>(passThreads(gradientThreads)), -10000000.0f);
    const auto bias = GradientCode<T>::bias(glType);
    forEachSlab(
        static_cast<long>(n),
        [&](int slab, long begin, long end) {
            largestOf[static_cast<size_t>(slab)] = magnitudeRun(out + begin, static_cast<size_t>(end - begin),
                                                                g + 3 * static_cast<size_t>(begin), bias);
        },
        gradientThreads, minSlab);
    divideLengths(out, n, *std::max_element(largestOf.begin(), largestOf.end()));
}

// The largest squared length of n gradients of Components elements.
template <typename T, int Components>
inline __attribute__((always_inline)) float largestSquareBody(size_t n, const T* g,
                                                              typename GradientCode<T>::Acc bias)
{
    if constexpr (sizeof(T) == 1) {
        int32_t largest = 0;
        for (size_t i = 0; i < n; ++i)
            largest = std::max(largest, squareIndex(g + Components * i, static_cast<int32_t>(bias)));
        return 4.0f * static_cast<float>(largest);
    }
    float largest = -10000000.0f;
    for (size_t i = 0; i < n; ++i) {
        const float s = squaredLength(g + Components * i, bias);
        largest = s > largest ? s : largest;
    }
    return largest;
}

template <typename T, int Components>
float largestSquareRun(size_t n, const T* g, typename GradientCode<T>::Acc bias)
{
    return largestSquareBody<T, Components>(n, g, bias);
}

#ifdef GLIMRA_X86
template <typename T, int Components>
GLIMRA_AVX2_KERNEL float largestSquareAvx2(size_t n, const T* g, typename GradientCode<T>::Acc bias)
{
    return largestSquareBody<T, Components>(n, g, bias);
}
#endif

template <typename T, int Components>
float largestSquare(size_t n, const T* g, typename GradientCode<T>::Acc bias, bool avx2)
{
#ifdef GLIMRA_X86
    if (avx2)
        return largestSquareAvx2<T, Components>(n, g, bias);
#endif
    (void)avx2;
    return largestSquareRun<T, Components>(n, g, bias);
}

// The largest length of the whole gradient, each plane computed into a
// scratch plane of its thread and dropped.
template <typename T>
float largestLengthKernel(int nx, int ny, int nz, int channels, const T* data, GLenum glType,
                          int gradientCalculation, const int* used)
{
    const GradientPlanes<T> planes(nx, ny, channels, data, glType, gradientCalculation, used);
    const auto bias = GradientCode<T>::bias(glType);
    const size_t plane = static_cast<size_t>(nx) * ny;
    std::vector<float> largestOf(static_cast<size_t>(passThreads(gradientThreads)), -10000000.0f);
    forEachSlab(
        nz,
        [&](int slab, long begin, long end) {
            std::vector<T> scratch(plane * 3);
            float& largest = largestOf[static_cast<size_t>(slab)];
            for (long z = begin; z < end; ++z) {
                planes.template operator()<3>(scratch.data(), static_cast<int>(z), nz);
                const float s = largestSquare<T, 3>(plane, scratch.data(), bias, planes.avx2);
                largest = s > largest ? s : largest;
            }
        },
        gradientThreads);
    const float square = *std::max_element(largestOf.begin(), largestOf.end());
    return square < 0.0f ? square : std::sqrt(square);
}

template <typename T, int Components>
inline __attribute__((always_inline)) void magnitudeBytesBody(unsigned char* out, size_t n, const T* g,
                                                              typename GradientCode<T>::Acc bias, float largest,
                                                              const unsigned char* table)
{
    if (table) {
        for (size_t i = 0; i < n; ++i)
            out[i] = table[squareIndex(g + Components * i, static_cast<int32_t>(bias))];
        return;
    }
    for (size_t i = 0; i < n; ++i)
        out[i] = unorm8(relativeLength(std::sqrt(squaredLength(g + Components * i, bias)), largest));
}

template <typename T, int Components>
void magnitudeBytesRun(unsigned char* out, size_t n, const T* g, typename GradientCode<T>::Acc bias, float largest,
                       const unsigned char* table)
{
    magnitudeBytesBody<T, Components>(out, n, g, bias, largest, table);
}

#ifdef GLIMRA_X86
template <typename T, int Components>
GLIMRA_AVX2_KERNEL void magnitudeBytesAvx2(unsigned char* out, size_t n, const T* g,
                                           typename GradientCode<T>::Acc bias, float largest,
                                           const unsigned char* table)
{
    magnitudeBytesBody<T, Components>(out, n, g, bias, largest, table);
}
#endif

// The bytes of every 8-bit gradient length (a table by squareIndex) for
// one divisor; empty for the wider types, whose lengths are computed.
template <typename T> std::vector<unsigned char> magnitudeTable(float largest)
{
    std::vector<unsigned char> table;
    if constexpr (sizeof(T) == 1) {
        table.resize(kSquares8);
        for (int k = 0; k < kSquares8; ++k)
            table[static_cast<size_t>(k)] = unorm8(relativeLength(std::sqrt(4.0f * static_cast<float>(k)), largest));
    }
    return table;
}

// n magnitude bytes on the calling thread.
template <typename T, int Components>
void magnitudeBytesOn(unsigned char* out, size_t n, const T* g, typename GradientCode<T>::Acc bias, float largest,
                      const std::vector<unsigned char>& table, bool avx2)
{
    const unsigned char* lookup = table.empty() ? nullptr : table.data();
#ifdef GLIMRA_X86
    if (avx2) {
        magnitudeBytesAvx2<T, Components>(out, n, g, bias, largest, lookup);
        return;
    }
#endif
    (void)avx2;
    magnitudeBytesRun<T, Components>(out, n, g, bias, largest, lookup);
}

// Planes z0 ... z1 - 1 of the gradient as RGBA and, when lengths is given,
// their magnitude bytes, each plane's right after its gradients (still in
// the cache).
template <typename T>
bool gradientTexelsKernel(T* rgba, unsigned char* lengths, float largest, int z0, int z1, int nx, int ny, int nz,
                          int channels, const T* data, GLenum glType, int gradientCalculation, const int* used)
{
    const GradientPlanes<T> planes(nx, ny, channels, data, glType, gradientCalculation, used);
    const auto bias = GradientCode<T>::bias(glType);
    const std::vector<unsigned char> table = lengths ? magnitudeTable<T>(largest) : std::vector<unsigned char>();
    const size_t plane = static_cast<size_t>(nx) * ny;
    return forEachPlaneReporting(z0, z1, nz, [&](int z) {
        T* out = rgba + static_cast<size_t>(z - z0) * plane * 4;
        planes.template operator()<4>(out, z, nz);
        if (lengths)
            magnitudeBytesOn<T, 4>(lengths + static_cast<size_t>(z - z0) * plane, plane, out, bias, largest, table,
                                   planes.avx2);
    });
}

#ifdef GLIMRA_X86
// The 16 x 16 bytes at in (rows inStride apart) transposed to out (rows
// outStride apart): four rounds of interleaving, 8, 16, 32, 64 bits wide.
// (Fully unrolled, the twelve-register arrays stay in registers.)
__attribute__((optimize("O3"))) void transpose16x16(const unsigned char* in, size_t inStride, unsigned char* out,
                                                    size_t outStride)
{
    __m128i r[16], t[16], u[16];
    for (int k = 0; k < 16; ++k)
        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k * inStride));
    // t[k]: columns 0-7 of rows 2k, 2k + 1; t[k + 8]: columns 8-15.
    for (int k = 0; k < 8; ++k) {
        t[k] = _mm_unpacklo_epi8(r[2 * k], r[2 * k + 1]);
        t[k + 8] = _mm_unpackhi_epi8(r[2 * k], r[2 * k + 1]);
    }
    // u[4g + m]: columns 4g ... 4g + 3 of rows 4m ... 4m + 3.
    for (int m = 0; m < 4; ++m) {
        u[m] = _mm_unpacklo_epi16(t[2 * m], t[2 * m + 1]);
        u[4 + m] = _mm_unpackhi_epi16(t[2 * m], t[2 * m + 1]);
        u[8 + m] = _mm_unpacklo_epi16(t[8 + 2 * m], t[8 + 2 * m + 1]);
        u[12 + m] = _mm_unpackhi_epi16(t[8 + 2 * m], t[8 + 2 * m + 1]);
    }
    // r[2h + n]: columns 2h, 2h + 1 of rows 8n ... 8n + 7.
    for (int g = 0; g < 4; ++g)
        for (int n = 0; n < 2; ++n) {
            r[4 * g + n] = _mm_unpacklo_epi32(u[4 * g + 2 * n], u[4 * g + 2 * n + 1]);
            r[4 * g + 2 + n] = _mm_unpackhi_epi32(u[4 * g + 2 * n], u[4 * g + 2 * n + 1]);
        }
    for (int h = 0; h < 8; ++h) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * h) * outStride),
                         _mm_unpacklo_epi64(r[2 * h], r[2 * h + 1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * h + 1) * outStride),
                         _mm_unpackhi_epi64(r[2 * h], r[2 * h + 1]));
    }
}

// 8 x 8 two-byte units: three rounds of interleaving, 16, 32, 64 bits wide.
void transpose8x8(const unsigned char* in, size_t inStride, unsigned char* out, size_t outStride)
{
    __m128i r[8], t[8], u[8];
    for (int k = 0; k < 8; ++k)
        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k * inStride));
    // t[2m]: columns 0-3 of rows 2m, 2m + 1; t[2m + 1]: columns 4-7.
    for (int m = 0; m < 4; ++m) {
        t[2 * m] = _mm_unpacklo_epi16(r[2 * m], r[2 * m + 1]);
        t[2 * m + 1] = _mm_unpackhi_epi16(r[2 * m], r[2 * m + 1]);
    }
    // u[4h + 2q + n]: columns 4q + 2n, 4q + 2n + 1 of rows 4h ... 4h + 3.
    for (int h = 0; h < 2; ++h)
        for (int q = 0; q < 2; ++q) {
            u[4 * h + 2 * q] = _mm_unpacklo_epi32(t[4 * h + q], t[4 * h + 2 + q]);
            u[4 * h + 2 * q + 1] = _mm_unpackhi_epi32(t[4 * h + q], t[4 * h + 2 + q]);
        }
    for (int c = 0; c < 4; ++c) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * c) * outStride), _mm_unpacklo_epi64(u[c], u[4 + c]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (2 * c + 1) * outStride),
                         _mm_unpackhi_epi64(u[c], u[4 + c]));
    }
}

// 4 x 4 four-byte units: two rounds, 32 and 64 bits wide.
void transpose4x4(const unsigned char* in, size_t inStride, unsigned char* out, size_t outStride)
{
    __m128i r[4];
    for (int k = 0; k < 4; ++k)
        r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k * inStride));
    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
    const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(t0, t2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + outStride), _mm_unpackhi_epi64(t0, t2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * outStride), _mm_unpacklo_epi64(t1, t3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * outStride), _mm_unpackhi_epi64(t1, t3));
}

// The unit x unit blocks of bDone slices by sDone columns of one plane
// (voxels of 16 / Unit bytes), with a block transpose
// the compiler can inline.
template <void (*Transpose)(const unsigned char*, size_t, unsigned char*, size_t), int Unit>
void transposeBlocks(const unsigned char* in, size_t inStride, unsigned char* out, size_t outStride, int bDone,
                     int sDone)
{
    const size_t voxelBytes = 16 / Unit;
    for (int b0 = 0; b0 < bDone; b0 += Unit)
        for (int s0 = 0; s0 < sDone; s0 += Unit)
            Transpose(in + s0 * inStride + b0 * voxelBytes, inStride, out + b0 * outStride + s0 * voxelBytes,
                      outStride);
}
#endif

// Columns s0 ... s1 - 1 of slices b0 ... b1 - 1 of one x-stack row, voxel
// by voxel in 16 x 16 tiles (p: the source plane at the first slice; o: the
// row in the first slice).
template <typename T>
void xStackTiles(T* o, size_t sliceStride, const T* p, size_t row, int ch, int s0, int s1, int b0, int b1)
{
    for (int ts = s0; ts < s1; ts += 16)
        for (int tb = b0; tb < b1; tb += 16)
            for (int s = ts; s < std::min(s1, ts + 16); ++s) {
                const T* r = p + s * row;
                T* d = o + static_cast<size_t>(s) * ch;
                for (int b = tb; b < std::min(b1, tb + 16); ++b)
                    for (int c = 0; c < ch; ++c)
                        d[b * sliceStride + c] = r[static_cast<size_t>(b) * ch + c];
            }
}

// Rows rowBegin ... rowEnd - 1 of slices first ... first + count - 1 of the
// x stack, slice b at out + b * sliceStride. Each source plane t gives row t
// of every slice and is transposed a block at a time, so source reads stay
// within one plane and writes within a few slice rows.
template <typename T>
void xStackRowsKernel(T* out, size_t sliceStride, int first, int count, int rowBegin, int rowEnd, const T* src,
                      int rowLength, int sliceRows, const int res[3], const int padded[3], int ch)
{
    const int width = padded[1];
    const int ny = res[1], nz = res[2];
    const size_t texRow = static_cast<size_t>(width) * ch;
    const size_t row = static_cast<size_t>(rowLength) * ch;
    const size_t plane = row * sliceRows;
#ifdef GLIMRA_X86
    const size_t voxelBytes = sizeof(T) * ch;
    const int unit = voxelBytes == 1 || voxelBytes == 2 || voxelBytes == 4 ? static_cast<int>(16 / voxelBytes) : 0;
#endif
    for (int t = rowBegin; t < rowEnd; ++t) {
        T* o = out + t * texRow;
        if (t >= nz) {
            for (int b = 0; b < count; ++b)
                std::memset(o + b * sliceStride, 0, texRow * sizeof(T));
            continue;
        }
        const T* p = src + t * plane + static_cast<size_t>(first) * ch;
        if (ny < width)
            for (int b = 0; b < count; ++b)
                std::memset(o + b * sliceStride + static_cast<size_t>(ny) * ch, 0, (width - ny) * ch * sizeof(T));
        // Whole blocks of units transposed in registers where a voxel is
        // one unit of 1, 2 or 4 bytes; the rest voxel by voxel.
        int sDone = 0, bDone = 0; // the block part: columns s < sDone of slices b < bDone
#ifdef GLIMRA_X86
        if (unit) {
            sDone = ny - ny % unit;
            bDone = count - count % unit;
            const unsigned char* in = reinterpret_cast<const unsigned char*>(p);
            unsigned char* to = reinterpret_cast<unsigned char*>(o);
            const size_t inStride = row * sizeof(T), outStride = sliceStride * sizeof(T);
            if (unit == 16)
                transposeBlocks<transpose16x16, 16>(in, inStride, to, outStride, bDone, sDone);
            else if (unit == 8)
                transposeBlocks<transpose8x8, 8>(in, inStride, to, outStride, bDone, sDone);
            else
                transposeBlocks<transpose4x4, 4>(in, inStride, to, outStride, bDone, sDone);
        }
#endif
        // The rest in 16 x 16 tiles: columns from sDone of every slice,
        // then slices from bDone for the columns before.
        xStackTiles(o, sliceStride, p, row, ch, sDone, ny, 0, count);
        xStackTiles(o, sliceStride, p, row, ch, 0, sDone, bDone, count);
    }
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
        xStackRowsKernel(slice, static_cast<size_t>(width) * height * ch, index, 1, 0, height, src, rowLength,
                         sliceRows, res, padded, ch);
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
        return 128.0 * 257.0; // 65535 / 255 = 257
    case GL_UNSIGNED_INT:
        return 128.0 * 16843009.0; // 4294967295 / 255 = 16843009
    case GL_FLOAT:
        return 128.0 / 255.0;
    default:
        return 0.0;
    }
}

size_t zeroGradientTexel(GLenum glType, unsigned char out[12])
{
    const double bias = gradientBias(glType);
    size_t bytes = 0;
    for (int a = 0; a < 3; ++a) {
        switch (glType) {
        case GL_UNSIGNED_BYTE: {
            const uint8_t v = static_cast<uint8_t>(bias);
            std::memcpy(out + a, &v, 1);
            bytes = 3;
            break;
        }
        case GL_UNSIGNED_SHORT: {
            const uint16_t v = static_cast<uint16_t>(bias);
            std::memcpy(out + 2 * a, &v, 2);
            bytes = 6;
            break;
        }
        case GL_UNSIGNED_INT: {
            const uint32_t v = static_cast<uint32_t>(bias);
            std::memcpy(out + 4 * a, &v, 4);
            bytes = 12;
            break;
        }
        case GL_FLOAT: {
            const float v = static_cast<float>(bias);
            std::memcpy(out + 4 * a, &v, 4);
            bytes = 12;
            break;
        }
        default:
            return 0;
        }
    }
    return bytes;
}

bool computeGradient(void* gradient, int nx, int ny, int nz, int channels, const void* data,
                     GLenum glType, int gradientCalculation)
{
    if (!gradient || !data || nx <= 0 || ny <= 0 || nz <= 0 || channels <= 0)
        return true;
    return dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return gradientKernel(static_cast<T*>(gradient), nx, ny, nz, channels, static_cast<const T*>(data), glType,
                              gradientCalculation);
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

float largestGradientLength(int nx, int ny, int nz, int channels, const void* data, GLenum glType,
                            int gradientCalculation, const int* used)
{
    if (!data || nx <= 0 || ny <= 0 || nz <= 0 || channels <= 0)
        return 0.0f;
    return dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return largestLengthKernel(nx, ny, nz, channels, static_cast<const T*>(data), glType, gradientCalculation,
                                   used);
    });
}

bool computeGradientRGBA(void* rgba, unsigned char* lengths, float largest, int z0, int z1, int nx, int ny, int nz,
                         int channels, const void* data, GLenum glType, int gradientCalculation, const int* used)
{
    if (!rgba || !data || nx <= 0 || ny <= 0 || nz <= 0 || channels <= 0 || z0 < 0 || z1 > nz)
        return true;
    return dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        return gradientTexelsKernel(static_cast<T*>(rgba), lengths, largest, z0, z1, nx, ny, nz, channels,
                                    static_cast<const T*>(data), glType, gradientCalculation, used);
    });
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

void copyXStack(void* stack, size_t sliceStride, int first, int count, int rowBegin, int rowEnd, const void* source,
                int rowLength, int sliceRows, const int resolution[3], const int padded[3], int channels, GLenum glType)
{
    dispatchVoxelType(glType, [&](auto tag) {
        using T = typename decltype(tag)::type;
        xStackRowsKernel(static_cast<T*>(stack), sliceStride, first, count, rowBegin, rowEnd,
                         static_cast<const T*>(source), rowLength, sliceRows, resolution, padded, channels);
    });
}

void copyBrick(void* cube, const int size[3], const int first[3], const void* source, const int resolution[3],
               int elements, size_t elementBytes, const void* fill)
{
    const size_t voxel = static_cast<size_t>(elements) * elementBytes;
    const size_t sx = static_cast<size_t>(size[0]), sy = static_cast<size_t>(size[1]);
    unsigned char* out = static_cast<unsigned char*>(cube);
    const unsigned char* src = static_cast<const unsigned char*>(source);
    const size_t voxels = sx * sy * static_cast<size_t>(size[2]);
    if (fill)
        for (size_t i = 0; i < voxels; ++i)
            std::memcpy(out + i * voxel, fill, voxel);
    else
        std::memset(out, 0, voxels * voxel);
    const int nx = resolution[0], ny = resolution[1], nz = resolution[2];
    const long x0 = first[0], y0 = first[1], z0 = first[2];
    if (x0 >= nx || x0 < 0 || y0 < 0 || z0 < 0)
        return;
    const size_t run = static_cast<size_t>(nx - x0 < size[0] ? nx - x0 : size[0]) * voxel;
    for (int a = 0; a < size[2] && z0 + a < nz; ++a)
        for (int b = 0; b < size[1] && y0 + b < ny; ++b) {
            const size_t from = ((static_cast<size_t>(z0 + a) * ny + (y0 + b)) * nx + x0) * voxel;
            std::memcpy(out + (static_cast<size_t>(a) * sy + b) * sx * voxel, src + from, run);
        }
}
