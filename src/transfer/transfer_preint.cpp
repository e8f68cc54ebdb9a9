#include "transfer_preint.h"

#include "error_handling.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GLIMRA_X86 1
#endif

namespace {

// From this many entries a side (4 MiB of table) a build is split in two.
const int kThreadedRows = 1024;

struct alignas(64) Block64
{
    unsigned char bytes[64];
};

// Floats per weight copy: 2n + 1 entries of four channels plus room for the
// widest vector step past the end.
size_t weightFloats(int n)
{
    return 8u * static_cast<size_t>(n) + 4 + 64;
}

size_t blocksFor(size_t bytes)
{
    return (bytes + 63) / 64;
}

} // namespace

// The shifted sums u as floats (exact: multiples of one half below 2^22),
// four channels interleaved, the table entries themselves for the diagonal,
// and the signed weights a(i), i = 0 .. 2n, four times each: a(n + d) = w_d,
// a(n - d) = -w_d, a(n) = 0. Row r reads a(n - r + c) for column c, so one
// contiguous load serves both halves of the row. Four copies shifted by one
// entry each keep every row's loads 64-byte aligned.
struct PreintWorkspace
{
    int n = 0;
    Block64* sumBlocks = nullptr;
    Block64* weightBlocks = nullptr;
    float* sums = nullptr;       // n x 4, u[j] = sum[j] - t[j] / 2
    float* values = nullptr;     // n x 4, t[j]
    float* weights[4] = {};      // copy k starts k entries later

    // Weights of row r: entry c at [4c .. 4c + 3].
    const float* rowWeights(int r) const
    {
        const int m = n - r;
        const int k = m & 3;
        return weights[k] + 4 * (m - k);
    }
};

PreintWorkspace* createPreintWorkspace(int n)
{
    if (n < 2)
        return nullptr;
    PreintWorkspace* ws = nullptr;
    GUARDED_NEW(ws, PreintWorkspace);
    if (!ws)
        return nullptr;
    ws->n = n;
    const size_t sumBytes = 32u * static_cast<size_t>(n) + 64;
    GUARDED_ARRAY_AS(ws->sumBlocks, "preint sums", Block64, blocksFor(sumBytes));
    const size_t copyFloats = weightFloats(n);
    const size_t copyBlocks = blocksFor(copyFloats * sizeof(float));
    GUARDED_ARRAY_AS(ws->weightBlocks, "preint weights", Block64, 4 * copyBlocks);
    if (!ws->sumBlocks || !ws->weightBlocks) {
        releasePreintWorkspace(ws);
        return nullptr;
    }
    std::memset(ws->sumBlocks, 0, blocksFor(sumBytes) * 64);
    ws->sums = reinterpret_cast<float*>(ws->sumBlocks);
    ws->values = ws->sums + 4 * static_cast<size_t>(n);

    // a(i) for i = 0 .. 2n, then zeros.
    float* a = reinterpret_cast<float*>(ws->weightBlocks);
    std::memset(a, 0, 4 * copyBlocks * 64);
    for (int d = 1; d <= n; ++d) {
        const float w = 1.0f / static_cast<float>(d);
        for (int ch = 0; ch < 4; ++ch) {
            a[4 * (n + d) + ch] = d < n ? w : 0.0f;
            a[4 * (n - d) + ch] = -w;
        }
    }
    ws->weights[0] = a;
    for (int k = 1; k < 4; ++k) {
        float* copy = reinterpret_cast<float*>(ws->weightBlocks + k * copyBlocks);
        std::memcpy(copy, a + 4 * k, (copyFloats - 4 * k) * sizeof(float));
        ws->weights[k] = copy;
    }
    return ws;
}

void releasePreintWorkspace(PreintWorkspace*& ws)
{
    if (!ws)
        return;
    if (ws->sumBlocks)
        RELEASE_ARRAY(ws->sumBlocks);
    if (ws->weightBlocks)
        RELEASE_ARRAY(ws->weightBlocks);
    RELEASE(ws);
}

unsigned long long preintTableBytes(int n)
{
    const size_t bytes = 4u * static_cast<size_t>(n) * static_cast<size_t>(n);
    return blocksFor(bytes) * 64;
}

