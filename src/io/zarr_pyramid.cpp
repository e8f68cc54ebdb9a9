#include "zarr_pyramid.h"

#include "file_facts.h"
#include "parallel.h"
#include "volume_file.h"
#include "zarr_chunks.h"
#include "zarr_write.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <mutex>
#include <type_traits>

namespace {

// ---- the mean of 2 x 2 x 2 ----

// What the values of a type are summed in.
template <typename T> using SumOf = typename std::conditional<std::is_floating_point<T>::value, double, int64_t>::type;

// sum / n for floats; for integers rounded to nearest, halves away from zero.
template <typename T> T meanOf(SumOf<T> sum, int n)
{
    if (std::is_floating_point<T>::value)
        return static_cast<T>(sum / n);
    const SumOf<T> half = n / 2;
    return static_cast<T>(sum >= 0 ? (sum + half) / n : -((-sum + half) / n));
}

// The mean of the values of block (x0 ... x1, y0 ... y1) of a and of b
// (b may be null).
template <typename T> T blockMean(const T* a, const T* b, int nx, int x0, int x1, int y0, int y1)
{
    SumOf<T> sum = 0;
    int n = 0;
    for (const T* s : {a, b})
        for (int y = y0; s && y <= y1; ++y)
            for (int x = x0; x <= x1; ++x, ++n)
                sum += s[static_cast<size_t>(y) * nx + x];
    return meanOf<T>(sum, n);
}

// Rows j0 ... j1 - 1 of the halved slice of a and b (b may be null): whole
// 2 x 2 blocks added up directly, the odd edges through blockMean.
template <typename T> void halveRows(const T* a, const T* b, int nx, int ny, T* out, long j0, long j1)
{
    const int ox = (nx + 1) / 2, whole = nx / 2;
    for (long j = j0; j < j1; ++j) {
        const int y0 = static_cast<int>(2 * j), y1 = std::min(y0 + 1, ny - 1);
        T* row = out + static_cast<size_t>(j) * ox;
        if (y1 > y0) {
            const T* a0 = a + static_cast<size_t>(y0) * nx;
            const T* a1 = a0 + nx;
            const T* b0 = b ? b + static_cast<size_t>(y0) * nx : nullptr;
            const T* b1 = b ? b0 + nx : nullptr;
            for (int i = 0; i < whole; ++i) {
                const int x = 2 * i;
                SumOf<T> sum = SumOf<T>(a0[x]) + a0[x + 1] + a1[x] + a1[x + 1];
                if (b) // added one by one, in the order blockMean takes them
                    sum = sum + b0[x] + b0[x + 1] + b1[x] + b1[x + 1];
                row[i] = meanOf<T>(sum, b ? 8 : 4);
            }
        }
        for (int i = y1 > y0 ? whole : 0; i < ox; ++i)
            row[i] = blockMean(a, b, nx, 2 * i, std::min(2 * i + 1, nx - 1), y0, y1);
    }
}

// ---- the builder ----

// The shortest decimal that reads back as the float: 1.92f gives 1.92,
// not 1.9199999570846558.
double shortest(float v)
{
    char text[32];
    for (int digits = 6; digits < 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
        if (std::strtof(text, nullptr) == v)
            return std::strtod(text, nullptr);
    }
    return v;
}

// One level while it is written.
struct Level
{
    int size[3] = {0, 0, 0};          // voxels along x, y, z
    int chunk[3] = {0, 0, 0};         // chunk edge along x, y, z
    size_t sliceBytes = 0;            // one slice of one band
    size_t bandStride = 0;            // a band's chunk[2] slices in the slab
    std::vector<unsigned char> slab;  // the row of chunks being filled, band after band
    std::vector<unsigned char> pair;  // an even slice waiting for the next, band after band
    bool havePair = false;            // pair holds a slice
    int filled = 0;                   // slices in the slab
    int row = 0;                      // the slab's chunk row along z
    int received = 0;                 // slices of the level so far
};

class Builder
{
public:
    Builder(VolumeSlabs& source, const std::string& folder, const PyramidOptions& options)
        : mySource(source), myFolder(folder), myOptions(options), myThreads(passThreads(options.threads)),
          myItem(static_cast<size_t>(bytesOfVoxelType(source.type)))
    {
    }

