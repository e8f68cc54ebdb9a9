// OME-Zarr reading: chunk arithmetic, the bounds and refusals of the
// metadata parser (exact messages), the chunk codecs, and pyramids written
// here by hand read back voxel for voxel, missing chunks as the fill value.
#include "test_support.h"
#include "volume_file.h"
#include "zarr_chunks.h"
#include "zarr_codec.h"
#include "zarr_metadata.h"
#include "zarr_read.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <vector>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// A .zarray text: the fields of a small valid array with changes (an empty
// value drops the field).
std::string zarray(const std::map<std::string, std::string>& changes = {})
{
    std::map<std::string, std::string> f = {{"zarr_format", "2"},    {"shape", "[4, 5, 6]"},
                                            {"chunks", "[2, 5, 3]"}, {"dtype", "\"<u2\""},
                                            {"compressor", "null"},  {"fill_value", "0"},
                                            {"order", "\"C\""},      {"filters", "null"}};
    for (const auto& c : changes) {
        if (c.second.empty())
            f.erase(c.first);
        else
            f[c.first] = c.second;
    }
    std::string text = "{";
    for (const auto& kv : f)
        text += (text.size() > 1 ? ", \"" : "\"") + kv.first + "\": " + kv.second;
    return text + "}";
}

// Why parseZarrArray refuses text, "" when it accepts it.
std::string arrayFault(const std::string& text)
{
    ZarrArray a;
    std::string why;
    return parseZarrArray(text, "A/.zarray", &a, &why) ? std::string() : why;
}

std::string multiscalesFault(const std::string& text, bool* plain = nullptr)
{
    ZarrPyramid p;
    std::string why;
    return parseMultiscales(text, "P/.zattrs", &p, &why, plain) ? std::string() : why;
}

// A .zattrs of one image with the given axes and datasets.
std::string zattrs(const std::string& axes, const std::string& datasets, const std::string& version = "\"0.4\"")
{
    return "{\"multiscales\": [{\"version\": " + version + ", \"axes\": " + axes + ", \"datasets\": " + datasets +
           "}]}";
}

const char* const kZyx = "[{\"name\": \"z\", \"type\": \"space\"}, {\"name\": \"y\", \"type\": \"space\"}, "
                         "{\"name\": \"x\", \"type\": \"space\"}]";

std::string dataset(const std::string& path, const std::string& scale)
{
    return "{\"path\": \"" + path + "\", \"coordinateTransformations\": [{\"type\": \"scale\", \"scale\": " + scale +
           "}]}";
}

std::string bytesOf(const std::vector<uint16_t>& v, bool bigEndian)
{
    std::string s;
    for (uint16_t x : v) {
        const char hi = static_cast<char>(x >> 8), lo = static_cast<char>(x & 0xff);
        s += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return s;
}

} // namespace

TEST(ZarrChunks, CountsRangesKeysAndEdgeChunks)
{
    EXPECT_EQ(chunkCount(10, 4), 3);
    EXPECT_EQ(chunkCount(8, 4), 2);
    EXPECT_EQ(chunkCount(1, 64), 1);
    EXPECT_EQ(chunkCount(0, 4), 0);

    const int64_t shape[3] = {5, 10, 7}, chunks[3] = {2, 4, 7};
    ZarrBox box;
    box.axes = 3;
    const int64_t lo[3] = {1, 3, 0}, hi[3] = {5, 9, 7};
    std::copy(lo, lo + 3, box.lo);
    std::copy(hi, hi + 3, box.hi);
    int64_t first[3], last[3];
    chunkRange(box, chunks, first, last);
    EXPECT_EQ(std::vector<int64_t>(first, first + 3), (std::vector<int64_t>{0, 0, 0}));
    EXPECT_EQ(std::vector<int64_t>(last, last + 3), (std::vector<int64_t>{2, 2, 0}));

    // The far corner chunk is stored whole but holds only what the array has.
    const int64_t corner[3] = {2, 2, 0};
    const ZarrBox inside = chunkBox(3, corner, shape, chunks);
    const ZarrBox stored = chunkStorageBox(3, corner, chunks);
    EXPECT_EQ(std::vector<int64_t>(inside.lo, inside.lo + 3), (std::vector<int64_t>{4, 8, 0}));
    EXPECT_EQ(std::vector<int64_t>(inside.hi, inside.hi + 3), (std::vector<int64_t>{5, 10, 7}));
    EXPECT_EQ(std::vector<int64_t>(stored.hi, stored.hi + 3), (std::vector<int64_t>{6, 12, 7}));
    EXPECT_EQ(inside.values(), 14u);
    EXPECT_EQ(stored.values(), 56u);
    EXPECT_EQ(chunkKey(3, corner, '.'), "2.2.0");
    EXPECT_EQ(chunkKey(3, corner, '/'), "2/2/0");
    EXPECT_TRUE(intersect(inside, wholeBox(3, chunks)).empty());

    // The last axis steps fastest; after the last index it starts over.
    const int64_t from[2] = {0, 0}, to[2] = {1, 2};
    int64_t at[2] = {0, 0};
    std::vector<std::string> seen = {chunkKey(2, at, '.')};
    while (nextChunkIndex(2, from, to, at))
        seen.push_back(chunkKey(2, at, '.'));
    EXPECT_EQ(seen, (std::vector<std::string>{"0.0", "0.1", "0.2", "1.0", "1.1", "1.2"}));
    EXPECT_EQ(chunkKey(2, at, '.'), "0.0");
}

