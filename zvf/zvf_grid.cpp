/* Voxel grids, slice records, byte order and the icon. */
#include "zvf.h"
#include "zvf_internal.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

/* Largest deflate expansion: no zlib stream inflates more than this many
 * bytes per input byte, so a file of n bytes cannot hold a grid larger than
 * about n * kMaxInflateRatio. */
const uint64_t kMaxInflateRatio = 1032;

/* Scratch buffer for the compressed bytes, reused across records. */
struct Scratch
{
    unsigned char* bytes = nullptr;
    size_t capacity = 0;
    ~Scratch() { free(bytes); }
};

int zvf_detail_voxel_size(int dtype)
{
    static const int sizes[] = {1, 1, 2, 2, 2, 2, 4, 4, 4, 8};
    return dtype >= 1 && dtype <= 10 ? sizes[dtype - 1] : 1;
}

void swapItems(unsigned char* p, uint64_t count, int size)
{
    switch (size) {
    case 2:
        for (uint64_t i = 0; i < count; ++i, p += 2) {
            uint16_t v;
            memcpy(&v, p, 2);
            v = __builtin_bswap16(v);
            memcpy(p, &v, 2);
        }
        break;
    case 4:
        for (uint64_t i = 0; i < count; ++i, p += 4) {
            uint32_t v;
            memcpy(&v, p, 4);
            v = __builtin_bswap32(v);
            memcpy(p, &v, 4);
        }
        break;
    case 8:
        for (uint64_t i = 0; i < count; ++i, p += 8) {
            uint64_t v;
            memcpy(&v, p, 8);
            v = __builtin_bswap64(v);
            memcpy(p, &v, 8);
        }
        break;
    default:
        break;
    }
}

/* ReadSliceData with a caller-kept scratch buffer and, when known (>= 0), the
 * bytes left in the file (updated). */
int readRecord(FILE* f, unsigned char* dest, unsigned long expected, Scratch& s,
               long long* remaining)
{
    unsigned long length = 0;
    if (!ReadLong(f, &length))
        return 0;
    if (*remaining >= 0)
        *remaining = *remaining >= 4 ? *remaining - 4 : 0;
    /* Never more than the file still holds: a length beyond the rest of the
     * file reads short (reported below) instead of allocating it. */
    long long got = zvf_detail::readGrowing(f, &s.bytes, &s.capacity, length, *remaining);
    if (got < 0) {
        fprintf(stderr, "ReadSliceData: Allocation error.\n");
        return 0;
    }
    if (*remaining >= 0)
        *remaining -= got;
    if (static_cast<unsigned long>(got) < length)
        fprintf(stderr, "ReadSliceData: read error (trying to read %d bytes of data)\n",
                static_cast<int>(length));
    uLongf inflated = expected;
    /* zlib does not accept a null pointer even for empty input */
    static const unsigned char kEmpty[1] = {0};
    int code = uncompress(dest, &inflated, got > 0 ? s.bytes : kEmpty, static_cast<uLong>(got));
    if (code != Z_OK) {
        fprintf(stderr, "ReadSliceData: Uncompression Error (%d)\n", code);
        return 0;
    }
    if (inflated != expected)
        fprintf(stderr, "ReadSliceData: Incorrect data length (%d, %d)\n", static_cast<int>(inflated),
                static_cast<int>(expected));
    return 1;
}

unsigned long compressCapacity(unsigned long length)
{
    return static_cast<unsigned long>(static_cast<double>(length) * 1.01 + 12);
}

/* WriteSliceData with a caller-kept scratch buffer: 1 written, 0 allocation
 * or compression failure (stop), -1 short write (reported; writing goes on). */
int writeRecord(FILE* f, const unsigned char* src, unsigned long length, Scratch& s)
{
    unsigned long capacity = compressCapacity(length);
    if (capacity > s.capacity) {
        free(s.bytes);
        s.bytes = static_cast<unsigned char*>(calloc(capacity, 1));
        s.capacity = s.bytes ? capacity : 0;
        if (!s.bytes) {
            fprintf(stderr, "WriteSliceData: Allocation Error\n");
            return 0;
        }
    }
    uLongf packed = capacity;
    static const unsigned char kEmpty[1] = {0};
    if (compress(s.bytes, &packed, length ? src : kEmpty, length) != Z_OK) {
        fprintf(stderr, "WriteSliceData: Compression Error\n");
        return 0;
    }
    int ok = WriteLong(f, packed);
    if (fwrite(s.bytes, 1, packed, f) < packed || !ok) {
        fprintf(stderr, "WriteSliceData: Write Error\n");
        return -1;
    }
    return 1;
}

