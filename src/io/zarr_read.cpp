#include "zarr_read.h"

#include "parallel.h"
#include "voxel_buffer.h"
#include "zarr_codec.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What opening a chunk file found.
enum class ChunkFile { Read, Missing, Fault };

// Reads a chunk file of at most limit bytes into *bytes.
ChunkFile readChunkFile(const std::string& path, uint64_t limit, std::vector<unsigned char>* bytes,
                        std::string* fault)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return ChunkFile::Missing;
        *fault = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return ChunkFile::Fault;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *fault = "not a file";
        return ChunkFile::Fault;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size > limit) {
        ::close(fd);
        *fault = "the chunk file of " + std::to_string(size) + " bytes is larger than any chunk of this array";
        return ChunkFile::Fault;
    }
    bytes->resize(static_cast<size_t>(size));
    size_t got = 0;
    while (got < bytes->size()) {
        const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != bytes->size()) {
        *fault = "cannot be read";
        return ChunkFile::Fault;
    }
    return ChunkFile::Read;
}

std::string number(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

const char* typeName(VoxelType type)
{
#define GLIMRA_ZARR_TYPE_NAME(name, code, gl, ctype) \
    if (type == gl)                                  \
        return name;
    GLIMRA_VOXEL_TYPES(GLIMRA_ZARR_TYPE_NAME)
#undef GLIMRA_ZARR_TYPE_NAME
    return "";
}

std::string compressorText(const ZarrCompressor& c)
{
    switch (c.codec) {
    case ZarrCodec::Blosc: {
        static const char* const shuffles[] = {"no shuffle", "byte shuffle", "bit shuffle"};
        return "blosc (" + c.blosc + ", " + (c.shuffle < 0 ? "byte shuffle" : shuffles[c.shuffle]) + ")";
    }
    case ZarrCodec::Zlib: return "zlib";
    case ZarrCodec::Gzip: return "gzip";
    case ZarrCodec::Zstd: return "zstd";
    case ZarrCodec::None: break;
    }
    return "none";
}

// The unit of the space axes (" micrometer"), each named where they
// differ (" x nanometer, y nanometer, z micrometer"), "" when none is given.
std::string spaceUnits(const ZarrPyramid& p)
{
    std::string one, all;
    bool differ = false;
    for (int k = 0; k < p.spaceAxes; ++k) {
        const std::string& u = p.axisUnit[p.spaceAxis(k)];
        if (u.empty())
            continue;
        differ = differ || (!one.empty() && u != one);
        one = u;
        all += std::string(all.empty() ? " " : ", ") + "xyz"[k] + " " + zarrPrintable(u);
    }
    return differ ? all : one.empty() ? one : " " + zarrPrintable(one);
}

// The voxel spacing of a level along x, y, z from its scale: as written
// where a float holds it, else in proportion.
void levelSpacing(const ZarrPyramid& p, int level, float spacing[3])
{
    double s[3], largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        const int a = p.spaceAxis(k < p.spaceAxes ? k : 0);
        s[k] = p.levels[static_cast<size_t>(level)].scale[a];
        largest = std::max(largest, s[k]);
    }
    for (int k = 0; k < 3; ++k) {
        const bool fits = largest <= 1e20 && s[k] >= 1e-20;
        spacing[k] = static_cast<float>(fits ? s[k] : std::max(s[k] / largest, 1e-20));
    }
}

// The voxels of level into out, which holds them all.
bool readWholeLevel(const ZarrPyramid& p, int level, const int64_t r[3], int64_t bands, void* data, std::string* why)
{
    const int64_t lo[3] = {0, 0, 0};
    return readZarrBox(p, level, zarrVoxelBox(p, lo, r, 0, bands), data, why);
}

} // namespace

bool decodeZarrChunk(const ZarrArray& array, const void* bytes, size_t size, void* values, std::string* fault)
{
    if (!decodeChunk(array.compressor, bytes, size, values, static_cast<size_t>(array.chunkBytes()), fault))
        return false;
    storedToProgramValues(array, values, static_cast<size_t>(array.chunkValues()));
    return true;
}