TEST(ZarrChunks, CopyBoxRegionMovesExactlyTheRegion)
{
    // Source box rows 2..4, columns 4..7 holding 1 ... 12; destination rows
    // 3..5, columns 5..6; their common part rows 3..4, columns 5..6.
    ZarrBox src, dst;
    src.axes = dst.axes = 2;
    src.lo[0] = 2, src.lo[1] = 4, src.hi[0] = 5, src.hi[1] = 8;
    dst.lo[0] = 3, dst.lo[1] = 5, dst.hi[0] = 6, dst.hi[1] = 7;
    std::vector<uint16_t> from(12), to(6, 0);
    for (int i = 0; i < 12; ++i)
        from[static_cast<size_t>(i)] = static_cast<uint16_t>(i + 1);
    copyBoxRegion(reinterpret_cast<const unsigned char*>(from.data()), src, reinterpret_cast<unsigned char*>(to.data()),
                  dst, intersect(src, dst), sizeof(uint16_t));
    EXPECT_EQ(to, (std::vector<uint16_t>{6, 7, 10, 11, 0, 0}));
}

TEST(ZarrMetadata, ArrayFieldsAreRead)
{
    ZarrArray a;
    std::string why;
    ASSERT_TRUE(parseZarrArray(zarray({{"shape", "[3, 40, 50]"},
                                       {"chunks", "[1, 16, 16]"},
                                       {"dtype", "\">i2\""},
                                       {"fill_value", "-7"},
                                       {"dimension_separator", "\"/\""},
                                       {"compressor", "{\"id\": \"blosc\", \"cname\": \"zstd\", \"clevel\": 3, "
                                                      "\"shuffle\": 2, \"blocksize\": 0}"}}),
                               "A/.zarray", &a, &why))
        << why;
    EXPECT_EQ(a.axes, 3);
    EXPECT_EQ(a.shape[2], 50);
    EXPECT_EQ(a.chunks[1], 16);
    EXPECT_EQ(a.type, VOXEL_SHORT);
    EXPECT_EQ(a.itemBytes, 2);
    EXPECT_TRUE(a.bigEndian);
    EXPECT_EQ(a.fill, -7.0);
    EXPECT_EQ(a.separator, '/');
    EXPECT_EQ(a.compressor.codec, ZarrCodec::Blosc);
    EXPECT_EQ(a.compressor.blosc, "zstd");
    EXPECT_EQ(a.compressor.shuffle, 2);
    EXPECT_EQ(a.chunkBytes(), 512u);

    // 64-bit values are read as FLOAT; NaN and the infinities fill floats.
    ASSERT_TRUE(parseZarrArray(zarray({{"dtype", "\"<f8\""}, {"fill_value", "\"NaN\""}}), "A", &a, &why));
    EXPECT_EQ(a.type, VOXEL_FLOAT);
    EXPECT_EQ(a.itemBytes, 8);
    EXPECT_TRUE(std::isnan(a.fill));
    ASSERT_TRUE(parseZarrArray(zarray({{"dtype", "\">u8\""}, {"fill_value", "null"}}), "A", &a, &why));
    EXPECT_EQ(a.type, VOXEL_FLOAT);
    EXPECT_EQ(a.fill, 0.0);
    ASSERT_TRUE(parseZarrArray(zarray({{"dtype", "\"<f4\""}, {"fill_value", "\"-Infinity\""}}), "A", &a, &why));
    EXPECT_EQ(a.fill, -HUGE_VAL);
    ASSERT_TRUE(parseZarrArray(zarray({{"dtype", "\"|u1\""}, {"fill_value", "255"}, {"filters", "[]"}}), "A", &a, &why));
    EXPECT_EQ(a.type, VOXEL_UCHAR);
    EXPECT_EQ(a.separator, '.');
    // A chunk of exactly 64 MB is read, one value more is not.
    EXPECT_EQ(arrayFault(zarray({{"shape", "[512, 256, 256]"}, {"chunks", "[512, 256, 256]"}})), "");
    EXPECT_EQ(arrayFault(zarray({{"shape", "[513, 256, 256]"}, {"chunks", "[513, 256, 256]"}})),
              "A/.zarray: a chunk of 513 x 256 x 256 values of 2 bytes is larger than 64 MB");
}