/* Value i of a buffer of voxel type dtype whose bytes are in byte order
 * endian, as a float. */
float voxelValue(const unsigned char* base, uint64_t i, int dtype, bool swap)
{
    unsigned char b[8];
    int size = zvf_detail_voxel_size(dtype);
    memcpy(b, base + i * static_cast<uint64_t>(size), static_cast<size_t>(size));
    if (swap && size > 1)
        swapItems(b, 1, size);
    switch (dtype) {
    case zvfUChar:
        return static_cast<float>(b[0]);
    case zvfChar:
        return static_cast<float>(static_cast<int8_t>(b[0]));
    case zvfUInt12:
    case zvfUInt16: {
        uint16_t v;
        memcpy(&v, b, 2);
        return static_cast<float>(v);
    }
    case zvfInt16:
    case zvfIntHU: {
        int16_t v;
        memcpy(&v, b, 2);
        return static_cast<float>(v);
    }
    case zvfUInt32: {
        uint32_t v;
        memcpy(&v, b, 4);
        return static_cast<float>(v);
    }
    case zvfInt32: {
        int32_t v;
        memcpy(&v, b, 4);
        return static_cast<float>(v);
    }
    case zvfFloat: {
        float v;
        memcpy(&v, b, 4);
        return v;
    }
    default: {
        double v;
        memcpy(&v, b, 8);
        return static_cast<float>(v);
    }
    }
}

} // namespace