bool readZarrChunk(const ZarrPyramid& pyramid, int level, const int64_t index[], ZarrChunkBuffers* buffers,
                   bool* missing, std::string* why)
{
    const ZarrArray& a = pyramid.levels[static_cast<size_t>(level)].array;
    const std::string path =
        zarrLevelFolder(pyramid, level) + "/" + chunkKey(a.axes, index, a.separator);
    buffers->values.resize(static_cast<size_t>(a.chunkBytes()));
    std::string fault;
    const ChunkFile f = readChunkFile(path, maxEncodedBytes(a.compressor, a.chunkBytes()), &buffers->file, &fault);
    *missing = f == ChunkFile::Missing;
    if (*missing) {
        fillValues(a.type, a.fill, buffers->values.data(), static_cast<size_t>(a.chunkValues()));
        return true;
    }
    if (f == ChunkFile::Read &&
        decodeZarrChunk(a, buffers->file.data(), buffers->file.size(), buffers->values.data(), &fault))
        return true;
    *why = path + ": " + fault;
    return false;
}

ZarrBox zarrVoxelBox(const ZarrPyramid& pyramid, const int64_t lo[3], const int64_t hi[3], int64_t band0,
                     int64_t band1)
{
    ZarrBox box;
    box.axes = pyramid.axes;
    for (int a = 0; a < box.axes; ++a) {
        box.lo[a] = 0;
        box.hi[a] = 1;
    }
    for (int k = 0; k < pyramid.spaceAxes; ++k) {
        box.lo[pyramid.spaceAxis(k)] = lo[k];
        box.hi[pyramid.spaceAxis(k)] = hi[k];
    }
    if (pyramid.channelAxis >= 0) {
        box.lo[pyramid.channelAxis] = band0;
        box.hi[pyramid.channelAxis] = band1;
    }
    return box;
}

bool readZarrBox(const ZarrPyramid& pyramid, int level, const ZarrBox& box, void* out, std::string* why,
                 int threads)
{
    const ZarrArray& a = pyramid.levels[static_cast<size_t>(level)].array;
    const ZarrBox inside = intersect(box, wholeBox(a.axes, a.shape));
    if (box.axes != a.axes || box.empty() || inside.values() != box.values()) {
        *why = zarrLevelFolder(pyramid, level) + ": the box asked for lies outside the array";
        return false;
    }
    int64_t first[kZarrMaxAxes], last[kZarrMaxAxes];
    chunkRange(box, a.chunks, first, last);
    std::vector<std::array<int64_t, kZarrMaxAxes>> indices;
    std::array<int64_t, kZarrMaxAxes> index{};
    std::copy(first, first + a.axes, index.begin());
    do
        indices.push_back(index);
    while (nextChunkIndex(a.axes, first, last, index.data()));

    const size_t item = static_cast<size_t>(bytesOfVoxelType(a.type));
    std::mutex faultLock;
    std::atomic<bool> failed(false);
    forEachSlab(static_cast<long>(indices.size()), [&](int, long begin, long end) {
        ZarrChunkBuffers buffers;
        for (long i = begin; i < end && !failed; ++i) {
            bool missing = false;
            std::string fault;
            if (!readZarrChunk(pyramid, level, indices[static_cast<size_t>(i)].data(), &buffers, &missing, &fault)) {
                const std::lock_guard<std::mutex> hold(faultLock);
                if (!failed)
                    *why = fault;
                failed = true;
                return;
            }
            const int64_t* at = indices[static_cast<size_t>(i)].data();
            copyBoxRegion(buffers.values.data(), chunkStorageBox(a.axes, at, a.chunks), static_cast<unsigned char*>(out),
                          box, intersect(chunkBox(a.axes, at, a.shape, a.chunks), box), item);
        }
    }, threads);
    return !failed;
}