    bool run(std::string* why)
    {
        return prepare(why) && readSource(why) && flush(why) &&
               writeText(myFolder + "/.zattrs", zarrAttributesText(myPyramid), why);
    }

private:
    bool prepare(std::string* why);
    void describeLevels(const std::vector<std::array<int, 3>>& sizes);
    bool readSource(std::string* why);
    bool feed(size_t level, const unsigned char* slice, size_t stride, std::string* why);
    bool halveInto(size_t level, const unsigned char* second, size_t stride, std::string* why);
    bool placed(size_t level, std::string* why);
    bool writeRow(size_t level, std::string* why);
    void gatherChunk(const Level& l, int band, int iy, int ix, unsigned char* chunk) const;
    bool flush(std::string* why);

    static bool writeText(const std::string& path, const std::string& text, std::string* why)
    {
        return writeZarrFile(path, text.data(), text.size(), why);
    }

    VolumeSlabs& mySource;       // what the pyramid is made of
    std::string myFolder;        // where it goes
    PyramidOptions myOptions;    // chunk, levels, compressor
    int myThreads;               // threads of the averaging and compressing
    size_t myItem;               // bytes per value
    ZarrPyramid myPyramid;       // the metadata written
    std::vector<Level> myLevels; // the levels' buffers, finest first
};

// The metadata of the levels: axes (c if several bands, z, y, x), scales
// doubling and translations following the halved voxels' centres.
void Builder::describeLevels(const std::vector<std::array<int, 3>>& sizes)
{
    ZarrPyramid& p = myPyramid;
    p.root = myFolder;
    p.version = "0.4";
    p.name = mySource.name;
    const bool bands = mySource.bands > 1;
    p.axes = bands ? 4 : 3;
    p.channelAxis = bands ? 0 : -1;
    p.spaceAxes = 3;
    if (bands)
        p.axisName[0] = "c";
    for (int k = 0; k < 3; ++k) {
        p.axisName[p.spaceAxis(k)] = std::string(1, "xyz"[k]);
        p.axisUnit[p.spaceAxis(k)] = mySource.unit;
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
        ZarrLevel level;
        level.path = std::to_string(i);
        int64_t shape[kZarrMaxAxes], chunks[kZarrMaxAxes];
        shape[0] = chunks[0] = 1;
        if (bands) {
            shape[0] = mySource.bands;
            chunks[0] = 1;
        }
        for (int k = 0; k < 3; ++k) {
            const int a = p.spaceAxis(k);
            shape[a] = sizes[i][static_cast<size_t>(k)];
            chunks[a] = std::min<int64_t>(myOptions.chunk, shape[a]);
            const bool halved = i > 0 && sizes[i - 1][static_cast<size_t>(k)] > 1;
            const ZarrLevel* before = i > 0 ? &p.levels[i - 1] : nullptr;
            level.scale[a] = before ? before->scale[a] * (halved ? 2.0 : 1.0) : shortest(mySource.spacing[k]);
            level.translation[a] = before ? before->translation[a] + (halved ? 0.5 * before->scale[a] : 0.0) : 0.0;
        }
        level.array = zarrArrayOf(mySource.type, p.axes, shape, chunks, myOptions.compressor);
        p.levels.push_back(level);
    }
}

bool Builder::prepare(std::string* why)
{
    if (isDirectory(myFolder)) {
        DIR* d = opendir(myFolder.c_str());
        int entries = 0;
        while (d && readdir(d))
            ++entries;
        if (d)
            closedir(d);
        if (entries > 2) {
            *why = myFolder + ": exists and is not empty";
            return false;
        }
    } else if (!makeZarrFolders(myFolder, why)) {
        return false;
    }
    describeLevels(pyramidResolutions(mySource.resolution, myOptions.chunk, myOptions.maxLevels));
    if (!writeText(myFolder + "/.zgroup", "{\n    \"zarr_format\": 2\n}\n", why))
        return false;
    myLevels.resize(myPyramid.levels.size());
    for (size_t i = 0; i < myLevels.size(); ++i) {
        Level& l = myLevels[i];
        const ZarrArray& a = myPyramid.levels[i].array;
        for (int k = 0; k < 3; ++k) {
            l.size[k] = static_cast<int>(a.shape[myPyramid.spaceAxis(k)]);
            l.chunk[k] = static_cast<int>(a.chunks[myPyramid.spaceAxis(k)]);
        }
        l.sliceBytes = static_cast<size_t>(l.size[0]) * static_cast<size_t>(l.size[1]) * myItem;
        l.bandStride = l.sliceBytes * static_cast<size_t>(l.chunk[2]);
        l.slab.resize(l.bandStride * static_cast<size_t>(mySource.bands));
        if (i + 1 < myLevels.size())
            l.pair.resize(l.sliceBytes * static_cast<size_t>(mySource.bands));
        const std::string dir = zarrLevelFolder(myPyramid, static_cast<int>(i));
        if (!makeZarrFolders(dir, why) || !writeText(dir + "/.zarray", zarrArrayText(a), why))
            return false;
    }
    return true;
}

bool Builder::readSource(std::string* why)
{
    Level& l = myLevels[0];
    for (int z0 = 0; z0 < l.size[2]; z0 += l.chunk[2]) {
        const int count = std::min(l.chunk[2], l.size[2] - z0);
        if (!mySource.read(z0, count, l.slab.data(), l.bandStride, why))
            return false;
        for (int z = 0; z < count; ++z)
            if (!placed(0, why))
                return false;
        if (myOptions.progress)
            myOptions.progress(static_cast<double>(z0 + count) / l.size[2]);
    }
    return true;
}

// A slice of level goes on down: kept until its partner comes, then halved.
bool Builder::feed(size_t level, const unsigned char* slice, size_t stride, std::string* why)
{
    if (level + 1 >= myLevels.size())
        return true;
    Level& l = myLevels[level];
    if (l.havePair)
        return halveInto(level, slice, stride, why);
    for (int b = 0; b < mySource.bands; ++b)
        std::copy_n(slice + b * stride, l.sliceBytes, l.pair.data() + b * l.sliceBytes);
    l.havePair = true;
    return true;
}

// The waiting slice of level and second (null: none) into the next level's slab.
bool Builder::halveInto(size_t level, const unsigned char* second, size_t stride, std::string* why)
{
    Level& l = myLevels[level];
    Level& next = myLevels[level + 1];
    unsigned char* dst = next.slab.data() + static_cast<size_t>(next.filled) * next.sliceBytes;
    for (int b = 0; b < mySource.bands; ++b)
        halveSlices(mySource.type, l.pair.data() + b * l.sliceBytes, second ? second + b * stride : nullptr,
                    l.size[0], l.size[1], dst + b * next.bandStride, myThreads);
    l.havePair = false;
    return placed(level + 1, why);
}

// The slice at the level's next slot is there: it goes down, and a full
// (or last) row of chunks is written.
bool Builder::placed(size_t level, std::string* why)
{
    Level& l = myLevels[level];
    const int slot = l.filled++;
    ++l.received;
    if (!feed(level, l.slab.data() + static_cast<size_t>(slot) * l.sliceBytes, l.bandStride, why))
        return false;
    if (l.filled == l.chunk[2] || l.received == l.size[2])
        return writeRow(level, why);
    return true;
}

// The chunk (band, row, iy, ix) of a level's slab, zero past the edges.
void Builder::gatherChunk(const Level& l, int band, int iy, int ix, unsigned char* chunk) const
{
    const int cx = l.chunk[0], cy = l.chunk[1];
    std::fill_n(chunk, static_cast<size_t>(cx) * cy * l.chunk[2] * myItem, 0);
    const int x0 = ix * cx, y0 = iy * cy;
    const size_t run = static_cast<size_t>(std::min(cx, l.size[0] - x0)) * myItem;
    for (int z = 0; z < l.filled; ++z)
        for (int y = 0; y < cy && y0 + y < l.size[1]; ++y) {
            const unsigned char* src = l.slab.data() + band * l.bandStride + static_cast<size_t>(z) * l.sliceBytes +
                                       (static_cast<size_t>(y0 + y) * l.size[0] + x0) * myItem;
            std::copy_n(src, run, chunk + ((static_cast<size_t>(z) * cy + y) * cx) * myItem);
        }
}

bool Builder::writeRow(size_t level, std::string* why)
{
    Level& l = myLevels[level];
    const int nx = static_cast<int>(chunkCount(l.size[0], l.chunk[0]));
    const int ny = static_cast<int>(chunkCount(l.size[1], l.chunk[1]));
    const long jobs = static_cast<long>(nx) * ny * mySource.bands;
    const size_t chunkBytes = static_cast<size_t>(myPyramid.levels[level].array.chunkBytes());
    std::mutex faultLock;
    std::atomic<bool> failed(false);
    forEachSlab(jobs, [&](int, long begin, long end) {
        std::vector<unsigned char> chunk(chunkBytes), scratch;
        for (long j = begin; j < end && !failed; ++j) {
            const int band = static_cast<int>(j / (static_cast<long>(nx) * ny));
            const int iy = static_cast<int>(j / nx % ny), ix = static_cast<int>(j % nx);
            gatherChunk(l, band, iy, ix, chunk.data());
            const int64_t withBand[4] = {band, l.row, iy, ix};
            std::string fault;
            if (!writeZarrChunk(myPyramid, static_cast<int>(level), mySource.bands > 1 ? withBand : withBand + 1,
                                chunk.data(), &scratch, &fault)) {
                const std::lock_guard<std::mutex> hold(faultLock);
                if (!failed)
                    *why = fault;
                failed = true;
            }
        }
    }, myThreads);
    l.filled = 0;
    ++l.row;
    return !failed;
}

// The last slices of odd counts go down alone, finest level first.
bool Builder::flush(std::string* why)
{
    for (size_t level = 0; level + 1 < myLevels.size(); ++level)
        if (myLevels[level].havePair && !halveInto(level, nullptr, 0, why))
            return false;
    return true;
}

} // namespace