TEST(ZarrMetadata, DamagedArraysAreRefusedWithTheFault)
{
    const std::string bigText(kZarrMaxMetadataBytes + 1, ' ');
    const std::string deep = std::string(33, '[') + std::string(33, ']');
    const std::string lengths = "shape holds a length that is not a whole number from 1 to 2147483647";
    const std::string dtypes = "is not read (integers of 1, 2, 4 or 8 bytes and floats of 4 or 8 bytes are)";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {bigText, "larger than 1 MB"},
        {deep, "JSON nested deeper than 32 levels"},
        {"[1, 2]", "not a JSON object"},
        {zarray({{"zarr_format", "3"}}), "zarr_format is not 2 (only Zarr version 2 is read)"},
        {zarray({{"zarr_format", ""}}), "zarr_format is missing"},
        {zarray({{"shape", "[]"}}), "shape is not a list of 1 to 5 axis lengths"},
        {zarray({{"shape", "[1, 1, 1, 1, 1, 1]"}}), "shape is not a list of 1 to 5 axis lengths"},
        {zarray({{"shape", "[4, 0, 6]"}}), lengths},
        {zarray({{"shape", "[4, 5.5, 6]"}}), lengths},
        {zarray({{"shape", "[4, 2147483648, 6]"}}), lengths},
        {zarray({{"shape", "[4, \"5\", 6]"}}), lengths},
        {zarray({{"chunks", "[2, 5]"}}), "chunks are not a list of 3 lengths, as shape"},
        {zarray({{"chunks", "[2, -1, 3]"}}), "chunks hold a length that is not a whole number from 1 to 2147483647"},
        {zarray({{"dtype", "\"<c8\""}}), "dtype \"<c8\" " + dtypes},
        {zarray({{"dtype", "\"|u2\""}}), "dtype \"|u2\" " + dtypes},
        {zarray({{"dtype", "[[\"a\", \"<u2\"]]"}}), "dtype " + dtypes},
        {zarray({{"order", "\"F\""}}), "order \"F\" is not read (only C)"},
        {zarray({{"filters", "[{\"id\": \"delta\"}]"}}), "filters are not read"},
        {zarray({{"dimension_separator", "\"-\""}}), "dimension_separator is neither \".\" nor \"/\""},
        {zarray({{"fill_value", "\"NaN\""}}), "fill_value is not a value of dtype \"<u2\""},
        {zarray({{"fill_value", "65536"}}), "fill_value is not a value of dtype \"<u2\""},
        {zarray({{"fill_value", "1.5"}}), "fill_value is not a value of dtype \"<u2\""},
        {zarray({{"compressor", ""}}), "compressor is missing"},
        {zarray({{"compressor", "{\"id\": \"lzma\"}"}}), "compressor \"lzma\" is not read (blosc, zlib, gzip, zstd or none are)"},
        {zarray({{"compressor", "{\"id\": \"blosc\", \"cname\": \"snappy\"}"}}),
         "compressor blosc: cname is none of blosclz, lz4, lz4hc, zlib, zstd"},
        {zarray({{"compressor", "{\"id\": \"blosc\", \"cname\": \"lz4\", \"clevel\": 12}"}}),
         "compressor blosc: clevel or shuffle out of range"},
        {zarray({{"compressor", "{\"id\": \"zlib\", \"level\": 10}"}}), "compressor zlib: level out of range"},
        {zarray({{"compressor", "7"}}), "compressor is neither null nor an object with an id"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(arrayFault(c.first), "A/.zarray: " + c.second) << c.first.substr(0, 120);
    EXPECT_EQ(arrayFault("{\"zarr_format\": 2,").substr(0, 41), "A/.zarray: not JSON (syntax error at byte");
}

TEST(ZarrMetadata, MultiscalesAxesAndTransformsAreRead)
{
    const std::string text =
        "{\"multiscales\": [{\"version\": \"0.4\", \"name\": \"cells\", \"axes\": ["
        "{\"name\": \"t\", \"type\": \"time\", \"unit\": \"second\"}, {\"name\": \"c\", \"type\": \"channel\"},"
        "{\"name\": \"z\", \"type\": \"space\", \"unit\": \"micrometer\"}, {\"name\": \"y\", \"type\": \"space\"},"
        "{\"name\": \"x\", \"type\": \"space\", \"unit\": \"micrometer\"}], \"datasets\": ["
        "{\"path\": \"s0\", \"coordinateTransformations\": [{\"type\": \"scale\", \"scale\": [1, 1, 2, 0.5, 0.5]}]},"
        "{\"path\": \"a/s1\", \"coordinateTransformations\": [{\"type\": \"scale\", \"scale\": [1, 1, 4, 1, 1]},"
        "{\"type\": \"translation\", \"translation\": [0, 0, 1, 0.25, 0.25]}]}],"
        "\"coordinateTransformations\": [{\"type\": \"scale\", \"scale\": [60, 1, 1, 1, 1]}]}]}";
    ZarrPyramid p;
    std::string why;
    ASSERT_TRUE(parseMultiscales(text, "P/.zattrs", &p, &why)) << why;
    EXPECT_EQ(p.version, "0.4");
    EXPECT_EQ(p.name, "cells");
    EXPECT_EQ(p.axes, 5);
    EXPECT_EQ(p.timeAxis, 0);
    EXPECT_EQ(p.channelAxis, 1);
    EXPECT_EQ(p.spaceAxes, 3);
    EXPECT_EQ(p.spaceAxis(0), 4);
    EXPECT_EQ(p.spaceAxis(2), 2);
    EXPECT_EQ(p.axisUnit[4], "micrometer");
    ASSERT_EQ(p.levels.size(), 2u);
    EXPECT_EQ(p.levels[1].path, "a/s1");
    EXPECT_EQ(p.levels[0].scale[0], 60.0); // the multiscale's own scale applies after the dataset's
    EXPECT_EQ(p.levels[0].scale[4], 0.5);
    EXPECT_EQ(p.levels[1].scale[2], 4.0);
    EXPECT_EQ(p.levels[1].translation[4], 0.25);

    // NGFF 0.3 names the axes; 0.1 and 0.2 leave them to the arrays.
    ASSERT_TRUE(parseMultiscales(zattrs("[\"y\", \"x\"]", "[{\"path\": \"0\"}]", "\"0.3\""), "P", &p, &why));
    EXPECT_EQ(p.spaceAxes, 2);
    EXPECT_EQ(p.spaceAxis(2), -1);
    ASSERT_TRUE(parseMultiscales("{\"multiscales\": [{\"version\": \"0.1\", \"datasets\": [{\"path\": \"0\"}]}]}", "P",
                                 &p, &why));
    EXPECT_EQ(p.axes, 0);
}

TEST(ZarrMetadata, DamagedMultiscalesAreRefusedWithTheFault)
{
    std::string many = "[";
    for (int i = 0; i <= kZarrMaxLevels; ++i)
        many += (i ? ", " : "") + dataset(std::to_string(i), "[1, 1, 1]");
    many += "]";
    const std::string one = "[" + dataset("0", "[1, 1, 1]") + "]";
    const std::string bad = "the coordinateTransformations of dataset \"0\" are not 3 positive scales and translations";
    const std::string order = "axes are not time, channel and 2 or 3 space axes in that order";
    const std::string path = "dataset 0 has no path of letters, digits, \"._-/\"";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {zattrs(kZyx, one, "\"0.5\""), "NGFF version 0.5 is not read (0.1 to 0.4 are)"},
        {zattrs(kZyx, one, "[0.4]"), "NGFF version [0.4] is not read (0.1 to 0.4 are)"},
        {"{\"multiscales\": {}}", "multiscales is not a list of images"},
        {zattrs("[{\"name\": \"x\", \"type\": \"space\"}]", one), "axes are not a list of 2 to 5 axes"},
        {zattrs("[{\"name\": \"z\", \"type\": \"space\"}, {\"name\": \"c\", \"type\": \"channel\"}, "
                "{\"name\": \"y\", \"type\": \"space\"}, {\"name\": \"x\", \"type\": \"space\"}]", one),
         order},
        {zattrs("[\"c\", \"t\", \"y\", \"x\"]", one), order},
        {zattrs("[\"t\", \"t\", \"y\", \"x\"]", one), order},
        {zattrs("[\"z\", \"y\", \"x\", {\"name\": \"w\", \"type\": \"space\"}]", one), order},
        {zattrs("[\"c\", \"y\", \"c2\"]", one), order},
        {zattrs("[{\"type\": \"space\"}, \"y\", \"x\"]", one), "axis 0 has no name, or strings longer than 64 bytes"},
        {zattrs(kZyx, "[]"), "datasets are not a list of 1 to 32 levels"},
        {zattrs(kZyx, many), "datasets are not a list of 1 to 32 levels"},
        {zattrs(kZyx, "[" + dataset("../0", "[1, 1, 1]") + "]"), path},
        {zattrs(kZyx, "[" + dataset("/0", "[1, 1, 1]") + "]"), path},
        {zattrs(kZyx, "[" + dataset("a//0", "[1, 1, 1]") + "]"), path},
        {zattrs(kZyx, "[" + dataset("a 0", "[1, 1, 1]") + "]"), path},
        {zattrs(kZyx, "[{\"path\": 0}]"), path},
        {zattrs(kZyx, "[" + dataset("0", "[1, 1]") + "]"), bad},
        {zattrs(kZyx, "[" + dataset("0", "[1, 0, 1]") + "]"), bad},
        {zattrs(kZyx, "[" + dataset("0", "[1, \"2\", 1]") + "]"), bad},
    };
    for (const auto& c : cases)
        EXPECT_EQ(multiscalesFault(c.first), "P/.zattrs: " + c.second) << c.first;
    bool plain = false;
    EXPECT_EQ(multiscalesFault("{\"bioformats2raw.layout\": 3}", &plain),
              "P/.zattrs: no multiscales (not an OME-Zarr image)");
    EXPECT_TRUE(plain);
    EXPECT_NE(multiscalesFault("{\"multiscales\"", &plain), "");
    EXPECT_FALSE(plain);
}