bool readZarrLevel(const ZarrPyramid& p, int level, VolumeFile* out, std::string* why, const ShapeCheck& check)
{
    out->release();
    const ZarrArray& a = p.levels[static_cast<size_t>(level)].array;
    int64_t r[3];
    p.resolution(level, r);
    const int64_t bands = p.channels(level);
    VolumeShape shape;
    for (int k = 0; k < 3; ++k)
        shape.resolution[k] = static_cast<int>(r[k]);
    shape.bands = static_cast<int>(bands);
    shape.bytesPerValue = bytesOfVoxelType(a.type);
    size_t values = 0, total = 0;
    if (!voxelCount(shape.resolution, shape.bands, shape.bytesPerValue, &values, &total)) {
        *why = zarrLevelFolder(p, level) + ": the level is too large";
        return false;
    }
    const std::string refusal = check ? check(shape) : std::string();
    if (!refusal.empty()) {
        *why = refusal;
        return false;
    }
    GUARDED_VOXELS_AS(out->data, "tmpdata", total);
    if (!out->data) {
        g_garbageCollector.remove(out->data);
        *why = zarrLevelFolder(p, level) + ": not enough memory for " + std::to_string(total) + " bytes";
        return false;
    }
    if (!readWholeLevel(p, level, r, bands, out->data, why)) {
        out->release();
        return false;
    }
    out->type = a.type;
    out->bands = shape.bands;
    out->bandMajor = true;
    for (int k = 0; k < 3; ++k)
        out->resolution[k] = shape.resolution[k];
    levelSpacing(p, level, out->spacing);
    out->info = zarrInformation(p, level);
    const size_t spacingLine = out->info.find("Spacing:");
    out->ratioAt = spacingLine == std::string::npos ? std::string::npos : spacingLine;
    return true;
}

bool readZarrVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check)
{
    out->release();
    ZarrPyramid pyramid;
    if (!openZarrPyramid(path, &pyramid, why))
        return false;
    return readZarrLevel(pyramid, pyramid.coarsest(), out, why, check);
}

std::string zarrInformation(const ZarrPyramid& p, int level)
{
    const ZarrLevel& shown = p.levels[static_cast<size_t>(level)];
    const size_t n = p.levels.size();
    std::string info = "Data file name:\t" + baseName(p.root) + "\n";
    if (p.version.empty())
        info += "Format:\t\tZarr array (one level)\n";
    else
        info += "Format:\t\tOME-Zarr pyramid (NGFF " + p.version + "), " + std::to_string(n) +
                (n == 1 ? " level\n" : " levels\n");
    for (size_t i = 0; i < n && !p.version.empty(); ++i) {
        int64_t r[3];
        p.resolution(static_cast<int>(i), r);
        info += "Level " + std::to_string(i) + ":\t" + std::to_string(r[0]) + " " + std::to_string(r[1]) + " " +
                std::to_string(r[2]) + " (" + zarrPrintable(p.levels[i].path) + ")\n";
    }
    if (!p.version.empty())
        info += "Shown:\t\tlevel " + std::to_string(level) +
                (level == p.coarsest() ? ", the coarsest, read whole\n" : ", read whole\n");
    int64_t r[3];
    p.resolution(level, r);
    info += "Resolution:\t" + std::to_string(r[0]) + " " + std::to_string(r[1]) + " " + std::to_string(r[2]) + "\n";
    info += "Spacing:\t";
    for (int k = 0; k < 3; ++k)
        info += number(shown.scale[p.spaceAxis(k < p.spaceAxes ? k : 0)]) + (k < 2 ? " " : "");
    info += spaceUnits(p) + "\n";
    const ZarrArray& a = shown.array;
    info += std::string("Data type:\t") + typeName(a.type) + " (" + a.dtype +
            (a.itemBytes == 8 ? ", read as FLOAT)\n" : ")\n");
    info += "Compressor:\t" + compressorText(a.compressor) + "\n";
    info += "Number of bands:\t" + std::to_string(p.channels(level)) + "\n";
    if (p.timePoints(level) > 1)
        info += "Time points:\t" + std::to_string(p.timePoints(level)) + ", the first shown\n";
    return info;
}
