// Building OME-Zarr pyramids: the mean of 2 x 2 x 2 on odd sizes (exact
// values), the level sizes, pyramids of several bands and every compressor
// read back against an independent mean, the source read slab by slab, and
// the slab sources (raw, description, zvf, samples of any size).
#include "sample_volumes.h"
#include "test_support.h"
#include "volume_slabs.h"
#include "zarr_pyramid.h"
#include "zarr_read.h"
#include "zarr_reference.h"

#include <zvf.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// A volume in memory handed out slab by slab, remembering what was asked.
template <typename T> class MemorySlabs : public VolumeSlabs
{
public:
    MemorySlabs(int nx, int ny, int nz, int nbands, VoxelType voxelType)
    {
        resolution[0] = nx, resolution[1] = ny, resolution[2] = nz;
        bands = nbands;
        type = voxelType;
        spacing[0] = 0.5f, spacing[1] = 0.5f, spacing[2] = 2.0f;
        unit = "micrometer";
        name = "memory";
        values.resize(static_cast<size_t>(nx) * ny * nz * nbands);
    }

    T& at(int b, int z, int y, int x)
    {
        return values[((static_cast<size_t>(b) * resolution[2] + z) * resolution[1] + y) * resolution[0] + x];
    }

    bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string*) override
    {
        asked.push_back({z0, count});
        const size_t slice = static_cast<size_t>(resolution[0]) * resolution[1];
        for (int b = 0; b < bands; ++b)
            std::memcpy(out + b * bandStride, &at(b, z0, 0, 0), slice * count * sizeof(T));
        return true;
    }

    std::vector<T> values;                   // band, z, y, x
    std::vector<std::pair<int, int>> asked;  // (z0, count) of each read
};

template <typename T> std::vector<T> valuesOf(const VolumeFile& v)
{
    const T* p = static_cast<const T*>(v.data);
    return std::vector<T>(p, p + static_cast<size_t>(v.resolution[0]) * v.resolution[1] * v.resolution[2] * v.bands);
}

} // namespace

TEST(ZarrPyramid, HalvingTakesTheMeanOfWhatIsThere)
{
    // Slices of 3 x 3: the output is 2 x 2, its last column and row from
    // the odd edge (4 and 2 values of two slices, then 1 of each).
    const uint8_t a[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const uint8_t b[9] = {11, 21, 31, 41, 51, 61, 71, 81, 255};
    uint8_t out[4];
    halveSlices(VOXEL_UCHAR, a, b, 3, 3, out);
    // (10+20+40+50+11+21+41+51)/8 = 30.5 -> 31; (30+60+31+61)/4 = 45.5 -> 46;
    // (70+80+71+81)/4 = 75.5 -> 76; (90+255)/2 = 172.5 -> 173.
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{31, 46, 76, 173}));
    // The last slice of an odd count stands alone.
    halveSlices(VOXEL_UCHAR, a, nullptr, 3, 3, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{30, 45, 75, 90}));
    // Halves round away from zero on both sides of it.
    const int16_t n[4] = {-1, -2, 1, 2};
    int16_t m[2];
    halveSlices(VOXEL_SHORT, n, nullptr, 2, 2, m);
    EXPECT_EQ(m[0], 0);
    halveSlices(VOXEL_SHORT, n, nullptr, 4, 1, m);
    EXPECT_EQ(m[0], -2);
    EXPECT_EQ(m[1], 2);
    // Sums of 32-bit values do not overflow; floats are exact means.
    const uint32_t big[2] = {4294967295u, 4294967293u};
    uint32_t bigOut;
    halveSlices(VOXEL_UINT, big, nullptr, 2, 1, &bigOut);
    EXPECT_EQ(bigOut, 4294967294u);
    const float f[3] = {0.5f, 0.25f, -3.0f};
    float g[2];
    halveSlices(VOXEL_FLOAT, f, nullptr, 3, 1, g);
    EXPECT_EQ(g[0], 0.375f);
    EXPECT_EQ(g[1], -3.0f);
}