extern "C" {

int ReadLong(FILE* f, unsigned long* value)
{
    unsigned long v = 0;
    for (int n = 1; n <= 4; ++n) {
        int c = getc(f);
        if (c == EOF) {
            fprintf(stderr, "ReadLong error (%d)\n", n);
            return 0;
        }
        v = (v << 8) | static_cast<unsigned long>(c);
    }
    *value = v;
    return 1;
}

int WriteLong(FILE* f, unsigned long value)
{
    unsigned char b[4] = {static_cast<unsigned char>((value >> 24) & 0xff),
                          static_cast<unsigned char>((value >> 16) & 0xff),
                          static_cast<unsigned char>((value >> 8) & 0xff),
                          static_cast<unsigned char>(value & 0xff)};
    return fwrite(b, 1, 4, f) == 4;
}

int SwapOrder(void* item, int size)
{
    if (size != 1 && size != 2 && size != 4 && size != 8) {
        fprintf(stderr, "SwapOrder:: Incorrect item size.\n");
        return 0;
    }
    swapItems(static_cast<unsigned char*>(item), 1, size);
    return 1;
}

int ReadSliceData(FILE* f, void* dest, unsigned long expected)
{
    Scratch s;
    long long remaining = zvf_detail::remainingBytes(f);
    return readRecord(f, static_cast<unsigned char*>(dest), expected, s, &remaining);
}

int WriteSliceData(FILE* f, const void* src, unsigned long length)
{
    Scratch s;
    return writeRecord(f, static_cast<const unsigned char*>(src), length, s) == 1;
}

int zvfReadSlice(FILE* f, void* dest, const zvfHeader* h)
{
    uint64_t slice = 0;
    if (!zvf_detail::gridByteSize(h, &slice, nullptr))
        return 0;
    if (!ReadSliceData(f, dest, static_cast<unsigned long>(slice)))
        return 0;
    if (h->endian != zvfMachineEndian())
        swapItems(static_cast<unsigned char*>(dest),
                  static_cast<uint64_t>(h->vdim[0]) * static_cast<uint64_t>(h->vdim[1]),
                  zvf_detail_voxel_size(h->dtype));
    return 1;
}

int zvfWriteSlice(FILE* f, const void* src, const zvfHeader* h)
{
    uint64_t slice = 0;
    if (!zvf_detail::gridByteSize(h, &slice, nullptr))
        return 0;
    return WriteSliceData(f, src, static_cast<unsigned long>(slice));
}

int zvfReadGrid(const char* path, void** data, zvfHeader* h)
{
    *data = nullptr;
    FILE* f = zvfReadHeader(path, h);
    if (!f) {
        fprintf(stderr, "zvfReadHeader error: %s (%s)\n", zvfErrorText[zvfLastError], path);
        return 0;
    }
    uint64_t slice = 0, total = 0;
    zvf_detail::gridByteSize(h, &slice, &total); /* validated by the reader */
    long long remaining = zvf_detail::remainingBytes(f);
    if (remaining >= 0 && total / kMaxInflateRatio > static_cast<uint64_t>(remaining)) {
        /* no zlib data of this length can hold the declared grid */
        fprintf(stderr, "zvfReadGrid: file too short for the volume dimensions (%s)\n", path);
        zvfLastError = zvfErrDimensions;
        fclose(f);
        return 0;
    }
    unsigned char* grid = static_cast<unsigned char*>(calloc(static_cast<size_t>(total), 1));
    if (!grid) {
        fprintf(stderr, "zvfReadGrid: Allocation Error\n");
        fclose(f);
        return 0;
    }
#if defined(__linux__)
    /* A large grid is fresh memory that the slices fill page by page: one
     * call that populates it costs less than a page fault per 4 KiB. Advice
     * only (Linux 5.14 and later); an older kernel refuses it harmlessly. */
    const uintptr_t page = 4096;
    if (total >= (static_cast<uint64_t>(16) << 20)) {
        uintptr_t begin = (reinterpret_cast<uintptr_t>(grid) + page - 1) & ~(page - 1);
        uintptr_t end = (reinterpret_cast<uintptr_t>(grid) + total) & ~(page - 1);
        if (end > begin)
            madvise(reinterpret_cast<void*>(begin), end - begin, 23 /* MADV_POPULATE_WRITE */);
    }
#endif
    Scratch s;
    const uint64_t records = static_cast<uint64_t>(h->vdim[2]) * static_cast<uint64_t>(h->nbands);
    const bool swap = h->endian != zvfMachineEndian();
    const int size = zvf_detail_voxel_size(h->dtype);
    const uint64_t voxels = static_cast<uint64_t>(h->vdim[0]) * static_cast<uint64_t>(h->vdim[1]);
    for (uint64_t r = 0; r < records; ++r) {
        unsigned char* dest = grid + r * slice;
        if (!readRecord(f, dest, static_cast<unsigned long>(slice), s, &remaining)) {
            free(grid);
            fclose(f);
            return 0;
        }
        if (swap)
            swapItems(dest, voxels, size);
    }
    fclose(f);
    *data = grid;
    return 1;
}

int zvfReadCubGrid(const char* path, void** data, int* nx, int* ny, int* nz, int* nbands,
                   int* dtype, char*** comments, int* ncomments)
{
    zvfHeader h;
    memset(&h, 0, sizeof h);
    if (!zvfReadGrid(path, data, &h)) {
        zvfFreeHeader(&h);
        zvfFreeHdrTF(&h);
        return 0;
    }
    if (h.ncomments > 0) {
        char** copies = static_cast<char**>(calloc(static_cast<size_t>(h.ncomments), sizeof(char*)));
        bool ok = copies != nullptr;
        for (int i = 0; ok && i < h.ncomments; ++i) {
            copies[i] = strdup(h.comments[i]);
            ok = copies[i] != nullptr;
        }
        if (!ok) {
            fprintf(stderr, "zvfReadCubGrid:: allocation error.\n");
            zvfFreeComments(copies, h.ncomments);
            free(*data);
            *data = nullptr;
            zvfFreeHeader(&h);
            zvfFreeHdrTF(&h);
            return 0;
        }
        if (comments)
            *comments = copies;
        else
            zvfFreeComments(copies, h.ncomments);
        if (ncomments)
            *ncomments = h.ncomments;
    }
    if (nx)
        *nx = h.vdim[0];
    if (ny)
        *ny = h.vdim[1];
    if (nz)
        *nz = h.vdim[2];
    if (nbands)
        *nbands = h.nbands;
    if (dtype)
        *dtype = h.dtype;
    zvfFreeHeader(&h);
    zvfFreeHdrTF(&h);
    return 1;
}

void zvfFreeComments(char** comments, int ncomments)
{
    if (!comments)
        return;
    for (int i = 0; i < ncomments; ++i)
        free(comments[i]);
    free(comments);
}

zvfHeader zvfCubicHeader(int nx, int ny, int nz, int dtype, int nbands)
{
    zvfHeader h;
    memset(&h, 0, sizeof h);
    h.major = 5;
    h.minor = 3;
    h.vdim[0] = nx;
    h.vdim[1] = ny;
    h.vdim[2] = nz;
    h.dtype = dtype;
    h.nbands = nbands;
    h.vtype = zvfCubic;
    h.px = h.py = h.pz = 1.0f;
    h.units = zvfUmm;
    h.endian = zvfMachineEndian();
    return h;
}

int zvfWriteGridStream(FILE* f, const void* data, const zvfHeader* h)
{
    uint64_t slice = 0, total = 0;
    if (!zvf_detail::gridByteSize(h, &slice, &total)) {
        fprintf(stderr, "zvfWriteGridStream: incorrect volume dimensions\n");
        return 0;
    }
    int width = 0, height = 0;
    unsigned char* icon = zvfCreateIconImage(data, h, &width, &height);
    if (!icon)
        return 0;
    int ok = writeZvfHeader(f, h, icon, width, height);
    free(icon);
    if (!ok)
        return 0;
    Scratch s;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const uint64_t records = static_cast<uint64_t>(h->vdim[2]) * static_cast<uint64_t>(h->nbands);
    for (uint64_t r = 0; r < records; ++r) {
        int written = writeRecord(f, bytes + r * slice, static_cast<unsigned long>(slice), s);
        if (written == 0)
            return 0; /* allocation or compression failure: stop */
        if (written < 0)
            ok = 0;   /* a short write is reported and writing goes on */
    }
    return ok;
}

static int writeGridFile(const char* who, const char* path, const void* data, const zvfHeader* h)
{
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "%s: : %s -- File open error\n", who, path);
        return 0;
    }
    int ok = zvfWriteGridStream(f, data, h);
    if (fclose(f) != 0 && ok) {
        fprintf(stderr, "%s: : %s -- File write error\n", who, path);
        ok = 0;
    }
    return ok;
}