std::vector<std::array<int, 3>> pyramidResolutions(const int resolution[3], int chunk, int maxLevels)
{
    std::vector<std::array<int, 3>> levels = {{resolution[0], resolution[1], resolution[2]}};
    for (;;) {
        const std::array<int, 3>& last = levels.back();
        const bool fits = last[0] <= chunk && last[1] <= chunk && last[2] <= chunk;
        if (fits || (maxLevels > 0 && static_cast<int>(levels.size()) >= maxLevels) ||
            static_cast<int>(levels.size()) >= kZarrMaxLevels)
            return levels;
        levels.push_back({(last[0] + 1) / 2, (last[1] + 1) / 2, (last[2] + 1) / 2});
    }
}

std::string pyramidChunkFault(int chunk, VoxelType type)
{
    if (chunk < kMinPyramidChunk || chunk > kMaxPyramidChunk)
        return "a chunk edge is " + std::to_string(kMinPyramidChunk) + " to " + std::to_string(kMaxPyramidChunk) +
               " voxels";
    const uint64_t bytes = static_cast<uint64_t>(chunk) * chunk * chunk * static_cast<uint64_t>(bytesOfVoxelType(type));
    if (bytes > kZarrMaxChunkBytes)
        return "a chunk of " + std::to_string(chunk) + "^3 values of " + std::to_string(bytesOfVoxelType(type)) +
               " bytes is larger than 64 MB";
    return std::string();
}