TEST(ZarrPyramid, LevelsHalveUntilOneChunkHoldsThem)
{
    const int cube[3] = {100, 100, 100};
    auto sizes = pyramidResolutions(cube, 32, 0);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[2], (std::array<int, 3>{25, 25, 25}));
    const int flat[3] = {65, 1, 3};
    sizes = pyramidResolutions(flat, 8, 0);
    ASSERT_EQ(sizes.size(), 5u);
    EXPECT_EQ(sizes[1], (std::array<int, 3>{33, 1, 2}));
    EXPECT_EQ(sizes[4], (std::array<int, 3>{5, 1, 1}));
    EXPECT_EQ(pyramidResolutions(flat, 8, 2).size(), 2u);
    EXPECT_EQ(pyramidResolutions(flat, 64, 0).size(), 2u);
    EXPECT_EQ(pyramidChunkFault(1, VOXEL_UCHAR), "a chunk edge is 2 to 1024 voxels");
    EXPECT_EQ(pyramidChunkFault(512, VOXEL_USHORT), "a chunk of 512^3 values of 2 bytes is larger than 64 MB");
    EXPECT_EQ(pyramidChunkFault(256, VOXEL_UCHAR), "");
}

TEST(ZarrPyramid, BandsAndOddSizesReadBackAsTheMeanOfTheLevelBefore)
{
    // Two bands of signed values on odd sizes, chunks of 4.
    MemorySlabs<int16_t> source(19, 13, 11, 2, VOXEL_SHORT);
    for (int b = 0; b < 2; ++b)
        for (int z = 0; z < 11; ++z)
            for (int y = 0; y < 13; ++y)
                for (int x = 0; x < 19; ++x)
                    source.at(b, z, y, x) = static_cast<int16_t>((x * 37 + y * 101 + z * 211 + b * 7) % 601 - 300);
    TempDir dir;
    PyramidOptions options;
    options.chunk = 4;
    options.threads = 2;
    std::string why;
    ASSERT_TRUE(writePyramid(source, dir.file("m.zarr"), options, &why)) << why;
    // Read in order, never more than one row of chunks at a time.
    int next = 0;
    for (const auto& r : source.asked) {
        EXPECT_EQ(r.first, next);
        EXPECT_LE(r.second, 4);
        next += r.second;
    }
    EXPECT_EQ(next, 11);

    ZarrPyramid p;
    ASSERT_TRUE(openZarrPyramid(dir.file("m.zarr"), &p, &why)) << why;
    ASSERT_EQ(p.levels.size(), 4u); // 19, 10, 5, 3 voxels along x
    EXPECT_EQ(p.channelAxis, 0);
    EXPECT_EQ(p.axisUnit[3], "micrometer");
    EXPECT_EQ(p.levels[2].scale[1], 8.0);        // z: 2, 4, 8
    EXPECT_EQ(p.levels[2].translation[3], 0.75); // x: 0.25 + 0.5, the halved voxels' centres
    EXPECT_EQ(p.levels[1].array.chunks[0], 1);
    std::vector<std::vector<int16_t>> bands = {
        std::vector<int16_t>(source.values.begin(), source.values.begin() + 19 * 13 * 11),
        std::vector<int16_t>(source.values.begin() + 19 * 13 * 11, source.values.end())};
    int size[3] = {19, 13, 11};
    for (int level = 0; level < 4; ++level) {
        SCOPED_TRACE(level);
        if (level > 0) {
            for (auto& band : bands)
                band = referenceHalf(band, size[0], size[1], size[2]);
            for (int& s : size)
                s = (s + 1) / 2;
        }
        VolumeFile v;
        ASSERT_TRUE(readZarrLevel(p, level, &v, &why)) << why;
        ASSERT_EQ(std::vector<int>(v.resolution, v.resolution + 3), std::vector<int>(size, size + 3));
        ASSERT_EQ(v.bands, 2);
        std::vector<int16_t> want = bands[0];
        want.insert(want.end(), bands[1].begin(), bands[1].end());
        EXPECT_EQ(valuesOf<int16_t>(v), want);
    }
    // The folder is not written over.
    EXPECT_FALSE(writePyramid(source, dir.file("m.zarr"), options, &why));
    EXPECT_EQ(why, dir.file("m.zarr") + ": exists and is not empty");
}