TEST(ZarrCodec, EveryCodecRoundTripsAndWrongSizesAreNamed)
{
    std::vector<uint16_t> values(1000);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<uint16_t>(i * i % 4099);
    const size_t n = values.size() * 2;
    const std::vector<ZarrCompressor> codecs = {
        {ZarrCodec::Blosc, "lz4", 5, 1},  {ZarrCodec::Blosc, "zstd", 3, 2}, {ZarrCodec::Blosc, "zlib", 5, 0},
        {ZarrCodec::Blosc, "blosclz", 5, -1}, {ZarrCodec::Blosc, "lz4hc", 5, 1}, {ZarrCodec::Zlib, "", 1, 0},
        {ZarrCodec::Gzip, "", 9, 0},      {ZarrCodec::Zstd, "", 3, 0},      {ZarrCodec::None, "", 0, 0}};
    for (const ZarrCompressor& c : codecs) {
        SCOPED_TRACE(static_cast<int>(c.codec));
        std::vector<unsigned char> packed;
        std::string fault;
        ASSERT_TRUE(encodeChunk(c, 2, values.data(), n, &packed, &fault));
        std::vector<uint16_t> back(values.size() + 1, 0);
        ASSERT_TRUE(decodeChunk(c, packed.data(), packed.size(), back.data(), n, &fault)) << fault;
        EXPECT_TRUE(std::equal(values.begin(), values.end(), back.begin()));
        EXPECT_LE(packed.size(), maxEncodedBytes(c, n));
        // One byte fewer or more than the chunk holds.
        EXPECT_FALSE(decodeChunk(c, packed.data(), packed.size(), back.data(), n - 1, &fault));
        const bool counted = c.codec == ZarrCodec::Blosc || c.codec == ZarrCodec::None;
        EXPECT_EQ(fault, counted ? "the chunk holds 2000 bytes, 1999 expected" : "the chunk holds more than 1999 bytes");
        EXPECT_FALSE(decodeChunk(c, packed.data(), packed.size(), back.data(), n + 1, &fault));
        EXPECT_EQ(fault, "the chunk holds 2000 bytes, 2001 expected");
    }
    // Damaged data of each kind.
    const std::string junk = "this is no compressed chunk at all";
    std::vector<unsigned char> out(100);
    std::string fault;
    EXPECT_FALSE(decodeChunk({ZarrCodec::Blosc, "lz4", 5, 1}, junk.data(), junk.size(), out.data(), 100, &fault));
    EXPECT_EQ(fault, "the chunk is not blosc data");
    EXPECT_FALSE(decodeChunk({ZarrCodec::Zstd, "", 3, 0}, junk.data(), junk.size(), out.data(), 100, &fault));
    EXPECT_EQ(fault, "the chunk does not decompress (zstd: Unknown frame descriptor)");
    EXPECT_FALSE(decodeChunk({ZarrCodec::Zlib, "", 1, 0}, junk.data(), junk.size(), out.data(), 100, &fault));
    EXPECT_EQ(fault, "the chunk does not decompress (zlib: incorrect header check)");
    std::vector<unsigned char> packed;
    ASSERT_TRUE(encodeChunk({ZarrCodec::Gzip, "", 1, 0}, 2, values.data(), n, &packed, &fault));
    std::vector<uint16_t> back(values.size());
    EXPECT_FALSE(decodeChunk({ZarrCodec::Gzip, "", 1, 0}, packed.data(), packed.size() / 2, back.data(), n, &fault));
    EXPECT_EQ(fault, "the chunk is cut short (gzip)");
}