unsigned char* allocatePreintTable(int n, const char* name)
{
    Block64* blocks = nullptr;
    const size_t count = static_cast<size_t>(preintTableBytes(n) / 64);
    GUARDED_ARRAY_AS(blocks, name, Block64, count);
    if (blocks)
        std::memset(blocks, 0, count * 64);
    return reinterpret_cast<unsigned char*>(blocks);
}

void releasePreintTable(unsigned char*& table)
{
    if (!table)
        return;
    Block64* blocks = reinterpret_cast<Block64*>(table);
    RELEASE_ARRAY(blocks);
    table = nullptr;
}

// ---- reference ----

namespace {

// x >= 0 to the nearest integer, ties to the even one, whatever rounding
// mode the processor is in: what the vector kernels' fused product gives.
int nearestEven(double x)
{
    const double f = std::floor(x);
    const int i = static_cast<int>(f);
    const double rest = x - f;
    return rest > 0.5 || (rest == 0.5 && (i & 1)) ? i + 1 : i;
}

} // namespace

void buildPreintTableReference(unsigned char* table, int n, const int* const sums[4], unsigned mask)
{
    const size_t row = 4u * static_cast<size_t>(n);
    for (int c = 0; c < 4; ++c) {
        if (!(mask & (1u << c)) || !sums[c])
            continue;
        const int* s = sums[c];
        auto entry = [s](int j) { return j > 0 ? s[j] - s[j - 1] : s[0]; };
        // Twice u: the trapezoid sum from 0 to j, in integers.
        auto twiceU = [s, &entry](int j) { return 2 * s[j] - entry(j); };
        for (int d = 1; d < n; ++d) {
            const float w = 1.0f / static_cast<float>(d);
            for (int k = 0; k + d < n; ++k) {
                const double u = 0.5 * static_cast<double>(twiceU(k + d) - twiceU(k));
                const unsigned char b = static_cast<unsigned char>(nearestEven(u * w));
                table[k * row + 4u * (k + d) + c] = b;
                table[(k + d) * row + 4u * k + c] = b;
            }
        }
        for (int k = 0; k < n; ++k)
            table[k * row + 4u * k + c] = static_cast<unsigned char>(entry(k));
    }
}

// ---- kernels ----