TEST(ZarrPyramid, EveryCompressorAndTypeReadsBack)
{
    const std::vector<ZarrCompressor> codecs = {{ZarrCodec::Blosc, "lz4", 5, 1},
                                                {ZarrCodec::Blosc, "zstd", 3, 2},
                                                {ZarrCodec::Zstd, "", 3, 0},
                                                {ZarrCodec::Zlib, "", 1, 0},
                                                {ZarrCodec::Gzip, "", 1, 0},
                                                {ZarrCodec::None, "", 0, 0}};
    TempDir dir;
    for (size_t k = 0; k < codecs.size(); ++k) {
        MemorySlabs<float> source(9, 6, 5, 1, VOXEL_FLOAT);
        for (size_t i = 0; i < source.values.size(); ++i)
            source.values[i] = static_cast<float>(i) * 0.25f - 30.0f;
        PyramidOptions options;
        options.chunk = 4;
        options.compressor = codecs[k];
        const std::string out = dir.file(std::to_string(k) + ".zarr");
        std::string why;
        ASSERT_TRUE(writePyramid(source, out, options, &why)) << why;
        VolumeFile v;
        ZarrPyramid p;
        ASSERT_TRUE(openZarrPyramid(out, &p, &why)) << why;
        EXPECT_EQ(p.levels[0].array.compressor.codec, codecs[k].codec);
        ASSERT_TRUE(readZarrLevel(p, 0, &v, &why)) << why;
        EXPECT_EQ(valuesOf<float>(v), source.values) << k;
        ASSERT_TRUE(readVolume(out, &v, &why));
        EXPECT_EQ(valuesOf<float>(v), referenceHalf(referenceHalf(source.values, 9, 6, 5), 5, 3, 3)) << k;
    }
}

TEST(ZarrSamples, SizedSamplesAtTheBundledSizeAreTheBundledSamples)
{
    for (const char* name : {"phantom", "phantom-mask", "multiband"}) {
        SCOPED_TRACE(name);
        SampleVolume bundled;
        ASSERT_TRUE(makeSampleVolume(name, &bundled));
        const int size[3] = {bundled.nx, bundled.ny, bundled.nz};
        SampleGrid grid;
        std::string why;
        ASSERT_TRUE(sampleGrid(name, size, std::string(name) == "phantom" ? VOXEL_USHORT : VOXEL_UCHAR, &grid, &why));
        EXPECT_FLOAT_EQ(grid.spacing[0], bundled.px);
        EXPECT_FLOAT_EQ(grid.spacing[2], bundled.pz);
        const size_t bandBytes = bundled.data.size() / static_cast<size_t>(bundled.nbands);
        std::vector<unsigned char> made(bundled.data.size());
        // In two slabs, as a pyramid asks for them.
        const size_t half = bandBytes / static_cast<size_t>(size[2]) * 40;
        sampleSlices(grid, 0, 40, made.data(), bandBytes);
        sampleSlices(grid, 40, size[2] - 40, made.data() + half, bandBytes);
        EXPECT_TRUE(made == bundled.data);
    }
    // The phantom in other types: HU for SHORT, a 16th for UCHAR.
    const int size[3] = {16, 16, 16};
    SampleGrid u, s, c;
    std::string why;
    ASSERT_TRUE(sampleGrid("phantom", size, VOXEL_USHORT, &u, &why));
    ASSERT_TRUE(sampleGrid("phantom", size, VOXEL_SHORT, &s, &why));
    ASSERT_TRUE(sampleGrid("phantom", size, VOXEL_UCHAR, &c, &why));
    std::vector<uint16_t> us(256);
    std::vector<int16_t> ss(256);
    std::vector<uint8_t> cs(256);
    sampleSlices(u, 8, 1, reinterpret_cast<unsigned char*>(us.data()), 0);
    sampleSlices(s, 8, 1, reinterpret_cast<unsigned char*>(ss.data()), 0);
    sampleSlices(c, 8, 1, cs.data(), 0);
    for (size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(ss[i], us[i] - 1024);
        EXPECT_EQ(cs[i], us[i] >> 4);
    }
    EXPECT_NEAR(us[0], 24, 4); // air in the corner: -1000 + 1024 and noise
    EXPECT_FALSE(sampleGrid("types-uchar", size, VOXEL_UCHAR, &u, &why));
    EXPECT_EQ(why, "sample types-uchar has no sizes (phantom, phantom-mask and multiband have)");
    EXPECT_FALSE(sampleGrid("multiband", size, VOXEL_USHORT, &u, &why));
    EXPECT_EQ(why, "sample multiband is made of UCHAR values only");
}