TEST(ZarrCodec, StoredValuesBecomeTheProgramsValues)
{
    ZarrArray a;
    std::string why;
    ASSERT_TRUE(parseZarrArray(zarray({{"dtype", "\">u2\""}}), "A", &a, &why));
    unsigned char be[4] = {0x01, 0x02, 0xff, 0x00};
    storedToProgramValues(a, be, 2);
    uint16_t u[2];
    std::memcpy(u, be, 4);
    EXPECT_EQ(u[0], 0x0102);
    EXPECT_EQ(u[1], 0xff00);
    // 64-bit values narrow to float at the buffer's start.
    const struct { const char* dtype; double value; } wide[] = {{"\"<f8\"", 1.5}, {"\">i8\"", -3.0}, {"\"<u8\"", 1099511627776.0}};
    for (const auto& w : wide) {
        ASSERT_TRUE(parseZarrArray(zarray({{"dtype", w.dtype}}), "A", &a, &why));
        unsigned char bytes[16] = {};
        if (a.kind == ZarrKind::Float) {
            const double d[2] = {w.value, 2.0};
            std::memcpy(bytes, d, 16);
        } else {
            const int64_t i[2] = {static_cast<int64_t>(w.value), 2};
            std::memcpy(bytes, i, 16);
            if (a.bigEndian)
                for (int k = 0; k < 2; ++k)
                    std::reverse(bytes + 8 * k, bytes + 8 * k + 8);
        }
        storedToProgramValues(a, bytes, 2);
        float f[2];
        std::memcpy(f, bytes, 8);
        EXPECT_EQ(f[0], static_cast<float>(w.value)) << w.dtype;
        EXPECT_EQ(f[1], 2.0f) << w.dtype;
    }
    std::vector<int8_t> fill(3, 0);
    fillValues(VOXEL_CHAR, -5.0, fill.data(), 3);
    EXPECT_EQ(fill, (std::vector<int8_t>{-5, -5, -5}));
}