namespace {

PreintKernel g_forcedKernel = PreintKernel::Auto;

// One entry the portable way, for the scalar kernel and the row tails.
inline void scalarEntries(const PreintWorkspace& ws, unsigned char* out, int r, int from, int to,
                          unsigned mask)
{
    const float* s = ws.sums;
    const float* w = ws.rowWeights(r);
    for (int c = from; c < to; ++c)
        for (int ch = 0; ch < 4; ++ch) {
            if (!(mask & (1u << ch)))
                continue;
            const double diff = static_cast<double>(s[4 * c + ch] - s[4 * r + ch]);
            out[4 * c + ch] = static_cast<unsigned char>(nearestEven(diff * w[4 * c + ch]));
        }
}

// The diagonal entry (r, r): the table value itself. Written while the row
// is being produced, so the table is not walked a second time across all
// its rows.
inline void diagonalEntry(const PreintWorkspace& ws, int r, unsigned char* entry, unsigned mask)
{
    for (int ch = 0; ch < 4; ++ch)
        if (mask & (1u << ch))
            entry[ch] = static_cast<unsigned char>(static_cast<int>(ws.values[4 * r + ch]));
}

void scalarRows(const PreintWorkspace& ws, unsigned char* table, unsigned mask, int rowBegin, int rowEnd)
{
    const int n = ws.n;
    for (int r = rowBegin; r < rowEnd; ++r) {
        unsigned char* out = table + static_cast<size_t>(r) * 4 * n;
        scalarEntries(ws, out, r, 0, n, mask);
        diagonalEntry(ws, r, out + 4 * r, mask);
    }
}

#ifdef GLIMRA_X86

// 32-bit pattern of the channels in mask, byte c for channel c.
inline uint32_t bytePattern(unsigned mask)
{
    uint32_t p = 0;
    for (int c = 0; c < 4; ++c)
        if (mask & (1u << c))
            p |= 0xFFu << (8 * c);
    return p;
}

// The exact product rounded: fma(diff, w, 2^23) rounded to nearest, ties to
// even, is 2^23 + the product rounded the same way for 0 <= diff * w < 2^22,
// so the low byte of the float's bits is the entry.

__attribute__((target("avx2,fma"))) void avx2Rows(const PreintWorkspace& ws, unsigned char* table,
                                                  unsigned mask, int rowBegin, int rowEnd)
{
    const int n = ws.n;
    const int vecEnd = n - n % 8;
    const bool full = (mask & 15u) == 15u;
    const __m256i bytes = _mm256_set1_epi32(static_cast<int>(bytePattern(mask)));
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256 magic = _mm256_set1_ps(8388608.0f);
    const unsigned savedCsr = _mm_getcsr();
    _mm_setcsr(savedCsr & ~0x6000u); // round to nearest
    for (int r = rowBegin; r < rowEnd; ++r) {
        unsigned char* out = table + static_cast<size_t>(r) * 4 * n;
        const __m256 base = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(ws.sums + 4 * r));
        const float* w = ws.rowWeights(r);
        const bool stream = full && (reinterpret_cast<uintptr_t>(out) & 31u) == 0;
        for (int c = 0; c < vecEnd; c += 8) {
            __m256i v[4];
            for (int q = 0; q < 4; ++q) {
                const __m256 d = _mm256_sub_ps(_mm256_load_ps(ws.sums + 4 * (c + 2 * q)), base);
                const __m256 e = _mm256_fmadd_ps(d, _mm256_load_ps(w + 4 * (c + 2 * q)), magic);
                v[q] = _mm256_and_si256(_mm256_castps_si256(e), low);
            }
            const __m256i x = _mm256_packus_epi32(v[0], v[1]);
            const __m256i y = _mm256_packus_epi32(v[2], v[3]);
            __m256i z = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(x, y), order);
            if (c == (r & ~7)) {
                alignas(32) unsigned char entries[32];
                _mm256_store_si256(reinterpret_cast<__m256i*>(entries), z);
                diagonalEntry(ws, r, entries + 4 * (r - c), mask);
                z = _mm256_load_si256(reinterpret_cast<const __m256i*>(entries));
            }
            __m256i* dst = reinterpret_cast<__m256i*>(out + 4 * c);
            if (stream) {
                _mm256_stream_si256(dst, z);
            } else {
                if (!full)
                    z = _mm256_or_si256(_mm256_and_si256(z, bytes),
                                        _mm256_andnot_si256(bytes, _mm256_loadu_si256(dst)));
                _mm256_storeu_si256(dst, z);
            }
        }
        scalarEntries(ws, out, r, vecEnd, n, mask);
        if (r >= vecEnd)
            diagonalEntry(ws, r, out + 4 * r, mask);
    }
    _mm_setcsr(savedCsr);
    _mm_sfence();
}