int zvfWriteGrid(const char* path, const void* data, const zvfHeader* h)
{
    return writeGridFile("zvfWriteGrid", path, data, h);
}

int zvfWriteCubGrid(const char* path, const void* data, int nx, int ny, int nz, int nbands,
                    int dtype, char* const* comments, int ncomments)
{
    zvfHeader h = zvfCubicHeader(nx, ny, nz, dtype, nbands);
    if (!zvfSetHdrComment(&h, ncomments, comments))
        return 0;
    int ok = writeGridFile("zvfWriteCubGrid", path, data, &h);
    zvfFreeHdrComments(&h);
    return ok;
}

unsigned char* zvfCreateIconImage(const void* data, const zvfHeader* h, int* width, int* height)
{
    if (h->dtype < 1 || h->dtype > 10) {
        fprintf(stderr, "zvfCreateIconImage: unknown voxel type\n");
        return nullptr;
    }
    uint64_t slice = 0;
    if (!data || !zvf_detail::gridByteSize(h, &slice, nullptr)) {
        fprintf(stderr, "zvfCreateIconImage ");
        fprintf(stderr, "-- allocation error)\n");
        return nullptr;
    }
    const int channels = h->nbands == 1 ? 1 : 3;
    const uint64_t pixels = static_cast<uint64_t>(h->vdim[0]) * static_cast<uint64_t>(h->vdim[1]);
    unsigned char* icon = static_cast<unsigned char*>(calloc(static_cast<size_t>(pixels), channels));
    if (!icon) {
        fprintf(stderr, "zvfCreateIconImage ");
        fprintf(stderr, "-- allocation error)\n");
        return nullptr;
    }
    const bool swap = h->endian != 0 && h->endian != zvfMachineEndian();
    const uint64_t bandBytes = slice * static_cast<uint64_t>(h->vdim[2]);
    /* one band: its first slice, grey; several: the first slice of the first
     * three bands as red, green and blue (a missing band stays 0) */
    for (int c = 0; c < channels && c < h->nbands; ++c) {
        const unsigned char* base = static_cast<const unsigned char*>(data) + bandBytes * c;
        float lo = 0.0f, hi = 0.0f;
        for (uint64_t i = 0; i < pixels; ++i) {
            float v = voxelValue(base, i, h->dtype, swap);
            if (v < lo)
                lo = v;
            if (v > hi)
                hi = v;
        }
        const float range = hi - lo;
        if (!(range > 0.0f))
            continue; /* all values 0: an icon of zeros */
        for (uint64_t i = 0; i < pixels; ++i) {
            float v = voxelValue(base, i, h->dtype, swap);
            float r = (v - lo) * 255.0f / range;
            unsigned char byte;
            if (v == hi || r >= 255.0f)
                byte = 255;
            else if (!(r > 0.0f))
                byte = 0;
            else
                byte = static_cast<unsigned char>(r);
            icon[i * channels + c] = byte;
        }
    }
    *width = h->vdim[0];
    *height = h->vdim[1];
    return icon;
}

} // extern "C"