TEST(ZarrSources, RawDescriptionAndZvfFilesAreReadSlabBySlab)
{
    TempDir dir;
    // Two channels of 16-bit values adjacent in a big-endian raw file, one
    // slice short: the missing slice reads 0.
    std::string raw;
    for (int z = 0; z < 3; ++z)
        for (int i = 0; i < 4 * 2; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const int v = 1000 * ch + 100 * z + i;
                raw += static_cast<char>(v >> 8);
                raw += static_cast<char>(v & 0xff);
            }
    ASSERT_TRUE(writeFile(dir.file("v.raw"), raw));
    ASSERT_TRUE(writeFile(dir.file("v.dat"), "ObjectFileName: v.raw\nResolution: 4 2 4\nSliceThickness: 1 1 3\n"
                                             "Format: USHORT\nNbrChannels: 2\nByteOrder: big\n"));
    std::string why;
    auto slabs = openVolumeSlabs(dir.file("v.dat"), 0, &why);
    ASSERT_TRUE(slabs) << why;
    EXPECT_EQ(slabs->bands, 2);
    EXPECT_EQ(slabs->spacing[2], 3.0f);
    std::vector<uint16_t> out(2 * 2 * 8);
    ASSERT_TRUE(slabs->read(2, 2, reinterpret_cast<unsigned char*>(out.data()), 2 * 8 * 2, &why));
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(out[static_cast<size_t>(ch * 16 + i)], 1000 * ch + 200 + i);
            EXPECT_EQ(out[static_cast<size_t>(ch * 16 + 8 + i)], 0);
        }
    // A raw file of unstated order whose values are smooth little-endian.
    std::string little;
    for (int i = 0; i < 32 * 32 * 4; ++i) {
        const int v = 300 + (i % 32) * 7;
        little += static_cast<char>(v & 0xff);
        little += static_cast<char>(v >> 8);
    }
    ASSERT_TRUE(writeFile(dir.file("l.raw"), little));
    ASSERT_TRUE(writeFile(dir.file("l.dat"), "ObjectFileName: l.raw\nResolution: 32 32 4\nFormat: USHORT\n"));
    slabs = openVolumeSlabs(dir.file("l.dat"), 0, &why);
    ASSERT_TRUE(slabs) << why;
    EXPECT_EQ(slabs->note, "Raw data read as little-endian (smoother than big-endian).");
    std::vector<uint16_t> row(32 * 32);
    ASSERT_TRUE(slabs->read(0, 1, reinterpret_cast<unsigned char*>(row.data()), 0, &why));
    EXPECT_EQ(row[1], 307);

    // Every band of a zvf file from its own place in the file.
    SampleVolume multiband;
    ASSERT_TRUE(makeSampleVolume("multiband", &multiband));
    ASSERT_TRUE(writeSampleVolume(multiband, dir.file("m.zvf")));
    slabs = openVolumeSlabs(dir.file("m.zvf"), 0, &why);
    ASSERT_TRUE(slabs) << why;
    EXPECT_EQ(slabs->bands, 6);
    EXPECT_EQ(slabs->unit, "millimeter");
    const size_t slice = 96 * 96, band = slice * 64;
    std::vector<unsigned char> got(band * 6);
    for (int z0 = 0; z0 < 64; z0 += 30)
        ASSERT_TRUE(slabs->read(z0, std::min(30, 64 - z0), got.data() + static_cast<size_t>(z0) * slice, band, &why));
    EXPECT_TRUE(got == multiband.data);
    // Doubles become floats.
    SampleVolume doubles;
    ASSERT_TRUE(makeSampleVolume("types-double", &doubles));
    ASSERT_TRUE(writeSampleVolume(doubles, dir.file("d.zvf")));
    slabs = openVolumeSlabs(dir.file("d.zvf"), 0, &why);
    ASSERT_TRUE(slabs) << why;
    EXPECT_EQ(slabs->type, VOXEL_FLOAT);
    std::vector<float> floats(32 * 24);
    ASSERT_TRUE(slabs->read(0, 1, reinterpret_cast<unsigned char*>(floats.data()), 0, &why));
    EXPECT_EQ(floats[5], static_cast<float>(doubles.value(5, 0, 0)));
}

TEST(ZarrSources, FormatsReadWholeMustFitTheMemoryLimit)
{
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("big.nii"), std::string(3u << 20, '\0')));
    std::string why;
    EXPECT_FALSE(openVolumeSlabs(dir.file("big.nii"), 1u << 20, &why));
    EXPECT_EQ(why, dir.file("big.nii") + ": cannot be read slab by slab, and its 3 MB of files exceed the memory "
                                         "limit of 1 MB");
}