// GCC 12 takes the intrinsics' deliberately undefined inputs for uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void avx512Rows(const PreintWorkspace& ws,
                                                                      unsigned char* table,
                                                                      unsigned mask, int rowBegin,
                                                                      int rowEnd)
{
    const int n = ws.n;
    const int vecEnd = n - n % 16;
    const bool full = (mask & 15u) == 15u;
    const __m512i bytes = _mm512_set1_epi32(static_cast<int>(bytePattern(mask)));
    const __m512i low = _mm512_set1_epi32(0xFF);
    const __m512 magic = _mm512_set1_ps(8388608.0f);
    // Four vectors of 16 lanes are merged byte-wise, vector q into byte q of
    // every lane (shifting also drops the float's exponent bits); lane
    // 4e + ch then holds entry 4q + e, channel ch, in byte q. One byte
    // permutation puts every entry in place.
    alignas(64) unsigned char order[64];
    for (int q = 0; q < 4; ++q)
        for (int e = 0; e < 4; ++e)
            for (int ch = 0; ch < 4; ++ch)
                order[16 * q + 4 * e + ch] = static_cast<unsigned char>(16 * e + 4 * ch + q);
    const __m512i permutation = _mm512_load_si512(order);
    for (int r = rowBegin; r < rowEnd; ++r) {
        unsigned char* out = table + static_cast<size_t>(r) * 4 * n;
        const __m512 base = _mm512_broadcast_f32x4(_mm_load_ps(ws.sums + 4 * r));
        const float* w = ws.rowWeights(r);
        const bool stream = full && (reinterpret_cast<uintptr_t>(out) & 63u) == 0;
        for (int c = 0; c < vecEnd; c += 16) {
            __m512i v[4];
            for (int q = 0; q < 4; ++q) {
                const __m512 d = _mm512_sub_ps(_mm512_load_ps(ws.sums + 4 * (c + 4 * q)), base);
                const __m512 e = _mm512_fmadd_round_ps(d, _mm512_load_ps(w + 4 * (c + 4 * q)), magic,
                                                       _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
                v[q] = _mm512_castps_si512(e);
            }
            // (v0 & 0xFF) | v1 << 8, then | v2 << 16 | v3 << 24.
            const __m512i t01 = _mm512_ternarylogic_epi32(v[0], low, _mm512_slli_epi32(v[1], 8), 0xEA);
            const __m512i t = _mm512_ternarylogic_epi32(t01, _mm512_slli_epi32(v[2], 16),
                                                        _mm512_slli_epi32(v[3], 24), 0xFE);
            __m512i z = _mm512_permutexvar_epi8(permutation, t);
            if (c == (r & ~15)) {
                alignas(64) unsigned char entries[64];
                _mm512_store_si512(entries, z);
                diagonalEntry(ws, r, entries + 4 * (r - c), mask);
                z = _mm512_load_si512(entries);
            }
            void* dst = out + 4 * c;
            if (stream) {
                _mm512_stream_si512(reinterpret_cast<__m512i*>(dst), z);
            } else {
                if (!full)
                    z = _mm512_or_si512(_mm512_and_si512(z, bytes),
                                        _mm512_andnot_si512(bytes, _mm512_loadu_si512(dst)));
                _mm512_storeu_si512(dst, z);
            }
        }
        scalarEntries(ws, out, r, vecEnd, n, mask);
        if (r >= vecEnd)
            diagonalEntry(ws, r, out + 4 * r, mask);
    }
    _mm_sfence();
}
#pragma GCC diagnostic pop

#endif

bool cpuHas(PreintKernel kernel)
{
#ifdef GLIMRA_X86
    switch (kernel) {
    case PreintKernel::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case PreintKernel::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    default:
        return true;
    }
#else
    return kernel == PreintKernel::Scalar || kernel == PreintKernel::Auto;
#endif
}

} // namespace

bool preintKernelAvailable(PreintKernel kernel)
{
    return cpuHas(kernel);
}

void setPreintKernel(PreintKernel kernel)
{
    g_forcedKernel = kernel;
}

PreintKernel activePreintKernel()
{
    if (g_forcedKernel != PreintKernel::Auto && cpuHas(g_forcedKernel))
        return g_forcedKernel;
    if (cpuHas(PreintKernel::Avx512))
        return PreintKernel::Avx512;
    if (cpuHas(PreintKernel::Avx2))
        return PreintKernel::Avx2;
    return PreintKernel::Scalar;
}

void buildPreintTable(PreintWorkspace& ws, unsigned char* table, const int* const sums[4],
                      unsigned mask)
{
    const int n = ws.n;
    mask &= 15u;
    if (!table || n < 2 || mask == 0)
        return;
    for (int j = 0; j < n; ++j)
        for (int c = 0; c < 4; ++c) {
            const bool used = (mask & (1u << c)) && sums[c];
            const int t = !used ? 0 : j > 0 ? sums[c][j] - sums[c][j - 1] : sums[c][0];
            ws.values[4 * j + c] = static_cast<float>(t);
            // Every step exact: halves of integers below 2^22.
            ws.sums[4 * j + c] = used ? static_cast<float>(sums[c][j]) - 0.5f * static_cast<float>(t) : 0.0f;
        }

    const PreintKernel kernel = activePreintKernel();
    auto rows = [&ws, table, mask, kernel](int rowBegin, int rowEnd) {
        switch (kernel) {
#ifdef GLIMRA_X86
        case PreintKernel::Avx512:
            avx512Rows(ws, table, mask, rowBegin, rowEnd);
            break;
        case PreintKernel::Avx2:
            avx2Rows(ws, table, mask, rowBegin, rowEnd);
            break;
#endif
        default:
            scalarRows(ws, table, mask, rowBegin, rowEnd);
            break;
        }
    };
    // Rows are independent: a large table (the curves are being dragged)
    // is shared with a second thread, which takes the second half of the rows.
    std::thread helper;
    int split = n;
    if (n >= kThreadedRows) {
        try {
            helper = std::thread(rows, n / 2, n);
            split = n / 2;
        } catch (const std::system_error&) {
        }
    }
    rows(0, split);
    if (helper.joinable())
        helper.join();
}