uint64_t pyramidWorkingBytes(const int resolution[3], int bands, VoxelType type, const PyramidOptions& options)
{
    const uint64_t item = static_cast<uint64_t>(bytesOfVoxelType(type));
    uint64_t total = 0;
    for (const std::array<int, 3>& r : pyramidResolutions(resolution, options.chunk, options.maxLevels)) {
        const uint64_t slice = static_cast<uint64_t>(r[0]) * static_cast<uint64_t>(r[1]) * item * bands;
        total += slice * (static_cast<uint64_t>(std::min(options.chunk, r[2])) + 1);
    }
    const uint64_t chunk = static_cast<uint64_t>(options.chunk) * options.chunk * options.chunk * item;
    return total + static_cast<uint64_t>(passThreads(options.threads)) * chunk * 3;
}

void halveSlices(VoxelType type, const void* a, const void* b, int nx, int ny, void* out, int threads)
{
    dispatchVoxelType(type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        forEachSlab((ny + 1) / 2, [&](int, long j0, long j1) {
            halveRows<T>(static_cast<const T*>(a), static_cast<const T*>(b), nx, ny, static_cast<T*>(out), j0, j1);
        }, threads, 16);
    });
}

bool writePyramid(VolumeSlabs& source, const std::string& folder, const PyramidOptions& options, std::string* why)
{
    const std::string fault = pyramidChunkFault(options.chunk, source.type);
    if (!fault.empty()) {
        *why = fault;
        return false;
    }
    Builder builder(source, folder, options);
    return builder.run(why);
}