namespace {

// A pyramid written by hand: two levels of big-endian shorts, no
// compression, chunks 2 x 2 x 3 with "." keys, fill value -5. Level 0 is
// 3 x 4 x 5 (z, y, x), level 1 2 x 3 x 3; voxel (z, y, x) of level L holds
// 1000 L + 100 z + 10 y + x. Chunk 0.1.0 of level 1 has no file.
class HandWrittenPyramid : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = dir.file("cells.zarr");
        ASSERT_EQ(::mkdir(root.c_str(), 0777), 0);
        ASSERT_TRUE(writeFile(root + "/.zattrs",
                              zattrs("[{\"name\": \"z\", \"type\": \"space\", \"unit\": \"micrometer\"}, "
                                     "{\"name\": \"y\", \"type\": \"space\"}, {\"name\": \"x\", \"type\": \"space\"}]",
                                     "[" + dataset("0", "[2, 0.5, 0.25]") + ", " + dataset("1", "[4, 1, 0.5]") + "]")));
        writeLevel(0, 3, 4, 5);
        writeLevel(1, 2, 3, 3);
        ASSERT_EQ(std::remove((root + "/1/0.1.0").c_str()), 0);
    }

    static int16_t value(int level, int z, int y, int x) { return static_cast<int16_t>(1000 * level + 100 * z + 10 * y + x); }

    void writeLevel(int level, int nz, int ny, int nx)
    {
        const std::string folder = root + "/" + std::to_string(level);
        ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
        ASSERT_TRUE(writeFile(folder + "/.zarray",
                              zarray({{"shape", "[" + std::to_string(nz) + ", " + std::to_string(ny) + ", " +
                                                    std::to_string(nx) + "]"},
                                      {"chunks", "[2, 2, 3]"},
                                      {"dtype", "\">i2\""},
                                      {"fill_value", "-5"}})));
        for (int cz = 0; cz * 2 < nz; ++cz)
            for (int cy = 0; cy * 2 < ny; ++cy)
                for (int cx = 0; cx * 3 < nx; ++cx) {
                    std::vector<uint16_t> chunk;
                    for (int z = 2 * cz; z < 2 * cz + 2; ++z)
                        for (int y = 2 * cy; y < 2 * cy + 2; ++y)
                            for (int x = 3 * cx; x < 3 * cx + 3; ++x)
                                chunk.push_back(z < nz && y < ny && x < nx ? static_cast<uint16_t>(value(level, z, y, x))
                                                                           : 0xdead);
                    const std::string key = std::to_string(cz) + "." + std::to_string(cy) + "." + std::to_string(cx);
                    ASSERT_TRUE(writeFile(folder + "/" + key, bytesOf(chunk, true)));
                }
    }

    TempDir dir;
    std::string root;
};

} // namespace

