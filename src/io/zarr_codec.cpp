#include "zarr_codec.h"

#include "byte_order.h"

#include <blosc.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// zlib does not take a null pointer even for empty input.
const unsigned char kEmpty[1] = {0};

std::string holds(uint64_t got, uint64_t expected)
{
    return "the chunk holds " + std::to_string(got) + " bytes, " + std::to_string(expected) + " expected";
}

bool decodeBlosc(const void* src, size_t srcBytes, void* out, size_t outBytes, std::string* fault)
{
    size_t nbytes = 0;
    if (srcBytes < BLOSC_MIN_HEADER_LENGTH || blosc_cbuffer_validate(src, srcBytes, &nbytes) != 0) {
        *fault = "the chunk is not blosc data";
        return false;
    }
    if (nbytes != outBytes) {
        *fault = holds(nbytes, outBytes);
        return false;
    }
    const int got = blosc_decompress_ctx(src, out, outBytes, 1);
    if (got < 0 || static_cast<size_t>(got) != outBytes) {
        *fault = "the chunk does not decompress (blosc)";
        return false;
    }
    return true;
}

// zlib (windowBits 15) or gzip (31) data.
bool decodeDeflate(bool gzip, const void* src, size_t srcBytes, void* out, size_t outBytes, std::string* fault)
{
    const char* name = gzip ? "gzip" : "zlib";
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, gzip ? 31 : 15) != Z_OK) {
        *fault = std::string("the chunk does not decompress (") + name + ": no memory)";
        return false;
    }
    zs.next_in = const_cast<Bytef*>(srcBytes ? static_cast<const Bytef*>(src) : kEmpty);
    zs.avail_in = static_cast<uInt>(srcBytes);
    zs.next_out = static_cast<Bytef*>(out);
    zs.avail_out = static_cast<uInt>(outBytes);
    const int code = inflate(&zs, Z_FINISH);
    const uint64_t got = zs.total_out;
    const std::string message = zs.msg ? zs.msg : "damaged data";
    inflateEnd(&zs);
    if (code == Z_STREAM_END && got == outBytes)
        return true;
    if (code == Z_STREAM_END)
        *fault = holds(got, outBytes);
    else if (code == Z_BUF_ERROR && got == outBytes)
        *fault = "the chunk holds more than " + std::to_string(outBytes) + " bytes";
    else if (code == Z_BUF_ERROR)
        *fault = std::string("the chunk is cut short (") + name + ")";
    else
        *fault = std::string("the chunk does not decompress (") + name + ": " + message + ")";
    return false;
}

// zstd's contexts, one of each per thread, kept from chunk to chunk.
struct ZstdContexts
{
    ZSTD_CCtx* compress = ZSTD_createCCtx();
    ZSTD_DCtx* decompress = ZSTD_createDCtx();
    ~ZstdContexts()
    {
        ZSTD_freeCCtx(compress);
        ZSTD_freeDCtx(decompress);
    }
};

ZstdContexts& zstdContexts()
{
    thread_local ZstdContexts contexts;
    return contexts;
}

bool decodeZstd(const void* src, size_t srcBytes, void* out, size_t outBytes, std::string* fault)
{
    ZSTD_DCtx* ctx = zstdContexts().decompress;
    if (!ctx) {
        *fault = "the chunk does not decompress (zstd: no memory)";
        return false;
    }
    const size_t got = ZSTD_decompressDCtx(ctx, out, outBytes, srcBytes ? src : kEmpty, srcBytes);
    if (ZSTD_isError(got)) {
        if (ZSTD_getErrorCode(got) == ZSTD_error_dstSize_tooSmall)
            *fault = "the chunk holds more than " + std::to_string(outBytes) + " bytes";
        else
            *fault = std::string("the chunk does not decompress (zstd: ") + ZSTD_getErrorName(got) + ")";
        return false;
    }
    if (got != outBytes) {
        *fault = holds(got, outBytes);
        return false;
    }
    return true;
}

bool encodeBlosc(const ZarrCompressor& c, int itemBytes, const void* src, size_t n, std::vector<unsigned char>* out)
{
    const int shuffle = c.shuffle >= 0 ? c.shuffle : itemBytes > 1 ? BLOSC_SHUFFLE : BLOSC_NOSHUFFLE;
    out->resize(n + BLOSC_MAX_OVERHEAD);
    const int got = blosc_compress_ctx(c.level, shuffle, static_cast<size_t>(itemBytes), n, src, out->data(),
                                       out->size(), c.blosc.c_str(), 0, 1);
    if (got <= 0)
        return false;
    out->resize(static_cast<size_t>(got));
    return true;
}