TEST_F(HandWrittenPyramid, CoarsestLevelOpensWithFillWhereAChunkIsMissing)
{
    EXPECT_EQ(detectFormat(root), FileFormat::Zarr);
    EXPECT_EQ(detectFormat(root + "/.zattrs"), FileFormat::Zarr);
    EXPECT_EQ(detectFormat(dir.file("absent.zarr")), FileFormat::Zarr);
    EXPECT_EQ(detectFormat(dir.path()), FileFormat::Foreign);

    VolumeFile v;
    std::string why;
    VolumeShape asked;
    ASSERT_TRUE(readVolume(root + "/.zattrs", &v, &why, [&asked](const VolumeShape& s) {
        asked = s;
        return std::string();
    })) << why;
    EXPECT_EQ(asked.resolution[0], 3);
    EXPECT_EQ(asked.resolution[2], 2);
    EXPECT_EQ(asked.bytesPerValue, 2);
    EXPECT_EQ(v.type, VOXEL_SHORT);
    EXPECT_EQ(v.resolution[0], 3);
    EXPECT_EQ(v.resolution[1], 3);
    EXPECT_EQ(v.resolution[2], 2);
    EXPECT_FLOAT_EQ(v.spacing[0], 0.5f);
    EXPECT_FLOAT_EQ(v.spacing[2], 4.0f);
    EXPECT_TRUE(v.bandMajor);
    EXPECT_FALSE(v.bigEndianValues);
    const int16_t* s = static_cast<const int16_t*>(v.data);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(s[(z * 3 + y) * 3 + x], y == 2 ? -5 : value(1, z, y, x)) << z << y << x;
    EXPECT_EQ(v.info, "Data file name:\tcells.zarr\n"
                      "Format:\t\tOME-Zarr pyramid (NGFF 0.4), 2 levels\n"
                      "Level 0:\t5 4 3 (0)\n"
                      "Level 1:\t3 3 2 (1)\n"
                      "Shown:\t\tlevel 1, the coarsest, read whole\n"
                      "Resolution:\t3 3 2\n"
                      "Spacing:\t0.5 1 4 micrometer\n"
                      "Data type:\tSHORT (>i2)\n"
                      "Compressor:\tnone\n"
                      "Number of bands:\t1\n");
    EXPECT_EQ(v.info.substr(v.ratioAt, 8), "Spacing:");

    // A box across chunk borders of the finest level.
    ZarrPyramid p;
    ASSERT_TRUE(openZarrPyramid(root, &p, &why)) << why;
    const int64_t lo[3] = {1, 1, 1}, hi[3] = {5, 4, 3};
    std::vector<int16_t> box(4 * 3 * 2);
    ASSERT_TRUE(readZarrBox(p, 0, zarrVoxelBox(p, lo, hi, 0, 1), box.data(), &why, 2)) << why;
    size_t i = 0;
    for (int z = 1; z < 3; ++z)
        for (int y = 1; y < 4; ++y)
            for (int x = 1; x < 5; ++x)
                EXPECT_EQ(box[i++], value(0, z, y, x));
    const int64_t out[3] = {6, 4, 3};
    EXPECT_FALSE(readZarrBox(p, 0, zarrVoxelBox(p, lo, out, 0, 1), box.data(), &why));
    EXPECT_EQ(why, root + "/0: the box asked for lies outside the array");
}