bool encodeDeflate(bool gzip, int level, const void* src, size_t n, std::vector<unsigned char>* out)
{
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, level, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&zs, static_cast<uLong>(n)) + 32);
    zs.next_in = const_cast<Bytef*>(n ? static_cast<const Bytef*>(src) : kEmpty);
    zs.avail_in = static_cast<uInt>(n);
    zs.next_out = out->data();
    zs.avail_out = static_cast<uInt>(out->size());
    const int code = deflate(&zs, Z_FINISH);
    out->resize(zs.total_out);
    deflateEnd(&zs);
    return code == Z_STREAM_END;
}

bool encodeZstd(int level, const void* src, size_t n, std::vector<unsigned char>* out)
{
    ZSTD_CCtx* ctx = zstdContexts().compress;
    if (!ctx)
        return false;
    out->resize(ZSTD_compressBound(n));
    const size_t got = ZSTD_compressCCtx(ctx, out->data(), out->size(), src, n, level);
    if (ZSTD_isError(got))
        return false;
    out->resize(got);
    return true;
}

// 64-bit values of type T to float, in place from the front.
template <typename T> void narrowToFloat(unsigned char* p, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, p + i * sizeof(T), sizeof(T));
        const float f = static_cast<float>(v);
        std::memcpy(p + i * sizeof(float), &f, sizeof(float));
    }
}

} // namespace

bool zarrBloscCodecAvailable(const std::string& name)
{
    return blosc_compname_to_compcode(name.c_str()) >= 0;
}

uint64_t maxEncodedBytes(const ZarrCompressor& compressor, uint64_t decompressed)
{
    if (compressor.codec == ZarrCodec::None)
        return decompressed;
    // Room for any writer's headers, checksums and incompressible blocks.
    return decompressed + decompressed / 8 + (uint64_t(64) << 10);
}

bool decodeChunk(const ZarrCompressor& compressor, const void* src, size_t srcBytes, void* out, size_t outBytes,
                 std::string* fault)
{
    switch (compressor.codec) {
    case ZarrCodec::Blosc: return decodeBlosc(src, srcBytes, out, outBytes, fault);
    case ZarrCodec::Zlib: return decodeDeflate(false, src, srcBytes, out, outBytes, fault);
    case ZarrCodec::Gzip: return decodeDeflate(true, src, srcBytes, out, outBytes, fault);
    case ZarrCodec::Zstd: return decodeZstd(src, srcBytes, out, outBytes, fault);
    case ZarrCodec::None: break;
    }
    if (srcBytes != outBytes) {
        *fault = holds(srcBytes, outBytes);
        return false;
    }
    if (outBytes)
        std::memcpy(out, src, outBytes);
    return true;
}

bool encodeChunk(const ZarrCompressor& compressor, int itemBytes, const void* src, size_t srcBytes,
                 std::vector<unsigned char>* out, std::string* fault)
{
    bool ok = true;
    switch (compressor.codec) {
    case ZarrCodec::Blosc: ok = encodeBlosc(compressor, itemBytes, src, srcBytes, out); break;
    case ZarrCodec::Zlib: ok = encodeDeflate(false, compressor.level, src, srcBytes, out); break;
    case ZarrCodec::Gzip: ok = encodeDeflate(true, compressor.level, src, srcBytes, out); break;
    case ZarrCodec::Zstd: ok = encodeZstd(compressor.level, src, srcBytes, out); break;
    case ZarrCodec::None:
        out->assign(static_cast<const unsigned char*>(src), static_cast<const unsigned char*>(src) + srcBytes);
        break;
    }
    if (!ok)
        *fault = "the chunk cannot be compressed";
    return ok;
}

void storedToProgramValues(const ZarrArray& array, void* values, size_t count)
{
    unsigned char* p = static_cast<unsigned char*>(values);
    const size_t size = static_cast<size_t>(array.itemBytes);
    if (size > 1 && array.bigEndian != hostBigEndian())
        for (size_t i = 0; i < count; ++i)
            std::reverse(p + i * size, p + (i + 1) * size);
    if (size != 8)
        return;
    if (array.kind == ZarrKind::Float)
        narrowToFloat<double>(p, count);
    else if (array.kind == ZarrKind::Signed)
        narrowToFloat<int64_t>(p, count);
    else
        narrowToFloat<uint64_t>(p, count);
}

void fillValues(VoxelType type, double value, void* out, size_t count)
{
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        // The parser lets through only values of the stored type (64-bit
        // integers are read as float); anything else becomes 0.
        if (std::numeric_limits<T>::is_integer && !(value == value))
            value = 0.0;
        const T v = std::numeric_limits<T>::is_integer
                        ? static_cast<T>(std::min<double>(std::max<double>(value, std::numeric_limits<T>::lowest()),
                                                          std::numeric_limits<T>::max()))
                        : static_cast<T>(value);
        T* p = static_cast<T*>(out);
        std::fill(p, p + count, v);
    });
}