TEST_F(HandWrittenPyramid, DamagedFilesAreRefusedNamingTheFileAndTheFault)
{
    VolumeFile v;
    std::string why;
    // A refusal of the memory check stops the read before the voxels.
    EXPECT_FALSE(readVolume(root, &v, &why, [](const VolumeShape&) { return std::string("too big"); }));
    EXPECT_EQ(why, "too big");

    ASSERT_TRUE(writeFile(root + "/1/0.0.0", "abc"));
    EXPECT_FALSE(readVolume(root, &v, &why));
    EXPECT_EQ(why, root + "/1/0.0.0: the chunk holds 3 bytes, 24 expected");
    EXPECT_EQ(v.data, nullptr);

    ASSERT_TRUE(writeFile(root + "/1/.zarray", zarray({{"shape", "[2, 3, 3]"}, {"chunks", "[2, 2, 3]"}})));
    EXPECT_FALSE(readVolume(root, &v, &why));
    EXPECT_EQ(why, root + "/1/.zarray: dtype \"<u2\" differs from the first level's \">i2\"");

    ASSERT_TRUE(writeFile(root + "/1/.zarray", zarray({{"shape", "[2, 3]"}, {"chunks", "[2, 3]"}, {"dtype", "\">i2\""}})));
    EXPECT_FALSE(readVolume(root, &v, &why));
    EXPECT_EQ(why, root + "/1/.zarray: shape has 2 axes, the multiscales 3");

    ASSERT_EQ(std::remove((root + "/1/.zarray").c_str()), 0);
    EXPECT_FALSE(readVolume(root, &v, &why));
    EXPECT_EQ(why, root + "/1/.zarray: missing");

    ASSERT_TRUE(writeFile(root + "/.zattrs", "{\"multiscales\": [{\"datasets\": 7}]}"));
    EXPECT_FALSE(readVolume(root, &v, &why));
    EXPECT_EQ(why, root + "/.zattrs: datasets are not a list of 1 to 32 levels");

    const std::string v3 = dir.file("v3.zarr"), empty = dir.file("empty.zarr");
    ASSERT_EQ(::mkdir(v3.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(empty.c_str(), 0777), 0);
    ASSERT_TRUE(writeFile(v3 + "/zarr.json", "{}"));
    EXPECT_FALSE(readVolume(v3, &v, &why));
    EXPECT_EQ(why, v3 + "/zarr.json: Zarr version 3 is not read (only version 2)");
    EXPECT_FALSE(readVolume(empty, &v, &why));
    EXPECT_EQ(why, empty + ": no .zattrs or .zarray (not a Zarr folder)");
}

TEST_F(HandWrittenPyramid, GroupsAndPlainArraysOpen)
{
    // A bioformats2raw folder: the image is series 0 inside.
    const std::string outer = dir.file("outer.zarr");
    ASSERT_EQ(::mkdir(outer.c_str(), 0777), 0);
    ASSERT_EQ(std::rename(root.c_str(), (outer + "/0").c_str()), 0);
    ASSERT_TRUE(writeFile(outer + "/.zattrs", "{\"bioformats2raw.layout\": 3}"));
    VolumeFile v;
    std::string why;
    ASSERT_TRUE(readVolume(outer, &v, &why)) << why;
    EXPECT_EQ(v.resolution[0], 3);

    // A folder of one array: one level, axes by its dimensions.
    const std::string plain = outer + "/0/0";
    ASSERT_TRUE(readVolume(plain, &v, &why)) << why;
    EXPECT_EQ(v.resolution[0], 5);
    EXPECT_EQ(v.resolution[2], 3);
    EXPECT_EQ(v.info.substr(0, 55), "Data file name:\t0\nFormat:\t\tZarr array (one level)\nResol");
    EXPECT_EQ(static_cast<const int16_t*>(v.data)[5 * 4 * 3 - 1], value(0, 2, 3, 4));
}
